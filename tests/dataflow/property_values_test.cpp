// A module's property values: the change rules and type checks of the guarded Set, the
// unguarded DirectSet, the typed Get, enumerations set by index and by text, path
// properties, callbacks, and the readers on a given module and by name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "property_fixture.hpp"

namespace {

const TARNStackedString<40> Text("xyz");
const TARNEnumStruct Colours("cyan|magenta", 0);

// ---- Change rules -------------------------------------------------------------------

struct RuleCase {
    const char* name;
    bool changeableAfterStart;
    bool readOnly;
    bool isMutable;
    bool running;
    // The tail of the refusal, or null when the Set passes.
    const char* refusal;
};

class ChangeRules : public PropertyTest, public ::testing::WithParamInterface<RuleCase> {};

const RuleCase RuleCases[] = {
    {"FixedWhileRunning", false, false, true, true, ". This property can't be modified after start."},
    // The running check comes first, also for a read-only property.
    {"FixedAndReadOnlyWhileRunning", false, true, true, true,
     ". This property can't be modified after start."},
    {"ReadOnlyWhileRunning", true, true, true, true, ". This property is read only."},
    {"ReadOnlyAtRest", false, true, true, false, ". This property is read only."},
    {"NotMutable", true, false, false, true, ". This property is not mutable."},
    {"FixedAtRest", false, false, true, false, nullptr},
    {"ChangeableWhileRunning", true, false, true, true, nullptr},
};

}  // namespace

TEST_P(ChangeRules, GuardedSetRefusesWithTheRuleMessage) {
    const RuleCase& c = GetParam();
    Rules rules;
    rules.changeableAfterStart = c.changeableAfterStart;
    rules.readOnly = c.readOnly;
    TARNProperty& property = Make(Kind::Integer, "p", rules);
    property.SetMutable(c.isMutable);
    SetRunning(c.running);

    const int thrown = ThrownCode([&] { property.Set(9L); });

    long value = 0;
    module->Get(property, value);
    if (c.refusal == nullptr) {
        EXPECT_EQ(thrown, 0);
        EXPECT_EQ(value, 9);
        EXPECT_TRUE(Errors().empty());
        return;
    }
    EXPECT_EQ(thrown, -5);
    EXPECT_EQ(value, 7);
    ASSERT_EQ(ReportsAt(2).size(), 1u);
    EXPECT_EQ(ReportsAt(2)[0].message,
              std::string("module cam: Failure while trying to set value of property cam.p") + c.refusal);
    EXPECT_EQ(ReportsAt(2)[0].parameter, 1);
    EXPECT_TRUE(module->State() & TARNModule::InError);
}

INSTANTIATE_TEST_SUITE_P(Property, ChangeRules, ::testing::ValuesIn(RuleCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PropertyTest, StandardPropertiesFollowTheirDefinitions) {
    // "nbPeriods" may change while running, "counter" never.
    EXPECT_EQ(ThrownCode([&] { module->nbPeriodsProperty->Set(5L); }), 0);
    SetRunning(false);
    EXPECT_EQ(ThrownCode([&] { module->counterProperty->Set(5L); }), -5);
    EXPECT_EQ(
        Errors().back(),
        "module cam: Failure while trying to set value of property cam.counter. This property is read only.");
}

TEST_F(PropertyTest, DirectSetIgnoresTheChangeRules) {
    Rules rules;
    rules.changeableAfterStart = false;
    rules.readOnly = true;
    TARNProperty& property = Make(Kind::Integer, "p", rules);
    property.SetMutable(false);

    module->DirectSet(property, 11L);

    long value = 0;
    module->Get(property, value);
    EXPECT_EQ(value, 11);
    EXPECT_TRUE(Errors().empty());
}

// ---- Type checks --------------------------------------------------------------------

namespace {

struct SetterCase {
    const char* name;
    // The kinds the setter accepts.
    std::vector<Kind> accepted;
    const char* typeMessage;
    std::function<void(TARNModule&, TARNProperty&)> guarded;
    std::function<void(TARNModule&, TARNProperty&)> direct;
};

const std::vector<SetterCase>& SetterCases() {
    static const std::vector<SetterCase> cases = {
        {"Bool",
         {Kind::Bool},
         "Can't set boolean value for property ",
         [](TARNModule& m, TARNProperty& p) { m.Set(p, true); },
         [](TARNModule& m, TARNProperty& p) { m.DirectSet(p, true); }},
        {"Integer",
         {Kind::Integer, Kind::Enumeration},
         "Can't set integer value for property ",
         [](TARNModule& m, TARNProperty& p) { m.Set(p, 2L); },
         [](TARNModule& m, TARNProperty& p) { m.DirectSet(p, 2L); }},
        {"Float",
         {Kind::Float},
         "Can't set float value for property ",
         [](TARNModule& m, TARNProperty& p) { m.Set(p, 1.5); },
         [](TARNModule& m, TARNProperty& p) { m.DirectSet(p, 1.5); }},
        {"Text",
         {Kind::Text, Kind::Enumeration},
         "Can't set string value for property ",
         [](TARNModule& m, TARNProperty& p) { m.Set(p, Text); },
         [](TARNModule& m, TARNProperty& p) { m.DirectSet(p, Text); }},
        {"Enumeration",
         {Kind::Enumeration},
         "Can't set enum values for property ",
         [](TARNModule& m, TARNProperty& p) { m.Set(p, Colours); },
         [](TARNModule& m, TARNProperty& p) { m.DirectSet(p, Colours); }},
        {"EnumerationNames",
         {Kind::Enumeration},
         "Can't set enum values for property ",
         [](TARNModule& m, TARNProperty& p) { m.Set(p, TARNStackedString<40>("a|b"), 1); },
         [](TARNModule& m, TARNProperty& p) { m.DirectSet(p, TARNStackedString<40>("a|b"), 1); }},
    };
    return cases;
}

class SetterTypes : public PropertyTest, public ::testing::WithParamInterface<SetterCase> {};

bool Accepts(const std::vector<Kind>& accepted, Kind kind) {
    for (Kind k : accepted)
        if (k == kind) return true;
    return false;
}

}  // namespace

TEST_P(SetterTypes, RefuseEveryOtherKindWithTheTypeMessage) {
    const SetterCase& c = GetParam();
    for (Kind kind : {Kind::Bool, Kind::Integer, Kind::Float, Kind::Text, Kind::Enumeration}) {
        SCOPED_TRACE(KindName(kind));
        const std::string name = std::string("g") + KindName(kind);
        TARNProperty& guarded = Make(kind, name.c_str());
        TARNProperty& direct = Make(kind, ("d" + std::string(KindName(kind))).c_str());
        recorder.ClearReports();

        const int guardedThrown = ThrownCode([&] { c.guarded(*module, guarded); });
        const int directThrown = ThrownCode([&] { c.direct(*module, direct); });

        if (Accepts(c.accepted, kind)) {
            EXPECT_EQ(guardedThrown, 0);
            EXPECT_EQ(directThrown, 0);
            continue;
        }
        EXPECT_EQ(guardedThrown, -5);
        EXPECT_EQ(directThrown, -5);
        const std::vector<std::string> expected = {
            "module cam: " + std::string(c.typeMessage) + "cam." + name,
            "module cam: " + std::string(c.typeMessage) + "cam.d" + KindName(kind)};
        EXPECT_EQ(Errors(), expected);
        for (const HostReport& report : ReportsAt(2)) EXPECT_EQ(report.parameter, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Property, SetterTypes, ::testing::ValuesIn(SetterCases()),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct GetterCase {
    const char* name;
    std::vector<Kind> accepted;
    const char* typeMessage;
    std::function<void(TARNModule&, TARNProperty&)> get;
    // The reader on a given module: false, without a report, for a kind that does not fit.
    std::function<bool(TARNModule&, TARNProperty&)> getOn;
};

template <class V>
std::function<void(TARNModule&, TARNProperty&)> Getter() {
    return [](TARNModule& m, TARNProperty& p) {
        V value{};
        m.Get(p, value);
    };
}

template <class V>
std::function<bool(TARNModule&, TARNProperty&)> GetterOn() {
    return [](TARNModule& m, TARNProperty& p) {
        V value{};
        return TARNModule::Get(m, p, value);
    };
}

const std::vector<GetterCase>& GetterCases() {
    static const std::vector<GetterCase> cases = {
        {"Bool", {Kind::Bool}, "Can't get boolean value from property ", Getter<bool>(), GetterOn<bool>()},
        {"Integer",
         {Kind::Integer, Kind::Enumeration},
         "Can't get integer value from property ",
         Getter<long>(),
         GetterOn<long>()},
        {"Float",
         {Kind::Float},
         "Can't get floating point value from property ",
         Getter<double>(),
         GetterOn<double>()},
        {"Text",
         {Kind::Text, Kind::Enumeration},
         "Can't get string value from property ",
         Getter<TARNStackedString<40> >(),
         GetterOn<TARNStackedString<40> >()},
        {"Enumeration",
         {Kind::Enumeration},
         "Can't get enum values from property ",
         Getter<TARNEnumStruct>(),
         GetterOn<TARNEnumStruct>()},
    };
    return cases;
}

class GetterTypes : public PropertyTest, public ::testing::WithParamInterface<GetterCase> {};

}  // namespace

TEST_P(GetterTypes, RefuseEveryOtherKindWithTheTypeMessage) {
    const GetterCase& c = GetParam();
    for (Kind kind : {Kind::Bool, Kind::Integer, Kind::Float, Kind::Text, Kind::Enumeration}) {
        SCOPED_TRACE(KindName(kind));
        TARNProperty& property = Make(kind, KindName(kind));
        recorder.ClearReports();

        const bool accepted = Accepts(c.accepted, kind);
        EXPECT_EQ(c.getOn(*module, property), accepted);
        EXPECT_TRUE(Errors().empty());

        const int thrown = ThrownCode([&] { c.get(*module, property); });
        if (accepted) {
            EXPECT_EQ(thrown, 0);
            EXPECT_TRUE(Errors().empty());
        } else {
            EXPECT_EQ(thrown, -5);
            EXPECT_EQ(Errors(), std::vector<std::string>{"module cam: " + std::string(c.typeMessage) +
                                                         "cam." + KindName(kind)});
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Property, GetterTypes, ::testing::ValuesIn(GetterCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Stored values ------------------------------------------------------------------

TEST_F(PropertyTest, EveryKindReadsBackWhatWasSet) {
    TARNProperty& flag = Make(Kind::Bool, "flag");
    TARNProperty& count = Make(Kind::Integer, "count");
    TARNProperty& gain = Make(Kind::Float, "gain");
    TARNProperty& label = Make(Kind::Text, "label");
    TARNProperty& colour = Make(Kind::Enumeration, "colour");

    flag.Set(true);
    count.Set(-12L);
    gain.Set(0.25);
    label.Set("hello");
    colour.Set(Colours);

    bool b = false;
    long l = 0;
    double d = 0;
    TARNStackedString<40> s;
    TARNEnumStruct e;
    flag.Get(b);
    count.Get(l);
    gain.Get(d);
    label.Get(s);
    colour.Get(e);
    EXPECT_TRUE(b);
    EXPECT_EQ(l, -12);
    EXPECT_EQ(d, 0.25);
    EXPECT_STREQ(s.c_str(), "hello");
    EXPECT_STREQ(e.ToString().c_str(), "2|0|cyan|magenta");
    // An enumeration read as an integer or a text gives its selection.
    colour.Get(l);
    colour.Get(s);
    EXPECT_EQ(l, 0);
    EXPECT_STREQ(s.c_str(), "cyan");

    // The enumeration from its names and an index.
    colour.Set(TARNStackedString<40>("one|two|three"), 2);
    colour.Get(e);
    EXPECT_STREQ(e.ToString().c_str(), "3|2|one|two|three");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(PropertyTest, SetClearsMustBeSetAndRunsTheCallbackDirectSetDoesNeither) {
    static int calls;
    static long seen;
    calls = 0;
    Rules rules;
    rules.mustBeSet = true;
    TARNProperty& guarded = Make(Kind::Integer, "g", rules);
    TARNProperty& direct = Make(Kind::Integer, "d", rules);
    auto callback = [](TARNProperty& property) {
        ++calls;
        // The value is stored before the callback runs.
        seen = property.IntegerValue();
    };
    guarded.SetSetCallback(callback);
    direct.SetSetCallback(callback);
    guarded.AcknowledgePropertyChanged();
    direct.AcknowledgePropertyChanged();

    guarded.Set(3L);
    module->DirectSet(direct, 4L);

    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, 3);
    EXPECT_FALSE(Impl(guarded).definition.needsInit);
    EXPECT_TRUE(Impl(direct).definition.needsInit);
    // Both announce the change.
    for (TARNProperty* property : {&guarded, &direct}) {
        EXPECT_TRUE(property->PropertyChanged());
        EXPECT_EQ(property->PropertyChangedEvent().Wait(0), 0);
    }
}

TEST_F(PropertyTest, AThrowingSetCallbackLeavesTheLocksFreeAndTheChangeUnannounced) {
    TARNProperty& property = Make(Kind::Integer);
    property.SetSetCallback([](TARNProperty&) { throw 42; });
    property.AcknowledgePropertyChanged();

    EXPECT_EQ(ThrownCode([&] { property.Set(5L); }), 42);

    EXPECT_FALSE(property.PropertyChanged());
    EXPECT_EQ(property.PropertyChangedEvent().Wait(0), -3);
    EXPECT_TRUE(FreeForOtherThreads(module->propertyLock));
    EXPECT_TRUE(FreeForOtherThreads(module->moduleLock));
}

TEST_F(PropertyTest, GetCallbacksMayReplaceTheValueRead) {
    TARNProperty& count = Make(Kind::Integer, "count");
    TARNProperty& label = Make(Kind::Text, "label");
    count.SetGetCallback([](TARNProperty&, void* result) { *static_cast<long*>(result) += 100; });
    label.SetGetCallback(
        [](TARNProperty&, void* result) { *static_cast<TARNStackedString<40>*>(result) += "!"; });

    long l = 0;
    TARNStackedString<40> s;
    count.Get(l);
    label.Get(s);
    EXPECT_EQ(l, 107);
    EXPECT_STREQ(s.c_str(), "abc!");
    // The stored values are untouched.
    EXPECT_EQ(count.IntegerValue(), 7);
}

// ---- Enumerations -------------------------------------------------------------------

namespace {

struct IndexCase {
    const char* name;
    const char* names;  // null: an enumeration without names
    long index;
    int selectedAfter;
    const char* report;  // after "module cam: ", or null
};

const IndexCase IndexCases[] = {
    {"InRange", "red|green|blue", 2, 2, nullptr},
    {"AboveTheRange", "red|green|blue", 5, 0,
     "Index 5 not among possible values for enum property cam.e [0..2]"},
    {"BelowTheRange", "red|green|blue", -1, 0,
     "Index -1 not among possible values for enum property cam.e [0..2]"},
    {"OneValue", "red", 5, 0, "Index 5 not among possible values for enum property cam.e [0]"},
    {"NoValuesAnyIndex", nullptr, 3, -1, "Index 3 not among possible values for enum property cam.e [-1]"},
    {"NoValuesNoSelection", nullptr, -1, -1, nullptr},
};

class EnumerationIndex : public PropertyTest, public ::testing::WithParamInterface<IndexCase> {};

}  // namespace

TEST_P(EnumerationIndex, SetAndDirectSetSelectOrReportTheRange) {
    const IndexCase& c = GetParam();
    for (bool guarded : {true, false}) {
        SCOPED_TRACE(guarded ? "Set" : "DirectSet");
        TARNEnumStruct initial(c.names, 0);
        TARNProperty& property = MakeFrom(new TARNPropertyValue(initial), guarded ? "e" : "e");
        recorder.ClearReports();
        property.AcknowledgePropertyChanged();

        if (guarded)
            property.Set(c.index);
        else
            module->DirectSet(property, c.index);

        EXPECT_EQ(property.EnumValues()->selected, c.selectedAfter);
        EXPECT_TRUE(property.PropertyChanged());
        if (c.report == nullptr) {
            EXPECT_TRUE(Errors().empty());
        } else {
            EXPECT_EQ(Errors(), std::vector<std::string>{std::string("module cam: ") + c.report});
        }
        module->RemoveProperty(&property);
    }
}

INSTANTIATE_TEST_SUITE_P(Property, EnumerationIndex, ::testing::ValuesIn(IndexCases),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct EnumTextCase {
    const char* name;
    const char* names;  // null: no names
    bool valuesLocked;
    bool guarded;
    const char* text;
    const char* after;   // the enumeration's text form afterwards
    const char* report;  // after "module cam: ", or null
    bool changed;
};

const EnumTextCase EnumTextCases[] = {
    {"SetSelectsByName", "red|green|blue", true, true, "blue", "3|2|red|green|blue", nullptr, true},
    {"DirectSetSelectsByName", "red|green|blue", true, false, "blue", "3|2|red|green|blue", nullptr, true},
    // Set leaves no selection, DirectSet the previous one.
    {"SetUnknownName", "red|green|blue", true, true, "pink", "3|-1|red|green|blue",
     "pink does not match any of the possible properties for property cam.e", true},
    {"DirectSetUnknownName", "red|green|blue", true, false, "pink", "3|1|red|green|blue",
     "\"pink\" not among possible values for enum property cam.e", true},
    // An enumeration text: with the values locked only the selection changes.
    {"SetTextFormLocked", "red|green|blue", true, true, "2|2|x|y", "3|2|red|green|blue", nullptr, true},
    {"SetTextFormUnlocked", "red|green|blue", false, true, "2|0|x|y", "2|0|x|y", nullptr, true},
    {"DirectSetTextFormIgnoresTheLock", "red|green|blue", true, false, "2|0|x|y", "2|0|x|y", nullptr, true},
    {"SetWithoutNames", nullptr, true, true, "red", "0|-1", "No possible value for property cam.e", true},
    {"DirectSetWithoutNames", nullptr, true, false, "red", "0|-1",
     "No possible value for enum property cam.e", false},
};

class EnumerationText : public PropertyTest, public ::testing::WithParamInterface<EnumTextCase> {};

}  // namespace

TEST_P(EnumerationText, SelectsReplacesOrReports) {
    const EnumTextCase& c = GetParam();
    Rules rules;
    rules.valuesLocked = c.valuesLocked;
    TARNProperty& property = MakeFrom(new TARNPropertyValue(TARNEnumStruct(c.names, 1)), "e", rules);
    recorder.ClearReports();
    property.AcknowledgePropertyChanged();

    if (c.guarded)
        property.Set(c.text);
    else
        module->DirectSet(property, c.text);

    EXPECT_STREQ(property.EnumValues()->ToString().c_str(), c.after);
    EXPECT_EQ(property.PropertyChanged(), c.changed);
    if (c.report == nullptr)
        EXPECT_TRUE(Errors().empty());
    else
        EXPECT_EQ(Errors(), std::vector<std::string>{std::string("module cam: ") + c.report});
}

INSTANTIATE_TEST_SUITE_P(Property, EnumerationText, ::testing::ValuesIn(EnumTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PropertyTest, AnEnumerationWithoutSelectionReadsAsTheEmptyText) {
    TARNProperty& property = Make(Kind::Enumeration, "e");
    property.Set("pink");  // no such name: no selection

    TARNStackedString<40> text("previous");
    property.Get(text);
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_STREQ(property.StringValue().c_str(), "");
}

// ---- Paths --------------------------------------------------------------------------

namespace {

struct PathCase {
    const char* name;
    unsigned int subType;
    // "FILE" and "FOLDER" stand for an existing file and folder made by the test.
    const char* path;
    const char* reportTail;  // after the path, or null
};

const PathCase PathCases[] = {
    {"MissingFile", 0x50, "/nonexistent/file.bin", " does not exist or is not readable."},
    {"ExistingFile", 0x50, "FILE", nullptr},
    {"MissingFolder", 0x60, "/nonexistent/folder", " is not a directory."},
    {"FileForAFolder", 0x60, "FILE", " is not a directory."},
    {"ExistingFolder", 0x60, "FOLDER", nullptr},
    {"EmptyTextIsNotTested", 0x60, "", nullptr},
    // Without 0x40 the path need not exist.
    {"FolderNeedNotExist", 0x20, "/nonexistent/folder", nullptr},
};

class PathProperty : public PropertyTest, public ::testing::WithParamInterface<PathCase> {
  protected:
    void SetUp() override {
        PropertyTest::SetUp();
        char folder[] = "/tmp/tarn_property_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        m_file = m_folder + "/existing.txt";
        FILE* file = std::fopen(m_file.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    }
    void TearDown() override {
        std::remove(m_file.c_str());
        rmdir(m_folder.c_str());
        PropertyTest::TearDown();
    }

    std::string Resolve(const char* path) const {
        if (std::string(path) == "FILE") return m_file;
        if (std::string(path) == "FOLDER") return m_folder;
        return path;
    }

  private:
    std::string m_folder;
    std::string m_file;
};

}  // namespace

TEST_P(PathProperty, ReportsAMissingPathAndStoresItAnyway) {
    const PathCase& c = GetParam();
    Rules rules;
    rules.subType = c.subType;
    TARNProperty& property = Make(Kind::Text, "path", rules);
    const std::string path = Resolve(c.path);
    recorder.ClearReports();

    property.Set(path.c_str());

    TARNStackedString<40> stored;
    property.Get(stored);
    EXPECT_EQ(std::string(stored.c_str()), path);
    if (c.reportTail == nullptr) {
        EXPECT_TRUE(Errors().empty());
    } else {
        // A report of the SDK, not of the module: no module prefix.
        ASSERT_EQ(ReportsAt(2).size(), 1u);
        EXPECT_EQ(ReportsAt(2)[0].message, path + c.reportTail);
        EXPECT_EQ(ReportsAt(2)[0].parameter, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Property, PathProperty, ::testing::ValuesIn(PathCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Readers by name and on a given module --------------------------------------------

TEST_F(PropertyTest, GetPropertyReadsByShortName) {
    Make(Kind::Bool, "flag").Set(true);
    bool flag = false;
    long periods = 0;

    module->GetProperty("flag", flag);
    module->GetProperty("nbPeriods", periods);

    EXPECT_TRUE(flag);
    EXPECT_EQ(periods, 10);
}

TEST_F(PropertyTest, GetPropertyOfAnUnknownNameThrowsAndReleasesTheModuleLock) {
    long value = 0;
    EXPECT_EQ(ThrownCode([&] { module->GetProperty("nothing", value); }), -5);
    EXPECT_TRUE(FreeForOtherThreads(module->moduleLock));
}

TEST_F(PropertyTest, GetOnAModuleGoesThroughTheOwnersVirtualGet) {
    // A module whose Get of integers answers its own figure.
    class Doubling : public TARNModule {
      public:
        Doubling() : TARNModule("twice", false, false) {}
        using TARNModule::Get;
        void Get(TARNProperty& property, long& value) override {
            TARNModule::Get(property, value);
            value *= 2;
        }
    } doubling;
    static TARNPropertyDefinition definition("n", new TARNPropertyValue(21L));
    TARNProperty& property = *doubling.NewProperty(definition, nullptr);

    long value = 0;
    EXPECT_TRUE(TARNModule::Get(doubling, property, value));
    EXPECT_EQ(value, 42);
}
