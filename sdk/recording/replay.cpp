// Replay: a replay method's birth (paths, reader, thread), the replay thread that publishes
// each queued record at its time, and replay death.
#include <cstdlib>
#include <string>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "engine/engine_time_section.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "recording/property_reading.hpp"
#include "recording/record_paths.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/condition.hpp"
#include "tarn/engine/engine_recording.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/engine/wait_for_timestamp.hpp"
#include "tarn/recording/record_replay_method.hpp"
#include "tarn/runtime/streamed_string.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

// The path of a replayed stream's files: base/[subfolder/][record name_]name, or, for a
// stream name without a point, base/name followed by the record name's part from its "@".
std::string replayPath(const std::string& base, const TARNStackedString<40>* subfolder, bool namedWithPoint,
                       const std::string& recordName, const std::string& name) {
    std::string path = base + "/";
    if (subfolder != nullptr) path += std::string(subfolder->c_str()) + "/";
    if (namedWithPoint) path += recordName + "_";
    path += name;
    if (!namedWithPoint && !recordName.empty()) {
        const std::size_t at = recordName.find('@');
        if (at != std::string::npos) path += recordName.substr(at);
    }
    return path;
}

}  // namespace

// ---- Birth --------------------------------------------------------------------------------

void TARNRecordReplayMethod::BirthReplayX() {
    Start();
    TARNOutputImplementation& output = recordedImplementation();
    TARNPlayer* player = output.player;
    const std::string registered = output.registeredName.c_str();
    const bool namedWithPoint = registered.find('.') != std::string::npos;
    const TARNStackedString<40>* subfolder =
        player != nullptr ? player->subfolders.Lookup(TARNStackedString<40>(registered.c_str())) : nullptr;
    const std::string name = TARNPrivate::FileSafeName(registered);
    const std::string recordName = player != nullptr ? player->recordName.c_str() : "";
    const std::string ownName = Name() ? Name() : "";

    std::string base = TARNPrivate::EnginePropertyText(ownName + ".replayPath");
    if (base.empty() && player != nullptr) base = player->defaultReplayPath.c_str();
    std::free(filePath);
    filePath = TARNPrivate::HeapText(replayPath(base, subfolder, namedWithPoint, recordName, name));
    std::string fast = TARNPrivate::EnginePropertyText(ownName + ".fastReplayPath");
    if (fast.empty() && player != nullptr) fast = player->defaultFastReplayPath.c_str();
    std::free(fastFilePath);
    fastFilePath = TARNPrivate::HeapText(replayPath(fast, subfolder, namedWithPoint, recordName, name));

    threaded = TARNPrivate::PropertyFlag(*this, "threaded");
    if (!threaded) {
        queueReaderId = 0;
    } else {
        queueReaderId = replayQueue->RegisterReader(NeverSkippingReader);
        CreateThread(static_cast<void (TARNModule::*)()>(&TARNRecordReplayMethod::ReplayThread));
    }
    try {
        BirthReplay();
    } catch (int code) {
        if (code != ErrorException) throw;
        TARNMutexGuard guard(moduleLock);
        TARN::ReportWarning((std::string(Kind()) + " " + ownName + " died due to an error.").c_str(), 1);
        state.store((state.load() & ~Running) | Dying);
        dieEvent.Set();
        noThreadEvent.Set();
        throw;
    }
}

// ---- The replay thread --------------------------------------------------------------------

TARNRecordReplayMethod& TARNRecordReplayMethod::replaySettings() {
    // The output follows the replay method bound to it; a method replaying an output that
    // has none follows its own settings.
    TARNRecordReplayMethod* bound = boundMethod();
    return bound != nullptr ? *bound : *this;
}

// Opened at the top of a pass, before the record is taken: a change of engine time while
// the record is taken, filled or waits for its time sets the prepared wait's event, and the
// element is dropped. The engine-time lock is free while the wait is prepared (preparing it
// releases the lock the bracket took) and held from the end of the wait until the bracket
// closes; so nothing that waits, nor anything that changes engine time, runs between them.
class TARNRecordReplayMethod::PassTimeWait {
  public:
    PassTimeWait() : m_condition(TARNPrivate::kernel->EngineTimeCondition()) { prepare(); }
    ~PassTimeWait() { Close(); }
    PassTimeWait(const PassTimeWait&) = delete;
    PassTimeWait& operator=(const PassTimeWait&) = delete;

    // Set once engine time jumps, or its speed or state changes, while the wait is prepared.
    TARNEvent* Event() const { return m_event; }
    bool Changed() const { return m_waiting && m_event->Wait(0) == 0; }
    void EndWait() {
        if (m_waiting) m_condition->AchieveWaitX(m_token);
        m_waiting = false;
    }
    // A new wait, from now.
    void Renew() {
        EndWait();
        prepare();
    }
    // Ends the wait and closes the bracket; later calls do nothing.
    void Close() {
        EndWait();
        m_bracket.End();
    }

  private:
    void prepare() {
        m_token = m_condition->WaitX(&m_event);
        m_waiting = true;
    }

    TARNPrivate::EngineTimeSection m_bracket;
    TARNCondition* m_condition;
    TARNEvent* m_event = nullptr;
    void* m_token = nullptr;
    bool m_waiting = false;
};

bool TARNRecordReplayMethod::publishOnTime(long time, PassTimeWait& pass) {
    for (;;) {
        long now = 0;
        int speed = 0;
        {
            TARNPrivate::EngineTimeSection bracket;
            now = TARN::CurrentTime(false, false);
            speed = TARNPrivate::GetAbsoluteTimeSpeed();
            if (pass.Changed()) return false;
        }
        TARNEvent* changeOrDeath[2] = {pass.Event(), &dieEvent};
        if (speed == 0) {
            // Time stands still: the element waits for the next change of time, then goes.
            TARNEvent::Wait(2, changeOrDeath, -1);
            return false;
        }
        if (TARN::TimeState() == 2) {
            // Time must not be extrapolated: wait for its state to change.
            if (TARNEvent::Wait(2, changeOrDeath, -1) != 0) return false;
            pass.EndWait();
            if (TARN::TimeState() == 2) return false;
        } else {
            const long delay = TARNPrivate::EngineDelayToRealDelay(time, now, speed);
            if (delay <= TARNPrivate::MinimumWaitTime) return true;
            TARNEvent timer(false);
            if (!timer.SetTrigger(delay)) {
                pass.Close();
                Report("Two many multimedia timers used. Replay method will not work correctly. Try switching some "
                       "replay methods to sequential mode.",
                       2, 0);
                return false;
            }
            TARNEvent* events[3] = {pass.Event(), &dieEvent, &timer};
            const int fired = TARNEvent::Wait(3, events, -1);
            if (fired == 2) {
                if (time - TARN::CurrentTime(true, true) <= TARNPrivate::MinimumWaitTime) return true;
                continue;
            }
            timer.ResetTrigger();
            if (fired != 0) return false;
            pass.EndWait();
        }
        // Time jumped, or its speed or state changed: a backward move drops the element.
        const int speed2 = TARNPrivate::GetAbsoluteTimeSpeed();
        const long now2 = TARN::CurrentTime(false, false);
        if (speed2 == 0 || (speed < 0 && speed2 > 0) || (speed > 0 && speed2 < 0) || (now2 - now) / speed < 0)
            return false;
        pass.Renew();
    }
}

void TARNRecordReplayMethod::ReplayThread() {
    long priority = 128;
    {
        TARNMutexGuard guard(moduleLock);
        if (HasProperty("replayThreadPriority")) Get(Property("replayThreadPriority"), priority);
    }
    TARNOutputImplementation& output = recordedImplementation();
    TARNEvent* ownerDie = output.owner != nullptr ? &output.owner->dieEvent : &dieEvent;
    TARNKernel* kernel = TARNPrivate::kernel;

    while (!(State() & Dying)) {
        // Every way out of the pass ends the wait and closes the bracket, once.
        PassTimeWait pass;
        TARNListIterator queued = nullptr;
        TARNEvent* readerEvent = nullptr;
        TARNEvent* abortEvent = nullptr;
        if (!replayQueue->StartReadingX(queueReaderId, &readerEvent, &abortEvent, &queued)) {
            TARNEvent* events[3] = {readerEvent, &dieEvent, ownerDie};
            const int fired = TARNEvent::Wait(3, events, -1);
            if (fired != 0 || !replayQueue->AchieveStartReadingX(queueReaderId, 0, &queued)) {
                replayQueue->AbortStartReadingX(queueReaderId);
                if (fired == 2) {
                    state.store((state.load() & ~(Dying | Running)) | Dying);
                    dieEvent.Set();
                }
                continue;
            }
        }
        TARNReplayAsyncCommData& record = replayQueue->Element(queued);
        TARN::SetCurrentThreadPriority(static_cast<int>(priority));

        if (copyMode) {
            // Nothing of this pass waits for engine time when nothing is published.
            if (!publish) pass.Close();
            TARNPlayer* player = nullptr;
            {
                TARNMutexGuard guard(copySourceLock);
                player = copyPlayer;
            }
            if (player != nullptr) {
                // The method's own death ends this wait too: its death waits for this thread.
                TARNEvent* events[3] = {TARN::GetShutdownEvent(), &player->copyEvent, &dieEvent};
                if (TARNEvent::Wait(3, events, -1) != 1) {
                    replayQueue->StopReading(queueReaderId, queued);
                    continue;
                }
            }
            if (!CopyX(record, output.definition.type)) {
                TARNStreamedString message("Error copying file ");
                message << (player != nullptr ? player->replayedFileName.c_str() : "") << ". Record concerned is "
                        << (Name() ? Name() : "") << "#" << record.recordNumber;
                TARNPrivate::Report(message.c_str(), 2, 1, true);
                replayQueue->StopReading(queueReaderId, queued);
                continue;
            }
        }
        if (!publish) {
            replayQueue->StopReading(queueReaderId, queued);
            continue;
        }

        // Waiting for room (a NeverSkippingReader behind), the thread holds a record of the
        // queue: its own death ends that wait, or death would free the queue under it.
        TARNListIterator position = output.ring->StartWriting(&dieEvent);
        if (position == nullptr) {
            replayQueue->StopReading(queueReaderId, queued);
            continue;
        }
        TARNIOEltImplementation& element = TARNIOMonitorImplementation::Element(position);
        const unsigned long code = output.definition.type.type;
        if (code & TARNTypeInfo::CarriesFrequency) element.frequency = record.frequency;
        if (code & TARNTypeInfo::CarriesQuality) element.quality = record.quality;
        if (code & TARNTypeInfo::CarriesMiscWords) {
            element.misc1 = record.misc1;
            element.misc2 = record.misc2;
            element.misc3 = record.misc3;
        }
        if (!ReplayIOElt(element, record.recordNumber, record.text.c_str(), output.definition.type)) {
            pass.EndWait();
            output.ring->StopWriting(position, true);
            TARNStreamedString message("Replaying file ");
            message << (output.player != nullptr ? output.player->replayedFileName.c_str() : "")
                    << " corrupted. Record concerned is " << (Name() ? Name() : "") << "#" << record.recordNumber;
            replayQueue->StopReading(queueReaderId, queued);
            pass.Close();
            TARNPrivate::Report(message.c_str(), 1, 1, true);
            continue;
        }
        TARN::SetCurrentThreadPriority(255);
        element.timeOfIssue = record.timeOfIssue;
        element.timestamp = output.SmoothTimestamp(record.timestamp, record.timeOfIssue);
        const bool immediate = record.immediate;
        replayQueue->StopReading(queueReaderId, queued);

        TARNRecordReplayMethod& settings = replaySettings();
        const int mode = settings.replayMode.load();
        const bool timed = (mode == ReplayNormal || mode == ReplayTimestamp) && !immediate;
        const bool onTime =
            !timed || publishOnTime(mode == ReplayTimestamp ? element.timestamp : element.timeOfIssue, pass);
        pass.Close();
        if (!onTime) {
            output.ring->StopWriting(position, true);
            continue;
        }
        output.ring->StopWriting(position, false);
        output.CallSequentialComponents();
        if (kernel->ReplayPausePending() && settings.autopause.load()) {
            kernel->SetReplayPausePending(false);
            TARN::Pause();
        }
    }
}

// ---- Death --------------------------------------------------------------------------------

void TARNRecordReplayMethod::DeathReplayX() {
    state.store((state.load() & ~(Dying | Running)) | Dying);
    dieEvent.Set();
    bool readerWasSet = queueReaderId >= 0;
    if (!threaded) {
        queueReaderId = -1;
    } else {
        Wait4Death();
        if (queueReaderId >= 0) {
            const int reader = queueReaderId;
            queueReaderId = -1;
            replayQueue->UnregisterReader(reader);
            replayQueue->ResetFifoSize(4);
            replayQueue->AllReadEvent().Reset();
        }
    }
    if (readerWasSet) {
        try {
            DeathReplay();
        } catch (int code) {
            if (code != ErrorException) throw;
            TARN::ReportWarning(
                (std::string(Kind()) + " " + (Name() ? Name() : "") + " died with an error.").c_str(), 1);
        }
    }
    {
        TARNMutexGuard guard(moduleLock);
        FreeRecordMethodBuffers();
    }
    for (char** text : {&filePath, &fastFilePath, &recordFolder, &fastRecordFolder}) {
        std::free(*text);
        *text = nullptr;
    }
}
