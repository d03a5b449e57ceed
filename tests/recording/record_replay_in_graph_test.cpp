// Recording a component's output while the host runs its graph, then replaying the folder
// into a sink in a second graph: every element comes back in order, with its timestamp,
// each at its time on the engine's (manual) clock.
#include <gmock/gmock.h>

#include <cstring>
#include <thread>

#include "dataflow/output_implementation.hpp"
#include "host_graph.hpp"
#include "recording_fixture.hpp"
#include "support/graph_ends.hpp"

namespace {

using ::testing::ElementsAreArray;

constexpr int Elements = 100;

long TimeOfIssue(int i) {
    return 1'000'000 + 10'000L * i;
}
long TimestampOf(int i) {
    return 2'000'000 + 7'000L * i;
}

class RecordReplayInGraph : public RecordingTest, public ::testing::WithParamInterface<SourceKind> {
  protected:
    void SetUp() override {
        RecordingTest::SetUp();
        ASSERT_TRUE(kernel.AddModel(ScriptedSource::Model()));
        ASSERT_TRUE(kernel.AddModel(RecordingSinkComponent::Model()));
    }
    // The output "out" of a source "cam" in `graph`, of the kind the test runs.
    TARNOutput& MakeCamera(HostGraph& graph) {
        EXPECT_TRUE(graph.Create("scriptedSource", "cam"));
        ScriptedSource& cam = *graph.Component<ScriptedSource>("cam");
        return GetParam() == SourceKind::Image ? cam.ImageOutput("out", ImageWidth, ImageHeight, "GRAY", 8)
                                               : cam.VectorOutput("out", TARNTypeInfo::Integer32, VectorLength, 8);
    }
    // What identifies element i: its first word of payload.
    static int WordOf(int i) { return GetParam() == SourceKind::Image ? i * 0x01010101 : i; }
};

TEST_P(RecordReplayInGraph, ASourceRecordedToAFolderIsReplayedIntoASinkElementForElement) {
    std::vector<int> words;
    for (int i = 0; i < Elements; ++i) words.push_back(WordOf(i));
    auto recordDefinition = TestMethodDefinition();
    recordDefinition.threadedRecord = true;
    TestRecorder& rec = MakeRecorder();
    std::string file;

    {
        HostGraph graph(kernel);
        TARNOutput& out = MakeCamera(graph);
        TestRecordMethod method(recordDefinition, rec, out);
        method.BirthRecordX();
        file = Trec(method);
        // One element at a time, each recorded before the next: the record thread reads a
        // ring the source could otherwise run round.
        graph.Component<ScriptedSource>("cam")->script = [&](ScriptedSource& cam) {
            for (int i = 0; i < Elements; ++i) {
                if (GetParam() == SourceKind::Image)
                    cam.WriteImage(out, static_cast<unsigned char>(i), TimestampOf(i), TimeOfIssue(i));
                else
                    cam.WriteIntegers(out, {i, i, i, i}, TimestampOf(i), TimeOfIssue(i));
                if (!AwaitCondition([&] { return method.FirstWords().size() == static_cast<std::size_t>(i + 1); }))
                    return;
            }
        };
        ASSERT_TRUE(graph.Start());
        ASSERT_TRUE(graph.RunUntil([&] { return graph.Component<ScriptedSource>("cam")->done.load(); }, Deadline));
        graph.Stop();
        method.DeathRecordX();
        EXPECT_THAT(method.FirstWords(), ElementsAreArray(words));
    }
    EXPECT_EQ(file, root + "/rec_tarnhost_cam_out.trec");
    ASSERT_EQ(ReadTrecFile(file).size(), static_cast<std::size_t>(Elements));
    const auto entries = rec.Entries();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(Elements));

    // The replay: a component of the same name stands for the recorded one, its output
    // written by the replay thread.
    HostGraph graph(kernel);
    TARNOutput& out = MakeCamera(graph);
    ASSERT_TRUE(graph.Create("recordingSink", "sink"));
    ASSERT_TRUE(graph.Connect("cam.out", "sink.in"));
    ASSERT_TRUE(graph.Start());
    TestPlayer player;
    player.recordName = "rec_tarnhost";
    player.defaultReplayPath = root.c_str();
    static_cast<TARNOutputImplementation&>(out).player = &player;
    auto replayDefinition = TestMethodDefinition();
    replayDefinition.threadedReplay = true;
    TestReplayMethod replay(replayDefinition, out);
    Time().SetCurrentTime(entries.front().time);
    const long requested = Events().TriggerRequests();
    replay.BirthReplayX();
    ASSERT_EQ(replay.records.size(), static_cast<std::size_t>(Elements));

    // The records as the recorder listed them, queued as the engine's player queues them.
    std::thread queueing([&] {
        for (int n = 0; n < Elements; ++n) TestPlayer::Queue(replay, n, entries[n].time, entries[n].timestamp);
    });
    RecordingSinkComponent& sink = *graph.Component<RecordingSinkComponent>("sink");
    for (int n = 1; n < Elements; ++n) {
        // Each record waits its 10 ms of engine time: the test lets the clock run them.
        ASSERT_TRUE(Events().AwaitTriggerRequests(requested + n));
        Time().AdvanceClock(10'000);
        Events().FireTriggers();
    }
    ASSERT_TRUE(sink.AwaitCount(Elements, Deadline));
    queueing.join();
    replay.DeathReplayX();
    graph.Stop();
    static_cast<TARNOutputImplementation&>(out).player = nullptr;

    const auto records = sink.Records();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(Elements));
    for (int i = 0; i < Elements; ++i) {
        EXPECT_EQ(records[i].timestamp, TimestampOf(i)) << i;
        int word = 0;
        ASSERT_GE(records[i].bytes.size(), sizeof word);
        std::memcpy(&word, records[i].bytes.data(), sizeof word);
        EXPECT_EQ(word, WordOf(i)) << i;
    }
    EXPECT_EQ(entries.front().time, TimeOfIssue(0));
    EXPECT_EQ(recorder.RequestedDelays().front(), 10'000);
}

INSTANTIATE_TEST_SUITE_P(Sources, RecordReplayInGraph, ::testing::Values(SourceKind::Vector, SourceKind::Image));

}  // namespace
