// The two-source image-processing base: what differs from the one-source base — the
// output model from two images, pairing by timestamp, both regions for a region-needing
// operation, each region from its own input, and the stale-image and re-process faults on
// either input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_processing_fixture.hpp"
#include "support/two_image_operation_test_component.hpp"

namespace {

class TwoSourceImageProcessing : public ImageProcessingTest<TwoImageOperationTestComponent> {
  protected:
    void Connect(int width0, int height0, const char* channels0, int width1, int height1, const char* channels1) {
        first = &Feed(source.ImageOutput("image0", width0, height0, channels0, 3), "iImage0");
        second = &Feed(source.ImageOutput("image1", width1, height1, channels1, 3), "iImage1");
    }
    TARNOutput* first = nullptr;
    TARNOutput* second = nullptr;
};

TEST_F(TwoSourceImageProcessing, TheOutputTakesTheSmallerSizeAndTheFirstChannelSequence) {
    Connect(8, 6, "BGR", 4, 3, "GRAY");
    stepper.Begin();
    source.WriteImage(*first, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(sink.Count(), 0u) << "nothing until both inputs delivered";
    source.WriteImage(*second, 2, 150);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 4);
    EXPECT_EQ(records[0].height, 3);
    EXPECT_EQ(records[0].channels, "BGR");
    EXPECT_EQ(records[0].timestamp, 150) << "the later of the two";
    EXPECT_EQ(records[0].bytes[0], 3);
    EXPECT_TRUE(Reported("Input0 and Input1 images color model or channel sequence are different : Input0 model will "
                         "be used",
                         1));
}

TEST_F(TwoSourceImageProcessing, SynchronisedReadersCombineOnlyEqualTimestamps) {
    Connect(2, 2, "GRAY", 2, 2, "GRAY");
    component.Property("pSynchroReaders").Set(true);
    stepper.Begin();
    source.WriteImage(*first, 1, 100);
    source.WriteImage(*second, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    ASSERT_EQ(stepper.Pass(), 0);
    source.WriteImage(*first, 1, 200);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(sink.Count(), 1u) << "200 and 100 make no pair";
    source.WriteImage(*second, 1, 200);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].timestamp, 100);
    EXPECT_EQ(records[1].timestamp, 200);
}

TEST_F(TwoSourceImageProcessing, ARegionNeedingOperationWantsBothInputRegions) {
    ASSERT_TRUE(component.SetOperation("RegionSum"));
    component.SetROI(&component.input0ROI, "0;0;1;1");
    EXPECT_FALSE(component.SetParameters("1"));
    EXPECT_TRUE(Reported("This operation needs inputs ROI. Please specify the ROI first...", 1));
    component.SetROI(&component.input1ROI, "0;0;1;1");
    EXPECT_TRUE(component.SetParameters("1"));
}

TEST_F(TwoSourceImageProcessing, ASkippedImageBecomesTheLastImageOfItsInput) {
    Connect(2, 2, "GRAY", 2, 2, "GRAY");
    TARNOutput& regions = Feed(source.VectorOutput("regions", IntegerVector, 5), "iOutputROI");
    stepper.Begin();
    source.WriteImage(*second, 10, 50);
    ASSERT_EQ(stepper.Pass(), 0);
    source.WriteImage(*first, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    source.WriteImage(*first, 2, 200);
    source.WriteImage(*first, 3, 300);
    ASSERT_EQ(stepper.Pass(), 0);  // 200 is skipped: 300 waits
    source.WriteIntegers(regions, {});
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].timestamp, 200);
    EXPECT_EQ(records[1].bytes[0], 12);
}

TEST_F(TwoSourceImageProcessing, EachRegionVectorSetsItsOwnRegionAndProperty) {
    struct RegionCase {
        const char* source;
        const char* input;
        const char* property;
        _IplROI* TARNImageProcessing2Src1Dest::*region;
    };
    const RegionCase cases[] = {
        {"region0", "iInput0ROI", "pInput0ROI", &TARNImageProcessing2Src1Dest::input0ROI},
        {"region1", "iInput1ROI", "pInput1ROI", &TARNImageProcessing2Src1Dest::input1ROI},
        {"outputRegion", "iOutputROI", "pOutputROI", &TARNImageProcessing2Src1Dest::outputROI},
    };
    std::vector<TARNOutput*> outputs;
    for (const RegionCase& c : cases)
        outputs.push_back(&Feed(source.VectorOutput(c.source, IntegerVector, 5), c.input));
    stepper.Begin();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].input);
        source.WriteIntegers(*outputs[i], {i, 1, 2, 3, 4});
        ASSERT_EQ(stepper.Pass(), 0);
        for (int j = 0; j < 3; ++j) EXPECT_EQ(component.*cases[j].region != nullptr, j <= i) << cases[j].property;
        const _IplROI* region = component.*cases[i].region;
        ASSERT_NE(region, nullptr);
        EXPECT_EQ(region->xOffset, i);
        EXPECT_EQ(region->coi, 4);
        EXPECT_EQ(Text(cases[i].property), std::to_string(i) + ";1;2;3;4");
    }
}

TEST_F(TwoSourceImageProcessing, BadRegionsOfEitherInputAreNamed) {
    Connect(4, 4, "GRAY", 4, 4, "GRAY");
    component.Property("pInput1ROI").Set("3;3;2;2");
    stepper.Begin();
    source.WriteImage(*first, 1, 100);
    source.WriteImage(*second, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_TRUE(Reported("Incorrect input1 ROI", 1));
    EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(TwoSourceImageProcessing, SkippedImagesAreCountedSinceTheLastBirth) {
    Connect(2, 2, "GRAY", 2, 2, "GRAY");
    for (long run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(stepper.Begin(), 0);
        source.WriteImage(*second, 1, 100 + 2 * run);
        source.WriteImage(*second, 1, 101 + 2 * run);
        ASSERT_EQ(stepper.Pass(), 0);  // skips the image it took: another waits
        stepper.Finish();
    }
    EXPECT_EQ(CountReported("1 frames skipped by the Last Or Next Reader", 1), 2);
}

TEST_F(TwoSourceImageProcessing, ADestinationSizeBeyondAnIntIsTheModulesError) {
    Connect(2, 2, "GRAY", 2, 2, "GRAY");
    component.Property("pOutputROI").Set("2147483647;0;1;1");
    component.Property("pSpecifyDestinationSize").Set(true);
    stepper.Begin();
    source.WriteImage(*first, 1, 100);
    source.WriteImage(*second, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(stepper.Pass(), -5);
    EXPECT_TRUE(Reported("Can't build an output image model of 2147483648 x 1 pixels.", 2));
    EXPECT_EQ(sink.Count(), 0u);
}

}  // namespace
