// The integers the SDK throws to unwind a thread. The component life cycle contains them and
// the engine knows them by value, so the values never change.
#pragma once

namespace TARN {
// A blocking call of a dying module, or a wait its abort event ended.
inline constexpr int DieException = 57005;
// A failure already reported at error level: a kernel error, a module's Error, a fatal misuse
// of an output ring.
inline constexpr int ErrorException = -5;
// A wait that ran out of time where running out of time is a failure (a condition wait, a
// writer waiting for space in a ring).
inline constexpr int TimeoutException = -3;
// A condition wait that failed in any other way.
inline constexpr int WaitFailedException = -4;
}  // namespace TARN
