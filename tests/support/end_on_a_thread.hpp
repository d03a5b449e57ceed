// The end of a host graph or of a host kernel, run on a thread of its own with a deadline: a
// test meets an end that waits for a Core that never returns at that deadline, instead of
// hanging.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// Destroys `ended` (a HostGraph, a HostKernel) on another thread and answers how many
// microseconds the destruction took, or -1 when it still ran after `deadline` microseconds:
// then `release` lets the Core go, so that the destruction ends, and it is awaited.
template <class Ended>
long EndOnAThread(std::unique_ptr<Ended>& ended, long deadline, const std::function<void()>& release) {
    std::atomic<bool> over{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread ender([&] {
        ended.reset();
        over = true;
    });
    auto elapsed = [&] {
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
            .count();
    };
    while (!over.load() && elapsed() <= deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const long took = over.load() ? static_cast<long>(elapsed()) : -1;
    if (took < 0) release();
    ender.join();
    return took;
}
