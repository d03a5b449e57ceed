// A module's inputs and outputs: creation with their per-element properties, lookup,
// removal, renaming, the properties' set-callbacks, and an output handing elements to an
// input through its ring.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection_by_hand.hpp"
#include "dataflow/abandoned_rings.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "module_fixture.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

std::vector<std::string> PropertyNames(const TARNModule& module) {
    std::vector<std::string> names;
    for (TARNProperty* property : module.properties) names.push_back(property->Name().c_str());
    return names;
}

std::vector<std::string> Symbols(const TARNModule& module) {
    std::vector<std::string> names;
    for (const TARNStackedString<40>& name : module.symbolNames) names.push_back(name.c_str());
    return names;
}

TARNInputDefinition InputOf(const char* name, unsigned int readerType = FifoReader, unsigned int subsampling = 1) {
    return TARNInputDefinition{name, nullptr, nullptr, readerType, subsampling};
}

TARNOutputDefinition OutputOf(const char* name, unsigned long type = TARNTypeInfo::Integer32,
                              unsigned int bufferSize = 4, unsigned int fifoSize = 3) {
    TARNOutputDefinition definition{};
    definition.name = name;
    definition.type = TARNTypeInfo(type);
    definition.bufferSize = bufferSize;
    definition.fifoSize = fifoSize;
    definition.subsampling = 1;
    return definition;
}

TARNOutputImplementation& Impl(TARNOutput& output) {
    return static_cast<TARNOutputImplementation&>(output);
}
TARNInputImplementation& Impl(TARNInput& input) {
    return static_cast<TARNInputImplementation&>(input);
}

// A module without a thread of its own, run by its upstream writer for each element.
class SequentialReader : public TARNModule {
  public:
    explicit SequentialReader(const char* name) : TARNModule(name, false, false) {}
    void SequentialCore(TARNInput* input) override {
        calls.push_back(input);
        state |= InError;  // a state change the writer passes on to the engine
    }
    std::vector<TARNInput*> calls;
};

}  // namespace

TEST_F(ModuleTest, InputsAndOutputsAreCreatedWithTheirOwnProperties) {
    TARNModule module("cam", false, false);
    const TARNInputDefinition fifo = InputOf("raw", NeverSkippingReader, 2);
    const TARNInputDefinition sampling = InputOf("preview", SamplingReader);
    const TARNOutputDefinition image = OutputOf("image", TARNTypeInfo::Integer32, 4, 5);

    TARNInput* raw = module.NewInput(fifo, nullptr);
    TARNInput* preview = module.NewInput(sampling, nullptr);
    TARNOutput* out = module.NewOutput(image, "left.image:0");

    EXPECT_STREQ(raw->Name().c_str(), "cam.raw");
    EXPECT_STREQ(raw->ShortName(), "raw");
    EXPECT_FALSE(raw->IsConnected());
    EXPECT_EQ(raw->ConnectedOutput(), nullptr);
    EXPECT_EQ(Impl(*raw).readerType, NeverSkippingReader);
    EXPECT_EQ(Impl(*raw).owner, &module);
    EXPECT_STREQ(out->Name().c_str(), "cam.left.image:0");
    EXPECT_STREQ(Impl(*out).registeredName.c_str(), "cam.left.image:0");
    EXPECT_EQ(Impl(*out).ring->FifoSize(), 5);
    EXPECT_EQ(out->IOEltSizeBytes(), 16);
    EXPECT_NE(Impl(*out).timestampHistory, nullptr);
    // A sampling input has no reader-type property: it could never switch kind.
    EXPECT_EQ(PropertyNames(module),
              (std::vector<std::string>{"cam.raw.subsampling", "cam.raw.readerType", "cam.preview.subsampling",
                                        "cam.left.image:0.subsampling", "cam.left.image:0.fifosize",
                                        "cam.left.image:0.periodic"}));
    EXPECT_EQ(module.Property("raw.subsampling").IntegerValue(), 2);
    EXPECT_EQ(module.Property("raw.readerType").IntegerValue(), NeverSkippingReader);
    EXPECT_EQ(module.Property("left.image:0.fifosize").IntegerValue(), 5);
    EXPECT_EQ(Impl(*raw).readerTypeProperty, &module.Property("raw.readerType"));
    EXPECT_EQ(module.sdkPropertyCount, 6u);
    EXPECT_EQ(Symbols(module).size(), 9u);

    // Found by index and by name.
    EXPECT_EQ(&module.Input(1), preview);
    EXPECT_EQ(&module.Input("preview"), preview);
    EXPECT_EQ(&module.Output(0), out);
    EXPECT_EQ(&module.Output("left.image:0"), out);
    EXPECT_TRUE(module.HasInput("raw"));
    EXPECT_TRUE(module.HasOutput("left.image:0"));
    EXPECT_FALSE(module.HasOutput("raw"));
}

TEST_F(ModuleTest, LookingForAnInputOrOutputThatIsNotThere) {
    TARNModule module("cam", false, false);
    EXPECT_FALSE(module.HasInput("x"));
    EXPECT_FALSE(module.HasOutput("x"));
    EXPECT_EQ(ThrownCode([&] { module.Input("x"); }), -5);
    EXPECT_EQ(ThrownCode([&] { module.Output(0); }), -5);
    EXPECT_EQ(ReportsAt(2).at(0).message, "Trying to access unknown input x of module cam");
    EXPECT_EQ(ReportsAt(2).at(1).message, "Trying to access unknown output #0 of module cam");
}

TEST_F(ModuleTest, InputAndOutputNamesFollowTheirPatterns) {
    TARNModule module("cam", false, false);
    EXPECT_EQ(ThrownCode([&] { module.NewInput(InputOf("in"), "a.b:c"); }), -5);
    EXPECT_EQ(ThrownCode([&] { module.NewOutput(OutputOf("out"), "9out"); }), -5);
    EXPECT_EQ(ThrownCode([&] { module.NewInput(InputOf(nullptr), nullptr); }), -5);
    EXPECT_NE(module.NewOutput(OutputOf("out"), "a.b:c"), nullptr);
    EXPECT_EQ(ReportsAt(2).at(0).message, "module cam: Trying to create an input with an invalid name: a.b:c");
    EXPECT_EQ(ReportsAt(2).at(1).message, "module cam: Trying to create an output with an invalid name: 9out");
    EXPECT_EQ(ReportsAt(2).at(2).message, "module cam: Call to NewInput failed. Bad input definition.");
    EXPECT_EQ(module.inputs.Count(), 0);
}

// The vector flag (bit 63) is set whenever an element holds other than exactly one value.
TEST_F(ModuleTest, OutputsCarryTheVectorFlagUnlessTheirBuffersHoldOneValue) {
    struct Case {
        unsigned long type;
        unsigned int bufferSize;
        unsigned long expected;
    };
    const Case cases[] = {
        {TARNTypeInfo::Integer32, 1, TARNTypeInfo::Integer32},
        {TARNTypeInfo::Integer32, 0, TARNTypeInfo::Integer32 | TARNTypeInfo::Vector},
        {TARNTypeInfo::Integer32, 2, TARNTypeInfo::Integer32 | TARNTypeInfo::Vector},
        {TARNTypeInfo::Integer32 | TARNTypeInfo::Vector, 2, TARNTypeInfo::Integer32 | TARNTypeInfo::Vector},
    };
    TARNModule module("cam", false, false);
    int index = 0;
    for (const Case& c : cases) {
        const std::string name = "out" + std::to_string(index++);
        TARNOutput* output = module.NewOutput(OutputOf("out", c.type, c.bufferSize), name.c_str());
        EXPECT_EQ(output->Type().type, c.expected) << name;
    }
}

TEST_F(ModuleTest, RemovingAnInputOrOutputTakesItsPropertiesAndSymbols) {
    TARNModule module("cam", false, false);
    TARNInput* in = module.NewInput(InputOf("in"), nullptr);
    TARNOutput* out = module.NewOutput(OutputOf("out"), nullptr);
    TARNInput* kept = module.NewInput(InputOf("kept", SamplingReader), nullptr);

    module.RemoveInput(in);
    module.RemoveOutput(out);

    EXPECT_EQ(module.inputs.Count(), 1);
    EXPECT_EQ(&module.Input(0), kept);
    EXPECT_EQ(module.outputs.Count(), 0);
    EXPECT_EQ(PropertyNames(module), (std::vector<std::string>{"cam.kept.subsampling"}));
    EXPECT_EQ(Symbols(module), (std::vector<std::string>{"cam.kept", "cam.kept.subsampling"}));
    EXPECT_EQ(module.sdkPropertyCount, 1u);
    EXPECT_EQ(kernel.FindSymbol("cam.in.subsampling"), nullptr);
    EXPECT_FALSE(module.HasInput("in"));
}

// The engine holds its graph still inside the bracket: a removal that fails half-way must
// still close it. The fixture checks the balance; here the throw comes from the kernel's
// own removal notice, in the middle of each bracket.
TEST_F(ModuleTest, ARemovalThatThrowsStillClosesItsGraphChangeBracket) {
    TARNModule module("cam", false, false);
    TARNInput* in = module.NewInput(InputOf("in"), nullptr);
    TARNOutput* out = module.NewOutput(OutputOf("out"), nullptr);
    kernel.SetRemovalNoticeHook([](const char*) { throw 7; });

    EXPECT_EQ(ThrownCode([&] { module.RemoveInput(in); }), 7);
    EXPECT_EQ(ThrownCode([&] { module.RemoveOutput(out); }), 7);

    EXPECT_EQ(kernel.ChangesOpened(), 2);
    EXPECT_EQ(kernel.ChangesClosed(), 2);
    kernel.SetRemovalNoticeHook(nullptr);
}

TEST_F(ModuleTest, RenamingTheModuleRenamesItsInputsAndOutputs) {
    TARNModule module("cam", false, false);
    TARNInput* in = module.NewInput(InputOf("in"), nullptr);
    TARNOutput* out = module.NewOutput(OutputOf("out"), nullptr);

    module.Rename("cam", "front");
    module.state &= ~TARNModule::Running;

    EXPECT_STREQ(in->Name().c_str(), "front.in");
    EXPECT_STREQ(out->Name().c_str(), "front.out");
    EXPECT_STREQ(Impl(*out).registeredName.c_str(), "front.out");
    EXPECT_STREQ(module.Property("out.fifosize").Name().c_str(), "front.out.fifosize");
    // The callbacks find their element again under the new names.
    module.Set(module.Property("out.fifosize"), 2L);
    EXPECT_EQ(Impl(*out).ring->FifoSize(), 2);
}

TEST(OutputRename, OnlyTheModulePartFollows) {
    struct Case {
        const char* name;
        const char* oldName;
        const char* newName;
        const char* expected;
    };
    const Case cases[] = {
        {"cam.out", "cam", "front", "front.out"},
        {"camera.out", "cam", "front", "camera.out"},
        {"cam", "cam", "front", "front"},
        {"cam.out", "cam", nullptr, ".out"},
        {"cam.a.b", "cam", "x", "x.a.b"},
    };
    for (const Case& c : cases) {
        TARNOutputImplementation output;
        output.fullName = c.name;
        output.registeredName = c.name;
        output.Rename(c.oldName, c.newName);
        EXPECT_STREQ(output.fullName.c_str(), c.expected) << c.name;
        EXPECT_STREQ(output.registeredName.c_str(), c.expected) << c.name;
    }
}

TEST_F(ModuleTest, FindOrCreateOfInputsWalksFromTheCursor) {
    TARNModule module("cam", false, false);
    const TARNInputDefinition a = InputOf("a"), b = InputOf("b"), c = InputOf("c");
    module.NewInput(a, nullptr);
    module.NewInput(b, nullptr);
    TARNInput* third = module.NewInput(c, nullptr);

    module.inputCursor = module.inputs.Head();
    bool created = true;
    int index = -1;
    TARNInput* found = module.NewInputX(TARNStackedString<40>("cam.c"), c.name, created, index);

    EXPECT_EQ(found, third);
    EXPECT_FALSE(created);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(module.inputCursor, nullptr);
    EXPECT_EQ(module.inputs.Count(), 1);
    // The skipped inputs went with their properties.
    EXPECT_EQ(PropertyNames(module), (std::vector<std::string>{"cam.c.subsampling", "cam.c.readerType"}));
}

// A dynamic re-creation walks the property list from its cursor: the per-element
// properties are passed over, never swept, and Property(index) does not count them.
TEST_F(ModuleTest, PerElementPropertiesAreNeverSweptByTheCursorWalk) {
    TARNModule module("cam", false, false);
    TARNPropertyDefinition gain("gain", new TARNPropertyValue(1L));
    TARNPropertyDefinition offset("offset", new TARNPropertyValue(2L));
    module.NewProperty(gain, nullptr);
    module.NewInput(InputOf("in"), nullptr);
    TARNProperty* second = module.NewProperty(offset, nullptr);
    EXPECT_EQ(&module.Property(1), second);

    module.propertyCursor = module.properties.Head();
    bool created = true;
    module.NewPropertyX(TARNStackedString<40>("cam.gain"), gain.name, created);
    EXPECT_FALSE(created);
    module.NewPropertyX(TARNStackedString<40>("cam.offset"), offset.name, created);
    EXPECT_FALSE(created);
    EXPECT_EQ(PropertyNames(module),
              (std::vector<std::string>{"cam.gain", "cam.in.subsampling", "cam.in.readerType", "cam.offset"}));
    module.propertyCursor = module.properties.Head();
    EXPECT_TRUE(module.HasProperty("in.subsampling"));
}

TEST_F(ModuleTest, SubsamplingBelowOneIsRefusedAndThePreviousValueKept) {
    TARNModule module("cam", false, false);
    TARNInput* in = module.NewInput(InputOf("in", FifoReader, 3), nullptr);
    TARNOutput* out = module.NewOutput(OutputOf("out"), nullptr);
    module.Set(module.Property("out.subsampling"), 2L);

    for (long refused : {0L, -1L}) {
        module.Set(module.Property("in.subsampling"), refused);
        module.Set(module.Property("out.subsampling"), refused);
    }

    EXPECT_EQ(module.Property("in.subsampling").IntegerValue(), 3);
    EXPECT_EQ(Impl(*in).subsampling, 3);
    EXPECT_EQ(module.Property("out.subsampling").IntegerValue(), 2);
    EXPECT_EQ(Impl(*out).ring->OutputSubsamplingRate(), 2);
    ASSERT_EQ(ReportsAt(2).size(), 4u);
    EXPECT_EQ(ReportsAt(2)[0].message, "Bad parameter: The subsampling of the input cam.in must be at least 1.");
    EXPECT_EQ(ReportsAt(2)[1].message, "Bad parameter: The subsampling of the output cam.out must be at least 1.");
}

// The element keeps these in 32 bits: a value beyond them would wrap round (a FIFO size
// of -2800014487 to a ring of 1,494,952,809 elements).
TEST_F(ModuleTest, ElementSettingsBeyond32BitsAreRefusedAndThePreviousValueKept) {
    TARNModule module("cam", false, false);
    TARNInput* in = module.NewInput(InputOf("in", FifoReader, 3), nullptr);
    TARNOutput* out = module.NewOutput(OutputOf("out"), nullptr);
    module.Set(module.Property("out.fifosize"), 5L);
    const size_t slots = Impl(*out).ring->Elements().size();

    for (long refused : {-2800014487L, 4294967297L}) {
        module.Set(module.Property("in.subsampling"), refused);
        module.Set(module.Property("out.subsampling"), refused);
        module.Set(module.Property("out.fifosize"), refused);
    }

    EXPECT_EQ(module.Property("in.subsampling").IntegerValue(), 3);
    EXPECT_EQ(Impl(*in).subsampling, 3);
    EXPECT_EQ(module.Property("out.subsampling").IntegerValue(), 1);
    EXPECT_EQ(module.Property("out.fifosize").IntegerValue(), 5);
    EXPECT_EQ(Impl(*out).ring->Elements().size(), slots);
    EXPECT_EQ(Impl(*out).definition.fifoSize, 5u);
    ASSERT_EQ(ReportsAt(2).size(), 6u);
    EXPECT_EQ(ReportsAt(2)[2].message,
              "Bad parameter: The fifosize of the output cam.out must lie between -2147483648 and 2147483647.");
}

TEST_F(ModuleTest, InputSettingsReachTheRingOfTheConnection) {
    TARNModule writer("cam", false, false);
    TARNModule reader("view", false, false);
    TARNOutput* out = writer.NewOutput(OutputOf("out"), nullptr);
    TARNInput* in = reader.NewInput(InputOf("in"), nullptr);
    ConnectByHand(*out, *in);
    TARNIOMonitorImplementation& ring = *Impl(*out).ring;

    reader.Set(reader.Property("in.subsampling"), 7L);
    reader.Set(reader.Property("in.readerType"), static_cast<long>(LastOrNextReader));
    EXPECT_EQ(ring.SubsamplingRate(Impl(*in).readerId), 7);
    EXPECT_EQ(ring.ReaderType(Impl(*in).readerId), LastOrNextReader);

    // Into the other group: refused, the property reads the kind again.
    reader.Set(reader.Property("in.readerType"), static_cast<long>(SamplingReader));
    EXPECT_EQ(reader.Property("in.readerType").IntegerValue(), LastOrNextReader);
    EXPECT_EQ(ring.ReaderType(Impl(*in).readerId), LastOrNextReader);
    EXPECT_EQ(ReportsAt(2).back().message,
              "Bad parameter: The input view.in cannot be switched to SamplingReader or Wait4NextReader.");
    // Beyond what the ring takes: stored in the input, then the ring's fatal error.
    EXPECT_EQ(ThrownCode([&] { reader.Set(reader.Property("in.subsampling"), 300L); }), -5);
    EXPECT_EQ(Impl(*in).subsampling, 300);
}

TEST_F(ModuleTest, FifoSizeAppliesAtOnceWhileIdleAndLaysTheBuffersAgain) {
    TARNModule module("cam", false, false);
    TARNOutput* out = module.NewOutput(OutputOf("out", TARNTypeInfo::Integer32, 4, 3), nullptr);
    module.state &= ~TARNModule::Running;

    module.Set(module.Property("out.fifosize"), 5L);

    TARNIOMonitorImplementation& ring = *Impl(*out).ring;
    EXPECT_EQ(ring.FifoSize(), 5);
    EXPECT_EQ(Impl(*out).PendingFifoSize(), -1);
    EXPECT_EQ(out->NbFreeSlotsInFIFO(), 5);
    for (TARNIOEltImplementation* element : ring.Elements()) {
        EXPECT_NE(element->Data(), nullptr);
        EXPECT_EQ(element->BufferSize(), 4);
    }
}

// Rebuilding the ring would destroy elements a writer or reader holds: while the module
// runs the new length waits for the next start (the next allocation of the buffers).
TEST_F(ModuleTest, FifoSizeChangedWhileRunningWaitsForTheNextStart) {
    TARNModule module("cam", false, false);
    TARNOutput* out = module.NewOutput(OutputOf("out", TARNTypeInfo::Integer32, 4, 3), nullptr);
    TARNIOMonitorImplementation& ring = *Impl(*out).ring;
    module.Start();
    TARNListIterator held = ring.StartWriting();
    TARNIOEltImplementation& element = TARNIOMonitorImplementation::Element(held);
    int* data = element.Integer32(0);

    module.Set(module.Property("out.fifosize"), 6L);

    EXPECT_EQ(ring.FifoSize(), 3);
    EXPECT_EQ(Impl(*out).PendingFifoSize(), 6);
    data[3] = 42;  // the held element and its buffer are still the writer's
    ring.StopWriting(held, false);

    module.state &= ~TARNModule::Running;
    Impl(*out).FreeBuffer();
    out->AllocOutputBuffer(4, true);
    EXPECT_EQ(ring.FifoSize(), 6);
    EXPECT_EQ(Impl(*out).PendingFifoSize(), -1);
    EXPECT_EQ(out->NbFreeSlotsInFIFO(), 6);
    for (TARNIOEltImplementation* each : ring.Elements()) EXPECT_NE(each->Data(), nullptr);
}

TEST_F(ModuleTest, PeriodicFollowsItsProperty) {
    TARNModule module("cam", false, false);
    TARNOutput* out = module.NewOutput(OutputOf("out"), nullptr);
    module.state &= ~TARNModule::Running;  // fixed once started
    EXPECT_FALSE(Impl(*out).periodic);
    module.Set(module.Property("out.periodic"), true);
    EXPECT_TRUE(Impl(*out).periodic);
}

TEST_F(ModuleTest, AnOutputHandsItsElementsToAConnectedInput) {
    TARNModule writer("cam", false, false);
    TARNModule reader("view", false, false);
    TARNOutput* out = writer.NewOutput(OutputOf("out", TARNTypeInfo::Integer32, 4, 3), nullptr);
    TARNInput* in = reader.NewInput(InputOf("in"), nullptr);
    ConnectByHand(*out, *in);
    TARNIOMonitorImplementation& ring = *Impl(*out).ring;
    EXPECT_TRUE(in->IsConnected());
    EXPECT_EQ(in->Type().type, out->Type().type);
    EXPECT_FALSE(in->DataAvailableInFIFO());

    for (int value : {10, 20}) {
        TARNListIterator slot = ring.StartWriting();
        TARNIOElt& element = (*out->Monitor())[slot];
        element.Integer32(0)[0] = value;
        element.VectorSize() = 1;
        ring.StopWriting(slot, false);
    }
    EXPECT_TRUE(in->DataAvailableInFIFO());
    EXPECT_EQ(in->NbDataAvailableInFIFO(), 2);
    EXPECT_EQ(out->NbFreeSlotsInFIFO(), 1);

    for (int expected : {10, 20}) {
        TARNListIterator taken = TakeByHand(*in);
        EXPECT_EQ(TARNIOMonitorImplementation::Element(taken).Integer32(0)[0], expected);
        GiveBackByHand(*in, taken);
    }
    EXPECT_FALSE(in->DataAvailableInFIFO());
    EXPECT_EQ(out->NbFreeSlotsInFIFO(), 3);
}

TEST_F(ModuleTest, SequentialReadersRunOnTheWritersCall) {
    TARNModule writer("cam", false, false);
    SequentialReader sequential("seq");
    SequentialReader threaded("thr");
    threaded.threaded = true;
    sequential.threaded = false;
    TARNOutput* out = writer.NewOutput(OutputOf("out"), nullptr);
    TARNInput* first = sequential.NewInput(InputOf("in"), nullptr);
    TARNInput* second = threaded.NewInput(InputOf("in"), nullptr);
    ConnectByHand(*out, *first);
    ConnectByHand(*out, *second);

    Impl(*out).CallSequentialComponents();

    EXPECT_EQ(sequential.calls, std::vector<TARNInput*>{first});
    EXPECT_TRUE(threaded.calls.empty());
}

// Removing or deleting either end cuts the connection: nothing is left pointing at the
// element that went (the sanitizers see any dangling use).
TEST_F(ModuleTest, RemovingEitherEndCutsTheConnection) {
    TARNModule writer("cam", false, false);
    TARNOutput* out = writer.NewOutput(OutputOf("out"), nullptr);
    {
        TARNModule reader("view", false, false);
        TARNInput* in = reader.NewInput(InputOf("in"), nullptr);
        ConnectByHand(*out, *in);
        reader.RemoveInput(in);
        EXPECT_EQ(Impl(*out).connectedInputs.Count(), 0);
        EXPECT_EQ(Impl(*out).ring->ReaderCount(), 0);
        ConnectByHand(*out, *reader.NewInput(InputOf("again"), nullptr));
    }
    EXPECT_EQ(Impl(*out).connectedInputs.Count(), 0);
    Impl(*out).CallSequentialComponents();

    TARNModule reader("view", false, false);
    TARNInput* in = reader.NewInput(InputOf("in"), nullptr);
    ConnectByHand(*out, *in);
    writer.RemoveOutput(out);
    EXPECT_FALSE(in->IsConnected());
    EXPECT_FALSE(in->DataAvailableInFIFO());
}

// An output laid out anew drops what it published and no reader has taken yet: that
// element has no buffer of its own any more, and taken after the new layout it would be
// the new layout's (another size, none of its values) under its own timestamp. An element
// being written meanwhile stays the writer's, and the reader takes it once published.
TEST_F(ModuleTest, AnOutputLaidOutAgainDropsWhatNoReaderHasTakenYet) {
    for (const int readerType : {int{FifoReader}, int{NeverSkippingReader}, int{SamplingReader}}) {
        SCOPED_TRACE(readerType);
        TARNModule writer("cam", false, false);
        TARNModule reader("view", false, false);
        TARNOutput* out = writer.NewOutput(OutputOf("out", TARNTypeInfo::Integer32, 4, 3), nullptr);
        TARNInput* in = reader.NewInput(InputOf("in", static_cast<unsigned int>(readerType)), nullptr);
        ConnectByHand(*out, *in);
        TARNIOElt* written = writer.StartWriting(*out);
        written->Integer32(0)[0] = 42;
        written->VectorSize() = 1;
        written->Timestamp() = 1;
        writer.StopWriting(written);
        TARNIOElt* next = writer.StartWriting(*out);

        Impl(*out).FreeBuffer();
        out->AllocOutputBuffer(64, true);
        EXPECT_EQ(reader.StartReading(*in), nullptr) << "the element published before was read";
        next->Integer32(63)[0] = 7;
        next->Timestamp() = 2;
        writer.StopWriting(next);
        TARNIOElt* taken = reader.StartReading(*in);
        ASSERT_NE(taken, nullptr);
        EXPECT_EQ(taken->Timestamp(), 2);
        EXPECT_EQ(taken->Integer32(63)[0], 7);
        reader.StopReading(*in);
    }
}

// An output laid out anew while it runs, keeping what it published readable: a reader
// that has not taken an element yet takes it as it was published, over the old buffers
// (the sanitizers see any early free), then what the new layout holds. The old buffers go
// once every FIFO-group reader has taken what lies over them.
TEST_F(ModuleTest, AnOutputLaidOutAgainWhileRunningKeepsWhatNoReaderHasTakenReadable) {
    for (const int readerType : {int{FifoReader}, int{NeverSkippingReader}}) {
        SCOPED_TRACE(readerType);
        const long blocksBefore = TARNOutputBuffers::LiveBlocks();
        TARNModule writer("cam", false, false);
        TARNModule reader("view", false, false);
        TARNOutput* out = writer.NewOutput(OutputOf("out", TARNTypeInfo::Integer32, 4, 3), nullptr);
        TARNInput* in = reader.NewInput(InputOf("in", static_cast<unsigned int>(readerType)), nullptr);
        ConnectByHand(*out, *in);
        for (long timestamp : {1, 2}) {
            TARNIOElt* written = writer.StartWriting(*out);
            written->Integer32(0)[0] = static_cast<int>(40 + timestamp);
            written->VectorSize() = 1;
            written->Timestamp() = timestamp;
            writer.StopWriting(written);
        }

        Impl(*out).FreeBuffer(TARNOutputImplementation::PublishedElements::kKeptReadable);
        out->AllocOutputBuffer(64, true);
        EXPECT_EQ(TARNOutputBuffers::LiveBlocks(), blocksBefore + 2) << "the old buffers and the new";
        TARNIOElt* next = writer.StartWriting(*out);
        next->Integer32(63)[0] = 7;
        next->Timestamp() = 3;
        writer.StopWriting(next);
        for (long timestamp : {1, 2, 3}) {
            TARNIOElt* taken = reader.StartReading(*in);
            ASSERT_NE(taken, nullptr);
            EXPECT_EQ(taken->Timestamp(), timestamp);
            EXPECT_EQ(taken->BufferSize(), timestamp < 3 ? 4 : 64);
            EXPECT_EQ(taken->Integer32(timestamp < 3 ? 0 : 63)[0], timestamp < 3 ? 40 + timestamp : 7);
            reader.StopReading(*in);
        }
        writer.StopWriting(writer.StartWriting(*out), true);
        EXPECT_EQ(TARNOutputBuffers::LiveBlocks(), blocksBefore + 1) << "the old buffers went";
    }
}

// A reader cut off from the graph (detached while it holds an element, and not inside a
// reading call) keeps its element, whatever happens to the output meanwhile: laid out anew
// with other sizes, removed, or gone with its module. The element, its buffer and its ring
// stay as they were until the reader gives it back (the sanitizers see any early free). A
// module that goes while the engine has not detached its readers cuts them off itself, and
// they keep what they hold alike.
TEST_F(ModuleTest, AnElementACutOffReaderHoldsOutlivesEveryWayItsOutputGoes) {
    enum class Way { LaidOutAgain, Removed, ModuleDestroyed };
    const struct {
        const char* what;
        Way way;
        bool detachedFirst;
    } cases[] = {
        {"laid out again", Way::LaidOutAgain, true},
        {"removed", Way::Removed, true},
        {"gone with its module", Way::ModuleDestroyed, true},
        {"gone with its module, still connected", Way::ModuleDestroyed, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto writer = std::make_unique<TARNModule>("cam", false, false);
        TARNModule reader("view", false, false);
        TARNOutput* out = writer->NewOutput(OutputOf("out", TARNTypeInfo::Integer32, 4, 3), nullptr);
        TARNInput* in = reader.NewInput(InputOf("in"), nullptr);
        ConnectByHand(*out, *in);
        TARNIOElt* written = writer->StartWriting(*out);
        written->Integer32(0)[0] = 42;
        written->VectorSize() = 1;
        writer->StopWriting(written);
        TARNIOElt* held = reader.StartReading(*in);
        ASSERT_NE(held, nullptr);
        const void* data = held->Data();
        if (c.detachedFirst) {
            ASSERT_TRUE(TARN::Detach(*out, *in));
            ASSERT_NE(Impl(*in).detachedRing, nullptr) << "the reader was not cut off holding its element";
        }
        const int ringsBefore = TARNPrivate::AbandonedRingCount();

        switch (c.way) {
            case Way::LaidOutAgain:
                Impl(*out).FreeBuffer();
                out->AllocOutputBuffer(64, true);
                // Every slot the writer can reach written over.
                for (int i = 0; i < 3; ++i) {
                    TARNIOElt* element = writer->StartWriting(*out);
                    element->Integer32(63)[0] = 7;
                    writer->StopWriting(element);
                }
                break;
            case Way::Removed:
                writer->RemoveOutput(out);
                break;
            case Way::ModuleDestroyed:
                writer.reset();
                break;
        }
        if (c.way != Way::LaidOutAgain) {
            EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsBefore + 1)
                << "the ring lives on for its reader";
        }
        EXPECT_EQ(held->Data(), data);
        EXPECT_EQ(held->BufferSize(), 4);
        EXPECT_EQ(held->Integer32(0)[0], 42);

        EXPECT_FALSE(in->IsConnected());
        reader.StopReading(*in);
        EXPECT_EQ(Impl(*in).detachedRing, nullptr);
        EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsBefore);
        if (c.way == Way::LaidOutAgain) {
            EXPECT_FALSE(Impl(*out).ring->HasSetAsideSlots());
            for (TARNIOEltImplementation* element : Impl(*out).ring->Elements()) {
                EXPECT_EQ(element->BufferSize(), 64);
            }
        }
    }
}

// An element written past its buffer is never published and never kept: its slot comes
// back at once, and the output subsampling does not count it.
TEST_F(ModuleTest, AnOverflowedElementIsFreedNotPublished) {
    TARNModule module("cam", false, false);
    TARNOutputDefinition definition = OutputOf("out", TARNTypeInfo::Integer32, 4, 3);
    definition.subsampling = 2;
    TARNOutput* out = module.NewOutput(definition, nullptr);
    TARNOutputImplementation& output = Impl(*out);
    TARNIOMonitorImplementation& ring = *output.ring;

    TARNListIterator within = ring.StartWriting();
    ring.Element(within).VectorSize() = 4;
    EXPECT_STREQ(output.DropOverflowed(within).c_str(), "");
    ring.StopWriting(within, false);  // the first of two: dropped by the subsampling

    TARNListIterator overrun = ring.StartWriting();
    ring.Element(overrun).VectorSize() = 5;
    EXPECT_STREQ(output.DropOverflowed(overrun).c_str(), "Buffer overflow detected: VectorSize(5) > BufferSize(4)");
    EXPECT_EQ(out->NbFreeSlotsInFIFO(), 3);

    TARNListIterator next = ring.StartWriting();
    ring.Element(next).VectorSize() = 1;
    ring.StopWriting(next, false);  // the second counted one: published
    EXPECT_EQ(ring.NbDataAvailable(ring.RegisterReader(SamplingReader)), 1);
}
