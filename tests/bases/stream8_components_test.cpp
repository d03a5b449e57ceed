// The 8-bit stream bases: bytes kept in the component's FIFO across calls with their
// timestamps, wrapping at its end; an overflowing push stops Core; SendData cuts a block
// into elements; and FIFO sizes, chunk sizes and block sizes that cannot work are refused.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "image_processing_fixture.hpp"
#include "support/stream8_test_component.hpp"

namespace {

constexpr unsigned long ByteStream = TARNTypeInfo::Stream8 | TARNTypeInfo::Vector;

std::vector<unsigned char> Bytes(int count, unsigned char first) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count));
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class Stream8Test : public ManualTimeTest {
  protected:
    void SetUp() override {
        ManualTimeTest::SetUp();
        Time().SetCurrentTime(7'000'000);
        component.CallDynamic();
        TARN::Attach(component.Output("oStream8"), *sink.input);
    }
    void TearDown() override {
        stepper.Finish();
        ManualTimeTest::TearDown();
    }
    TARNOutput& Connect(unsigned long type, int bytes) {
        TARNOutput& output = source.VectorOutput("stream", type, bytes);
        TARN::Attach(output, component.Input("iStream8"));
        return output;
    }
    bool Reported(const std::string& text, int level) const {
        for (const HostReport& report : ReportsAt(level))
            if (report.message == "component stream: " + text) return true;
        return false;
    }

    FeedingSource source{"source"};
    Stream8TestComponent component{"stream"};
    RecordingSink sink{"sink"};
    ComponentStepper stepper{component};
};

TEST_F(Stream8Test, BytesWrapAroundTheFifoAndStayUntilConsumed) {
    TARNOutput& stream = Connect(ByteStream, 8);
    component.Property("pInputFIFOSize").Set(10L);
    ASSERT_EQ(stepper.Begin(), 0);
    component.consume = 7;
    source.WriteBytes(stream, Bytes(7, 0), 100);
    ASSERT_EQ(stepper.Pass(), 0);
    component.consume = 0;
    source.WriteBytes(stream, Bytes(6, 10), 200);
    ASSERT_EQ(stepper.Pass(), 0);
    source.WriteBytes(stream, Bytes(3, 20), 300);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(component.last.offset, 7);
    EXPECT_EQ(component.last.bytes, (std::vector<unsigned char>{10, 11, 12, 13, 14, 15, 20, 21, 22}));
    EXPECT_EQ(component.fifoData[3], 20) << "(7 + 6) mod 10";
    EXPECT_EQ(component.last.timestamps.back(), 300);
}

TEST_F(Stream8Test, BytesOfAStreamWithAFrequencyAreStampedOneByOne) {
    TARNOutput& stream = Connect(ByteStream | TARNTypeInfo::CarriesFrequency, 4);
    ASSERT_EQ(stepper.Begin(), 0);
    source.WriteBytes(stream, Bytes(4, 0), 1'000'000, 0, 0, 1'000'000);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(component.last.timestamps, (std::vector<long>{1'000'000, 1'001'000, 1'002'000, 1'003'000}));
    EXPECT_EQ(component.last.timesOfIssue, (std::vector<long>(4, 7'000'000)))
        << "every byte keeps the element's time of issue: the engine time it was written at";
}

TEST_F(Stream8Test, WithoutTheFrequencyFlagEveryByteHasTheElementsTimestamp) {
    TARNOutput& stream = Connect(ByteStream, 4);
    ASSERT_EQ(stepper.Begin(), 0);
    source.WriteBytes(stream, Bytes(4, 0), 1'000'000, 0, 0, 1'000'000);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(component.last.timestamps, (std::vector<long>(4, 1'000'000)));
}

TEST_F(Stream8Test, AnOverflowingPushStopsCore) {
    TARNOutput& stream = Connect(ByteStream, 11);
    component.Property("pInputFIFOSize").Set(10L);
    ASSERT_EQ(stepper.Begin(), 0);
    source.WriteBytes(stream, Bytes(11, 0), 100);
    EXPECT_EQ(stepper.Pass(), -5);
    EXPECT_TRUE(Reported("TARNConstRBRegionOverflowOp", 2));
}

TEST_F(Stream8Test, SendDataCutsABlockIntoChunksOfOneTimestamp) {
    Connect(ByteStream, 4);
    ASSERT_EQ(stepper.Begin(), 0);
    EXPECT_TRUE(component.SendData(Bytes(25, 0).data(), 25, 0));
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].vectorSize, 10);
    EXPECT_EQ(records[1].vectorSize, 10);
    EXPECT_EQ(records[2].vectorSize, 5);
    EXPECT_EQ(records[2].bytes, Bytes(5, 20));
    for (const SinkRecord& record : records) EXPECT_EQ(record.timestamp, 7'000'000) << "the engine time";
    EXPECT_TRUE(component.SendData("", 0, 5));
    EXPECT_EQ(sink.Count(), 3u);
}

struct FifoSizeCase {
    const char* property;
    long value;
};

class Stream8SizeTest : public Stream8Test, public ::testing::WithParamInterface<FifoSizeCase> {};

TEST_P(Stream8SizeTest, SizesTheFifosCannotHaveAreRefusedAtBirth) {
    Connect(ByteStream, 4);
    component.Property(GetParam().property).Set(GetParam().value);
    EXPECT_EQ(stepper.Begin(), -5);
    EXPECT_TRUE(Reported("Error while initializing the FIFO", 2));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Stream8SizeTest,
                         ::testing::Values(FifoSizeCase{"pInputFIFOSize", 0}, FifoSizeCase{"pInputFIFOSize", -3},
                                           FifoSizeCase{"pInputFIFOSize", 4294967306L},
                                           FifoSizeCase{"pOutputFIFOsSize", 0},
                                           FifoSizeCase{"pOutputFIFOsSize", -1}));

TEST_F(Stream8Test, ANegativeBlockSizeIsRefused) {
    Connect(ByteStream, 4);
    ASSERT_EQ(stepper.Begin(), 0);
    EXPECT_FALSE(component.SendData("abc", -3, 0));
    EXPECT_TRUE(Reported("Error while initializing the FIFO", 2));
    EXPECT_EQ(sink.Count(), 0u);
}

}  // namespace
