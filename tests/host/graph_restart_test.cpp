// One host graph holding every component base, the real package's decoder and a record and
// replay pair, started and stopped three times as an engine restarts a graph: every life
// begins afresh (each component lays out its buffers again, nothing of the last life is
// read again) and the elements its sources write all arrive, with what each component makes
// of them. Then lives whose element sizes differ, with readers killed in the first while
// they hold elements: what they hold stays theirs, intact, through the next lives' layouts
// and an output's removal.
#include <gtest/gtest.h>
#include <stdlib.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include "capture_source.hpp"
#include "dataflow/abandoned_rings.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "host_graph.hpp"
#include "support/capture_writer.hpp"
#include "support/graph_ends.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/image_operation_test_component.hpp"
#include "support/reference_decoder.hpp"
#include "support/sorted_reading_test_component.hpp"
#include "support/sound_test_component.hpp"
#include "support/stream8_test_component.hpp"
#include "support/test_components.hpp"
#include "support/test_player.hpp"
#include "support/test_record_method.hpp"
#include "support/test_recorder.hpp"
#include "support/test_replay_method.hpp"
#include "support/two_image_operation_test_component.hpp"
#include "tarn/bases/stream8_input_component.hpp"
#include "tarn/engine/engine_recording.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a test waits before it gives up
// "Engine.shutdownTimeout" for the waits that meet a Core that never returns.
constexpr long ShortTimeout = 50'000;
constexpr int Lives = 3;
constexpr long Now = 50'000'000;
constexpr unsigned long ByteStream = TARNTypeInfo::Stream8 | TARNTypeInfo::Vector;

// What one life writes on each branch.
constexpr int Images = 4;
constexpr int Pairs = 3;
constexpr int Blocks = 3;
constexpr int Frames = 2;
constexpr int Recorded = 3;
constexpr std::size_t FrameBytes = 1024;

// Timestamps grow from life to life and stay within the sorted reader's latency (100 ms)
// before Now: engine time stands still there, so that no element is late or from the
// future.
long StampOf(int life, int i) {
    return Now - 50'000 + life * 10'000L + (i + 1) * 1000L;
}

// A component on the 8-bit stream input base alone: it takes every byte its FIFO holds.
class Stream8InputTestComponent : public TARNStream8InputComponent {
  public:
    explicit Stream8InputTestComponent(const char* name) : TARNStream8InputComponent(name, Model()) {}

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "stream8InputTest";
            definition.version = "1.0";
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }

    void ProcessStream8Data(TARNRBRegion& region, unsigned char* data, long*, long*) override {
        std::lock_guard lock(bytesLock);
        for (int i = 0; i < region.Size(); ++i) bytes.push_back(data[region[i]]);
        region.Pop(region.Size());
    }
    std::vector<unsigned char> Bytes() {
        std::lock_guard lock(bytesLock);
        return bytes;
    }

  private:
    std::mutex bytesLock;
    std::vector<unsigned char> bytes;
};

capture::CaptureFrame FrameOf(int life, int i) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw8;
    spec.width = 64;
    spec.height = 4;
    spec.seed = static_cast<unsigned>(life * 10 + i + 1);
    return capture::WriteFrame(spec);
}

class GraphRestart : public ManualTimeTest {
  protected:
    void SetUp() override {
        ManualTimeTest::SetUp();
        Time().SetCurrentTime(Now);
        char pattern[] = "/tmp/tarn_restart_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        TARN::StartRecording();
    }
    void TearDown() override {
        graph.reset();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        ManualTimeTest::TearDown();
    }

    // A scripted source, the component `name` of `model` reading it and a sink behind it.
    void Branch(const std::string& model, const std::string& name) {
        ASSERT_TRUE(graph->Create("scriptedSource", name + "Source"));
        ASSERT_TRUE(graph->Create(model, name));
        ASSERT_TRUE(graph->Create("recordingSink", name + "Sink"));
    }
    ScriptedSource& SourceOf(const std::string& name) {
        return *graph->Component<ScriptedSource>(name + "Source");
    }
    RecordingSinkComponent& SinkOf(const std::string& name) {
        return *graph->Component<RecordingSinkComponent>(name + "Sink");
    }
    // The records of `name`'s sink from the life that began with `from` of them.
    std::vector<SinkRecord> LifeRecords(const std::string& name, std::size_t from) {
        const auto records = SinkOf(name).Records();
        return {records.begin() + static_cast<long>(std::min(from, records.size())), records.end()};
    }
    std::string FirstError() const {
        const auto errors = ReportsAt(2);
        return errors.empty() ? "no error reported" : errors.front().message;
    }
    // Waits for `condition`, or for the first error: a component that died of one would
    // never bring what the test waits for. Once the test has failed nothing is waited for:
    // one deadline is enough to tell.
    bool Await(const std::function<bool()>& condition) {
        if (HasFailure()) return condition();
        return graph->RunUntil([&] { return condition() || !ReportsAt(2).empty(); }, Deadline) && condition();
    }
    bool AwaitCount(const std::string& sink, std::size_t count) {
        return Await([&] { return SinkOf(sink).Count() >= count; });
    }

    std::string root;
    std::unique_ptr<HostGraph> graph = std::make_unique<HostGraph>(kernel);
};

TEST_F(GraphRestart, EveryLifeOfEveryComponentGetsItsElements) {
#ifndef PIXTRACT_CPU_PATH
    GTEST_SKIP() << "pixtract_cpu.pck not built";
#else
    std::string error;
    ASSERT_TRUE(graph->LoadPackage(PIXTRACT_CPU_PATH, error)) << error;
    for (TARNComponentDefinition* model :
         {&ScriptedSource::Model(), &RecordingSinkComponent::Model(), &ModelOf<ImageOperationTestComponent>(),
          &ModelOf<TwoImageOperationTestComponent>(), &ModelOf<SoundTestComponent>(),
          &ModelOf<SortedReadingTestComponent>(), &ModelOf<Stream8TestComponent>(),
          &ModelOf<Stream8InputTestComponent>()})
        ASSERT_TRUE(graph->AddModel(*model));

    // ---- The graph ----------------------------------------------------------------------
    Branch("imageOperationTest", "image");
    ASSERT_TRUE(graph->Set("image.pOperation", "ADD"));
    ASSERT_TRUE(graph->Set("image.pParameters", "3,4,0.5"));
    ASSERT_TRUE(graph->Set("image.pLastOrNextReader", "false"));
    TARNOutput& images = SourceOf("image").ImageOutput("out", 8, 4, "GRAY", Images + 1);
    ASSERT_TRUE(graph->Connect("imageSource.out", "image.iImage"));
    ASSERT_TRUE(graph->Connect("image.oImage", "imageSink.in"));

    Branch("twoImageOperationTest", "pair");
    ASSERT_TRUE(graph->Set("pair.pOperation", "Sum"));
    ASSERT_TRUE(graph->Set("pair.pSynchroReaders", "true"));
    ASSERT_TRUE(graph->Set("pair.pLastOrNextReader", "false"));
    TARNOutput& firsts = SourceOf("pair").ImageOutput("first", 8, 4, "GRAY", 4);
    TARNOutput& seconds = SourceOf("pair").ImageOutput("second", 8, 4, "GRAY", 4);
    ASSERT_TRUE(graph->Connect("pairSource.first", "pair.iImage0"));
    ASSERT_TRUE(graph->Connect("pairSource.second", "pair.iImage1"));
    ASSERT_TRUE(graph->Connect("pair.oImage", "pairSink.in"));

    Branch("soundTest", "sound");
    TARNOutput& sound = SourceOf("sound").VectorOutput("out", ByteStream, 4, Blocks + 1);
    ASSERT_TRUE(graph->Connect("soundSource.out", "sound.sndInput"));
    ASSERT_TRUE(graph->Connect("sound.sndOutput", "soundSink.in"));

    // The sorted reader hands its elements to the test component, not to an output.
    ASSERT_TRUE(graph->Create("scriptedSource", "sortedSource"));
    ASSERT_TRUE(graph->Create("sortedReadingTest", "sorted"));
    TARNOutput& sortedA = SourceOf("sorted").VectorOutput("a", TARNTypeInfo::Integer32, 1, 8);
    TARNOutput& sortedB = SourceOf("sorted").VectorOutput("b", TARNTypeInfo::Integer32, 1, 8);
    ASSERT_TRUE(graph->Connect("sortedSource.a", "sorted.in0"));
    ASSERT_TRUE(graph->Connect("sortedSource.b", "sorted.in1"));

    Branch("stream8Test", "chunks");
    graph->Component<Stream8TestComponent>("chunks")->forward = true;
    ASSERT_TRUE(graph->Set("chunks.pInputFIFOSize", "64"));
    ASSERT_TRUE(graph->Set("chunks.pOutputFIFOsSize", "4"));
    TARNOutput& chunkBytes = SourceOf("chunks").VectorOutput("out", ByteStream, 7, 8);
    ASSERT_TRUE(graph->Connect("chunksSource.out", "chunks.iStream8"));
    ASSERT_TRUE(graph->Connect("chunks.oStream8", "chunksSink.in"));

    ASSERT_TRUE(graph->Create("scriptedSource", "parserSource"));
    ASSERT_TRUE(graph->Create("stream8InputTest", "parser"));
    TARNOutput& parserBytes = SourceOf("parser").VectorOutput("out", ByteStream, 5, 8);
    ASSERT_TRUE(graph->Connect("parserSource.out", "parser.iStream8"));

    Branch("csi2ipl_cpu", "decoder");
    ASSERT_TRUE(graph->Set("decoder.CSI2_Dataformat", "0x2a_RAW8"));
    ASSERT_TRUE(graph->Set("decoder.skip_first_frames", "false"));
    TARNOutput& frames = SourceOf("decoder").VectorOutput("out", ByteStream, FrameBytes, 8);
    ASSERT_TRUE(graph->Connect("decoderSource.out", "decoder.raw_image"));
    ASSERT_TRUE(graph->Connect("decoder.ipl_image", "decoderSink.in"));

    // The recorded source's output is replayed into the same output, as an engine's player
    // does: its sink gets each element written, then each again from the recording.
    ASSERT_TRUE(graph->Create("scriptedSource", "cam"));
    ASSERT_TRUE(graph->Create("recordingSink", "camSink"));
    auto& cam = static_cast<TARNOutputImplementation&>(
        graph->Component<ScriptedSource>("cam")->VectorOutput("out", TARNTypeInfo::Integer32, 4, 8));
    ASSERT_TRUE(graph->Connect("cam.out", "camSink.in"));
    TestRecorder recorder("rec");
    recorder.recordPath->Set(root.c_str());
    auto recordDefinition = TestMethodDefinition();
    recordDefinition.threadedRecord = true;
    TestRecordMethod record(recordDefinition, recorder, cam);
    TestPlayer player;
    player.recordName = "rec_tarnhost";
    player.defaultReplayPath = root.c_str();
    cam.player = &player;
    auto replayDefinition = TestMethodDefinition();
    replayDefinition.threadedReplay = true;
    TestReplayMethod replay(replayDefinition, cam);

    // ---- The lives ----------------------------------------------------------------------
    for (int life = 0; life < Lives; ++life) {
        SCOPED_TRACE("life " + std::to_string(life + 1));
        const auto value = [life](int i) { return static_cast<unsigned char>(life * 20 + i); };
        std::size_t before[5] = {};
        const char* sunk[5] = {"image", "pair", "sound", "chunks", "decoder"};
        for (int b = 0; b < 5; ++b) before[b] = SinkOf(sunk[b]).Count();
        const std::size_t sortedBefore =
            graph->Component<SortedReadingTestComponent>("sorted")->Deliveries().size();
        const std::size_t parsedBefore =
            graph->Component<Stream8InputTestComponent>("parser")->Bytes().size();
        const std::size_t camBefore = SinkOf("cam").Count();
        const std::size_t recordedBefore = record.FirstWords().size();

        SourceOf("image").script = [&](ScriptedSource& source) {
            for (int i = 0; i < Images; ++i) source.WriteImage(images, value(i), StampOf(life, i));
        };
        RecordingSinkComponent& pairSink = SinkOf("pair");
        SourceOf("pair").script = [&, from = before[1]](ScriptedSource& source) {
            // One pair at a time: a pair is summed only while neither input has moved on.
            for (int i = 0; i < Pairs; ++i) {
                source.WriteImage(firsts, value(i), StampOf(life, i));
                source.WriteImage(seconds, value(i + 1), StampOf(life, i));
                if (!source.AwaitWhileAlive([&] { return pairSink.Count() > from + i; }, Deadline)) return;
            }
        };
        SourceOf("sound").script = [&](ScriptedSource& source) {
            for (int i = 0; i < Blocks; ++i)
                source.WriteBytes(sound, {0, 128, 255, value(i)}, StampOf(life, i), 2, 8, 44100);
        };
        // All of one input before the other: the base sorts them by time.
        SourceOf("sorted").script = [&](ScriptedSource& source) {
            for (int i : {0, 2, 4}) source.WriteIntegers(sortedA, {i}, StampOf(life, i));
            for (int i : {1, 3, 5}) source.WriteIntegers(sortedB, {i}, StampOf(life, i));
        };
        RecordingSinkComponent& chunksSink = SinkOf("chunks");
        SourceOf("chunks").script = [&, from = before[3]](ScriptedSource& source) {
            std::vector<unsigned char> bytes(7);
            std::iota(bytes.begin(), bytes.end(), value(0));
            source.WriteBytes(chunkBytes, bytes, StampOf(life, 0));
            source.AwaitWhileAlive([&] { return chunksSink.Count() >= from + 2; }, Deadline);
        };
        SourceOf("parser").script = [&](ScriptedSource& source) {
            source.WriteBytes(parserBytes, {value(0), value(1), value(2), value(3), value(4)},
                              StampOf(life, 0));
        };
        SourceOf("decoder").script = [&](ScriptedSource& source) {
            for (int i = 0; i < Frames; ++i)
                source.WriteBytes(frames, FrameOf(life, i).bytes, StampOf(life, i));
        };
        // One element at a time, each recorded before the next.
        graph->Component<ScriptedSource>("cam")->script = [&](ScriptedSource& source) {
            for (int i = 0; i < Recorded; ++i) {
                source.WriteIntegers(cam, {life * 100 + i, 0, 0, 0}, StampOf(life, i), StampOf(life, i));
                const std::size_t count = recordedBefore + static_cast<std::size_t>(i + 1);
                if (!source.AwaitWhileAlive([&] { return record.FirstWords().size() >= count; }, Deadline))
                    return;
            }
        };

        record.BirthRecordX();
        ASSERT_TRUE(graph->Start()) << FirstError();

        const std::size_t expected[5] = {Images, Pairs, Blocks, 2, Frames};
        for (int b = 0; b < 5; ++b)
            EXPECT_TRUE(AwaitCount(sunk[b], before[b] + expected[b]))
                << sunk[b] << ": " << SinkOf(sunk[b]).Count() - before[b] << " of " << expected[b];
        auto& sorted = *graph->Component<SortedReadingTestComponent>("sorted");
        // The newest element waits for the other input (or for a latency timer only the test
        // fires): five of the six are handed on.
        EXPECT_TRUE(Await([&] { return sorted.Deliveries().size() >= sortedBefore + 5; }));
        auto& parser = *graph->Component<Stream8InputTestComponent>("parser");
        EXPECT_TRUE(Await([&] { return parser.Bytes().size() >= parsedBefore + 5; }));
        EXPECT_TRUE(AwaitCount("cam", camBefore + Recorded));
        EXPECT_TRUE(Await([&] { return record.FirstWords().size() >= recordedBefore + Recorded; }));
        record.DeathRecordX();

        // The replay of what this life recorded, each record at once.
        replay.BirthReplayX();
        EXPECT_EQ(replay.records.size(), static_cast<std::size_t>(Recorded));
        for (int i = 0; i < Recorded; ++i)
            TestPlayer::Queue(replay, i, StampOf(life, i), StampOf(life, i), true);
        EXPECT_TRUE(AwaitCount("cam", camBefore + 2 * Recorded));
        replay.DeathReplayX();
        graph->Stop();
        ASSERT_TRUE(ReportsAt(2).empty()) << FirstError();

        // ---- What this life delivered ---------------------------------------------------
        const auto imageRecords = LifeRecords("image", before[0]);
        ASSERT_EQ(imageRecords.size(), static_cast<std::size_t>(Images));
        for (int i = 0; i < Images; ++i) {
            EXPECT_EQ(imageRecords[i].timestamp, StampOf(life, i));
            EXPECT_EQ(imageRecords[i].bytes, std::vector<unsigned char>(32, value(i) + 3)) << "image " << i;
        }
        const auto pairRecords = LifeRecords("pair", before[1]);
        ASSERT_EQ(pairRecords.size(), static_cast<std::size_t>(Pairs));
        for (int i = 0; i < Pairs; ++i) {
            EXPECT_EQ(pairRecords[i].timestamp, StampOf(life, i));
            EXPECT_EQ(pairRecords[i].bytes.at(0), static_cast<unsigned char>(value(i) + value(i + 1)))
                << "pair " << i;
        }
        const auto soundRecords = LifeRecords("sound", before[2]);
        ASSERT_EQ(soundRecords.size(), static_cast<std::size_t>(Blocks));
        for (int i = 0; i < Blocks; ++i) {
            std::vector<float> samples(soundRecords[i].bytes.size() / sizeof(float));
            std::memcpy(samples.data(), soundRecords[i].bytes.data(), samples.size() * sizeof(float));
            EXPECT_EQ(samples, (std::vector<float>{-1.0f, 0.0f, 0.9921875f, (value(i) - 128) / 128.0f})) << i;
            EXPECT_EQ(soundRecords[i].timestamp, StampOf(life, i));
        }
        const auto sortedDeliveries = sorted.Deliveries();
        std::vector<long> sortedStamps;
        for (std::size_t i = sortedBefore; i < sortedDeliveries.size(); ++i)
            sortedStamps.push_back(sortedDeliveries[i].timestamp);
        std::vector<long> expectedStamps;
        for (int i = 0; i < 5; ++i) expectedStamps.push_back(StampOf(life, i));
        EXPECT_EQ(sortedStamps, expectedStamps);
        const auto chunkRecords = LifeRecords("chunks", before[3]);
        std::vector<unsigned char> chunked;
        for (const SinkRecord& chunk : chunkRecords)
            chunked.insert(chunked.end(), chunk.bytes.begin(), chunk.bytes.end());
        std::vector<unsigned char> sent(7);
        std::iota(sent.begin(), sent.end(), value(0));
        EXPECT_EQ(chunked, sent);
        const auto parsed = parser.Bytes();
        EXPECT_EQ(std::vector<unsigned char>(parsed.begin() + static_cast<long>(parsedBefore), parsed.end()),
                  (std::vector<unsigned char>{value(0), value(1), value(2), value(3), value(4)}));
        const auto decoded = LifeRecords("decoder", before[4]);
        ASSERT_EQ(decoded.size(), static_cast<std::size_t>(Frames));
        for (int i = 0; i < Frames; ++i) {
            const capture::CaptureFrame frame = FrameOf(life, i);
            const reference::Image expectedImage =
                reference::Decode(frame.bytes, frame.lines, capture::type::kRaw8, false, 0);
            ASSERT_EQ(static_cast<uint32_t>(decoded[i].width), expectedImage.width);
            EXPECT_EQ(
                reference::SamplesOf(decoded[i].bytes.data(), static_cast<std::size_t>(decoded[i].widthStep),
                                     expectedImage.width, expectedImage.height, expectedImage.channels,
                                     expectedImage.depth),
                expectedImage.samples)
                << "frame " << i;
            EXPECT_EQ(decoded[i].timestamp, StampOf(life, i));
        }
        const auto camRecords = LifeRecords("cam", camBefore);
        ASSERT_EQ(camRecords.size(), static_cast<std::size_t>(2 * Recorded));
        for (int i = 0; i < 2 * Recorded; ++i) {
            int word = 0;
            std::memcpy(&word, camRecords[i].bytes.data(), sizeof word);
            EXPECT_EQ(word, life * 100 + i % Recorded) << "element " << i;
            EXPECT_EQ(camRecords[i].timestamp, StampOf(life, i % Recorded)) << "element " << i;
        }
        if (HasFailure()) break;
    }
    EXPECT_TRUE(ReportsAt(2).empty()) << FirstError();
    cam.player = nullptr;
#endif
}

// ---- Readers killed between lives ---------------------------------------------------------

// What each life's elements measure: the frames of the capture (RAW8 pixels) and the items
// of the test source's elements.
struct LifeSizes {
    uint32_t width;
    uint32_t height;
    long items;
};
constexpr LifeSizes SizesOfLife[] = {{64, 4, 4}, {128, 16, 64}, {48, 6, 2}};
constexpr int FramesPerLife = 2;
constexpr int CountPerLife = 3;
constexpr int ImagesPerLife = 2;

capture::CaptureFrame SizedFrame(int life, int i) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw8;
    spec.width = SizesOfLife[life].width;
    spec.height = SizesOfLife[life].height;
    spec.seed = static_cast<unsigned>(life * 10 + i + 1);
    return capture::WriteFrame(spec);
}

class GraphRestartAfterAKill : public HostKernelTest {
  protected:
    void SetUp() override {
        HostKernelTest::SetUp();
        char pattern[] = "/tmp/tarn_restart_kill_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override {
        // On every way out: a holder never released would be left behind by the graph's end.
        for (test_components::Stuck* holder : holders) {
            holder->released = true;
            EXPECT_TRUE(graph->RunUntil([&] { return kernel.Components().Threads(holder) == 0; }, Deadline))
                << "a holder's Core never returned";
        }
        graph.reset();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        HostKernelTest::TearDown();
    }

    test_components::Stuck& Holder(const std::string& name) {
        return *graph->Component<test_components::Stuck>(name);
    }
    // The kill waits for the holder's Core, which never returns, the short time-out; the
    // other components' stops are never timed against it.
    bool KillHolder(const std::string& name) {
        bool killed = false;
        WithShutdownTimeout(ShortTimeout, [&] { killed = graph->Kill(name); });
        return killed;
    }
    RecordingSinkComponent& Sink(const std::string& name) {
        return *graph->Component<RecordingSinkComponent>(name);
    }
    // The error reports but the kills' own.
    std::vector<std::string> Errors() const {
        std::vector<std::string> errors;
        for (const HostReport& report : ReportsAt(2))
            if (report.message.find("does not end its Core: it is killed") == std::string::npos)
                errors.push_back(report.message);
        return errors;
    }
    bool Await(const std::function<bool()>& condition) {
        if (HasFailure()) return condition();
        return graph->RunUntil([&] { return condition() || !Errors().empty(); }, Deadline) && condition();
    }

    std::string root;
    std::unique_ptr<HostGraph> graph = std::make_unique<HostGraph>(kernel);
    std::vector<test_components::Stuck*> holders;
};

TEST_F(GraphRestartAfterAKill, WhatAKilledReaderHoldsStaysItsOwnThroughTheNextLivesLayouts) {
#ifndef PIXTRACT_CPU_PATH
    GTEST_SKIP() << "pixtract_cpu.pck not built";
#else
    std::string error;
    ASSERT_TRUE(graph->LoadPackage(PIXTRACT_CPU_PATH, error)) << error;
    graph->AddProgramModels();
    for (TARNComponentDefinition* model : {&ScriptedSource::Model(), &RecordingSinkComponent::Model(),
                                           &ModelOf<ImageOperationTestComponent>()})
        ASSERT_TRUE(graph->AddModel(*model));
    const int ringsAtStart = TARNPrivate::AbandonedRingCount();

    // Capture frames into the package's decoder: both lay their buffers out again when the
    // frames' size changes.
    ASSERT_TRUE(graph->Create(CaptureSource::Model, "capture"));
    ASSERT_TRUE(graph->Create("csi2ipl_cpu", "decoder"));
    ASSERT_TRUE(graph->Create("recordingSink", "decoderSink"));
    ASSERT_TRUE(graph->Set("decoder.CSI2_Dataformat", "0x2a_RAW8"));
    ASSERT_TRUE(graph->Set("decoder.skip_first_frames", "false"));
    ASSERT_TRUE(graph->Set("decoder.raw_image.readerType", "1"));
    ASSERT_TRUE(graph->Connect("capture.frames", "decoder.raw_image"));
    ASSERT_TRUE(graph->Connect("decoder.ipl_image", "decoderSink.in"));
    // The test source, laying its buffers out again when "items" changes.
    ASSERT_TRUE(graph->Create(test_components::SourceModel, "counter"));
    ASSERT_TRUE(graph->Create(test_components::SinkModel, "counterSink"));
    ASSERT_TRUE(graph->Set("counter.count", std::to_string(CountPerLife)));
    ASSERT_TRUE(graph->Connect("counter.out", "counterSink.in"));
    // An image operation base, which lays its output out at the first image of each life.
    ASSERT_TRUE(graph->Create("scriptedSource", "imageSource"));
    ASSERT_TRUE(graph->Create("imageOperationTest", "image"));
    ASSERT_TRUE(graph->Create("recordingSink", "imageSink"));
    ASSERT_TRUE(graph->Set("image.pOperation", "ADD"));
    ASSERT_TRUE(graph->Set("image.pParameters", "3,4,0.5"));
    ASSERT_TRUE(graph->Set("image.pLastOrNextReader", "false"));
    TARNOutput& images =
        graph->Component<ScriptedSource>("imageSource")->ImageOutput("out", 8, 4, "GRAY", ImagesPerLife + 1);
    ASSERT_TRUE(graph->Connect("imageSource.out", "image.iImage"));
    ASSERT_TRUE(graph->Connect("image.oImage", "imageSink.in"));
    // An output removed after the first life.
    ASSERT_TRUE(graph->Create("scriptedSource", "extra"));
    TARNOutput& extra =
        graph->Component<ScriptedSource>("extra")->VectorOutput("out", TARNTypeInfo::Integer32, 4, 4);
    // A reader of each output, killed in the first life while it holds an element.
    const std::pair<const char*, const char*> readers[] = {{"frameHolder", "capture.frames"},
                                                           {"imageHolder", "decoder.ipl_image"},
                                                           {"counterHolder", "counter.out"},
                                                           {"imageOpHolder", "image.oImage"},
                                                           {"extraHolder", "extra.out"}};
    for (const auto& [holder, output] : readers) {
        ASSERT_TRUE(graph->Create(test_components::StuckModel, holder));
        holders.push_back(&Holder(holder));
        ASSERT_TRUE(graph->Connect(output, std::string(holder) + ".in"));
    }

    for (int life = 0; life < 3; ++life) {
        SCOPED_TRACE("life " + std::to_string(life + 1));
        const LifeSizes& sizes = SizesOfLife[life];
        std::vector<std::vector<uint8_t> > frames;
        for (int i = 0; i < FramesPerLife; ++i) frames.push_back(SizedFrame(life, i).bytes);
        const std::string path = root + "/life" + std::to_string(life) + ".cap";
        capture::WriteCapture(path, frames);
        ASSERT_TRUE(graph->Set("capture.path", path));
        ASSERT_TRUE(graph->Set("counter.items", std::to_string(sizes.items)));
        graph->Component<ScriptedSource>("imageSource")->script = [&, life](ScriptedSource& source) {
            for (int i = 0; i < ImagesPerLife; ++i)
                source.WriteImage(images, static_cast<unsigned char>(life * 20 + i), (i + 1) * 1000L);
        };
        graph->Component<ScriptedSource>("extra")->script = [&, life](ScriptedSource& source) {
            if (life == 0) source.WriteIntegers(extra, {7, 7, 7, 7}, 1000);
        };
        const std::size_t decodedBefore = Sink("decoderSink").Count();
        const std::size_t imagesBefore = Sink("imageSink").Count();
        auto& counterSink = *graph->Component<test_components::Sink>("counterSink");
        const long countedBefore = counterSink.count.load();

        // The killed readers are refused a start; every other component starts.
        graph->Start();
        EXPECT_TRUE(Await([&] { return Sink("decoderSink").Count() >= decodedBefore + FramesPerLife; }));
        EXPECT_TRUE(Await([&] { return counterSink.count.load() >= countedBefore + CountPerLife; }));
        EXPECT_TRUE(Await([&] { return Sink("imageSink").Count() >= imagesBefore + ImagesPerLife; }));
        if (life == 0) {
            for (const auto& [holder, output] : readers) {
                EXPECT_TRUE(Await([&] { return Holder(holder).stuck.load(); })) << holder;
                EXPECT_TRUE(KillHolder(holder)) << holder;
            }
        }
        if (life == 1) {
            // What each holds is still the first life's, whole, while this life's layouts
            // are in use; then they let go and give it back.
            for (test_components::Stuck* holder : holders) holder->released = true;
            for (const auto& [holder, output] : readers) {
                SCOPED_TRACE(holder);
                test_components::Stuck& held = Holder(holder);
                ASSERT_TRUE(Await([&] { return kernel.Components().Threads(&held) == 0; }));
                EXPECT_EQ(held.afterRelease.width, held.taken.width);
                EXPECT_EQ(held.afterRelease.height, held.taken.height);
                EXPECT_EQ(held.afterRelease.vectorSize, held.taken.vectorSize);
                EXPECT_EQ(held.afterRelease.timestamp, held.taken.timestamp);
                EXPECT_EQ(held.afterRelease.bytes, held.taken.bytes);
            }
            EXPECT_EQ(Holder("imageHolder").taken.width, static_cast<int>(SizesOfLife[0].width));
            EXPECT_EQ(Holder("frameHolder").taken.bytes, SizedFrame(0, 0).bytes);
            EXPECT_EQ(Holder("counterHolder").valueTaken.load(), 0);
            EXPECT_EQ(Holder("imageOpHolder").taken.bytes, std::vector<unsigned char>(32, 3));
            EXPECT_EQ(Holder("extraHolder").valueTaken.load(), 7);
            EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsAtStart) << "the removed output's ring went";
            for (const char* output :
                 {"capture.frames", "decoder.ipl_image", "counter.out", "image.oImage"}) {
                const std::string path(output);
                auto& writer = static_cast<TARNOutputImplementation&>(
                    graph->Component(path.substr(0, path.find('.')))
                        ->Output(path.substr(path.find('.') + 1).c_str()));
                EXPECT_FALSE(writer.ring->HasSetAsideSlots()) << output;
            }
        }
        graph->Stop();
        if (life == 0) {
            graph->Component("extra")->RemoveOutput(&extra);
            EXPECT_EQ(TARNPrivate::AbandonedRingCount(), ringsAtStart + 1)
                << "the ring lives on for its reader";
        }

        // This life's elements, in this life's sizes.
        const auto records = Sink("decoderSink").Records();
        ASSERT_EQ(records.size(), decodedBefore + FramesPerLife);
        for (int i = 0; i < FramesPerLife; ++i) {
            const capture::CaptureFrame frame = SizedFrame(life, i);
            const reference::Image expected =
                reference::Decode(frame.bytes, frame.lines, capture::type::kRaw8, false, 0);
            const SinkRecord& decoded = records[decodedBefore + static_cast<std::size_t>(i)];
            ASSERT_EQ(static_cast<uint32_t>(decoded.width), expected.width);
            EXPECT_EQ(
                reference::SamplesOf(decoded.bytes.data(), static_cast<std::size_t>(decoded.widthStep),
                                     expected.width, expected.height, expected.channels, expected.depth),
                expected.samples)
                << "frame " << i;
        }
        const auto taken = counterSink.Taken();
        ASSERT_EQ(taken.size(), static_cast<std::size_t>(countedBefore + CountPerLife));
        for (int i = 0; i < CountPerLife; ++i)
            EXPECT_EQ(taken[static_cast<std::size_t>(countedBefore + i)].value, i);
        const auto imageRecords = Sink("imageSink").Records();
        ASSERT_EQ(imageRecords.size(), imagesBefore + ImagesPerLife);
        for (int i = 0; i < ImagesPerLife; ++i)
            EXPECT_EQ(imageRecords[imagesBefore + static_cast<std::size_t>(i)].bytes,
                      std::vector<unsigned char>(32, static_cast<unsigned char>(life * 20 + i + 3)));
        const auto texts = ReportTexts();
        EXPECT_FALSE(std::any_of(texts.begin(), texts.end(), [](const std::string& text) {
            return text.find("its buffers are kept") != std::string::npos;
        })) << "a stop waited for a killed reader and kept its buffers";
        const auto errors = Errors();
        ASSERT_TRUE(errors.empty()) << errors.front();
        if (HasFailure()) break;
    }
#endif
}

// A package's output that goes while a reader outside the package holds one of its elements
// leaves its ring on the package's own list of rings kept for their holders (each binary has
// its own copy of the SDK). The reader's last give-back, made by its own copy of the ring's
// code, must end the ring there, not leave it to the package's unloading.
TEST_F(GraphRestartAfterAKill, ARingLeftByAPackagesOutputEndsWithTheGiveBackOfAReaderOutsideIt) {
#ifndef PIXTRACT_CPU_PATH
    GTEST_SKIP() << "pixtract_cpu.pck not built";
#else
    std::string error;
    ASSERT_TRUE(graph->LoadPackage(PIXTRACT_CPU_PATH, error)) << error;
    graph->AddProgramModels();
    ASSERT_TRUE(graph->Create(CaptureSource::Model, "capture"));
    ASSERT_TRUE(graph->Create("csi2ipl_cpu", "decoder"));
    ASSERT_TRUE(graph->Create(test_components::StuckModel, "holder"));
    holders.push_back(&Holder("holder"));
    ASSERT_TRUE(graph->Set("decoder.CSI2_Dataformat", "0x2a_RAW8"));
    ASSERT_TRUE(graph->Set("decoder.skip_first_frames", "false"));
    ASSERT_TRUE(graph->Set("decoder.raw_image.readerType", "1"));
    ASSERT_TRUE(graph->Connect("capture.frames", "decoder.raw_image"));
    ASSERT_TRUE(graph->Connect("decoder.ipl_image", "holder.in"));
    const std::string path = root + "/frames.cap";
    capture::WriteCapture(path, {SizedFrame(0, 0).bytes, SizedFrame(0, 1).bytes});
    ASSERT_TRUE(graph->Set("capture.path", path));

    graph->Start();
    test_components::Stuck& holder = Holder("holder");
    ASSERT_TRUE(Await([&] { return holder.stuck.load(); }));
    ASSERT_TRUE(KillHolder("holder"));
    const void* ring =
        static_cast<TARNOutputImplementation&>(graph->Component("decoder")->Output("ipl_image")).ring;
    ASSERT_NE(ring, nullptr);
    graph->Stop();
    // The holder keeps its element past the shutdown time-out: the decoder goes without it.
    ASSERT_NO_FATAL_FAILURE(
        WithShutdownTimeout(ShortTimeout, [&] { ASSERT_TRUE(graph->Destroy("decoder")); }));

    holder.released = true;
    ASSERT_TRUE(graph->RunUntil([&] { return kernel.Components().Threads(&holder) == 0; }, Deadline))
        << "the holder's Core never returned";
    EXPECT_EQ(holder.afterRelease.bytes, holder.taken.bytes) << "the element changed under its holder";
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_TRUE(__asan_address_is_poisoned(ring)) << "the ring outlived the give-back of its last holder";
#endif
#endif
}

}  // namespace
