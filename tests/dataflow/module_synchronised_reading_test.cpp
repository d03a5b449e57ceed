// Synchronised reading: one element per input, their timestamps within the tolerance; an
// element too old is passed over, one ahead of the set becomes its anchor, and a module
// without a thread that cannot complete the set gives up instead of spinning.
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
