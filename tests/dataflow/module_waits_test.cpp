// The module's blocking waits: how each one ends (its event, its time-out in engine time,
// the module's death), at several engine speeds and while engine time stands still.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <functional>
#include <future>
#include <memory>

#include "module_fixture.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/engine_time.hpp"

namespace {

// What a wait ended with: its result, or the integer it threw.
struct Outcome {
    long result = 0;
    int thrown = 0;
    bool operator==(const Outcome&) const = default;
};

Outcome Returned(long result) {
    return {result, 0};
}
Outcome Threw(int code) {
    return {0, code};
}

void PrintTo(const Outcome& outcome, std::ostream* out) {
    *out << "{result " << outcome.result << ", thrown " << outcome.thrown << "}";
}

using WaitCall = std::function<long(TARNModule&, TARNEvent&)>;

std::future<Outcome> Launch(TARNModule& module, TARNEvent& event, WaitCall call) {
    return std::async(std::launch::async, [&module, &event, call] {
        try {
            return Returned(call(module, event));
        } catch (int code) {
            return Threw(code);
        }
    });
}

// Launches the call and returns once it blocks in a multi-event wait, so that what the
// test does next meets a waiting thread.
std::future<Outcome> LaunchBlocked(HostKernel& kernel, TARNModule& module, TARNEvent& event, WaitCall call) {
    const long before = kernel.Events().WaitsStarted();
    std::future<Outcome> outcome = Launch(module, event, std::move(call));
    EXPECT_TRUE(kernel.Events().AwaitWaits(before + 1));
    return outcome;
}

// Engine times far enough away that nothing ends by time in a test.
constexpr long Far = 100000000;

struct NamedWait {
    const char* name;
    WaitCall call;
    // The outcome when the event ends the wait.
    Outcome byEvent;
};

std::vector<NamedWait> EveryWait() {
    static TARNEvent other;
    return {
        {"Wait4Event unlimited", [](TARNModule& m, TARNEvent& e) { return long(m.Wait4Event(e, -1)); },
         Returned(1)},
        {"Wait4Event timed", [](TARNModule& m, TARNEvent& e) { return long(m.Wait4Event(&e, Far)); },
         Returned(1)},
        {"Wait4Events unlimited",
         [](TARNModule& m, TARNEvent& e) {
             TARNEvent* events[] = {&other, &e};
             return long(m.Wait4Events(2, events, -1, true));
         },
         Returned(1)},
        {"Wait4Events timed",
         [](TARNModule& m, TARNEvent& e) {
             TARNEvent* events[] = {&other, &e};
             return long(m.Wait4Events(2, events, Far, true));
         },
         Returned(1)},
        {"MsgWait4Event", [](TARNModule& m, TARNEvent& e) { return long(m.MsgWait4Event(&e, -1)); },
         Returned(0)},
        {"MsgWait4Events",
         [](TARNModule& m, TARNEvent& e) {
             TARNEvent* events[] = {&other, &e};
             return long(m.MsgWait4Events(2, events, -1, true));
         },
         Returned(1)},
        {"Rest", [](TARNModule& m, TARNEvent& e) { return long(m.Rest(Far, &e)); }, Returned(0)},
        {"Wait", [](TARNModule& m, TARNEvent& e) { return long(m.Wait(Far, &e)); }, Returned(0)},
    };
}

class WaitEndsTest : public ModuleTest, public ::testing::WithParamInterface<int> {};

}  // namespace

// Each wait at engine speed GetParam(): 1000 real time, 0 paused.
TEST_P(WaitEndsTest, ByItsEvent) {
    kernel.Time().SetTimeSpeed(GetParam());
    for (const NamedWait& wait : EveryWait()) {
        TARNModule module("cam", false, false);
        TARNEvent event;
        std::future<Outcome> outcome = LaunchBlocked(kernel, module, event, wait.call);
        event.Set();
        EXPECT_EQ(outcome.get(), wait.byEvent) << wait.name;
    }
}

TEST_P(WaitEndsTest, ByDieWith57005) {
    kernel.Time().SetTimeSpeed(GetParam());
    for (const NamedWait& wait : EveryWait()) {
        TARNModule module("cam", false, false);
        TARNEvent event;
        std::future<Outcome> outcome = LaunchBlocked(kernel, module, event, wait.call);
        module.Die();
        EXPECT_EQ(outcome.get(), Threw(57005)) << wait.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, WaitEndsTest, ::testing::Values(1000, 0));

TEST_F(ModuleTest, Wait4EventTimesOutInEngineTime) {
    // Each case lasts about 300 ms of real time.
    struct Case {
        int speed;
        long timeout;
    };
    for (const Case c : {Case{500, 150000}, Case{1000, 300000}, Case{2000, 600000}}) {
        kernel.Time().SetTimeSpeed(c.speed);
        TARNModule module("cam", false, false);
        TARNEvent event;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(module.Wait4Event(event, c.timeout)) << c.speed;
        const long elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        EXPECT_GE(elapsed, 280) << c.speed;
        EXPECT_LT(elapsed, 550) << c.speed;
    }
}

TEST_F(ModuleTest, Wait4EventsTimesOutWithMinus3) {
    kernel.Time().SetTimeSpeed(2000);
    TARNModule module("cam", false, false);
    TARNEvent a, b;
    TARNEvent* events[] = {&a, &b};
    EXPECT_EQ(module.Wait4Events(2, events, 20000, true), -3);
}

TEST_F(ModuleTest, WithoutItsDieEventAWaitTimesOutButAnUnlimitedOneStillThrowsOnceDying) {
    TARNModule module("cam", false, false);
    module.Die();
    TARNEvent event;
    TARNEvent* events[] = {&event};
    EXPECT_EQ(module.Wait4Events(1, events, 20000, false), -3);
    event.Set();
    EXPECT_EQ(ThrownCode([&] { module.Wait4Events(1, events, -1, false); }), 57005);
}

TEST_F(ModuleTest, EventListsBeyondTheLimitAreKernelErrors) {
    TARNModule module("cam", false, false);
    std::unique_ptr<TARNEvent[]> storage(new TARNEvent[256]);
    TARNEvent* events[256];
    for (int i = 0; i < 256; ++i) events[i] = &storage[i];

    EXPECT_EQ(ThrownCode([&] { module.Wait4Events(255, events, 0, false); }), -5);
    EXPECT_EQ(module.MsgWait4Events(255, events, 0, false), -3);
    EXPECT_EQ(ThrownCode([&] { module.MsgWait4Events(256, events, 0, false); }), -5);

    const std::vector<HostReport> errors = ReportsAt(2);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].message, "Wait4Events can't wait for more than 254 events simultaneously.");
    EXPECT_EQ(errors[1].message, "MsgWait4Events can't wait for more than 255 events simultaneously.");
    EXPECT_EQ(errors[0].parameter, 1);
    // A kernel error is no module error.
    EXPECT_FALSE(module.State() & TARNModule::InError);
}

namespace {

// Rest and Wait measure real time with time triggers: with the host's triggers and clock
// driven by hand, the real delay each one asks for is exact.
class ManualWaitTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        kernel.Events().SetManualTriggers(true);
        kernel.Time().UseManualClock(0);
        kernel.Time().SetCurrentTime(0);
    }
};

class TriggeredWaitTest : public ManualWaitTest, public ::testing::WithParamInterface<int> {
  protected:
    // Runs `call`, checks the one real delay it asks for, lets that much real time pass,
    // fires the trigger and answers the outcome.
    Outcome RunFor(WaitCall call, long expectedDelay) {
        TARNModule module("cam", false, false);
        TARNEvent event;
        std::future<Outcome> outcome = Launch(module, event, call);
        EXPECT_TRUE(kernel.Events().AwaitTriggerRequests(1));
        EXPECT_EQ(recorder.RequestedDelays(), std::vector<long>{expectedDelay});
        kernel.Time().AdvanceClock(expectedDelay);
        kernel.Events().FireTriggers();
        return outcome.get();
    }
};

}  // namespace

TEST_P(TriggeredWaitTest, RestLastsItsDurationOfEngineTime) {
    const int speed = GetParam();
    kernel.Time().SetTimeSpeed(speed);
    const long expected = 1000000L * 1000 / (speed < 0 ? -speed : speed);
    EXPECT_EQ(RunFor([](TARNModule& m, TARNEvent& e) { return long(m.Rest(1000000, &e)); }, expected),
              Returned(1));
}

INSTANTIATE_TEST_SUITE_P(Speeds, TriggeredWaitTest, ::testing::Values(500, 1000, 2000, -1000));

namespace {
// Wait is timed by triggers only while engine time runs forward.
class TriggeredForwardWaitTest : public TriggeredWaitTest {};
}  // namespace

TEST_P(TriggeredForwardWaitTest, WaitReachesItsTimestamp) {
    const int speed = GetParam();
    kernel.Time().SetTimeSpeed(speed);
    const long expected = 1000000L * 1000 / speed;
    EXPECT_EQ(RunFor([](TARNModule& m, TARNEvent& e) { return long(m.Wait(1000000, &e)); }, expected),
              Returned(1));
}

INSTANTIATE_TEST_SUITE_P(Speeds, TriggeredForwardWaitTest, ::testing::Values(500, 1000, 2000));

namespace {

// Waits, at most a generous deadline, until `count` trigger delays have been requested in
// all; false when the call ended (or the deadline passed) first.
bool AwaitDelays(const HostRecorder& recorder, size_t count, std::future<Outcome>& outcome) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (recorder.RequestedDelays().size() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (outcome.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready) return false;
    }
    return true;
}

// The same for multi-event waits begun in all (their threads registered in their events).
bool AwaitWaitsBegun(HostKernel& kernel, long count, std::future<Outcome>& outcome) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (kernel.Events().WaitsStarted() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (outcome.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready) return false;
    }
    return true;
}

// Waits at most a generous deadline for the call's end; a call still blocked is made to die
// (and then answers 57005).
Outcome Finish(TARNModule& module, std::future<Outcome>& outcome) {
    if (outcome.wait_for(std::chrono::seconds(30)) != std::future_status::ready) module.Die();
    return outcome.get();
}

// A wait interrupted part way: it starts at engine time 0 at `speed`, the clock moves
// `before` microseconds of real time, then `interrupt` changes engine time or fires the
// trigger early. The wait must then ask for the real time that is really left.
struct RecomputeCase {
    const char* name;
    bool rest;  // Rest(1000000), or else Wait(1000000)
    int speed;
    long before;
    std::function<void(HostKernel&)> interrupt;
    long delayAfter;
};

void PrintTo(const RecomputeCase& c, std::ostream* out) {
    *out << c.name;
}

class RecomputeTest : public ManualWaitTest, public ::testing::WithParamInterface<RecomputeCase> {};

void Speed(HostKernel& kernel, int speed) {
    kernel.Time().SetTimeSpeed(speed);
}
void JumpTo(HostKernel& kernel, long time) {
    kernel.Time().SetCurrentTime(time);
}

const RecomputeCase RecomputeCases[] = {
    // Rest counts the engine time that passed, whichever way, and lasts the rest.
    {"RestSpeedDoubled", true, 1000, 400000, [](HostKernel& k) { Speed(k, 2000); }, 300000},
    {"RestTimeJumpedAhead", true, 1000, 400000, [](HostKernel& k) { JumpTo(k, 700000); }, 300000},
    {"RestTimeJumpedBack", true, 1000, 400000, [](HostKernel& k) { JumpTo(k, -300000); }, 700000},
    {"RestBackwardsThenForwards", true, -1000, 400000, [](HostKernel& k) { Speed(k, 1000); }, 600000},
    {"RestPausedAndResumed", true, 1000, 400000,
     [](HostKernel& k) {
         k.Time().Pause();
         k.Time().Resume();
     },
     600000},
    // A trigger that fires before the end leaves the end where it was.
    {"RestTriggerEarly", true, 1000, 600000, [](HostKernel& k) { k.Events().FireTriggers(); }, 400000},
    {"RestTriggerEarlyBackwards", true, -1000, 600000, [](HostKernel& k) { k.Events().FireTriggers(); },
     400000},
    // Wait aims at its timestamp from wherever engine time now is.
    {"WaitSpeedDoubled", false, 1000, 400000, [](HostKernel& k) { Speed(k, 2000); }, 300000},
    {"WaitTimeJumpedAhead", false, 1000, 400000, [](HostKernel& k) { JumpTo(k, 700000); }, 300000},
    {"WaitTimeJumpedBack", false, 1000, 400000, [](HostKernel& k) { JumpTo(k, -300000); }, 1300000},
    {"WaitTriggerEarly", false, 1000, 600000, [](HostKernel& k) { k.Events().FireTriggers(); }, 400000},
};

}  // namespace

TEST_P(RecomputeTest, AsksForTheRealTimeThatIsLeft) {
    const RecomputeCase& c = GetParam();
    kernel.Time().SetTimeSpeed(c.speed);
    TARNModule module("cam", false, false);
    TARNEvent event;
    std::future<Outcome> outcome = Launch(module, event, [rest = c.rest](TARNModule& m, TARNEvent& e) {
        return long(rest ? m.Rest(1000000, &e) : m.Wait(1000000, &e));
    });
    ASSERT_TRUE(AwaitDelays(recorder, 1, outcome));
    EXPECT_EQ(recorder.RequestedDelays()[0], 1000000);
    kernel.Time().AdvanceClock(c.before);
    c.interrupt(kernel);

    const long delay = AwaitDelays(recorder, 2, outcome) ? recorder.RequestedDelays()[1] : -1;
    EXPECT_EQ(delay, c.delayAfter) << "-1: the call ended without waiting for the rest";
    if (delay != c.delayAfter) {
        module.Die();
        outcome.get();
        return;
    }
    kernel.Time().AdvanceClock(c.delayAfter);
    kernel.Events().FireTriggers();
    EXPECT_EQ(Finish(module, outcome), Returned(1));
    EXPECT_EQ(recorder.RequestedDelays().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Interrupted, RecomputeTest, ::testing::ValuesIn(RecomputeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// While engine time runs backwards no trigger can bring a later timestamp nearer: Wait
// waits for engine time to change, then aims at the timestamp from where time then is.
TEST_F(ManualWaitTest, WaitArmsNoTriggerWhileTimeRunsBackwards) {
    kernel.Time().SetTimeSpeed(-1000);
    TARNModule module("cam", false, false);
    TARNEvent event;
    const long before = kernel.Events().WaitsStarted();
    std::future<Outcome> outcome =
        Launch(module, event, [](TARNModule& m, TARNEvent& e) { return long(m.Wait(1000000, &e)); });
    ASSERT_TRUE(AwaitWaitsBegun(kernel, before + 1, outcome));
    EXPECT_TRUE(recorder.RequestedDelays().empty());
    kernel.Time().AdvanceClock(300000);
    kernel.Time().SetTimeSpeed(2000);

    ASSERT_TRUE(AwaitDelays(recorder, 1, outcome));
    EXPECT_EQ(recorder.RequestedDelays()[0], 650000) << "1,300,000 of engine time at speed 2000";
    kernel.Time().AdvanceClock(650000);
    kernel.Events().FireTriggers();
    EXPECT_EQ(Finish(module, outcome), Returned(1));
}

// A timed event wait counts its time-out in engine time from where it started, and again
// from the present when engine time went back before the last turn. The clock stands still
// and the speed is so low that every real wait outlasts the test: only jumps of engine time
// (each wakes the wait through the engine-time condition) move the wait on.
TEST_F(ModuleTest, AnEventWaitCountsItsTimeOutAgainAfterTimeWentBack) {
    kernel.Time().UseManualClock(0);
    kernel.Time().SetCurrentTime(5000000);
    kernel.Time().SetTimeSpeed(1);
    TARNModule module("cam", false, false);
    TARNEvent event;
    long waits = kernel.Events().WaitsStarted();
    std::future<Outcome> outcome =
        Launch(module, event, [](TARNModule& m, TARNEvent& e) { return long(m.Wait4Event(e, 100000)); });
    ASSERT_TRUE(AwaitWaitsBegun(kernel, ++waits, outcome));
    // Ahead within the time-out, then back: the time-out counts again from 5,020,000.
    for (long time : {5050000L, 5020000L}) {
        kernel.Time().SetCurrentTime(time);
        ASSERT_TRUE(AwaitWaitsBegun(kernel, ++waits, outcome)) << "ended at " << time;
    }
    // Past the first deadline (5,100,000), short of the new one (5,120,000).
    kernel.Time().SetCurrentTime(5110000);
    EXPECT_TRUE(AwaitWaitsBegun(kernel, ++waits, outcome)) << "timed out by the first deadline";
    event.Set();
    EXPECT_EQ(Finish(module, outcome), Returned(1));
}

TEST_F(ModuleTest, RestAndWaitWaitWithoutTriggerWhileTimeStandsStill) {
    kernel.Events().SetManualTriggers(true);
    kernel.Time().UseManualClock(0);
    kernel.Time().SetCurrentTime(0);
    struct Case {
        const char* name;
        std::function<void()> stop;
        std::function<void()> resume;
    };
    const Case cases[] = {
        {"speed 0", [&] { kernel.Time().SetTimeSpeed(0); }, [&] { kernel.Time().SetTimeSpeed(1000); }},
        {"paused", [&] { kernel.Time().Pause(); }, [&] { kernel.Time().Resume(); }},
        {"time state 2", [&] { kernel.Time().SetTimeState(2); }, [&] { kernel.Time().SetTimeState(0); }},
    };
    const WaitCall calls[] = {
        [](TARNModule& m, TARNEvent&) { return long(m.Rest(1000000)); },
        [](TARNModule& m, TARNEvent&) { return long(m.Wait(1000000)); },
    };
    for (const Case& c : cases) {
        for (const WaitCall& call : calls) {
            kernel.Time().SetCurrentTime(0);
            c.stop();
            TARNModule module("cam", false, false);
            TARNEvent event;
            const long before = kernel.Events().TriggerRequests();
            std::future<Outcome> outcome = LaunchBlocked(kernel, module, event, call);
            EXPECT_EQ(kernel.Events().TriggerRequests(), before) << c.name;
            // Time moves again: the whole duration is still to go.
            c.resume();
            EXPECT_TRUE(kernel.Events().AwaitTriggerRequests(before + 1));
            EXPECT_EQ(recorder.RequestedDelays().back(), 1000000) << c.name;
            kernel.Time().AdvanceClock(1000000);
            kernel.Events().FireTriggers();
            EXPECT_EQ(outcome.get(), Returned(1)) << c.name;
        }
    }
}

TEST_F(ModuleTest, NothingToWaitForReturnsAtOnce) {
    kernel.Events().SetManualTriggers(true);
    TARNModule module("cam", false, false);
    TARNEvent event;
    kernel.Time().SetTimeSpeed(0);
    EXPECT_EQ(module.Rest(0), 1);
    kernel.Time().SetTimeSpeed(1000);
    kernel.Time().SetCurrentTime(5000000);
    EXPECT_EQ(module.Wait(5000000), 1);
    EXPECT_EQ(module.Wait(-7), 1);
    event.Set();
    EXPECT_EQ(module.Rest(1000000, &event), 0);
    EXPECT_TRUE(kernel.Events().TriggerRequests() <= 1);
}

TEST_F(ModuleTest, AFarLimitSaturatesInsteadOfCountingAsReached) {
    kernel.Events().SetManualTriggers(true);
    kernel.Time().SetTimeSpeed(2000);
    kernel.Time().SetCurrentTime(1000000);
    const WaitCall calls[] = {
        [](TARNModule& m, TARNEvent& e) { return long(m.Wait4Event(e, LONG_MAX)); },
        [](TARNModule& m, TARNEvent& e) {
            TARNEvent* events[] = {&e};
            return long(m.Wait4Events(1, events, LONG_MAX, true));
        },
        [](TARNModule& m, TARNEvent& e) { return long(m.Rest(LONG_MAX, &e)); },
        [](TARNModule& m, TARNEvent& e) { return long(m.Wait(LONG_MAX, &e)); },
    };
    for (const WaitCall& call : calls) {
        TARNModule module("cam", false, false);
        TARNEvent event;
        const long before = kernel.Events().WaitsStarted();
        // A limit taken as reached would end the call at once, with a result, instead of
        // waiting: the module dies only once the call waits.
        std::future<Outcome> outcome = Launch(module, event, call);
        EXPECT_TRUE(AwaitWaitsBegun(kernel, before + 1, outcome)) << "the call did not wait";
        module.Die();
        EXPECT_EQ(outcome.get(), Threw(57005));
    }
}

TEST_F(ModuleTest, ARefusedTimeTriggerIsAModuleError) {
    kernel.Events().RefuseTriggers(true);
    TARNModule module("cam", false, false);
    EXPECT_EQ(ThrownCode([&] { module.Rest(1000000); }), -5);
    EXPECT_EQ(ThrownCode([&] { module.Wait(kernel.Time().CurrentTime() + 1000000); }), -5);
    const std::vector<HostReport> errors = ReportsAt(2);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(
        errors[0].message,
        "module cam: Rest function : Too many multimedia timers used. No more available. Contact technical "
        "support for help.");
    EXPECT_EQ(
        errors[1].message,
        "module cam: TARNEvent::Wait [line:2029] Too many multimedia timers used. No more available. Contact "
        "technical support for help.");
    EXPECT_EQ(errors[1].parameter, 1);
}

// Waiting for an engine timestamp: reached, cancelled by the caller's event (which one), or
// ended by the module's death.
TEST_F(ModuleTest, WaitForTimestampTellsReachedFromCancelledFromDying) {
    TARNModule module("clock", false, false);
    const long now = TARN::CurrentTime(true, true);
    EXPECT_TRUE(module.WaitForTimestamp(now - 1, nullptr, nullptr));
    const long far = now + 3'600'000'000L;
    TARNEvent cancels[2];
    cancels[1].Set();
    EXPECT_FALSE(module.WaitForTimestamp(far, &cancels[1], nullptr));
    TARNEvent* events[2] = {&cancels[0], &cancels[1]};
    int index = -9;
    EXPECT_FALSE(module.WaitForTimestamp(far, 2, events, &index, nullptr));
    EXPECT_EQ(index, 1);
    module.Die();
    EXPECT_EQ(ThrownCode([&] { module.WaitForTimestamp(far, &cancels[0], nullptr); }), TARNModule::DieException);
}
