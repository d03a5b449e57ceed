// Blocking until the engine time reaches a timestamp.
#pragma once

class TARNEvent;

namespace TARNPrivate {
// Timed waits of at most this many microseconds count as reached and are not armed.
constexpr int MinimumWaitTime = 1;

// (timestamp - now) * 1000 / speed in signed 64-bit integers, saturated: a timestamp too far
// away for the arithmetic gives the largest (or smallest) delay instead of wrapping round.
long EngineDelayToRealDelay(long timestamp, long now, int speed);

// One wait (TARNEvent::Wait) on the `n` events of `set` together with the engine-time
// condition, whose event fills slot `conditionSlot` of `set`: the wait's answer.
int WaitWithTimeCondition(int n, TARNEvent** set, int conditionSlot, long timeout);
}  // namespace TARNPrivate

namespace TARN {
// Waits until the engine time reaches `timestamp` (microseconds): true then. False when one
// of the `nbCancelEvents` events of `cancelEvents` fired first, with *cancelIndex its index
// in the array. *timeChanged tells whether the last wake-up came from the engine time
// jumping or changing speed or state. cancelEvents, cancelIndex and timeChanged may be null.
// Follows speed changes, pauses (speed 0) and time state 2 (time standing still) as they
// happen. A negative count, or a failure of the engine's services, is reported and throws
// 57005.
bool WaitForTimestamp(long timestamp, int nbCancelEvents, TARNEvent** cancelEvents, int* cancelIndex,
                      bool* timeChanged);
// The same with at most one cancel event (none when null).
bool WaitForTimestamp(long timestamp, TARNEvent* cancelEvent, bool* timeChanged);
}  // namespace TARN
