// Construction of a component from its definition tables, destruction, the standard
// properties and their set-callbacks, and the slot order the engine calls through.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module_fixture.hpp"
#include "support/virtual_slot.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

class TestComponent : public TARNComponent {
  public:
    using TARNComponent::TARNComponent;
    void Core() override {}
};

void noAction(TARNModule*, int) {}

const std::vector<std::string> ModuleStandard = {"processor", "counter",   "nbPeriods",       "averagePeriod",
                                                 "minPeriod", "maxPeriod", "contextSwitches", "CPULoad"};
const std::vector<std::string> ComponentStandard = {"threaded", "priority", "autoStart",
                                                    "componentModelVersion", "primaryThreadID"};

std::vector<std::string> PropertyNames(const TARNModule& module) {
    std::vector<std::string> names;
    for (TARNProperty* property : module.properties) names.push_back(property->ShortName().c_str());
    return names;
}

template <class Element>
std::vector<std::string> FullNames(const TARNList<Element*>& list) {
    std::vector<std::string> names;
    for (Element* element : list) names.push_back(element->Name().c_str());
    return names;
}

std::vector<std::string> Concatenated(std::vector<std::string> first,
                                      const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A model with one record of each kind but two inputs and two outputs, its tables closed
// by their all-zero records.
struct Tables {
    TARNInputDefinition inputs[3] = {{"raw", nullptr, nullptr, 0, 1}, {"side", nullptr, nullptr, 3, 2}, {}};
    TARNOutputDefinition outputs[3] = {{"image", 0, TARNTypeInfo(TARNTypeInfo::IplImage), 0, 16, 1, 1},
                                       {"stats", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 8, 4, 1, 1},
                                       {}};
    TARNPropertyDefinition properties[3] = {
        {"gain", new TARNPropertyValue(2L)}, {"label", new TARNPropertyValue("x")}, {}};
    TARNActionDefinition actions[2] = {{"reset", new TARNActionCallbacks{noAction, nullptr}, 0}, {}};
    TARNComponentDefinition definition{};

    // `counted`: the counts given as the engine gives them; otherwise left NotCounted.
    explicit Tables(bool counted) {
        const unsigned int uncounted = TARNComponentDefinition::NotCounted;
        definition.name = "model";
        definition.version = "1.1";
        definition.priority = 77;
        definition.threadingModels = TARNComponentDefinition::Threaded;
        definition.threaded = true;
        definition.nbInputs = counted ? 2u : uncounted;
        definition.inputs = inputs;
        definition.nbOutputs = counted ? 2u : uncounted;
        definition.outputs = outputs;
        definition.nbProperties = counted ? 2u : uncounted;
        definition.properties = properties;
        definition.nbActions = counted ? 1u : uncounted;
        definition.actions = actions;
    }
};

using ComponentTest = ModuleTest;

class ComponentCountsTest : public ComponentTest, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST(ComponentSlots, ContinueAfterTheModulesInTheirBinaryOrder) {
    EXPECT_EQ(VirtualSlot(&TARNComponent::Kind), 3);
    EXPECT_EQ(VirtualSlot(static_cast<void (TARNComponent::*)(TARNProperty&, bool)>(&TARNComponent::Set)),
              13);
    EXPECT_EQ(VirtualSlot(static_cast<void (TARNComponent::*)(TARNProperty&, const TARNEnumStruct&)>(
                  &TARNComponent::Set)),
              17);
    EXPECT_EQ(VirtualSlot(&TARNComponent::Dynamic), 18);
    EXPECT_EQ(VirtualSlot(&TARNComponent::Core), 19);
    EXPECT_EQ(VirtualSlot(&TARNComponent::Birth), 20);
    EXPECT_EQ(VirtualSlot(&TARNComponent::Banzai), 21);
    EXPECT_EQ(VirtualSlot(&TARNComponent::Death), 22);
    EXPECT_EQ(VirtualSlot(&TARNComponent::FreeBuffers), 23);
    EXPECT_EQ(VirtualSlot(&TARNComponent::GetLocation), 24);
    EXPECT_EQ(VirtualSlot(&TARNComponent::SetLocation), 25);
}

// Given counts and counts still to be found from the end records build the same component.
TEST_P(ComponentCountsTest, BuildsStandardPropertiesThenTheTablesInOrder) {
    Tables tables(GetParam());
    TestComponent component("cam", tables.definition);

    // The per-element properties come after the model's, in element creation order.
    const std::vector<std::string> expected = Concatenated(
        Concatenated(ModuleStandard, ComponentStandard),
        {"gain", "label", "raw.subsampling", "raw.readerType", "side.subsampling", "image.subsampling",
         "image.fifosize", "image.periodic", "stats.subsampling", "stats.fifosize", "stats.periodic"});
    EXPECT_EQ(PropertyNames(component), expected);
    EXPECT_EQ(FullNames(component.inputs), (std::vector<std::string>{"cam.raw", "cam.side"}));
    EXPECT_EQ(FullNames(component.outputs), (std::vector<std::string>{"cam.image", "cam.stats"}));
    ASSERT_EQ(component.actions.Count(), 1);
    EXPECT_STREQ(component.Action(0).Name().c_str(), "cam.reset");
    for (const char* name : {"cam.threaded", "cam.gain", "cam.raw.subsampling", "cam.reset"})
        EXPECT_NE(kernel.FindSymbol(name), nullptr) << name;

    // The boundary of the SDK's own properties sits after "primaryThreadID"; the per-element
    // ones each count as the SDK's too.
    EXPECT_STREQ(component.lastStandardProperty->Value()->ShortName().c_str(), "primaryThreadID");
    EXPECT_EQ(component.sdkPropertyCount, ModuleStandard.size() + ComponentStandard.size() + 9);
    EXPECT_STREQ(component.Property(0).ShortName().c_str(), "gain");
}

INSTANTIATE_TEST_SUITE_P(Counts, ComponentCountsTest, ::testing::Bool());

TEST_F(ComponentTest, StandardPropertiesTakeTheDefinitionsValues) {
    struct Case {
        const char* version;
        bool threaded;
        unsigned short priority;
        const char* expectedVersion;
    };
    const Case cases[] = {{"1.1", true, 77, "1.1"}, {nullptr, false, 128, ""}};
    for (const Case& c : cases) {
        TARNComponentDefinition definition{};
        definition.version = c.version;
        definition.threaded = c.threaded;
        definition.priority = c.priority;
        TestComponent component("cam", definition);

        bool threaded = !c.threaded;
        long priority = 0;
        bool autoStart = false;
        long primaryThread = 0;
        TARNStackedString<40> version("unset");
        component.Property("threaded").Get(threaded);
        component.Property("priority").Get(priority);
        component.Property("autoStart").Get(autoStart);
        component.Property("primaryThreadID").Get(primaryThread);
        component.Property("componentModelVersion").Get(version);
        EXPECT_EQ(threaded, c.threaded);
        EXPECT_EQ(component.threaded, c.threaded);
        EXPECT_EQ(priority, c.priority);
        EXPECT_TRUE(autoStart);
        EXPECT_EQ(primaryThread, -1);
        EXPECT_STREQ(version.c_str(), c.expectedVersion);

        EXPECT_STREQ(component.Kind(), "component");
        EXPECT_EQ(component.State() & (TARNModule::MainLoopEnded | TARNModule::Running),
                  TARNModule::MainLoopEnded);
        EXPECT_EQ(component.GetLocation().x, -1);
        EXPECT_EQ(component.GetLocation().y, -1);
        EXPECT_EQ(component.GetLocation().z, 0);
        EXPECT_EQ(component.inputs.Count() + component.outputs.Count() + component.actions.Count(), 0);
    }
}

TEST_F(ComponentTest, ASecondRecordOfTheSameNameEndsConstructionAndLeavesNoSymbol) {
    TARNPropertyDefinition properties[] = {
        {"gain", new TARNPropertyValue(1L)}, {"gain", new TARNPropertyValue(2L)}, {}};
    TARNInputDefinition inputs[] = {{"raw", nullptr, nullptr, 0, 1}, {}};
    TARNComponentDefinition definition{};
    definition.nbProperties = TARNComponentDefinition::NotCounted;
    definition.properties = properties;
    definition.nbInputs = TARNComponentDefinition::NotCounted;
    definition.inputs = inputs;

    EXPECT_EQ(ThrownCode([&] { TestComponent component("cam", definition); }), TARNModule::ErrorException);

    const std::vector<std::string> texts = ReportTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "component cam: Can't create property cam.gain. The symbol already exists.");
    for (const char* name : {"cam.gain", "cam.threaded", "cam.processor"})
        EXPECT_EQ(kernel.FindSymbol(name), nullptr) << name;
    EXPECT_EQ(definition.destroyCount, 0u) << "a component never built is not counted as destroyed";
}

TEST_F(ComponentTest, DestructionCountsAndReportsOnlyAComponentStillAlive) {
    TARNComponentDefinition definition{};
    definition.destroyCount = 1;
    { TestComponent quiet("cam", definition); }
    EXPECT_TRUE(ReportsAt(2).empty());
    EXPECT_EQ(definition.destroyCount, 2u);

    {
        TestComponent alive("cam", definition);
        alive.state.fetch_and(~TARNModule::MainLoopEnded);
    }
    const std::vector<HostReport> reports = ReportsAt(2);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (HostReport{"The destructor of component cam was called though cam is still alive.",
                                      2, 1, true}));
    EXPECT_EQ(definition.destroyCount, 3u);
}

TEST_F(ComponentTest, TextSetOnAComponentReachesTheTextForm) {
    TARNPropertyDefinition properties[] = {{"label", new TARNPropertyValue("x")}, {}};
    TARNComponentDefinition definition{};
    definition.nbProperties = TARNComponentDefinition::NotCounted;
    definition.properties = properties;
    TestComponent component("cam", definition);

    component.Set(component.Property("label"), "written");
    TARNStackedString<40> value;
    component.Property("label").Get(value);
    EXPECT_STREQ(value.c_str(), "written");
}

namespace {

class PriorityRecordingThread : public TARNThread {
  public:
    void SetPriority(int priority) override { last = priority; }
    int last = -100;
};

}  // namespace

TEST_F(ComponentTest, PriorityOutsideItsRangeIsSetBackAndRefused) {
    TARNComponentDefinition definition{};
    definition.priority = 128;
    TestComponent component("cam", definition);
    PriorityRecordingThread thread;
    component.threads.PushBack(&thread);
    TARNProperty& priority = component.Property("priority");

    component.Set(priority, 200L);
    EXPECT_EQ(thread.last, 200);

    for (long refused : {300L, -1L}) {
        EXPECT_EQ(ThrownCode([&] { component.Set(priority, refused); }), TARNModule::ErrorException)
            << refused;
        long value = 0;
        priority.Get(value);
        EXPECT_EQ(value, 128) << refused;
        EXPECT_EQ(thread.last, 200) << "a refused priority reaches no thread";
        EXPECT_EQ(
            ReportTexts().back(),
            "component cam: Invalid priority value. Component's priority should be set between 0 and 255.");
    }
}

TEST_F(ComponentTest, ThreadedAndAutoStartCallbacksFollowTheirProperties) {
    TARNComponentDefinition definition{};
    TestComponent component("cam", definition);

    component.Set(component.Property("threaded"), true);
    EXPECT_TRUE(component.threaded);
    component.Set(component.Property("autoStart"), false);
    EXPECT_EQ(component.State() & TARNModule::AutoStart, 0u);
    component.Set(component.Property("autoStart"), true);
    EXPECT_NE(component.State() & TARNModule::AutoStart, 0u);
    const std::vector<HostModuleStateNotice> notices = recorder.ModuleStateNotices();
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back().state, component.State());
}
