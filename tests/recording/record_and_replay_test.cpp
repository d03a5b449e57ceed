// A whole recording and its replay: pre-trigger buffering, a trigger, the flush, the files
// the recording leaves, and the replay of those files at the engine's speed.
#include <gmock/gmock.h>

#include <thread>

#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "recording_fixture.hpp"

namespace {

using ::testing::ElementsAreArray;

class RecordAndReplay : public RecordingTest, public ::testing::WithParamInterface<SourceKind> {
  protected:
    static constexpr int Elements = 1000;
    static constexpr int Triggered = 500;
    static constexpr int BufferSize = 5;

    static long TimeOfIssue(int i) { return 1'000'000 + 10'000L * i; }
    static long TimestampOf(int i) { return 2'000'000 + 10'000L * i; }
};

// What the trigger selects: the BufferSize copies before it (the oldest one kept beyond the
// window is dropped by the flush), then every element from the trigger on.
std::vector<int> Selected() {
    std::vector<int> values;
    for (int i = 500 - 5; i < 1000; ++i) values.push_back(i);
    return values;
}

TEST_P(RecordAndReplay, RecordsTheTriggeredWindowAndReplaysItOnTime) {
    TARNOutputImplementation& output = MakeSource("cam", GetParam());
    TestRecorder& rec = MakeRecorder();
    auto definition = TestMethodDefinition(0, BufferSize);
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    EXPECT_STREQ(method.Name(), "rec.cam.out");

    method.BirthRecordX();
    EXPECT_STREQ(method.FilePath(), (root + "/rec_tarnhost_cam_out").c_str());
    for (int i = 0; i < Triggered; ++i) Publish(output, i, TimeOfIssue(i), TimestampOf(i));
    EXPECT_TRUE(method.FirstWords().empty()) << "nothing is written before the trigger";
    method.Trigger(true);
    for (int i = Triggered; i < Elements; ++i) Publish(output, i, TimeOfIssue(i), TimestampOf(i));
    method.DeathRecordX();

    const std::vector<int> selected = Selected();
    EXPECT_THAT(method.FirstWords(), ElementsAreArray(selected));
    EXPECT_EQ(method.RecordCount(), selected.size());
    ASSERT_EQ(rec.Entries().size(), selected.size());
    EXPECT_EQ(rec.Entries().front().stream, "cam.out");
    EXPECT_EQ(rec.Entries().front().time, TimeOfIssue(selected.front()));
    EXPECT_EQ(rec.Entries().back().timestamp, TimestampOf(selected.back()));
    EXPECT_EQ(rec.Hints().size(), 1u);
    EXPECT_EQ(ReadTrecFile(root + "/rec_tarnhost_cam_out.trec").size(), selected.size());

    // Replay into the same output, read by a sink that never lets the replay overwrite.
    TARNModule sink("sink", false, false);
    const TARNInputDefinition in{"in", nullptr, nullptr, 1, 1};
    TARNInput& input = *sink.NewInput(in, nullptr);
    ConnectByHand(output, input);
    // What the recording left on the ring is not part of the replay.
    while (input.DataAvailableInFIFO()) GiveBackByHand(input, TakeByHand(input));
    TestPlayer player;
    player.recordName = "rec_tarnhost";
    player.defaultReplayPath = root.c_str();
    output.player = &player;
    auto replayDefinition = TestMethodDefinition();
    replayDefinition.threadedReplay = true;
    auto& replay = Make<TestReplayMethod>(replayDefinition, output);
    Time().SetCurrentTime(TimeOfIssue(selected.front()));
    replay.BirthReplayX();
    ASSERT_EQ(replay.records.size(), selected.size());

    std::thread queueing([&] {
        for (int n = 0; n < static_cast<int>(selected.size()); ++n)
            TestPlayer::Queue(replay, n, TimeOfIssue(selected[n]), TimestampOf(selected[n]));
    });
    for (std::size_t n = 0; n < selected.size(); ++n) {
        if (n > 0) {
            // Each record waits its 10 ms of engine time: the test lets the clock run them.
            ASSERT_TRUE(Events().AwaitTriggerRequests(static_cast<long>(n)));
            Time().AdvanceClock(10'000);
            Events().FireTriggers();
        }
        TARNListIterator position = TakeByHand(input, Deadline);
        ASSERT_NE(position, nullptr);
        TARNIOElt& element = TARNIOMonitorImplementation::Element(position);
        EXPECT_EQ(TestRecordMethod::FirstWord(element), selected[n]);
        EXPECT_EQ(element.Timestamp(), TimestampOf(selected[n]));
        EXPECT_EQ(element.TimeOfIssue(), TimeOfIssue(selected[n]));
        GiveBackByHand(input, position);
    }
    queueing.join();
    replay.DeathReplayX();
    output.player = nullptr;
    const std::vector<long> delays = recorder.RequestedDelays();
    ASSERT_FALSE(delays.empty());
    EXPECT_EQ(delays.front(), 10'000);
}

INSTANTIATE_TEST_SUITE_P(Sources, RecordAndReplay, ::testing::Values(SourceKind::Vector, SourceKind::Image));

}  // namespace
