#include "host_event_service.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

#include "host_engine_time.hpp"
#include "host_recorder.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/runtime/event_basic.hpp"
#include "tarn/runtime/saturated_arithmetic.hpp"

namespace {

constexpr long MaxRealDelay = 100L * 365 * 24 * 3600 * 1000000;

// Each thread registers the same waiting-thread object in every wait it makes.
TARNPosixWaitingThread& currentWaitingThread() {
    thread_local TARNPosixWaitingThread waitingThread;
    return waitingThread;
}

// Rewrites the event's waiting-thread list with `waiter` added or removed, keeping it in
// ascending address order. The lists are a handful of entries long.
void updateWaitingThreads(TARNEvent* event, TARNPosixWaitingThread* waiter, bool add) {
    pthread_mutex_lock(&event->mutex);
    TARNArray<TARNPosixWaitingThread*>& list = event->waitingThreads;
    std::vector<TARNPosixWaitingThread*> waiters;
    waiters.reserve(list.Size() + 1);
    for (int i = 0; i < list.Size(); ++i)
        if (list[i] != waiter) waiters.push_back(list[i]);
    if (add) waiters.insert(std::upper_bound(waiters.begin(), waiters.end(), waiter), waiter);
    list.Clear();
    for (TARNPosixWaitingThread* w : waiters) list.PushBack(w);
    pthread_mutex_unlock(&event->mutex);
}

}  // namespace

HostEventService::HostEventService(HostEngineTime& time) : m_time(time) {
    m_thread = std::thread([this] { triggerThread(); });
}

HostEventService::~HostEventService() {
    {
        std::lock_guard<std::mutex> lock(m_triggerLock);
        m_stopping = true;
        for (const Trigger& trigger : m_triggers) markArmed(trigger.event, false);
        m_triggers.clear();
    }
    m_triggerChanged.notify_all();
    m_thread.join();
}

void HostEventService::markArmed(TARNEvent* event, bool armed) {
    pthread_mutex_lock(&event->mutex);
    event->triggerArmed = armed;
    pthread_mutex_unlock(&event->mutex);
}

void HostEventService::fire(TARNEvent* event) {
    // The flag is cleared last: the event's destructor, seeing it clear, may destroy the
    // event at once, so nothing may touch the event after that.
    event->Set();
    markArmed(event, false);
}

void HostEventService::removeTriggerLocked(TARNEvent* event) {
    std::erase_if(m_triggers, [event](const Trigger& trigger) { return trigger.event == event; });
}

bool HostEventService::SetTrigger(TARNEvent* event, long time) {
    if (!event) return false;
    const long delay = TARNPrivate::SaturatedSub(time, m_time.MonotonicMicroseconds());
    {
        std::lock_guard<std::mutex> lock(m_triggerLock);
        if (m_stopping || m_refuse) return false;
        removeTriggerLocked(event);
        ++m_triggerRequests;
        if (m_recorder) m_recorder->AddRequestedDelay(delay);
        // A trigger beyond a century is as good as never; the cap keeps the clock arithmetic
        // from overflowing.
        const long realDelay = std::clamp(delay, 0L, MaxRealDelay);
        m_triggers.push_back(
            Trigger{event, std::chrono::steady_clock::now() + std::chrono::microseconds(realDelay)});
        markArmed(event, true);
    }
    m_triggerChanged.notify_all();
    return true;
}

void HostEventService::ResetTrigger(TARNEvent* event) {
    std::lock_guard<std::mutex> lock(m_triggerLock);
    for (const Trigger& trigger : m_triggers)
        if (trigger.event == event) markArmed(event, false);
    removeTriggerLocked(event);
}

void HostEventService::triggerThread() {
    std::unique_lock<std::mutex> lock(m_triggerLock);
    while (!m_stopping) {
        if (m_manual || m_triggers.empty()) {
            m_triggerChanged.wait(lock);
            continue;
        }
        auto next = std::min_element(m_triggers.begin(), m_triggers.end(),
                                     [](const Trigger& a, const Trigger& b) { return a.due < b.due; });
        if (next->due > std::chrono::steady_clock::now()) {
            // A copy: the wait reads the time again on waking, and by then a SetTrigger may
            // have grown the table (freeing the element) or a ResetTrigger moved it.
            const std::chrono::steady_clock::time_point due = next->due;
            ++m_triggerThreadSleeps;
            m_triggerThreadSlept.notify_all();
            m_triggerChanged.wait_until(lock, due);
            continue;
        }
        // Fired under the trigger lock, so that ResetTrigger returns only when the event is
        // no longer being touched.
        TARNEvent* event = next->event;
        m_triggers.erase(next);
        fire(event);
    }
}

void HostEventService::RefuseTriggers(bool refuse) {
    std::lock_guard<std::mutex> lock(m_triggerLock);
    m_refuse = refuse;
}

void HostEventService::SetManualTriggers(bool manual) {
    {
        std::lock_guard<std::mutex> lock(m_triggerLock);
        m_manual = manual;
    }
    m_triggerChanged.notify_all();
}

int HostEventService::FireTriggers() {
    std::lock_guard<std::mutex> lock(m_triggerLock);
    const int fired = static_cast<int>(m_triggers.size());
    for (const Trigger& trigger : m_triggers) fire(trigger.event);
    m_triggers.clear();
    return fired;
}

int HostEventService::PendingTriggers() const {
    std::lock_guard<std::mutex> lock(m_triggerLock);
    return static_cast<int>(m_triggers.size());
}

void HostEventService::SetRecorder(HostRecorder* recorder) {
    std::lock_guard<std::mutex> lock(m_triggerLock);
    m_recorder = recorder;
}

bool HostEventService::AwaitTriggerRequests(long count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(m_triggerLock);
    return m_triggerChanged.wait_for(lock, limit, [&] { return m_triggerRequests >= count; });
}

bool HostEventService::AwaitTriggerThreadSleeps(long total, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(m_triggerLock);
    return m_triggerThreadSlept.wait_for(lock, limit, [&] { return m_triggerThreadSleeps >= total; });
}

long HostEventService::TriggerRequests() const {
    std::lock_guard<std::mutex> lock(m_triggerLock);
    return m_triggerRequests;
}

bool HostEventService::AwaitWaits(long total, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(m_waitersLock);
    return m_waitersChanged.wait_for(lock, limit, [&] { return m_waitsStarted >= total; });
}

long HostEventService::WaitsStarted() const {
    std::lock_guard<std::mutex> lock(m_waitersLock);
    return m_waitsStarted;
}

void HostEventService::HoldNextWait(int result) {
    std::lock_guard<std::mutex> lock(m_waitersLock);
    m_holdNextWait = true;
    m_heldWaitReleased = false;
    m_heldWaitResult = result;
}

void HostEventService::ReleaseHeldWait() {
    {
        std::lock_guard<std::mutex> lock(m_waitersLock);
        m_heldWaitReleased = true;
    }
    m_waitersChanged.notify_all();
}

int HostEventService::MsgWait(int n, TARNEvent** events, long timeout) {
    return Wait(n, events, timeout);
}

int HostEventService::Wait(int n, TARNEvent** events, long timeout) {
    // The distinct events, with the index of their first occurrence: a thread registered
    // twice in one event would be locked twice by Set.
    std::vector<int> indices;
    for (int i = 0; i < n; ++i) {
        if (!events[i]) continue;
        bool repeated = false;
        for (int j : indices) repeated = repeated || events[j] == events[i];
        if (!repeated) indices.push_back(i);
    }

    timespec deadline{};
    if (timeout != -1) deadline = TARNPrivate::MonotonicDeadlineAfter(timeout);

    TARNPosixWaitingThread& self = currentWaitingThread();
    // Registration takes each event's mutex without holding our own (the lock order that
    // Set relies on). From then on every Set of these events takes our mutex to change the
    // flag, so reading the flags under our own mutex is safe and no wake-up is lost.
    for (int i : indices) updateWaitingThreads(events[i], &self, true);

    bool held = false;
    {
        std::lock_guard<std::mutex> lock(m_waitersLock);
        ++m_waitsStarted;
        std::swap(held, m_holdNextWait);
    }
    m_waitersChanged.notify_all();
    if (held) {
        std::unique_lock<std::mutex> lock(m_waitersLock);
        m_waitersChanged.wait(lock, [&] { return m_heldWaitReleased; });
        m_heldWaitReleased = false;
        const int answer = m_heldWaitResult;
        lock.unlock();
        for (int i : indices) updateWaitingThreads(events[i], &self, false);
        return answer;
    }

    pthread_mutex_lock(&self.mutex);

    // The lowest index of a set event, or -3.
    const auto firstSet = [&] {
        for (int i : indices)
            if (events[i]->isSet) return i;
        return -3;
    };
    int result;
    for (;;) {
        result = firstSet();
        if (result >= 0) break;
        if (indices.empty() && timeout == -1) {
            result = -4;  // nothing could ever end this wait
            break;
        }
        const int error = timeout == -1 ? pthread_cond_wait(&self.cond, &self.mutex)
                                        : pthread_cond_timedwait(&self.cond, &self.mutex, &deadline);
        if (error == ETIMEDOUT) {
            // A Set that came at that very moment still counts.
            result = firstSet();
            break;
        }
    }

    pthread_mutex_unlock(&self.mutex);

    for (int i : indices) updateWaitingThreads(events[i], &self, false);
    return result;
}
