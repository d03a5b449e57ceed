#include "tarn/runtime/mutex.hpp"

TARNMutex::TARNMutex() {
    pthread_mutex_init(&m_mutex, nullptr);
}

TARNMutex::~TARNMutex() {
    pthread_mutex_destroy(&m_mutex);
}

void TARNMutex::Lock() {
    pthread_mutex_lock(&m_mutex);
}

// Any failure of the try (busy, or an error) means the caller does not hold the mutex.
bool TARNMutex::TryLock() {
    return pthread_mutex_trylock(&m_mutex) == 0;
}

void TARNMutex::Release() {
    pthread_mutex_unlock(&m_mutex);
}

void TARNMutex::Reset() {
    pthread_mutex_destroy(&m_mutex);
    pthread_mutex_init(&m_mutex, nullptr);
}

TARNMutex2::TARNMutex2() = default;

// The inner lock is a member and goes first; the main lock goes with the base object.
TARNMutex2::~TARNMutex2() = default;

void TARNMutex2::Lock() {
    m_inner.Lock();
    const pthread_t caller = pthread_self();
    if (m_depth != 0 && pthread_equal(m_owner, caller)) {
        ++m_depth;
    } else {
        // Block on the main lock with the inner one free, so that the holder can still
        // count down and release while we wait.
        m_waiting = true;
        m_inner.Release();
        TARNMutex::Lock();
        m_inner.Lock();
        m_waiting = false;
        m_owner = caller;
        m_depth = 1;
    }
    m_inner.Release();
}

bool TARNMutex2::TryLock() {
    m_inner.Lock();
    const pthread_t caller = pthread_self();
    bool taken = true;
    if (m_depth != 0 && pthread_equal(m_owner, caller)) {
        ++m_depth;
    } else if (TARNMutex::TryLock()) {
        m_owner = caller;
        m_depth = 1;
    } else {
        taken = false;
    }
    m_inner.Release();
    return taken;
}

bool TARNMutex2::HasWaiter() {
    m_inner.Lock();
    const bool waiting = m_waiting;
    m_inner.Release();
    return waiting;
}

void TARNMutex2::Release() {
    m_inner.Lock();
    // A release without a matching lock must neither wrap the depth nor unlock a main
    // lock that nobody holds.
    if (m_depth != 0) {
        --m_depth;
        if (m_depth == 0) TARNMutex::Release();
    }
    m_inner.Release();
}

TARNMutexGuard::TARNMutexGuard(TARNMutex& mutex)
    : m_unlock(&TARNMutexGuard::unlock_mtx),
      m_relock(&TARNMutexGuard::relock_mtx),
      m_mutex(&mutex),
      m_mutex2(nullptr),
      m_locked(false) {
    mutex.Lock();
    m_locked = true;
}

TARNMutexGuard::TARNMutexGuard(TARNMutex2& mutex)
    : m_unlock(&TARNMutexGuard::unlock_mtx2),
      m_relock(&TARNMutexGuard::relock_mtx2),
      m_mutex(nullptr),
      m_mutex2(&mutex),
      m_locked(false) {
    mutex.Lock();
    m_locked = true;
}

TARNMutexGuard::~TARNMutexGuard() {
    (this->*m_unlock)();
}

bool TARNMutexGuard::unlock_mtx() {
    const bool wasLocked = m_locked;
    if (m_locked) {
        m_mutex->Release();
        m_locked = false;
    }
    return wasLocked;
}

bool TARNMutexGuard::relock_mtx() {
    if (m_locked) return false;
    m_mutex->Lock();
    m_locked = true;
    return true;
}

bool TARNMutexGuard::unlock_mtx2() {
    const bool wasLocked = m_locked;
    if (m_locked) {
        m_mutex2->Release();
        m_locked = false;
    }
    return wasLocked;
}

bool TARNMutexGuard::relock_mtx2() {
    if (m_locked) return false;
    m_mutex2->Lock();
    m_locked = true;
    return true;
}
