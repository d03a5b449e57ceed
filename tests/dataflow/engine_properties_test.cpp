#include "tarn/dataflow/engine_properties.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "host_engine_module.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

// A host kernel with the "Engine" module's properties and a module "cam" holding an
// enumeration "mode" (a|b|c, b selected) and a float "gain".
class EnginePropertiesTest : public HostKernelTest {
  protected:
    void SetUp() override {
        cam = new TARNModule("cam", false, false);
        const TARNPropertyDefinition mode("mode", new TARNPropertyValue("a|b|c", 1), nullptr, false, true,
                                          false, true);
        const TARNPropertyDefinition gain("gain", new TARNPropertyValue(1.5), nullptr, false, true, false,
                                          true);
        cam->NewProperty(mode, nullptr);
        cam->NewProperty(gain, nullptr);
        recorder.ClearReports();
    }
    void TearDown() override {
        delete cam;
        HostKernelTest::TearDown();
    }

    // True when another thread can take the symbol-table lock (within a generous time).
    bool SymbolTableIsFree() {
        auto other = std::async(std::launch::async, [this] {
            kernel.LockSymbols();
            kernel.UnlockSymbols();
        });
        return other.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    }

    TARNModule* cam = nullptr;
};

struct StringCase {
    const char* name;
    const char* value;  // null: the read fails
    const char* failure;
};

const StringCase stringCases[] = {
    {"Engine.version", "4.7.0", nullptr},
    {"Engine.id", "tarnhost", nullptr},
    {"cam.mode", "b", nullptr},  // an enumeration reads as its selected name
    {"Engine.shutdownTimeout", nullptr,
     "Can't get string value of property Engine.shutdownTimeout. It is not a string or an enum."},
    {"cam.gain", nullptr, "Can't get string value of property cam.gain. It is not a string or an enum."},
    {"cam.missing", nullptr, "Can't get value of property cam.missing. The symbol is undefined."},
};

}  // namespace

TEST_F(EnginePropertiesTest, StringGetterWithOkFlagNeverReports) {
    for (const StringCase& c : stringCases) {
        bool ok = c.value == nullptr;  // the opposite of what is expected
        const TARNStackedString<40> value = TARN::GetStringProperty(c.name, &ok);
        EXPECT_EQ(ok, c.value != nullptr) << c.name;
        EXPECT_STREQ(value.c_str(), c.value ? c.value : "") << c.name;
    }
    EXPECT_TRUE(recorder.Reports().empty());
    EXPECT_TRUE(SymbolTableIsFree());
}

TEST_F(EnginePropertiesTest, StringGetterWithoutOkFlagReportsAndThrowsOnFailure) {
    for (const StringCase& c : stringCases) {
        recorder.ClearReports();
        if (c.value != nullptr) {
            EXPECT_STREQ(TARN::GetStringProperty(c.name).c_str(), c.value);
            EXPECT_TRUE(recorder.Reports().empty()) << c.name;
            continue;
        }
        try {
            TARN::GetStringProperty(c.name);
            ADD_FAILURE() << c.name << " did not throw";
        } catch (int code) {
            EXPECT_EQ(code, -5);
        }
        EXPECT_EQ(recorder.Reports(), (std::vector<HostReport>{{c.failure, 2, 1, true}})) << c.name;
        EXPECT_TRUE(SymbolTableIsFree()) << c.name;
    }
}

TEST_F(EnginePropertiesTest, EnumerationGetterReadsOnlyEnumerations) {
    bool ok = false;
    const TARNEnumStruct mode = TARN::GetEnumsProperty("cam.mode", &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(mode.Count(), 3);
    EXPECT_EQ(mode.selected, 1);
    EXPECT_TRUE(mode.Name(2) == "c");

    const TARNEnumStruct none = TARN::GetEnumsProperty("Engine.id", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(none.Count(), 0);
    EXPECT_TRUE(recorder.Reports().empty());

    EXPECT_THROW(TARN::GetEnumsProperty("Engine.id"), int);
    EXPECT_EQ(recorder.Reports(),
              (std::vector<HostReport>{
                  {"Can't get string value of property Engine.id. It is not an enum.", 2, 1, true}}));
    EXPECT_TRUE(SymbolTableIsFree());
}

// The plain readers come straight from the kernel: found or not, and the value.
TEST_F(EnginePropertiesTest, KernelReadersFindEngineAndModuleProperties) {
    bool found = false;
    EXPECT_EQ(TARN::GetIntegerProperty("Engine.shutdownTimeout", &found), 10'000'000);
    EXPECT_TRUE(found);
    EXPECT_EQ(TARN::GetIntegerProperty("cam.mode", &found), 1) << "an enumeration reads as its index";
    EXPECT_TRUE(found);
    EXPECT_FALSE(TARN::GetBoolProperty("Engine.sequentialStart", &found));
    EXPECT_TRUE(found);
    EXPECT_DOUBLE_EQ(TARN::GetFloatProperty("cam.gain", &found), 1.5);
    EXPECT_TRUE(found);

    EXPECT_EQ(TARN::GetIntegerProperty("cam.nothing", &found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(TARN::GetIntegerProperty("Engine.id", &found), 0) << "a text is not an integer";
    EXPECT_FALSE(found);

    kernel.EngineModule().DirectSet(kernel.EngineModule().Property("shutdownTimeout"), 1'500'000L);
    EXPECT_EQ(TARN::GetIntegerProperty("Engine.shutdownTimeout", nullptr), 1'500'000);
}

// A get-callback that fails: with `ok` the getters answer false and an empty value, even
// where `ok` came in true; without it the failure goes on to the caller. Either way the
// symbol table and the owner's lock are free again.
TEST_F(EnginePropertiesTest, AFailingGetCallbackFailsTheTextAndEnumerationGetters) {
    const TARNPropertyDefinition label("label", new TARNPropertyValue("abc"), nullptr, false, true, false,
                                       true);
    const TARNPropertyDefinition level("level", new TARNPropertyValue("x|y", 1), nullptr, false, true, false,
                                       true);
    const auto failing = [](TARNProperty&, void*) { throw -5; };
    cam->NewProperty(label, nullptr)->SetGetCallback(failing);
    cam->NewProperty(level, nullptr)->SetGetCallback(failing);
    const struct {
        const char* name;
        bool enumeration;  // read by the enumeration getter (else the text getter)
    } cases[] = {{"cam.label", false}, {"cam.level", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.enumeration ? " as an enumeration" : " as a text"));
        bool ok = true;
        if (c.enumeration) {
            EXPECT_EQ(TARN::GetEnumsProperty(c.name, &ok).Count(), 0);
            EXPECT_THROW(TARN::GetEnumsProperty(c.name), int);
        } else {
            EXPECT_STREQ(TARN::GetStringProperty(c.name, &ok).c_str(), "");
            EXPECT_THROW(TARN::GetStringProperty(c.name), int);
        }
        EXPECT_FALSE(ok);
        EXPECT_TRUE(SymbolTableIsFree());
        auto other = std::async(std::launch::async, [this] {
            cam->moduleLock.Lock();
            cam->moduleLock.Release();
        });
        EXPECT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready)
            << "the owner's lock is held";
    }
}
