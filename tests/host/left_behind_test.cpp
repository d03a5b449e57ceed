// Components whose Cores never return, left behind by the end of their graph and then by the
// end of their kernel: each end waits one time-out for all of them, and a Core that returns
// after its kernel has ended touches nothing of it, whether another kernel is made after it
// or none is left. The tests make and end their kernel themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host_engine_module.hpp"
#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "support/await_condition.hpp"
#include "support/end_on_a_thread.hpp"
#include "support/test_components.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

using namespace test_components;

constexpr long Deadline = 20'000'000;  // microseconds a test waits before it gives up
// "Engine.shutdownTimeout" for the kills, each of which waits it out for its stuck Core.
constexpr long KillTimeout = 50'000;
const char* const Readers[] = {"stuck1", "stuck2", "stuck3"};

// The deadline of a test's waits for what other threads bring about.
constexpr std::chrono::milliseconds WaitDeadline{Deadline / 1000};

// Starts a graph of a source into the three readers, and waits until each has taken an
// element and is stuck in its Core; `stuck` gets the readers as they are made.
void StartStuckReaders(HostGraph& graph, std::vector<Stuck*>& stuck) {
    ASSERT_GE(graph.AddProgramModels(), 6);
    ASSERT_TRUE(graph.Create(SourceModel, "source"));
    for (const std::string name : Readers) {
        ASSERT_TRUE(graph.Create(StuckModel, name));
        ASSERT_TRUE(graph.Connect("source.out", name + ".in"));
        stuck.push_back(graph.Component<Stuck>(name));
    }
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(AwaitCondition(
        [&] {
            return std::all_of(stuck.begin(), stuck.end(), [](Stuck* each) { return each->stuck.load(); });
        },
        WaitDeadline))
        << "a reader never took its element";
}

// A kernel of the test's own, with a source into three readers whose Cores each take an
// element and never return on their own, all three killed and cut off, the graph stopped.
// On every way out of a test the Cores are let go, the graph and the kernel ended, and every
// thread the kernel ran has ended before the test does: a thread still running when the
// process ends would read what its end frees.
class LeftBehindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gate = kernel->ThreadGate();
        kernel->EchoReports(&reports, &reports);
        ASSERT_NO_FATAL_FAILURE(StartStuckReaders(*graph, stuck));
        SetShutdownTimeout(KillTimeout);
        for (const char* name : Readers) ASSERT_TRUE(graph->Kill(name)) << name;
        graph->Stop();
    }
    void TearDown() override {
        Release();
        graph.reset();
        kernel.reset();
        EXPECT_TRUE(AwaitCondition([&] { return gate.expired(); }, WaitDeadline))
            << "a thread left behind never ended: " << gate.use_count() << " still run";
    }

    void SetShutdownTimeout(long microseconds) {
        HostEngineModule& engine = kernel->EngineModule();
        engine.DirectSet(engine.Property("shutdownTimeout"), microseconds);
    }
    // Once only: a component whose Core was let go may be destroyed by the end that waited
    // for it.
    void Release() {
        if (std::exchange(releasedAll, true)) return;
        for (Stuck* each : stuck) each->released = true;
    }
    // How many of the reports the kernel printed are `text`.
    long Printed(const std::string& text) const {
        std::istringstream lines(reports.str());
        long count = 0;
        for (std::string line; std::getline(lines, line);) count += line == text;
        return count;
    }

    // Outlives the kernel, which prints on it to its very end.
    std::ostringstream reports;
    std::unique_ptr<HostKernel> kernel = std::make_unique<HostKernel>();
    std::unique_ptr<HostGraph> graph = std::make_unique<HostGraph>(*kernel);
    // Held by the kernel and by each of its threads (HostKernel::ThreadGate).
    std::weak_ptr<const HostThreadGate> gate;
    // Never destroyed while their Cores run: a component left behind outlives its kernel.
    std::vector<Stuck*> stuck;
    bool releasedAll = false;
};

// The graph's end and then the kernel's each give the three stuck Cores one shutdown
// time-out together, not one after the other: each end takes at least the time-out and
// less than twice it (one after the other, the graph's end would take four, the Cores' and
// then the source's wait for the elements they hold, and the kernel's three).
TEST_F(LeftBehindTest, EachEndWaitsOneTimeOutForAllItsStuckComponents) {
    constexpr long Timeout = 500'000;
    SetShutdownTimeout(Timeout);
    const long graphEnd = EndOnAThread(graph, Deadline, [&] { Release(); });
    ASSERT_NE(graphEnd, -1) << "the graph's end waited for the Cores";
    RecordProperty("graphEndMicroseconds", std::to_string(graphEnd));
    EXPECT_GE(graphEnd, Timeout);
    EXPECT_LT(graphEnd, 2 * Timeout) << "the graph's end took " << graphEnd << " us";
    for (Stuck* each : stuck) EXPECT_TRUE(kernel->Components().IsLeftBehind(each)) << each->Name();

    const long kernelEnd = EndOnAThread(kernel, Deadline, [&] { Release(); });
    ASSERT_NE(kernelEnd, -1) << "the kernel's end waited for the Cores";
    RecordProperty("kernelEndMicroseconds", std::to_string(kernelEnd));
    EXPECT_GE(kernelEnd, Timeout);
    EXPECT_LT(kernelEnd, 2 * Timeout) << "the kernel's end took " << kernelEnd << " us";
    for (const std::string name : Readers)
        EXPECT_EQ(Printed("error: Component " + name +
                          " still runs its Core as the host ends: it is never destroyed, and the packages "
                          "never unloaded."),
                  1)
            << reports.str();
}

// Left behind by the kernel's end, the Cores return after it, the first with no kernel
// left, the other two once a later kernel is made. Their threads must touch nothing of the
// kernel, which is gone: neither its tables (a later kernel may lie where it lay) nor the
// kernel the SDK reaches now, which their deaths would report to and take names from. The
// components are never destroyed: each still holds the element it read, whole. Each thread
// holds the gate it came back through until its very end: the test waits for that.
TEST_F(LeftBehindTest, ACoreThatReturnsAfterItsKernelsEndTouchesNothingOfIt) {
    SetShutdownTimeout(KillTimeout);
    ASSERT_NE(EndOnAThread(graph, Deadline, [&] { Release(); }), -1)
        << "the graph's end waited for the Cores";
    ASSERT_NE(EndOnAThread(kernel, Deadline, [&] { Release(); }), -1)
        << "the kernel's end waited for the Cores";
    ASSERT_EQ(gate.use_count(), 3) << "the threads left behind hold the gate";

    const struct {
        const char* name;
        bool laterKernel;
        std::vector<Stuck*> released;
    } stages[] = {
        {"with no kernel left", false, {stuck[0]}},
        {"with a later kernel", true, {stuck[1], stuck[2]}},
    };
    long running = 3;
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.name);
        std::unique_ptr<HostKernel> later;
        std::unique_ptr<HostRecorder> recorder;
        if (stage.laterKernel) {
            later = std::make_unique<HostKernel>();
            recorder = std::make_unique<HostRecorder>(*later);
        }
        for (Stuck* each : stage.released) each->released = true;
        running -= static_cast<long>(stage.released.size());
        ASSERT_TRUE(AwaitCondition([&] { return gate.use_count() == running; }, WaitDeadline))
            << "a thread left behind never ended: " << gate.use_count() << " still run";
        for (Stuck* each : stage.released) {
            EXPECT_TRUE(each->returned.load());
            EXPECT_NE(each->valueTaken.load(), -1);
            EXPECT_EQ(each->valueAfterRelease.load(), each->valueTaken.load());
            EXPECT_EQ(each->afterRelease.bytes, each->taken.bytes) << "the element changed under its holder";
        }
        if (recorder) {
            EXPECT_EQ(recorder->Reports(), std::vector<HostReport>{});
            EXPECT_EQ(recorder->ModuleStateNotices(), std::vector<HostModuleStateNotice>{});
        }
    }
    EXPECT_TRUE(gate.expired());
}

// A component whose Core and whose helper thread, made in Birth, each wait for a flag of
// the test's own, not for the die event. The flags outlive it: the kernel's end destroys it.
class Helped : public TARNComponent {
  public:
    Helped(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    ~Helped() override { destroyed = true; }
    void Birth() override { CreateThread(static_cast<void (TARNModule::*)()>(&Helped::Helper)); }
    void Core() override {
        stuck = true;
        while (!coreReleased.load()) TARN::Sleep(1'000);
    }
    void Helper() {
        helping = true;
        while (!helperReleased.load()) TARN::Sleep(1'000);
    }

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "test_helped";
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new Helped(name, d);
            };
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }

    // The flags outlive every instance: a test starts from them cleared, so that it can run
    // again in the same process.
    static void Reset() {
        stuck = false;
        helping = false;
        coreReleased = false;
        helperReleased = false;
        destroyed = false;
    }

    static inline std::atomic<bool> stuck{false};
    static inline std::atomic<bool> helping{false};
    static inline std::atomic<bool> coreReleased{false};
    static inline std::atomic<bool> helperReleased{false};
    static inline std::atomic<bool> destroyed{false};
};

// A component left behind whose Core returns while the kernel ends: its main thread comes
// back and its death waits for the helper, still stuck at the kernel's deadline. The gate is
// shut on the component then; the helper, let go once it is, still comes back in (the
// component's death waits for it inside), so that the death ends rather than waiting out a
// time-out of its own, and the component, all its threads ended, is destroyed by the end,
// not reported as still running.
TEST(LeftBehindEndTest, AHelperBackWhileItsComponentsDeathRunsStillComesIn) {
    constexpr long Timeout = 400'000;
    Helped::Reset();
    std::ostringstream reports;
    auto kernel = std::make_unique<HostKernel>();
    const std::weak_ptr<const HostThreadGate> gate = kernel->ThreadGate();
    auto graph = std::make_unique<HostGraph>(*kernel);
    struct ReleasedOnEveryWayOut {
        ~ReleasedOnEveryWayOut() {
            Helped::coreReleased = true;
            Helped::helperReleased = true;
        }
    } releaser;
    kernel->EchoReports(&reports, &reports);
    auto setTimeout = [&](long microseconds) {
        HostEngineModule& engine = kernel->EngineModule();
        engine.DirectSet(engine.Property("shutdownTimeout"), microseconds);
    };
    ASSERT_TRUE(graph->AddModel(Helped::Model()));
    ASSERT_TRUE(graph->Create("test_helped", "helped"));
    auto* helped = graph->Component<Helped>("helped");
    ASSERT_TRUE(graph->Start());
    ASSERT_TRUE(AwaitCondition([] { return Helped::stuck.load() && Helped::helping.load(); }, WaitDeadline));
    setTimeout(KillTimeout);
    ASSERT_TRUE(graph->Kill("helped"));
    ASSERT_NE(EndOnAThread(graph, Deadline, [] { Helped::coreReleased = Helped::helperReleased = true; }),
              -1);
    ASSERT_TRUE(kernel->Components().IsLeftBehind(helped));

    // The Core returns half-way to the kernel's deadline, so that its death's own wait for
    // the helper would outlast that deadline; the helper is let go once the gate is shut.
    setTimeout(Timeout);
    std::atomic<bool> shutSeen{false};
    const auto endBegins = std::chrono::steady_clock::now();
    std::thread letGo([&] {
        while (std::chrono::steady_clock::now() < endBegins + std::chrono::microseconds(Timeout / 2))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Helped::coreReleased = true;
        shutSeen = AwaitCondition(
            [&] {
                const std::shared_ptr<const HostThreadGate> held = gate.lock();
                return held == nullptr || held->IsAbandoned(helped);
            },
            WaitDeadline);
        Helped::helperReleased = true;
    });
    const long took = EndOnAThread(kernel, Deadline, [] { Helped::helperReleased = true; });
    letGo.join();
    ASSERT_NE(took, -1) << "the kernel's end waited for the helper";
    RecordProperty("kernelEndMicroseconds", std::to_string(took));
    EXPECT_TRUE(shutSeen.load()) << "the gate was never shut on the component";
    EXPECT_TRUE(Helped::destroyed.load()) << reports.str();
    EXPECT_EQ(reports.str().find("still runs its Core as the host ends"), std::string::npos) << reports.str();
    EXPECT_TRUE(AwaitCondition([&] { return gate.expired(); }, WaitDeadline))
        << "a thread of the component never ended";
}

// A healthy component that takes its time to end: told to die, its Core puts its work away
// for 30 ms before it lets the die pass, and its Death writes its last data for 30 ms more.
// Counted in flags of the class: its instances are destroyed.
class Winding : public TARNComponent {
  public:
    static constexpr long Windup = 30'000;  // microseconds
    static constexpr const char* ModelName = "test_winding";

    Winding(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    ~Winding() override { ++destroyed; }
    void Core() override {
        ++inCore;
        try {
            Wait4Event(never, -1);
        } catch (int) {
            TARN::Sleep(Windup);
            throw;
        }
    }
    void Death() override {
        TARN::Sleep(Windup);
        ++deaths;
    }

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = ModelName;
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new Winding(name, d);
            };
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }
    static void Reset() {
        inCore = 0;
        deaths = 0;
        destroyed = 0;
    }

    static inline std::atomic<int> inCore{0};
    static inline std::atomic<int> deaths{0};
    static inline std::atomic<int> destroyed{0};

  private:
    TARNEvent never;
};

// A component whose Core loops until `released`, calling nothing that dying would end. Left
// behind for good by the ends that meet it, it is never destroyed: its flags stay readable.
class Unyielding : public TARNComponent {
  public:
    static constexpr const char* ModelName = "test_unyielding";

    Unyielding(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    void Core() override {
        stuck = true;
        while (!released.load()) TARN::Sleep(1'000);
    }

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = ModelName;
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new Unyielding(name, d);
            };
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }

    std::atomic<bool> stuck{false};
    std::atomic<bool> released{false};
};

// The kernel's end tells every component to die before it waits for any, as a graph's end
// does: three healthy components made before one stuck in its Core each get the end's whole
// time-out to wind up and run their Deaths, and are destroyed, rather than being told only
// once the stuck one's wait is over and then left behind at the gate. Every round, since
// the healthy ones are slow enough to end that an end telling them late never meets them
// back inside; the stuck one alone is left behind.
TEST(LeftBehindEndTest, TheKernelsEndDestroysEveryHealthyComponentBesideAStuckOne) {
    constexpr long Timeout = 200'000;
    constexpr int Rounds = 10;
    const char* const healthy[] = {"a", "b", "c"};
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Winding::Reset();
        std::ostringstream reports;
        auto kernel = std::make_unique<HostKernel>();
        const std::weak_ptr<const HostThreadGate> gate = kernel->ThreadGate();
        kernel->EchoReports(&reports, &reports);
        HostEngineModule& engine = kernel->EngineModule();
        engine.DirectSet(engine.Property("shutdownTimeout"), Timeout);
        ASSERT_TRUE(kernel->AddModel(Winding::Model()));
        ASSERT_TRUE(kernel->AddModel(Unyielding::Model()));
        for (const char* name : healthy) ASSERT_TRUE(kernel->CreateComponent(Winding::ModelName, name, false));
        ASSERT_TRUE(kernel->CreateComponent(Unyielding::ModelName, "stuck", false));
        auto* stuck = static_cast<Unyielding*>(kernel->FindComponent("stuck"));
        struct ReleasedOnEveryWayOut {
            Unyielding* stuck;
            ~ReleasedOnEveryWayOut() { stuck->released = true; }
        } releaser{stuck};
        for (const char* name : healthy) ASSERT_TRUE(kernel->StartComponent(name)) << name;
        ASSERT_TRUE(kernel->StartComponent("stuck"));
        ASSERT_TRUE(AwaitCondition([&] { return Winding::inCore.load() == 3 && stuck->stuck.load(); },
                                   WaitDeadline))
            << "the components never reached their Cores";

        const long took = EndOnAThread(kernel, Deadline, [&] { stuck->released = true; });
        ASSERT_NE(took, -1) << "the kernel's end waited for the stuck Core";
        EXPECT_LT(took, 2 * Timeout) << "the kernel's end took " << took << " us";
        EXPECT_EQ(Winding::deaths.load(), 3) << reports.str();
        EXPECT_EQ(Winding::destroyed.load(), 3) << reports.str();
        for (const char* name : healthy)
            EXPECT_EQ(reports.str().find("Component " + std::string(name) + " still runs its Core"),
                      std::string::npos)
                << reports.str();
        EXPECT_NE(reports.str().find("Component stuck still runs its Core as the host ends"), std::string::npos)
            << reports.str();
        stuck->released = true;
        EXPECT_TRUE(AwaitCondition([&] { return gate.expired(); }, WaitDeadline))
            << "the stuck component's thread never ended";
    }
}

// A component whose Core, once stuck, waits for `coreReleased`, not for its death, then
// speaks ("the old Core speaks"), waits for a trigger of its own 1 ms ahead (`waited`: what
// the wait answered) and returns; a later Core waits for its death. Its Core calls nothing
// of the engine after `spoke` is set. Made as "test_voiced_helped",
// it also runs a helper thread, made in Birth, that waits for `helperReleased` and then
// makes the property "late". The tests read its flags while the kernel that left it behind
// still holds it, or once that kernel's end has left it for good.
class Voiced : public TARNComponent {
  public:
    static constexpr const char* ModelName = "test_voiced";
    static constexpr const char* HelpedModelName = "test_voiced_helped";

    Voiced(const char* name, TARNComponentDefinition& definition, bool withHelper)
        : TARNComponent(name, definition), withHelper(withHelper) {}
    void Birth() override {
        if (withHelper) CreateThread(static_cast<void (TARNModule::*)()>(&Voiced::Helper));
    }
    void Core() override {
        if (!spoke.load()) {
            stuck = true;
            while (!coreReleased.load()) TARN::Sleep(1'000);
            Report("the old Core speaks", 0, 0);
            TARNEvent soon;
            soon.SetTrigger(1'000);
            TARNEvent* events[] = {&soon};
            waited = TARNEvent::Wait(1, events, Deadline);
            soon.ResetTrigger();
            spoke = true;
            return;
        }
        Wait4Event(never, -1);
    }
    void Helper() {
        helping = true;
        while (!helperReleased.load()) TARN::Sleep(1'000);
        static TARNPropertyDefinition late{"late", new TARNPropertyValue(7L)};
        try {
            NewProperty(late, nullptr);
        } catch (int) {
            // Refused: the SDK ends a failed creation with its module error.
        }
        helperDone = true;
    }

    static TARNComponentDefinition& Model(bool withHelper) {
        static auto make = [](bool helped) {
            TARNComponentDefinition definition{};
            definition.name = helped ? HelpedModelName : ModelName;
            definition.version = "1.0";
            definition.factory = helped ? [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new Voiced(name, d, true);
            }
                                        : [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new Voiced(name, d, false);
            };
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        };
        static TARNComponentDefinition plain = make(false);
        static TARNComponentDefinition helped = make(true);
        return withHelper ? helped : plain;
    }

    std::atomic<bool> stuck{false};
    std::atomic<bool> helping{false};
    std::atomic<bool> coreReleased{false};
    std::atomic<bool> helperReleased{false};
    std::atomic<bool> spoke{false};
    std::atomic<int> waited{-1};
    std::atomic<bool> helperDone{false};

  private:
    const bool withHelper;
    TARNEvent never;
};

// A component that waits for its death and says nothing: the new "s".
class Quiet : public TARNComponent {
  public:
    static constexpr const char* ModelName = "test_quiet";

    Quiet(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    void Core() override {
        waiting = true;
        Wait4Event(never, -1);
    }

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = ModelName;
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new Quiet(name, d);
            };
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }

    // Set once its Core runs: its birth has been told.
    std::atomic<bool> waiting{false};

  private:
    TARNEvent never;
};

// What a recorder kept, one line each, for the messages of the tests that expect none.
std::vector<std::string> Lines(const std::vector<HostReport>& reports) {
    std::vector<std::string> lines;
    for (const HostReport& report : reports) lines.push_back(HostKernel::Format(report));
    return lines;
}
std::vector<std::string> Lines(const std::vector<HostModuleStateNotice>& notices) {
    std::vector<std::string> lines;
    for (const HostModuleStateNotice& notice : notices)
        lines.push_back(notice.module + " " + std::to_string(notice.state));
    return lines;
}

// An old "s" left behind by the end of its graph, on a kernel of the test's own whose
// recorder keeps what it receives; a new "s", quiet, may run in a graph of its own. On every
// way out the old one's threads are let go, the graphs and the kernel ended, and every
// thread the kernel ran has ended before the test does.
class LeftBehindVoiceTest : public ::testing::Test {
  protected:
    // "Engine.shutdownTimeout": the graph's end waits it out for the stuck Core, the old
    // component's death for its stuck helper.
    static constexpr long Timeout = 50'000;

    void SetUp() override {
        gate = kernel->ThreadGate();
        HostEngineModule& engine = kernel->EngineModule();
        engine.DirectSet(engine.Property("shutdownTimeout"), Timeout);
        ASSERT_TRUE(kernel->AddModel(Voiced::Model(false)));
        ASSERT_TRUE(kernel->AddModel(Voiced::Model(true)));
        ASSERT_TRUE(kernel->AddModel(Quiet::Model()));
    }
    void TearDown() override {
        Release();
        now.reset();
        recorder.reset();
        kernel.reset();
        EXPECT_TRUE(AwaitCondition([&] { return gate.expired(); }, WaitDeadline))
            << "a thread left behind never ended: " << gate.use_count() << " still run";
    }

    void Release() {
        if (old == nullptr) return;
        old->coreReleased = true;
        old->helperReleased = true;
    }
    // Runs "s" of `model` in a graph of its own until its Core (and helper) are stuck, then
    // ends the graph: the end leaves "s" behind.
    void LeaveBehind(const char* model, bool withHelper) {
        auto graph = std::make_unique<HostGraph>(*kernel);
        ASSERT_TRUE(graph->Create(model, "s"));
        old = graph->Component<Voiced>("s");
        ASSERT_TRUE(graph->Start());
        ASSERT_TRUE(AwaitCondition([&] { return old->stuck.load() && (!withHelper || old->helping.load()); },
                                   WaitDeadline))
            << "the old s never got stuck";
        ASSERT_NE(EndOnAThread(graph, Deadline, [&] { Release(); }), -1) << "the graph's end waited for s";
        ASSERT_TRUE(kernel->Components().IsLeftBehind(old));
    }
    // A new "s" running in a graph of its own, in its Core: what it tells of its start has
    // been told.
    void RunNewS() {
        now = std::make_unique<HostGraph>(*kernel);
        ASSERT_TRUE(now->Create(Quiet::ModelName, "s"));
        ASSERT_TRUE(now->Start());
        auto* quiet = now->Component<Quiet>("s");
        ASSERT_TRUE(AwaitCondition([&] { return quiet->waiting.load(); }, WaitDeadline))
            << "the new s never reached its Core";
    }
    bool AwaitThreadsOfOld(int running) {
        return AwaitCondition([&] { return kernel->Components().Threads(old) == running; }, WaitDeadline);
    }

    std::unique_ptr<HostKernel> kernel = std::make_unique<HostKernel>();
    std::unique_ptr<HostRecorder> recorder = std::make_unique<HostRecorder>(*kernel);
    std::weak_ptr<const HostThreadGate> gate;
    // Left behind, never destroyed while the test reads it: its kernel destroys it at its
    // end at the earliest.
    Voiced* old = nullptr;
    std::unique_ptr<HostGraph> now;
};

// Let go while the new s runs on the same kernel, the old s's Core speaks and its thread
// runs its death, which ends in "Component s is dead.": both would stand for the new s. The
// kernel takes neither, nor any state notice of the old one.
TEST_F(LeftBehindVoiceTest, OnItsOwnKernelItReportsNothingUnderTheNameItGaveUp) {
    ASSERT_NO_FATAL_FAILURE(LeaveBehind(Voiced::ModelName, false));
    ASSERT_NO_FATAL_FAILURE(RunNewS());
    recorder->ClearReports();
    const std::vector<std::string> notices = Lines(recorder->ModuleStateNotices());
    old->coreReleased = true;
    ASSERT_TRUE(AwaitThreadsOfOld(0)) << "the old s's thread never ended";
    EXPECT_TRUE(old->spoke.load());
    EXPECT_EQ(Lines(recorder->Reports()), std::vector<std::string>{});
    EXPECT_EQ(Lines(recorder->ModuleStateNotices()), notices);
    EXPECT_NE(kernel->ModuleStates()["s"] & TARNModule::Running, 0u);
}

// Left behind by its kernel's end too, the old s is let go once a later kernel is made, which
// the SDK reaches now: the later kernel takes nothing from its thread, neither the Core's
// report nor the trigger it waits on, which fires all the same.
TEST_F(LeftBehindVoiceTest, AfterItsKernelsEndItReachesNoLaterKernel) {
    ASSERT_NO_FATAL_FAILURE(LeaveBehind(Voiced::ModelName, false));
    recorder.reset();
    ASSERT_NE(EndOnAThread(kernel, Deadline, [&] { Release(); }), -1) << "the kernel's end waited for s";

    HostKernel later;
    HostRecorder laterRecorder(later);
    old->coreReleased = true;
    // The thread calls nothing of the engine once it has spoken.
    ASSERT_TRUE(AwaitCondition([&] { return old->spoke.load(); }, WaitDeadline)) << "the old s never spoke";
    EXPECT_EQ(old->waited.load(), 0) << "its trigger never fired";
    EXPECT_EQ(Lines(laterRecorder.Reports()), std::vector<std::string>{});
    EXPECT_EQ(Lines(laterRecorder.ModuleStateNotices()), std::vector<std::string>{});
    EXPECT_EQ(laterRecorder.RequestedDelays(), std::vector<long>{});
    EXPECT_EQ(later.Events().PendingTriggers(), 0);
    ASSERT_TRUE(AwaitCondition([&] { return gate.expired(); }, WaitDeadline)) << "the old s's thread never ended";
}

// The old s's death waits the time-out for its stuck helper and ends without it; let go
// after that death, with the new s running, the helper makes the property "late". No name
// takes it: "s.late" would be found as the new s's.
TEST_F(LeftBehindVoiceTest, AHelperMakesNoElementUnderTheNameItsComponentGaveUp) {
    ASSERT_NO_FATAL_FAILURE(LeaveBehind(Voiced::HelpedModelName, true));
    ASSERT_NO_FATAL_FAILURE(RunNewS());
    recorder->ClearReports();
    old->coreReleased = true;
    ASSERT_TRUE(AwaitThreadsOfOld(1)) << "the old s's death never ended";
    ASSERT_NE(old->State() & TARNModule::MainLoopEnded, 0u);
    old->helperReleased = true;
    ASSERT_TRUE(AwaitThreadsOfOld(0)) << "the old s's helper never ended";
    EXPECT_TRUE(old->helperDone.load());
    EXPECT_EQ(kernel->FindProperty("s.late"), nullptr) << "the old s's property is found under the new s's name";
    EXPECT_EQ(kernel->FindSymbol("s.late"), nullptr);
    EXPECT_EQ(Lines(recorder->Reports()), std::vector<std::string>{});
    EXPECT_EQ(kernel->FindComponent("s"), now->Component("s"));
    EXPECT_NE(kernel->FindProperty("s.threaded"), nullptr);
}

// Components stuck but not killed: a graph's end stops and destroys them all within one
// time-out of real time, and so does the kernel's end for those left behind, however many,
// with the kernel's clock standing still all along (an end timed on it would never end).
TEST(LeftBehindEndTest, EachEndGivesComponentsNotKilledOneTimeOutOfRealTime) {
    constexpr long Timeout = 300'000;
    auto kernel = std::make_unique<HostKernel>();
    const std::weak_ptr<const HostThreadGate> gate = kernel->ThreadGate();
    std::ostringstream reports;
    kernel->EchoReports(&reports, &reports);
    auto graph = std::make_unique<HostGraph>(*kernel);
    std::vector<Stuck*> stuck;
    // Once only: a component whose Core was let go may be destroyed by the end that waited
    // for it.
    bool releasedAll = false;
    auto release = [&] {
        if (std::exchange(releasedAll, true)) return;
        for (Stuck* each : stuck) each->released = true;
    };
    struct ReleasedOnEveryWayOut {
        std::function<void()> release;
        ~ReleasedOnEveryWayOut() { release(); }
    } releaser{release};
    ASSERT_NO_FATAL_FAILURE(StartStuckReaders(*graph, stuck));
    HostEngineModule& engine = kernel->EngineModule();
    engine.DirectSet(engine.Property("shutdownTimeout"), Timeout);
    kernel->Time().UseManualClock(1'000'000'000);

    const long graphEnd = EndOnAThread(graph, Deadline, release);
    ASSERT_NE(graphEnd, -1) << "the graph's end never ended";
    RecordProperty("graphEndMicroseconds", std::to_string(graphEnd));
    EXPECT_GE(graphEnd, Timeout);
    EXPECT_LT(graphEnd, 2 * Timeout) << "the graph's end took " << graphEnd << " us";
    for (Stuck* each : stuck) EXPECT_TRUE(kernel->Components().IsLeftBehind(each)) << each->Name();

    const long kernelEnd = EndOnAThread(kernel, Deadline, release);
    ASSERT_NE(kernelEnd, -1) << "the kernel's end never ended";
    RecordProperty("kernelEndMicroseconds", std::to_string(kernelEnd));
    EXPECT_LT(kernelEnd, 2 * Timeout) << "the kernel's end took " << kernelEnd << " us";
    release();
    EXPECT_TRUE(AwaitCondition([&] { return gate.expired(); }, WaitDeadline))
        << "a thread left behind never ended";
}

// A time-out too long to add to the clock is the far future, not a deadline in the past.
TEST(LeftBehindEndTest, AHugeShutdownTimeOutIsNoDeadlineInThePast) {
    auto kernel = std::make_unique<HostKernel>();
    HostEngineModule& engine = kernel->EngineModule();
    engine.DirectSet(engine.Property("shutdownTimeout"), std::numeric_limits<long>::max());
    EXPECT_GT(kernel->ShutdownDeadline(), std::chrono::steady_clock::now() + std::chrono::hours(24));
}

}  // namespace
