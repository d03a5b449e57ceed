// The engine's event service: the object the kernel hands out (TARNKernel::EventService)
// that waits on several events at once and sets events at a given time.
#pragma once

class TARNEvent;

// The engine calls through the table by position: the declaration order is the binary
// contract (slot numbers, counted from 0, after each declaration; the destructor takes
// two). Never insert, remove or reorder a declaration.
class TARNEventService {
  public:
    virtual ~TARNEventService() = default;  // 0, 1

    // Arms a trigger that sets `event` when the kernel's monotonic clock
    // (TARNKernel::GetSystemAccurateTiming, microseconds) reaches `time`; an earlier
    // trigger of the same event is replaced. True when armed. The service marks the event's
    // triggerArmed while the trigger is pending.
    virtual bool SetTrigger(TARNEvent* event, long time) = 0;  // 2
    // Drops the pending trigger of `event`, if any. On return the service no longer
    // touches the event, so it may be destroyed.
    virtual void ResetTrigger(TARNEvent* event) = 0;  // 3
    // As Wait, but may also answer -2 when a message waits for the calling thread.
    virtual int MsgWait(int n, TARNEvent** events, long timeout) = 0;  // 4
    // Waits until one of the `n` events is set, at most `timeout` microseconds of real time
    // (-1: no limit). Null and repeated entries are skipped. Answers the lowest index of
    // a set event, or -3 on time-out.
    virtual int Wait(int n, TARNEvent** events, long timeout) = 0;  // 5

  protected:
    TARNEventService() = default;
};
