// The frame_counter package tested as its author tests it: loaded into a host graph between
// a source and a sink of the test's own, with every count it publishes checked, its
// read-only properties read through the graph and its action run through it. And what
// "tarnhost info" shows of the package: its own tables, with types and defaults.
//
// The package tested is the one this tree builds, or the one FRAME_COUNTER_PACKAGE names:
// the example built on its own as its author builds it (scripts/outside-example).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "info_command.hpp"
#include "tarn/tarn.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a run may take before the test gives up
constexpr int Elements = 5;
constexpr long Period = 40'000;  // microseconds between the source's timestamps: 25 a second

std::string FrameCounterPackage() {
    const char* named = std::getenv("FRAME_COUNTER_PACKAGE");
    return named != nullptr && *named != '\0' ? named : FRAME_COUNTER_PACKAGE_BUILT;
}

// Writes Elements elements of one Integer32 each, the i-th stamped (i + 1) x Period, then
// waits until More lets it write Elements more, or it dies.
class NumberSource : public TARNComponent {
  public:
    NumberSource(const char* instanceName, TARNComponentDefinition& record)
        : TARNComponent(instanceName, record) {}
    void Birth() override { written = 0; }
    void Core() override {
        if (written == Elements * batches.load()) {
            Wait4Event(more, -1);
            more.Reset();
            return;
        }
        TARNIOElt* element = StartWriting(Output("out"), (written + 1) * Period);
        if (element == nullptr) return;
        element->Integer32(0)[0] = written++;
        StopWriting(element);
    }
    // From the test's thread.
    void More() {
        ++batches;
        more.Set();
    }

  private:
    int written = 0;
    std::atomic<int> batches{1};
    TARNEvent more;
};

// Keeps the value and timestamp of every Integer64 element it reads.
class CountSink : public TARNComponent {
  public:
    CountSink(const char* instanceName, TARNComponentDefinition& record)
        : TARNComponent(instanceName, record) {}
    void Core() override {
        TARNIOElt* element = StartReading(Input("in"));
        if (element == nullptr) return;
        std::lock_guard lock(mutex);
        taken.emplace_back(element->Integer64(0)[0], element->Timestamp());
    }
    std::vector<std::pair<long, long>> Taken() {
        std::lock_guard lock(mutex);
        return taken;
    }

  private:
    std::mutex mutex;
    std::vector<std::pair<long, long>> taken;
};

TARNModuleBase* makeCountSink(const char* instanceName, TARNComponentDefinition& record) {
    return new CountSink(instanceName, record);
}

TARNModuleBase* makeNumberSource(const char* instanceName, TARNComponentDefinition& record) {
    return new NumberSource(instanceName, record);
}

TARNInputDefinition sinkInputs[] = {{"in", nullptr, nullptr, NeverSkippingReader, 1}, {}};
TARNOutputDefinition sourceOutputs[] = {{"out", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 1, 16, 1, 0}, {}};

TARNComponentDefinition testModel(const char* name, TARNComponentDefinition::Factory factory,
                                  TARNInputDefinition* inputs, TARNOutputDefinition* outputs) {
    TARNComponentDefinition d{};
    d.name = name;
    d.version = "1.0";
    d.factory = factory;
    d.nbInputs = inputs != nullptr ? TARNComponentDefinition::NotCounted : 0;
    d.inputs = inputs;
    d.nbOutputs = outputs != nullptr ? TARNComponentDefinition::NotCounted : 0;
    d.outputs = outputs;
    d.priority = 128;
    d.threadingModels = TARNComponentDefinition::Threaded;
    d.threaded = true;
    return d;
}

TARNComponentDefinition sourceModel = testModel("number_source", makeNumberSource, nullptr, sourceOutputs);
TARNComponentDefinition sinkModel = testModel("count_sink", makeCountSink, sinkInputs, nullptr);

// The package between a source and a sink of the test's own: source -> counter -> sink.
class FrameCounterInGraph : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(graph.LoadPackage(FrameCounterPackage(), error)) << error;
        ASSERT_TRUE(graph.AddModel(sourceModel));
        ASSERT_TRUE(graph.AddModel(sinkModel));
        ASSERT_TRUE(graph.Create("number_source", "source"));
        ASSERT_TRUE(graph.Create("frame_counter", "counter"));
        ASSERT_TRUE(graph.Create("count_sink", "sink"));
        ASSERT_TRUE(graph.Connect("source.out", "counter.in"));
        ASSERT_TRUE(graph.Connect("counter.count", "sink.in"));
    }

    HostKernel kernel;
    HostRecorder recorder{kernel};
    HostGraph graph{kernel};
};

TEST_F(FrameCounterInGraph, CountsEveryElementAndPublishesTheCountWithItsTimestamp) {
    ASSERT_TRUE(graph.Set("counter.step", "2"));
    ASSERT_TRUE(graph.Start());
    auto* sink = graph.Component<CountSink>("sink");
    const bool done = graph.RunUntil([&] { return sink->Taken().size() == Elements; }, Deadline);
    std::string frames, rate;
    ASSERT_TRUE(graph.Get("counter.rFrames", frames));
    ASSERT_TRUE(graph.Get("counter.rRate", rate));
    graph.Stop();
    ASSERT_TRUE(done) << sink->Taken().size() << " of " << Elements << " counts in " << Deadline << " us";

    std::vector<std::pair<long, long>> expected;
    for (long i = 0; i < Elements; ++i) expected.emplace_back(2 * (i + 1), (i + 1) * Period);
    EXPECT_EQ(sink->Taken(), expected);
    EXPECT_EQ(frames, "10");
    EXPECT_EQ(rate, "25");
    // The bench is quiet: no warning, no error, from the host or any component.
    for (const HostReport& report : recorder.Reports()) EXPECT_LT(report.level, 1) << report.message;
}

// "step" takes 1 to 1000: the component's guarded setter refuses any other value with its
// own report, and graph.Set answers false, the step kept; a value in range is taken.
TEST_F(FrameCounterInGraph, AStepOutOfRangeIsRefusedAndTheStepKept) {
    recorder.ClearReports();
    EXPECT_FALSE(graph.Set("counter.step", "0"));
    ASSERT_EQ(recorder.Reports().size(), 1u);
    EXPECT_EQ(recorder.Reports()[0].message, "component counter: step takes 1 to 1000: the value is refused");
    std::string step;
    ASSERT_TRUE(graph.Get("counter.step", step));
    EXPECT_EQ(step, "1");
    EXPECT_TRUE(graph.Set("counter.step", "1000"));
    ASSERT_TRUE(graph.Get("counter.step", step));
    EXPECT_EQ(step, "1000");
}

// The action "restart", run by its name as the engine's user runs it: refused while the
// counter rests (not yet started), and while it runs, the next element is counted from 0
// again. The source writes its second batch only once the action has run, so that the
// element the restart applies to is known.
TEST_F(FrameCounterInGraph, RestartCountsTheNextElementFromZero) {
    recorder.ClearReports();
    EXPECT_FALSE(graph.RunAction("counter.restart"));
    ASSERT_EQ(recorder.Reports().size(), 1u);
    EXPECT_EQ(recorder.Reports()[0].message,
              "component counter: This action is not allowed when the component is not running.");

    ASSERT_TRUE(graph.Start());
    auto* sink = graph.Component<CountSink>("sink");
    const bool first = graph.RunUntil([&] { return sink->Taken().size() == Elements; }, Deadline);
    const bool restarted = first && graph.RunAction("counter.restart");
    if (restarted) graph.Component<NumberSource>("source")->More();
    const bool second = graph.RunUntil([&] { return sink->Taken().size() == 2 * Elements; }, Deadline);
    graph.Stop();
    ASSERT_TRUE(first) << sink->Taken().size() << " of " << Elements << " counts in " << Deadline << " us";
    ASSERT_TRUE(restarted);
    ASSERT_TRUE(second) << sink->Taken().size() << " of " << 2 * Elements << " counts";

    std::vector<long> counts;
    for (const auto& [count, timestamp] : sink->Taken()) counts.push_back(count);
    EXPECT_EQ(counts, (std::vector<long>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
}

// The model's own tables as "tarnhost info" reads them from an instance: a numeric output of
// one value per element is no vector.
TEST(FrameCounterPackage, InfoShowsTheModelsTablesWithTypesAndDefaults) {
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(FrameCounterPackage(), out, err), 0) << err.str();
    const std::string expected =
        "models: 1\n"
        "  frame_counter 1.0 (group TARNComponent)\n"
        "    input in: any type\n"
        "    output count: Integer64\n"
        "    property step: integer = 1, changeable while running\n"
        "    property rFrames: integer = 0, read-only\n"
        "    property rRate: float = 0, read-only\n"
        "    action restart: index 0\n"
        "trailer: ";
    EXPECT_NE(out.str().find(expected), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  FILENAME=frame_counter.pck\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  VERSION=1.0.0\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  DESCRIPTION=Counts the elements of a stream\n"), std::string::npos)
        << out.str();
    EXPECT_EQ(err.str(), "");
}

}  // namespace
