// Components of loaded packages, made, run and destroyed through the host: the test
// package's models beside this program's own, and whatever the real package defines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host_graph.hpp"
#include "host_package.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/test_components.hpp"
#include "tarn/dataflow/component.hpp"

namespace {

using namespace test_components;

class PackageComponents : public HostKernelTest {
  protected:
    bool HasModel(const std::string& name) const {
        const auto models = graph.Models();
        return std::find(models.begin(), models.end(), name) != models.end();
    }
    HostGraph graph{kernel};
};

// The package's component sits between two of this program's: the elements cross two
// copies of the SDK both ways, and the package's property is set by text like any other.
TEST_F(PackageComponents, TestPackageComponentRunsBetweenProgramComponents) {
    std::string error;
    ASSERT_TRUE(graph.LoadPackage(TARN_TEST_PACKAGE, error)) << error;
    ASSERT_GE(graph.AddProgramModels(), 6);
    EXPECT_TRUE(HasModel("test_model"));
    EXPECT_TRUE(HasModel("second_model"));

    ASSERT_TRUE(graph.Create(SourceModel, "source"));
    ASSERT_TRUE(graph.Create("test_model", "middle"));
    ASSERT_TRUE(graph.Create(SinkModel, "sink"));
    ASSERT_TRUE(graph.Set("source.count", "100"));
    ASSERT_TRUE(graph.Set("middle.gain", "1000"));
    ASSERT_TRUE(graph.Connect("source.out", "middle.in"));
    ASSERT_TRUE(graph.Connect("middle.out", "sink.in"));
    ASSERT_TRUE(graph.Start());
    Sink& sink = *graph.Component<Sink>("sink");
    ASSERT_TRUE(graph.RunUntil([&] { return sink.count.load() == 100; }, 20'000'000));
    graph.Stop();

    const std::vector<Received> taken = sink.Taken();
    ASSERT_EQ(taken.size(), 100u);
    for (size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].value, 1000 + static_cast<int>(i));
        EXPECT_EQ(taken[i].timestamp, (static_cast<long>(i) + 1) * 1000);
    }
    EXPECT_TRUE(ReportsAt(2).empty());
}

TEST_F(PackageComponents, TestPackageComponentsAreCreatedAndDestroyed) {
    std::string error;
    ASSERT_TRUE(graph.LoadPackage(TARN_TEST_PACKAGE, error)) << error;
    HostPackage probe;
    ASSERT_TRUE(probe.Open(TARN_TEST_PACKAGE, error)) << error;
    auto* live = reinterpret_cast<int (*)()>(probe.Symbol("test_package_live_components"));
    ASSERT_NE(live, nullptr);

    ASSERT_TRUE(graph.Create("test_model", "a"));
    ASSERT_TRUE(graph.Create("second_model", "b"));
    EXPECT_EQ(live(), 2);
    // Counted up to the all-zero record: one input, one output, the one property.
    EXPECT_NE(kernel.FindProperty("a.gain"), nullptr);
    EXPECT_NE(kernel.FindProperty("a.out.fifosize"), nullptr);
    EXPECT_TRUE(graph.Component("a")->HasInput("in"));
    ASSERT_TRUE(graph.Destroy("a"));
    ASSERT_TRUE(graph.Destroy("b"));
    EXPECT_EQ(live(), 0);
    EXPECT_EQ(kernel.FindComponent("a"), nullptr);
    EXPECT_EQ(kernel.FindProperty("a.gain"), nullptr);
}

// Every model the real package hands out is made and destroyed through the host.
TEST_F(PackageComponents, RealPackageModelsAreCreatedAndDestroyed) {
#ifndef PIXTRACT_CPU_PATH
    GTEST_SKIP() << "pixtract_cpu.pck not built";
#else
    std::string error;
    ASSERT_TRUE(graph.LoadPackage(PIXTRACT_CPU_PATH, error)) << error;
    HostPackage package;
    ASSERT_TRUE(package.Open(PIXTRACT_CPU_PATH, error)) << error;
    const std::vector<HostModelInfo> models = package.Models();
    for (const HostModelInfo& model : models) {
        SCOPED_TRACE(model.model);
        EXPECT_TRUE(HasModel(model.model));
        const std::string name = "the_" + model.model;
        ASSERT_TRUE(graph.Create(model.model, name));
        EXPECT_NE(kernel.FindComponent(name.c_str()), nullptr);
        ASSERT_TRUE(graph.Destroy(name));
        EXPECT_EQ(kernel.FindComponent(name.c_str()), nullptr);
    }
    EXPECT_TRUE(ReportsAt(2).empty());
#endif
}

}  // namespace
