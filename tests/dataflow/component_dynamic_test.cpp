// Dynamic re-creation: what a component's Dynamic() declares again is kept, what it
// declares from another record is replaced, what it no longer declares goes; the
// per-element properties live and go with their element only. Also the Set operations that
// run it, and its ways out: a throwing Dynamic(), a throwing removal, a running component.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "connection_by_hand.hpp"
#include "dataflow/action_implementation.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "module_fixture.hpp"
#include "tarn/dataflow/component.hpp"

namespace {

void noAction(TARNModule*, int) {}

enum class Kind { Input, Output, Property, Action };

// One element a Dynamic() declares: its kind, record 0 or 1 of the model's dynamic
// records for that kind, and its name.
struct Declaration {
    Kind kind;
    int record;
    const char* name;
};

// Static tables of one element each, which the constructor creates, and two records of
// each kind that only Dynamic() uses.
struct Model {
    TARNInputDefinition inputs[2] = {{"in", nullptr, nullptr, 0, 1}, {}};
    TARNOutputDefinition outputs[2] = {{"out", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 0, 4, 1, 1}, {}};
    TARNPropertyDefinition properties[2] = {{"mode", new TARNPropertyValue(0L)}, {}};
    TARNActionDefinition actions[2] = {{"go", new TARNActionCallbacks{noAction, nullptr}, 0}, {}};

    // Record 1 of each kind differs from record 0 in what its element carries: the
    // sampling input has no ".readerType" property.
    TARNInputDefinition dynamicInputs[2] = {{"ia", nullptr, nullptr, 0, 1}, {"ib", nullptr, nullptr, 4, 1}};
    TARNOutputDefinition dynamicOutputs[2] = {{"oa", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 0, 4, 1, 1},
                                              {"ob", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 0, 1, 2, 1}};
    TARNPropertyDefinition dynamicProperties[2] = {{"pa", new TARNPropertyValue(1L)},
                                                   {"pb", new TARNPropertyValue(2L)}};
    TARNActionDefinition dynamicActions[2] = {{"aa", new TARNActionCallbacks{noAction, nullptr}, 0},
                                              {"ab", new TARNActionCallbacks{noAction, nullptr}, 0}};
    TARNComponentDefinition definition{};

    Model() {
        definition.inputs = inputs;
        definition.outputs = outputs;
        definition.properties = properties;
        definition.actions = actions;
        definition.nbInputs = definition.nbOutputs = definition.nbProperties = definition.nbActions = 1;
    }
};

// Declares its plan in Dynamic(), after running `before` when one is set.
class DynamicComponent : public TARNComponent {
  public:
    DynamicComponent(const char* name, Model& model) : TARNComponent(name, model.definition), model(model) {}
    void Core() override {}
    void Dynamic() override {
        ++calls;
        if (before) before();
        for (const Declaration& d : plan) declare(d);
    }

    std::vector<Declaration> plan;
    std::function<void()> before;
    int calls = 0;

  private:
    void declare(const Declaration& d) {
        switch (d.kind) {
            case Kind::Input: NewInput(model.dynamicInputs[d.record], d.name); break;
            case Kind::Output: NewOutput(model.dynamicOutputs[d.record], d.name); break;
            case Kind::Property: NewProperty(model.dynamicProperties[d.record], d.name); break;
            case Kind::Action: NewAction(model.dynamicActions[d.record], d.name); break;
        }
    }
    Model& model;
};

// Each element as "full name(record name)", a per-element property by its name alone:
// the record tells a kept element from one re-made from another record.
std::vector<std::string> Described(const TARNComponent& component, Kind kind) {
    std::vector<std::string> described;
    auto add = [&](const TARNStackedString<40>& name, const char* record) {
        described.push_back(std::string(name.c_str()) + (record ? "(" + std::string(record) + ")" : ""));
    };
    switch (kind) {
        case Kind::Input:
            for (TARNInput* input : component.inputs)
                add(input->Name(), static_cast<TARNInputImplementation*>(input)->definitionName);
            break;
        case Kind::Output:
            for (TARNOutput* output : component.outputs)
                add(output->Name(), static_cast<TARNOutputImplementation*>(output)->definition.name);
            break;
        case Kind::Property:
            for (TARNProperty* property : component.properties) {
                auto* implementation = static_cast<TARNPropertyImplementation*>(property);
                add(property->Name(), implementation->BelongsToElement() ? nullptr : implementation->definition.name);
            }
            break;
        case Kind::Action:
            for (TARNAction* action : component.actions)
                add(action->Name(), static_cast<TARNActionImplementation*>(action)->definitionName);
            break;
    }
    return described;
}

// The properties after the module's and component's standard ones, the model's static one
// and the static elements' own: where the dynamic ones live. The static part is checked
// to be intact on the way.
std::vector<std::string> DynamicProperties(const TARNComponent& component) {
    const std::vector<std::string> staticPart = {
        "cam.threaded(threaded)",
        "cam.priority(priority)",
        "cam.autoStart(autoStart)",
        "cam.componentModelVersion(componentModelVersion)",
        "cam.primaryThreadID(primaryThreadID)",
        "cam.mode(mode)",
        "cam.in.subsampling",
        "cam.in.readerType",
        "cam.out.subsampling",
        "cam.out.fifosize",
        "cam.out.periodic",
    };
    std::vector<std::string> all = Described(component, Kind::Property);
    all.erase(all.begin(), std::find(all.begin(), all.end(), staticPart.front()));  // the module's own
    EXPECT_GE(all.size(), staticPart.size());
    EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + staticPart.size()), staticPart);
    return std::vector<std::string>(all.begin() + staticPart.size(), all.end());
}

using ComponentDynamicTest = ModuleTest;

}  // namespace

TEST_F(ComponentDynamicTest, ReCreationKeepsReplacesInsertsAndRemovesDynamicElements) {
    const std::vector<Declaration> everyKind = {
        {Kind::Input, 0, "x"}, {Kind::Output, 0, "y"}, {Kind::Property, 0, "p"}, {Kind::Action, 0, "g"}};
    struct Case {
        const char* what;
        std::vector<Declaration> first;
        std::vector<Declaration> then;
        std::vector<std::string> inputs;
        std::vector<std::string> outputs;
        std::vector<std::string> dynamicProperties;
        std::vector<std::string> actions;
    };
    const Case cases[] = {
        {"declared again in the same order: every one kept",
         everyKind,
         everyKind,
         {"cam.in(in)", "cam.x(ia)"},
         {"cam.out(out)", "cam.y(oa)"},
         {"cam.x.subsampling", "cam.x.readerType", "cam.y.subsampling", "cam.y.fifosize", "cam.y.periodic",
          "cam.p(pa)"},
         {"cam.go(go)", "cam.g(aa)"}},
        {"declared no more: removed with their own properties, the static ones stay",
         everyKind,
         {},
         {"cam.in(in)"},
         {"cam.out(out)"},
         {},
         {"cam.go(go)"}},
        {"same names from the other records: replaced, their own properties with them",
         everyKind,
         {{Kind::Input, 1, "x"}, {Kind::Output, 1, "y"}, {Kind::Property, 1, "p"}, {Kind::Action, 1, "g"}},
         {"cam.in(in)", "cam.x(ib)"},
         {"cam.out(out)", "cam.y(ob)"},
         {"cam.p(pb)", "cam.x.subsampling", "cam.y.subsampling", "cam.y.fifosize", "cam.y.periodic"},
         {"cam.go(go)", "cam.g(ab)"}},
        {"a new name ahead of a kept one: inserted before it",
         {{Kind::Input, 0, "x"}, {Kind::Property, 0, "p"}, {Kind::Action, 0, "g"}},
         {{Kind::Input, 0, "w"}, {Kind::Input, 0, "x"}, {Kind::Property, 0, "q"}, {Kind::Property, 0, "p"},
          {Kind::Action, 0, "f"}, {Kind::Action, 0, "g"}},
         {"cam.in(in)", "cam.w(ia)", "cam.x(ia)"},
         {"cam.out(out)"},
         {"cam.x.subsampling", "cam.x.readerType", "cam.q(pa)", "cam.p(pa)", "cam.w.subsampling",
          "cam.w.readerType"},
         {"cam.go(go)", "cam.f(aa)", "cam.g(aa)"}},
        {"one left out between kept ones: only it goes",
         {{Kind::Input, 0, "x"}, {Kind::Input, 0, "z"}, {Kind::Property, 0, "p"}, {Kind::Property, 0, "r"}},
         {{Kind::Input, 0, "z"}, {Kind::Property, 0, "r"}},
         {"cam.in(in)", "cam.z(ia)"},
         {"cam.out(out)"},
         {"cam.z.subsampling", "cam.z.readerType", "cam.r(pa)"},
         {"cam.go(go)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Model model;
        DynamicComponent component("cam", model);
        component.plan = c.first;
        component.CallDynamic();
        component.plan = c.then;
        component.CallDynamic();

        EXPECT_EQ(Described(component, Kind::Input), c.inputs);
        EXPECT_EQ(Described(component, Kind::Output), c.outputs);
        EXPECT_EQ(DynamicProperties(component), c.dynamicProperties);
        EXPECT_EQ(Described(component, Kind::Action), c.actions);
        EXPECT_EQ(component.inputCursor, nullptr);
        EXPECT_EQ(component.outputCursor, nullptr);
        EXPECT_EQ(component.propertyCursor, nullptr);
        EXPECT_EQ(component.actionCursor, nullptr);
        // Every property still there is still registered, and the module's names are those
        // of its elements (and its own): a removed element took its name with it.
        for (TARNProperty* property : component.properties)
            EXPECT_NE(kernel.FindSymbol(property->Name().c_str()), nullptr) << property->Name().c_str();
        EXPECT_EQ(component.symbolNames.Count(), 1 + component.inputs.Count() + component.outputs.Count() +
                                                     component.properties.Count() + component.actions.Count());
    }
}

// Kept means the same element: its value, its own properties' values and its connection
// survive a re-creation.
TEST_F(ComponentDynamicTest, AKeptElementKeepsItsValueAndConnection) {
    Model model;
    DynamicComponent source("src", model);
    DynamicComponent component("cam", model);
    component.plan = {{Kind::Input, 0, "x"}, {Kind::Property, 0, "p"}};
    component.CallDynamic();
    TARNInput& input = component.Input(1);
    ConnectByHand(source.Output(0), input);
    component.DirectSet(component.Property("p"), 42L);
    component.DirectSet(component.Property("x.subsampling"), 3L);

    component.CallDynamic();

    EXPECT_EQ(&component.Input(1), &input);
    EXPECT_EQ(static_cast<TARNInputImplementation&>(input).connectedOutput, &source.Output(0));
    EXPECT_EQ(component.Property("p").IntegerValue(), 42);
    EXPECT_EQ(component.Property("x.subsampling").IntegerValue(), 3);
}

// Every property change re-runs Dynamic(): here "mode" says how many inputs there are.
TEST_F(ComponentDynamicTest, EverySetRunsTheReCreation) {
    Model model;
    DynamicComponent component("cam", model);
    TARNProperty& mode = component.Property("mode");
    component.before = [&] {
        static const char* const names[] = {"x0", "x1", "x2"};
        component.plan.clear();
        for (long i = 0; i < mode.IntegerValue(); ++i) component.plan.push_back({Kind::Input, 0, names[i]});
    };

    component.Set(mode, 3L);
    EXPECT_EQ(component.inputs.Count(), 4);
    component.Set(mode, 1);  // the int form reaches the component's Set too
    EXPECT_EQ(component.inputs.Count(), 2);
    EXPECT_TRUE(component.HasInput("x0"));
    EXPECT_FALSE(component.HasProperty("x1.subsampling"));
    EXPECT_EQ(component.calls, 2);
}

// A Dynamic() that sets a property of its own would start a re-creation inside the one
// running: it is skipped, not recursed into.
TEST_F(ComponentDynamicTest, ASetFromInsideDynamicDoesNotRecurse) {
    Model model;
    DynamicComponent component("cam", model);
    component.plan = {{Kind::Property, 0, "p"}};
    component.before = [&] { component.Set(component.Property("mode"), 7L); };

    component.CallDynamic();
    component.CallDynamic();

    EXPECT_EQ(component.calls, 2);
    EXPECT_EQ(component.Property("mode").IntegerValue(), 7);
    EXPECT_EQ(component.State() & TARNModule::InError, 0u);
    EXPECT_FALSE(component.insideCallDynamic);
}

TEST_F(ComponentDynamicTest, ARunningComponentIsNotReCreated) {
    Model model;
    DynamicComponent component("cam", model);
    component.plan = {{Kind::Input, 0, "x"}};
    component.CallDynamic();
    component.state |= TARNModule::Running;
    component.plan.clear();

    component.CallDynamic();

    EXPECT_EQ(component.calls, 1);
    EXPECT_TRUE(component.HasInput("x"));
    component.state &= ~TARNModule::Running;
}

// A failing Dynamic() is the component's error, not its caller's: the error bit is set and
// what it did not declare before failing still goes. The next re-creation clears the bit.
TEST_F(ComponentDynamicTest, AThrowingDynamicSetsTheErrorBitAndStillRemoves) {
    Model model;
    DynamicComponent component("cam", model);
    component.plan = {{Kind::Input, 0, "x"}, {Kind::Property, 0, "p"}};
    component.CallDynamic();
    component.before = [] { throw 3; };

    EXPECT_NO_THROW(component.CallDynamic());
    EXPECT_NE(component.State() & TARNModule::InError, 0u);
    EXPECT_FALSE(component.HasInput("x"));
    EXPECT_FALSE(component.HasProperty("p"));
    EXPECT_FALSE(component.HasProperty("x.subsampling"));
    EXPECT_FALSE(component.insideCallDynamic);

    component.before = nullptr;
    component.CallDynamic();
    EXPECT_EQ(component.State() & TARNModule::InError, 0u);
    EXPECT_TRUE(component.HasInput("x"));
}

// A removal that throws half-way leaves the re-creation by exception: the graph-change
// brackets still balance (the fixture checks), and the component can be re-created again,
// from another thread too, since the dynamic lock was given back.
TEST_F(ComponentDynamicTest, ARemovalThatThrowsLeavesTheReCreationClean) {
    Model model;
    DynamicComponent component("cam", model);
    component.plan = {{Kind::Input, 0, "x"}, {Kind::Property, 0, "p"}};
    component.CallDynamic();
    component.plan.clear();
    kernel.SetRemovalNoticeHook([](const char*) { throw 9; });

    EXPECT_EQ(ThrownCode([&] { component.CallDynamic(); }), 9);
    EXPECT_FALSE(component.insideCallDynamic);
    // The sweep stopped at the input: the property's cursor must not stay set, or "p",
    // behind it, would be hidden from lookups by name.
    EXPECT_EQ(component.propertyCursor, nullptr);
    EXPECT_TRUE(component.HasProperty("p"));

    kernel.SetRemovalNoticeHook(nullptr);
    std::thread other([&] { component.CallDynamic(); });
    other.join();
    EXPECT_FALSE(component.HasInput("x"));
    EXPECT_FALSE(component.HasProperty("p"));
    EXPECT_EQ(component.calls, 3);
}
