// Wait conditions over an outside mutex: TARNCondition (a pool of events, with an operation
// table the engine may fill with its own implementation) and TARNCondition2 (a fixed table
// of subscribers, used by the output rings).
//
// Both are used with the caller's TARNMutex held: the waits release it while they block and
// take it again before they return. An abort is the integer exception 57005, a time-out -3
// and any other failed wait -4, always thrown with the mutex released.
#pragma once

#include <cstddef>

#include "tarn/engine/event.hpp"
#include "tarn/runtime/list.hpp"
#include "tarn/runtime/mutex.hpp"

class TARNCondition {
  public:
    // One waiter's event; busy entries stand at the head of the pool, free ones at its tail.
    struct TARNEventInPool {
        TARNEvent* event = nullptr;
        bool free = true;
    };

    // `timeout` in microseconds, -1 for none. The abort event is not owned.
    TARNCondition(TARNMutex* mutex, TARNEvent* abortEvent, long timeout);
    // Deletes the pool's events. No thread may be waiting.
    ~TARNCondition();

    TARNCondition(const TARNCondition&) = delete;
    TARNCondition& operator=(const TARNCondition&) = delete;

    // Blocks until Signal (returns) or the abort event, a time-out or a failure (throws).
    void Wait() { (this->*waitOp)(); }
    // First half of a wait the caller completes itself, typically inside a multi-event
    // wait: stores the event to wait on in *eventOut, releases the mutex and returns the
    // token to hand to AchieveWaitX.
    void* WaitX(TARNEvent** eventOut) { return (this->*waitXOp)(eventOut); }
    // Takes the mutex again and ends the wait `token` started.
    void AchieveWaitX(void* token) { (this->*achieveWaitXOp)(token); }
    // Wakes every thread waiting now.
    void Signal() { (this->*signalOp)(); }
    // Sets the abort event.
    void Abort() { (this->*abortOp)(); }

    // Shared with the engine, in this order: the engine's own conditions fill the table of
    // operations with their implementations.
    TARNMutex* mutex;
    TARNEvent* abortEvent;
    TARNList<TARNEventInPool> pool;
    long timeout;
    void (TARNCondition::*waitOp)();
    void* (TARNCondition::*waitXOp)(TARNEvent**);
    void (TARNCondition::*achieveWaitXOp)(void*);
    void (TARNCondition::*signalOp)();
    void (TARNCondition::*abortOp)();

  protected:
    void InternalWait();
    void* InternalWaitX(TARNEvent** eventOut);
    void InternalAchieveWaitX(void* token);
    void InternalSignal();
    void InternalAbort();

  private:
    // Takes the free entry at the tail (or a new one), moves it to the head, resets its
    // event and marks it busy.
    TARNListItem<TARNEventInPool>* takeEntry();
    // Marks the entry free and moves it to the tail.
    void returnEntry(TARNListItem<TARNEventInPool>* entry);
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TARNCondition, mutex) == 0);
static_assert(offsetof(TARNCondition, abortEvent) == 8);
static_assert(offsetof(TARNCondition, pool) == 16);
static_assert(offsetof(TARNCondition, waitOp) == offsetof(TARNCondition, timeout) + 8);
static_assert(offsetof(TARNCondition, abortOp) == offsetof(TARNCondition, waitOp) + 4 * 16);
static_assert(sizeof(TARNCondition) == offsetof(TARNCondition, abortOp) + 16);
#pragma GCC diagnostic pop

class TARNCondition2 {
  public:
    static constexpr int MaxSubscribers = 32;

    // `timeout` in microseconds, -1 for none. The abort event is not owned.
    TARNCondition2(TARNMutex* mutex, TARNEvent* abortEvent, int timeout);
    // Deletes the subscribers' events.
    virtual ~TARNCondition2();

    TARNCondition2(const TARNCondition2&) = delete;
    TARNCondition2& operator=(const TARNCondition2&) = delete;

    // A new subscriber in the next slot: its index, or -1 (reported) when all 32 are used.
    int Subscribe();
    // Makes subscriber i exist (an existing one is reset and not waiting); the slots
    // between stay empty. False (reported) for an index outside 0 to 31.
    bool Subscribe(int i);
    // Called with the mutex held by subscriber i; returns with it held when signalled.
    void Wait(int i);
    // First half of a wait: resets subscriber i's event, hands it out with the abort event,
    // marks the subscriber waiting and releases the mutex.
    void WaitX(int i, TARNEvent** eventOut, TARNEvent** abortOut);
    // Second half, with the result of the caller's multi-event wait: 0 returns with the
    // mutex held; 1 (abort) throws 57005, anything else -4, with the mutex released.
    void AchieveWaitX(int i, int result);
    // Gives up a wait started with WaitX: takes the mutex again and clears the mark.
    void AbortWaitX(int i);
    // Called with the mutex held: sets the event of every waiting subscriber.
    void Signal();
    // Sets the abort event.
    void CutConnection();

    TARNMutex* mutex;
    TARNEvent* abortEvent;
    TARNEvent* events[MaxSubscribers];
    bool waiting[MaxSubscribers];
    int count;
    int timeout;
};
