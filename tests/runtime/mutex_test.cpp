#include "tarn/runtime/mutex.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Whether another thread finds the (main) lock busy. A lock that thread manages to take
// is given back before it ends.
bool HeldForOthers(TARNMutex& mutex) {
    bool taken = false;
    std::thread other([&] {
        taken = mutex.TryLock();
        if (taken) mutex.Release();
    });
    other.join();
    return !taken;
}

}  // namespace

TEST(Mutex, TryLockTakesOnlyAFreeMutex) {
    TARNMutex mutex;
    ASSERT_TRUE(mutex.TryLock());
    EXPECT_TRUE(HeldForOthers(mutex));
    mutex.Release();
    EXPECT_FALSE(HeldForOthers(mutex));
}

TEST(Mutex, ResetLeavesTheMutexFree) {
    TARNMutex mutex;
    mutex.Reset();
    mutex.Lock();
    EXPECT_TRUE(HeldForOthers(mutex));
    mutex.Release();
    EXPECT_FALSE(HeldForOthers(mutex));
}

TEST(Mutex2, NestedLocksFreeTheLockOnlyAtTheLastRelease) {
    TARNMutex2 mutex;
    for (int i = 0; i < 3; ++i) mutex.Lock();
    for (int i = 0; i < 2; ++i) {
        mutex.Release();
        EXPECT_TRUE(HeldForOthers(mutex)) << "after release " << i + 1;
    }
    mutex.Release();
    EXPECT_FALSE(HeldForOthers(mutex));
}

TEST(Mutex2, TryLockTakesAFreeLockOrOneMoreLevelOfItsOwnerNeverAnothersLock) {
    TARNMutex2 mutex;
    ASSERT_TRUE(mutex.TryLock());
    EXPECT_TRUE(mutex.TryLock()) << "the owner takes one more level";
    bool takenByOther = true;
    std::thread([&] { takenByOther = mutex.TryLock(); }).join();
    EXPECT_FALSE(takenByOther);
    mutex.Release();
    EXPECT_TRUE(HeldForOthers(mutex)) << "one level is still held";
    mutex.Release();
    std::thread([&] {
        takenByOther = mutex.TryLock();
        if (takenByOther) mutex.Release();
    }).join();
    EXPECT_TRUE(takenByOther);
    EXPECT_FALSE(HeldForOthers(mutex));
}

// An extra release must not count the depth below 0: wrapped round, the depth reads as
// "held", and the last owner's next Lock only counts it back to 0 instead of taking the
// main lock, so another thread gets in. The mutex must have had an owner for that: on a
// fresh one the owner matches nobody and Lock takes the main lock anyway.
TEST(Mutex2, ReleaseOfAFreeLockChangesNothing) {
    TARNMutex2 mutex;
    mutex.Release();  // never held
    EXPECT_FALSE(HeldForOthers(mutex));
    mutex.Lock();
    mutex.Release();
    mutex.Release();  // one release too many, by the last owner
    EXPECT_FALSE(HeldForOthers(mutex));

    mutex.Lock();
    EXPECT_TRUE(HeldForOthers(mutex)) << "Lock after an extra release must hold the lock";
    mutex.Lock();
    mutex.Release();
    EXPECT_TRUE(HeldForOthers(mutex)) << "one release undoes one nested lock only";
    mutex.Release();
    EXPECT_FALSE(HeldForOthers(mutex));
}

TEST(Mutex2, ExcludesOtherThreadsAndPassesOwnership) {
    TARNMutex2 mutex;
    long counter = 0;  // guarded by the mutex only
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                mutex.Lock();
                mutex.Lock();  // the owner re-enters without blocking
                ++counter;
                mutex.Release();
                ++counter;
                mutex.Release();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 2L * kThreads * kRounds);
    EXPECT_FALSE(HeldForOthers(mutex));
}

TEST(Mutex2, AnotherThreadBlocksUntilTheOwnerIsDone) {
    TARNMutex2 mutex;
    int stage = 0;  // written under the mutex
    mutex.Lock();
    mutex.Lock();
    std::thread contender([&] {
        mutex.Lock();
        stage *= 10;  // must see the owner's final write
        mutex.Release();
    });
    stage = 1;
    mutex.Release();
    stage = 2;
    mutex.Release();
    contender.join();
    EXPECT_EQ(stage, 20);
}

template <typename Mutex>
class MutexGuardTest : public ::testing::Test {
  protected:
    Mutex mutex;
};

using MutexKinds = ::testing::Types<TARNMutex, TARNMutex2>;
TYPED_TEST_SUITE(MutexGuardTest, MutexKinds);

TYPED_TEST(MutexGuardTest, HoldsForItsScopeAndCanStepAside) {
    {
        TARNMutexGuard guard(this->mutex);
        EXPECT_TRUE(guard.IsLocked());
        EXPECT_TRUE(HeldForOthers(this->mutex));
        EXPECT_FALSE(guard.Relock()) << "relocking a locked guard does nothing";

        EXPECT_TRUE(guard.Unlock());
        EXPECT_FALSE(HeldForOthers(this->mutex));
        EXPECT_FALSE(guard.Unlock()) << "unlocking an unlocked guard does nothing";
        EXPECT_FALSE(HeldForOthers(this->mutex));

        EXPECT_TRUE(guard.Relock());
        EXPECT_TRUE(HeldForOthers(this->mutex));
    }
    EXPECT_FALSE(HeldForOthers(this->mutex));
}

TYPED_TEST(MutexGuardTest, ReleasesWhenAnExceptionLeavesTheScope) {
    EXPECT_THROW(
        {
            TARNMutexGuard guard(this->mutex);
            throw std::runtime_error("unwind");
        },
        std::runtime_error);
    EXPECT_FALSE(HeldForOthers(this->mutex));
}

TYPED_TEST(MutexGuardTest, AGuardUnlockedInsideItsScopeReleasesNothingMore) {
    {
        TARNMutexGuard guard(this->mutex);
        guard.Unlock();
    }
    // The mutex is taken exactly once by the next holder and freed by its release.
    this->mutex.Lock();
    EXPECT_TRUE(HeldForOthers(this->mutex));
    this->mutex.Release();
    EXPECT_FALSE(HeldForOthers(this->mutex));
}

TEST(MutexGuard, NestsInsideAnOuterHoldOfTheReentrantLock) {
    TARNMutex2 mutex;
    mutex.Lock();
    {
        TARNMutexGuard guard(mutex);
        EXPECT_TRUE(guard.Unlock());
        EXPECT_TRUE(HeldForOthers(mutex)) << "the outer hold remains";
        EXPECT_TRUE(guard.Relock());
    }
    EXPECT_TRUE(HeldForOthers(mutex));
    mutex.Release();
    EXPECT_FALSE(HeldForOthers(mutex));
}
