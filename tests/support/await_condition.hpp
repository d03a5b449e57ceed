// A test's wait for a condition that other threads bring about, with a deadline: a test
// that waits fails at its own deadline instead of hanging the suite.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Waits until `condition` holds, looking every millisecond; false when `deadline` passed first.
inline bool AwaitCondition(const std::function<bool()>& condition,
                           std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
