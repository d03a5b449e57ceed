#include "tarn/runtime/event_basic.hpp"

#include <cerrno>

namespace TARNPrivate {
timespec DeadlineAfter(const timespec& now, long microseconds) {
    timespec deadline = now;
    deadline.tv_sec += microseconds / 1000000;
    deadline.tv_nsec += (microseconds % 1000000) * 1000;
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000;
    }
    return deadline;
}

timespec MonotonicDeadlineAfter(long microseconds) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return DeadlineAfter(now, microseconds < 0 ? 0 : microseconds);
}
}  // namespace TARNPrivate

TARNEventBasic::TARNEventBasic(bool initialState, const char* /*name*/) : m_set(initialState) {
    pthread_mutex_init(&m_mutex, nullptr);
    // Deadlines are taken on the monotonic clock so that setting the wall clock does not
    // stretch or cut a wait.
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&m_condition, &attributes);
    pthread_condattr_destroy(&attributes);
}

TARNEventBasic::~TARNEventBasic() {
    pthread_cond_destroy(&m_condition);
    pthread_mutex_destroy(&m_mutex);
}

void TARNEventBasic::Set() {
    pthread_mutex_lock(&m_mutex);
    if (!m_set) {
        m_set = true;
        pthread_cond_broadcast(&m_condition);
    }
    pthread_mutex_unlock(&m_mutex);
}

void TARNEventBasic::Reset() {
    pthread_mutex_lock(&m_mutex);
    m_set = false;
    pthread_mutex_unlock(&m_mutex);
}

int TARNEventBasic::Wait(long timeout) {
    if (timeout == -1) {
        pthread_mutex_lock(&m_mutex);
        ++m_blocked;
        while (!m_set) pthread_cond_wait(&m_condition, &m_mutex);
        --m_blocked;
        pthread_mutex_unlock(&m_mutex);
        return 0;
    }
    const timespec deadline = TARNPrivate::MonotonicDeadlineAfter(timeout);

    pthread_mutex_lock(&m_mutex);
    ++m_blocked;
    int result = 0;
    while (!m_set) {
        const int error = pthread_cond_timedwait(&m_condition, &m_mutex, &deadline);
        if (error != 0 && error != EINTR) {
            // Time-out (or an unusable deadline). A Set that came at that very moment
            // still counts: the flag decides.
            if (!m_set) result = -3;
            break;
        }
    }
    --m_blocked;
    pthread_mutex_unlock(&m_mutex);
    return result;
}

int TARNEventBasic::BlockedWaiters() {
    pthread_mutex_lock(&m_mutex);
    const int blocked = m_blocked;
    pthread_mutex_unlock(&m_mutex);
    return blocked;
}
