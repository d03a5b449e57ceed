// The action that renames a component after the output connected to its first input, run
// through the component's action element in a host graph: the names it finds and every
// refusal, each of which leaves the name as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host_graph.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/dataflow/action.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/core_function.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

constexpr const char* ActionName = "renameAfterUpstream";

// Waits to die: the action runs at rest or beside a running graph.
class Relay : public TARNComponent {
  public:
    using TARNComponent::TARNComponent;
    void Core() override { Wait4Event(never, -1); }
    TARNEvent never;
};

TARNModuleBase* makeRelay(const char* name, TARNComponentDefinition& definition) {
    return new Relay(name, definition);
}

TARNInputDefinition relayInputs[] = {{"in", nullptr, nullptr, 0, 1}, {}};
TARNOutputDefinition outputs[] = {{"out", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 4, 4, 1, 0}, {}};
// Allowed at rest (flag 1): renaming is for a graph that does not run.
TARNActionDefinition actions[] = {
    {ActionName, new TARNActionCallbacks{&TARNComponent::ActionRenameAfterUpstreamComponent, nullptr}, 1},
    {}};

TARNComponentDefinition model(const char* name, TARNInputDefinition* inputs) {
    TARNComponentDefinition definition{};
    definition.name = name;
    definition.version = "1.0";
    definition.factory = makeRelay;
    definition.nbInputs = inputs ? TARNComponentDefinition::NotCounted : 0;
    definition.inputs = inputs;
    definition.nbOutputs = TARNComponentDefinition::NotCounted;
    definition.outputs = outputs;
    definition.nbActions = TARNComponentDefinition::NotCounted;
    definition.actions = actions;
    definition.priority = 128;
    definition.threadingModels = TARNComponentDefinition::Threaded;
    definition.threaded = true;
    return definition;
}

// "relay" has an input, "origin" none.
TARNComponentDefinition relayModel = model("relay", relayInputs);
TARNComponentDefinition originModel = model("origin", nullptr);

class RenameAction : public HostKernelTest {
  protected:
    void SetUp() override {
        HostKernelTest::SetUp();
        ASSERT_TRUE(graph.AddModel(relayModel));
        ASSERT_TRUE(graph.AddModel(originModel));
    }
    void TearDown() override {
        modules.clear();
        for (auto& function : functions) kernel.RemoveCoreFunction(function.get());
        HostKernelTest::TearDown();
    }

    bool Has(const std::string& message) const {
        const std::vector<std::string> texts = ReportTexts();
        return std::find(texts.begin(), texts.end(), message) != texts.end();
    }

  public:
    // Builders for the cases.
    void Relays(std::initializer_list<const char*> names) {
        for (const char* name : names) ASSERT_TRUE(graph.Create("relay", name));
    }
    void Connect(const std::string& output, const std::string& input) {
        ASSERT_TRUE(graph.Connect(output, input));
    }
    void Start(const char* name) { ASSERT_TRUE(kernel.StartComponent(name)); }
    TARNCoreFunction& EngineFunction(const std::string& name) {
        functions.push_back(std::make_unique<TARNCoreFunction>(name.c_str()));
        kernel.AddCoreFunction(functions.back().get());
        return *functions.back();
    }
    // A module that is neither a component nor an engine function, with one property.
    void PlainModule(const char* name) {
        modules.push_back(std::make_unique<TARNModule>(name, false, false));
        modules.back()->NewProperty(TARNPropertyDefinition("gain", new TARNPropertyValue(1L)), nullptr);
    }
    // What the engine connects a macro-component's input or output through: a module of its
    // own (no component) with the input "in" and the output "out". Named as a member of an
    // instance, it is that instance's output; otherwise the input of a model.
    TARNModule& MacroPort(const char* name) {
        modules.push_back(std::make_unique<TARNModule>(name, false, false));
        TARNModule& port = *modules.back();
        port.NewInput(relayInputs[0], nullptr);
        port.NewOutput(outputs[0], nullptr);
        return port;
    }
    // Connects the output "out" of one module to the input "in" of another, whatever they are.
    void Link(TARNModule& from, TARNModule& to) {
        ASSERT_TRUE(TARN::Attach(from.Output("out"), to.Input("in")));
    }
    TARNModule& Member(const char* name) { return *graph.Component(name); }

    HostGraph graph{kernel};
    std::vector<std::unique_ptr<TARNCoreFunction>> functions;
    std::vector<std::unique_ptr<TARNModule>> modules;
};

struct Case {
    const char* name;
    std::function<void(RenameAction&)> setUp;
    const char* acting;  // the component whose action runs
    const char* report;  // the warning it gives, after "component <acting>: "; null for none
    const char* after;   // its name afterwards
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

// cam.out feeds the first input of "node" (or of the acting component).
void camFeedsNode(RenameAction& t) {
    t.Relays({"cam", "node"});
    t.Connect("cam.out", "node.in");
}

const Case Cases[] = {
    {"NamedAfterTheOutput", camFeedsNode, "node", nullptr, "cam_out"},
    {"NumberedPastAComponent",
     [](RenameAction& t) {
         camFeedsNode(t);
         t.Relays({"cam_out"});
     },
     "node", nullptr, "cam_out_1"},
    {"NumberedPastEngineFunctions",
     [](RenameAction& t) {
         camFeedsNode(t);
         t.EngineFunction("cam_out");
         t.EngineFunction("cam_out_1");
     },
     "node", nullptr, "cam_out_2"},
    {"PathPartsJoined",
     [](RenameAction& t) {
         t.Relays({"box:cam", "node"});
         t.Connect("box:cam.out", "node.in");
     },
     "node", nullptr, "box::cam_out"},
    {"AfterAnEngineFunction",
     [](RenameAction& t) {
         t.Relays({"node"});
         TARNCoreFunction& clock = t.EngineFunction("clock");
         clock.NewOutput(outputs[0], nullptr);
         t.Link(clock, t.Member("node"));
     },
     "node", nullptr, "clock_out"},
    {"AfterTheOutputInsideAMacroComponent",
     [](RenameAction& t) {
         t.Relays({"box:cam", "node"});
         TARNModule& output = t.MacroPort("box:out");
         t.Link(t.Member("box:cam"), output);
         t.Link(output, t.Member("node"));
     },
     "node", nullptr, "box::cam_out"},
    {"ThroughNestedMacroComponents",
     [](RenameAction& t) {
         t.Relays({"box:sub:cam", "node"});
         TARNModule& inner = t.MacroPort("box:sub:out");
         TARNModule& outer = t.MacroPort("box:out");
         t.Link(t.Member("box:sub:cam"), inner);
         t.Link(inner, outer);
         t.Link(outer, t.Member("node"));
     },
     "node", nullptr, "box::sub::cam_out"},
    {"WhileTheEngineRuns",
     [](RenameAction& t) {
         camFeedsNode(t);
         t.Start("cam");
     },
     "node", "This action is not allowed when Tarnvel is running.", "node"},
    {"WithoutInputs", [](RenameAction& t) { ASSERT_TRUE(t.graph.Create("origin", "cam")); }, "cam",
     "This action scans what is connected to this component's first input, but this component does not "
     "seem to have any inputs.",
     "cam"},
    {"WithoutInputsInsideAnInstance",
     [](RenameAction& t) { ASSERT_TRUE(t.graph.Create("origin", "box:cam")); }, "box:cam",
     "This action scans what is connected to this component's first input, but this component does not "
     "seem to have any inputs.",
     "box:cam"},
    {"InsideAnInstance",
     [](RenameAction& t) {
         t.Relays({"cam", "box:node"});
         t.Connect("cam.out", "box:node.in");
     },
     "box:node",
     "Renaming a component inside a Macro-Component *instance* is forbidden. You may however rename a "
     "component in the Macro-Component *model*: Right-click on the macro-component and select Edit "
     "Macro-Component.",
     "box:node"},
    {"NotConnected", [](RenameAction& t) { t.Relays({"node"}); }, "node",
     "This action scans what is connected to this component's first input. Please connect it in order to "
     "rename after upstream component.",
     "node"},
    {"FromAMacroComponentInput",
     [](RenameAction& t) {
         t.Relays({"node"});
         t.Link(t.MacroPort("in"), t.Member("node"));
     },
     "node",
     "This action scans what is connected to this component's first input. Please connect it in order to "
     "rename after upstream component. Note however that you cannot rename after a macro-component input.",
     "node"},
    {"FromAMacroComponentOutputWithNothingInside",
     [](RenameAction& t) {
         t.Relays({"node"});
         t.Link(t.MacroPort("box:out"), t.Member("node"));
     },
     "node", "Cannot access macro-component output name: renaming after native component & output inside.",
     "node"},
    {"FromAMacroComponentOutputFedByAModelInput",
     [](RenameAction& t) {
         t.Relays({"node"});
         TARNModule& output = t.MacroPort("box:out");
         t.Link(t.MacroPort("in"), output);
         t.Link(output, t.Member("node"));
     },
     "node", "Cannot access macro-component output name: renaming after native component & output inside.",
     "node"},
    {"AlreadyNamed",
     [](RenameAction& t) {
         t.Relays({"cam", "cam_out"});
         t.Connect("cam.out", "cam_out.in");
     },
     "cam_out", "Component is already named after its upstream component's output.", "cam_out"},
    {"AlreadyNamedWithANumber",
     [](RenameAction& t) {
         t.Relays({"cam", "cam_out", "cam_out_1"});
         t.Connect("cam.out", "cam_out_1.in");
     },
     "cam_out_1", "Component is already named after its upstream component's output.", "cam_out_1"},
    {"NumberedUpToTwenty",
     [](RenameAction& t) {
         camFeedsNode(t);
         t.Relays({"cam_out"});
         for (int i = 1; i <= 19; ++i) t.EngineFunction("cam_out_" + std::to_string(i));
     },
     "node", nullptr, "cam_out_20"},
    {"NoFreeName",
     [](RenameAction& t) {
         camFeedsNode(t);
         t.Relays({"cam_out"});
         for (int i = 1; i <= 20; ++i) t.EngineFunction("cam_out_" + std::to_string(i));
     },
     "node",
     "Could not find an available name for component. You may change the upstream component name and try "
     "again.",
     "node"},
    {"TheEngineRefuses",
     [](RenameAction& t) {
         camFeedsNode(t);
         t.PlainModule("cam_out");  // its property holds the name "cam_out.gain"
     },
     "node",
     "Unable to rename component after upstream component: suitable name found ('cam_out') but renaming "
     "failed.",
     "node"},
};

class RenameActionCases : public RenameAction, public ::testing::WithParamInterface<Case> {};

TEST_P(RenameActionCases, RenamesOrSaysWhyNot) {
    const Case& c = GetParam();
    c.setUp(*this);
    if (HasFatalFailure()) return;
    TARNComponent* acting = graph.Component(c.acting);
    ASSERT_NE(acting, nullptr);
    acting->Action(ActionName).DoIt(nullptr);

    const std::string prefix = std::string("component ") + c.acting + ": ";
    if (c.report != nullptr) {
        EXPECT_TRUE(Has(prefix + c.report)) << c.report;
    }
    for (const HostReport& report : ReportsAt(1)) {
        if (report.message.rfind(prefix, 0) != 0) continue;
        EXPECT_EQ(c.report != nullptr ? prefix + c.report : std::string(), report.message)
            << "one warning only";
    }
    EXPECT_STREQ(acting->Name(), c.after);
    EXPECT_EQ(kernel.FindComponent(c.after), acting);
    EXPECT_EQ(graph.Component(c.after), acting);
}

INSTANTIATE_TEST_SUITE_P(Upstream, RenameActionCases, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Handed a module that is no component, the action has nothing to follow: an internal error,
// reported, never thrown at the engine.
TEST_F(RenameAction, AModuleThatIsNoComponentIsAnInternalError) {
    TARNModule module("cam", false, false);
    EXPECT_NO_THROW(TARNComponent::ActionRenameAfterUpstreamComponent(&module, 0));
    ASSERT_EQ(ReportsAt(2).size(), 1u);
    EXPECT_EQ(ReportsAt(2).front().message, "Internal error while renaming after upstream component.");
    EXPECT_STREQ(module.Name(), "cam");
}

}  // namespace
