// Synchronised reading: one element per input, their timestamps within the tolerance (met
// exactly counts); an element too old is passed over, one ahead of the set becomes its
// anchor, in the direction engine time runs; and a module without a thread that cannot
// complete the set gives up instead of spinning.
#include <gtest/gtest.h>

#include "reading_writing_fixture.hpp"

namespace {

// Two outputs of their own writers feeding two inputs of one reader.
class SynchronisedReadingTest : public ReadingWritingTest {
  protected:
    void Connect(TARNModule& reader) {
        const TARNInputDefinition x{"x", nullptr, nullptr, NeverSkippingReader, 1};
        const TARNInputDefinition y{"y", nullptr, nullptr, NeverSkippingReader, 1};
        inputs[0] = reader.NewInput(x, nullptr);
        inputs[1] = reader.NewInput(y, nullptr);
        ConnectByHand(a, *inputs[0]);
        ConnectByHand(b, *inputs[1]);
    }
    TARNModule writerA{"a", false, false};
    TARNModule writerB{"b", false, false};
    TARNOutput& a = MakeOutput(writerA, 4);
    TARNOutput& b = MakeOutput(writerB, 4);
    TARNInput* inputs[2] = {nullptr, nullptr};
    TARNIOElt* elements[2] = {nullptr, nullptr};
};

// Three writers feeding three inputs of one threaded reader, for the cases below.
class SynchronisedReadingCases : public ReadingWritingTest {
  protected:
    SynchronisedReadingCases() {
        reader.threaded = true;
        const char* names[3] = {"x", "y", "z"};
        for (int i = 0; i < 3; ++i) {
            const TARNInputDefinition definition{names[i], nullptr, nullptr, NeverSkippingReader, 1};
            inputs[i] = reader.NewInput(definition, nullptr);
            ConnectByHand(*outputs[i], *inputs[i]);
        }
    }
    TARNModule writers[3] = {TARNModule("a", false, false), TARNModule("b", false, false),
                             TARNModule("c", false, false)};
    TARNOutput* outputs[3] = {&MakeOutput(writers[0], 4), &MakeOutput(writers[1], 4),
                              &MakeOutput(writers[2], 4)};
    TARNModule reader{"sync", false, false};
    TARNInput* inputs[3] = {nullptr, nullptr, nullptr};
    TARNIOElt* elements[3] = {nullptr, nullptr, nullptr};
};

// Runs SynchroStartReading on its two inputs whenever a writer runs it.
class SequentialSynchroniser : public TARNModule {
  public:
    SequentialSynchroniser() : TARNModule("sync", false, false) {}
    void SequentialCore(TARNInput*) override { results.push_back(SynchroStartReading(2, inputs, elements, 0, nullptr)); }
    TARNInput* inputs[2] = {nullptr, nullptr};
    TARNIOElt* elements[2] = {nullptr, nullptr};
    std::vector<long> results;
};

}  // namespace

TEST_F(SynchronisedReadingTest, AnElementTooOldIsPassedOver) {
    TARNModule reader("sync", false, false);
    reader.threaded = true;
    Connect(reader);
    Write(writerA, a, 1, 100);
    Write(writerB, b, 2, 90);
    Write(writerB, b, 3, 100);
    EXPECT_EQ(reader.SynchroStartReading(2, inputs, elements, 0, nullptr), 100);
    EXPECT_EQ(elements[0]->Integer32(0)[0], 1);
    EXPECT_EQ(elements[1]->Integer32(0)[0], 3);
}

TEST_F(SynchronisedReadingTest, AnElementAheadBecomesTheAnchorAndDropsWhatNoLongerFits) {
    TARNModule reader("sync", false, false);
    reader.threaded = true;
    Connect(reader);
    Write(writerA, a, 1, 1000);
    Write(writerA, a, 2, 9000);
    Write(writerB, b, 3, 11000);
    EXPECT_EQ(reader.SynchroStartReading(2, inputs, elements, 5000, nullptr), 9000);
    EXPECT_EQ(elements[0]->Timestamp(), 9000);
    EXPECT_EQ(elements[1]->Timestamp(), 11000);
}

TEST_F(SynchronisedReadingTest, AnEventEndsAnIncompleteSetWithNothingReturned) {
    TARNModule reader("sync", false, false);
    reader.threaded = true;
    Connect(reader);
    Write(writerA, a, 1, 1000);
    TARNEvent stop;
    stop.Set();
    EXPECT_EQ(reader.SynchroStartReading(2, inputs, elements, 0, &stop), -1);
    EXPECT_EQ(elements[0], nullptr);
    EXPECT_EQ(elements[1], nullptr);
    EXPECT_EQ(ThrownCode([&] { reader.SynchroStartReading(2, inputs, elements, -1, nullptr); }),
              TARNModule::ErrorException);
    EXPECT_EQ(ThrownCode([&] { reader.SynchroStartReading(0, inputs, elements, 0, nullptr); }),
              TARNModule::ErrorException);
}

// Run by its writer, the module can read only the input that writer feeds: once that one
// is accepted it gives up (-1) rather than looping inside the writer's StopWriting.
TEST_F(SynchronisedReadingTest, ASequentialModuleThatCannotCompleteTheSetGivesUp) {
    SequentialSynchroniser reader;
    Connect(reader);
    reader.inputs[0] = inputs[0];
    reader.inputs[1] = inputs[1];
    TestThread writing([&] { ThrownCode([&] { Write(writerA, a, 1, 1000); }); });
    // A module spinning inside its writer reads again and again: its death ends that.
    const bool gaveUp = AwaitCondition([&] { return writing.Finished(); });
    if (!gaveUp) reader.Die();
    writing.Join();
    EXPECT_TRUE(gaveUp);
    EXPECT_EQ(reader.results, (std::vector<long>{-1}));
    EXPECT_EQ(reader.elements[0], nullptr);
}

// Every case is written before the read, element k of the case carrying the value k + 1;
// each is built so that a reader that got the rule wrong would still complete a set, but
// another one (and never hang: the read has a deadline).
struct SynchroCase {
    const char* name;
    int speed;  // engine time speed, per mille: negative runs time backwards
    long tolerance;
    int inputs;
    std::vector<std::pair<int, long>> writes;  // (input, timestamp)
    long expected;
    std::vector<int> values;  // of the element accepted on each input
};

void PrintTo(const SynchroCase& c, std::ostream* out) {
    *out << c.name;
}

const SynchroCase SynchroCases[] = {
    // hi - lo = tolerance completes the set, whether the element read last is the newer
    // one (the read does not go on to 7000) or the older one (nor to 2000).
    {"ToleranceExactlyMetByANewerElement", 1000, 5000, 2, {{0, 1000}, {0, 7000}, {1, 6000}}, 1000, {1, 3}},
    {"ToleranceExactlyMetByAnOlderElement", 1000, 5000, 2, {{0, 6000}, {1, 1000}, {1, 2000}}, 1000, {1, 2}},
    {"ToleranceExceededByOne", 1000, 5000, 2, {{0, 1000}, {0, 7000}, {1, 6001}}, 6001, {2, 3}},
    // Backwards, a newer element has a smaller timestamp: 120 is too old and passed over.
    {"BackwardsALargerTimestampIsTooOld", -1000, 0, 2, {{0, 100}, {0, 120}, {1, 120}, {1, 100}}, 100, {1, 4}},
    // Backwards, 80 is ahead of 100: the new anchor, and 100 is dropped.
    {"BackwardsASmallerTimestampIsTheNewAnchor",
     -1000,
     0,
     2,
     {{0, 100}, {0, 80}, {1, 80}, {1, 100}},
     80,
     {2, 3}},
    // Backwards, the anchor 88 keeps what lies within the tolerance above it (95) and drops
    // what does not (100).
    {"BackwardsTheAnchorKeepsWhatFitsAboveIt",
     -1000,
     10,
     3,
     {{0, 100}, {0, 90}, {1, 95}, {2, 88}},
     88,
     {2, 3, 4}},
    {"ForwardsTheAnchorKeepsWhatFitsBelowIt",
     1000,
     10,
     3,
     {{0, 100}, {0, 110}, {1, 105}, {2, 112}},
     105,
     {2, 3, 4}},
};

class SynchroMatching : public SynchronisedReadingCases, public ::testing::WithParamInterface<SynchroCase> {};

TEST_P(SynchroMatching, TheSetFollowsTheToleranceAndTheTimeDirection) {
    const SynchroCase& c = GetParam();
    Time().SetTimeSpeed(c.speed);
    int value = 0;
    for (const auto& [input, timestamp] : c.writes)
        Write(writers[input], *outputs[input], ++value, timestamp);
    long result = 0;
    TestThread reading([&] {
        ThrownCode(
            [&] { result = reader.SynchroStartReading(c.inputs, inputs, elements, c.tolerance, nullptr); });
    });
    // A read that waits for an element no writer will give is ended by the reader's death.
    const bool completed = AwaitCondition([&] { return reading.Finished(); });
    if (!completed) reader.Die();
    reading.Join();
    ASSERT_TRUE(completed) << "the read never completed a set";
    EXPECT_EQ(result, c.expected);
    std::vector<int> values;
    for (int i = 0; i < c.inputs; ++i)
        values.push_back(elements[i] != nullptr ? elements[i]->Integer32(0)[0] : 0);
    EXPECT_EQ(values, c.values);
}

INSTANTIATE_TEST_SUITE_P(Cases, SynchroMatching, ::testing::ValuesIn(SynchroCases),
                         [](const auto& info) { return std::string(info.param.name); });
