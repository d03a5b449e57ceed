#include "tarn/runtime/thread.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <new>
#include <string>
#include <thread>

#include "tarn/runtime/event_basic.hpp"
#include "tarn/runtime/memory.hpp"

namespace {

// What a started thread saw; it lives as long as the detached threads that write it.
struct ThreadReport {
    TARNEventBasic done;
    void* argument = nullptr;
    unsigned long threadId = 0;
    long kernelThreadId = 0;
    std::string numericLocale;
};

void* Report(void* argument) {
    auto* report = static_cast<ThreadReport*>(argument);
    report->argument = argument;
    report->threadId = TARN::GetCurrentThreadId();
    report->kernelThreadId = TARN::GetCurrentKernelThreadId();
    report->numericLocale = std::setlocale(LC_NUMERIC, nullptr);
    report->done.Set();
    return nullptr;
}

}  // namespace

TEST(Thread, DetachedThreadRunsWithItsArgumentAndTheCNumericLocale) {
    // Detached: the thread may still be leaving Set when the test ends.
    static ThreadReport report;
    report.done.Reset();
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";

    ASSERT_TRUE(TARN::CreateThread(Report, &report));
    ASSERT_EQ(report.done.Wait(-1), 0);
    EXPECT_EQ(report.argument, &report);
    EXPECT_EQ(report.numericLocale, "C");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C") << "the locale is the process's";
    EXPECT_NE(report.threadId, TARN::GetCurrentThreadId());
    EXPECT_NE(report.kernelThreadId, TARN::GetCurrentKernelThreadId());
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(Thread, JoinableThreadIsJoinedByTheIdItReports) {
    ThreadReport report;
    unsigned long threadId = 0;
    ASSERT_TRUE(TARN::CreateJoinableThread(Report, &report, &threadId));
    EXPECT_TRUE(TARN::JoinThread(threadId));
    // Joined: everything the thread wrote is visible without further synchronisation.
    EXPECT_EQ(report.threadId, threadId);
    EXPECT_EQ(report.argument, &report);
}

TEST(Thread, IdsNameTheCaller) {
    EXPECT_EQ(TARN::GetCurrentThreadId(), static_cast<unsigned long>(pthread_self()));
    // The test body runs on the process's first thread, whose kernel id is the process id.
    EXPECT_EQ(TARN::GetCurrentKernelThreadId(), static_cast<long>(getpid()));
}

TEST(Thread, NamesAreCutToFifteenCharacters) {
    std::string shortName, longName, afterNull;
    std::thread named([&] {
        char buffer[32];
        TARN::SetCurrentThreadName("worker");
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        shortName = buffer;
        TARN::SetCurrentThreadName("abcdefghijklmnopqrst");
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        longName = buffer;
        TARN::SetCurrentThreadName(nullptr);
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        afterNull = buffer;
    });
    named.join();
    EXPECT_EQ(shortName, "worker");
    EXPECT_EQ(longName, "abcdefghijklmno");
    EXPECT_EQ(afterNull, "abcdefghijklmno");
}

TEST(Thread, PriorityScalesOntoThePolicyRange) {
    struct Case {
        int minimum, maximum, priority, expected;
    };
    const Case cases[] = {
        {1, 99, 255, 99}, {1, 99, 0, 1},    {1, 99, 128, 50},  // 1 + 98 * 128 / 255
        {0, 0, 200, 0},   {1, 99, 300, 99}, {1, 99, -4, 1},    // held to 0..255
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TARNPrivate::ScaledPriority(c.minimum, c.maximum, c.priority), c.expected)
            << c.minimum << ".." << c.maximum << " at " << c.priority;
    }
}

TEST(Thread, PriorityUnderTimeSharingStaysZero) {
    bool applied = false;
    int policy = -1;
    sched_param parameters{};
    std::thread worker([&] {
        applied = TARN::SetCurrentThreadPriority(255);
        pthread_getschedparam(pthread_self(), &policy, &parameters);
    });
    worker.join();
    if (policy != SCHED_OTHER) GTEST_SKIP() << "threads do not run time-shared here";
    EXPECT_TRUE(applied);
    EXPECT_EQ(parameters.sched_priority, 0);
}

namespace {
void IgnoreSignal(int) {}
}  // namespace

TEST(Thread, SleepResumesAfterSignals) {
    struct sigaction quiet {
    }, previous{};
    quiet.sa_handler = IgnoreSignal;  // no SA_RESTART: the sleep sees EINTR
    sigemptyset(&quiet.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &quiet, &previous), 0);

    constexpr long kSleep = 30'000;
    std::atomic<bool> done{false};
    std::chrono::steady_clock::duration slept{};
    std::thread sleeper([&] {
        const auto start = std::chrono::steady_clock::now();
        TARN::Sleep(kSleep);
        slept = std::chrono::steady_clock::now() - start;
        done = true;
    });
    // Interrupt the sleeper over and over until it is done; none may cut its sleep short.
    while (!done) {
        pthread_kill(sleeper.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sleeper.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_GE(slept, std::chrono::microseconds(kSleep));
}

TEST(Thread, ShortSleepsLastAtLeastTheirTime) {
    auto start = std::chrono::steady_clock::now();
    TARN::Wait4AWhile();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));

    start = std::chrono::steady_clock::now();
    TARN::Sleep(20'000);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(20'000));

    TARN::Sleep(0);
    TARN::Sleep(-5);  // nothing to sleep
    TARN::ReleaseCurrentThread();
}

TEST(Memory, BlocksAreWritableAndFreedBySize) {
    auto* small = static_cast<unsigned char*>(TARN::AllocSharedMemory(16));
    auto* large = static_cast<unsigned char*>(TARN::AllocSharedMemory(4096UL));
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    small[15] = 1;  // the sanitizer checks the bounds
    large[4095] = 2;
    TARN::DeallocSharedMemory(small);
    TARN::DeallocSharedMemory(large);
    TARN::DeallocSharedMemory(nullptr);
}

TEST(Memory, NegativeSizeThrowsInsteadOfReturningNull) {
    volatile int size = -1;
    EXPECT_THROW(TARN::AllocSharedMemory(static_cast<int>(size)), std::bad_alloc);
}
