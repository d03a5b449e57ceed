// The module core: reports and errors, the state word, lives and module threads, and the
// binary order of the virtual operations.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "dataflow/still_running_report.hpp"
#include "host_engine_module.hpp"
#include "module_fixture.hpp"
#include "support/virtual_slot.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

class NamelessKind : public TARNModule {
  public:
    NamelessKind() : TARNModule("cam", false, false) {}
    const char* Kind() const override { return nullptr; }
};

class Component : public TARNModule {
  public:
    Component() : TARNModule("cam", false, false) {}
    const char* Kind() const override { return "component"; }
};

}  // namespace

TEST(ModuleSlots, VirtualOperationsSitInTheirSlots) {
    EXPECT_EQ(VirtualSlot(&TARNModule::Rename), 2);
    EXPECT_EQ(VirtualSlot(&TARNModule::Kind), 3);
    EXPECT_EQ(VirtualSlot(&TARNModule::SequentialCore), 4);
    EXPECT_EQ(VirtualSlot(&TARNModule::Error), 5);
    EXPECT_EQ(VirtualSlot(&TARNModule::Report), 6);
    EXPECT_EQ(VirtualSlot(&TARNModule::PerformanceMonitoring), 7);
    using M = TARNModule;
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, bool&)>(&M::Get)), 8);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, long&)>(&M::Get)), 9);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, double&)>(&M::Get)), 10);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, TARNStackedString<40>&)>(&M::Get)), 11);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, TARNEnumStruct&)>(&M::Get)), 12);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, bool)>(&M::Set)), 13);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, long)>(&M::Set)), 14);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, double)>(&M::Set)), 15);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, const TARNStackedString<40>&)>(&M::Set)),
              16);
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, const TARNEnumStruct&)>(&M::Set)), 17);
    // The conveniences are not in the table.
    EXPECT_EQ(VirtualSlot(static_cast<void (M::*)(TARNProperty&, int)>(&M::Set)), -1);
}

TEST_F(ModuleTest, ReportPrefixesKindAndName) {
    struct Case {
        TARNModule* module;
        const char* message;
        const char* expected;
    };
    TARNModule named("cam", false, false);
    TARNModule nameless(nullptr, false, false);
    NamelessKind noKind;
    Component component;
    const Case cases[] = {
        {&named, "hello", "module cam: hello"}, {&nameless, "hello", "module : hello"},
        {&noKind, "hello", " cam: hello"},      {&component, "hello", "component cam: hello"},
        {&named, nullptr, "module cam: "},
    };
    for (const Case& c : cases) {
        recorder.ClearReports();
        c.module->Report(c.message, 1, 7);
        ASSERT_EQ(Reports().size(), 1u);
        EXPECT_EQ(Reports()[0], (HostReport{c.expected, 1, 7, false}));
    }
}

TEST_F(ModuleTest, ErrorStoresMarksTellsReportsAndThrows) {
    TARNModule module("cam", false, false);
    EXPECT_EQ(ThrownCode([&] { module.Error("broken", 3, 42); }), -5);
    EXPECT_EQ(module.errorCode, 42);
    EXPECT_STREQ(module.errorText.c_str(), "broken");
    EXPECT_EQ(module.State(), TARNModule::Running | TARNModule::InError);
    EXPECT_EQ(kernel.ModuleStates().at("cam"), TARNModule::Running | TARNModule::InError);
    ASSERT_EQ(ReportsAt(2).size(), 1u);
    EXPECT_EQ(ReportsAt(2)[0], (HostReport{"module cam: broken", 2, 3, false}));
}

// Two threads of one module failing at the same moment, round after round, with texts long
// enough to live on the heap: stores racing on the error text would free the same buffer
// twice. Both threads spin at the start line of each round (a blocking barrier would wake
// them tens of microseconds apart), yielding so that on a loaded machine the other one gets
// to run; the deadline is per round, since a loaded machine stretches the whole run but
// never a round that long.
TEST_F(ModuleTest, ErrorsRaisedTogetherOnOneModuleKeepOneWholeRecord) {
    constexpr int Rounds = 1000;
    TARNModule module("cam", false, false);
    const std::string texts[2] = {std::string(200, 'a'), std::string(300, 'b')};
    std::atomic<int> arrived{0};
    std::atomic<int> thrown{0};
    std::atomic<bool> stalled{false};
    auto fail = [&](int which) {
        for (int round = 1; round <= Rounds && !stalled; ++round) {
            ++arrived;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (arrived.load() < 2 * round && !stalled) {
                if (std::chrono::steady_clock::now() > deadline) stalled = true;
                std::this_thread::yield();
            }
            if (ThrownCode([&] { module.Error(texts[which].c_str(), 1, which + 1); }) == -5) ++thrown;
        }
    };
    std::thread first(fail, 0);
    std::thread second(fail, 1);
    first.join();
    second.join();

    ASSERT_FALSE(stalled.load()) << "a thread never reached the start line";
    EXPECT_EQ(thrown.load(), 2 * Rounds);
    // Code and text come from the same call.
    ASSERT_TRUE(module.errorCode == 1 || module.errorCode == 2);
    EXPECT_EQ(std::string(module.errorText.c_str()), texts[module.errorCode - 1]);
    EXPECT_EQ(ReportsAt(2).size(), 2u * Rounds);
}

TEST_F(ModuleTest, StartClearsEndedDyingAndErrorAndResetsBothEvents) {
    TARNModule module("cam", false, false);
    module.state |= TARNModule::MainLoopEnded | TARNModule::AutoStart;
    EXPECT_EQ(ThrownCode([&] { module.Error("broken", 1, 0); }), -5);
    module.Die();
    module.noThreadEvent.Set();
    EXPECT_TRUE(module.State() & TARNModule::Dying);
    EXPECT_EQ(module.dieEvent.Wait(0), 0);

    module.Start();

    EXPECT_EQ(module.State(), TARNModule::Running | TARNModule::AutoStart);
    EXPECT_EQ(module.dieEvent.Wait(0), -3);
    EXPECT_EQ(module.noThreadEvent.Wait(0), -3);
}

TEST_F(ModuleTest, OnlyTheLastLifeLostSetsTheNoThreadEvent) {
    TARNModule module("cam", false, false);
    module.OneMoreLife();
    module.OneMoreLife();
    module.LoseOneLife();
    EXPECT_EQ(module.noThreadEvent.Wait(0), -3);
    module.LoseOneLife();
    EXPECT_EQ(module.noThreadEvent.Wait(0), 0);
    // A surplus loss keeps the count at zero rather than wrapping it round.
    module.LoseOneLife();
    EXPECT_EQ(module.lives, 0u);
}

namespace {

class Worker : public TARNModule {
  public:
    Worker() : TARNModule("worker", false, false) {}
    void Body() {
        ran = true;
        Wait4Event(release, -1);
    }
    std::atomic<bool> ran{false};
    TARNEvent release;
};

}  // namespace

TEST_F(ModuleTest, CreateThreadRunsTheMemberFunctionCountedAsALife) {
    Worker worker;
    worker.CreateThread(static_cast<void (TARNModule::*)()>(&Worker::Body));
    while (!worker.ran) TARN::Wait4AWhile();
    {
        TARNMutexGuard guard(worker.moduleLock);
        EXPECT_EQ(worker.lives, 1u);
    }
    EXPECT_EQ(worker.noThreadEvent.Wait(0), -3);

    worker.release.Set();

    // The engine's body counts the thread as a life while it runs.
    EXPECT_EQ(worker.noThreadEvent.Wait(5000000), 0);
    EXPECT_EQ(worker.lives, 0u);
}

TEST_F(ModuleTest, Wait4DeathAnswersTrueOnceEveryThreadEnded) {
    TARNModule module("cam", false, false);
    module.OneMoreLife();
    module.LoseOneLife();
    EXPECT_TRUE(module.Wait4Death());
}

// The time-out reads in whole seconds from one second on (waiting that long is left to the
// test above, in the microsecond form).
TEST(StillRunningReport, TellsTheTimeOutInSecondsFromOneSecondOn) {
    const std::string ending =
        ". The model must be bugged. If this is considered as normal however, consider increase the value of "
        "the Engine.shutdownTimeout property. I destroy the component anyway. This might result in a system "
        "crash.";
    const std::pair<long, const char*> cases[] = {{0, "0 microsecond(s)"},
                                                  {999999, "999999 microsecond(s)"},
                                                  {1000000, "1 second(s)"},
                                                  {1500000, "1 second(s)"},
                                                  {10000000, "10 second(s)"}};
    for (const auto& [timeout, time] : cases)
        EXPECT_EQ(TARNPrivate::StillRunningReport(timeout).c_str(),
                  std::string("Some threads are still running after ") + time + ending);
}

TEST_F(ModuleTest, Wait4DeathWarnsWhenAThreadOutlivesTheShutdownTimeout) {
    TARNModule module("cam", false, false);
    module.OneMoreLife();
    kernel.EngineModule().DirectSet(kernel.EngineModule().Property("shutdownTimeout"), 20000L);
    recorder.ClearReports();

    EXPECT_FALSE(module.Wait4Death());

    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(
        Reports()[0],
        (HostReport{"module cam: Some threads are still running after 20000 microsecond(s). The model "
                    "must be bugged. If this is considered as normal however, consider increase the "
                    "value of the Engine.shutdownTimeout property. I destroy the component anyway. This "
                    "might result in a system crash.",
                    1, 2, false}));
}
