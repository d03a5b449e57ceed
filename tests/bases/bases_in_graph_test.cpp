// Each component base running its test component in a host graph (a source, the component,
// a sink), created, configured, started and stopped by the host as the engine would: images
// through an operation, two images summed, bytes turned into sound samples, elements of two
// inputs handed on oldest first, and a byte stream cut into chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "host_graph.hpp"
#include "support/graph_ends.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/image_operation_test_component.hpp"
#include "support/sorted_reading_test_component.hpp"
#include "support/sound_test_component.hpp"
#include "support/stream8_test_component.hpp"
#include "support/two_image_operation_test_component.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a test waits before it gives up
constexpr unsigned long ByteStream = TARNTypeInfo::Stream8 | TARNTypeInfo::Vector;
constexpr long Now = 50'000'000;

// Engine time stands still at Now: elements stamped before it are neither late nor from
// the future, and a chunk sent without a time gets Now.
class BasesInGraphTest : public ManualTimeTest {
  protected:
    void SetUp() override {
        ManualTimeTest::SetUp();
        Time().SetCurrentTime(Now);
        ASSERT_TRUE(graph.AddModel(ScriptedSource::Model()));
        ASSERT_TRUE(graph.AddModel(RecordingSinkComponent::Model()));
    }
    void TearDown() override {
        graph.Stop();
        ManualTimeTest::TearDown();
    }

    // A source, the component of `Component`'s model named "component", and a sink.
    template <class Component>
    Component& Make(bool sinkThreaded = true) {
        EXPECT_TRUE(graph.AddModel(ModelOf<Component>()));
        EXPECT_TRUE(graph.Create("scriptedSource", "source"));
        EXPECT_TRUE(graph.Create(ModelOf<Component>().name, "component"));
        EXPECT_TRUE(graph.Create("recordingSink", "sink"));
        EXPECT_TRUE(graph.Set("sink.threaded", sinkThreaded ? "true" : "false"));
        return *graph.Component<Component>("component");
    }
    ScriptedSource& Source() { return *graph.Component<ScriptedSource>("source"); }
    RecordingSinkComponent& Sink() { return *graph.Component<RecordingSinkComponent>("sink"); }
    // Starts the graph and waits until the sink holds `count` elements.
    void RunFor(std::size_t count) {
        ASSERT_TRUE(graph.Start());
        ASSERT_TRUE(Sink().AwaitCount(count, Deadline)) << Sink().Count() << " of " << count;
        graph.Stop();
        EXPECT_TRUE(ReportsAt(2).empty()) << ReportsAt(2).front().message;
    }

    HostGraph graph{kernel};
};

// ---- One-source image processing -------------------------------------------------------

struct ImageCase {
    const char* name;
    const char* operation;
    const char* parameters;
    int add;            // what the operation adds to every byte
    bool lastOrNext;    // the component may skip images it is late for
    bool sinkThreaded;
};

void PrintTo(const ImageCase& c, std::ostream* out) {
    *out << c.name;
}

const ImageCase ImageCases[] = {
    {"CopyEveryImage", "Copy", "", 0, false, true},
    {"AddToEveryImage", "ADD", "3,4,0.5", 3, false, true},
    {"AddIntoASequentialSink", "ADD", "7,0,0", 7, false, false},
    {"AddSkippingStaleImages", "ADD", "3,4,0.5", 3, true, true},
};

class ImageInGraph : public BasesInGraphTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(ImageInGraph, TheOperationIsAppliedToTheImagesWithTheirTimestamps) {
    const ImageCase& c = GetParam();
    constexpr int Images = 40;
    auto& component = Make<ImageOperationTestComponent>(c.sinkThreaded);
    ASSERT_TRUE(graph.Set("component.pOperation", c.operation));
    ASSERT_TRUE(graph.Set("component.pParameters", c.parameters));
    ASSERT_TRUE(graph.Set("component.pLastOrNextReader", c.lastOrNext ? "true" : "false"));
    // Long enough for every image: a FIFO reader runs behind a ring that wraps.
    TARNOutput& images = Source().ImageOutput("images", 8, 4, "GRAY", Images + 1);
    Source().script = [&images](ScriptedSource& source) {
        for (int i = 0; i < Images; ++i) source.WriteImage(images, static_cast<unsigned char>(i), (i + 1) * 1000L);
    };
    ASSERT_TRUE(graph.Connect("source.images", "component.iImage"));
    ASSERT_TRUE(graph.Connect("component.oImage", "sink.in"));
    ASSERT_TRUE(graph.Start());
    // The last image is always processed: nothing comes after it to make it stale.
    ASSERT_TRUE(graph.RunUntil(
        [&] {
            const auto records = Sink().Records();
            return !records.empty() && records.back().timestamp == Images * 1000L;
        },
        Deadline));
    graph.Stop();

    const auto records = Sink().Records();
    if (!c.lastOrNext) {
        ASSERT_EQ(records.size(), static_cast<std::size_t>(Images));
    }
    long previous = 0;
    for (const SinkRecord& record : records) {
        const int i = static_cast<int>(record.timestamp / 1000) - 1;
        EXPECT_GT(record.timestamp, previous) << "in order";
        previous = record.timestamp;
        EXPECT_EQ(record.width, 8);
        EXPECT_EQ(record.height, 4);
        ASSERT_FALSE(record.bytes.empty());
        for (int row = 0; row < record.height; ++row)
            for (int x = 0; x < record.width; ++x)
                ASSERT_EQ(record.bytes[static_cast<std::size_t>(row * record.widthStep + x)],
                          static_cast<unsigned char>(i + c.add))
                    << "image " << i;
    }
    const auto calls = component.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_STREQ(calls.front().operation, c.operation);
    EXPECT_TRUE(ReportsAt(2).empty()) << ReportsAt(2).front().message;
}

INSTANTIATE_TEST_SUITE_P(Operations, ImageInGraph, ::testing::ValuesIn(ImageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The image input takes images only: an output of numbers connected to it would have its
// elements read as image headers. The host, as an engine, asks the input's filter and
// refuses the connection, naming both ends and both types; the point input, which takes
// integers, connects.
TEST_F(BasesInGraphTest, TheImageInputRefusesNumbersThatThePointInputTakes) {
    Make<ImageOperationTestComponent>();
    Source().VectorOutput("numbers", TARNTypeInfo::Integer32, 1);
    recorder.ClearReports();

    EXPECT_FALSE(graph.Connect("source.numbers", "component.iImage"));
    EXPECT_EQ(ReportTexts(),
              std::vector<std::string>{"Can't connect source.numbers (Integer32) to component.iImage "
                                       "(FilterIplImage): the input's filter refuses the output's type."});
    EXPECT_FALSE(graph.Component("component")->Input("iImage").IsConnected());

    recorder.ClearReports();
    EXPECT_TRUE(graph.Connect("source.numbers", "component.iPoint"));
    EXPECT_TRUE(graph.Component("component")->Input("iPoint").IsConnected());
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{});
}

// A move the input's filter refuses, or one to an output that is not there, is refused
// before anything changes: the point input stays connected to the numbers it took, by
// either way of asking for a move.
TEST_F(BasesInGraphTest, ARefusedMoveLeavesTheInputConnectedWhereItWas) {
    Make<ImageOperationTestComponent>();
    TARNOutput& numbers = Source().VectorOutput("numbers", TARNTypeInfo::Integer32, 1);
    Source().ImageOutput("images", 8, 4, "GRAY", 4);
    ASSERT_TRUE(graph.Connect("source.numbers", "component.iPoint"));
    TARNInput& point = graph.Component("component")->Input("iPoint");
    const struct {
        const char* name;
        bool (*move)(HostKernel& kernel, const char* output, const char* input);
        const char* output;
        const char* refusal;
    } cases[] = {
        {"the kernel's variant, to images",
         [](HostKernel& kernel, const char* output, const char* input) {
             return kernel.AttachPathsVariant(output, input);
         },
         "source.images",
         "Can't connect source.images (IplImage vector) to component.iPoint (FilterIntegers32): the input's "
         "filter refuses the output's type."},
        {"TARN::Attach2, to images",
         [](HostKernel&, const char* output, const char* input) { return TARN::Attach2(output, input); },
         "source.images",
         "Can't connect source.images (IplImage vector) to component.iPoint (FilterIntegers32): the input's "
         "filter refuses the output's type."},
        {"TARN::Attach2, to no output",
         [](HostKernel&, const char* output, const char* input) { return TARN::Attach2(output, input); },
         "source.nothing", "Can't connect source.nothing to component.iPoint: no such output or input."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.ClearReports();
        EXPECT_FALSE(c.move(kernel, c.output, "component.iPoint"));
        EXPECT_EQ(ReportTexts(), std::vector<std::string>{c.refusal});
        EXPECT_EQ(point.ConnectedOutput(), &numbers);
        EXPECT_EQ(static_cast<TARNOutputImplementation&>(numbers).ring->ReaderCount(), 1);
    }
}

// ---- Two-source image processing --------------------------------------------------------

TEST_F(BasesInGraphTest, TwoSynchronisedImagesAreSummedUnderTheirCommonTimestamp) {
    constexpr int Pairs = 20;
    auto& component = Make<TwoImageOperationTestComponent>();
    ASSERT_TRUE(graph.Set("component.pOperation", "Sum"));
    ASSERT_TRUE(graph.Set("component.pSynchroReaders", "true"));
    ASSERT_TRUE(graph.Set("component.pLastOrNextReader", "false"));
    TARNOutput& first = Source().ImageOutput("first", 8, 4, "GRAY", 4);
    TARNOutput& second = Source().ImageOutput("second", 8, 4, "GRAY", 4);
    RecordingSinkComponent& sink = Sink();
    // One pair at a time: the component sums the latest image of each input, and a pair
    // of equal timestamps is summed only while neither input has moved on.
    Source().script = [&](ScriptedSource& source) {
        for (int i = 0; i < Pairs; ++i) {
            source.WriteImage(first, static_cast<unsigned char>(i), (i + 1) * 1000L);
            source.WriteImage(second, static_cast<unsigned char>(2 * i), (i + 1) * 1000L);
            if (!sink.AwaitCount(static_cast<std::size_t>(i + 1), Deadline)) return;
        }
    };
    ASSERT_TRUE(graph.Connect("source.first", "component.iImage0"));
    ASSERT_TRUE(graph.Connect("source.second", "component.iImage1"));
    ASSERT_TRUE(graph.Connect("component.oImage", "sink.in"));
    RunFor(Pairs);

    const auto records = sink.Records();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(Pairs));
    for (int i = 0; i < Pairs; ++i) {
        EXPECT_EQ(records[i].timestamp, (i + 1) * 1000L);
        EXPECT_EQ(records[i].bytes.at(0), static_cast<unsigned char>(3 * i)) << i;
    }
    for (const auto& [t0, t1] : component.Timestamps()) EXPECT_EQ(t0, t1) << "summed only when synchronised";
}

// ---- Sound processing -------------------------------------------------------------------

TEST_F(BasesInGraphTest, SoundBlocksBecomeSamplesWithTheirTimestampsAndFormat) {
    constexpr int Blocks = 30;
    Make<SoundTestComponent>();
    TARNOutput& stream = Source().VectorOutput("stream", ByteStream, 4, Blocks + 1);
    Source().script = [&stream](ScriptedSource& source) {
        for (int i = 0; i < Blocks; ++i)
            source.WriteBytes(stream, {0, 128, 255, static_cast<unsigned char>(128 + i)}, (i + 1) * 1000L, 2, 8,
                              44100);
    };
    ASSERT_TRUE(graph.Connect("source.stream", "component.sndInput"));
    ASSERT_TRUE(graph.Connect("component.sndOutput", "sink.in"));
    RunFor(Blocks);

    const auto records = Sink().Records();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(Blocks));
    for (int i = 0; i < Blocks; ++i) {
        const SinkRecord& record = records[i];
        std::vector<float> samples(record.bytes.size() / sizeof(float));
        std::memcpy(samples.data(), record.bytes.data(), samples.size() * sizeof(float));
        EXPECT_EQ(samples, (std::vector<float>{-1.0f, 0.0f, 0.9921875f, i / 128.0f})) << i;
        EXPECT_EQ(record.timestamp, (i + 1) * 1000L);
        EXPECT_EQ(record.frequency, 44100);
        EXPECT_EQ(record.misc1, 2);
    }
}

// ---- Timestamp-sorted reading (threaded only) ---------------------------------------------

TEST_F(BasesInGraphTest, ElementsOfTwoInputsAreHandedOnOldestFirst) {
    using Delivery = SortedReadingTestComponent::Delivery;
    auto& component = Make<SortedReadingTestComponent>();
    TARNOutput& first = Source().VectorOutput("first", TARNTypeInfo::Integer32, 1, 8);
    TARNOutput& second = Source().VectorOutput("second", TARNTypeInfo::Integer32, 1, 8);
    // All of one input before the other: arrival order is not time order.
    Source().script = [&](ScriptedSource& source) {
        for (long t : {Now - 500, Now - 300, Now - 100}) source.WriteIntegers(first, {0}, t);
        for (long t : {Now - 400, Now - 200, Now - 50}) source.WriteIntegers(second, {0}, t);
    };
    ASSERT_TRUE(graph.Connect("source.first", "component.in0"));
    ASSERT_TRUE(graph.Connect("source.second", "component.in1"));
    ASSERT_TRUE(graph.Start());
    // The newest waits for the first input to deliver again (or for the latency timer,
    // which only the test fires).
    ASSERT_TRUE(component.AwaitDeliveries(5, Deadline));
    graph.Stop();

    EXPECT_EQ(component.Deliveries(), (std::vector<Delivery>{{Now - 500, 0, false, false},
                                                             {Now - 400, 1, false, false},
                                                             {Now - 300, 0, false, false},
                                                             {Now - 200, 1, false, false},
                                                             {Now - 100, 0, false, false}}));
    EXPECT_TRUE(ReportsAt(2).empty()) << ReportsAt(2).front().message;
}

// ---- 8-bit streams ----------------------------------------------------------------------

TEST_F(BasesInGraphTest, AByteStreamIsCutIntoChunksKeepingEachBlocksTimestamp) {
    auto& component = Make<Stream8TestComponent>();
    component.forward = true;
    ASSERT_TRUE(graph.Set("component.pInputFIFOSize", "64"));
    ASSERT_TRUE(graph.Set("component.pOutputFIFOsSize", "4"));
    TARNOutput& stream = Source().VectorOutput("stream", ByteStream, 7, 8);
    RecordingSinkComponent& sink = Sink();
    // One block at a time, each taken whole before the next arrives, so that each is sent
    // on alone: 7 bytes make a chunk of 4 and one of 3.
    Source().script = [&](ScriptedSource& source) {
        for (int block = 0; block < 3; ++block) {
            std::vector<unsigned char> bytes(7);
            std::iota(bytes.begin(), bytes.end(), static_cast<unsigned char>(block * 7));
            source.WriteBytes(stream, bytes, (block + 1) * 1000L);
            if (!sink.AwaitCount(static_cast<std::size_t>(2 * (block + 1)), Deadline)) return;
        }
    };
    ASSERT_TRUE(graph.Connect("source.stream", "component.iStream8"));
    ASSERT_TRUE(graph.Connect("component.oStream8", "sink.in"));
    RunFor(6);

    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 6u);
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].vectorSize, i % 2 == 0 ? 4 : 3) << i;
        EXPECT_EQ(records[i].timestamp, static_cast<long>(i / 2 + 1) * 1000L) << i;
        bytes.insert(bytes.end(), records[i].bytes.begin(), records[i].bytes.end());
    }
    std::vector<unsigned char> expected(21);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(bytes, expected);
}

}  // namespace
