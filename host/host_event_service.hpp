// The host kernel's event service: multi-event waits and time triggers on TARNEvents.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/event_service.hpp"

class HostEngineTime;
class HostRecorder;

// Multi-event waits register the calling thread (one TARNPosixWaitingThread per thread) in
// the waiting-thread list of each event, so that TARNEvent::Set wakes it. Lists are kept in
// ascending address order of the waiting threads: Set locks them in list order, and a
// common order keeps two Sets on events shared by the same waiters from deadlocking.
//
// Time triggers are kept in a table and fired by a trigger thread at their time. In manual
// mode (for deterministic tests) nothing fires by itself: the test fires the pending
// triggers with FireTriggers. In both modes every requested delay is counted, and handed to
// the recorder when there is one.
class HostEventService final : public TARNEventService {
  public:
    // Trigger times are read on `time`'s monotonic clock.
    explicit HostEventService(HostEngineTime& time);
    // Stops the trigger thread; pending triggers are dropped, unfired.
    ~HostEventService() override;

    bool SetTrigger(TARNEvent* event, long time) override;
    void ResetTrigger(TARNEvent* event) override;
    // The host has no message queues: the same as Wait.
    int MsgWait(int n, TARNEvent** events, long timeout) override;
    // Lowest index of a set event, -3 on time-out; -4 with no event to wait on and no limit.
    int Wait(int n, TARNEvent** events, long timeout) override;

    // Manual mode: triggers fire only through FireTriggers. Switch before arming any.
    void SetManualTriggers(bool manual);
    // While refused, SetTrigger answers false and arms nothing (for the callers' failure paths).
    void RefuseTriggers(bool refuse);
    // Sets the event of every pending trigger now; returns how many.
    int FireTriggers();
    int PendingTriggers() const;
    // The recorder the delays asked for go to (trigger time minus the clock when asked);
    // null for none. Set by the kernel (HostKernel::SetRecorder).
    void SetRecorder(HostRecorder* recorder);

    // How long the await hooks below wait before they give up: far beyond what a test's
    // threads need to reach their wait, so that only a fault runs into it.
    static constexpr std::chrono::seconds AwaitLimit{10};
    // Waits until at least `count` triggers have been requested in all (since
    // construction); false, after `limit`, when fewer were.
    [[nodiscard]] bool AwaitTriggerRequests(long count, std::chrono::milliseconds limit = AwaitLimit) const;
    long TriggerRequests() const;
    // Waits until the trigger thread has gone to sleep until a trigger's time `total` times
    // in all (since construction): it then sleeps with the trigger lock released, so what a
    // test does to the table from then on happens under a sleeping thread. False, after
    // `limit`, when it slept fewer times.
    [[nodiscard]] bool AwaitTriggerThreadSleeps(long total, std::chrono::milliseconds limit = AwaitLimit) const;
    // Waits until `total` waits in all (since construction) have registered their thread in
    // their events: a Set of any of those events from then on wakes the wait. False, after
    // `limit`, when fewer did.
    [[nodiscard]] bool AwaitWaits(long total, std::chrono::milliseconds limit = AwaitLimit) const;
    long WaitsStarted() const;
    // For the callers' failure paths: the next wait registers in its events and counts like
    // any other, then, whatever its events do, blocks until ReleaseHeldWait and answers
    // `result`.
    void HoldNextWait(int result);
    void ReleaseHeldWait();

  private:
    struct Trigger {
        TARNEvent* event;
        // Real time at which the trigger thread fires it.
        std::chrono::steady_clock::time_point due;
    };

    void triggerThread();
    // Sets the trigger's event, then clears its armed flag; the trigger lock is held.
    static void fire(TARNEvent* event);
    static void markArmed(TARNEvent* event, bool armed);
    void removeTriggerLocked(TARNEvent* event);

    HostEngineTime& m_time;

    // Trigger lock. Order: trigger lock, then an event's mutex, then a waiting thread's.
    mutable std::mutex m_triggerLock;
    mutable std::condition_variable m_triggerChanged;
    std::vector<Trigger> m_triggers;
    long m_triggerRequests = 0;
    HostRecorder* m_recorder = nullptr;
    bool m_manual = false;
    bool m_refuse = false;
    bool m_stopping = false;
    long m_triggerThreadSleeps = 0;
    mutable std::condition_variable m_triggerThreadSlept;

    mutable std::mutex m_waitersLock;
    mutable std::condition_variable m_waitersChanged;
    long m_waitsStarted = 0;
    bool m_holdNextWait = false;
    bool m_heldWaitReleased = false;
    int m_heldWaitResult = 0;

    std::thread m_thread;
};
