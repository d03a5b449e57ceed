// Plain and re-entrant mutexes over POSIX threads, and the scope guard that holds either.
#pragma once

#include <pthread.h>

#include <cstdint>

// A plain, non-recursive mutex. Locking it twice from the same thread deadlocks.
class TARNMutex {
  public:
    TARNMutex();
    virtual ~TARNMutex();

    TARNMutex(const TARNMutex&) = delete;
    TARNMutex& operator=(const TARNMutex&) = delete;

    // Blocks until the mutex is held by the caller.
    void Lock();
    // Takes the mutex when it is free; true only when the caller now holds it.
    bool TryLock();
    void Release();
    // Destroys and re-creates the mutex, leaving it unlocked. It must not be held.
    void Reset();

  protected:
    pthread_mutex_t m_mutex;
};

// A re-entrant mutex: the base object is the main lock that owners hold; a short-lived
// inner lock guards the owner record, so another thread can block on the main lock while
// the holder updates depth and owner.
class TARNMutex2 : public TARNMutex {
  public:
    TARNMutex2();
    ~TARNMutex2() override;

    // Takes the lock, or counts one more level when the caller already owns it.
    void Lock();
    // Counts one level down and frees the lock at the last one. Releasing a free lock
    // does nothing. Like the plain mutex, the caller is trusted to be the owner.
    void Release();

    // Takes the lock when it is free, or counts one more level when the caller already owns
    // it; never blocks. True when the caller now holds it (to be released as after Lock).
    bool TryLock();
    // Resetting would bypass the owner record: not offered on a re-entrant lock.
    void Reset() = delete;
    // Whether a thread is blocked in Lock behind another owner: true from the moment one
    // blocks until a blocked thread takes the lock. Lets a test see a thread parked on the
    // lock, which no amount of load makes it confuse with one spinning for it.
    bool HasWaiter();

  private:
    TARNMutex m_inner;
    pthread_t m_owner{};
    uint32_t m_depth = 0;
    bool m_waiting = false;
};

// Holds a mutex (plain or re-entrant) from construction to the end of its scope, also when
// the scope is left by an exception. Code that blocks while holding the guard calls Unlock
// before and Relock after, so the lock is not kept across the wait.
class TARNMutexGuard {
  public:
    explicit TARNMutexGuard(TARNMutex& mutex);
    explicit TARNMutexGuard(TARNMutex2& mutex);
    ~TARNMutexGuard();

    TARNMutexGuard(const TARNMutexGuard&) = delete;
    TARNMutexGuard& operator=(const TARNMutexGuard&) = delete;

    // Gives the lock up; returns whether it was held (false: nothing was done).
    bool Unlock() { return (this->*m_unlock)(); }
    // Takes the lock back; returns false (and does nothing) when it is already held.
    bool Relock() { return (this->*m_relock)(); }
    bool IsLocked() const { return m_locked; }

  private:
    bool unlock_mtx();
    bool relock_mtx();
    bool unlock_mtx2();
    bool relock_mtx2();

    bool (TARNMutexGuard::*m_unlock)();
    bool (TARNMutexGuard::*m_relock)();
    TARNMutex* m_mutex;
    TARNMutex2* m_mutex2;
    bool m_locked;
};
