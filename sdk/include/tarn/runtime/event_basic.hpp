// A manual-reset event on the monotonic clock, over a POSIX mutex and condition variable.
#pragma once

#include <pthread.h>

#include <ctime>

// Once set, the event stays set (and every wait returns at once) until Reset.
class TARNEventBasic {
  public:
    // The name is accepted for symmetry with the engine's events and not used.
    explicit TARNEventBasic(bool initialState = false, const char* name = nullptr);
    ~TARNEventBasic();

    TARNEventBasic(const TARNEventBasic&) = delete;
    TARNEventBasic& operator=(const TARNEventBasic&) = delete;

    // Sets the event and wakes every waiter; setting a set event wakes nobody.
    void Set();
    void Reset();
    // Waits up to timeout microseconds, -1 meaning no limit (any other negative value
    // waits not at all). Returns 0 when the event is or becomes set, -3 on time-out.
    int Wait(long timeout);

    // Number of threads inside Wait waiting for the flag right now. Tests use it to make
    // their waiters block before they set the event: a waiter that arrives after Set
    // passes without having to be woken, and would hide a Set that wakes too few.
    int BlockedWaiters();

  private:
    pthread_mutex_t m_mutex;
    pthread_cond_t m_condition;
    bool m_set;
    // Changed and read under m_mutex only.
    int m_blocked = 0;
};

namespace TARNPrivate {
// The point in time `microseconds` after `now` (non-negative), the nanoseconds carried
// into the seconds. Used for absolute deadlines of timed condition waits.
timespec DeadlineAfter(const timespec& now, long microseconds);
// The deadline `microseconds` from now on the monotonic clock, a negative count taken as 0.
timespec MonotonicDeadlineAfter(long microseconds);
}  // namespace TARNPrivate
