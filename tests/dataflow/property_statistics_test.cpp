// The period statistics a module publishes in its standard properties, and the callbacks
// of "processor", "contextSwitches" and "CPULoad".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "property_fixture.hpp"
#include "tarn/dataflow/module_thread.hpp"

namespace {

class StatisticsTest : public PropertyTest {
  protected:
    void SetUp() override {
        PropertyTest::SetUp();
        // Engine time moves only when the test moves it.
        kernel.Time().Pause();
        kernel.Time().SetCurrentTime(0);
    }

    // One call of PerformanceMonitoring at `milliseconds` of engine time.
    void CallAt(long milliseconds) {
        kernel.Time().SetCurrentTime(milliseconds * 1000);
        module->PerformanceMonitoring();
    }

    long Read(TARNProperty* property) {
        long value = 0;
        property->Get(value);
        return value;
    }
    long Average() { return Read(module->averagePeriodProperty); }
    long Minimum() { return Read(module->minPeriodProperty); }
    long Maximum() { return Read(module->maxPeriodProperty); }
    long Counter() { return Read(module->counterProperty); }
};

// A thread of the engine with fixed figures, remembering the processor it was bound to.
class FixedThread : public TARNThread {
  public:
    FixedThread(int contextSwitches, int load) : contextSwitches(contextSwitches), load(load) {}
    int GetContextSwitches() override { return contextSwitches; }
    int GetCPULoad() override { return load; }
    void SetProcessor(int value) override { processor = value; }

    int contextSwitches;
    int load;
    int processor = -100;
};

}  // namespace

TEST_F(StatisticsTest, FollowTheWindowOfTheLastPeriods) {
    module->nbPeriodsProperty->Set(3L);

    // The first call only records the time.
    CallAt(0);
    EXPECT_EQ(Counter(), 1);
    EXPECT_EQ(Average(), 0);

    CallAt(10);
    EXPECT_EQ(Average(), 10000);
    EXPECT_EQ(Minimum(), 10000);
    EXPECT_EQ(Maximum(), 10000);

    CallAt(30);
    EXPECT_EQ(Average(), 15000);
    EXPECT_EQ(Minimum(), 10000);
    EXPECT_EQ(Maximum(), 20000);

    CallAt(60);
    EXPECT_EQ(Average(), 20000);

    // The window is full: the first period (10 ms) leaves it.
    CallAt(100);
    EXPECT_EQ(Average(), 30000);
    EXPECT_EQ(Minimum(), 20000);
    EXPECT_EQ(Maximum(), 40000);
    EXPECT_EQ(Counter(), 5);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(StatisticsTest, ANewNumberOfPeriodsRestartsTheWindow) {
    module->nbPeriodsProperty->Set(2L);
    CallAt(0);
    CallAt(10);
    CallAt(50);
    EXPECT_EQ(Average(), 25000);

    module->nbPeriodsProperty->Set(4L);
    // The call that sees the change records the time only; the figures stay until the
    // next period.
    CallAt(60);
    EXPECT_EQ(Average(), 25000);
    CallAt(65);
    EXPECT_EQ(Average(), 5000);
    EXPECT_EQ(Minimum(), 5000);
    EXPECT_EQ(Maximum(), 5000);
    EXPECT_EQ(Counter(), 5);
}

TEST_F(StatisticsTest, AChangeAcknowledgedElsewhereStillResizesTheWindow) {
    // The engine may acknowledge any property's change before the module's thread looks:
    // the window must still get its slots, first on a new module, then after a change.
    module->nbPeriodsProperty->AcknowledgePropertyChanged();
    CallAt(0);
    CallAt(10);
    EXPECT_EQ(Average(), 10000);

    module->nbPeriodsProperty->Set(8L);
    module->nbPeriodsProperty->AcknowledgePropertyChanged();
    for (long ms : {20, 30, 50, 80, 120, 170, 230, 300, 380, 470}) CallAt(ms);
    // The window restarted at 20 ms: the last eight periods are 20 ms to 90 ms.
    EXPECT_EQ(Average(), 55000);
    EXPECT_EQ(Minimum(), 20000);
    EXPECT_EQ(Maximum(), 90000);
}

TEST_F(StatisticsTest, NumbersOfPeriodsBelowOneCountAsOne) {
    for (long periods : {0L, -4L}) {
        SCOPED_TRACE(periods);
        module->nbPeriodsProperty->Set(periods);
        CallAt(0);
        CallAt(10);
        CallAt(40);
        EXPECT_EQ(Average(), 30000);
        EXPECT_EQ(Minimum(), 30000);
        EXPECT_EQ(Maximum(), 30000);
    }
}

TEST_F(StatisticsTest, AModuleWithoutTheStatisticsPropertiesKeepsNone) {
    TARNModule bare("bare", false, true);
    bare.PerformanceMonitoring();
    EXPECT_EQ(bare.properties.Count(), 1);
    EXPECT_TRUE(Errors().empty());
}

namespace {

struct LoadCase {
    const char* name;
    std::vector<int> figures;
    long expected;
};

const LoadCase LoadCases[] = {
    {"NoThread", {}, 0},
    {"RoundsDown", {100, 49}, 1},
    {"RoundsUp", {100, 50}, 2},
    {"OneThread", {250}, 3},
};

class PerformanceFigures : public StatisticsTest, public ::testing::WithParamInterface<LoadCase> {};

}  // namespace

TEST_P(PerformanceFigures, AreTheRoundedHundredthsOfTheThreadsSum) {
    std::vector<std::unique_ptr<FixedThread> > threads;
    // The load figures of one property are the other's figures times 10, so that each
    // property is seen to read its own figure.
    for (int figure : GetParam().figures) {
        threads.push_back(std::make_unique<FixedThread>(figure, figure * 10));
        module->threads.PushBack(threads.back().get());
    }

    EXPECT_EQ(Read(module->contextSwitchesProperty), GetParam().expected);
    long sum = 0;
    for (int figure : GetParam().figures) sum += figure * 10;
    EXPECT_EQ(Read(module->CPULoadProperty), (sum + 50) / 100);

    // Another property is not served.
    long untouched = -7;
    TARNModule::GetPerfMonProperties(*module->counterProperty, &untouched);
    EXPECT_EQ(untouched, -7);
    module->threads.Clear();
}

INSTANTIATE_TEST_SUITE_P(Property, PerformanceFigures, ::testing::ValuesIn(LoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatisticsTest, TheProcessorGoesToEveryThread) {
    FixedThread first(0, 0);
    FixedThread second(0, 0);
    module->threads.PushBack(&first);
    module->threads.PushBack(&second);

    module->processorProperty->Set(3L);

    EXPECT_EQ(first.processor, 3);
    EXPECT_EQ(second.processor, 3);
    module->threads.Clear();
}
