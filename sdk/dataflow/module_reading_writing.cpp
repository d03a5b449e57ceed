// The module's reading and writing calls: how its code takes elements from its inputs'
// rings and hands elements to its outputs' rings.
#include <algorithm>

#include "dataflow/input_implementation.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/runtime/streamed_string.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

// How often Wait4Handshake looks again when no event told it of a change.
constexpr long HandshakePoll = 10'000;  // microseconds
// MsgWait's answer when a message waits for the thread.
constexpr int MessageWaiting = -2;

TARNInputImplementation& implementationOf(TARNInput& input) {
    return static_cast<TARNInputImplementation&>(input);
}

TARNOutputImplementation& implementationOf(TARNOutput& output) {
    return static_cast<TARNOutputImplementation&>(output);
}

void throwIfDying(const TARNModule& module) {
    if (module.State() & TARNModule::Dying) throw TARNModule::DieException;
}

// The input is reading for the span of one reading call. Every way out, an element, null,
// 57005 or -5, goes through ExitStartReading: a reading flag left set would make the
// engine's next rebuild of the input wait for a reader that is gone.
class ReadingCall {
  public:
    explicit ReadingCall(TARNInputImplementation& input) : m_input(input) {
        // A rebuild in progress may exchange the ring under the reader: wait it out first.
        for (;;) {
            {
                TARNMutexGuard guard(input.mutex);
                if (!input.beingRebuilt.load()) {
                    input.GiveBackDetached();
                    input.reading.store(true);
                    m_ring = input.ring;
                    return;
                }
            }
            TARN::Wait4AWhile();
        }
    }
    ~ReadingCall() { m_input.ExitStartReading(); }

    ReadingCall(const ReadingCall&) = delete;
    ReadingCall& operator=(const ReadingCall&) = delete;

    // The input's ring when the call began, read under the input lock; null while not
    // connected.
    TARNIOMonitorImplementation* Ring() const { return m_ring; }

  private:
    TARNInputImplementation& m_input;
    TARNIOMonitorImplementation* m_ring = nullptr;
};

int waitWithoutLimit(int count, TARNEvent** events, bool messages) {
    return messages ? TARNEvent::MsgWait(count, events, -1) : TARNEvent::Wait(count, events, -1);
}

// Gives back every element the input holds on `ring`, the input's ring as its caller read
// it, or on the ring it held them on before a detach.
void releaseHeld(TARNInputImplementation& input, TARNIOMonitorImplementation* ring) {
    if (input.detachedRing != nullptr) {
        input.GiveBackDetached();
        return;
    }
    if (ring != nullptr)
        for (TARNListIterator position : input.heldPositions) ring->StopReading(input.readerId, position);
    input.heldPositions.clear();
    input.heldCount = 0;
}

// The element the ring hands the reader at once, or null; a sequential module never waits.
TARNListIterator takeIfThere(TARNInputImplementation& input) {
    TARNIOMonitorImplementation* ring = input.ConnectedRing();
    if (ring == nullptr) return nullptr;
    if (input.beingRebuilt.load()) {
        input.AcknowledgeRebuild();
        return nullptr;
    }
    TARNEvent* readerEvent = nullptr;
    TARNEvent* abortEvent = nullptr;
    TARNListIterator position = nullptr;
    if (ring->StartReadingX(input.readerId, &readerEvent, &abortEvent, &position)) return position;
    ring->AbortStartReadingX(input.readerId);
    return nullptr;
}

// The reader's next element, waiting for a connection and for a publication as long as it
// takes; the die event ends every wait with 57005, the wake event makes it look again. With
// message waits, a message for the thread ends the wait with null: looking again would
// find it again at once, for ever.
TARNListIterator waitAndTake(TARNModule& module, TARNInputImplementation& input, bool messages) {
    for (;;) {
        // Attach may connect the input while this reader waits: the ring is read under the
        // input lock, and then stays until the reader acknowledges a rebuild.
        TARNIOMonitorImplementation* ring = input.ConnectedRing();
        if (ring == nullptr) {
            TARNEvent* events[2] = {&module.dieEvent, &input.connectionEvent};
            const int fired = waitWithoutLimit(2, events, messages);
            throwIfDying(module);
            if (fired == MessageWaiting) return nullptr;
            input.connectionEvent.Reset();
            continue;
        }
        if (input.beingRebuilt.load()) {
            input.AcknowledgeRebuild();
            continue;
        }
        TARNEvent* readerEvent = nullptr;
        TARNEvent* abortEvent = nullptr;
        TARNListIterator position = nullptr;
        if (ring->StartReadingX(input.readerId, &readerEvent, &abortEvent, &position)) return position;
        for (;;) {
            TARNEvent* events[3] = {readerEvent, &module.dieEvent, &input.rebuildRequestEvent};
            const int fired = waitWithoutLimit(3, events, messages);
            if (fired != 0 || (module.State() & TARNModule::Dying)) {
                ring->AbortStartReadingX(input.readerId);
                throwIfDying(module);
                if (fired == 1) throw TARNModule::DieException;
                if (fired == MessageWaiting) return nullptr;
                input.rebuildRequestEvent.Reset();
                if (input.beingRebuilt.load()) input.AcknowledgeRebuild();
                break;  // look again, on whatever ring the input has now
            }
            if (ring->AchieveStartReadingX(input.readerId, 0, &position)) return position;
            // What woke it was overwritten meanwhile: the same wait was prepared again.
        }
    }
}

// One pass of the input's subsampling: reads that many elements and keeps the last.
TARNListIterator takePass(TARNModule& module, TARNInputImplementation& input, bool messages) {
    const int count = std::max(1, input.subsampling);
    TARNListIterator position = nullptr;
    for (int i = 0; i < count; ++i) {
        if (position != nullptr) input.ring->StopReading(input.readerId, position);
        position = waitAndTake(module, input, messages);
        if (position == nullptr) break;  // a message waits
        if (messages) input.subsamplingCounter = i + 1;
    }
    input.subsamplingCounter = 0;
    return position;
}

TARNStackedString<40> readingFailure(const TARNInputImplementation& input) {
    return TARNStackedString<40>("Failed to start reading on ") + input.fullName.c_str();
}

// The single-input reading call: gives back what the input holds, takes the next element
// (MsgStartReading's form with `messages`) and holds it until the next call or StopReading.
TARNIOElt* takeAndHold(TARNModule& module, TARNInputImplementation& reader, bool messages) {
    ReadingCall call(reader);
    try {
        releaseHeld(reader, call.Ring());
        // A module without a thread runs inside its writer: it takes what is there.
        TARNListIterator position = module.threaded ? takePass(module, reader, messages) : takeIfThere(reader);
        if (position == nullptr) return nullptr;
        reader.heldPositions.push_back(position);
        reader.heldCount = 1;
        return &TARNIOMonitorImplementation::Element(position);
    } catch (int code) {
        if (code != TARNModule::ErrorException) throw;
        module.Error(readingFailure(reader).c_str(), 1, 0);
    }
    return nullptr;
}

}  // namespace

TARNIOElt* TARNModule::StartReading(TARNInput& input) {
    throwIfDying(*this);
    return takeAndHold(*this, implementationOf(input), false);
}

TARNIOElt* TARNModule::MsgStartReading(TARNInput& input) {
    throwIfDying(*this);
    if (TARNEvent::MsgInQueue()) return nullptr;
    return takeAndHold(*this, implementationOf(input), true);
}

int TARNModule::NLastStartReading(TARNInput& input, int n, TARNIOElt** elements) {
    auto& reader = implementationOf(input);
    throwIfDying(*this);
    if (n < 1) {
        TARNStreamedString message;
        message << "Can't read " << n << " last samples on " << reader.fullName.c_str();
        Error(message.c_str(), 1, 0);
    }
    // Through StopReading: under the input lock, which the engine's detach takes to give the
    // held elements back itself, and acknowledging the rebuild.
    if (reader.beingRebuilt.load() && reader.heldCount > 0) StopReading(input);
    ReadingCall call(reader);
    if (!threaded && reader.subsampling > 1)
        Error("NLastStartReading is not supported for sequential components with an input subsampling.", 1, 0);
    try {
        auto& window = reader.heldPositions;
        // A smaller window than last time: the oldest go.
        while (static_cast<int>(window.size()) > n) {
            if (call.Ring() != nullptr) call.Ring()->StopReading(reader.readerId, window.front());
            window.erase(window.begin());
        }
        reader.heldCount = static_cast<int>(window.size());
        // At least one new element per call: the window slides.
        bool tookOne = false;
        while (!tookOne || static_cast<int>(window.size()) < n) {
            TARNListIterator position = threaded ? takePass(*this, reader, false) : takeIfThere(reader);
            if (position == nullptr) return 0;
            tookOne = true;
            if (static_cast<int>(window.size()) == n) {
                reader.ring->StopReading(reader.readerId, window.front());
                window.erase(window.begin());
            }
            window.push_back(position);
            reader.heldCount = static_cast<int>(window.size());
        }
        for (int i = 0; i < n; ++i) elements[i] = &TARNIOMonitorImplementation::Element(window[i]);
        return 1;
    } catch (int code) {
        if (code != ErrorException) throw;
        TARNStreamedString message;
        message << "Failed to start reading " << n << " last samples on " << reader.fullName.c_str();
        Error(message.c_str(), 1, 0);
    }
    return 0;
}

void TARNModule::StopReading(TARNInput& input) {
    auto& reader = implementationOf(input);
    if (reader.reading.load()) {
        releaseHeld(reader, reader.ring);
        return;
    }
    TARNMutexGuard guard(reader.mutex);
    releaseHeld(reader, reader.ring);
    if (reader.beingRebuilt.load()) {
        guard.Unlock();
        reader.AcknowledgeRebuild();
    }
}

TARNIOElt* TARNModule::StartWriting(TARNOutput& output) {
    throwIfDying(*this);
    auto& writer = implementationOf(output);
    try {
        TARNIOEltImplementation* element = writer.TakeForWriting();
        if (element == nullptr) return nullptr;
        element->TimeOfIssue() = 0;
        element->Timestamp() = 0;
        return element;
    } catch (int code) {
        if (code != ErrorException) throw;
        Error((TARNStackedString<40>("Failed to start writing on ") + writer.fullName.c_str()).c_str(), 1, 0);
    }
    return nullptr;
}

TARNIOElt* TARNModule::StartWriting(TARNOutput& output, long timestamp) {
    TARNIOElt* element = StartWriting(output);
    if (element != nullptr) element->Timestamp() = timestamp;
    return element;
}

void TARNModule::StopWriting(TARNIOElt* element, bool discard) {
    // The output that handed the element out, found among this module's outputs.
    TARNOutputImplementation* writer = nullptr;
    TARNListIterator position = nullptr;
    {
        TARNMutexGuard guard(moduleLock);
        for (TARNOutput* output : outputs) {
            position = implementationOf(*output).TakeBackWritten(element);
            if (position != nullptr) {
                writer = &implementationOf(*output);
                break;
            }
        }
    }
    if (writer == nullptr) {
        Error("StopWriting called on an element that no output of this module handed out for writing", 1, 0);
        return;
    }
    // Freed before the error: a slot left being written would never come back to the ring.
    const TARNStackedString<40> overflow = writer->DropOverflowed(position);
    if (overflow.Length() != 0) Error(overflow.c_str(), 1, 0);
    if (discard) {
        writer->ring->StopWriting(position, true);
        return;
    }
    if (element->TimeOfIssue() == 0) element->TimeOfIssue() = TARN::CurrentTime(true, true);
    if (element->Timestamp() == 0) element->Timestamp() = element->TimeOfIssue();
    element->Timestamp() = writer->SmoothTimestamp(element->Timestamp(), element->TimeOfIssue());
    writer->ring->StopWriting(position, false);
    // Also when the output subsampling dropped it: the sequential readers keep their pace.
    writer->CallSequentialComponents();
}

bool TARNModule::DataAvailableInFIFO(TARNInput& input) { return input.DataAvailableInFIFO(); }

bool TARNModule::IsFIFOEmpty(TARNOutput& output) {
    TARNIOMonitorImplementation* ring = implementationOf(output).ring;
    return ring == nullptr || ring->IsEmpty();
}

bool TARNModule::IsFIFOFull(TARNOutput& output) {
    TARNIOMonitorImplementation* ring = implementationOf(output).ring;
    return ring == nullptr || ring->IsFull();
}

// The handshake is the readers' side of what was published: every element taken by every
// FIFO-group reader and given back (IsFIFOEmpty). The ring's all-read event stays set once
// set, so a wait on it alone returns at once from the second handshake on: it is reset
// before each look, and a release after the look sets it again. Some changes set no event
// (a reader detached, a sampling reader giving back its element): the wait looks again
// every poll interval.
void TARNModule::Wait4Handshake(TARNOutput& output) {
    throwIfDying(*this);
    TARNIOMonitorImplementation* ring = implementationOf(output).ring;
    if (ring == nullptr) {
        // Nothing is ever read from an output without a ring: only death ends the wait.
        dieEvent.Wait(-1);
        throw DieException;
    }
    TARNEvent* events[2] = {&dieEvent, &ring->AllReadEvent()};
    for (;;) {
        ring->AllReadEvent().Reset();
        if (ring->IsEmpty()) return;
        TARNEvent::Wait(2, events, HandshakePoll);
        throwIfDying(*this);
    }
}
