// The component life cycle on a host kernel: what Start checks and prepares, the period
// statistics it restarts, the sequential start, and the component's extra threads.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "connection_by_hand.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "reading_writing_fixture.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

class Counting : public TARNComponent {
  public:
    using TARNComponent::TARNComponent;
    // Threaded: waits to die, holding an element first with `holdInThread`. Run by its
    // writer: reads one element.
    void Core() override {
        ++cores;
        if (throwInCore != 0) throw throwInCore;
        if (threaded && holdInThread) holding = StartReading(Input("in")) != nullptr;
        if (threaded)
            Wait4Event(never, -1);
        else if (sequentialInput != nullptr && !readNothing)
            StartReading(*sequentialInput);
    }
    // With `allocateInBirth`, Birth lays out the output's buffers itself, as the bases and
    // the decoder do once they know their element size.
    void Birth() override {
        if (allocateInBirth) Output("out").AllocOutputBuffer(4, true);
    }
    void Death() override { ++deaths; }
    void Idle() { Wait4Event(never, -1); }
    static void Plain(void* argument) {
        auto* self = static_cast<Counting*>(argument);
        self->plainRan = true;
        self->Wait4Event(self->never, -1);
    }
    std::atomic<int> cores{0};
    std::atomic<int> deaths{0};
    std::atomic<bool> plainRan{false};
    bool readNothing = false;
    bool allocateInBirth = false;
    bool holdInThread = false;
    int throwInCore = 0;
    std::atomic<bool> holding{false};
    TARNEvent never;
};

struct Tables {
    TARNInputDefinition inputs[2] = {{"in", nullptr, nullptr, 0, 1}, {}};
    TARNOutputDefinition outputs[2] = {{"out", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 4, 4, 1, 0}, {}};
    TARNPropertyDefinition properties[2] = {{"gain", new TARNPropertyValue(2L), nullptr, false, true}, {}};
    TARNComponentDefinition definition{};
    Tables() {
        definition.name = "counting";
        definition.nbInputs = 1;
        definition.inputs = inputs;
        definition.nbOutputs = 1;
        definition.outputs = outputs;
        definition.nbProperties = 1;
        definition.properties = properties;
        definition.threadingModels = TARNComponentDefinition::Threaded | TARNComponentDefinition::Sequential;
    }
};

class LifeCycle : public HostKernelTest {
  protected:
    int ElementCount(TARNComponent& component) {
        return static_cast<TARNOutputImplementation&>(component.Output("out")).buffers.ElementCount();
    }
    std::string FirstError() const {
        const auto errors = ReportsAt(2);
        return errors.empty() ? "no error reported" : errors.front().message;
    }
    bool Has(const std::string& text) {
        const auto texts = ReportTexts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    Tables tables;
};

// Creation lays the buffers out already: a second allocation would be refused as "already
// initialized" and end the start.
TEST_F(LifeCycle, StartAllocatesOnlyOutputsWithoutBuffers) {
    Counting component("c", tables.definition);
    ASSERT_EQ(ElementCount(component), 4);
    EXPECT_NO_THROW(component.Start());
    EXPECT_EQ(component.State() & (TARNModule::Running | TARNModule::InError), TARNModule::Running);
    EXPECT_TRUE(ReportsAt(2).empty());
    component.Shutdown();
    EXPECT_EQ(ElementCount(component), 0);
    EXPECT_EQ(component.State(), TARNModule::MainLoopEnded);
    component.Start();
    EXPECT_EQ(ElementCount(component), 4);
    component.Shutdown();
    EXPECT_EQ(component.deaths.load(), 2);
}

// A threaded life can end on the component's own thread (it dies, its thread runs its
// death) with no Shutdown after it. The next start must still begin afresh: its Birth lays
// out buffers without finding the last life's "already initialized", and the last life's
// unread element is not handed to the new one.
TEST_F(LifeCycle, ALifeEndedWithoutShutdownLeavesNothingToTheNextOne) {
    tables.outputs[0].bufferSize = 0;
    Counting component("c", tables.definition);
    Counting reader("r", tables.definition);
    component.allocateInBirth = true;
    component.DirectSet(component.Property("threaded"), true);
    component.threaded = true;
    ConnectByHand(component.Output("out"), reader.Input("in"));
    for (int life = 1; life <= 3; ++life) {
        component.Start();
        // A Birth that fails ends the life at once: the component is no longer running.
        ASSERT_TRUE(AwaitCondition([&] {
            return component.cores.load() == life || (component.State() & TARNModule::Running) == 0;
        }));
        ASSERT_EQ(component.cores.load(), life) << "life " << life << ": " << FirstError();
        EXPECT_EQ(ElementCount(component), 4);
        EXPECT_FALSE(reader.Input("in").DataAvailableInFIFO()) << "life " << life;
        component.StopWriting(component.StartWriting(component.Output("out"), life));
        component.Die();
        ASSERT_TRUE(AwaitCondition([&] { return component.State() == TARNModule::MainLoopEnded; }));
        ASSERT_TRUE(kernel.Components().AwaitThreadsEnded(&component, Deadline));
    }
    EXPECT_TRUE(ReportsAt(2).empty()) << FirstError();
    EXPECT_EQ(component.deaths.load(), 3);
    TARN::Detach(component.Output("out"), reader.Input("in"));
}

// A component that dies while it holds an element gives it back in its death: its writer's
// ring is free again at once, so the writer's shutdown has nothing to wait for.
TEST_F(LifeCycle, ADeathGivesBackWhatTheInputsHold) {
    Counting writer("w", tables.definition);
    Counting reader("r", tables.definition);
    reader.holdInThread = true;
    reader.DirectSet(reader.Property("threaded"), true);
    reader.threaded = true;
    ConnectByHand(writer.Output("out"), reader.Input("in"));
    writer.StopWriting(writer.StartWriting(writer.Output("out"), 1));
    reader.Start();
    ASSERT_TRUE(AwaitCondition([&] { return reader.holding.load(); }));
    auto& ring = *static_cast<TARNOutputImplementation&>(writer.Output("out")).ring;
    ASSERT_TRUE(ring.IsBeingRead());

    reader.Die();
    ASSERT_TRUE(AwaitCondition([&] { return reader.State() == TARNModule::MainLoopEnded; }));
    EXPECT_FALSE(ring.IsBeingRead()) << "the dead reader still holds its element";
    EXPECT_EQ(static_cast<TARNInputImplementation&>(reader.Input("in")).heldCount, 0);
    reader.Shutdown();
    TARN::Detach(writer.Output("out"), reader.Input("in"));
}

// A reading time-out (-3) inside a Core run by its writer may be a deadlock between the
// two: the writer gets an error (-5) naming the reader, which is marked in error but not
// dead, and can be run again.
TEST_F(LifeCycle, ATimeOutInASequentialCoreIsTheWritersError) {
    Counting writer("w", tables.definition);
    Counting reader("r", tables.definition);
    reader.throwInCore = -3;
    ConnectByHand(writer.Output("out"), reader.Input("in"));
    reader.Start();
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(ThrownCode([&] { writer.StopWriting(writer.StartWriting(writer.Output("out"), i)); }),
                  TARNModule::ErrorException);
        EXPECT_EQ(reader.cores.load(), i);
    }
    const auto errors = ReportsAt(2);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].message, "Component r : Time out (deadlock?) on an input");
    EXPECT_EQ(reader.State() & (TARNModule::InError | TARNModule::Dying | TARNModule::Running),
              TARNModule::InError | TARNModule::Running);
    EXPECT_EQ(reader.deaths.load(), 0);
    reader.Shutdown();
    TARN::Detach(writer.Output("out"), reader.Input("in"));
}

TEST_F(LifeCycle, APropertyThatMustBeSetRefusesTheStart) {
    tables.properties[0].needsInit = true;
    Counting component("c", tables.definition);
    EXPECT_THROW(component.Start(), int);
    EXPECT_TRUE(Has("Unable to start component c. Its property gain needs to be initialized."));
    EXPECT_EQ(component.State() & (TARNModule::Running | TARNModule::InError), TARNModule::InError);
    component.Set(component.Property("gain"), 3L);
    component.Start();
    EXPECT_TRUE(component.State() & TARNModule::Running);
    component.Shutdown();
}

TEST_F(LifeCycle, AThreadedComponentOfASequentialModelStartsSequential) {
    tables.definition.threadingModels = TARNComponentDefinition::Sequential;
    Counting component("c", tables.definition);
    component.DirectSet(component.Property("threaded"), true);
    component.threaded = true;
    component.Start();
    EXPECT_TRUE(
        Has("component c: Threaded behaviour is not allowed anymore for this component (its threading "
            "model may have changed since last save operation)."));
    EXPECT_FALSE(component.Property("threaded").BoolValue());
    EXPECT_FALSE(component.threaded);
    component.Shutdown();
}

// Three elements waiting, subsampling 2, a FIFO reader: Core runs for the second only.
TEST_F(LifeCycle, ASequentialStartRunsWhatIsWaitingWithItsSubsampling) {
    Counting writer("w", tables.definition);
    Counting reader("r", tables.definition);
    ConnectByHand(writer.Output("out"), reader.Input("in"));
    reader.Set(reader.Property("in.subsampling"), 2L);
    for (int i = 0; i < 3; ++i) {
        TARNIOElt* element = writer.StartWriting(writer.Output("out"), i + 1);
        element->Integer32(0)[0] = i;
        writer.StopWriting(element);
    }
    reader.Start();
    EXPECT_EQ(reader.cores.load(), 1);
    reader.Shutdown();
}

// A Core that takes nothing leaves its element waiting: the writer runs it once per
// publication instead of looking again for ever.
TEST_F(LifeCycle, AWriterRunsAReaderThatTakesNothingOncePerElement) {
    Counting writer("w", tables.definition);
    Counting reader("r", tables.definition);
    reader.readNothing = true;
    ConnectByHand(writer.Output("out"), reader.Input("in"));
    reader.Start();
    for (int i = 0; i < 2; ++i) writer.StopWriting(writer.StartWriting(writer.Output("out"), i + 1));
    EXPECT_EQ(reader.cores.load(), 2);
    reader.Shutdown();
    // Cut off before destruction, as the host does: a writer runs its sequential readers
    // under its list of inputs, which a reader's destruction would take under its own lock.
    TARN::Detach(writer.Output("out"), reader.Input("in"));
}

// After a restart the first period measured is the only one in the window, whatever the
// previous life left in it.
TEST_F(LifeCycle, PeriodStatisticsRestartAsAWhole) {
    Time().UseManualClock(1'000'000);
    Counting component("c", tables.definition);
    component.Set(component.Property("nbPeriods"), 3L);
    auto at = [&](long milliseconds) {
        Time().SetCurrentTime(milliseconds * 1000);
        component.PerformanceMonitoring();
    };
    for (long t : {0, 10, 30, 60, 100}) at(t);
    long value = 0;
    component.Property("maxPeriod").Get(value);
    ASSERT_EQ(value, 40000);

    component.RestartPeriodStatistics();
    component.Property("counter").Get(value);
    EXPECT_EQ(value, 0);
    at(200);
    at(205);
    for (const char* name : {"averagePeriod", "minPeriod", "maxPeriod"}) {
        component.Property(name).Get(value);
        EXPECT_EQ(value, 5000) << name;
    }
}

TEST_F(LifeCycle, ExtraThreadsOfBothFormsAreLivesOfTheComponent) {
    Counting component("c", tables.definition);
    component.DirectSet(component.Property("threaded"), true);
    component.threaded = true;
    component.Start();
    component.CreateThread(static_cast<void (TARNModule::*)()>(&Counting::Idle));
    const TARNCouple<bool, unsigned long> plain = component.CreateThread(&Counting::Plain, &component);
    EXPECT_TRUE(plain.first);
    EXPECT_NE(plain.second, 0u);
    EXPECT_TRUE(component.plainRan.load());
    EXPECT_TRUE(AwaitCondition([&] { return kernel.Components().Threads(&component) == 3; }));
    component.Shutdown();
    EXPECT_TRUE(kernel.Components().AwaitThreadsEnded(&component, Deadline));
    EXPECT_EQ(component.deaths.load(), 1);
    EXPECT_TRUE(ReportsAt(2).empty());
}

}  // namespace
