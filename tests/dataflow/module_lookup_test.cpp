// Looking a module's elements up by position and by short name.
#include <gtest/gtest.h>

#include <string>

#include "module_fixture.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

class Component : public TARNModule {
  public:
    explicit Component(const char* name) : TARNModule(name, true, true) {}
    const char* Kind() const override { return "component"; }
};

// A module with its eight standard properties, two more ("width", "height") and two
// actions ("go", "stop").
class LookupTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        module = new Component("cam");
        width = module->NewProperty(widthDefinition, nullptr);
        height = module->NewProperty(widthDefinition, "height");
        go = module->NewAction(goDefinition, nullptr);
        stop = module->NewAction(goDefinition, "stop");
        recorder.ClearReports();
    }
    void TearDown() override {
        delete module;
        ModuleTest::TearDown();
    }

    // The message of the kernel error `lookup` raised.
    std::string Failure(const std::function<void()>& lookup) {
        recorder.ClearReports();
        EXPECT_EQ(ThrownCode(lookup), -5);
        const std::vector<HostReport> errors = ReportsAt(2);
        if (errors.size() != 1u) return "(" + std::to_string(errors.size()) + " errors)";
        EXPECT_EQ(errors[0].parameter, 1);
        EXPECT_TRUE(errors[0].fromEngine);
        return errors[0].message;
    }

    TARNPropertyDefinition widthDefinition{"width", new TARNPropertyValue(640L)};
    TARNActionDefinition goDefinition{"go"};
    Component* module = nullptr;
    TARNProperty *width = nullptr, *height = nullptr;
    TARNAction *go = nullptr, *stop = nullptr;
};

}  // namespace

TEST_F(LookupTest, ByIndexPropertiesCountFromTheFirstAfterTheStandardOnes) {
    EXPECT_EQ(&module->Property(0), width);
    EXPECT_EQ(&module->Property(1), height);
    EXPECT_EQ(&module->Action(0), go);
    EXPECT_EQ(&module->Action(1), stop);
}

TEST_F(LookupTest, ByNameComparesShortNamesOnly) {
    EXPECT_EQ(&module->Property("height"), height);
    EXPECT_EQ(&module->Property("processor"), module->processorProperty);
    EXPECT_EQ(&module->Action("stop"), stop);
    EXPECT_TRUE(module->HasProperty("CPULoad"));
    EXPECT_FALSE(module->HasProperty("cam.CPULoad"));
    EXPECT_TRUE(module->HasAction("go"));
    EXPECT_FALSE(module->HasAction("g"));
}

TEST_F(LookupTest, MissingElementsAreKernelErrorsNamingTheModule) {
    EXPECT_EQ(Failure([&] { module->Property(2); }), "Trying to access unknown property #2 of component cam");
    EXPECT_EQ(Failure([&] { module->Property(-1); }),
              "Trying to access unknown property #-1 of component cam");
    EXPECT_EQ(Failure([&] { module->Action(2); }), "Trying to access unknown action #2 of component cam");
    EXPECT_EQ(Failure([&] { module->Input(0); }), "Trying to access unknown input #0 of component cam");
    EXPECT_EQ(Failure([&] { module->Output(-1); }), "Trying to access unknown output #-1 of component cam");
    EXPECT_EQ(Failure([&] { module->Property("cam.width"); }),
              "Trying to access unknown property cam.width of component cam");
    EXPECT_EQ(Failure([&] { module->Property(nullptr); }),
              "Trying to access unknown property  of component cam");
    EXPECT_EQ(Failure([&] { module->Action("run"); }),
              "Trying to access unknown action run of component cam");
    // The module itself is not in error.
    EXPECT_FALSE(module->State() & TARNModule::InError);
}

TEST_F(ModuleTest, AModuleWithoutStandardPropertiesCountsFromItsFirst) {
    TARNModule module(nullptr, false, false);
    TARNPropertyDefinition width{"width", new TARNPropertyValue(640L)};
    TARNProperty* property = module.NewProperty(width, nullptr);
    EXPECT_EQ(&module.Property(0), property);
    recorder.ClearReports();
    EXPECT_EQ(ThrownCode([&] { module.Property(1); }), -5);
    EXPECT_EQ(ReportsAt(2)[0].message, "Trying to access unknown property #1 of module ");
}

TEST_F(LookupTest, HasStopsAtTheDynamicCursor) {
    module->propertyCursor = module->properties.Tail();
    module->actionCursor = module->actions.Tail();
    EXPECT_TRUE(module->HasProperty("width"));
    EXPECT_FALSE(module->HasProperty("height"));
    EXPECT_TRUE(module->HasAction("go"));
    EXPECT_FALSE(module->HasAction("stop"));
    module->propertyCursor = nullptr;
    module->actionCursor = nullptr;
}
