#include "tarn/engine/condition.hpp"

#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

// Ends a condition wait whose event wait answered `result`, the mutex held again: 0 (the
// condition's own event) returns with it held; anything else releases it and throws 57005
// for the abort event (index 1), -3 for a time-out where `timeoutCounts`, -4 otherwise.
void finishWait(TARNMutex* mutex, int result, bool timeoutCounts) {
    if (result == 0) return;
    mutex->Release();
    if (result == 1) throw TARN::DieException;
    if (timeoutCounts && result == -3) throw TARN::TimeoutException;
    throw TARN::WaitFailedException;
}

}  // namespace

// ---- TARNCondition ----------------------------------------------------------------------

TARNCondition::TARNCondition(TARNMutex* mutex, TARNEvent* abortEvent, long timeout)
    : mutex(mutex),
      abortEvent(abortEvent),
      timeout(timeout),
      waitOp(&TARNCondition::InternalWait),
      waitXOp(&TARNCondition::InternalWaitX),
      achieveWaitXOp(&TARNCondition::InternalAchieveWaitX),
      signalOp(&TARNCondition::InternalSignal),
      abortOp(&TARNCondition::InternalAbort) {}

TARNCondition::~TARNCondition() {
    for (TARNEventInPool& entry : pool) delete entry.event;
}

TARNListItem<TARNCondition::TARNEventInPool>* TARNCondition::takeEntry() {
    TARNListItem<TARNEventInPool>* entry = pool.Tail();
    if (entry && entry->Value().free) {
        if (pool.Count() > 1) pool.LinkFront(pool.Unlink(entry));
        entry->Value().event->Reset();
    } else {
        // Every entry is busy: the pool grows and never shrinks.
        entry = pool.PushFront(TARNEventInPool{new TARNEvent(false), false});
    }
    entry->Value().free = false;
    return entry;
}

void TARNCondition::returnEntry(TARNListItem<TARNEventInPool>* entry) {
    entry->Value().free = true;
    if (pool.Count() > 1) pool.LinkBack(pool.Unlink(entry));
}

void TARNCondition::InternalWait() {
    TARNListItem<TARNEventInPool>* entry = takeEntry();
    TARNEvent* events[2] = {entry->Value().event, abortEvent};
    mutex->Release();
    const int result = TARNEvent::Wait(2, events, timeout);
    mutex->Lock();
    // The entry goes back to the free part on every way out: a busy entry left behind
    // would be signalled for ever and never reused.
    returnEntry(entry);
    finishWait(mutex, result, true);
}

void* TARNCondition::InternalWaitX(TARNEvent** eventOut) {
    TARNListItem<TARNEventInPool>* entry = takeEntry();
    *eventOut = entry->Value().event;
    mutex->Release();
    return entry;
}

void TARNCondition::InternalAchieveWaitX(void* token) {
    mutex->Lock();
    returnEntry(static_cast<TARNListItem<TARNEventInPool>*>(token));
}

void TARNCondition::InternalSignal() {
    for (TARNListItem<TARNEventInPool>* entry = pool.Head(); entry && !entry->Value().free;
         entry = entry->Next())
        entry->Value().event->Set();
}

void TARNCondition::InternalAbort() {
    abortEvent->Set();
}

// ---- TARNCondition2 ---------------------------------------------------------------------

TARNCondition2::TARNCondition2(TARNMutex* mutex, TARNEvent* abortEvent, int timeout)
    : mutex(mutex), abortEvent(abortEvent), events{}, waiting{}, count(0), timeout(timeout) {}

TARNCondition2::~TARNCondition2() {
    for (int i = 0; i < count; ++i) delete events[i];
}

int TARNCondition2::Subscribe() {
    if (count >= MaxSubscribers) {
        TARN::ReportError("TARNCondition2::Subscribe: all 32 subscriber slots are in use", 0);
        return -1;
    }
    events[count] = new TARNEvent(false);
    waiting[count] = false;
    return count++;
}

bool TARNCondition2::Subscribe(int i) {
    if (i < 0 || i >= MaxSubscribers) {
        TARNStreamedString message;
        message << "TARNCondition2::Subscribe: subscriber " << i << " is outside 0 to 31";
        TARN::ReportError(message.c_str(), 0);
        return false;
    }
    if (i < count && events[i]) {
        events[i]->Reset();
    } else {
        // A slot below the count may be one that was skipped over: it gets its event now.
        events[i] = new TARNEvent(false);
        if (i >= count) count = i + 1;
    }
    waiting[i] = false;
    return true;
}

void TARNCondition2::Wait(int i) {
    events[i]->Reset();
    waiting[i] = true;
    TARNEvent* wakers[2] = {events[i], abortEvent};
    mutex->Release();
    const int result = TARNEvent::Wait(2, wakers, timeout);
    mutex->Lock();
    waiting[i] = false;
    finishWait(mutex, result, true);
}

void TARNCondition2::WaitX(int i, TARNEvent** eventOut, TARNEvent** abortOut) {
    events[i]->Reset();
    *eventOut = events[i];
    *abortOut = abortEvent;
    waiting[i] = true;
    mutex->Release();
}

void TARNCondition2::AchieveWaitX(int i, int result) {
    mutex->Lock();
    waiting[i] = false;
    // The caller's own wait answered: anything but the event or the abort is a failure
    // here, a time-out included.
    finishWait(mutex, result, false);
}

void TARNCondition2::AbortWaitX(int i) {
    mutex->Lock();
    waiting[i] = false;
}

void TARNCondition2::Signal() {
    for (int i = 0; i < count; ++i)
        if (waiting[i] && events[i]) events[i]->Set();
}

void TARNCondition2::CutConnection() {
    abortEvent->Set();
}
