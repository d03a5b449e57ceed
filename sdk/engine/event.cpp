#include "tarn/engine/event.hpp"

#include <cerrno>

#include "engine/event_service.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/event_basic.hpp"
#include "tarn/runtime/saturated_arithmetic.hpp"

namespace {

// A condition on the monotonic clock, so that waits are immune to changes of the wall
// clock. EINVAL means the system refuses that clock: reported, and the default kept.
void initMonotonicCondition(pthread_cond_t* cond, const char* refusal) {
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    if (pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == EINVAL) TARN::ReportError(refusal, 0);
    pthread_cond_init(cond, &attributes);
    pthread_condattr_destroy(&attributes);
}

}  // namespace

TARNPosixWaitingThread::TARNPosixWaitingThread() {
    pthread_mutex_init(&mutex, nullptr);
    initMonotonicCondition(&cond,
                           "Could not initialize waiting thread with monotonic clock. Please contact the "
                           "Tarnvel technical support team.");
}

TARNPosixWaitingThread::~TARNPosixWaitingThread() {
    pthread_cond_destroy(&cond);
    pthread_mutex_destroy(&mutex);
}

TARNEvent::TARNEvent(bool initialState, const char*) : isSet(initialState), triggerArmed(false) {
    pthread_mutex_init(&mutex, nullptr);
    initMonotonicCondition(&cond,
                           "Could not initialize event with monotonic clock. Please contact the Tarnvel "
                           "technical support team.");
}

TARNEvent::~TARNEvent() {
    // The event service clears the flag only after its last touch of the event, so a
    // clear flag read here means the service is done with it. A failure to drop the
    // trigger would leave the service holding a dead event: the destructor is noexcept,
    // so an exception ends the process.
    pthread_mutex_lock(&mutex);
    bool armed = triggerArmed;
    pthread_mutex_unlock(&mutex);
    if (armed && TARNPrivate::kernel) TARNPrivate::kernel->EventService()->ResetTrigger(this);
    pthread_cond_destroy(&cond);
    pthread_mutex_destroy(&mutex);
}

void TARNEvent::Set() {
    pthread_mutex_lock(&mutex);
    if (!isSet) {
        // Every waiting thread's mutex is held while the flag changes, so a thread that
        // checks its events under its own mutex cannot miss the wake-up.
        const int waiters = waitingThreads.Size();
        for (int i = 0; i < waiters; ++i) pthread_mutex_lock(&waitingThreads[i]->mutex);
        isSet = true;
        pthread_cond_broadcast(&cond);
        for (int i = 0; i < waiters; ++i) {
            pthread_cond_broadcast(&waitingThreads[i]->cond);
            pthread_mutex_unlock(&waitingThreads[i]->mutex);
        }
    }
    pthread_mutex_unlock(&mutex);
}

void TARNEvent::Reset() {
    pthread_mutex_lock(&mutex);
    // As in Set: a waiting thread reads the flag under its own mutex only, so the flag
    // changes only while every registered waiting thread's mutex is held too.
    const int waiters = waitingThreads.Size();
    for (int i = 0; i < waiters; ++i) pthread_mutex_lock(&waitingThreads[i]->mutex);
    isSet = false;
    for (int i = 0; i < waiters; ++i) pthread_mutex_unlock(&waitingThreads[i]->mutex);
    pthread_mutex_unlock(&mutex);
}

int TARNEvent::Wait(long timeout) {
    pthread_mutex_lock(&mutex);
    int result = 0;
    if (timeout == -1) {
        while (!isSet) pthread_cond_wait(&cond, &mutex);
    } else {
        const timespec deadline = TARNPrivate::MonotonicDeadlineAfter(timeout);
        while (!isSet) {
            if (pthread_cond_timedwait(&cond, &mutex, &deadline) == ETIMEDOUT) {
                if (!isSet) result = -3;
                break;
            }
        }
    }
    pthread_mutex_unlock(&mutex);
    return result;
}

int TARNEvent::Wait(int n, TARNEvent** events, long timeout) {
    return TARNPrivate::kernel->EventService()->Wait(n, events, timeout);
}

int TARNEvent::MsgWait(int n, TARNEvent** events, long timeout) {
    return TARNPrivate::kernel->EventService()->Wait(n, events, timeout);
}

bool TARNEvent::SetTrigger(long delay) {
    Reset();
    // Without a kernel there is neither a clock nor a service to read.
    if (!TARNPrivate::kernel) return true;
    const long now = TARNPrivate::kernel->GetSystemAccurateTiming();
    return TARNPrivate::kernel->EventService()->SetTrigger(this, TARNPrivate::SaturatedAdd(now, delay));
}

void TARNEvent::ResetTrigger() {
    if (TARNPrivate::kernel) TARNPrivate::kernel->EventService()->ResetTrigger(this);
}
