#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "engine/kernel_pointer.hpp"
#include "engine/package_entry.hpp"
#include "host_package.hpp"
#include "support/host_kernel_fixture.hpp"

// The test package is loaded with dlopen and talks to a HostKernel as a real package talks
// to the engine; its probes show what it stored.
namespace {
class TestPackage : public HostKernelTest {
  protected:
    void SetUp() override {
        HostKernelTest::SetUp();
        std::string error;
        ASSERT_TRUE(package.Open(TARN_TEST_PACKAGE, error)) << error;
    }

    template <class Function>
    Function* Probe(const char* name) {
        auto* probe = reinterpret_cast<Function*>(package.Symbol(name));
        EXPECT_NE(probe, nullptr) << name;
        return probe;
    }

    // The kernel (the fixture's) outlives the package, which is unloaded first.
    HostPackage package;
};
}  // namespace

TEST_F(TestPackage, InitStoresTheKernelOnlyForTheMagic) {
    auto* boundKernel = Probe<void*()>("test_package_kernel");
    auto* initCalls = Probe<int()>("test_package_init_calls");

    EXPECT_EQ(package.Init(kernel, 0x80538 - 1), 0);
    EXPECT_EQ(boundKernel(), nullptr);
    EXPECT_EQ(initCalls(), 0);

    EXPECT_EQ(package.Init(kernel), 4);
    EXPECT_EQ(boundKernel(), static_cast<TARNKernel*>(&kernel));
    EXPECT_EQ(initCalls(), 1);

    HostKernel other;
    EXPECT_EQ(package.Init(other), 4);
    EXPECT_EQ(boundKernel(), static_cast<TARNKernel*>(&kernel));
    EXPECT_EQ(initCalls(), 1);
}

TEST_F(TestPackage, HandsOutItsComponentDefinitions) {
    ASSERT_EQ(package.Init(kernel), 4);
    EXPECT_EQ(package.CountDefinitions(), 2);
    EXPECT_EQ(package.CountDefinitions("TARNComponent"), 2);
    EXPECT_EQ(package.CountDefinitions("Unknown"), -1);
    EXPECT_EQ(package.Definitions(4, "Unknown").size(), 0u);
    EXPECT_EQ(package.Definitions(1).size(), 1u);

    const auto models = package.Models();
    ASSERT_EQ(models.size(), 2u);
    EXPECT_EQ(models[0].model, "test_model");
    EXPECT_EQ(models[0].version, "2.5");
    EXPECT_EQ(models[1].model, "second_model");
}

TEST_F(TestPackage, DuplicateDeclarationIsRefusedWithTheMessage) {
    auto* declareAgain = Probe<const char*()>("test_package_declare_again");
    const char* message = declareAgain();
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, "Module TARNtestmodel already referenced in the category TARNComponent\n");
    EXPECT_EQ(package.CountDefinitions(), 2);
}

TEST_F(TestPackage, ReportsOfThePackageReachTheHost) {
    ASSERT_EQ(package.Init(kernel), 4);
    Probe<void(const char*, int)>("test_package_warn")("x", 7);
    EXPECT_EQ(recorder.Reports(), (std::vector<HostReport>{{"x", 1, 7, false}}));
}

// Only the entry points and the probes are exported: the package's copy of the SDK stays
// its own.
TEST_F(TestPackage, ExportsNothingOfItsSdk) {
    EXPECT_EQ(package.Symbol("_ZN4TARN11ReportErrorEPKci"), nullptr);
    EXPECT_EQ(package.Symbol("_ZN11TARNPrivate6kernelE"), nullptr);
    EXPECT_EQ(package.Symbol("TARNPckInit_Mutex"), nullptr);
}

// Outside tools find the models by the declaration markers in the package file.
TEST(TestPackageFile, HoldsADeclarationMarkerForEachModel) {
    std::ifstream file(TARN_TEST_PACKAGE, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find(std::string("$!TARN_MODULE!TARNComponent!test_model!$!2.5!$\0", 47)),
              std::string::npos);
    EXPECT_NE(bytes.find(std::string("$!TARN_MODULE!TARNComponent!second_model!$!1.0!$\0", 49)),
              std::string::npos);
}

// ---- Handing the kernel on to another package ----------------------------------------

namespace {

// The tests' own copy of the SDK, bound to a host kernel, hands its kernel on.
using ForwardPckInit = HostKernelTest;

struct ForwardFailure {
    const char* name;
    const char* library;  // null: nothing loaded
    int result;           // what the call leaves in its result
    const char* report;
};

void PrintTo(const ForwardFailure& c, std::ostream* out) {
    *out << c.name;
}

const ForwardFailure ForwardFailures[] = {
    {"NothingLoaded", nullptr, 0x7fffffff, "TARN::ForwardPckInitToLibrary: Dynamic library is not loaded"},
    {"NoEntryPoint", "libm.so.6", 0x7fffffff,
     "TARN::ForwardPckInitToLibrary: Failed to load 'TARNPckInit' from the dynamic library"},
    {"EntryRefuses", TARN_REFUSING_PACKAGE, 0, "TARN::ForwardPckInitToLibrary: TARNPckInit call failed"},
};

class ForwardPckInitFailure : public ForwardPckInit, public ::testing::WithParamInterface<ForwardFailure> {};

}  // namespace

TEST_F(ForwardPckInit, BindsTheOtherPackageToThisKernel) {
    TARNDynamicLoader library;
    ASSERT_TRUE(library.Open(TARN_TEST_PACKAGE));
    auto* boundKernel = reinterpret_cast<void* (*)()>(library.LoadSymbol("test_package_kernel"));
    ASSERT_NE(boundKernel, nullptr);
    ASSERT_EQ(boundKernel(), nullptr);

    int result = 0;
    EXPECT_TRUE(TARN::ForwardPckInitToLibrary(library, &result));
    EXPECT_EQ(result, 4);
    EXPECT_EQ(boundKernel(), static_cast<TARNKernel*>(&kernel));
    EXPECT_TRUE(Reports().empty());
}

TEST_P(ForwardPckInitFailure, ReportsAndAnswersFalse) {
    const ForwardFailure& c = GetParam();
    TARNDynamicLoader library;
    if (c.library != nullptr) {
        ASSERT_TRUE(library.Open(c.library)) << c.library;
    }

    int result = 12345;
    EXPECT_FALSE(TARN::ForwardPckInitToLibrary(library, &result));
    EXPECT_EQ(result, c.result);
    // Without a place for the result the call fails the same way.
    EXPECT_FALSE(TARN::ForwardPckInitToLibrary(library, nullptr));
    EXPECT_EQ(Reports(), (std::vector<HostReport>{{c.report, 2, 0, false}, {c.report, 2, 0, false}}));
}

INSTANTIATE_TEST_SUITE_P(Cases, ForwardPckInitFailure, ::testing::ValuesIn(ForwardFailures),
                         [](const auto& info) { return std::string(info.param.name); });
