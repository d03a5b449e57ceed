// Creating, finding again, removing and renaming a module's properties and actions.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "dataflow/action_implementation.hpp"
#include "module_fixture.hpp"
#include "reading_writing_fixture.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/clock.hpp"

namespace {

std::vector<std::string> Symbols(const TARNModule& module) {
    std::vector<std::string> names;
    for (const TARNStackedString<40>& name : module.symbolNames) names.push_back(name.c_str());
    return names;
}

std::vector<std::string> PropertyNames(const TARNModule& module) {
    std::vector<std::string> names;
    for (TARNProperty* property : module.properties) names.push_back(property->Name().c_str());
    return names;
}

std::vector<std::string> ActionNames(const TARNModule& module) {
    std::vector<std::string> names;
    for (TARNAction* action : module.actions) names.push_back(action->Name().c_str());
    return names;
}

TARNPropertyDefinition Integer(const char* name, long value) {
    return TARNPropertyDefinition(name, new TARNPropertyValue(value));
}

}  // namespace

TEST_F(ModuleTest, NewPropertyMakesAnOwnedRegisteredCopyOfTheDefinition) {
    TARNModule module("cam", false, false);
    TARNPropertyDefinition width("width", new TARNPropertyValue(640L), "px", true, true, false, false, 0x10);

    TARNProperty* byDefinition = module.NewProperty(width, nullptr);
    TARNProperty* byName = module.NewProperty(width, "height");

    EXPECT_STREQ(byDefinition->Name().c_str(), "cam.width");
    EXPECT_STREQ(byDefinition->ShortName().c_str(), "width");
    EXPECT_STREQ(byName->Name().c_str(), "cam.height");
    EXPECT_EQ(byName->IntegerValue(), 640);
    EXPECT_STREQ(byName->Unit(), "px");
    EXPECT_EQ(byName->SubType(), 0x10u);
    EXPECT_EQ(byName->Owner(), &module);
    EXPECT_EQ(Symbols(module), (std::vector<std::string>{"cam.width", "cam.height"}));
    EXPECT_NE(kernel.FindSymbol("cam.height"), nullptr);
    // The property's value is its own: the definition keeps its default.
    byName->IntegerValue() = 1;
    EXPECT_EQ(width.defaultValue->integer, 640);
}

TEST_F(ModuleTest, CreationFailuresAreModuleErrorsWithTheirMessages) {
    struct Case {
        const char* what;
        std::function<void(TARNModule&)> create;
        const char* message;
        int parameter;
    };
    static TARNPropertyDefinition property = Integer("p", 1);
    static TARNPropertyDefinition nameless = Integer(nullptr, 1);
    static TARNActionDefinition action("a");
    static TARNActionDefinition namelessAction(nullptr);
    const Case cases[] = {
        {"property without name", [](TARNModule& m) { m.NewProperty(nameless, nullptr); },
         "module cam: Call to NewProperty failed. Bad property definition.", 2},
        {"property name with digit", [](TARNModule& m) { m.NewProperty(property, "1p"); },
         "module cam: Trying to create a property with an invalid name: 1p", 1},
        {"property name with point", [](TARNModule& m) { m.NewProperty(property, "a.b"); },
         "module cam: Trying to create a property with an invalid name: a.b", 1},
        {"property name with colon", [](TARNModule& m) { m.NewProperty(property, "a:b"); },
         "module cam: Trying to create a property with an invalid name: a:b", 1},
        {"property name empty", [](TARNModule& m) { m.NewProperty(property, ""); },
         "module cam: Trying to create a property with an invalid name: ", 1},
        {"property twice", [](TARNModule& m) { m.NewProperty(property, "taken"); },
         "module cam: Can't create property cam.taken. The symbol already exists.", 1},
        {"action without name", [](TARNModule& m) { m.NewAction(namelessAction, nullptr); },
         "module cam: Call to NewAction failed. Bad action definition.", 2},
        {"action name with point", [](TARNModule& m) { m.NewAction(action, "a.b"); },
         "module cam: Trying to create an action with an invalid name: a.b", 1},
        {"action twice", [](TARNModule& m) { m.NewAction(action, "taken2"); },
         "module cam: Can't create action cam.taken2. The symbol already exists.", 1},
    };
    for (const Case& c : cases) {
        TARNModule module("cam", false, false);
        module.NewProperty(property, "taken");
        module.NewAction(action, "taken2");
        const std::vector<std::string> symbols = Symbols(module);
        const std::vector<std::string> properties = PropertyNames(module);
        const std::vector<std::string> actions = ActionNames(module);
        recorder.ClearReports();

        EXPECT_EQ(ThrownCode([&] { c.create(module); }), -5) << c.what;

        ASSERT_EQ(ReportsAt(2).size(), 1u) << c.what;
        EXPECT_EQ(ReportsAt(2)[0].message, c.message) << c.what;
        EXPECT_EQ(ReportsAt(2)[0].parameter, c.parameter) << c.what;
        EXPECT_TRUE(module.State() & TARNModule::InError) << c.what;
        EXPECT_EQ(Symbols(module), symbols) << c.what;
        EXPECT_EQ(PropertyNames(module), properties) << c.what;
        EXPECT_EQ(ActionNames(module), actions) << c.what;
    }
}

TEST_F(ModuleTest, ADefinitionsOwnNameIsNotTestedAgainstThePattern) {
    TARNModule module("cam", false, false);
    TARNPropertyDefinition odd = Integer("1odd.name", 1);
    EXPECT_STREQ(module.NewProperty(odd, nullptr)->Name().c_str(), "cam.1odd.name");
}

TEST_F(ModuleTest, ADyingModuleCreatesNothing) {
    TARNModule module("cam", false, false);
    TARNPropertyDefinition property = Integer("p", 1);
    TARNActionDefinition action("a");
    module.Die();
    EXPECT_EQ(ThrownCode([&] { module.NewProperty(property, nullptr); }), 57005);
    EXPECT_EQ(ThrownCode([&] { module.NewAction(action, nullptr); }), 57005);
    EXPECT_TRUE(module.properties.IsEmpty());
    EXPECT_TRUE(module.actions.IsEmpty());
}

namespace {

// Three properties a, b, c from their own definitions, with the cursor on a, as during a
// dynamic re-creation.
class FindOrCreateTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        module = new TARNModule("cam", false, false);
        a = module->NewProperty(defA, nullptr);
        b = module->NewProperty(defB, nullptr);
        c = module->NewProperty(defC, nullptr);
        module->propertyCursor = module->properties.Head();
    }
    void TearDown() override {
        delete module;
        ModuleTest::TearDown();
    }

    // Each definition names itself with its own array: definitions are told apart by the
    // address of their name, and equal string literals may share one.
    char nameA[2] = "a", nameB[2] = "b", nameC[2] = "c";
    TARNPropertyDefinition defA = Integer(nameA, 1), defB = Integer(nameB, 2), defC = Integer(nameC, 3);
    // The same text as defC's name at another address.
    char otherName[2] = "c";
    TARNPropertyDefinition other = Integer(otherName, 4);
    TARNModule* module = nullptr;
    TARNProperty *a = nullptr, *b = nullptr, *c = nullptr;
};

}  // namespace

TEST_F(FindOrCreateTest, SameNameAndDefinitionIsKeptAndTheSkippedOnesGo) {
    bool created = true;
    EXPECT_EQ(module->NewPropertyX("cam.c", defC.name, created), c);
    EXPECT_FALSE(created);
    EXPECT_EQ(PropertyNames(*module), std::vector<std::string>{"cam.c"});
    EXPECT_EQ(Symbols(*module), std::vector<std::string>{"cam.c"});
    EXPECT_EQ(kernel.FindSymbol("cam.a"), nullptr);
    EXPECT_EQ(module->propertyCursor, nullptr);
}

TEST_F(FindOrCreateTest, SameNameFromAnotherDefinitionReplacesTheElement) {
    bool created = false;
    // Equal texts at another address: definitions are told apart by the address.
    TARNProperty* made = module->NewPropertyX("cam.c", other.name, created);
    EXPECT_TRUE(created);
    EXPECT_NE(made, c);
    EXPECT_EQ(module->properties.Count(), 1);
    EXPECT_EQ(module->properties.Head()->Value(), made);
    EXPECT_TRUE(Symbols(*module).empty());
}

TEST_F(FindOrCreateTest, ANewNameIsInsertedBeforeTheCursor) {
    TARNPropertyDefinition fresh = Integer("z", 0);
    module->NewProperty(fresh, nullptr);
    EXPECT_EQ(PropertyNames(*module), (std::vector<std::string>{"cam.z", "cam.a", "cam.b", "cam.c"}));
    EXPECT_EQ(module->propertyCursor->Value(), a);
    // Declared again through NewProperty: the same object, not registered twice.
    module->propertyCursor = module->properties.Head()->Next();
    EXPECT_EQ(module->NewProperty(defA, nullptr), a);
    EXPECT_EQ(module->propertyCursor->Value(), b);
    EXPECT_EQ(Symbols(*module), (std::vector<std::string>{"cam.a", "cam.b", "cam.c", "cam.z"}));
}

TEST_F(ModuleTest, ActionsAreFoundAgainByNameAndDefinitionAndIndexedBeforeTheCursor) {
    TARNModule module("cam", false, false);
    TARNActionDefinition first("first"), second("second");
    module.NewAction(first, nullptr);
    TARNAction* two = module.NewAction(second, nullptr);
    EXPECT_EQ(static_cast<TARNActionImplementation*>(two)->index, 1);

    module.actionCursor = module.actions.Head();
    EXPECT_EQ(module.NewAction(second, nullptr), two);
    EXPECT_EQ(ActionNames(module), std::vector<std::string>{"cam.second"});
    EXPECT_EQ(static_cast<TARNActionImplementation*>(two)->index, 0);
    EXPECT_EQ(kernel.FindSymbol("cam.first"), nullptr);
}

TEST_F(ModuleTest, RemovePropertyUnregistersAndRemovePropertyXOnlyDeletes) {
    TARNModule module("cam", false, false);
    TARNPropertyDefinition defA = Integer("a", 1), defB = Integer("b", 2);
    TARNProperty* a = module.NewProperty(defA, nullptr);
    TARNProperty* b = module.NewProperty(defB, nullptr);

    module.RemoveProperty(a);
    EXPECT_EQ(kernel.FindSymbol("cam.a"), nullptr);
    EXPECT_EQ(Symbols(module), std::vector<std::string>{"cam.b"});

    module.RemovePropertyX(b);
    EXPECT_NE(kernel.FindSymbol("cam.b"), nullptr);
    EXPECT_EQ(Symbols(module), std::vector<std::string>{"cam.b"});
    EXPECT_TRUE(module.properties.IsEmpty());
    kernel.UnregisterSymbol("cam.b");
    module.symbolNames.Clear();
}

TEST_F(ModuleTest, SpecialPropertiesAreNamedAfterTheirElement) {
    TARNModule module("cam", false, false);
    TARNProperty* plain = module.NewSpecialProperty(TARNModule::FifoSizePropertyDefinition, nullptr);
    TARNProperty* named = module.NewSpecialProperty(TARNModule::FifoSizePropertyDefinition, "out.fifosize");
    TARNProperty* full = module.NewSpecialProperty(TARNModule::PeriodicPropertyDefinition, "\\else.periodic");
    EXPECT_STREQ(plain->Name().c_str(), "cam.fifosize");
    EXPECT_STREQ(named->Name().c_str(), "cam.out.fifosize");
    EXPECT_STREQ(named->ShortName().c_str(), "out.fifosize");
    EXPECT_STREQ(full->Name().c_str(), "else.periodic");
    EXPECT_EQ(named->IntegerValue(), 16);
    EXPECT_EQ(Symbols(module),
              (std::vector<std::string>{"cam.fifosize", "cam.out.fifosize", "else.periodic"}));

    recorder.ClearReports();
    EXPECT_EQ(ThrownCode(
                  [&] { module.NewSpecialProperty(TARNModule::FifoSizePropertyDefinition, "out.fifosize"); }),
              -5);
    EXPECT_EQ(ReportsAt(2)[0].message,
              "module cam: Can't create property cam.out.fifosize. The symbol already exists.");
    EXPECT_EQ(module.properties.Count(), 3);
}

namespace {

struct RenameCase {
    const char* newName;
    // Symbol-name list, property full names and action full names after the rename.
    std::vector<std::string> symbols;
    std::vector<std::string> properties;
    std::vector<std::string> actions;
};

class RenameTest : public ModuleTest, public ::testing::WithParamInterface<RenameCase> {};

}  // namespace

// The module "cam" holds a property "cam.p", special properties whose full names are "cam"
// (the old name alone) and "camera.x" (the old name followed by other letters), and an
// action "cam.a".
TEST_P(RenameTest, RenamesEachKindByItsRule) {
    const RenameCase& c = GetParam();
    TARNModule module("cam", false, false);
    TARNPropertyDefinition p = Integer("p", 1);
    TARNActionDefinition a("a");
    module.NewProperty(p, nullptr);
    module.NewSpecialProperty(TARNModule::PeriodicPropertyDefinition, "\\cam");
    module.NewSpecialProperty(TARNModule::PeriodicPropertyDefinition, "\\camera.x");
    module.NewAction(a, nullptr);

    module.Rename("cam", c.newName);

    EXPECT_EQ(Symbols(module), c.symbols);
    EXPECT_EQ(PropertyNames(module), c.properties);
    EXPECT_EQ(ActionNames(module), c.actions);
    if (c.newName)
        EXPECT_STREQ(module.Name(), c.newName);
    else
        EXPECT_EQ(module.Name(), nullptr);
    // The kernel keeps its own table: the old symbols stay for the engine to handle.
    EXPECT_NE(kernel.FindSymbol("cam.p"), nullptr);
    for (const std::string& symbol : Symbols(module)) kernel.UnregisterSymbol(symbol.c_str());
    module.symbolNames.Clear();
    for (const char* old : {"cam.p", "cam", "camera.x", "cam.a"}) kernel.UnregisterSymbol(old);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RenameTest,
    ::testing::Values(
        RenameCase{"eye", {"eye.p", "eye", "camera.x", "eye.a"}, {"eye.p", "cam", "camera.x"}, {"eye.a"}},
        RenameCase{nullptr, {".p", "", "camera.x", ".a"}, {".p", "cam", "camera.x"}, {".a"}}));

TEST_F(ModuleTest, RenameAcceptsTheModulesOwnNameAsTheOldName) {
    TARNModule module("cam", false, false);
    TARNPropertyDefinition p = Integer("p", 1);
    module.NewProperty(p, nullptr);
    module.Rename(module.Name(), "eye");
    EXPECT_STREQ(module.Name(), "eye");
    EXPECT_EQ(PropertyNames(module), std::vector<std::string>{"eye.p"});
    EXPECT_EQ(Symbols(module), std::vector<std::string>{"eye.p"});
    kernel.UnregisterSymbol("cam.p");
}

// A thread that outlived its module's shutdown may still name the module in a report while
// the engine renames the module at rest: every name it reads stays readable, and whole.
TEST_F(ModuleTest, ANameReadOnAnotherThreadStaysReadableAcrossRenames) {
    const std::string names[2] = {"cam", "a-camera-name-longer-than-any-inline-text"};
    TARNModule module(names[0].c_str(), false, false);
    std::atomic<bool> reading{false};
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    TestThread reader([&] {
        reading = true;
        while (!done.load()) {
            const std::string name = module.Name();
            if (name != names[0] && name != names[1]) ++wrong;
        }
    });
    ASSERT_TRUE(AwaitCondition([&] { return reading.load(); }));
    for (int i = 1; i <= 2000; ++i) module.Rename(module.Name(), names[i % 2].c_str());
    done = true;
    reader.Join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(module.Name(), names[0]);
}

// The engine renames a module at rest, but a reader by name may be reading one of its
// properties under its module lock meanwhile: the rename waits for that lock, and changes
// no name while another thread holds it.
TEST_F(ModuleTest, RenameWaitsForTheModuleLock) {
    TARNModule module("cam", false, false);
    TARNPropertyDefinition p = Integer("p", 1);
    module.NewProperty(p, nullptr);
    module.moduleLock.Lock();
    TestThread renamer([&] { module.Rename("cam", "eye"); });
    const bool parked = AwaitCondition([&] { return module.moduleLock.HasWaiter(); });
    EXPECT_STREQ(module.Name(), "cam");
    EXPECT_EQ(PropertyNames(module), std::vector<std::string>{"cam.p"});
    module.moduleLock.Release();
    renamer.Join();
    EXPECT_TRUE(parked) << "the rename did not wait for the module lock";
    EXPECT_STREQ(module.Name(), "eye");
    EXPECT_EQ(PropertyNames(module), std::vector<std::string>{"eye.p"});
    kernel.UnregisterSymbol("cam.p");
}

namespace {

class ClockModule : public TARNModule, public TARNBaseClock {
  public:
    ClockModule() : TARNModule("cam", false, false), TARNBaseClock("cam") {}
    long ClockCurrentTime() override { return 0; }
    void ClockSetCurrentTime(long) override {}
    int ClockTimeSpeed() override { return 1000; }
    void ClockSetTimeSpeed(int) override {}
};

}  // namespace

TEST_F(ModuleTest, AModuleThatIsAClockRenamesItsClock) {
    ClockModule module;
    module.Rename("cam", "eye");
    EXPECT_STREQ(module.GetClockName(), "eye");
}
