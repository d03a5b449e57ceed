#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "engine/kernel_pointer.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/virtual_slot.hpp"
#include "tarn/engine/clock.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/keys_handler.hpp"
#include "tarn/engine/listeners.hpp"
#include "tarn/engine/synchronizer.hpp"
#include "tarn/engine/timer.hpp"

namespace {

class Clock : public TARNBaseClock {
  public:
    using TARNBaseClock::TARNBaseClock;
    long ClockCurrentTime() override { return 0; }
    void ClockSetCurrentTime(long) override {}
    int ClockTimeSpeed() override { return 1000; }
    void ClockSetTimeSpeed(int) override {}
};

class RunShutdown : public TARNRunShutdownListener {
  public:
    void CallbackRun() override {}
    void CallbackShutdown() override {}
};

class TimeState : public TARNTimeStateListener {
  public:
    TimeState() = default;
    explicit TimeState(int) : TARNTimeStateListener(0) {}
    void CallbackTimeJumped(long) override {}
    void CallbackTimeSpeedChanged(int) override {}
    void CallbackTimePaused(bool) override {}
};

class RecordingState : public TARNRecordingStateListener {
  public:
    void CallbackRecordingStateChanged(bool) override {}
};

class Keys : public TARNHMIKeysListener {
  public:
    explicit Keys(bool registerNow) : TARNHMIKeysListener(registerNow) {}
    void CallbackKeysChanged(unsigned long) override {}
};

class EngineHooksTest : public HostKernelTest {
  protected:
    // The registration calls the kernel received for `object`: true registers, false
    // unregisters.
    std::vector<bool> CallsFor(const char* kind, const void* object) {
        std::vector<bool> calls;
        for (const HostRegistration& entry : kernel.Registrations().Log())
            if (entry.kind == kind && entry.object == object) calls.push_back(entry.registered);
        return calls;
    }
};

}  // namespace

// Every hook is known to the engine exactly from its construction to its destruction.
TEST_F(EngineHooksTest, HooksRegisterWhenBuiltAndUnregisterWhenDestroyed) {
    const void* addresses[5];
    {
        RunShutdown runShutdown;
        TimeState timeState;
        RecordingState recordingState;
        Keys keys(true);
        TARNHMIKeysHandler handler;
        addresses[0] = static_cast<TARNRunShutdownListener*>(&runShutdown);
        addresses[1] = static_cast<TARNTimeStateListener*>(&timeState);
        addresses[2] = static_cast<TARNRecordingStateListener*>(&recordingState);
        addresses[3] = static_cast<TARNKeysListener*>(&keys);
        addresses[4] = &handler;
        EXPECT_TRUE(kernel.Registrations().IsRegistered("run/shutdown listener", addresses[0]));
        EXPECT_TRUE(kernel.Registrations().IsRegistered("time-state listener", addresses[1]));
        EXPECT_TRUE(kernel.Registrations().IsRegistered("recording-state listener", addresses[2]));
        EXPECT_TRUE(kernel.Registrations().IsRegistered("keys listener", addresses[3]));
        EXPECT_TRUE(kernel.Registrations().IsRegistered("keys handler", addresses[4]));
        EXPECT_EQ(handler.keysState, 0x600ul);
        EXPECT_EQ(handler.firstTimestamp, -1);
        EXPECT_EQ(handler.lastTimestamp, -1);
    }
    const char* kinds[] = {"run/shutdown listener", "time-state listener", "recording-state listener",
                           "keys listener", "keys handler"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(CallsFor(kinds[i], addresses[i]), (std::vector<bool>{true, false})) << kinds[i];
}

// The engine knows the handler from its registration, so neither update names it; the keys
// update answers what the engine answers (the host: 0), not the handler's own word.
TEST_F(EngineHooksTest, KeysHandlerUpdatesAskTheEngineAndAnswerItsResult) {
    static_assert(std::is_same_v<decltype(&TARNKernel::UpdateKeys), unsigned long (TARNKernel::*)()>);
    static_assert(std::is_same_v<decltype(&TARNKernel::UpdateTimestamp), void (TARNKernel::*)()>);
    TARNHMIKeysHandler handler;
    recorder.ClearReports();

    EXPECT_EQ(handler.UpdateKeysState(), 0ul);
    handler.UpdateFirstLastTimestamp();

    EXPECT_EQ(handler.keysState, 0x600ul);
    EXPECT_EQ(Reports(),
              (std::vector<HostReport>{{"The host kernel does not provide UpdateKeys", 1, 0, true},
                                       {"The host kernel does not provide UpdateTimestamp", 1, 0, true}}));
}

TEST_F(EngineHooksTest, ListenersBuiltUnregisteredStillUnregisterWhenDestroyed) {
    const void* timeAddress;
    const void* keysAddress;
    {
        TimeState timeState(0);
        Keys keys(false);
        timeAddress = static_cast<TARNTimeStateListener*>(&timeState);
        keysAddress = static_cast<TARNKeysListener*>(&keys);
        EXPECT_TRUE(CallsFor("time-state listener", timeAddress).empty());
        EXPECT_TRUE(CallsFor("keys listener", keysAddress).empty());

        timeState.Register();
        EXPECT_TRUE(kernel.Registrations().IsRegistered("time-state listener", timeAddress));
        timeState.Unregister();
        EXPECT_FALSE(kernel.Registrations().IsRegistered("time-state listener", timeAddress));
    }
    EXPECT_EQ(CallsFor("time-state listener", timeAddress), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(CallsFor("keys listener", keysAddress), (std::vector<bool>{false}));
}

TEST_F(EngineHooksTest, AClockGetsAnIdAndANewOneWhenRenamed) {
    const void* address;
    {
        Clock clock("master");
        address = static_cast<TARNBaseClock*>(&clock);
        EXPECT_STREQ(clock.GetClockName(), "master");
        EXPECT_TRUE(kernel.Registrations().IsRegistered("clock", address));
        const unsigned char first = clock.GetClockID();
        EXPECT_NE(first, 0);

        clock.RenameClock(nullptr);
        EXPECT_STREQ(clock.GetClockName(), "");
        EXPECT_TRUE(kernel.Registrations().IsRegistered("clock", address));
        EXPECT_NE(clock.GetClockID(), first);
        EXPECT_FALSE(clock.IsSynchronizable());
        EXPECT_FALSE(clock.IsReplayable());
    }
    EXPECT_EQ(CallsFor("clock", address), (std::vector<bool>{true, false, true, false}));
}

TEST_F(EngineHooksTest, ClockSetsTheAbsoluteSpeedOfTheEngine) {
    Clock clock(nullptr);
    EXPECT_STREQ(clock.GetClockName(), "");
    clock.SetAbsoluteTimeSpeed(2000);
    EXPECT_EQ(clock.GetAbsoluteTimeSpeed(), 2000);
    EXPECT_EQ(TARN::TimeSpeed(), 2000);
}

TEST_F(EngineHooksTest, SynchronizersAreCountedWhileTheyLive) {
    const int before = TARNSynchronizer::nbInstances;
    {
        TARNSynchronizer first;
        TARNSynchronizer second;
        EXPECT_EQ(TARNSynchronizer::nbInstances, before + 2);
        first.SignalSynchronizationCommand(7);
        EXPECT_EQ(recorder.SynchronizationCommands(), (std::vector<int>{7}));
    }
    EXPECT_EQ(TARNSynchronizer::nbInstances, before);
}

TEST_F(EngineHooksTest, TimerAccumulatesItsRunningSpans) {
    kernel.Time().UseManualClock(5'000'000);
    TARNTimer timer;
    timer.Start();
    kernel.Time().AdvanceClock(100);
    EXPECT_EQ(timer.Time(), 100) << "a running timer includes the running span";
    timer.Stop();
    kernel.Time().AdvanceClock(1000);
    timer.Stop();
    EXPECT_EQ(timer.Time(), 100) << "stopped time does not count, a second Stop changes nothing";
    timer.Start();
    kernel.Time().AdvanceClock(20);
    timer.Stop();
    EXPECT_EQ(timer.Time(), 120);

    timer.Start();
    timer.Reset();
    kernel.Time().AdvanceClock(50);
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_EQ(timer.Time(), 0);
}

// The engine calls these objects through their tables by position.
TEST(EngineHookSlots, OperationsLandInTheEnginesSlots) {
    EXPECT_EQ(VirtualSlot(&TARNBaseClock::Register), 0);
    EXPECT_EQ(VirtualSlot(&TARNBaseClock::Unregister), 1);
    EXPECT_EQ(VirtualSlot(&TARNBaseClock::IsSynchronizable), 2);
    EXPECT_EQ(VirtualSlot(&TARNBaseClock::IsReplayable), 3);
    EXPECT_EQ(VirtualSlot(&TARNBaseClock::ClockSetTimeSpeed), 7);
    EXPECT_EQ(VirtualSlot(&TARNRunShutdownListener::CallbackShutdown), 1);
    EXPECT_EQ(VirtualSlot(&TARNTimeStateListener::CallbackTimeJumped), 0);
    EXPECT_EQ(VirtualSlot(&TARNTimeStateListener::CallbackTimeSpeedChanged), 1);
    EXPECT_EQ(VirtualSlot(&TARNTimeStateListener::CallbackTimePaused), 2);
    EXPECT_EQ(VirtualSlot(&TARNRecordingStateListener::CallbackRecordingStateChanged), 0);
    EXPECT_EQ(VirtualSlot(&TARNKeysListener::CallbackKeysChanged), 0);
}
