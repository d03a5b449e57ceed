// A module's reading and writing calls on one thread: a sequential reader is run by its
// writer and sees every element in order with its timestamp; what a writer discards, drops
// or writes past its buffer never reaches a reader and never keeps its slot.
#include <gtest/gtest.h>

#include <string>

#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "reading_writing_fixture.hpp"

TEST_F(ReadingWritingTest, ASequentialReaderIsRunByItsWriterWithEveryElementInOrder) {
    TARNModule writer("cam", false, false);
    SequentialReader reader("sink");
    TARNOutput& out = MakeOutput(writer, 3);
    ConnectByHand(out, MakeInput(reader, NeverSkippingReader));

    for (int value = 1; value <= 10; ++value) Write(writer, out, value, 1000L * value);

    ASSERT_EQ(reader.values.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(reader.values[i], i + 1);
        EXPECT_EQ(reader.timestamps[i], 1000L * (i + 1));
    }
}

TEST_F(ReadingWritingTest, ASequentialReaderGetsNullWhenThereIsNothingToTake) {
    TARNModule writer("cam", false, false);
    TARNModule reader("sink", false, false);
    TARNOutput& out = MakeOutput(writer, 3);
    TARNInputImplementation& in = MakeInput(reader, FifoReader);
    EXPECT_EQ(reader.StartReading(in), nullptr);  // not connected
    ConnectByHand(out, in);
    EXPECT_EQ(reader.StartReading(in), nullptr);  // nothing published
    EXPECT_FALSE(in.reading);
    EXPECT_FALSE(reader.DataAvailableInFIFO(in));
    EXPECT_TRUE(writer.IsFIFOEmpty(out));
}

TEST_F(ReadingWritingTest, AnElementWithoutTimestampIsPublishedWithItsTimeOfIssue) {
    TARNModule writer("cam", false, false);
    SequentialReader reader("sink");
    TARNOutput& out = MakeOutput(writer, 3);
    ConnectByHand(out, MakeInput(reader, FifoReader));
    TARNIOElt* element = writer.StartWriting(out);
    EXPECT_EQ(element->Timestamp(), 0);
    element->VectorSize() = 1;
    writer.StopWriting(element, false);
    ASSERT_EQ(reader.timestamps.size(), 1u);
    EXPECT_NE(reader.timestamps[0], 0);
    EXPECT_EQ(reader.timestamps[0], element->TimeOfIssue());
}

TEST_F(ReadingWritingTest, ADiscardedElementIsFreedAndRunsNoReader) {
    TARNModule writer("cam", false, false);
    SequentialReader reader("sink");
    TARNOutput& out = MakeOutput(writer, 2);
    ConnectByHand(out, MakeInput(reader, NeverSkippingReader));
    for (int i = 0; i < 5; ++i) writer.StopWriting(writer.StartWriting(out, 1), true);
    EXPECT_EQ(reader.calls, 0);
    EXPECT_TRUE(Ring(out).IsIdle());
    EXPECT_EQ(out.NbFreeSlotsInFIFO(), 2);
}

// The element written past its buffer is freed before the writer gets the error: a slot
// left being written would never come back, and the ring would run out of slots.
TEST_F(ReadingWritingTest, AnElementWrittenPastItsBufferIsFreedAndEndsInError) {
    TARNModule writer("cam", false, false);
    SequentialReader reader("sink");
    TARNOutput& out = MakeOutput(writer, 2);
    ConnectByHand(out, MakeInput(reader, NeverSkippingReader));
    TARNIOElt* element = writer.StartWriting(out, 5);
    element->VectorSize() = ElementLength + 6;
    EXPECT_EQ(ThrownCode([&] { writer.StopWriting(element, false); }), TARNModule::ErrorException);
    EXPECT_EQ(std::string(writer.errorText.c_str()), "Buffer overflow detected: VectorSize(10) > BufferSize(4)");
    EXPECT_EQ(reader.calls, 0);
    EXPECT_TRUE(Ring(out).IsIdle());
    EXPECT_TRUE(writer.IsFIFOEmpty(out));
    // Every slot is there for the next elements.
    for (int value = 1; value <= 4; ++value) Write(writer, out, value, value);
    EXPECT_EQ(reader.values, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(ReadingWritingTest, StopWritingRefusesAnElementItsModuleDidNotHandOut) {
    TARNModule writer("cam", false, false);
    TARNModule other("other", false, false);
    TARNOutput& out = MakeOutput(writer, 2);
    TARNIOElt* element = writer.StartWriting(out);
    EXPECT_EQ(ThrownCode([&] { other.StopWriting(element, false); }), TARNModule::ErrorException);
    writer.StopWriting(element, true);
    EXPECT_EQ(ThrownCode([&] { writer.StopWriting(element, true); }), TARNModule::ErrorException);
}

// The reading flag is cleared on every way out of a reading call, errors included.
TEST_F(ReadingWritingTest, NLastStartReadingSlidesItsWindowAndRefusesWhatItCannotFill) {
    TARNModule writer("cam", false, false);
    TARNModule reader("sink", false, false);
    TARNOutput& out = MakeOutput(writer, 4);
    TARNInputImplementation& in = MakeInput(reader, NeverSkippingReader);
    ConnectByHand(out, in);
    TARNIOElt* window[3] = {nullptr, nullptr, nullptr};

    EXPECT_EQ(ThrownCode([&] { reader.NLastStartReading(in, 0, window); }), TARNModule::ErrorException);
    EXPECT_EQ(ThrownCode([&] { reader.NLastStartReading(in, -2, window); }), TARNModule::ErrorException);
    EXPECT_EQ(window[0], nullptr);

    Write(writer, out, 1, 1);
    EXPECT_EQ(reader.NLastStartReading(in, 2, window), 0);  // one element cannot fill two
    EXPECT_FALSE(in.reading);
    Write(writer, out, 2, 2);
    ASSERT_EQ(reader.NLastStartReading(in, 2, window), 1);
    EXPECT_EQ(window[0]->Integer32(0)[0], 1);
    EXPECT_EQ(window[1]->Integer32(0)[0], 2);
    Write(writer, out, 3, 3);
    ASSERT_EQ(reader.NLastStartReading(in, 2, window), 1);
    EXPECT_EQ(window[0]->Integer32(0)[0], 2);
    EXPECT_EQ(window[1]->Integer32(0)[0], 3);
    reader.StopReading(in);
    EXPECT_EQ(in.heldCount, 0);
    EXPECT_FALSE(in.reading);

    in.subsampling = 2;
    EXPECT_EQ(ThrownCode([&] { reader.NLastStartReading(in, 2, window); }), TARNModule::ErrorException);
    EXPECT_FALSE(in.reading);
}

// With output subsampling 2 every second element is published (the first among them), but
// the sequential reader is run after each one: it keeps the writer's pace and finds
// nothing new half the time.
TEST_F(ReadingWritingTest, OutputSubsamplingPublishesEverySecondElementAndRunsTheReaderEachTime) {
    TARNModule writer("cam", false, false);
    SequentialReader reader("sink");
    TARNOutput& out = MakeOutput(writer, 3);
    ASSERT_TRUE(Ring(out).SetOutputSubsamplingRate(2));
    ConnectByHand(out, MakeInput(reader, NeverSkippingReader));
    for (int value = 1; value <= 4; ++value) Write(writer, out, value, value);
    EXPECT_EQ(reader.calls, 4);
    EXPECT_EQ(reader.values, (std::vector<int>{1, 3}));
}

// A periodic output publishes its timestamps as given until its history is full (the 30th
// is already fitted), then the line fitted through the recent ones, which smooths a late
// element's jitter.
TEST_F(ReadingWritingTest, APeriodicOutputSmoothsItsTimestampsOnceItsHistoryIsFull) {
    constexpr int Period = 1000;
    constexpr int Full = TARNOutputImplementation::HistoryLength;
    TARNModule writer("cam", false, false);
    SequentialReader reader("sink");
    TARNOutput& out = MakeOutput(writer, 3);
    static_cast<TARNOutputImplementation&>(out).periodic = true;
    ConnectByHand(out, MakeInput(reader, NeverSkippingReader));
    Write(writer, out, 0, Period + 300);  // jitter before the history is full: kept
    for (int k = 2; k <= Full; ++k) Write(writer, out, k, long{Period} * k);
    const long late = long{Period} * (Full + 1) + 600;
    Write(writer, out, Full + 1, late);

    ASSERT_EQ(reader.timestamps.size(), static_cast<size_t>(Full + 1));
    EXPECT_EQ(reader.timestamps[0], Period + 300);
    EXPECT_EQ(reader.timestamps[Full - 2], long{Period} * (Full - 1));
    EXPECT_GT(reader.timestamps[Full], long{Period} * (Full + 1));
    EXPECT_LT(reader.timestamps[Full], late);
}
