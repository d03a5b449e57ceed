#include "tarn/bases/sorted_start_reading_component.hpp"

#include <cstring>

#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/runtime/saturated_arithmetic.hpp"
#include "tarn/runtime/streamed_string.hpp"
#include "tarn/runtime/timestamp_text.hpp"

namespace {

// Changeable while running, enumeration values locked.
TARNPropertyDefinition setting(const char* name, TARNPropertyValue* value) {
    return TARNPropertyDefinition(name, value, nullptr, false, true, false, true);
}

// Not registering in the listener's own constructor: the component is not whole yet.
constexpr int RegisterLater = 0;

}  // namespace

TARNOutputDefinition TARNSortedStartReadingComponent::OutputDefinitions[3] = {
    {"unsorted_samples_count", 0, TARNTypeInfo(TARNTypeInfo::Integer32, "", ""), 1, 16, 1, 0},
    {"late_samples_count", 0, TARNTypeInfo(TARNTypeInfo::Integer32, "", ""), 1, 16, 1, 0},
    {},
};

TARNPropertyDefinition TARNSortedStartReadingComponent::PropertyDefinitions[3] = {
    setting("max_latency", new TARNPropertyValue(100000L)),
    setting("verbose", new TARNPropertyValue(false)),
    TARNPropertyDefinition(),
};

TARNSortedStartReadingComponent::TARNSortedStartReadingComponent(const char* name,
                                                                 TARNComponentDefinition& definition)
    : TARNComponent(name, definition), TARNTimeStateListener(RegisterLater) {
    TARNTimeStateListener::Register();
}

TARNSortedStartReadingComponent::~TARNSortedStartReadingComponent() {
    TARNTimeStateListener::Unregister();
}

void TARNSortedStartReadingComponent::Dynamic() {
    for (int i = 0; !OutputDefinitions[i].IsEnd(); ++i) NewOutput(OutputDefinitions[i], nullptr);
    for (int i = 0; !PropertyDefinitions[i].IsEnd(); ++i) NewProperty(PropertyDefinitions[i], nullptr);
}

// Each tells its property by name before the re-configuration: a Dynamic() that fails
// leaves the property, which it did not declare again, to be removed.
void TARNSortedStartReadingComponent::Set(TARNProperty& property, bool value) {
    const bool isVerbose = std::strcmp(property.ShortName().c_str(), "verbose") == 0;
    TARNComponent::Set(property, value);
    if (isVerbose) verbose.store(value);
}

void TARNSortedStartReadingComponent::Set(TARNProperty& property, long value) {
    const bool isMaxLatency = std::strcmp(property.ShortName().c_str(), "max_latency") == 0;
    TARNComponent::Set(property, value);
    if (isMaxLatency) maxLatency.store(value);
}

void TARNSortedStartReadingComponent::CallbackTimeJumped(long time) {
    if (TARN::CurrentTime(true, true) > time) timeChangedEvent.Set();
}

void TARNSortedStartReadingComponent::CallbackTimeSpeedChanged(int speed) {
    // Kept: the timer's delay follows the speed engine time runs at now, so a component
    // born with time stopped arms its timer once time runs.
    timeSpeed.store(speed);
    backwards.store(speed < 0);
    timeChangedEvent.Set();
}

void TARNSortedStartReadingComponent::CallbackTimePaused(bool isPaused) {
    paused.store(isPaused);
    if (isPaused) timeChangedEvent.Set();
}

void TARNSortedStartReadingComponent::Birth() {
    long latency = 100000;
    bool talk = false;
    GetProperty("max_latency", latency);
    GetProperty("verbose", talk);
    maxLatency.store(latency);
    verbose.store(talk);
    timeChangedEvent.Reset();
    paused.store(TARN::IsPaused());
    timeSpeed.store(TARN::TimeSpeed());
    backwards.store(timeSpeed.load() < 0);
    lastDeliveredTimestamp = 0;
    {
        TARNMutexGuard guard(moduleLock);
        inputCount = inputs.Count();
    }
    if (inputCount > MaxInputs)
        Error("Can't perform sorted StartReading on more than 256 inputs simultaneously. Sorry.", 1, 0);
    ResetQueue();
}

void TARNSortedStartReadingComponent::Death() {}

void TARNSortedStartReadingComponent::ResetQueue() {
    activeCount = 0;
    timeChangedEvent.Reset();
    lateCount = 0;
    unsortedCount = 0;
    lastDeliveredTimestamp = 0;
    while (!queue.IsEmpty()) queue.Remove(queue.Head());
    for (int i = 0; i < inputCount; ++i)
        if (Input(i).IsConnected()) makeActive(i);
}

void TARNSortedStartReadingComponent::makeActive(int inputIndex) {
    activeInputs[activeCount] = &Input(inputIndex);
    activeIndices[activeCount] = inputIndex;
    ++activeCount;
}

void TARNSortedStartReadingComponent::removeActive(int entry) {
    for (int k = entry; k + 1 < activeCount; ++k) {
        activeInputs[k] = activeInputs[k + 1];
        activeIndices[k] = activeIndices[k + 1];
    }
    --activeCount;
}

void TARNSortedStartReadingComponent::publishCount(const char* output, unsigned int count, long timestamp) {
    TARNIOElt* element = StartWriting(Output(output));
    if (element == nullptr) return;
    *element->Integer32(0) = static_cast<int>(count);
    element->Timestamp() = timestamp;
    StopWriting(element, false);
}

void TARNSortedStartReadingComponent::NewEltArrived(TARNIOElt* element, int inputIndex, bool late) {
    bool unsorted = false;
    if (element->Timestamp() < lastDeliveredTimestamp) {
        ++unsortedCount;
        publishCount("unsorted_samples_count", unsortedCount, element->Timestamp());
        unsorted = true;
    } else {
        lastDeliveredTimestamp = element->Timestamp();
    }
    if (late) {
        ++lateCount;
        publishCount("late_samples_count", lateCount, element->Timestamp());
    }
    ProcessSortedIOElt(element, inputIndex, unsorted, late);
}

void TARNSortedStartReadingComponent::deliverHead(bool late) {
    const BufferElement head = queue.Head()->Value();
    queue.Remove(queue.Head());
    NewEltArrived(head.element, head.inputIndex, late);
    makeActive(head.inputIndex);
}

void TARNSortedStartReadingComponent::armTimer(TARNEvent& timer) {
    const int speed = timeSpeed.load();
    if (!queue.IsEmpty() && speed >= 1) {
        // On 128 bits and held to a long: a far latency stays far instead of wrapping round
        // into the past, which would hand the element on at once.
        const __int128 untilDeadline = static_cast<__int128>(queue.Head()->Value().element->Timestamp()) +
                                       maxLatency.load() - TARN::CurrentTime(true, true);
        const long delay = TARNPrivate::SaturatedScale(untilDeadline, 1000, speed);
        if (delay > 0) {
            timer.ResetTrigger();
            timer.Reset();
            timer.SetTrigger(delay);
        } else {
            timer.Set();
        }
    } else {
        timer.ResetTrigger();
        timer.Reset();
    }
}

void TARNSortedStartReadingComponent::arrived(TARNIOElt* element, int entry) {
    const int inputIndex = activeIndices[entry];
    const long now = TARN::CurrentTime(true, true);
    const long timestamp = element->Timestamp();
    const bool isBackwards = backwards.load();
    const bool isPaused = paused.load();
    if (isBackwards || isPaused || timestamp > TARNPrivate::SaturatedAdd(now, 1000)) {
        if (verbose.load()) {
            TARNStreamedString message;
            message << "Discarding ioElt on input " << inputIndex << ": ";
            if (isBackwards)
                message << " time goes backwards.";
            else if (isPaused)
                message << " time paused.";
            else
                message << "timestamp is in the future. Timestamp: " << TARN::Timestamp2String(timestamp).c_str()
                        << "; CurrentTime: " << TARN::Timestamp2String(now).c_str();
            Report(message.c_str(), 1, 0);
        }
        return;
    }
    if (timestamp < TARNPrivate::SaturatedSub(now, maxLatency.load())) {
        while (!queue.IsEmpty() && queue.Head()->Value().element->Timestamp() < timestamp) deliverHead(true);
        NewEltArrived(element, inputIndex, true);
        return;
    }
    // From the tail: after the first item not later than it, so equal timestamps keep
    // their order of arrival.
    TARNListItem<BufferElement>* after = queue.Tail();
    while (after != nullptr && after->Value().element->Timestamp() > timestamp) after = after->Prev();
    if (after != nullptr)
        queue.InsertAfter(after, BufferElement{inputIndex, element});
    else
        queue.PushFront(BufferElement{inputIndex, element});
    long previous = 0;
    for (TARNListItem<BufferElement>* item = queue.Head(); item != nullptr; item = item->Next()) {
        if (item->Value().element->Timestamp() < previous) Report("Sorting error.", 1, 0);
        previous = item->Value().element->Timestamp();
    }
    removeActive(entry);
    if (activeCount == 0) deliverHead(false);
}

void TARNSortedStartReadingComponent::Core() {
    TARNEvent timer;
    for (;;) {
        armTimer(timer);
        TARNEvent* events[2] = {&timer, &timeChangedEvent};
        int answered = -1;
        TARNIOElt* element = StartReading(activeCount, activeInputs, &answered, 2, events);
        if (element == nullptr) {
            if (answered == activeCount + 1) {
                ResetQueue();
                if (verbose.load()) Report("Time changed event. Flushing.", 1, 0);
            } else if (answered == activeCount && !queue.IsEmpty()) {
                deliverHead(false);
            }
            continue;
        }
        arrived(element, answered);
    }
}
