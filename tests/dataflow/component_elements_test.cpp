// A component's element creation by table index and by model name, and the reader handle
// of its inputs: every lookup outside a table or list fails with an error.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dataflow/input_implementation.hpp"
#include "module_fixture.hpp"
#include "tarn/dataflow/action.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

class TestComponent : public TARNComponent {
  public:
    using TARNComponent::TARNComponent;
    void Core() override {}
};

void noAction(TARNModule*, int) {}

// Tables the constructor creates nothing from (counts 0), so that the tests create.
struct Model {
    TARNInputDefinition inputs[2] = {{"raw", nullptr, nullptr, 0, 1}, {}};
    TARNOutputDefinition outputs[2] = {{"image", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 0, 4, 1, 1}, {}};
    TARNPropertyDefinition properties[2] = {{"gain", new TARNPropertyValue(2L)}, {}};
    TARNActionDefinition actions[2] = {{"reset", new TARNActionCallbacks{noAction, nullptr}, 0}, {}};
    TARNComponentDefinition definition{};

    Model() {
        definition.inputs = inputs;
        definition.outputs = outputs;
        definition.properties = properties;
        definition.actions = actions;
    }
    // The counts the index forms check against, given after construction.
    void Count() {
        definition.nbInputs = definition.nbOutputs = definition.nbProperties = definition.nbActions = 1;
    }
};

using ComponentElementsTest = ModuleTest;

}  // namespace

TEST_F(ComponentElementsTest, IndexAndModelFormsCreateFromTheirRecord) {
    Model model;
    TestComponent component("cam", model.definition);
    model.Count();

    EXPECT_STREQ(component.NewInput(0, nullptr)->Name().c_str(), "cam.raw");
    EXPECT_STREQ(component.NewOutput(0, "second")->Name().c_str(), "cam.second");
    EXPECT_STREQ(component.NewProperty(0, nullptr)->Name().c_str(), "cam.gain");
    EXPECT_STREQ(component.NewAction(0, nullptr)->Name().c_str(), "cam.reset");
    EXPECT_STREQ(component.NewInput("raw", "other")->Name().c_str(), "cam.other");
    EXPECT_STREQ(component.NewOutput("image", nullptr)->Name().c_str(), "cam.image");
    EXPECT_STREQ(component.NewProperty("gain", "level")->Name().c_str(), "cam.level");
    EXPECT_STREQ(component.NewAction("reset", "clear")->Name().c_str(), "cam.clear");
}

TEST_F(ComponentElementsTest, IndexOutsideTheTableIsAnErrorNotAReadPastIt) {
    Model model;
    TestComponent component("cam", model.definition);
    model.Count();

    struct Case {
        const char* operation;
        int index;
        std::function<void()> create;
    };
    TestComponent* c = &component;
    const Case cases[] = {
        {"NewInput", 1, [c] { c->NewInput(1, nullptr); }},
        {"NewOutput", 5, [c] { c->NewOutput(5, nullptr); }},
        {"NewProperty", 1, [c] { c->NewProperty(1, nullptr); }},
        {"NewAction", -1, [c] { c->NewAction(-1, nullptr); }},
    };
    for (const Case& each : cases) {
        EXPECT_EQ(ThrownCode(each.create), TARNModule::ErrorException) << each.operation;
        EXPECT_EQ(ReportTexts().back(), std::string("component cam: Call to ") + each.operation + "(" +
                                            std::to_string(each.index) +
                                            ") failed. The model has 1 such records.");
    }
    EXPECT_EQ(component.inputs.Count() + component.outputs.Count() + component.actions.Count(), 0);
}

TEST_F(ComponentElementsTest, UnknownModelNameIsReportedWithIt) {
    Model model;
    TestComponent component("cam", model.definition);

    EXPECT_EQ(ThrownCode([&] { component.NewInput("Raw", "x"); }), TARNModule::ErrorException)
        << "names compare with case";
    EXPECT_EQ(ReportTexts().back(),
              "component cam: Call to NewInput(Raw, x) failed. The given model (Raw) does not exist.");
    EXPECT_EQ(ThrownCode([&] { component.NewAction("gain", nullptr); }), TARNModule::ErrorException);
    EXPECT_EQ(ReportTexts().back(),
              "component cam: Call to NewAction(gain, ) failed. The given model (gain) does not exist.");
}

TEST_F(ComponentElementsTest, ReaderHandlePastTheInputsIsAnError) {
    TARNInputDefinition inputs[] = {{"a", nullptr, nullptr, 0, 1}, {"b", nullptr, nullptr, 0, 1}, {}};
    TARNComponentDefinition definition{};
    definition.nbInputs = TARNComponentDefinition::NotCounted;
    definition.inputs = inputs;
    TestComponent component("cam", definition);
    auto& first = static_cast<TARNInputImplementation&>(component.Input(0));
    auto& second = static_cast<TARNInputImplementation&>(component.Input(1));

    EXPECT_EQ(component.ReaderHandle(-3), &first.readerId);
    EXPECT_EQ(component.ReaderHandle(0), &first.readerId);
    EXPECT_EQ(component.ReaderHandle(1), &second.readerId);
    EXPECT_EQ(ThrownCode([&] { component.ReaderHandle(2); }), TARNModule::ErrorException);
}
