// The sound-processing base: 8- and 16-bit streams become float samples with the input's
// timestamp and format words; unsupported formats, empty and discarded blocks; and blocks
// the first element's buffers cannot hold or that carry no channels are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image_processing_fixture.hpp"
#include "support/sound_test_component.hpp"

namespace {

constexpr unsigned long ByteStream = TARNTypeInfo::Stream8 | TARNTypeInfo::Vector;

class SoundTest : public ComponentReportsTest {
  protected:
    void SetUp() override {
        prefix = "component sound: ";
        component.CallDynamic();
        TARN::Attach(*stream, component.Input("sndInput"));
        TARN::Attach(component.Output("sndOutput"), *sink.input);
        stepper.Begin();
    }
    void TearDown() override {
        stepper.Finish();
        ComponentReportsTest::TearDown();
    }
    std::vector<float> Samples(const SinkRecord& record) {
        std::vector<float> samples(record.bytes.size() / sizeof(float));
        std::memcpy(samples.data(), record.bytes.data(), record.bytes.size());
        return samples;
    }

    FeedingSource source{"source"};
    TARNOutput* stream = &source.VectorOutput("stream", ByteStream, 8);
    SoundTestComponent component{"sound"};
    RecordingSink sink{"sink"};
    ComponentStepper stepper{component};
};

TEST_F(SoundTest, EightBitSamplesAreCentredAndScaled) {
    source.WriteBytes(*stream, {0, 128, 255}, 500, 1, 8, 44100);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Samples(records[0]), (std::vector<float>{-1.0f, 0.0f, 0.9921875f}));
    EXPECT_EQ(records[0].timestamp, 500);
    EXPECT_EQ(records[0].frequency, 44100);
    EXPECT_EQ(records[0].misc1, 1);
    EXPECT_EQ(records[0].misc2, 8);
}

TEST_F(SoundTest, SixteenBitSamplesAreLittleEndianAndScaled) {
    source.WriteBytes(*stream, {0x00, 0x80, 0x00, 0x40}, 500, 2, 16);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Samples(records[0]), (std::vector<float>{-1.0f, 0.5f}));
    ASSERT_EQ(component.blocks.size(), 1u);
    EXPECT_EQ(component.blocks[0].samplesPerChannel, 1);
    EXPECT_EQ(component.blocks[0].channels, 2);
}

TEST_F(SoundTest, UnsupportedSampleWidthsStopCore) {
    for (int bits : {24, 4}) {
        source.WriteBytes(*stream, {1, 2, 3}, 500, 1, bits);
        EXPECT_EQ(stepper.Pass(), -5) << bits;
    }
    EXPECT_EQ(CountReported("Input sound format is not supported.", 2), 2);
    EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(SoundTest, EmptyAndDiscardedBlocksPublishNothing) {
    source.WriteBytes(*stream, {}, 500, 1, 8);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_TRUE(component.firstElement) << "an empty element teaches nothing";
    component.discard = true;
    source.WriteBytes(*stream, {1, 2}, 600, 1, 8);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(SoundTest, ABlockWithoutChannelsIsRefused) {
    source.WriteBytes(*stream, {1, 2}, 500, 0, 8);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_TRUE(Reported("Input sound element without channels refused.", 1));
    EXPECT_EQ(sink.Count(), 0u);
}

// The first element (16-bit) sizes the buffers for 4 samples; an 8-bit element of the same
// buffer carries 8, which must not be written past them.
TEST_F(SoundTest, ABlockLargerThanTheFirstOnesBuffersIsRefused) {
    source.WriteBytes(*stream, {0, 0, 0, 0}, 500, 1, 16);
    ASSERT_EQ(stepper.Pass(), 0);
    source.WriteBytes(*stream, {1, 2, 3, 4, 5, 6, 7, 8}, 600, 1, 8);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_TRUE(Reported("Input sound block larger than the buffers of the first one refused.", 1));
    EXPECT_EQ(sink.Count(), 1u);
}

}  // namespace
