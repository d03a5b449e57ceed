// The record loop: taking one element of the recorded output, deciding whether it is
// written, buffered or given back, the record thread, the sequential path and record death.
#include <algorithm>
#include <atomic>
#include <string>

#include "dataflow/input_implementation.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/engine_recording.hpp"
#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/recording/record_replay_method.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

// The held count is raised by the record thread and lowered by whichever thread completes
// a write; every change is made under the input's mutex and is atomic besides, so that a
// reader of the count outside the mutex (the engine's rebuild) sees whole values.
void changeHeldCount(TARNInputImplementation& input, int delta) {
    std::atomic_ref<int> held(input.heldCount);
    if (delta > 0)
        held.fetch_add(delta);
    else if (held.load() > 0)
        held.fetch_add(delta);
}

}  // namespace

// ---- Giving ring elements back ------------------------------------------------------------

// With a held-element limit, the element leaving the count acknowledges a rebuild of the
// input in progress and waits until it is over, unless a reading call is taking an element:
// that call acknowledges the rebuild itself, and an acknowledgement given for it would let
// the engine exchange the ring under its wait. The count changes under the input lock; the
// acknowledgement and its wait come after it is given up: the engine takes that lock to
// exchange the connection once acknowledged, and waiting with it held would wait for ever,
// keeping the engine from ending the rebuild.
void TARNRecordReplayMethod::giveBack(TARNInputImplementation& input, TARNListIterator position) {
    recordedImplementation().ring->StopReading(input.readerId, position);
    if (definition.heldElementLimit <= 0) return;
    bool acknowledge = false;
    {
        TARNMutexGuard guard(input.mutex);
        changeHeldCount(input, -1);
        acknowledge = !input.reading.load() && input.beingRebuilt.load();
    }
    if (acknowledge) input.AcknowledgeRebuild();
}

TARNListIterator TARNRecordReplayMethod::ringPositionOf(TARNIOElt& element) {
    // Set aside too: the output may have laid its buffers out anew while the writer held it.
    return recordedImplementation().ring->PositionOf(static_cast<TARNIOEltImplementation*>(&element));
}

void TARNRecordReplayMethod::Unlock(TARNIOElt& element) {
    auto& implementation = static_cast<TARNIOEltImplementation&>(element);
    std::atomic_ref<unsigned int> copyState(implementation.triggerState);
    if (copyState.load() & CopyBit) {
        copyState.fetch_or(DroppableBit);
        return;
    }
    TARNListIterator position = ringPositionOf(element);
    if (position == nullptr) return;
    // Tells a Record whose RecordIOElt is still running that the element is back.
    TARNListIterator claimed = position;
    directlyWritten.compare_exchange_strong(claimed, nullptr);
    giveBack(recordInput(), position);
}

// ---- Taking an element --------------------------------------------------------------------

void TARNRecordReplayMethod::skipElement(TARNInputImplementation& input) {
    TARNEvent* readerEvent = nullptr;
    TARNEvent* abortEvent = nullptr;
    TARNListIterator position = nullptr;
    if (input.ring->StartReadingX(input.readerId, &readerEvent, &abortEvent, &position))
        input.ring->StopReading(input.readerId, position);
    else
        input.ring->AbortStartReadingX(input.readerId);
}

namespace {

// The reader's next element, waiting as long as it takes: for a connection, for a rebuild
// to end, for a publication. The die event ends the wait with 57005.
TARNListIterator waitAndTake(TARNModule& module, TARNInputImplementation& input) {
    for (;;) {
        if (input.ring == nullptr) {
            module.Wait4Event(&input.connectionEvent, -1);
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
        if (input.ring->StartReadingX(input.readerId, &readerEvent, &abortEvent, &position)) return position;
        for (;;) {
            TARNEvent* events[3] = {readerEvent, &module.dieEvent, &input.rebuildRequestEvent};
            const int fired = module.Wait4Events(3, events, -1, false);
            if (fired == 0) {
                if (input.ring->AchieveStartReadingX(input.readerId, 0, &position)) return position;
                continue;  // overwritten meanwhile: the same wait was prepared again
            }
            input.ring->AbortStartReadingX(input.readerId);
            if (fired == 1) throw TARNModule::DieException;
            if (fired == 2) {
                input.rebuildRequestEvent.Reset();
                if (input.beingRebuilt.load()) input.AcknowledgeRebuild();
            }
            break;
        }
    }
}

}  // namespace

TARNListIterator TARNRecordReplayMethod::takeElement(TARNInputImplementation& input) {
    {
        TARNMutexGuard guard(input.mutex);
        input.reading.store(true);
    }
    TARNListIterator position = nullptr;
    try {
        if (!threaded) {
            if (input.ring == nullptr) {
                input.ExitStartReading();
                return nullptr;
            }
            if (input.beingRebuilt.load()) {
                input.AcknowledgeRebuild();
                input.ExitStartReading();
                return nullptr;
            }
            TARNEvent* readerEvent = nullptr;
            TARNEvent* abortEvent = nullptr;
            if (!input.ring->StartReadingX(input.readerId, &readerEvent, &abortEvent, &position)) {
                input.ring->AbortStartReadingX(input.readerId);
                input.ExitStartReading();
                return nullptr;
            }
        } else {
            const int subsampling = std::max(1, input.subsampling);
            // A counter left at or beyond the subsampling (lowered meanwhile) still takes
            // the one element this call is for.
            for (int i = std::min(input.subsamplingCounter, subsampling - 1); i < subsampling; ++i) {
                position = waitAndTake(*this, input);
                if (i != subsampling - 1) input.ring->StopReading(input.readerId, position);
            }
            input.subsamplingCounter = 0;
        }
    } catch (int code) {
        input.ExitStartReading();
        if (code != ErrorException) throw;
        Error((std::string("Failed to start reading on ") + input.fullName.c_str()).c_str(), 1, 0);
    }
    if (definition.heldElementLimit > 0) {
        TARNMutexGuard guard(input.mutex);
        changeHeldCount(input, 1);
    }
    input.ExitStartReading();
    return position;
}

// ---- Record -------------------------------------------------------------------------------

void TARNRecordReplayMethod::Record() {
    TARNInputImplementation& input = recordInput();
    TARNListIterator position = takeElement(input);
    if (position == nullptr) return;
    ElementHold hold = ElementHold::Held;
    try {
        recordHeld(input, position, hold);
    } catch (...) {
        // Given back once: not when this call already gave it back, nor when the writer it
        // was handed to did.
        TARNListIterator claimed = position;
        if (hold == ElementHold::Held ||
            (hold == ElementHold::HandedToWriter && directlyWritten.compare_exchange_strong(claimed, nullptr)))
            giveBack(input, position);
        throw;
    }
}

namespace {

// The recorder's blackbox write lock, held for one element when the recorder lets
// methods write.
class BlackboxWriteHold {
  public:
    ~BlackboxWriteHold() {
        if (m_lock != nullptr) m_lock->Release();
    }
    void Take(TARNMutex& lock) {
        lock.Lock();
        m_lock = &lock;
    }

  private:
    TARNMutex* m_lock = nullptr;
};

}  // namespace

void TARNRecordReplayMethod::recordHeld(TARNInputImplementation& input, TARNListIterator position,
                                        ElementHold& hold) {
    TARNMutexGuard moduleGuard(moduleLock);
    auto& element = TARNIOMonitorImplementation::Element(position);
    if (!headingRecorded) RecordHeading(element);

    bool recording = TARN::IsRecording();
    bool mayWrite = true;
    BlackboxWriteHold writeHold;
    if (Blackboxed()) {
        TARNMutexGuard stateGuard(recorder->blackboxStateLock);
        if (recorder->blackboxWrite) {
            writeHold.Take(recorder->blackboxWriteLock);
        } else if (recorder->blackboxHold) {
            mayWrite = false;
            recording = false;
        } else {
            mayWrite = false;
        }
    }
    if (mayWrite) recordMarkedCopies();
    trimTriggerBuffer(element.timeOfIssue);

    auto release = [&] {
        hold = ElementHold::GivenBack;
        giveBack(input, position);
    };
    if (!recording) {
        release();
        return;
    }

    bool triggered = booleanProperty(triggerProperty);
    if (triggered) {
        const long releaseTime = integerProperty(triggerReleaseTimeProperty);
        const long releaseSize = integerProperty(triggerReleaseSizeProperty);
        const int sinceTrigger = static_cast<int>(static_cast<unsigned int>(elementSequenceCounter) -
                                                  static_cast<unsigned int>(triggerSequenceNumber));
        if ((releaseTime != 0 && element.timeOfIssue - triggerTime > releaseTime) ||
            (releaseSize != 0 && sinceTrigger >= releaseSize)) {
            Set(*triggerProperty, false);
            triggered = false;
        }
    }

    if (triggered && mayWrite && !DoProcessBufferItem(element)) {
        std::atomic_ref<unsigned int>(element.triggerState).store(0);
        RecordTime(element);
        // From here the writer gives the element back (Unlock, or its write completion);
        // should RecordIOElt fail before it does, Record gives it back instead.
        directlyWritten.store(position);
        hold = ElementHold::HandedToWriter;
        RecordIOElt(element);
        hold = ElementHold::GivenBack;
        TARNListIterator expected = position;
        directlyWritten.compare_exchange_strong(expected, nullptr);
        ++recordCount;
        writtenSequenceEnd = ++elementSequenceCounter;
        return;
    }
    if (triggered) {
        TARNIOEltImplementation& copy = copyIntoSlot(element, mayWrite ? Writing : Marked);
        release();
        if (mayWrite) writeCopy(copy);
        return;
    }
    if (integerProperty(triggerBufferSizeProperty) > 0 || integerProperty(triggerBufferTimeProperty) > 0)
        copyIntoSlot(element, Buffered);
    release();
}

void TARNRecordReplayMethod::recordMarkedCopies() {
    // Copies written at an earlier trigger stay at the flush cursor while they lie inside
    // the window: stopping at them would leave the copies marked behind them to be written
    // after the elements that follow.
    TARNListItem<TARNIOElt*>* item = flushCursor;
    if (item == nullptr) return;
    // A full buffer has its cursor on its end: one whole turn then.
    do {
        if (markedCopies == 0) return;
        auto& copy = static_cast<TARNIOEltImplementation&>(*item->Value());
        if (std::atomic_ref<unsigned int>(copy.triggerState).load() & MarkedBit) writeCopy(copy);
        item = nextInRing(item);
    } while (item != flushEnd);
}

// ---- Threads and the sequential path ------------------------------------------------------

void TARNRecordReplayMethod::RecordThread() {
    long priority = DieException;
    GetProperty("priority", priority);
    TARN::SetCurrentThreadPriority(static_cast<int>(priority));
    for (;;) {
        Record();
        if (State() & Dying) throw DieException;
    }
}

void TARNRecordReplayMethod::drainInput(TARNInputImplementation& input) {
    while (input.DataAvailableInFIFO()) {
        if (input.subsamplingCounter >= input.subsampling - 1) {
            input.subsamplingCounter = 0;
            PerformanceMonitoring();
            Record();
        } else if (IsFifoReaderType(input.readerType)) {
            skipElement(input);
            ++input.subsamplingCounter;
        } else {
            PerformanceMonitoring();
            Record();
        }
    }
}

void TARNRecordReplayMethod::SequentialCore(TARNInput* input) {
    TARNMutexGuard sequential(sequentialLock);
    if (recordStopped || (State() & Dying)) return;
    try {
        drainInput(static_cast<TARNInputImplementation&>(*input));
    } catch (int code) {
        if (code == DieException) return;
        if (code == ErrorException) {
            TARN::ReportWarning(
                (std::string("Component ") + (Name() ? Name() : "") + " (sequential) died due to an error.").c_str(), 1);
            recordStopped = true;
            return;
        }
        if (code == TARN::TimeoutException)
            TARNPrivate::KernelError(
                (std::string("Record/Replay method ") + (Name() ? Name() : "") + " : Time out (deadlock?) on an input")
                    .c_str(),
                1);
        throw;
    }
}

// ---- Death --------------------------------------------------------------------------------

void TARNRecordReplayMethod::DeathRecordX() {
    {
        TARNMutexGuard guard(recordLock);
        recordStopped = true;
        state.store((state.load() & ~Running) | Dying);
        dieEvent.Set();
    }
    if (threaded && !copyMode) {
        Wait4Death();
    } else {
        // A sequential call in progress finishes first.
        TARNMutexGuard sequential(sequentialLock);
        recordStopped = true;
    }

    // Held across the walk and the free: a trigger set meanwhile must not flush a buffer
    // that is being written or freed.
    TARNMutexGuard guard(moduleLock);
    if (fastFilePath != nullptr) {
        Report("Flushing...", 0, 0);
        recordMarkedCopies();
        try {
            DeathRecord();
        } catch (int code) {
            if (code != ErrorException) throw;
            TARN::ReportWarning((std::string(Kind()) + " " + (Name() ? Name() : "") + " died with an error.").c_str(),
                                1);
        }
    }
    FreeRecordMethodBuffers();
    for (char** text : {&filePath, &fastFilePath, &recordFolder, &fastRecordFolder}) {
        std::free(*text);
        *text = nullptr;
    }
}
