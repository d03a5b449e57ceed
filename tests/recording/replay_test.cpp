// Replay timing: which method's replay mode an output follows, and immediate records.
#include <gmock/gmock.h>

#include "recording_fixture.hpp"

namespace {

using Replay = RecordingTest;

// An output with no replay method bound to it follows the replaying method's own mode;
// one with a bound method follows that method's.
TEST_F(Replay, TheOutputFollowsItsBoundMethodOrTheReplayingOne) {
    TARNOutputImplementation& output = MakeSource("cam");
    TARNModule sink("sink", false, false);
    const TARNInputDefinition in{"in", nullptr, nullptr, 1, 1};
    TARNInput& input = *sink.NewInput(in, nullptr);
    ConnectByHand(output, input);
    auto definition = TestMethodDefinition();
    definition.threadedReplay = true;
    auto& replay = Make<TestReplayMethod>(definition, output);
    replay.replayMode = TARNRecordReplayMethod::ReplayImmediate;
    replay.BirthReplayX();
    replay.records = {VectorRecord(1), VectorRecord(2)};

    const long requested = Events().TriggerRequests();
    TestPlayer::Queue(replay, 0, EngineNow + 1'000'000, EngineNow + 1'000'000);
    TARNListIterator position = TakeByHand(input, Deadline);
    EXPECT_EQ(TestRecordMethod::FirstWord(TARNIOMonitorImplementation::Element(position)), 1);
    GiveBackByHand(input, position);
    EXPECT_EQ(Events().TriggerRequests(), requested) << "published at once, without waiting";

    auto& bound = Make<TestReplayMethod>(definition, MakeSource("other"));
    output.method = &bound;
    TestPlayer::Queue(replay, 1, EngineNow + 5'000, EngineNow + 5'000);
    ASSERT_TRUE(Events().AwaitTriggerRequests(requested + 1)) << "the bound method's Normal mode waits";
    EXPECT_EQ(recorder.RequestedDelays().back(), 5'000);
    Time().AdvanceClock(5'000);
    Events().FireTriggers();
    position = TakeByHand(input, Deadline);
    EXPECT_EQ(TestRecordMethod::FirstWord(TARNIOMonitorImplementation::Element(position)), 2);
    GiveBackByHand(input, position);
    replay.DeathReplayX();
    output.method = nullptr;
}

}  // namespace
