// Construction and destruction of a module: its standard properties, their symbols and
// what a refused standard property leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/symbol_record.hpp"
#include "module_fixture.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

const std::vector<std::string> AllStandard = {"processor", "counter",   "nbPeriods",       "averagePeriod",
                                              "minPeriod", "maxPeriod", "contextSwitches", "CPULoad"};

std::vector<std::string> ShortNames(const TARNModule& module) {
    std::vector<std::string> names;
    for (TARNProperty* property : module.properties) names.push_back(property->ShortName().c_str());
    return names;
}

std::vector<std::string> FullNames(const TARNModule& module) {
    std::vector<std::string> names;
    for (TARNProperty* property : module.properties) names.push_back(property->Name().c_str());
    return names;
}

std::vector<std::string> Symbols(const TARNModule& module) {
    std::vector<std::string> names;
    for (const TARNStackedString<40>& name : module.symbolNames) names.push_back(name.c_str());
    return names;
}

std::vector<std::string> Prefixed(const std::string& module, const std::vector<std::string>& names) {
    std::vector<std::string> full;
    for (const std::string& name : names) full.push_back(module + "." + name);
    return full;
}

struct FlagsCase {
    bool perfProps;
    bool processorProp;
    std::vector<std::string> expected;
};

class ModuleConstructionTest : public ModuleTest, public ::testing::WithParamInterface<FlagsCase> {};

}  // namespace

TEST_P(ModuleConstructionTest, CreatesTheStandardPropertiesAsksForInOrderWithTheirSymbols) {
    const FlagsCase& flags = GetParam();
    TARNModule module("cam", flags.perfProps, flags.processorProp);

    EXPECT_EQ(ShortNames(module), flags.expected);
    EXPECT_EQ(FullNames(module), Prefixed("cam", flags.expected));
    EXPECT_EQ(Symbols(module), Prefixed("cam", flags.expected));
    for (const std::string& name : Prefixed("cam", flags.expected))
        EXPECT_NE(kernel.FindSymbol(name.c_str()), nullptr) << name;
    for (TARNProperty* property : module.properties) EXPECT_EQ(property->Owner(), &module);

    EXPECT_EQ(module.sdkPropertyCount, flags.expected.size());
    EXPECT_EQ(module.lastStandardProperty, module.properties.Tail());
    EXPECT_EQ(module.processorProperty != nullptr, flags.processorProp);
    for (TARNProperty* field :
         {module.counterProperty, module.nbPeriodsProperty, module.averagePeriodProperty,
          module.minPeriodProperty, module.maxPeriodProperty, module.contextSwitchesProperty,
          module.CPULoadProperty})
        EXPECT_EQ(field != nullptr, flags.perfProps);

    EXPECT_EQ(module.State(), TARNModule::Running);
    EXPECT_EQ(module.lives, 0u);
    EXPECT_FALSE(module.threaded);
    EXPECT_TRUE(module.errorText.IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Flags, ModuleConstructionTest,
                         ::testing::Values(FlagsCase{false, false, {}}, FlagsCase{false, true, {"processor"}},
                                           FlagsCase{true, false,
                                                     std::vector<std::string>(AllStandard.begin() + 1,
                                                                              AllStandard.end())},
                                           FlagsCase{true, true, AllStandard}));

TEST_F(ModuleTest, StandardPropertiesTakeTheirDefaultsAndFieldsPointAtTheirOwnProperty) {
    TARNModule module("cam", true, true);
    EXPECT_EQ(module.processorProperty->IntegerValue(), -1);
    EXPECT_EQ(module.nbPeriodsProperty->IntegerValue(), 10);
    EXPECT_EQ(module.counterProperty->IntegerValue(), 0);
    // The fields follow their names, not the creation order (maxPeriod is declared first).
    EXPECT_STREQ(module.minPeriodProperty->ShortName().c_str(), "minPeriod");
    EXPECT_STREQ(module.maxPeriodProperty->ShortName().c_str(), "maxPeriod");
    EXPECT_STREQ(module.CPULoadProperty->ShortName().c_str(), "CPULoad");
    EXPECT_STREQ(module.contextSwitchesProperty->ShortName().c_str(), "contextSwitches");
}

TEST_F(ModuleTest, DestructionUnregistersEverySymbolOfTheModule) {
    auto* module = new TARNModule("cam", true, true);
    TARNActionDefinition definition("go");
    module->NewAction(definition, nullptr);
    const std::vector<std::string> symbols = Symbols(*module);
    ASSERT_EQ(symbols.size(), 9u);

    delete module;

    for (const std::string& name : symbols) EXPECT_EQ(kernel.FindSymbol(name.c_str()), nullptr) << name;
    // The names are free again.
    TARNModule again("cam", true, true);
    EXPECT_EQ(Symbols(again).size(), 8u);
}

TEST_F(ModuleTest, ASecondModuleOfTheSameNameFailsAndLeavesTheFirstUntouched) {
    TARNModule first("cam", true, true);
    recorder.ClearReports();

    EXPECT_EQ(ThrownCode([] { TARNModule second("cam", true, true); }), -5);

    const std::vector<HostReport> errors = ReportsAt(2);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message,
              "module cam: Can't create property cam.processor. The symbol already exists.");
    EXPECT_EQ(errors[0].parameter, 1);
    EXPECT_EQ(Symbols(first), Prefixed("cam", AllStandard));
    for (const std::string& name : Prefixed("cam", AllStandard))
        EXPECT_NE(kernel.FindSymbol(name.c_str()), nullptr) << name;
    EXPECT_EQ(first.properties.Count(), 8);
}

TEST_F(ModuleTest, WithoutProcessorTheClashIsOnCounter) {
    TARNModule first("cam", true, false);
    recorder.ClearReports();

    EXPECT_EQ(ThrownCode([] { TARNModule second("cam", true, false); }), -5);

    ASSERT_EQ(ReportsAt(2).size(), 1u);
    EXPECT_EQ(ReportsAt(2)[0].message,
              "module cam: Can't create property cam.counter. The symbol already exists.");
}

TEST_F(ModuleTest, AClashOnALaterStandardPropertyGivesBackTheOnesAlreadyMade) {
    // Another module holds "cam.nbPeriods": "processor" and "counter" register first.
    TARNModule holder("other", false, false);
    holder.NewSpecialProperty(TARNModule::NbPeriodsPropertyDefinition, "\\cam.nbPeriods");

    EXPECT_EQ(ThrownCode([] { TARNModule clashing("cam", true, true); }), -5);

    EXPECT_EQ(kernel.FindSymbol("cam.processor"), nullptr);
    EXPECT_EQ(kernel.FindSymbol("cam.counter"), nullptr);
    EXPECT_NE(kernel.FindSymbol("cam.nbPeriods"), nullptr);
    // Nothing of the failed module is left to clash with.
    holder.RemoveProperty(&holder.Property("cam.nbPeriods"));
    TARNModule module("cam", true, true);
    EXPECT_EQ(Symbols(module), Prefixed("cam", AllStandard));
}
