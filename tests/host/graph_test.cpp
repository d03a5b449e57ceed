// Graphs of the test components run by the host: elements flowing in order with their
// timestamps, threaded and run by their writer, with subsampling, several reader kinds and
// a synchronised reader; failures contained; every way of stopping a graph, including a
// reader blocked, a reader holding an element and a Core that never returns; an input moved
// from output to output again and again without pause.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dataflow/abandoned_rings.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_buffers.hpp"
#include "dataflow/output_implementation.hpp"
#include "host_graph.hpp"
#include "support/await_condition.hpp"
#include "support/end_on_a_thread.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/test_components.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

using namespace test_components;

constexpr long Deadline = 20'000'000;  // microseconds a test waits before it gives up
constexpr int Elements = 1000;
// "Engine.shutdownTimeout" for the waits that meet a Core that never returns.
constexpr long ShortTimeout = 50'000;

class GraphTest : public HostKernelTest {
  protected:
    void SetUp() override {
        HostKernelTest::SetUp();
        ASSERT_GE(graph.AddProgramModels(), 6);
    }

    bool Has(const std::string& message) const {
        const std::vector<std::string> texts = ReportTexts();
        return std::find(texts.begin(), texts.end(), message) != texts.end();
    }
    template <class Condition>
    bool Await(Condition condition) {
        return graph.RunUntil(condition, Deadline);
    }
    void MakeSourceAndSink(bool sinkThreaded) {
        ASSERT_TRUE(graph.Create(SourceModel, "source"));
        ASSERT_TRUE(graph.Create(SinkModel, "sink"));
        ASSERT_TRUE(graph.Set("sink.threaded", sinkThreaded ? "true" : "false"));
    }
    Sink& TheSink() { return *graph.Component<Sink>("sink"); }
    // A source into a component whose Core takes an element and never returns on its own;
    // back once that Core holds its element.
    void StartSourceIntoStuck(HostGraph& into) {
        ASSERT_TRUE(into.Create(SourceModel, "source"));
        ASSERT_TRUE(into.Create(StuckModel, "stuck"));
        ASSERT_TRUE(into.Connect("source.out", "stuck.in"));
        ASSERT_TRUE(into.Start());
        ASSERT_TRUE(Await([&] { return into.Component<Stuck>("stuck")->stuck.load(); }));
    }
    void StartSourceIntoStuck() { StartSourceIntoStuck(graph); }
    // The kill waits for the stuck Core the short time-out.
    bool KillStuck(HostGraph& in) {
        bool killed = false;
        WithShutdownTimeout(ShortTimeout, [&] { killed = in.Kill("stuck"); });
        return killed;
    }
    // Tells a healthy component to die and waits until its thread has ended: a shutdown
    // under the short time-out then meets it at rest and times only what it is meant to.
    void EndNow(const std::string& name) {
        TARNComponent& component = *graph.Component(name);
        component.Die();
        ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&component) == 0; })) << name;
    }

    HostGraph graph{kernel};
};

// ---- Elements in order ---------------------------------------------------------------------

struct FlowCase {
    const char* name;
    bool sinkThreaded;
    bool throughPass;
    const char* readerType;  // of the sink's input
    const char* fifoSize;    // of the source's output
    bool lossless;           // every element arrives
};

void PrintTo(const FlowCase& c, std::ostream* out) {
    *out << c.name;
}

const FlowCase FlowCases[] = {
    {"ThreadedNeverSkipping", true, false, "1", "16", true},
    {"SequentialNeverSkipping", false, false, "1", "16", true},
    {"ThreadedFifoOnALongRing", true, false, "0", "1024", true},
    {"SequentialFifo", false, false, "0", "4", true},
    {"ThreadedLastOrNext", true, false, "2", "4", false},
    {"SequentialLastOrNext", false, false, "2", "4", true},
    {"ThreadedThroughAPass", true, true, "1", "16", true},
    {"SequentialThroughAPass", false, true, "1", "16", true},
};

class Flow : public GraphTest, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(Flow, ElementsArriveInOrderWithTheirTimestamps) {
    const FlowCase& c = GetParam();
    MakeSourceAndSink(c.sinkThreaded);
    ASSERT_TRUE(graph.Set("source.out.fifosize", c.fifoSize));
    ASSERT_TRUE(graph.Set("sink.in.readerType", c.readerType));
    if (c.throughPass) {
        ASSERT_TRUE(graph.Create(PassModel, "pass"));
        ASSERT_TRUE(graph.Set("pass.threaded", c.sinkThreaded ? "true" : "false"));
        ASSERT_TRUE(graph.Connect("source.out", "pass.in"));
        ASSERT_TRUE(graph.Connect("pass.out", "sink.in"));
    } else {
        ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    }
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return TheSink().lastValue.load() == Elements - 1; }));
    graph.Stop();

    const std::vector<Received> taken = TheSink().Taken();
    if (c.lossless) {
        ASSERT_EQ(taken.size(), static_cast<size_t>(Elements));
    }
    for (size_t i = 0; i < taken.size(); ++i) {
        if (c.lossless) {
            EXPECT_EQ(taken[i].value, static_cast<int>(i));
        }
        if (i > 0) {
            EXPECT_GT(taken[i].value, taken[i - 1].value);
        }
        EXPECT_EQ(taken[i].timestamp, (taken[i].value + 1) * 1000L) << i;
    }
    EXPECT_TRUE(ReportsAt(2).empty()) << ReportsAt(2).front().message;
}

INSTANTIATE_TEST_SUITE_P(ReaderKinds, Flow, ::testing::ValuesIn(FlowCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Subsampling -----------------------------------------------------------------------------

struct SubsamplingCase {
    const char* name;
    bool sinkThreaded;
    const char* property;
    int every;  // one element in `every` arrives...
    int first;  // ...starting with this one
};

void PrintTo(const SubsamplingCase& c, std::ostream* out) {
    *out << c.name;
}

const SubsamplingCase SubsamplingCases[] = {
    {"ThreadedInput", true, "sink.in.subsampling", 3, 2},
    {"SequentialInput", false, "sink.in.subsampling", 3, 2},
    // The ring publishes its first element, then one in every.
    {"ThreadedOutput", true, "source.out.subsampling", 4, 0},
    {"SequentialOutput", false, "source.out.subsampling", 4, 0},
};

class Subsampling : public GraphTest, public ::testing::WithParamInterface<SubsamplingCase> {};

TEST_P(Subsampling, KeepsOneElementInEvery) {
    const SubsamplingCase& c = GetParam();
    MakeSourceAndSink(c.sinkThreaded);
    ASSERT_TRUE(graph.Set(c.property, std::to_string(c.every)));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    ASSERT_TRUE(graph.Start());
    const int last = c.first + (Elements - 1 - c.first) / c.every * c.every;
    ASSERT_TRUE(Await([&] { return TheSink().lastValue.load() == last; }));
    graph.Stop();

    const std::vector<Received> taken = TheSink().Taken();
    ASSERT_EQ(taken.size(), static_cast<size_t>((last - c.first) / c.every + 1));
    for (size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].value, c.first + static_cast<int>(i) * c.every);
        EXPECT_EQ(taken[i].timestamp, (taken[i].value + 1) * 1000L);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, Subsampling, ::testing::ValuesIn(SubsamplingCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Synchronised reading ---------------------------------------------------------------------

// Threaded only: run by its writers, a synchronised reader reads only the input its writer
// ran it for and can never complete a set.
TEST_F(GraphTest, ASynchronisedReaderPairsElementsOfEqualTimestamps) {
    ASSERT_TRUE(graph.Create(SourceModel, "left"));
    ASSERT_TRUE(graph.Create(SourceModel, "right"));
    ASSERT_TRUE(graph.Create(SyncModel, "sync"));
    ASSERT_TRUE(graph.Connect("left.out", "sync.a"));
    ASSERT_TRUE(graph.Connect("right.out", "sync.b"));
    ASSERT_TRUE(graph.Start());
    Sync& sync = *graph.Component<Sync>("sync");
    ASSERT_TRUE(Await([&] { return sync.count.load() == Elements; }));
    graph.Stop();

    const auto pairs = sync.Pairs();
    ASSERT_EQ(pairs.size(), static_cast<size_t>(Elements));
    for (size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(pairs[i].first.value, static_cast<int>(i));
        EXPECT_EQ(pairs[i].second.value, static_cast<int>(i));
        EXPECT_EQ(pairs[i].first.timestamp, pairs[i].second.timestamp);
    }
}

// ---- Order of start and stop ----------------------------------------------------------------

TEST_F(GraphTest, StartsConsumersFirst) {
    ASSERT_TRUE(graph.Create(SinkModel, "sink"));
    ASSERT_TRUE(graph.Create(SourceModel, "source"));
    ASSERT_TRUE(graph.Create(PassModel, "pass"));
    ASSERT_TRUE(graph.Connect("pass.out", "sink.in"));
    ASSERT_TRUE(graph.Connect("source.out", "pass.in"));
    ASSERT_TRUE(graph.Start());
    graph.Stop();

    std::vector<std::string> started;
    for (const HostModuleStateNotice& notice : recorder.ModuleStateNotices())
        if ((notice.state & TARNModule::Running) &&
            std::find(started.begin(), started.end(), notice.module) == started.end())
            started.push_back(notice.module);
    EXPECT_EQ(started, (std::vector<std::string>{"sink", "pass", "source"}));
}

// ---- Failures contained ----------------------------------------------------------------------

struct ThrowCase {
    const char* name;
    const char* throws;
    bool threaded;
    const char* message;
    int level;
};

void PrintTo(const ThrowCase& c, std::ostream* out) {
    *out << c.name;
}

const char* const CatchUp = " Trying to catch up but the component might crash later.";

const ThrowCase ThrowCases[] = {
    {"ErrorThreaded", "0", true, "component thrower died due to an error.", 1},
    {"ErrorSequential", "0", false, "component thrower (sequential) died due to an error.", 1},
    {"Integer", "1", true, "component thrower : Fatal error : Unhandled integer exception thrown.", 2},
    {"StdException", "2", true, "component thrower : Fatal error : Unhandled std::exception thrown: broken",
     2},
    {"StdExceptionSequential", "2", false,
     "component thrower : Fatal error : Unhandled std::exception thrown: broken", 2},
    {"Text", "3", false, "component thrower : Fatal error : Unhandled string thrown: broken", 2},
    {"Unknown", "4", true, "component thrower : Fatal error : Unhandled exception thrown.", 2},
};

class Throwing : public GraphTest, public ::testing::WithParamInterface<ThrowCase> {};

// The thrower reads the source the sink reads; it dies alone and the sink gets everything.
TEST_P(Throwing, CoreFailureIsReportedAndTheOthersRunOn) {
    const ThrowCase& c = GetParam();
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Create(ThrowerModel, "thrower"));
    ASSERT_TRUE(graph.Set("thrower.throws", c.throws));
    ASSERT_TRUE(graph.Set("thrower.threaded", c.threaded ? "true" : "false"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    ASSERT_TRUE(graph.Connect("source.out", "thrower.in"));
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return Has("Component thrower is dead."); }));
    ASSERT_TRUE(Await([&] { return TheSink().count.load() == Elements; }));
    graph.Stop();

    std::string expected = c.message;
    if (c.level == 2) expected += CatchUp;
    EXPECT_TRUE(Has(expected)) << expected;
    const auto reports = Reports();
    const auto found =
        std::find_if(reports.begin(), reports.end(), [&](const auto& r) { return r.message == expected; });
    ASSERT_NE(found, reports.end());
    EXPECT_EQ(found->level, c.level);
    EXPECT_EQ(graph.Component<Thrower>("thrower")->cores.load(), 1);
    EXPECT_EQ(TheSink().Taken().size(), static_cast<size_t>(Elements));
}

INSTANTIATE_TEST_SUITE_P(Kinds, Throwing, ::testing::ValuesIn(ThrowCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A reader run by its writer that times out on an input is a kernel error, which unwinds
// the writer: the writer dies of it. The reader lives on in error but gives back the element
// its Core was reading, so the writer's shutdown does not wait for it.
TEST_F(GraphTest, ASequentialReadersTimeOutReachesItsWriterAsAnError) {
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Create(ThrowerModel, "thrower"));
    ASSERT_TRUE(graph.Set("thrower.throws", "5"));
    ASSERT_TRUE(graph.Set("thrower.threaded", "false"));
    // What a source's shutdown would wait for a reader that kept its element.
    ASSERT_TRUE(graph.Set("Engine.shutdownTimeout", "2000000"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    ASSERT_TRUE(graph.Connect("source.out", "thrower.in"));
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return Has("Component source is dead."); }));
    graph.Stop();

    const auto reports = Reports();
    auto levelOf = [&](const std::string& message) {
        const auto found =
            std::find_if(reports.begin(), reports.end(), [&](const auto& r) { return r.message == message; });
        return found != reports.end() ? found->level : -1;
    };
    EXPECT_EQ(levelOf("Component thrower : Time out (deadlock?) on an input"), 2);
    EXPECT_EQ(levelOf("component source died due to an error."), 1);
    EXPECT_EQ(graph.Component<Thrower>("thrower")->cores.load(), 1);
    EXPECT_EQ(levelOf("component source: A reader still holds an element of source.out: its buffers are kept."),
              -1);
}

// ---- Stopping --------------------------------------------------------------------------------

TEST_F(GraphTest, StopEndsAReaderBlockedOnAnEmptyInput) {
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Set("source.count", "0"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    ASSERT_TRUE(graph.Start());
    graph.Stop();
    EXPECT_EQ(TheSink().State(), TARNModule::MainLoopEnded);
    EXPECT_EQ(TheSink().deaths.load(), 1);
    EXPECT_TRUE(Has("Component sink is dead."));
    EXPECT_EQ(kernel.Components().Threads(&TheSink()), 0);
}

// The reader's death gives its element back, so the source's shutdown frees its buffers
// without waiting out "Engine.shutdownTimeout" (bounded here: a reader that kept its
// element would fail the test at that deadline, not slow the suite by the default 10 s).
TEST_F(GraphTest, StopEndsAReaderHoldingAnElement) {
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Set("Engine.shutdownTimeout", "2000000"));
    ASSERT_TRUE(graph.Set("sink.holdAt", "5"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return TheSink().holding.load(); }));
    graph.Stop();
    EXPECT_EQ(TheSink().State(), TARNModule::MainLoopEnded);
    EXPECT_EQ(TheSink().deaths.load(), 1);
    EXPECT_EQ(kernel.Components().Threads(graph.Component("source")), 0);
    EXPECT_FALSE(
        Has("component source: A reader still holds an element of source.out: its buffers are kept."));
    EXPECT_EQ(static_cast<TARNOutputImplementation&>(graph.Component("source")->Output("out"))
                  .buffers.ElementCount(),
              0);
}

// Stop tells every component to die before it shuts them down one by one, so a threaded
// component may have run its whole death on its own thread before its turn comes: it is at
// rest, yet its rings and buffers wait for the shutdown. Here its life ended before the
// stop; the stop must release it all the same.
TEST_F(GraphTest, StopReleasesAComponentWhoseLifeEndedOnItsOwnThread) {
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Set("source.count", "3"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return TheSink().count.load() == 3; }));
    TARNComponent& source = *graph.Component("source");
    source.Die();
    ASSERT_TRUE(Await([&] { return source.State() == TARNModule::MainLoopEnded; }));
    auto& out = static_cast<TARNOutputImplementation&>(source.Output("out"));
    ASSERT_NE(out.buffers.ElementCount(), 0);

    graph.Stop();
    EXPECT_EQ(out.buffers.ElementCount(), 0) << "the source was not shut down";
    EXPECT_FALSE(source.lastLifeNotReleased);
}

// A producer stopped alone while a reader of another component holds one of its elements
// keeps its buffers: the reader still reads that element afterwards.
TEST_F(GraphTest, AProducerStoppedAloneKeepsTheBuffersItsReadersHold) {
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Set("sink.holdAt", "5"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return TheSink().holding.load(); }));

    ASSERT_NO_FATAL_FAILURE(EndNow("source"));
    ASSERT_NO_FATAL_FAILURE(
        WithShutdownTimeout(ShortTimeout, [&] { ASSERT_TRUE(kernel.ShutdownComponent("source")); }));
    EXPECT_TRUE(
        Has("component source: A reader still holds an element of source.out: its buffers are kept."));
    TheSink().release.Set();
    ASSERT_TRUE(Await([&] { return TheSink().valueAfterHold.load() == 5; }));
    graph.Stop();
}

// The stuck Core never looks at its die event: the kill cuts it off, the rest of the graph
// stops, and its component is destroyed only once the Core returns. The element it holds
// stays its own meanwhile: the producer's stop neither waits for it nor frees it, but sets
// it aside with its buffer, and the Core reads it once released; its death gives it back.
TEST_F(GraphTest, KillCutsOffACoreThatNeverReturns) {
    ASSERT_NO_FATAL_FAILURE(StartSourceIntoStuck());
    Stuck& stuck = *graph.Component<Stuck>("stuck");
    auto& out = static_cast<TARNOutputImplementation&>(graph.Component("source")->Output("out"));

    ASSERT_TRUE(KillStuck(graph));
    EXPECT_TRUE(
        Has("Component stuck does not end its Core: it is killed and cut off from the graph, and destroyed "
            "once its Core returns."));
    EXPECT_FALSE(graph.Component("stuck")->Input("in").IsConnected());
    EXPECT_FALSE(stuck.returned.load());
    graph.Stop();
    EXPECT_EQ(graph.Component("source")->State(), TARNModule::MainLoopEnded);
    EXPECT_FALSE(
        Has("component source: A reader still holds an element of source.out: its buffers are kept."));
    EXPECT_FALSE(graph.Component("source")->lastLifeNotReleased) << "the life was released whole";
    EXPECT_EQ(out.buffers.ElementCount(), 0);
    EXPECT_TRUE(out.ring->HasSetAsideSlots());

    stuck.released = true;
    ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&stuck) == 0; }));
    EXPECT_TRUE(stuck.returned.load());
    EXPECT_NE(stuck.valueTaken.load(), -1);
    EXPECT_EQ(stuck.valueAfterRelease.load(), stuck.valueTaken.load());
    EXPECT_TRUE(Has("Component stuck is dead."));
    EXPECT_FALSE(out.ring->HasSetAsideSlots()) << "its death gave the element back";
    EXPECT_FALSE(out.ring->HasLeavingReaders());
}

// A producer restarted life after life, in other element sizes, while a killed reader holds
// an element of its first life: the block under that element is the only one kept, every
// later life's buffers are freed by its stop, and the element is whole when its reader
// comes back to it.
TEST_F(GraphTest, ALaterLifeFreesItsBuffersWhileAKilledReaderHoldsAnElementOfTheFirst) {
    ASSERT_NO_FATAL_FAILURE(StartSourceIntoStuck());
    Stuck& stuck = *graph.Component<Stuck>("stuck");
    struct ReleasedOnEveryWayOut {
        Stuck& stuck;
        ~ReleasedOnEveryWayOut() { stuck.released = true; }
    } releaser{stuck};
    ASSERT_TRUE(KillStuck(graph));
    graph.Stop();
    auto& out = static_cast<TARNOutputImplementation&>(graph.Component("source")->Output("out"));
    ASSERT_EQ(out.buffers.ElementCount(), 0);
    const long kept = TARNOutputBuffers::LiveBlocks();

    auto& source = *graph.Component<Source>("source");
    ASSERT_TRUE(graph.Set("source.count", "3"));
    for (const char* items : {"65536", "2", "131072", "8", "65536", "2", "131072", "8", "65536", "2"}) {
        SCOPED_TRACE(std::string("items ") + items);
        ASSERT_TRUE(graph.Set("source.items", items));
        // The killed reader is refused its start; the source starts.
        graph.Start();
        ASSERT_TRUE(Await([&] { return source.written.load() == 3; }));
        graph.Stop();
        EXPECT_EQ(TARNOutputBuffers::LiveBlocks(), kept) << "a block of a life was kept after its stop";
    }

    stuck.released = true;
    ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&stuck) == 0; }));
    EXPECT_EQ(stuck.afterRelease.bytes, stuck.taken.bytes) << "the element changed under its holder";
    EXPECT_EQ(TARNOutputBuffers::LiveBlocks(), kept - 1) << "the first life's block went with its element";
}

// A producer stopped while a killed reader and a connected one each hold one of its
// elements keeps its buffers for the connected one, and starts its next life on them
// while that reader still holds: every slot of its ring must still lie over those buffers,
// or the new life writes into a slot that has none.
TEST_F(GraphTest, AProducerKeepingItsBuffersForAReaderKeepsEverySlotOverThem) {
    ASSERT_TRUE(graph.Create(SourceModel, "source"));
    ASSERT_TRUE(graph.Create(StuckModel, "stuck"));
    ASSERT_TRUE(graph.Create(SinkModel, "sink"));
    ASSERT_TRUE(graph.Set("sink.holdAt", "3"));
    // Fewer than the ring holds: each life writes all of them without waiting for the sink.
    ASSERT_TRUE(graph.Set("source.count", "8"));
    ASSERT_TRUE(graph.Connect("source.out", "stuck.in"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    Stuck& stuck = *graph.Component<Stuck>("stuck");
    struct ReleasedOnEveryWayOut {
        Stuck& stuck;
        Sink& sink;
        ~ReleasedOnEveryWayOut() {
            stuck.released = true;
            sink.release.Set();
        }
    } releaser{stuck, TheSink()};
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return stuck.stuck.load() && TheSink().holding.load(); }));
    ASSERT_TRUE(KillStuck(graph));
    auto& out = static_cast<TARNOutputImplementation&>(graph.Component("source")->Output("out"));

    ASSERT_NO_FATAL_FAILURE(EndNow("source"));
    ASSERT_NO_FATAL_FAILURE(
        WithShutdownTimeout(ShortTimeout, [&] { ASSERT_TRUE(kernel.ShutdownComponent("source")); }));
    ASSERT_TRUE(
        Has("component source: A reader still holds an element of source.out: its buffers are kept."));
    ASSERT_NE(out.buffers.ElementCount(), 0);
    for (TARNIOEltImplementation* element : out.ring->Elements())
        ASSERT_NE(element->data, nullptr) << "a slot of the ring has no buffer under it";

    ASSERT_TRUE(kernel.StartComponent("source"));
    auto& source = *graph.Component<Source>("source");
    ASSERT_TRUE(Await([&] { return source.written.load() == 8; }));
    TheSink().release.Set();
    ASSERT_TRUE(Await([&] { return TheSink().valueAfterHold.load() == 3; }));
    stuck.released = true;
    ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&stuck) == 0; }));
    EXPECT_EQ(stuck.valueAfterRelease.load(), stuck.valueTaken.load());
    graph.Stop();
}

// A shutdown that meets a Core that never returns (a kill under way meets it so) gives up
// after the engine's time-out, not after a fixed time of its own. The host's clock is
// driven by hand from the moment the shutdown began, in steps of 10 ms: the shutdown gives
// up once that clock has passed the 50 ms time-out, long before it has gone 5 seconds
// (half the engine's default time-out), however slowly the machine runs the test.
TEST_F(GraphTest, AShutdownGivesUpOnACoreThatNeverReturnsAfterTheEngineTimeOut) {
    constexpr long Step = 10'000;
    constexpr long Far = 5'000'000;
    ASSERT_NO_FATAL_FAILURE(StartSourceIntoStuck());
    Stuck& stuck = *graph.Component<Stuck>("stuck");
    bool gaveUp = false;
    long advanced = 0;
    WithShutdownTimeout(ShortTimeout, [&] {
        Time().UseManualClock(1'000'000'000);
        std::atomic<bool> shutDown{false};
        std::thread stopper([&] {
            kernel.ShutdownComponent("stuck");
            shutDown = true;
        });
        const bool dying = Await([&] { return (stuck.State() & TARNModule::Dying) != 0; });
        for (; dying && !shutDown.load() && advanced < Far; advanced += Step) {
            Time().AdvanceClock(Step);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        gaveUp = shutDown.load();
        // Released either way, so that a shutdown still waiting ends and the test with it.
        stuck.released = true;
        stopper.join();
        EXPECT_TRUE(dying) << "the shutdown never told the stuck component to die";
    });
    EXPECT_TRUE(gaveUp) << "the shutdown still waited after " << advanced << " us of the host's clock";
    EXPECT_TRUE(
        Has("Component stuck refuses to die after 50000 microseconds. The component model test_stuck must "
            "be bugged."));
    ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&stuck) == 0; }));
}

// A component whose Core is not running dies at once when killed, with its death
// sequence, whether it has a thread of its own or is run by its writer.
TEST_F(GraphTest, KillOfAnIdleComponentRunsItsDeathAtOnce) {
    for (const bool threaded : {true, false}) {
        SCOPED_TRACE(threaded ? "threaded" : "run by its writer");
        HostGraph idle(kernel);
        ASSERT_TRUE(idle.Create(SourceModel, "source"));
        ASSERT_TRUE(idle.Create(SinkModel, "sink"));
        ASSERT_TRUE(idle.Set("sink.threaded", threaded ? "true" : "false"));
        ASSERT_TRUE(idle.Set("source.count", "3"));
        ASSERT_TRUE(idle.Set("Engine.shutdownTimeout", "2000000"));
        ASSERT_TRUE(idle.Connect("source.out", "sink.in"));
        ASSERT_TRUE(idle.Start());
        Sink& sink = *idle.Component<Sink>("sink");
        ASSERT_TRUE(Await([&] { return sink.lastValue.load() == 2; }));

        ASSERT_TRUE(idle.Kill("sink"));
        EXPECT_EQ(sink.deaths.load(), 1);
        EXPECT_EQ(sink.State(), TARNModule::MainLoopEnded);
        EXPECT_FALSE(kernel.Components().IsKilled(&sink)) << "it was not cut off";
        EXPECT_TRUE(ReportsAt(2).empty()) << ReportsAt(2).front().message;
    }
}

// Destroying the producer of an element a killed reader holds gives the reader
// "Engine.shutdownTimeout" to give it back, then goes on with an error: the element, its
// ring slot and its buffer are left to the reader, which reads it intact afterwards, and
// go when its death gives them back.
TEST_F(GraphTest, DestroyingAProducerLeavesTheElementAKilledReaderHoldsToIt) {
    ASSERT_NO_FATAL_FAILURE(StartSourceIntoStuck());
    Stuck& stuck = *graph.Component<Stuck>("stuck");
    ASSERT_TRUE(KillStuck(graph));
    ASSERT_TRUE(kernel.ShutdownComponent("source"));
    const int ringsBefore = TARNPrivate::AbandonedRingCount();

    bool wentOn = false;
    int ringsLeft = 0;
    WithShutdownTimeout(ShortTimeout, [&] {
        std::atomic<bool> destroyed{false};
        std::thread destroyer([&] {
            graph.Destroy("source");
            destroyed = true;
        });
        wentOn = Await([&] { return destroyed.load(); });
        ringsLeft = TARNPrivate::AbandonedRingCount();
        // Released either way, so that a destruction still waiting ends and the test with it.
        stuck.released = true;
        destroyer.join();
    });
    EXPECT_TRUE(wentOn) << "the destruction waited past the shutdown time-out";
    const auto errors = ReportsAt(2);
    EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [](const HostReport& report) {
        return report.message ==
               "Readers cut off from component source still hold elements of its outputs after the shutdown "
               "time-out: the component is destroyed, and they keep those elements until they give them "
               "back.";
    }));
    EXPECT_EQ(ringsLeft, ringsBefore + 1) << "the ring lives on for its reader";

    ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&stuck) == 0; }));
    EXPECT_NE(stuck.valueTaken.load(), -1);
    EXPECT_EQ(stuck.valueAfterRelease.load(), stuck.valueTaken.load());
    EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsBefore) << "the reader's death gave the ring its end";
}

// The graph's end gives a killed component whose Core never returns the shutdown time-out,
// then leaves it behind with an error and goes on, so that the program can end: the
// destruction returns after the time-out and a margin, not when the Core returns. The
// component stays, cut off, with the element it holds; released later, its Core finds that
// element whole, its death reports nothing, and the kernel destroys the component at its own
// end.
TEST_F(GraphTest, TheGraphsEndLeavesBehindAKilledCoreThatNeverReturns) {
    constexpr long Margin = 3'000'000;
    auto ending = std::make_unique<HostGraph>(kernel);
    ASSERT_NO_FATAL_FAILURE(StartSourceIntoStuck(*ending));
    Stuck& stuck = *ending->Component<Stuck>("stuck");
    struct ReleasedOnEveryWayOut {
        Stuck* stuck;
        ~ReleasedOnEveryWayOut() {
            if (stuck != nullptr) stuck->released = true;
        }
    } releaser{&stuck};
    ASSERT_TRUE(KillStuck(*ending));
    ending->Stop();

    long took = -1;
    WithShutdownTimeout(ShortTimeout, [&] {
        took = EndOnAThread(ending, Deadline, [&] {
            // The end, still waiting, then destroys the component.
            stuck.released = true;
            releaser.stuck = nullptr;
        });
    });
    ASSERT_NE(took, -1) << "the graph's end waited for the Core";
    // One deadline for the stuck component's threads and the elements it holds of the
    // source's output.
    EXPECT_LT(took, ShortTimeout + Margin);
    EXPECT_TRUE(
        Has("Component stuck still runs its Core after the shutdown time-out: it is left behind "
            "undestroyed, with the packages loaded, until the host ends."));
    EXPECT_TRUE(kernel.Components().IsLeftBehind(&stuck));
    EXPECT_EQ(kernel.FindComponent("stuck"), nullptr) << "no name finds a component left behind";
    EXPECT_FALSE(stuck.returned.load());

    stuck.released = true;
    ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&stuck) == 0; }));
    EXPECT_NE(stuck.valueTaken.load(), -1);
    EXPECT_EQ(stuck.valueAfterRelease.load(), stuck.valueTaken.load());
    EXPECT_EQ(stuck.afterRelease.bytes, stuck.taken.bytes) << "the element changed under its holder";
    // Its death is told under no name: the one it had is given up, and may be another's.
    EXPECT_FALSE(Has("Component stuck is dead."));
}

// A component left behind gives up its names with it: the graph built again on the same
// kernel makes a component of the same name, while the old Core is still stuck or once it
// has returned, and the old one's death and destruction take none of the new one's names.
TEST_F(GraphTest, AComponentLeftBehindGivesUpItsName) {
    for (const bool returnedFirst : {false, true}) {
        SCOPED_TRACE(returnedFirst ? "after its Core returned" : "while its Core is stuck");
        auto first = std::make_unique<HostGraph>(kernel);
        ASSERT_NO_FATAL_FAILURE(StartSourceIntoStuck(*first));
        Stuck& old = *first->Component<Stuck>("stuck");
        struct ReleasedOnEveryWayOut {
            Stuck& stuck;
            ~ReleasedOnEveryWayOut() { stuck.released = true; }
        } releaser{old};
        ASSERT_TRUE(KillStuck(*first));
        long took = -1;
        WithShutdownTimeout(ShortTimeout,
                            [&] { took = EndOnAThread(first, Deadline, [&] { old.released = true; }); });
        ASSERT_NE(took, -1) << "the graph's end waited for the Core";
        ASSERT_TRUE(kernel.Components().IsLeftBehind(&old));
        EXPECT_EQ(kernel.FindSymbol("stuck"), nullptr);
        EXPECT_EQ(kernel.FindSymbol("stuck.in.readerType"), nullptr);
        EXPECT_EQ(kernel.FindSymbol("stuck.threaded"), nullptr);
        if (returnedFirst) {
            old.released = true;
            ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&old) == 0; }));
        }

        recorder.ClearReports();
        HostGraph again(kernel);
        ASSERT_NO_FATAL_FAILURE(StartSourceIntoStuck(again));
        Stuck& now = *again.Component<Stuck>("stuck");
        ASSERT_NE(&now, &old);
        struct ReleasedToo {
            Stuck& stuck;
            ~ReleasedToo() { stuck.released = true; }
        } nowReleaser{now};
        // The old Core returns while the new one runs: its death tells nothing under the
        // name it gave up, and removing an element of its own takes nothing from the new one.
        auto noticesOfStuck = [&] {
            const std::vector<HostModuleStateNotice> notices = recorder.ModuleStateNotices();
            return std::count_if(notices.begin(), notices.end(), [](const HostModuleStateNotice& notice) {
                return notice.module == "stuck";
            });
        };
        const auto noticesBefore = noticesOfStuck();
        old.released = true;
        ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&old) == 0; }));
        EXPECT_EQ(noticesOfStuck(), noticesBefore)
            << "the old component told a state under the new one's name";
        EXPECT_NE(kernel.ModuleStates()["stuck"] & TARNModule::Running, 0u);
        std::vector<std::string> removals;
        kernel.SetRemovalNoticeHook([&](const char* name) { removals.push_back(name); });
        old.RemoveInput(&old.Input("in"));
        kernel.SetRemovalNoticeHook(nullptr);
        EXPECT_EQ(removals, std::vector<std::string>{}) << "the old component removed the new one's input";
        now.released = true;
        EXPECT_EQ(kernel.FindComponent("stuck"), &now);
        EXPECT_NE(kernel.FindSymbol("stuck"), nullptr);
        EXPECT_NE(kernel.FindSymbol("stuck.in.readerType"), nullptr);
        EXPECT_NE(kernel.FindProperty("stuck.threaded"), nullptr);
        EXPECT_TRUE(ReportsAt(2).empty()) << ReportsAt(2).front().message;
    }
}

// A component whose destructor reads its own property by name: the kernel's destroy path
// has unregistered its names (and waited out the readers by name that found them) before
// any destructor runs, so neither it nor any other reader reaches the author's Get of a
// component being destroyed.
class SelfReading : public TARNComponent {
  public:
    SelfReading(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    ~SelfReading() override {
        destroying = true;
        bool found = false;
        TARN::GetIntegerProperty((std::string(Name()) + ".gain").c_str(), &found);
        foundWhileDestroyed = found;
        pinsWhileDestroyed = byNameReaders.Count();
    }
    void Get(TARNProperty& property, long& value) override {
        if (destroying) ++getsWhileDestroyed;
        TARNComponent::Get(property, value);
    }
    void Core() override { Wait4Event(never, -1); }

    static TARNComponentDefinition& Model() {
        static TARNPropertyDefinition properties[] = {{"gain", new TARNPropertyValue(3L)}, {}};
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "test_self_reading";
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new SelfReading(name, d);
            };
            definition.nbProperties = TARNComponentDefinition::NotCounted;
            definition.properties = properties;
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }

    static inline std::atomic<bool> foundWhileDestroyed{true};
    static inline std::atomic<int> getsWhileDestroyed{0};
    static inline std::atomic<int> pinsWhileDestroyed{-1};

  private:
    bool destroying = false;
    TARNEvent never;
};

TEST_F(GraphTest, NoReaderByNameReachesAComponentWhoseDestructorRuns) {
    ASSERT_TRUE(graph.AddModel(SelfReading::Model()));
    ASSERT_TRUE(graph.Create("test_self_reading", "self"));
    bool found = false;
    EXPECT_EQ(kernel.GetIntegerProperty("self.gain", &found), 3);
    ASSERT_TRUE(found);
    ASSERT_TRUE(graph.Destroy("self"));
    EXPECT_FALSE(SelfReading::foundWhileDestroyed.load()) << "its property was still registered";
    EXPECT_EQ(SelfReading::getsWhileDestroyed.load(), 0);
    EXPECT_EQ(SelfReading::pinsWhileDestroyed.load(), 0);
    EXPECT_EQ(kernel.FindSymbol("self"), nullptr);
}

// ---- Creating, renaming and connecting by name --------------------------------------------

TEST_F(GraphTest, CreationRefusesUnknownModelsAndTakenNames) {
    EXPECT_FALSE(graph.Create("no_such_model", "x"));
    EXPECT_TRUE(Has("There is no component model no_such_model."));
    ASSERT_TRUE(graph.Create(SinkModel, "sink"));
    EXPECT_FALSE(graph.Create(SourceModel, "sink"));
    EXPECT_TRUE(Has("Can't create component sink. The name is already used."));
    EXPECT_EQ(kernel.FindComponent("sink"), graph.Component("sink"));
    ASSERT_TRUE(graph.Destroy("sink"));
    EXPECT_EQ(kernel.FindComponent("sink"), nullptr);
    EXPECT_EQ(kernel.FindSymbol("sink.threaded"), nullptr);
}

// An input reads one output: Connect on an input connected already is refused with an
// error that says so, and the input goes on reading the output it had.
TEST_F(GraphTest, ConnectRefusesAnInputConnectedAlready) {
    ASSERT_TRUE(graph.Create(SourceModel, "one"));
    ASSERT_TRUE(graph.Create(SourceModel, "two"));
    ASSERT_TRUE(graph.Create(SinkModel, "sink"));
    ASSERT_TRUE(graph.Connect("one.out", "sink.in"));
    recorder.ClearReports();
    EXPECT_FALSE(graph.Connect("two.out", "sink.in"));
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Can't connect two.out (Integer32 vector) to sink.in (any "
                                                      "type): the input is connected already."});
    EXPECT_EQ(graph.Component("sink")->Input("in").ConnectedOutput(), &graph.Component("one")->Output("out"));
}

// Texts name whole values in range: one a property cannot hold is refused and the value
// stays, never replaced by the nearest one.
TEST_F(GraphTest, SettingByTextTakesOnlyValuesThePropertyCanHold) {
    ASSERT_TRUE(graph.Create(SourceModel, "source"));
    TARNModule gauge("gauge", false, false);
    gauge.NewProperty(TARNPropertyDefinition("gain", new TARNPropertyValue(1.5), nullptr, false, true), nullptr);
    struct Case {
        const char* property;
        const char* text;
        bool taken;
    } cases[] = {
        {"source.count", "0x10", true},
        {"source.count", "-7", true},
        {"source.count", "99999999999999999999", false},
        {"source.count", "12abc", false},
        {"source.count", "", false},
        {"gauge.gain", "1e-400", true},
        {"gauge.gain", "2.25", true},
        {"gauge.gain", "1e999", false},
        {"gauge.gain", "-1e999", false},
        {"gauge.gain", "inf", false},
        {"gauge.gain", "nan", false},
        {"gauge.gain", "2,5", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.property) + "=" + c.text);
        TARNProperty& property = *kernel.FindProperty(c.property);
        const bool integer = property.Type() == TARNPropertyValue::Integer;
        const long integerBefore = integer ? property.IntegerValue() : 0;
        const double floatBefore = integer ? 0 : property.FloatValue();
        EXPECT_EQ(graph.Set(c.property, c.text), c.taken);
        if (c.taken) continue;
        if (integer)
            EXPECT_EQ(property.IntegerValue(), integerBefore) << "the value stays";
        else
            EXPECT_EQ(property.FloatValue(), floatBefore) << "the value stays";
    }
    EXPECT_EQ(kernel.FindProperty("gauge.gain")->FloatValue(), 2.25);
}

// The graph follows the kernel's names: a component renamed at rest is found, started and
// stopped under its new name, with its elements and connections.
TEST_F(GraphTest, RenameMovesTheComponentAndItsElementNames) {
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Set("source.count", "3"));
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    Sink& sink = TheSink();
    ASSERT_TRUE(kernel.RenameComponent("sink", "drain"));
    EXPECT_EQ(kernel.FindComponent("drain"), &sink);
    EXPECT_EQ(kernel.FindComponent("sink"), nullptr);
    EXPECT_EQ(graph.Component("drain"), &sink);
    EXPECT_EQ(graph.Component("sink"), nullptr);
    EXPECT_NE(kernel.FindProperty("drain.holdAt"), nullptr);
    EXPECT_EQ(kernel.FindProperty("sink.holdAt"), nullptr);
    EXPECT_EQ(std::string(sink.Input("in").Name().c_str()), "drain.in");

    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(Await([&] { return sink.lastValue.load() == 2; }));
    graph.Stop();
    EXPECT_EQ(sink.State(), TARNModule::MainLoopEnded);
    EXPECT_EQ(sink.deaths.load(), 1);
    ASSERT_TRUE(graph.Destroy("drain"));
    EXPECT_EQ(kernel.FindComponent("drain"), nullptr);
}

// Only a component at rest is renamed, and only to a name free for it and its elements;
// each refusal says why and changes nothing.
TEST_F(GraphTest, RenameRefusesARunningComponentAndTakenNames) {
    MakeSourceAndSink(true);
    ASSERT_TRUE(graph.Connect("source.out", "sink.in"));
    TARNModule gauge("gauge", false, false);
    gauge.NewProperty(TARNPropertyDefinition("gain", new TARNPropertyValue(1.5), nullptr, false, true), nullptr);
    const struct {
        const char* newName;
        const char* report;
    } cases[] = {
        {"source", "Can't rename component sink to source. The name is already used."},
        {"gauge", "Can't rename component sink to gauge. The name is already used."},
        {"", "Can't rename component sink to . A component needs a name."},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(kernel.RenameComponent("sink", c.newName));
        EXPECT_TRUE(Has(c.report)) << c.report;
    }
    EXPECT_FALSE(kernel.RenameComponent("nothing", "drain"));
    EXPECT_TRUE(Has("There is no component nothing."));

    ASSERT_TRUE(graph.Start());
    EXPECT_FALSE(kernel.RenameComponent("sink", "drain"));
    EXPECT_TRUE(Has("Can't rename component sink to drain. It is running: stop it first."));
    graph.Stop();
    EXPECT_STREQ(TheSink().Name(), "sink");
    EXPECT_EQ(kernel.FindComponent("sink"), graph.Component("sink"));
    EXPECT_NE(kernel.FindProperty("sink.holdAt"), nullptr);
    EXPECT_NE(kernel.FindProperty("gauge.gain"), nullptr);
}

TEST_F(GraphTest, PathsConnectAndTheVariantMovesAConnection) {
    ASSERT_TRUE(graph.Create(SourceModel, "one"));
    ASSERT_TRUE(graph.Create(SourceModel, "two"));
    ASSERT_TRUE(graph.Create(SinkModel, "sink"));
    EXPECT_FALSE(kernel.AttachPaths("one", "sink.in"));
    EXPECT_FALSE(kernel.AttachPaths("one.nothing", "sink.in"));
    ASSERT_TRUE(kernel.AttachPaths("one.out", "sink.in"));
    EXPECT_FALSE(kernel.AttachPaths("two.out", "sink.in"));
    ASSERT_TRUE(kernel.AttachPathsVariant("two.out", "sink.in"));
    EXPECT_EQ(graph.Component("sink")->Input("in").ConnectedOutput(), &graph.Component("two")->Output("out"));
}

// ---- Moves in a row ------------------------------------------------------------------------

// A way of asking the kernel to move "sink.in" to `output`, as a graph's control does.
struct MoveWay {
    const char* name;
    bool (*move)(HostKernel& kernel, const char* output);
};

const MoveWay MoveWays[] = {
    {"AttachPathsVariant",
     [](HostKernel& kernel, const char* output) { return kernel.AttachPathsVariant(output, "sink.in"); }},
    {"Attach2", [](HostKernel&, const char* output) { return TARN::Attach2(output, "sink.in"); }},
    {"DetachThenAttach",
     [](HostKernel& kernel, const char* output) {
         TARNInput& input = kernel.FindComponent("sink")->Input("in");
         TARNOutput* connected = input.ConnectedOutput();
         return connected != nullptr && TARN::Detach(*connected, input) && TARN::Attach(output, "sink.in");
     }},
};

// Runs `moves` on a thread of its own and answers whether they returned by the deadline.
// A move whose detach waits for an acknowledgement the reader never gives would hang the
// test and the graph's end after it: past the deadline `giveUp` is set, and the rebuild in
// progress is acknowledged by hand, as its reader would, until the moves return. Should even
// that not end them, the process ends here, its failure told: a thread stuck for good must
// not hang the suite.
bool MovesReturn(TARNInputImplementation& input,
                 const std::function<void(const std::atomic<bool>& giveUp)>& moves) {
    std::atomic<bool> over{false};
    std::atomic<bool> giveUp{false};
    std::thread mover([&] {
        moves(giveUp);
        over = true;
    });
    const auto deadline = std::chrono::milliseconds(Deadline / 1000);
    const bool returned = AwaitCondition([&] { return over.load(); }, deadline);
    if (!returned) {
        giveUp = true;
        const bool rescued = AwaitCondition(
            [&] {
                input.rebuildsAcknowledged.store(input.rebuildsBegun.load());
                input.rebuildAcknowledgedEvent.Set();
                return over.load();
            },
            deadline);
        if (!rescued) {
            std::fprintf(stderr,
                         "A move of %s never returned, not even acknowledged by hand: ending the test.\n",
                         input.Name().c_str());
            std::fflush(nullptr);
            std::_Exit(EXIT_FAILURE);
        }
    }
    mover.join();
    return returned;
}

// Publishes `value` on the output from the test's thread, timestamped as the source would.
void Publish(TARNComponent& source, int value) {
    TARNIOElt* element = source.StartWriting(source.Output("out"), (value + 1) * 1000L);
    ASSERT_NE(element, nullptr);
    element->Integer32(0)[0] = value;
    source.StopWriting(element);
}

// A reader that keeps the last two elements of its input with NLastStartReading: it holds
// its window between calls and while a call waits for the next element.
class WindowSink : public TARNComponent {
  public:
    WindowSink(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    void Core() override {
        TARNIOElt* elements[2] = {nullptr, nullptr};
        if (NLastStartReading(Input("in"), 2, elements) == 0) return;
        std::lock_guard lock(m_lock);
        m_last = {elements[0]->Integer32(0)[0], elements[1]->Integer32(0)[0]};
        ++windows;
    }
    std::vector<int> LastWindow() const {
        std::lock_guard lock(m_lock);
        return m_last;
    }

    static TARNComponentDefinition& Model() {
        static TARNInputDefinition inputs[] = {{"in", nullptr, nullptr, 1, 1}, {}};
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "test_window_sink";
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new WindowSink(name, d);
            };
            definition.nbInputs = TARNComponentDefinition::NotCounted;
            definition.inputs = inputs;
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }

    std::atomic<long> windows{0};

  private:
    mutable std::mutex m_lock;
    std::vector<int> m_last;
};

// Where the reader is while its input moves.
enum class ReaderDuring {
    Waiting,                // in StartReading, holding nothing
    Holding,                // in its Core, holding the element StartReading gave it
    WaitingHoldingAWindow,  // in NLastStartReading, holding its window of two
};

struct MovesInARowCase {
    MoveWay way;
    ReaderDuring reader;
};

const char* ReaderDuringName(ReaderDuring reader) {
    switch (reader) {
        case ReaderDuring::Waiting:
            return "Waiting";
        case ReaderDuring::Holding:
            return "Holding";
        case ReaderDuring::WaitingHoldingAWindow:
            return "WaitingHoldingAWindow";
    }
    return "";
}

void PrintTo(const MovesInARowCase& c, std::ostream* out) {
    *out << c.way.name << ", " << ReaderDuringName(c.reader);
}

std::vector<MovesInARowCase> MovesInARowCases() {
    std::vector<MovesInARowCase> cases;
    for (const MoveWay& way : MoveWays)
        for (const ReaderDuring reader :
             {ReaderDuring::Waiting, ReaderDuring::Holding, ReaderDuring::WaitingHoldingAWindow})
            cases.push_back({way, reader});
    return cases;
}

// The graph of the moves: sources and a threaded sink, found by name.
class MovesTest : public GraphTest {
  protected:
    void MakeSinkReading(const char* output, const char* model = SinkModel) {
        ASSERT_TRUE(graph.Create(model, "sink"));
        ASSERT_TRUE(graph.Set("sink.threaded", "true"));
        ASSERT_TRUE(graph.Connect(output, "sink.in"));
    }
    TARNInputImplementation& SinkInput() {
        return static_cast<TARNInputImplementation&>(graph.Component("sink")->Input("in"));
    }
    TARNComponent& SourceNamed(const char* name) { return *graph.Component(name); }
};

class MovesInARow : public MovesTest, public ::testing::WithParamInterface<MovesInARowCase> {};

// Two moves of the reader's input, the second at once after the first, each end: the
// reader acknowledges every rebuild, however close the next one follows, and waits for the
// end of the one it acknowledged, not for a flag the next has set again. Back on "a.out",
// it reads what "a" publishes after the moves. The sources' Cores write nothing: the test
// publishes.
TEST_P(MovesInARow, BothMovesEndAndTheReaderReadsOn) {
    const MovesInARowCase& c = GetParam();
    const bool window = c.reader == ReaderDuring::WaitingHoldingAWindow;
    for (const char* source : {"a", "b"}) {
        ASSERT_TRUE(graph.Create(SourceModel, source));
        ASSERT_TRUE(graph.Set(std::string(source) + ".count", "0"));
    }
    if (window) {
        ASSERT_TRUE(graph.AddModel(WindowSink::Model()));
    }
    ASSERT_NO_FATAL_FAILURE(MakeSinkReading("a.out", window ? "test_window_sink" : SinkModel));
    if (c.reader == ReaderDuring::Holding) {
        ASSERT_TRUE(graph.Set("sink.holdAt", "0"));
    }
    ASSERT_TRUE(graph.Start());
    TARNInputImplementation& input = SinkInput();
    auto* windowSink = window ? graph.Component<WindowSink>("sink") : nullptr;
    switch (c.reader) {
        case ReaderDuring::Waiting:
            ASSERT_TRUE(Await([&] { return input.reading.load(); }))
                << "the sink never waited in StartReading";
            break;
        case ReaderDuring::Holding:
            ASSERT_NO_FATAL_FAILURE(Publish(SourceNamed("a"), 0));
            ASSERT_TRUE(Await([&] { return TheSink().holding.load(); })) << "the sink never held its element";
            break;
        case ReaderDuring::WaitingHoldingAWindow:
            ASSERT_NO_FATAL_FAILURE(Publish(SourceNamed("a"), 10));
            ASSERT_NO_FATAL_FAILURE(Publish(SourceNamed("a"), 11));
            ASSERT_TRUE(Await([&] { return windowSink->windows.load() == 1 && input.reading.load(); }))
                << "the sink never waited holding its window";
            break;
    }

    bool first = false;
    bool second = false;
    const bool returned = MovesReturn(input, [&](const std::atomic<bool>& giveUp) {
        first = c.way.move(kernel, "b.out");
        if (!giveUp.load()) second = c.way.move(kernel, "a.out");
    });
    ASSERT_TRUE(returned) << "the second move never returned: its detach waits for an acknowledgement the "
                             "reader, still waiting out the first, never gives";
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(input.ConnectedOutput(), &SourceNamed("a").Output("out"));
    EXPECT_FALSE(input.beingRebuilt.load());

    if (c.reader == ReaderDuring::Holding) TheSink().release.Set();
    for (int value = 1; value <= 3; ++value) ASSERT_NO_FATAL_FAILURE(Publish(SourceNamed("a"), value));
    if (window) {
        ASSERT_TRUE(Await([&] {
            return windowSink->LastWindow() == std::vector<int>{2, 3};
        })) << "the sink's window after the moves is not the last two published";
        return;
    }
    ASSERT_TRUE(Await([&] { return TheSink().lastValue.load() == 3; }))
        << "the sink read nothing after the moves; last value " << TheSink().lastValue.load();
    std::vector<int> values;
    for (const Received& taken : TheSink().Taken()) values.push_back(taken.value);
    if (c.reader == ReaderDuring::Holding) {
        // A reader connected anew takes what the ring still holds: the held element may come
        // once more before what was published after the moves.
        ASSERT_GE(values.size(), 4u);
        EXPECT_EQ(values.front(), 0);
        EXPECT_EQ(std::vector<int>(values.end() - 3, values.end()), (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(TheSink().valueAfterHold.load(), 0) << "the element held through the moves changed";
    } else {
        EXPECT_EQ(values, (std::vector<int>{1, 2, 3}));
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, MovesInARow, ::testing::ValuesIn(MovesInARowCases()), [](const auto& info) {
    return std::string(info.param.way.name) + ReaderDuringName(info.param.reader);
});

void PrintTo(const MoveWay& way, std::ostream* out) {
    *out << way.name;
}

class MovesUnderFlow : public MovesTest, public ::testing::WithParamInterface<MoveWay> {};

// A hundred moves back and forth between two sources that publish without pause, the next
// asked for as soon as the last returns: each returns, wherever in its reading calls the
// reader is when they come, and the elements still arrive at the sink afterwards.
TEST_P(MovesUnderFlow, AHundredAlternatingMovesEachReturnAndTheElementsArriveAfter) {
    constexpr int Moves = 100;
    const MoveWay& way = GetParam();
    for (const char* source : {"a", "b"}) {
        ASSERT_TRUE(graph.Create(SourceModel, source));
        ASSERT_TRUE(graph.Set(std::string(source) + ".count", "2000000000"));
    }
    ASSERT_NO_FATAL_FAILURE(MakeSinkReading("a.out"));
    ASSERT_TRUE(graph.Set("sink.record", "false"));
    ASSERT_TRUE(graph.Start());
    TARNInputImplementation& input = SinkInput();
    ASSERT_TRUE(Await([&] { return TheSink().count.load() > 0; })) << "nothing arrived before the moves";

    std::atomic<int> moved{0};
    std::atomic<int> refused{0};
    const bool returned = MovesReturn(input, [&](const std::atomic<bool>& giveUp) {
        for (int i = 0; i < Moves && !giveUp.load(); ++i) {
            if (way.move(kernel, i % 2 == 0 ? "b.out" : "a.out"))
                ++moved;
            else
                ++refused;
        }
    });
    ASSERT_TRUE(returned) << "after " << moved.load() << " of " << Moves
                          << " moves, one never returned: its detach waits for an acknowledgement the reader "
                             "never gives";
    EXPECT_EQ(moved.load(), Moves);
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(input.ConnectedOutput(), &SourceNamed("a").Output("out"));

    const long arrived = TheSink().count.load();
    EXPECT_TRUE(Await([&] { return TheSink().count.load() >= arrived + 100; }))
        << "the elements stopped arriving after the moves: " << TheSink().count.load() - arrived << " more";
    EXPECT_TRUE(ReportsAt(2).empty()) << ReportsAt(2).front().message;
}

INSTANTIATE_TEST_SUITE_P(Ways, MovesUnderFlow, ::testing::ValuesIn(MoveWays),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
