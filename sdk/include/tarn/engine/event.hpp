// The SDK's event: a manual-reset event whose multi-event waits and time triggers are
// served by the engine's event service.
#pragma once

#include <pthread.h>

#include <cstddef>

#include "tarn/runtime/ring_array.hpp"

// What the event service registers in an event's waiting-thread list while a thread waits
// on several events at once. TARNEvent::Set locks its mutex and broadcasts its condition,
// so the waiting thread sees the flag and its wake-up together.
class TARNPosixWaitingThread {
  public:
    TARNPosixWaitingThread();
    ~TARNPosixWaitingThread();

    TARNPosixWaitingThread(const TARNPosixWaitingThread&) = delete;
    TARNPosixWaitingThread& operator=(const TARNPosixWaitingThread&) = delete;

    pthread_mutex_t mutex;
    // On the monotonic clock (the default clock if the system refuses it).
    pthread_cond_t cond;
};

// Once set, the event stays set until Reset.
//
// The engine's event service works on these fields directly (it adds and removes entries of
// waitingThreads and keeps triggerArmed), so they are public and their order is a binary
// contract with the engine, pinned below. Lock order: an event's mutex before the mutex of
// any waiting thread; a waiting thread never takes an event's mutex while it holds its own.
class TARNEvent {
  public:
    // The name is accepted for the engine's sake and not kept.
    explicit TARNEvent(bool initialState = false, const char* name = nullptr);
    // Drops a pending time trigger first.
    ~TARNEvent();

    TARNEvent(const TARNEvent&) = delete;
    TARNEvent& operator=(const TARNEvent&) = delete;

    // Sets the event and wakes its own waiters and every registered waiting thread;
    // setting a set event does nothing.
    void Set();
    void Reset();
    // Waits until the event is set: 0 when set (at once when it already is), -3 when
    // `timeout` microseconds passed first. -1 waits without limit; any other negative
    // timeout waits not at all.
    int Wait(long timeout);

    // Waits for the first of `n` events through the engine's event service: the index of
    // a set event (the lowest one set), or a negative code (-3 on time-out). Null and
    // repeated entries are skipped by the service.
    static int Wait(int n, TARNEvent** events, long timeout);
    // The same call; the engine may answer -2 for a message waiting for the thread.
    static int MsgWait(int n, TARNEvent** events, long timeout);
    // The package has no message queue of its own.
    static bool MsgInQueue() { return false; }

    // Resets the event and asks the event service to set it `delay` microseconds of real
    // time from now. True, also without a kernel (then nothing is armed).
    bool SetTrigger(long delay);
    // Drops a pending trigger of this event (nothing without a kernel).
    void ResetTrigger();

    pthread_mutex_t mutex;
    // On the monotonic clock (the default clock if the system refuses it).
    pthread_cond_t cond;
    // Changed under `mutex` and the mutex of every registered waiting thread.
    bool isSet;
    // Written by the event service under `mutex`; Set and Reset walk it in ring order.
    TARNArray<TARNPosixWaitingThread*> waitingThreads;
    // Written by the event service under `mutex` while a time trigger is pending.
    bool triggerArmed;
};

// The layout the engine shares (x86-64, glibc). TARNArray has virtual operations, so the
// class is not standard-layout; the offsets are nonetheless fixed by the ABI.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TARNEvent, mutex) == 0);
static_assert(offsetof(TARNEvent, cond) == 40);
static_assert(offsetof(TARNEvent, isSet) == 88);
static_assert(offsetof(TARNEvent, waitingThreads) == 96);
static_assert(offsetof(TARNEvent, triggerArmed) == 136);
static_assert(sizeof(TARNEvent) == 144);
static_assert(offsetof(TARNPosixWaitingThread, cond) == 40);
static_assert(sizeof(TARNPosixWaitingThread) == 88);
#pragma GCC diagnostic pop
