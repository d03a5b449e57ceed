// Replay: the paths of a replayed stream's files; timing: how long a record waits for its
// time at the engine's speed, what a change of engine time does to a record waiting for it or
// being filled, which method's replay mode an output follows, and immediate records.
#include <gmock/gmock.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "recording_fixture.hpp"

namespace {

using ::testing::ElementsAreArray;

using Replay = RecordingTest;

// A replay method that lets a test act while a record is being filled.
class FillingReplayMethod : public TestReplayMethod {
  public:
    using TestReplayMethod::TestReplayMethod;
    bool ReplayIOElt(TARNIOElt& element, int recordNumber, const char* text, TARNTypeInfo& type) override {
        if (recordNumber == 0 && whileFilling) whileFilling();
        return TestReplayMethod::ReplayIOElt(element, recordNumber, text, type);
    }
    std::function<void()> whileFilling;
};

// What happens to engine time, and when: while record 0 is filled, or while it waits for
// its time.
enum class Change { None, Jump, Speed, Pause };
enum class When { Never, WhileFilling, WhileWaiting };

struct TimingCase {
    const char* name;
    int mode;
    int speed;         // engine time speed from before the replay starts
    long dueIn;        // the record's time of issue, from now
    long timestampIn;  // its timestamp, from now
    bool immediate;    // the record's immediate flag
    Change change;
    When when;
    long by;  // the jump, or the new speed
    std::vector<long> delays;  // the triggers armed, in microseconds of real time
    bool published;            // else dropped
};

void PrintTo(const TimingCase& timing, std::ostream* out) { *out << timing.name; }

// Record 0 (its first word 0) is queued at its time; the test changes engine time as the case
// says and lets the clock run to the last trigger armed. A dropped record is told from a late
// one by the immediate marker record that follows it, which comes first to the sink.
class ReplayTiming : public RecordingTest, public ::testing::WithParamInterface<TimingCase> {
  protected:
    static constexpr int Marker = 99;

    void Apply(const TimingCase& timing) {
        switch (timing.change) {
            case Change::None: break;
            case Change::Jump: Time().SetCurrentTime(Time().CurrentTime() + timing.by); break;
            case Change::Speed: Time().SetTimeSpeed(static_cast<int>(timing.by)); break;
            case Change::Pause: Time().Pause(); break;
        }
    }

    // Destroyed after TearDown, which ends the replay thread that publishes to it.
    std::unique_ptr<TARNModule> sink;
};

TEST_P(ReplayTiming, ARecordWaitsForItsTimeOrIsDropped) {
    const TimingCase& timing = GetParam();
    TARNOutputImplementation& output = MakeSource("cam");
    sink = std::make_unique<TARNModule>("sink", false, false);
    const TARNInputDefinition in{"in", nullptr, nullptr, NeverSkippingReader, 1};
    TARNInput& input = *sink->NewInput(in, nullptr);
    ConnectByHand(output, input);
    auto definition = TestMethodDefinition();
    definition.threadedReplay = true;
    auto& replay = Make<FillingReplayMethod>(definition, output);
    replay.replayMode = timing.mode;
    Time().SetTimeSpeed(timing.speed);
    if (timing.when == When::WhileFilling) replay.whileFilling = [&] { Apply(timing); };

    const long waits = Events().WaitsStarted();
    replay.BirthReplayX();
    replay.records = {VectorRecord(0), VectorRecord(Marker)};
    ASSERT_TRUE(Events().AwaitWaits(waits + 1)) << "the replay thread waits for a record";
    const long requested = Events().TriggerRequests();
    const std::size_t delaysBefore = recorder.RequestedDelays().size();
    const long now = Time().CurrentTime();
    TestPlayer::Queue(replay, 0, now + timing.dueIn, now + timing.timestampIn, timing.immediate);

    const long armed = static_cast<long>(timing.delays.size());
    if (timing.when == When::WhileWaiting) {
        // The record waits for its trigger, or, with time standing still, for a change.
        if (armed > 0)
            ASSERT_TRUE(Events().AwaitTriggerRequests(requested + 1));
        else
            ASSERT_TRUE(Events().AwaitWaits(waits + 2));
        Apply(timing);
    }
    if (timing.published && armed > 0) {
        ASSERT_TRUE(Events().AwaitTriggerRequests(requested + armed));
        Time().AdvanceClock(timing.delays.back());
        Events().FireTriggers();
    }
    if (!timing.published) TestPlayer::Queue(replay, 1, now, now, true);
    // A trigger beyond those expected shows a record waiting that should have gone.
    ASSERT_TRUE(AwaitCondition(
        [&] { return input.DataAvailableInFIFO() || Events().TriggerRequests() > requested + armed; }));

    const std::vector<long> delays = recorder.RequestedDelays();
    EXPECT_THAT(std::vector<long>(delays.begin() + static_cast<long>(delaysBefore), delays.end()),
                ElementsAreArray(timing.delays));
    if (input.DataAvailableInFIFO()) {
        TARNListIterator position = TakeByHand(input);
        EXPECT_EQ(TestRecordMethod::FirstWord(TARNIOMonitorImplementation::Element(position)),
                  timing.published ? 0 : Marker);
        GiveBackByHand(input, position);
    }
    replay.DeathReplayX();
}

constexpr int Normal = TARNRecordReplayMethod::ReplayNormal;
constexpr int Immediate = TARNRecordReplayMethod::ReplayImmediate;
constexpr int Timestamp = TARNRecordReplayMethod::ReplayTimestamp;

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplayTiming,
    ::testing::Values(
        TimingCase{"real time", Normal, 1000, 5000, 5000, false, Change::None, When::Never, 0, {5000}, true},
        TimingCase{"twice real time", Normal, 2000, 5000, 5000, false, Change::None, When::Never, 0, {2500}, true},
        TimingCase{"due within a microsecond", Normal, 1000, 1, 1, false, Change::None, When::Never, 0, {}, true},
        TimingCase{"Immediate mode", Immediate, 1000, 5000, 5000, false, Change::None, When::Never, 0, {}, true},
        TimingCase{"an immediate record", Normal, 1000, 5000, 5000, true, Change::None, When::Never, 0, {}, true},
        TimingCase{"Timestamp mode waits for the timestamp", Timestamp, 1000, 5000, 8000, false, Change::None,
                   When::Never, 0, {8000}, true},
        TimingCase{"a jump back by the speed's value drops", Normal, 1000, 5000, 5000, false, Change::Jump,
                   When::WhileWaiting, -1000, {5000}, false},
        TimingCase{"a smaller jump back waits longer", Normal, 1000, 5000, 5000, false, Change::Jump,
                   When::WhileWaiting, -999, {5000, 5999}, true},
        TimingCase{"a jump forward waits less", Normal, 1000, 5000, 5000, false, Change::Jump, When::WhileWaiting,
                   2000, {5000, 3000}, true},
        TimingCase{"a jump forward past the time publishes", Normal, 1000, 5000, 5000, false, Change::Jump,
                   When::WhileWaiting, 6000, {5000}, true},
        TimingCase{"speed 0 while waiting drops", Normal, 1000, 5000, 5000, false, Change::Speed,
                   When::WhileWaiting, 0, {5000}, false},
        TimingCase{"a pause while waiting drops", Normal, 1000, 5000, 5000, false, Change::Pause,
                   When::WhileWaiting, 0, {5000}, false},
        TimingCase{"at speed 0 the record goes at the next change", Normal, 0, 5000, 5000, false, Change::Speed,
                   When::WhileWaiting, 1000, {}, false},
        TimingCase{"a jump back while the record is filled drops", Normal, 1000, 5000, 5000, false,
                   Change::Jump, When::WhileFilling, -10'000'000, {}, false}));

struct ReplayPathCase {
    const char* stream;      // the replayed output's registered name
    const char* recordName;  // the player's
    const char* subfolder;   // the player's subfolder of the stream; null for none
    const char* path;        // under the default replay path
};

void PrintTo(const ReplayPathCase& path, std::ostream* out) { *out << path.stream << " in " << path.recordName; }

class ReplayPath : public RecordingTest, public ::testing::WithParamInterface<ReplayPathCase> {};

// The files of a replayed stream: the record name and the stream name for an output name
// with a point; the stream name and the record name's part from its "@" for one without.
TEST_P(ReplayPath, ComposesTheFilePaths) {
    const ReplayPathCase& path = GetParam();
    TARNOutputImplementation& output = MakeSource("cam");
    TestPlayer player;
    player.recordName = path.recordName;
    player.defaultReplayPath = root.c_str();
    player.defaultFastReplayPath = (root + "/fast").c_str();
    if (path.subfolder != nullptr)
        player.subfolders.Insert(TARNStackedString<40>(path.stream), TARNStackedString<40>(path.subfolder));
    output.player = &player;
    auto definition = TestMethodDefinition();
    auto& replay = Make<TestReplayMethod>(definition, output);
    const TARNStackedString<40> registered = output.registeredName;
    output.registeredName = path.stream;
    replay.BirthReplayX();
    output.registeredName = registered;
    EXPECT_EQ(std::string(replay.FilePath()), root + path.path);
    EXPECT_EQ(std::string(replay.FastFilePath()), root + "/fast" + path.path);
    replay.DeathReplayX();
    output.player = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Names, ReplayPath,
                         ::testing::Values(ReplayPathCase{"cam.out", "rec_E7", nullptr, "/rec_E7_cam_out"},
                                           ReplayPathCase{"cam.out", "rec_E7@T", nullptr, "/rec_E7@T_cam_out"},
                                           ReplayPathCase{"a::cam.out", "rec", nullptr, "/rec_a__cam_out"},
                                           ReplayPathCase{"cam.out", "rec", "front", "/front/rec_cam_out"},
                                           ReplayPathCase{"cam", "rec_E7@T", nullptr, "/cam@T"},
                                           ReplayPathCase{"cam", "@T", nullptr, "/cam@T"},
                                           ReplayPathCase{"cam", "rec_E7", nullptr, "/cam"},
                                           ReplayPathCase{"cam", "", nullptr, "/cam"}));

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
