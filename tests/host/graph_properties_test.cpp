// What a test bench needs of HostGraph's properties: a value refused says why, through the
// kernel, and any property reads back as text, a read-only one that a running component
// publishes included. And a package whose model an engine would not find is loaded with a
// warning that says so, and a model without a factory is named as such.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host_graph.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/tarn.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a test waits before it gives up

// One property of each type, and "rFrames", read-only, which the component publishes at its
// birth: 7.
class Settings : public TARNComponent {
  public:
    Settings(const char* instanceName, TARNComponentDefinition& record)
        : TARNComponent(instanceName, record) {}
    void Birth() override { DirectSet(Property("rFrames"), 7L); }
    void Core() override {
        TARNEvent never;
        Wait4Event(never, -1);
    }
};

TARNModuleBase* makeSettings(const char* instanceName, TARNComponentDefinition& record) {
    return new Settings(instanceName, record);
}

TARNPropertyDefinition settingsProperties[] = {
    {"on", new TARNPropertyValue(false)},
    {"threshold", new TARNPropertyValue(10L)},
    {"gain", new TARNPropertyValue(1.5)},
    {"mode", new TARNPropertyValue("fast|exact", 0)},
    {"label", new TARNPropertyValue("none")},
    {"rFrames", new TARNPropertyValue(0L), nullptr, false, false, true},
    {},
};

TARNComponentDefinition settingsModel = [] {
    TARNComponentDefinition d{};
    d.name = "settings";
    d.version = "1.0";
    d.factory = makeSettings;
    d.nbProperties = TARNComponentDefinition::NotCounted;
    d.properties = settingsProperties;
    d.priority = 128;
    d.threadingModels = TARNComponentDefinition::Threaded;
    d.threaded = true;
    return d;
}();

// Setters that guard their values, as an author writes them: "level" takes 0 to 255,
// "ratio" 0 to 1, "label" any text but "forbidden", "mode" any value but "exact". A value
// refused is reported, at level 2, and the value before is kept.
class Guarded : public TARNComponent {
  public:
    Guarded(const char* instanceName, TARNComponentDefinition& record) : TARNComponent(instanceName, record) {}
    void Core() override {
        TARNEvent never;
        Wait4Event(never, -1);
    }

    using TARNComponent::Set;
    void Set(TARNProperty& property, long value) override {
        if (property.ShortName() == "level" && (value < 0 || value > 255))
            return Report(("level takes 0 to 255, not " + std::to_string(value)).c_str(), 2, 0);
        TARNComponent::Set(property, value);
    }
    void Set(TARNProperty& property, double value) override {
        if (property.ShortName() == "ratio" && (value < 0 || value > 1))
            return Report("ratio takes 0 to 1", 2, 0);
        TARNComponent::Set(property, value);
    }
    void Set(TARNProperty& property, const TARNStackedString<40>& value) override {
        if (property.ShortName() == "label" && value == "forbidden") return Report("label refused", 2, 0);
        TARNComponent::Set(property, value);
    }
    void Set(TARNProperty& property, const TARNEnumStruct& value) override {
        if (property.ShortName() == "mode" && value.selected == 1) return Report("mode exact refused", 2, 0);
        TARNComponent::Set(property, value);
    }
};

TARNModuleBase* makeGuarded(const char* instanceName, TARNComponentDefinition& record) {
    return new Guarded(instanceName, record);
}

TARNPropertyDefinition guardedProperties[] = {
    {"level", new TARNPropertyValue(100L)},
    {"ratio", new TARNPropertyValue(0.5)},
    {"label", new TARNPropertyValue("none")},
    {"mode", new TARNPropertyValue("fast|exact", 0)},
    {},
};

TARNComponentDefinition guardedModel = [] {
    TARNComponentDefinition d{};
    d.name = "guarded";
    d.version = "1.0";
    d.factory = makeGuarded;
    d.nbProperties = TARNComponentDefinition::NotCounted;
    d.properties = guardedProperties;
    d.priority = 128;
    d.threadingModels = TARNComponentDefinition::Threaded;
    d.threaded = true;
    return d;
}();

class GraphProperties : public HostKernelTest {
  protected:
    void SetUp() override {
        HostKernelTest::SetUp();
        ASSERT_TRUE(graph.AddModel(settingsModel));
        ASSERT_TRUE(graph.Create("settings", "t"));
    }
    std::string Read(const std::string& property) {
        std::string text = "(unread)";
        EXPECT_TRUE(graph.Get(property, text)) << property;
        return text;
    }

    HostGraph graph{kernel};
};

// A text that is no value of the property's type is refused with one error that says what
// the property takes, and the value stays; the form without reports hands that back.
TEST_F(GraphProperties, ARefusedValueIsReportedWithWhatThePropertyTakes) {
    const struct {
        const char* property;
        const char* text;
        const char* takes;
        const char* unchanged;
    } cases[] = {
        {"t.on", "maybe", "true or false", "false"},
        {"t.threshold", "abc", "a whole number", "10"},
        {"t.threshold", "99999999999999999999", "a whole number", "10"},
        {"t.gain", "1.5x", "a number", "1.5"},
        {"t.gain", "inf", "a number", "1.5"},
        {"t.mode", "sideways", "one of fast|exact", "fast"},
        {"t.mode", "2", "one of fast|exact", "fast"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.property) + "=" + c.text);
        recorder.ClearReports();
        EXPECT_FALSE(graph.Set(c.property, c.text));
        EXPECT_EQ(ReportTexts(), std::vector<std::string>{"The property " + std::string(c.property) +
                                                          " takes " + c.takes + ", not \"" + c.text + "\"."});
        EXPECT_EQ(ReportsAt(2).size(), 1u) << "an error";
        std::string takes;
        recorder.ClearReports();
        EXPECT_FALSE(graph.Set(c.property, c.text, takes));
        EXPECT_EQ(takes, c.takes);
        EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
        EXPECT_EQ(Read(c.property), c.unchanged);
    }
    recorder.ClearReports();
    EXPECT_FALSE(graph.Set("t.missing", "1"));
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"There is no property t.missing."});
}

// Each value reads back in the form Set takes; a read-only one as the component set it.
TEST_F(GraphProperties, EveryPropertyReadsBackAsTheTextSetTakes) {
    const struct {
        const char* property;
        const char* text;
        const char* read;
    } cases[] = {
        {"t.on", "1", "true"},    {"t.threshold", "0x20", "32"}, {"t.gain", "0.1", "0.10000000000000001"},
        {"t.mode", "1", "exact"}, {"t.mode", "fast", "fast"},    {"t.label", "left eye", "left eye"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.property) + "=" + c.text);
        ASSERT_TRUE(graph.Set(c.property, c.text));
        EXPECT_EQ(Read(c.property), c.read);
    }
    EXPECT_EQ(Read("t.rFrames"), "0");
    ASSERT_TRUE(graph.Start());
    EXPECT_TRUE(graph.RunUntil([&] { return Read("t.rFrames") == "7"; }, Deadline)) << Read("t.rFrames");
    graph.Stop();

    recorder.ClearReports();
    std::string text = "kept";
    EXPECT_FALSE(graph.Get("t.missing", text));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"There is no property t.missing."});
}

// A value of the property's type that the component's guarded setter refuses: Set answers
// false, the component's report is the only one, and the value stays; the form without
// reports answers false with nothing to say of the type. A value it takes reads back.
TEST_F(GraphProperties, AValueTheComponentRefusesAnswersFalse) {
    ASSERT_TRUE(graph.AddModel(guardedModel));
    ASSERT_TRUE(graph.Create("guarded", "g"));
    const struct {
        const char* property;
        const char* text;
        const char* report;  // null: taken
        const char* after;
    } cases[] = {
        {"g.level", "256", "component g: level takes 0 to 255, not 256", "100"},
        {"g.level", "-1", "component g: level takes 0 to 255, not -1", "100"},
        {"g.level", "255", nullptr, "255"},
        {"g.ratio", "1.5", "component g: ratio takes 0 to 1", "0.5"},
        {"g.ratio", "0.25", nullptr, "0.25"},
        {"g.label", "forbidden", "component g: label refused", "none"},
        {"g.label", "left", nullptr, "left"},
        {"g.mode", "exact", "component g: mode exact refused", "fast"},
        {"g.mode", "1", "component g: mode exact refused", "fast"},
        {"g.mode", "fast", nullptr, "fast"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.property) + "=" + c.text);
        recorder.ClearReports();
        EXPECT_EQ(graph.Set(c.property, c.text), c.report == nullptr);
        EXPECT_EQ(ReportTexts(), c.report ? std::vector<std::string>{c.report} : std::vector<std::string>{});
        EXPECT_EQ(Read(c.property), c.after);
        if (c.report == nullptr) continue;
        std::string takes = "(untouched)";
        EXPECT_FALSE(graph.Set(c.property, c.text, takes));
        EXPECT_EQ(takes, "") << "the text is of the property's type";
    }
}

// An enumeration also takes its text form, "count|selected|names", as the engine sets it:
// a property whose names are locked (fixedEnumValues) takes the selected index alone, any
// other the names too. A form that would select none of the values, or whose count is not
// that of its names, is refused with the host's error, and the value stays.
TEST_F(GraphProperties, AnEnumerationTakesItsTextForm) {
    TARNModule panel("panel", false, false);
    panel.NewProperty(TARNPropertyDefinition("open", new TARNPropertyValue("low|high", 0), nullptr, false, true),
                      nullptr);
    panel.NewProperty(
        TARNPropertyDefinition("locked", new TARNPropertyValue("low|high", 0), nullptr, false, true, false, true),
        nullptr);
    const struct {
        const char* property;
        const char* text;
        const char* takes;  // null: taken
        const char* after;  // the value's text form after the set
    } cases[] = {
        {"panel.open", "3|2|red|green|blue", nullptr, "3|2|red|green|blue"},
        {"panel.open", "2|1|up|down", nullptr, "2|1|up|down"},
        {"panel.open", "2|5|left|right", "up|down", "2|1|up|down"},
        {"panel.open", "2|-1|left|right", "up|down", "2|1|up|down"},
        {"panel.open", "3|1|left|right", "up|down", "2|1|up|down"},
        {"panel.open", "0|-1", "up|down", "2|1|up|down"},
        {"panel.locked", "2|1|x|y", nullptr, "2|1|low|high"},
        {"panel.locked", "1|0|x", nullptr, "2|0|low|high"},
        {"panel.locked", "2|7|low|high", "low|high", "2|0|low|high"},
        {"panel.locked", "2|-1|low|high", "low|high", "2|0|low|high"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.property) + "=" + c.text);
        recorder.ClearReports();
        EXPECT_EQ(graph.Set(c.property, c.text), c.takes == nullptr);
        const std::vector<std::string> refusal = {"The property " + std::string(c.property) + " takes one of " +
                                                  (c.takes ? c.takes : "") + ", not \"" + c.text + "\"."};
        EXPECT_EQ(ReportTexts(), c.takes ? refusal : std::vector<std::string>{});
        EXPECT_STREQ(kernel.FindProperty(c.property)->EnumValues()->ToString().c_str(), c.after);
    }
}

// The flawed package files "misfiled" under a group an engine does not ask for: the graph
// files it all the same, as it files every model, and warns once.
TEST_F(GraphProperties, AModelAnEngineWouldNotFindIsLoadedWithAWarning) {
    recorder.ClearReports();
    std::string error;
    ASSERT_TRUE(graph.LoadPackage(TARN_FLAWED_PACKAGE, error)) << error;
    const std::vector<std::string> warning = {
        "model misfiled is filed under the group TARNImageProcessing1Src1Dest, not TARNComponent: an engine "
        "that "
        "asks for the TARNComponent models does not find it (the second argument of TARN_MODULE_DECLARATION "
        "is "
        "the group, TARNComponent for a component model)"};
    EXPECT_EQ(ReportTexts(), warning);
    EXPECT_EQ(ReportsAt(1).size(), 1u) << "a warning";
    EXPECT_TRUE(graph.Create("misfiled", "m"));
}

// A model whose record has no factory is filed and listed like any other; making a
// component of it says that it has none, not that there is no such model.
TEST_F(GraphProperties, AModelWithoutAFactoryIsNamedAsSuchWhenAComponentOfItIsAskedFor) {
    std::string error;
    ASSERT_TRUE(graph.LoadPackage(TARN_FLAWED_PACKAGE, error)) << error;
    const std::vector<std::string> models = graph.Models();
    EXPECT_NE(std::find(models.begin(), models.end(), "no_factory"), models.end());
    recorder.ClearReports();

    EXPECT_FALSE(graph.Create("no_factory", "n"));
    EXPECT_EQ(graph.Component("n"), nullptr);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Can't create component n: the model no_factory has no "
                                                      "factory (its record's .factory is null)."});
}

}  // namespace
