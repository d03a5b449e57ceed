// Engine functions: the module the engine loads by name, its configuration and interface
// operations, and their places in the engine's table.
#include "tarn/dataflow/core_function.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/host_kernel_fixture.hpp"
#include "support/virtual_slot.hpp"

namespace {

using CoreFunctionTest = HostKernelTest;

}  // namespace

TEST_F(CoreFunctionTest, AnEngineFunctionHasOnlyTheProcessorPropertyAndNoConfiguration) {
    TARNCoreFunction function("fn");
    EXPECT_STREQ(function.Kind(), "engine function");
    EXPECT_EQ(function.properties.Count(), 1);
    EXPECT_NE(function.processorProperty, nullptr);
    EXPECT_EQ(function.counterProperty, nullptr);

    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(function.SaveConfiguration(buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer, 4), "abcd");

    EXPECT_EQ(function.GetInterface(), nullptr);
    function.GetInterface();
    EXPECT_EQ(function.interfaceRefCount, 2u);
    function.ReleaseInterface();
    EXPECT_EQ(function.interfaceRefCount, 1u);
}

// The engine calls an engine function through its table by position.
TEST(CoreFunctionSlots, OperationsLandInTheEnginesSlots) {
    // It continues the module's table (slots 0 to 17).
    EXPECT_EQ(VirtualSlot(static_cast<void (TARNCoreFunction::*)()>(&TARNCoreFunction::LoadConfiguration)),
              18);
    EXPECT_EQ(VirtualSlot(static_cast<void (TARNCoreFunction::*)()>(&TARNCoreFunction::SaveConfiguration)),
              19);
    EXPECT_EQ(VirtualSlot(static_cast<void (TARNCoreFunction::*)(const char*, int)>(
                  &TARNCoreFunction::LoadConfiguration)),
              20);
    EXPECT_EQ(
        VirtualSlot(static_cast<int (TARNCoreFunction::*)(char*, int)>(&TARNCoreFunction::SaveConfiguration)),
        21);
    EXPECT_EQ(VirtualSlot(&TARNCoreFunction::GetInterface), 22);
    EXPECT_EQ(VirtualSlot(&TARNCoreFunction::ReleaseInterface), 23);
}
