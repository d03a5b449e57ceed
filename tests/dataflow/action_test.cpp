#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataflow/action_implementation.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/virtual_slot.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/module.hpp"

namespace {

// What the callbacks saw, in order.
struct Call {
    std::string form;
    TARNModule* module;
    int index;
    std::string argument;
};
std::vector<Call> calls;

void withoutArgument(TARNModule* module, int index) {
    calls.push_back({"two", module, index, ""});
}

void withArgument(TARNModule* module, int index, const char* argument) {
    calls.push_back({"three", module, index, argument ? argument : "(null)"});
}

class ActionTest : public HostKernelTest {
  protected:
    void SetUp() override {
        HostKernelTest::SetUp();
        calls.clear();
    }
};

}  // namespace

TEST_F(ActionTest, RunsTheCallbackWithArgumentWhenThereIsOneElseTheOtherElseNothing) {
    TARNModule module("cam", false, false);
    TARNActionDefinition both("both", new TARNActionCallbacks{withoutArgument, withArgument});
    TARNActionDefinition two("two", new TARNActionCallbacks{withoutArgument, nullptr});
    TARNActionDefinition three("three", new TARNActionCallbacks{nullptr, withArgument});
    TARNActionDefinition none("none", nullptr);
    TARNActionDefinition empty("empty", new TARNActionCallbacks{nullptr, nullptr});

    TARNAction* bothAction = module.NewAction(both, nullptr);
    TARNAction* twoAction = module.NewAction(two, nullptr);
    TARNAction* threeAction = module.NewAction(three, nullptr);
    TARNAction* noneAction = module.NewAction(none, nullptr);
    TARNAction* emptyAction = module.NewAction(empty, nullptr);

    bothAction->DoIt("go");
    twoAction->DoIt("ignored");
    threeAction->DoIt(nullptr);
    noneAction->DoIt("x");
    emptyAction->DoIt("x");

    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].form, "three");
    EXPECT_EQ(calls[0].module, &module);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].argument, "go");
    EXPECT_EQ(calls[1].form, "two");
    EXPECT_EQ(calls[1].index, 1);
    EXPECT_EQ(calls[2].form, "three");
    EXPECT_EQ(calls[2].index, 2);
    EXPECT_EQ(calls[2].argument, "(null)");
}

// The action runs its own copy of the callbacks: the definition may go (the package is
// unloaded after the static tables) while the action lives on.
TEST_F(ActionTest, KeepsItsOwnCopyOfTheCallbacks) {
    TARNModule module("cam", false, false);
    TARNAction* action;
    {
        TARNActionDefinition definition("act", new TARNActionCallbacks{withoutArgument, nullptr});
        action = module.NewAction(definition, nullptr);
        definition.callback->withoutArgument = nullptr;
    }
    action->DoIt(nullptr);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].form, "two");
}

TEST_F(ActionTest, ARestingModuleRunsOnlyTheActionsAllowedAtRest) {
    TARNModule module("cam", false, false);
    TARNActionDefinition busy("busy", new TARNActionCallbacks{withoutArgument, nullptr}, 0);
    TARNActionDefinition idle("idle", new TARNActionCallbacks{withoutArgument, nullptr}, 1);
    TARNAction* busyAction = module.NewAction(busy, nullptr);
    TARNAction* idleAction = module.NewAction(idle, nullptr);

    busyAction->DoIt(nullptr);
    EXPECT_EQ(calls.size(), 1u) << "a running module runs every action";

    module.state |= TARNModule::MainLoopEnded;
    recorder.ClearReports();
    busyAction->DoIt(nullptr);
    EXPECT_EQ(calls.size(), 1u);
    ASSERT_EQ(recorder.Reports().size(), 1u);
    EXPECT_EQ(recorder.Reports()[0],
              (HostReport{"module cam: This action is not allowed when the component is not running.", 1, 0,
                          false}));

    idleAction->DoIt(nullptr);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].index, 1);
}

// Renaming the owning module: the part before the first point must be the old module name
// exactly; it then becomes the new name (empty when null) and the rest stays.
TEST(ActionRename, ReplacesTheModulePartOnlyWhenItIsTheOldName) {
    struct Case {
        const char* fullName;
        const char* oldName;
        const char* newName;
        const char* expected;
    };
    const Case cases[] = {
        {"cam.snap", "cam", "front", "front.snap"},
        {"camera.snap", "cam", "front", "camera.snap"},  // a longer module name
        {"cam.snap", "camera", "front", "cam.snap"},     // a shorter one
        {"cam.snap", "cam", nullptr, ".snap"},           // the point stays
        {"cam.snap", "cam", "", ".snap"},
        {"cam.sub.snap", "cam", "x", "x.sub.snap"},  // only up to the first point
        {"cam.sub.snap", "cam.sub", "x", "cam.sub.snap"},
        {"cam", "cam", "front", "front"},           // no point: the whole name
        {".snap", nullptr, "front", "front.snap"},  // a null old name is empty
        {"cam.snap", nullptr, "front", "cam.snap"},
    };
    for (const Case& c : cases) {
        TARNActionImplementation action;
        action.fullName = c.fullName;
        action.shortName = "snap";
        action.Rename(c.oldName, c.newName);
        EXPECT_STREQ(action.Name().c_str(), c.expected)
            << c.fullName << " from " << (c.oldName ? c.oldName : "null") << " to "
            << (c.newName ? c.newName : "null");
        EXPECT_STREQ(action.ShortName().c_str(), "snap");
    }
}

TEST(ActionSlots, TheEngineFindsDoItNameAndShortNameFirst) {
    EXPECT_EQ(VirtualSlot(&TARNAction::DoIt), 0);
    EXPECT_EQ(VirtualSlot(&TARNAction::Name), 1);
    EXPECT_EQ(VirtualSlot(&TARNAction::ShortName), 2);
}
