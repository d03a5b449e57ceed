// The host kernel's engine time: the clock the SDK's timed waits follow, with the
// engine-time lock and condition, settable by tests (including by hand).
#pragma once

#include <atomic>
#include <mutex>

#include "tarn/engine/condition.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/runtime/mutex.hpp"

// Engine time runs from a base: now = base + (monotonic - monotonic at base) * speed / 1000,
// and stands still at the base while paused or in time state 2. Every change (jump, speed,
// state, pause, resume) is made under the engine-time lock and signals the engine-time
// condition, so waits prepared under the lock see it.
//
// The engine-time lock is a plain, non-recursive mutex: the operations that read time do not
// take it (they read a consistent snapshot under an inner lock), so a caller may read inside
// the bracket; the operations that change time take it, so they must not be called by a
// thread that is inside a bracket.
class HostEngineTime {
  public:
    // Real-time monotonic clock, engine time 0, speed 1000, state 0, running.
    HostEngineTime();
    ~HostEngineTime();

    HostEngineTime(const HostEngineTime&) = delete;
    HostEngineTime& operator=(const HostEngineTime&) = delete;

    // The kernel's monotonic microseconds (TARNKernel::GetSystemAccurateTiming).
    long MonotonicMicroseconds() const;
    // Engine time in microseconds.
    long CurrentTime() const;
    // Jumps to `time` (the clock keeps its speed from there).
    void SetCurrentTime(long time);
    // The speed set, in thousandths of real time (1000 real time, negative backwards),
    // whether paused or not.
    int TimeSpeed() const;
    void SetTimeSpeed(int speed);
    // The speed time runs at now: 0 while paused, else the speed set.
    int AbsoluteTimeSpeed() const;
    // 2 means time must not be extrapolated: it stands still while in that state.
    int TimeState() const;
    void SetTimeState(int state);
    bool IsPaused() const;
    void Pause();
    void Resume();

    // The engine-time condition (over the engine-time lock), signalled by every change.
    TARNCondition* Condition() { return &m_condition; }
    // The engine-time bracket: takes and releases the engine-time lock, and counts both.
    void BeginEngineTime();
    void EndEngineTime();
    long BracketsOpened() const { return m_opened.load(); }
    long BracketsClosed() const { return m_closed.load(); }

    // From now on the monotonic clock stands at `start` and moves only by AdvanceClock.
    void UseManualClock(long start);
    void AdvanceClock(long microseconds);

  private:
    long monotonicLocked() const;
    long currentTimeLocked() const;
    bool runningLocked() const { return !m_paused && m_state != 2; }
    // Makes the present engine time the new base; the inner lock is held.
    void rebaseLocked();
    // Runs `change` under the engine-time lock and the inner lock, then signals.
    template <class Change>
    void changeAndSignal(Change change);

    TARNMutex m_timeLock;
    TARNEvent m_abort;
    TARNCondition m_condition;
    std::atomic<long> m_opened{0};
    std::atomic<long> m_closed{0};

    mutable std::mutex m_inner;
    bool m_manualClock = false;
    long m_manualNow = 0;
    long m_base = 0;
    long m_monotonicAtBase = 0;
    int m_speed = 1000;
    int m_state = 0;
    bool m_paused = false;
};
