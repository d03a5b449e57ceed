#include "host_engine_module.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/dataflow/core_function.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/synchronizer.hpp"

namespace {

using HostModulesTest = HostKernelTest;

}  // namespace

TEST_F(HostModulesTest, TheEngineModuleHoldsTheEngineProperties) {
    struct Case {
        const char* name;
        unsigned int type;
        bool readOnly;
    };
    const Case cases[] = {{"Engine.shutdownTimeout", TARNPropertyValue::Integer, false},
                          {"Engine.sequentialStart", TARNPropertyValue::Bool, false},
                          {"Engine.version", TARNPropertyValue::String, true},
                          {"Engine.id", TARNPropertyValue::String, false}};
    for (const Case& c : cases) {
        TARNProperty* property = TARN::Property(c.name);
        ASSERT_NE(property, nullptr) << c.name;
        EXPECT_EQ(property->Type(), c.type) << c.name;
        EXPECT_EQ(property->IsMutable(), !c.readOnly) << c.name;
        EXPECT_EQ(property->Owner(), &kernel.EngineModule()) << c.name;
    }
    EXPECT_EQ(kernel.EngineModule().Property("shutdownTimeout").IntegerValue(), 10'000'000);
}

// The SDK finds the engine's module through the symbol "Engine.time" and runs its action
// "refreshInputProperties" with an input's full name.
TEST_F(HostModulesTest, EngineTimeLeadsToTheEngineModuleAndItsRefreshAction) {
    TARNSymRec* symbol = kernel.FindSymbol("Engine.time");
    ASSERT_NE(symbol, nullptr);
    auto* engine = static_cast<TARNModule*>(symbol->data[0]);
    ASSERT_EQ(engine, &kernel.EngineModule());
    ASSERT_TRUE(engine->HasAction("refreshInputProperties"));

    engine->state |= TARNModule::MainLoopEnded;  // allowed at rest
    engine->Action("refreshInputProperties").DoIt("cam.in");
    engine->Action("refreshInputProperties").DoIt("cam.other");
    EXPECT_EQ(recorder.RefreshedInputs(), (std::vector<std::string>{"cam.in", "cam.other"}));
    EXPECT_TRUE(recorder.Reports().empty());
}

// Without a recorder nothing of a refresh is kept: a long run that changes reader types
// does not grow.
TEST_F(HostModulesTest, RefreshesAreKeptOnlyByARecorder) {
    HostKernel quiet;
    TARNModule& engine = quiet.EngineModule();
    engine.state |= TARNModule::MainLoopEnded;
    engine.Action("refreshInputProperties").DoIt("cam.in");
    HostRecorder later(quiet);
    EXPECT_EQ(later.RefreshedInputs(), std::vector<std::string>{});
    engine.Action("refreshInputProperties").DoIt("cam.other");
    EXPECT_EQ(later.RefreshedInputs(), std::vector<std::string>{"cam.other"});
}

TEST_F(HostModulesTest, KernelsEachHaveTheirOwnEngineModule) {
    TARNModule* first = &kernel.EngineModule();
    {
        HostKernel other;
        EXPECT_NE(&other.EngineModule(), first);
        EXPECT_NE(other.FindSymbol("Engine.id"), nullptr);
        EXPECT_EQ(TARNPrivate::kernel, &other);
    }
    EXPECT_EQ(TARNPrivate::kernel, &kernel) << "the binding is given back";
    EXPECT_EQ(kernel.FindProperty("Engine.id"), kernel.FindSymbol("Engine.id")->data[1]);
}

TEST_F(HostModulesTest, ElementNamesAreRegisteredOnceWithTheirOwner) {
    TARNModule cam("cam", false, true);
    TARNSymRec* symbol = kernel.FindSymbol("cam.processor");
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(symbol->data[0], static_cast<void*>(&cam));
    EXPECT_EQ(kernel.FindProperty("cam.processor"), cam.processorProperty);
    EXPECT_FALSE(kernel.RegisterProperty(cam.processorProperty)) << "a name is registered once";
}

TEST_F(HostModulesTest, ModuleStateNoticesAreRecordedInOrder) {
    kernel.ModuleStateChanged("cam", 4);
    kernel.ModuleStateChanged("cam", 12);
    kernel.ModuleStateChanged("front", 1);
    EXPECT_EQ(recorder.ModuleStateNotices(),
              (std::vector<HostModuleStateNotice>{{"cam", 4}, {"cam", 12}, {"front", 1}}));
    EXPECT_EQ(kernel.ModuleStates().at("cam"), 12u);
}

// A module thread that fails with anything but the module's own integers is reported, and
// its life is given back in every case.
TEST_F(HostModulesTest, AModuleThreadBodyCountsItsLifeAndReportsForeignFailures) {
    struct Worker : TARNModule {
        Worker() : TARNModule("worker", false, false) {}
        void Throw57005() { throw 57005; }
        void ThrowOther() { throw 3; }
    } worker;

    bool started = false;
    TARNModule::ThreadStart start{&worker, static_cast<void (TARNModule::*)()>(&Worker::Throw57005),
                                  &started};
    kernel.ModuleThread(&start);
    EXPECT_TRUE(started);
    EXPECT_EQ(worker.lives, 0u);
    EXPECT_TRUE(recorder.Reports().empty());

    started = false;
    start.function = static_cast<void (TARNModule::*)()>(&Worker::ThrowOther);
    kernel.ModuleThread(&start);
    EXPECT_TRUE(started);
    EXPECT_EQ(worker.lives, 0u);
    EXPECT_EQ(recorder.Reports(),
              (std::vector<HostReport>{{"A thread of module worker ended by the integer 3.", 2, 0, true}}));
}

TEST_F(HostModulesTest, EngineFunctionsAreFoundByNameWhileAdded) {
    TARNCoreFunction function("helper");
    EXPECT_EQ(TARN::CoreFunction("helper"), nullptr);
    kernel.AddCoreFunction(&function);
    EXPECT_EQ(TARN::CoreFunction("helper"), &function);
    EXPECT_EQ(TARN::CoreFunction("other"), nullptr);
    kernel.RemoveCoreFunction(&function);
    EXPECT_EQ(TARN::CoreFunction("helper"), nullptr);
}

TEST_F(HostModulesTest, SynchronizerRequestsAreRecordedAndAnsweredWithNone) {
    int owner = 0;
    TARNSynchronizer* synchronizer = reinterpret_cast<TARNSynchronizer*>(&owner);
    EXPECT_FALSE(TARN::GetSynchronizer(&owner, &synchronizer));
    EXPECT_EQ(synchronizer, nullptr);
    EXPECT_TRUE(kernel.Registrations().IsRegistered("synchronizer", &owner));
    EXPECT_TRUE(TARN::ReleaseSynchronizer(&owner, &synchronizer));
    EXPECT_FALSE(kernel.Registrations().IsRegistered("synchronizer", &owner));
}
