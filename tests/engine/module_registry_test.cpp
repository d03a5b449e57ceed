#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/kernel_pointer.hpp"
#include "engine/module_group_definition.hpp"
#include "engine/module_management.hpp"
#include "engine/package_entry.hpp"
#include "host_kernel.hpp"
#include "kernel_binding.hpp"
#include "tarn/engine/module_base.hpp"
#include "tarn/engine/module_definition.hpp"
#include "tarn/runtime/stacked_string.hpp"

namespace {
// The registry of this test program, emptied before and after each test; the kernel is
// bound only by the tests that call TARNPckInit.
class ModuleRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        TARNModuleManagement::Uninitialize();
        events.clear();
    }
    void TearDown() override { TARNModuleManagement::Uninitialize(); }

    static TARNModuleDefinition* Declare(const char* name, const char* group, void* userData = nullptr) {
        return new TARNModuleDefinition(name, group, nullptr, userData, nullptr, nullptr);
    }
    static int Count(const char* group) { return TARNGetModulesDefStruct(group, nullptr, 0); }
    static std::vector<std::string> Names(const char* group, int max = 16) {
        std::vector<TARNModuleDefinition*> table(max);
        const int n = TARNModuleManagement::EnumerateAvailableModules(table.data(), max, group, true);
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i) names.push_back(table[i]->name);
        return names;
    }

    // What the hooks saw, in order.
    static std::vector<std::string> events;
    static void ModuleInit(void* data) {
        events.push_back(std::string("init ") + static_cast<const char*>(data));
    }
    static void ModuleExit(void* data) {
        events.push_back(std::string("exit ") + static_cast<const char*>(data));
    }
    static void GroupInit() { events.push_back("group init"); }
    static void GroupExit() { events.push_back("group exit"); }

    HostKernel host;
    // The kernel binds itself; here this program stands for a package, which starts unbound.
    KernelBinding m_unbound{nullptr};
};
std::vector<std::string> ModuleRegistry::events;

TARNModuleBase* MakeModule(const char* name, void*) {
    return new TARNModuleBase(name);
}
}  // namespace

TEST_F(ModuleRegistry, PckInitAcceptsOnlyTheMagicAndKeepsTheFirstKernel) {
    HostKernel other;
    KernelBinding unbound(nullptr);  // as the fixture's kernel, this one binds itself
    EXPECT_EQ(TARNPckInit(&host, 0x80537), 0);
    EXPECT_EQ(TARNPrivate::kernel, nullptr);
    EXPECT_FALSE(TARNModuleManagement::initialized);

    EXPECT_EQ(TARNPckInit(static_cast<TARNKernel*>(&host), 0x80538), 4);
    EXPECT_EQ(TARNPrivate::kernel, &host);
    EXPECT_EQ(TARNPckInit(static_cast<TARNKernel*>(&other), 0x80538), 4);
    EXPECT_EQ(TARNPrivate::kernel, &host);
}

TEST_F(ModuleRegistry, ModuleInitHooksWaitForPckInitGroupHooksDoNot) {
    static char a[] = "a", b[] = "b";
    new TARNModuleDefinition("A", "G", nullptr, a, ModuleInit, ModuleExit);
    new TARNModuleGroupDefinition("H", GroupInit, GroupExit, nullptr);
    EXPECT_EQ(events, std::vector<std::string>{"group init"});

    TARNPckInit(static_cast<TARNKernel*>(&host), 0x80538);
    new TARNModuleDefinition("B", "G", nullptr, b, ModuleInit, ModuleExit);
    TARNPckInit(static_cast<TARNKernel*>(&host), 0x80538);
    EXPECT_EQ(events, (std::vector<std::string>{"group init", "init a", "init b"}));

    events.clear();
    TARNModuleManagement::Uninitialize();
    EXPECT_EQ(events, (std::vector<std::string>{"exit a", "exit b", "group exit"}));
}

TEST_F(ModuleRegistry, CountsAndEnumerationOfDefinitions) {
    EXPECT_EQ(Count(nullptr), 0);
    EXPECT_EQ(Count("X"), -1);

    static int model;
    Declare("TARNmodel", "TARNComponent", &model);
    EXPECT_EQ(Count(nullptr), 1);
    EXPECT_EQ(Count("TARNComponent"), 1);
    EXPECT_EQ(Count("Unknown"), -1);

    void* out[2] = {nullptr, nullptr};
    EXPECT_EQ(TARNGetModulesDefStruct(nullptr, out, 0), 0);
    EXPECT_EQ(out[0], nullptr);
    EXPECT_EQ(TARNGetModulesDefStruct(nullptr, out, 2), 1);
    EXPECT_EQ(out[0], &model);
    EXPECT_EQ(TARNGetModulesDefStruct("TARNComponent", out, 1), 1);
    EXPECT_EQ(TARNGetModulesDefStruct("Unknown", out, 2), 0);
}

TEST_F(ModuleRegistry, EnumerationStopsAtMaxAndWalksChildrenInOrder) {
    Declare("A1", "A");
    Declare("A2", "A");
    Declare("B1", "B");
    Declare("C1", "C");
    ASSERT_TRUE(TARNModuleManagement::ReferenceChildGroup("A", "B"));
    ASSERT_TRUE(TARNModuleManagement::ReferenceChildGroup("A", "C"));
    EXPECT_EQ(Count("A"), 4);
    EXPECT_EQ(Names("A"), (std::vector<std::string>{"A1", "A2", "B1", "C1"}));
    EXPECT_EQ(Names("A", 3), (std::vector<std::string>{"A1", "A2", "B1"}));
    EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"A1", "A2", "B1", "C1"}));
    EXPECT_EQ(TARNModuleManagement::NumberOfReferencedGroups("A"), 3);
    EXPECT_EQ(TARNModuleManagement::FindModule("C1", "A", true)->name, std::string("C1"));
    EXPECT_EQ(TARNModuleManagement::FindModule("C1", "A", false), nullptr);
}

TEST_F(ModuleRegistry, ChildOutsideTheListCountsMinusOneButEnumeratesNothing) {
    Declare("P1", "P");
    Declare("P2", "P");
    Declare("C1", "C");
    TARNModuleManagement::ReferenceChildGroup("P", "C");
    TARNModuleGroupDefinition* child = TARNModuleManagement::FindGroup("C");
    TARNModuleManagement::RemoveGroup(child, false);

    EXPECT_EQ(Count("P"), 1);
    EXPECT_EQ(TARNModuleManagement::NumberOfReferencedGroups("P"), 0);
    EXPECT_EQ(Names("P"), (std::vector<std::string>{"P1", "P2"}));
    delete child;
}

TEST_F(ModuleRegistry, DuplicateNameInAGroupThrowsTheMessage) {
    Declare("TARNmodel", "TARNComponent");
    try {
        Declare("TARNmodel", "TARNComponent");
        FAIL() << "the duplicate was accepted";
    } catch (const TARNStackedString<40>& message) {
        EXPECT_STREQ(message.c_str(), "Module TARNmodel already referenced in the category TARNComponent\n");
    }
    EXPECT_EQ(Count("TARNComponent"), 1);
    // The same name in another group is another model.
    EXPECT_NO_THROW(Declare("TARNmodel", "Other"));

    // Names too long for a short buffer still give the whole message.
    const std::string longName(120, 'n');
    Declare(longName.c_str(), "TARNComponent");
    try {
        Declare(longName.c_str(), "TARNComponent");
        FAIL() << "the duplicate was accepted";
    } catch (const TARNStackedString<40>& message) {
        EXPECT_EQ(std::string(message.c_str()),
                  "Module " + longName + " already referenced in the category TARNComponent\n");
    }
}

TEST_F(ModuleRegistry, GroupWithoutNameIsRefused) {
    EXPECT_THROW(new TARNModuleGroupDefinition(nullptr, nullptr, nullptr, nullptr), const char*);
    EXPECT_THROW(Declare("A", nullptr), const char*);
}

TEST_F(ModuleRegistry, NamedGroupAbsorbsTheImplicitGroupAndItsReferences) {
    TARNModuleDefinition* a = Declare("A", "G");
    TARNModuleManagement::ReferenceChildGroup("Parent", "G");
    TARNModuleGroupDefinition* implicit = TARNModuleManagement::FindGroup("G");

    auto* named = new TARNModuleGroupDefinition("G", GroupInit, nullptr, nullptr);
    EXPECT_NE(named, implicit);
    EXPECT_EQ(TARNModuleManagement::FindGroup("G"), named);
    EXPECT_EQ(named->FindModule("A", false), a);
    EXPECT_EQ(a->groupName, named->name);
    // The parent now references the absorbing group, not the destroyed one.
    ASSERT_EQ(TARNModuleManagement::FindGroup("Parent")->children.Count(), 1);
    EXPECT_EQ(TARNModuleManagement::FindGroup("Parent")->children.Head()->Value(), named);
    EXPECT_EQ(Count("Parent"), 1);
}

TEST_F(ModuleRegistry, DestroyedGroupLeavesEveryParent) {
    Declare("C1", "C");
    TARNModuleManagement::ReferenceChildGroup("P", "C");
    TARNModuleManagement::ReferenceChildGroup("Q", "C");
    TARNModuleManagement::RemoveGroup("C", true);
    EXPECT_EQ(TARNModuleManagement::FindGroup("P")->children.Count(), 0);
    EXPECT_EQ(TARNModuleManagement::FindGroup("Q")->children.Count(), 0);
    EXPECT_EQ(Count("P"), 0);
}

TEST_F(ModuleRegistry, GroupParentIsFoundOrCreated) {
    new TARNModuleGroupDefinition("Child", nullptr, nullptr, "Parent");
    Declare("C1", "Child");
    EXPECT_EQ(Count("Parent"), 1);
    EXPECT_EQ(TARNModuleManagement::NumberOfReferencedGroups(nullptr), 2);
}

TEST_F(ModuleRegistry, EveryWalkVisitsAGroupOnceAndCyclesAreRefused) {
    Declare("D1", "D");
    TARNModuleManagement::ReferenceChildGroup("A", "B");
    TARNModuleManagement::ReferenceChildGroup("A", "C");
    TARNModuleManagement::ReferenceChildGroup("B", "D");
    TARNModuleManagement::ReferenceChildGroup("C", "D");
    EXPECT_TRUE(TARNModuleManagement::ReferenceChildGroup("A", "B"));  // already there: kept once
    EXPECT_EQ(Count("A"), 1);
    EXPECT_EQ(Names("A"), std::vector<std::string>{"D1"});
    EXPECT_EQ(TARNModuleManagement::NumberOfReferencedGroups("A"), 4);

    EXPECT_FALSE(TARNModuleManagement::ReferenceChildGroup("D", "A"));
    EXPECT_FALSE(TARNModuleManagement::ReferenceChildGroup("D", "D"));
    EXPECT_EQ(TARNModuleManagement::FindGroup("D")->children.Count(), 0);

    // A cycle that comes in through absorption still ends every walk.
    TARNModuleManagement::FindGroup("D")->AddChildGroup(TARNModuleManagement::FindGroup("A"));
    EXPECT_EQ(Count("A"), 1);
    EXPECT_EQ(Names("D"), std::vector<std::string>{"D1"});
    std::vector<TARNModuleGroupDefinition*> groups(8);
    EXPECT_EQ(TARNModuleManagement::EnumerateAvailableGroups(groups.data(), 8, "D", true), 4);
}

TEST_F(ModuleRegistry, InstantiateRemembersTheDefinition) {
    auto* definition = new TARNModuleDefinition("M", "G", MakeModule, nullptr, nullptr, nullptr);
    Declare("NoFactory", "G");
    TARNModuleBase* module = TARNModuleManagement::Instantiate("m1", "M", "G");
    ASSERT_NE(module, nullptr);
    EXPECT_STREQ(module->Name(), "m1");
    EXPECT_EQ(module->definition, definition);
    delete module;
    EXPECT_EQ(TARNModuleManagement::Instantiate("m2", "NoFactory", nullptr), nullptr);
    EXPECT_EQ(TARNModuleManagement::Instantiate("m2", "Missing", nullptr), nullptr);
}

TEST_F(ModuleRegistry, SortOrdersByTheComparisonAndFlag) {
    TARNModuleDefinition* table[] = {Declare("c", "G"), Declare("a", "G"), Declare("b", "G")};
    auto before = [](TARNModuleDefinition* x, TARNModuleDefinition* y) {
        return std::string(x->name) < y->name;
    };
    TARNModuleManagement::SortModuleDefinitionTable(table, 3, before, true);
    EXPECT_EQ(std::string(table[0]->name) + table[1]->name + table[2]->name, "abc");
    TARNModuleManagement::SortModuleDefinitionTable(table, 3, before, false);
    EXPECT_EQ(std::string(table[0]->name) + table[1]->name + table[2]->name, "cba");
}

TEST(ModuleBase, RenameReplacesTheNameOrTheModulePrefixOnly) {
    struct Case {
        const char* name;
        const char* oldName;
        const char* newName;
        const char* expected;
    } cases[] = {
        {"cam", "cam", "camera", "camera"},         {"cam", "cam", nullptr, nullptr},
        {"cam.out", "cam", "camera", "camera.out"}, {"camout", "cam", "camera", "camout"},
        {"other", "cam", "camera", "other"},
    };
    for (const Case& c : cases) {
        TARNModuleBase module(c.name);
        module.Rename(c.oldName, c.newName);
        if (c.expected)
            EXPECT_STREQ(module.Name(), c.expected) << c.name;
        else
            EXPECT_EQ(module.Name(), nullptr) << c.name;
    }
}
