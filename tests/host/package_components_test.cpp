// Components of loaded packages, made, run and destroyed through the host: the test
// package's models beside this program's own, and whatever the real package defines.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host_graph.hpp"
#include "host_package.hpp"
#include "support/end_on_a_thread.hpp"
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

// A package's component whose Core never returns, killed, is left behind by the graph's end:
// the package stays loaded, since the component's thread runs its code, and the component
// is not deleted, even once its Core has returned; the kernel's end does both.
TEST_F(PackageComponents, APackageStaysLoadedUnderAComponentLeftBehind) {
    constexpr long Deadline = 20'000'000;
    auto ending = std::make_unique<HostGraph>(kernel);
    std::string error;
    ASSERT_TRUE(ending->LoadPackage(TARN_TEST_PACKAGE, error)) << error;
    auto probe = std::make_unique<HostPackage>();
    ASSERT_TRUE(probe->Open(TARN_TEST_PACKAGE, error)) << error;
    auto* stick = reinterpret_cast<void (*)(bool)>(probe->Symbol("test_package_stick_cores"));
    auto* stuck = reinterpret_cast<int (*)()>(probe->Symbol("test_package_stuck_cores"));
    auto* live = reinterpret_cast<int (*)()>(probe->Symbol("test_package_live_components"));
    ASSERT_TRUE(stick != nullptr && stuck != nullptr && live != nullptr);
    // The graph's load alone holds the package from here on.
    probe.reset();

    stick(true);
    struct LetGoOnEveryWayOut {
        void (*stick)(bool);
        ~LetGoOnEveryWayOut() {
            if (stick != nullptr) stick(false);
        }
    } letGo{stick};
    ASSERT_TRUE(ending->Create("second_model", "stuck"));
    TARNComponent* component = ending->Component("stuck");
    ASSERT_TRUE(ending->Start());
    ASSERT_TRUE(ending->RunUntil([&] { return stuck() == 1; }, Deadline));
    long took = -1;
    ASSERT_NO_FATAL_FAILURE(WithShutdownTimeout(50'000, [&] {
        ASSERT_TRUE(ending->Kill("stuck"));
        took = EndOnAThread(ending, Deadline, [&] {
            // The end, still waiting, then unloads the package.
            stick(false);
            letGo.stick = nullptr;
        });
    }));
    ASSERT_NE(took, -1) << "the graph's end waited for the Core";
    ASSERT_TRUE(kernel.Components().IsLeftBehind(component));

    void* loaded = dlopen(TARN_TEST_PACKAGE, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(loaded, nullptr) << "the package was unloaded under the thread of its component";
    if (loaded != nullptr) dlclose(loaded);
    stick(false);
    ASSERT_TRUE(graph.RunUntil([&] { return kernel.Components().Threads(component) == 0; }, Deadline));
    EXPECT_EQ(live(), 1) << "the component left behind was deleted before the kernel's end";
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
