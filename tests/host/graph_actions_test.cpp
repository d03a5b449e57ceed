// Running a component's actions through HostGraph, by "component.action" as the engine's
// user runs them: the argument and the action's index reach its callback, an action that may
// not run at rest is refused while the component rests, a name that is no action of the
// graph is an error, and an action that throws is reported, not let through. And what
// "tarnhost info" lists of a model's actions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_graph.hpp"
#include "model_description.hpp"
#include "support/graph_ends.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/tarn.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a test waits before it gives up

// What the callbacks saw, in order: the action's index and the argument ("(none)" for
// null). Actions run on the test's thread.
struct Call {
    int index;
    std::string argument;
    bool operator==(const Call&) const = default;
};
std::vector<Call> calls;

void note(TARNModule*, int index, const char* argument) {
    calls.push_back({index, argument != nullptr ? argument : "(none)"});
}
void noteWithoutArgument(TARNModule*, int index) {
    calls.push_back({index, "(none)"});
}
void throwSeven(TARNModule*, int) {
    throw 7;
}
void reportError(TARNModule* module, int) {
    module->Error("the panel is jammed", 0, 0);
}

TARNActionDefinition panelActions[] = {
    {"note", new TARNActionCallbacks{nullptr, note}, 0},
    {"idle", new TARNActionCallbacks{noteWithoutArgument, nullptr}, 1},
    {"fail", new TARNActionCallbacks{throwSeven, nullptr}, 1},
    {"jam", new TARNActionCallbacks{reportError, nullptr}, 1},
    {},
};

// Does nothing but wait to die; its actions are what the tests run.
class Panel : public TARNComponent {
  public:
    explicit Panel(const char* name) : TARNComponent(name, Model()) {}
    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "panel";
            definition.version = "1.0";
            definition.nbActions = TARNComponentDefinition::NotCounted;
            definition.actions = panelActions;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }
    void Core() override { Wait4Event(never, -1); }

  private:
    TARNEvent never;
};

class GraphActions : public HostKernelTest {
  protected:
    void SetUp() override {
        calls.clear();
        ASSERT_TRUE(graph.AddModel(ModelOf<Panel>()));
        ASSERT_TRUE(graph.Create("panel", "p"));
        recorder.ClearReports();
    }
    void TearDown() override {
        graph.Stop();
        HostKernelTest::TearDown();
    }

    HostGraph graph{kernel};
};

TEST_F(GraphActions, AnActionGetsItsArgumentAndIndexAndRunsAtRestOnlyWhenItsDefinitionAllowsIt) {
    // Never started, the component rests.
    EXPECT_TRUE(graph.RunAction("p.idle"));
    EXPECT_FALSE(graph.RunAction("p.note", "at rest"));
    EXPECT_EQ(calls, (std::vector<Call>{{1, "(none)"}}));
    EXPECT_EQ(ReportTexts(),
              std::vector<std::string>{
                  "component p: This action is not allowed when the component is not running."});

    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(graph.RunUntil(
        [&] { return (graph.Component("p")->State() & TARNModule::MainLoopEnded) == 0; }, Deadline));
    recorder.ClearReports();
    EXPECT_TRUE(graph.RunAction("p.note", "running"));
    EXPECT_TRUE(graph.RunAction("p.note"));
    EXPECT_TRUE(graph.RunAction("p.idle"));
    EXPECT_EQ(calls, (std::vector<Call>{{1, "(none)"}, {0, "running"}, {0, "(none)"}, {1, "(none)"}}));
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
}

TEST_F(GraphActions, ANameThatIsNoActionOfTheGraphIsAnError) {
    for (const char* name : {"p.missing", "q.note", "pnote", "p.", ".note", ""}) {
        SCOPED_TRACE(name);
        recorder.ClearReports();
        EXPECT_FALSE(graph.RunAction(name));
        EXPECT_EQ(ReportTexts(), std::vector<std::string>{"There is no action " + std::string(name) + "."});
    }
    EXPECT_TRUE(calls.empty());
}

// The engine's user triggers actions from its control thread: what an action throws is
// reported and ends there.
TEST_F(GraphActions, AnActionThatThrowsIsReportedAndAnsweredFalse) {
    EXPECT_FALSE(graph.RunAction("p.fail"));
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"The action p.fail ended by the integer 7."});

    recorder.ClearReports();
    EXPECT_FALSE(graph.RunAction("p.jam"));
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{"component p: the panel is jammed",
                                                       "The action p.jam ended by an error it reported."}));
}

// Each action with the index its callback is handed, and whether it runs at rest.
TEST_F(GraphActions, TheModelsDescriptionListsEachActionWithItsIndex) {
    const std::vector<std::string> lines = DescribeElements(*graph.Component("p"));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "action note: index 0", "action idle: index 1, allowed at rest",
                         "action fail: index 2, allowed at rest", "action jam: index 3, allowed at rest"}));
}

}  // namespace
