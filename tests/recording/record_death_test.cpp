// Ends of a recording and of a replay: death while the record thread waits, while a trigger
// is pending, while a record waits for its time, and while a copy waits for its turn.
#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "dataflow/output_implementation.hpp"
#include "host_engine_module.hpp"
#include "recording_fixture.hpp"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using RecordDeath = RecordingTest;

long Issue(int i) {
    return 1'000'000 + 10'000L * i;
}

std::vector<std::string> Warnings(const std::vector<HostReport>& reports) {
    std::vector<std::string> texts;
    for (const HostReport& report : reports)
        if (report.level >= 1 && report.message.find("does not provide") == std::string::npos)
            texts.push_back(report.message);
    return texts;
}

TEST_F(RecordDeath, DeathEndsTheRecordThreadAndKeepsWhatWasRecorded) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    definition.threadedRecord = true;
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    const std::string file = Trec(method);
    for (int i = 0; i < 50; ++i) {
        Publish(output, i, Issue(i), Issue(i));
        ASSERT_TRUE(AwaitCondition([&] { return method.FirstWords().size() == static_cast<std::size_t>(i + 1); }));
    }
    method.DeathRecordX();
    EXPECT_EQ(ReadTrecFile(file).size(), 50u);
    EXPECT_TRUE(output.ring->IsIdle());
    EXPECT_THAT(Warnings(Reports()), IsEmpty());
}

// Copies marked by a trigger that no element followed are written at death, while death
// holds the module lock: a trigger set meanwhile waits instead of flushing a buffer that is
// being written or freed.
TEST_F(RecordDeath, DeathWritesThePendingTriggerUnderTheModuleLock) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition(0, 3);
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    const std::string file = Trec(method);
    for (int i = 0; i < 6; ++i) Publish(output, i, Issue(i), Issue(i));
    method.Trigger(true);
    std::vector<bool> lockFree;
    method.beforeWrite = [&](TARNIOElt&) {
        bool taken = false;
        std::thread other([&] {
            taken = method.moduleLock.TryLock();
            if (taken) method.moduleLock.Release();
        });
        other.join();
        lockFree.push_back(taken);
    };
    method.DeathRecordX();
    EXPECT_THAT(method.FirstWords(), ElementsAre(3, 4, 5));
    EXPECT_THAT(lockFree, ElementsAre(false, false, false));
    EXPECT_EQ(ReadTrecFile(file).size(), 3u);
}

TEST_F(RecordDeath, DeathEndsAReplayWaitingForItsTime) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    definition.threadedReplay = true;
    auto& replay = Make<TestReplayMethod>(definition, output);
    replay.BirthReplayX();
    replay.records.push_back(VectorRecord(0));
    const long requested = Events().TriggerRequests();
    TestPlayer::Queue(replay, 0, EngineNow + 5'000, EngineNow + 5'000);
    ASSERT_TRUE(Events().AwaitTriggerRequests(requested + 1));
    replay.DeathReplayX();
    EXPECT_TRUE(output.ring->IsIdle()) << "the element waiting for its time was dropped";
    EXPECT_THAT(Warnings(Reports()), IsEmpty());
}

// A sink that never lets the replay overwrite and never reads: the ring of 8 fills and the
// replay thread waits for room with a record of the queue in hand. The method's own death
// ends that wait; only then may death free the queue.
TEST_F(RecordDeath, DeathEndsAReplayWaitingForRoomOnItsOutput) {
    kernel.EngineModule().DirectSet(kernel.EngineModule().Property("shutdownTimeout"), 2'000'000L);
    TARNOutputImplementation& output = MakeSource("cam");
    TARNModule sink("sink", false, false);
    const TARNInputDefinition in{"in", nullptr, nullptr, NeverSkippingReader, 1};
    ConnectByHand(output, *sink.NewInput(in, nullptr));
    auto definition = TestMethodDefinition();
    definition.threadedReplay = true;
    auto& replay = Make<TestReplayMethod>(definition, output);
    replay.replayMode = TARNRecordReplayMethod::ReplayImmediate;
    replay.BirthReplayX();
    // The ring's 8, the one in hand, and the 3 the queue holds besides.
    for (int n = 0; n < 12; ++n) replay.records.push_back(VectorRecord(n));
    for (int n = 0; n < 12; ++n) TestPlayer::Queue(replay, n, Issue(n), Issue(n));
    ASSERT_TRUE(AwaitCondition([&] { return output.ring->IsFull(); }));

    replay.DeathReplayX();
    const unsigned int left = ThreadsOf(replay);
    EXPECT_EQ(left, 0u) << "the replay thread outlived its death";
    EXPECT_THAT(Warnings(Reports()), IsEmpty());
    // The output's owner ends the wait of a thread left behind, so that it leaves nothing
    // it holds to be freed under it.
    if (left != 0) {
        output.owner->Die();
        EXPECT_TRUE(AwaitCondition([&] { return ThreadsOf(replay) == 0; }));
    }
}

// A copying replay thread waits for its player's turn; the method's death ends that wait.
TEST_F(RecordDeath, DeathEndsACopyWaitingForItsTurn) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    auto recordDefinition = TestMethodDefinition();
    auto& destination = Make<TestRecordMethod>(recordDefinition, rec, output, true);
    destination.BirthRecordX();
    auto replayDefinition = TestMethodDefinition();
    replayDefinition.threadedReplay = true;
    auto& source = Make<TestReplayMethod>(replayDefinition, output, true);
    TestPlayer player;
    source.copyDestination = &destination;
    destination.AddCopySource(&source, &player);
    source.BirthReplayX();
    TestPlayer::Queue(source, 0, Issue(0), Issue(0));
    ASSERT_TRUE(AwaitCondition([&] { return !source.ReplayQueue().IsIdle(); })) << "the thread took the record";
    source.DeathReplayX();
    EXPECT_THAT(Warnings(Reports()), IsEmpty());
    EXPECT_EQ(destination.RecordCount(), 0u);
    destination.DeathRecordX();
}

}  // namespace
