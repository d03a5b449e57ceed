// The timestamp-sorted reading base: elements of several inputs handed on oldest first,
// held back until every connected input delivered or the timer of max latency ran out;
// late, unsorted, future and paused elements; the time-state callbacks, which keep the
// time speed the timer follows; and the listener's registration over the component's life.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "image_processing_fixture.hpp"
#include "support/sorted_reading_test_component.hpp"
#include "tarn/runtime/timestamp_text.hpp"

namespace {

using Delivery = SortedReadingTestComponent::Delivery;

class SortedReadingTest : public ManualTimeTest {
  protected:
    static constexpr long Now = 50'000'000;

    void SetUp() override {
        ManualTimeTest::SetUp();
        Time().SetCurrentTime(Now);
        component.CallDynamic();
        TARN::Attach(*first, component.Input("in0"));
        TARN::Attach(*second, component.Input("in1"));
        TARN::Attach(component.Output("late_samples_count"), *lateSink.input);
        TARN::Attach(component.Output("unsorted_samples_count"), *unsortedSink.input);
    }
    void TearDown() override {
        stepper.Finish();
        ManualTimeTest::TearDown();
    }
    // The component as the engine calls it back.
    TARNTimeStateListener& Listener() {
        const auto registered = kernel.Registrations().Registered("time-state listener");
        EXPECT_EQ(registered.size(), 1u);
        return *static_cast<TARNTimeStateListener*>(const_cast<void*>(registered.at(0)));
    }
    void Write(TARNOutput& output, long timestamp) { source.WriteIntegers(output, {0}, timestamp); }
    bool AwaitReport(const std::string& text) {
        TARNEvent never;
        for (long waited = 0; waited < 10'000'000; waited += 2'000) {
            for (const HostReport& report : ReportsAt(1))
                if (report.message == "component sorted: " + text) return true;
            never.Wait(2'000);
        }
        return false;
    }
    int Latest(const RecordingSink& sink) {
        const auto records = sink.Records();
        int value = 0;
        std::memcpy(&value, records.back().bytes.data(), sizeof value);
        return value;
    }

    FeedingSource source{"source"};
    TARNOutput* first = &source.VectorOutput("first", TARNTypeInfo::Integer32, 1);
    TARNOutput* second = &source.VectorOutput("second", TARNTypeInfo::Integer32, 1);
    SortedReadingTestComponent component{"sorted"};
    RecordingSink lateSink{"lateSink"};
    RecordingSink unsortedSink{"unsortedSink"};
    ComponentStepper stepper{component};
};

TEST_F(SortedReadingTest, ElementsAreHandedOnOldestFirstOnceEveryInputDelivered) {
    stepper.Begin();
    stepper.RunInThread();
    Write(*first, Now - 10);
    Write(*second, Now - 60);
    ASSERT_TRUE(component.AwaitDeliveries(1));
    Write(*second, Now - 5);
    ASSERT_TRUE(component.AwaitDeliveries(2));
    EXPECT_EQ(component.Deliveries(),
              (std::vector<Delivery>{{Now - 60, 1, false, false}, {Now - 10, 0, false, false}}))
        << "the unconnected third input never holds delivery up";
}

TEST_F(SortedReadingTest, EqualTimestampsKeepTheirOrderOfArrival) {
    TARNOutput& third = source.VectorOutput("third", TARNTypeInfo::Integer32, 1);
    TARN::Attach(third, component.Input("in2"));
    const long requests = Events().TriggerRequests();
    stepper.Begin();
    stepper.RunInThread();
    // Each arrival is queued before the next is written: the pass after it arms the timer.
    Write(*second, Now - 20);
    ASSERT_TRUE(Events().AwaitTriggerRequests(requests + 1));
    Write(*first, Now - 20);
    ASSERT_TRUE(Events().AwaitTriggerRequests(requests + 2));
    Write(third, Now - 10);
    ASSERT_TRUE(component.AwaitDeliveries(1));
    ASSERT_TRUE(Events().AwaitTriggerRequests(requests + 3)) << "armed again for the new head";
    Events().FireTriggers();
    ASSERT_TRUE(component.AwaitDeliveries(2));
    EXPECT_EQ(component.Deliveries(),
              (std::vector<Delivery>{{Now - 20, 1, false, false}, {Now - 20, 0, false, false}}));
}

TEST_F(SortedReadingTest, ALateElementFlushesOlderOnesAsLateAndIsCounted) {
    const long requests = Events().TriggerRequests();
    stepper.Begin();
    stepper.RunInThread();
    Write(*first, Now - 90'000);
    ASSERT_TRUE(Events().AwaitTriggerRequests(requests + 1)) << "held, its timer armed";
    Time().AdvanceClock(100'000);
    Write(*second, Now - 50'000);
    ASSERT_TRUE(component.AwaitDeliveries(2));
    Write(*first, Now - 95'000);
    ASSERT_TRUE(component.AwaitDeliveries(3));
    EXPECT_EQ(component.Deliveries(), (std::vector<Delivery>{{Now - 90'000, 0, false, true},
                                                             {Now - 50'000, 1, false, true},
                                                             {Now - 95'000, 0, true, true}}));
    ASSERT_TRUE(lateSink.AwaitCount(3));
    EXPECT_EQ(Latest(lateSink), 3);
    ASSERT_TRUE(unsortedSink.AwaitCount(1));
    EXPECT_EQ(Latest(unsortedSink), 1);
}

TEST_F(SortedReadingTest, FutureAndPausedElementsAreDiscarded) {
    component.Property("verbose").Set(true);
    stepper.Begin();
    stepper.RunInThread();
    Write(*first, Now + 1001);
    ASSERT_TRUE(AwaitReport("Discarding ioElt on input 0: timestamp is in the future. Timestamp: " +
                            std::string(TARN::Timestamp2String(Now + 1001).c_str()) +
                            "; CurrentTime: " + TARN::Timestamp2String(Now).c_str()));
    Listener().CallbackTimePaused(true);
    ASSERT_TRUE(AwaitReport("Time changed event. Flushing."));
    Write(*second, Now);
    ASSERT_TRUE(AwaitReport("Discarding ioElt on input 1:  time paused."));
    EXPECT_TRUE(component.Deliveries().empty());
}

// Born with engine time stopped: once time runs again the timer must follow the new speed
// and hand the element on when its latency runs out, although the other input is silent.
TEST_F(SortedReadingTest, TheTimerFollowsTheTimeSpeedReportedAfterBirth) {
    component.Property("verbose").Set(true);
    Time().SetTimeSpeed(0);
    stepper.Begin();
    Time().SetTimeSpeed(1000);
    Listener().CallbackTimeSpeedChanged(1000);
    const long requests = Events().TriggerRequests();
    stepper.RunInThread();
    ASSERT_TRUE(AwaitReport("Time changed event. Flushing."));
    Write(*first, Now - 10);
    ASSERT_TRUE(Events().AwaitTriggerRequests(requests + 1, std::chrono::milliseconds(2000)))
        << "the timer was never armed";
    EXPECT_TRUE(component.Deliveries().empty()) << "not before the timer";
    Events().FireTriggers();
    ASSERT_TRUE(component.AwaitDeliveries(1));
    EXPECT_EQ(component.Deliveries()[0], (Delivery{Now - 10, 0, false, false}));
}

// Latencies at the ends of the range: the deadline and the timer's delay must not wrap round
// into the past (a far latency handed on at once), nor the late bound into the future.
struct LatencyCase {
    long latency;
    bool held;
};

class SortedReadingLatencyTest : public SortedReadingTest, public ::testing::WithParamInterface<LatencyCase> {};

TEST_P(SortedReadingLatencyTest, FarLatenciesHoldAndNegativeOnesMakeLate) {
    component.Property("max_latency").Set(GetParam().latency);
    const long requests = Events().TriggerRequests();
    stepper.Begin();
    stepper.RunInThread();
    Write(*first, Now - 10);
    if (GetParam().held) {
        ASSERT_TRUE(Events().AwaitTriggerRequests(requests + 1)) << "held, its timer armed";
        EXPECT_TRUE(component.Deliveries().empty());
    } else {
        ASSERT_TRUE(component.AwaitDeliveries(1));
        EXPECT_EQ(component.Deliveries()[0], (Delivery{Now - 10, 0, false, true}));
    }
}

INSTANTIATE_TEST_SUITE_P(Latencies, SortedReadingLatencyTest,
                         ::testing::Values(LatencyCase{10'000'000'000'000'000, true}, LatencyCase{LONG_MAX, true},
                                           LatencyCase{-10'000'000'000'000'000, false},
                                           LatencyCase{LONG_MIN, false}));

TEST_F(SortedReadingTest, AnEngineTimeAtTheEndOfTheRangeStillTakesElements) {
    Time().SetCurrentTime(LONG_MAX - 500);
    const long requests = Events().TriggerRequests();
    stepper.Begin();
    stepper.RunInThread();
    Write(*first, LONG_MAX - 400);
    ASSERT_TRUE(Events().AwaitTriggerRequests(requests + 1)) << "held, not refused as from the future";
    EXPECT_TRUE(component.Deliveries().empty());
}

TEST_F(SortedReadingTest, TheListenerIsRegisteredForTheComponentsWholeLife) {
    const void* listener = nullptr;
    {
        SortedReadingTestComponent other("other");
        const auto registered = kernel.Registrations().Registered("time-state listener");
        ASSERT_EQ(registered.size(), 2u);
        listener = registered.back();
        other.state = other.State() | TARNModule::MainLoopEnded;
    }
    EXPECT_FALSE(kernel.Registrations().IsRegistered("time-state listener", listener));
}

}  // namespace
