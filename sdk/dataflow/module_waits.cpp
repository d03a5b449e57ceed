// The module's blocking waits. Each one also waits on the module's die event (unless told
// otherwise) and throws 57005 once the module is dying. Time-outs and durations are engine
// time: they stretch and shrink with the engine's speed, stand still while the engine is
// paused or time stands still (time state 2), and are recomputed whenever the engine-time
// condition reports a change.
#include "dataflow/still_running_report.hpp"
#include "engine/engine_time_section.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/engine/wait_for_timestamp.hpp"
#include "tarn/runtime/saturated_arithmetic.hpp"
#include "tarn/runtime/streamed_string.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

using TARNPrivate::EngineTimeSection;
using TARNPrivate::SaturatedAdd;
using TARNPrivate::SaturatedSub;

// One multi-event wait, without limit or for `timeout` microseconds of real time, together
// with the engine-time condition, whose event the condition puts in slot `n` of `set`.
int waitWithTimeCondition(int n, TARNEvent** set, long timeout) {
    return TARNPrivate::WaitWithTimeCondition(n + 1, set, n, timeout);
}

// Whether an engine time limit counts: not while the engine stands still.
bool engineTimeMoves(int speed) {
    return speed > 0 && !TARN::IsPaused() && TARN::TimeState() != 2;
}

constexpr const char* TooManyTimers =
    "Too many multimedia timers used. No more available. Contact technical support for help.";

// How one armed turn of Rest or Wait ended, short of the module's death.
enum class TriggerTurn { TimeChanged, TriggerFired, EventFired, TimerRefused, Failed };

// One turn of Rest and Wait while engine time moves: arms `trigger` for `realWait`
// microseconds of real time, waits without limit on the die event, the trigger, `event`
// (when given) and the engine-time condition, and ends `section`. A trigger left armed is
// cancelled. Dying throws 57005; a trigger the engine refuses is the module's Error, its
// text `refusedPrefix` and TooManyTimers (TimerRefused, should an override return).
// `result` receives what the wait answered.
TriggerTurn waitForTrigger(TARNModule& module, EngineTimeSection& section, TARNEvent& trigger, long realWait,
                           TARNEvent* event, const char* refusedPrefix, int& result) {
    if (!trigger.SetTrigger(realWait)) {
        section.End();
        module.Error((TARNStackedString<40>(refusedPrefix) + TooManyTimers).c_str(), 1, 0);
        return TriggerTurn::TimerRefused;
    }
    TARNEvent* set[4] = {&module.dieEvent, &trigger, event, nullptr};
    const int n = event != nullptr ? 3 : 2;
    result = waitWithTimeCondition(n, set, -1);
    section.End();
    if (result == 1) return TriggerTurn::TriggerFired;
    trigger.ResetTrigger();
    if (result == 0) throw TARNModule::DieException;
    // Engine time jumped, or its speed or pause changed.
    if (result == n) return TriggerTurn::TimeChanged;
    if (result == 2) return TriggerTurn::EventFired;
    return TriggerTurn::Failed;
}

// How a turn of Rest or Wait that waits for engine time to move again ended, short of the
// module's death.
enum class StillTurn { TimeChanged, EventFired, Failed };

// One turn of Rest and Wait while no trigger can measure the time to go (time stands
// still, or for Wait runs backwards): waits without limit on the die event, `event` (when
// given) and the engine-time condition, and ends `section`. Dying throws 57005. `result`
// receives what the wait answered.
StillTurn waitForTimeToMove(TARNModule& module, EngineTimeSection& section, TARNEvent* event, int& result) {
    TARNEvent* set[3] = {&module.dieEvent, event, nullptr};
    const int n = event != nullptr ? 2 : 1;
    result = waitWithTimeCondition(n, set, -1);
    section.End();
    if (result == 0) throw TARNModule::DieException;
    if (result == n) return StillTurn::TimeChanged;
    if (result == 1) return StillTurn::EventFired;
    return StillTurn::Failed;
}

// A wait of Wait that answered none of its events.
void reportFailedWait(int line, int result) {
    TARNStreamedString message("TARNEvent::Wait [line:");
    message << line << "] Failed [result: " << result << "]";
    TARN::ReportError(message.c_str(), 0);
}

}  // namespace

// The common engine-time loop of Wait4Event and Wait4Events: `set` holds `n` events and
// room for the condition's; answers the index that fired or -3 on time-out. `dieIndex` is
// the die event's index in the set (-1 when not in it).
static int waitInEngineTime(int n, TARNEvent** set, int dieIndex, long timeout) {
    long start = TARN::CurrentTime(true, true);
    long deadline = SaturatedAdd(start, timeout);
    for (;;) {
        EngineTimeSection section;
        const int speed = TARNPrivate::GetAbsoluteTimeSpeed();
        const long now = TARN::CurrentTime(false, false);
        // Engine time went back: the time-out counts again from here.
        if (start > now) deadline = SaturatedAdd(now, timeout);
        long realWait = -1;
        if (engineTimeMoves(speed)) {
            realWait = TARNPrivate::EngineDelayToRealDelay(deadline, now, speed);
            if (realWait <= TARNPrivate::MinimumWaitTime) return -3;
        }
        const int result = waitWithTimeCondition(n, set, realWait);
        section.End();
        if (result == dieIndex) throw TARNModule::DieException;
        if (result == n) {
            // Engine time jumped, or its speed or pause changed.
            start = now;
            continue;
        }
        if (result == -3) {
            if (SaturatedSub(deadline, TARN::CurrentTime(true, true)) > TARNPrivate::MinimumWaitTime) {
                start = now;
                continue;
            }
            return -3;
        }
        return result;
    }
}

bool TARNModule::Wait4Event(TARNEvent* event, long timeout) {
    // The die event first, so that dying wins over an event set at the same time.
    TARNEvent* set[3] = {&dieEvent, nullptr, nullptr};
    int n = 1;
    if (event != nullptr && event != &dieEvent) set[n++] = event;
    if (timeout == -1) {
        TARNEvent::Wait(n, set, -1);
        if (state.load() & Dying) throw DieException;
        return true;
    }
    return waitInEngineTime(n, set, 0, timeout) != -3;
}

int TARNModule::Wait4Events(int count, TARNEvent** events, long timeout, bool withDieEvent) {
    if (count > MaxWaitEvents)
        TARNPrivate::KernelError("Wait4Events can't wait for more than 254 events simultaneously.", 1);
    if (count < 0) count = 0;
    TARNEvent* set[MaxWaitEvents + 2];
    for (int i = 0; i < count; ++i) set[i] = events[i];
    int n = count;
    if (withDieEvent) set[n++] = &dieEvent;
    if (timeout == -1) {
        const int result = TARNEvent::Wait(n, set, -1);
        if (state.load() & Dying) throw DieException;
        return result;
    }
    return waitInEngineTime(n, set, withDieEvent ? count : -1, timeout);
}

int TARNModule::MsgWait4Event(TARNEvent* event, long timeout) {
    TARNEvent* set[2] = {event, &dieEvent};
    const int result = TARNEvent::MsgWait(2, set, timeout);
    if (state.load() & Dying) throw DieException;
    return result;
}

int TARNModule::MsgWait4Events(int count, TARNEvent** events, long timeout, bool withDieEvent) {
    if (count > MaxMsgWaitEvents)
        TARNPrivate::KernelError("MsgWait4Events can't wait for more than 255 events simultaneously.", 1);
    if (count < 0) count = 0;
    int result;
    if (withDieEvent) {
        TARNEvent* set[MaxMsgWaitEvents + 1];
        for (int i = 0; i < count; ++i) set[i] = events[i];
        set[count] = &dieEvent;
        result = TARNEvent::MsgWait(count + 1, set, timeout);
    } else {
        result = TARNEvent::MsgWait(count, events, timeout);
    }
    if (state.load() & Dying) throw DieException;
    return result;
}

int TARNModule::Rest(long duration, TARNEvent* event) {
    // Nothing to wait for, whatever the engine's speed: give the processor away once.
    if (duration <= 0) {
        TARN::ReleaseCurrentThread();
        return 1;
    }
    TARNEvent trigger(false);
    long remaining = duration;
    int previousSpeed = 1000;
    bool recompute = true;
    long target = 0;
    long recomputedAt = 0;
    for (;;) {
        EngineTimeSection section;
        const int speed = TARNPrivate::GetAbsoluteTimeSpeed();
        if (recompute || (previousSpeed > 0 && speed < 0) || (previousSpeed < 0 && speed > 0)) {
            recomputedAt = TARN::CurrentTime(false, false);
            // Engine time running backwards reaches the end below the present.
            target =
                speed < 0 ? SaturatedSub(recomputedAt, remaining) : SaturatedAdd(recomputedAt, remaining);
        }
        if (speed == 0 || TARN::TimeState() == 2) {
            int result = 0;
            switch (waitForTimeToMove(*this, section, event, result)) {
                case StillTurn::TimeChanged:
                    // Engine time stood still: the whole remaining duration is still to go.
                    recompute = true;
                    continue;
                case StillTurn::EventFired:
                    return 0;
                case StillTurn::Failed:
                    return 1;
            }
        }
        const long realWait =
            TARNPrivate::EngineDelayToRealDelay(target, TARN::CurrentTime(false, false), speed);
        if (realWait <= TARNPrivate::MinimumWaitTime) {
            section.End();
            TARN::ReleaseCurrentThread();
            return 1;
        }
        int result = 0;
        switch (waitForTrigger(*this, section, trigger, realWait, event, "Rest function : ", result)) {
            case TriggerTurn::TimeChanged: {
                // What passed counts, the rest is recomputed.
                const long passed = SaturatedSub(TARN::CurrentTime(false, false), recomputedAt);
                remaining = SaturatedSub(remaining, passed < 0 ? SaturatedSub(0, passed) : passed);
                previousSpeed = speed;
                recompute = true;
                continue;
            }
            case TriggerTurn::TriggerFired: {
                const long now = TARN::CurrentTime(false, false);
                const long toGo = speed < 0 ? SaturatedSub(now, target) : SaturatedSub(target, now);
                if (toGo <= TARNPrivate::MinimumWaitTime) return 1;
                previousSpeed = speed;
                recompute = false;
                continue;
            }
            case TriggerTurn::EventFired:
                return 0;
            case TriggerTurn::TimerRefused:
            case TriggerTurn::Failed:
                return 1;
        }
    }
}

int TARNModule::Wait(long timestamp, TARNEvent* event) {
    TARNEvent trigger(false);
    for (;;) {
        EngineTimeSection section;
        const long now = TARN::CurrentTime(false, false);
        const int speed = TARNPrivate::GetAbsoluteTimeSpeed();
        if (speed > 0 && TARN::TimeState() != 2) {
            const long realWait = TARNPrivate::EngineDelayToRealDelay(timestamp, now, speed);
            if (realWait <= TARNPrivate::MinimumWaitTime) return 1;
            int result = 0;
            switch (waitForTrigger(*this, section, trigger, realWait, event, "TARNEvent::Wait [line:2029] ",
                                   result)) {
                case TriggerTurn::TimeChanged:
                    continue;
                case TriggerTurn::TriggerFired:
                    if (SaturatedSub(timestamp, TARN::CurrentTime(false, false)) <=
                        TARNPrivate::MinimumWaitTime)
                        return 1;
                    continue;
                case TriggerTurn::EventFired:
                    return 0;
                case TriggerTurn::TimerRefused:
                    return 1;
                case TriggerTurn::Failed:
                    break;
            }
            reportFailedWait(2063, result);
            return 1;
        }
        // Time stands still or runs backwards: only a change of time (or an event) helps.
        int result = 0;
        switch (waitForTimeToMove(*this, section, event, result)) {
            case StillTurn::TimeChanged:
                continue;
            case StillTurn::EventFired:
                return 0;
            case StillTurn::Failed:
                break;
        }
        reportFailedWait(2020, result);
        return 1;
    }
}

bool TARNModule::Wait4Death() {
    bool found = false;
    long timeout = TARN::GetIntegerProperty("Engine.shutdownTimeout", &found);
    if (!found || timeout < 0) timeout = 10000000;
    if (noThreadEvent.Wait(timeout) == 0) return true;
    Report(TARNPrivate::StillRunningReport(timeout).c_str(), 1, 2);
    return false;
}

bool TARNModule::WaitForTimestamp(long timestamp, TARNEvent* cancel, bool* timeChanged) {
    TARNEvent* events[2] = {&dieEvent, cancel};
    int fired = -1;
    if (TARN::WaitForTimestamp(timestamp, cancel != nullptr ? 2 : 1, events, &fired, timeChanged)) return true;
    if (fired == 0) throw DieException;
    if (fired == 1) return false;
    Error("TARNModule::WaitForTimestamp [line:2096] Failed", 1, 0);
    return false;
}

bool TARNModule::WaitForTimestamp(long timestamp, int n, TARNEvent** cancel, int* index, bool* timeChanged) {
    if (index != nullptr) *index = -1;
    if (n < 0) n = 0;
    if (n > MaxWaitEvents) n = MaxWaitEvents;
    TARNEvent* events[MaxWaitEvents + 1];
    events[0] = &dieEvent;
    for (int i = 0; i < n; ++i) events[i + 1] = cancel[i];
    int fired = -1;
    if (TARN::WaitForTimestamp(timestamp, n + 1, events, &fired, timeChanged)) return true;
    if (fired == 0) throw DieException;
    if (fired >= 1 && fired <= n) {
        if (index != nullptr) *index = fired - 1;
        return false;
    }
    Error("TARNModule::WaitForTimestamp [line:2153] Failed", 1, 0);
    return false;
}
