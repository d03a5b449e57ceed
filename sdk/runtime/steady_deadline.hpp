#pragma once
// Deadlines in microseconds on the steady clock, which no test stops and no clock change
// moves: the waits of a shutdown that must end in real time.
#include <chrono>

namespace TARNPrivate {

// `timeout` microseconds from now (0 for a negative one); the far future for one too long
// to add to the clock.
inline std::chrono::steady_clock::time_point SteadyDeadline(long timeout) {
    const auto now = std::chrono::steady_clock::now();
    const auto room =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::time_point::max() - now);
    return timeout >= room.count() ? std::chrono::steady_clock::time_point::max()
                                   : now + std::chrono::microseconds(timeout < 0 ? 0 : timeout);
}

// What is left until `deadline`, in microseconds; 0 once it has passed.
inline long MicrosecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return 0;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count());
}

}  // namespace TARNPrivate
