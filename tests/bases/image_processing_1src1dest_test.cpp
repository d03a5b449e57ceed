// The one-source image-processing base: selecting the operation and parsing its settings,
// processing images with regions, clicks, crop and clearing, re-processing the last image
// on a change, and the ways it must not go wrong (a stale last image, a lost change, a
// first frame that failed, a short point, an output model without alignment).
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "image_processing_fixture.hpp"
#include "support/image_operation_test_component.hpp"

namespace {

using OneSourceImageProcessing = ImageProcessingTest<ImageOperationTestComponent>;

// ---- Selection and parsing ------------------------------------------------------------

struct ParameterCase {
    const char* text;
    bool accepted;
    std::vector<int> integers;
    std::vector<double> doubles;
};

class ParameterParsingTest : public OneSourceImageProcessing, public ::testing::WithParamInterface<ParameterCase> {};

TEST_P(ParameterParsingTest, TwoIntegersAndOneDouble) {
    const ParameterCase& c = GetParam();
    ASSERT_TRUE(component.SetOperation("add"));
    EXPECT_EQ(component.SetParameters(c.text), c.accepted);
    const auto& p = component.parameters;
    EXPECT_EQ(std::vector<int>(p.integers, p.integers + p.nbIntegers), c.integers);
    EXPECT_EQ(std::vector<double>(p.doubles, p.doubles + p.nbDoubles), c.doubles);
    EXPECT_EQ(component.status, c.accepted ? 0u : 2u);
    EXPECT_EQ(Reported("Invalid parameters change. Check parameters types in your documentation or use pQuerySyntax "
                       "property to get a short description...",
                       1),
              !c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Texts, ParameterParsingTest,
                         ::testing::Values(ParameterCase{"3,4,0.5", true, {3, 4}, {0.5}},
                                           ParameterCase{"3;4", false, {}, {}},
                                           ParameterCase{"3,,0.5", true, {3, 0}, {0.5}},
                                           ParameterCase{"3,4,0.5,9", true, {3, 4}, {0.5}},
                                           ParameterCase{"3,4,", false, {}, {}},
                                           ParameterCase{" -7:x2\t1e1", true, {-7, 0}, {10.0}}));

TEST_F(OneSourceImageProcessing, DoublesReadTheSameUnderADecimalCommaLocale) {
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "fr_FR.utf8"})
        if ((found = std::setlocale(LC_NUMERIC, name)) != nullptr) break;
    if (found == nullptr) GTEST_SKIP() << "no decimal-comma locale installed";
    ASSERT_TRUE(component.SetOperation("ADD"));
    const bool accepted = component.SetParameters("1,2,0.25");
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_TRUE(accepted);
    EXPECT_EQ(component.parameters.doubles[0], 0.25);
}

TEST_F(OneSourceImageProcessing, OperationsAreFoundWhateverTheirCaseButTheSyntaxOnlyInUpperCase) {
    component.Property("pOperation").Set("erode");
    EXPECT_STREQ(component.operations[component.selectedOperation].name, "ERODE");
    EXPECT_EQ(component.status, 2u) << "waiting for its parameter";

    component.Property("pQuerySyntax").Set("erode,whatever");
    EXPECT_EQ(Text("pQuerySyntax"), "ERODE - 1 integer(s), 0 double(s)");
    EXPECT_TRUE(Reported("ERODE - 1 integer(s), 0 double(s)", 0));
    component.Property("pQuerySyntax").Set("blur");
    EXPECT_EQ(Text("pQuerySyntax"), "Syntax : Unknown IPL function");

    EXPECT_FALSE(component.SetOperation("sharpen"));
    EXPECT_EQ(component.selectedOperation, -1);
    EXPECT_EQ(component.status, 1u);
    EXPECT_TRUE(Reported("Unkown operation type. Operation aborted...", 1));
}

TEST_F(OneSourceImageProcessing, ANewInstanceStartsWithTheFirstOperationWithoutParameters) {
    EXPECT_EQ(Text("pOperation"), "Copy");
    EXPECT_EQ(component.status, 0u);

    static constexpr TARNImageProcessing1Src1DestDefinition allTakeParameters[] = {
        {1, "Scale", 0, 1, nullptr, false, 0}, {2, "Shift", 1, 0, nullptr, false, 0}, {}};
    ImageOperationTestComponent other("other", allTakeParameters);
    other.CallDynamic();
    TARNStackedString<40> operation;
    other.Property("pOperation").Get(operation);
    EXPECT_STREQ(operation.c_str(), "Scale");
    EXPECT_EQ(other.status, 2u) << "nothing is written until the parameters are given";
}

TEST_F(OneSourceImageProcessing, RegionsAreParsedRefusedAndRemoved) {
    component.Property("pInputROI").Set("10;20;100;50");
    ASSERT_NE(component.inputROI, nullptr);
    EXPECT_EQ(component.inputROI->xOffset, 10);
    EXPECT_EQ(component.inputROI->yOffset, 20);
    EXPECT_EQ(component.inputROI->width, 100);
    EXPECT_EQ(component.inputROI->height, 50);
    EXPECT_EQ(component.inputROI->coi, 0);

    EXPECT_FALSE(component.SetROI(&component.inputROI, "1;2;3"));
    EXPECT_TRUE(Reported("Invalid ROI...", 1));
    EXPECT_EQ(component.inputROI->width, 100) << "a refused region leaves the old one";

    component.Property("pInputROI").Set("");
    EXPECT_EQ(component.inputROI, nullptr);
}

TEST_F(OneSourceImageProcessing, ARegionNeedingOperationRefusesParametersUntilTheRegionIsSet) {
    ASSERT_TRUE(component.SetOperation("RegionAdd"));
    EXPECT_FALSE(component.SetParameters("4"));
    EXPECT_TRUE(Reported("This operation needs a ROI. Please specify the ROI first...", 1));
    component.SetROI(&component.inputROI, "0;0;2;2");
    EXPECT_TRUE(component.SetParameters("4"));
}

// ---- Processing -----------------------------------------------------------------------

TEST_F(OneSourceImageProcessing, AnImageIsProcessedAndStampedWithTheInputsTimestamp) {
    TARNOutput& images = Feed(source.ImageOutput("image", 5, 3), "iImage");
    component.Property("pOperation").Set("ERODE");
    component.Property("pParameters").Set("2");
    stepper.Begin();
    source.WriteImage(images, 10, 1234);
    ASSERT_EQ(stepper.Pass(), 0);

    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].timestamp, 1234);
    EXPECT_EQ(records[0].width, 5);
    EXPECT_EQ(records[0].height, 3);
    EXPECT_EQ(records[0].widthStep, 8) << "rows aligned to 8 bytes";
    EXPECT_EQ(records[0].bytes[0], 12);
    EXPECT_GE(Integer("rProcessingTime"), 0);

    component.succeed = false;
    source.WriteImage(images, 10, 2000);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(sink.Count(), 1u) << "a failed operation publishes nothing";
    EXPECT_EQ(Integer("rProcessingTime"), -1);
}

TEST_F(OneSourceImageProcessing, ClicksKeepTheNewestPointsAndCompleteOnesReprocess) {
    TARNOutput& images = Feed(source.ImageOutput("image", 4, 4), "iImage");
    TARNOutput& points = Feed(source.VectorOutput("points", IntegerVector, 2), "iPoint");
    component.Property("pOperation").Set("Clicks");
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    const std::size_t afterImage = component.Calls().size();

    for (int v : {1, 2, 3}) {
        source.WriteIntegers(points, {v, v});
        ASSERT_EQ(stepper.Pass(), 0);
    }
    EXPECT_EQ(Text("pClicks"), "2,2;3,3");
    const auto calls = component.Calls();
    ASSERT_EQ(calls.size(), afterImage + 2) << "the second and third points complete the clicks";
    ASSERT_EQ(calls.back().clicks.size(), 2u);
    EXPECT_EQ(calls.back().clicks[0].x, 2);
    EXPECT_EQ(calls.back().clicks[1].y, 3);
}

TEST_F(OneSourceImageProcessing, APointWithFewerThanTwoValuesIsRefused) {
    TARNOutput& points = Feed(source.VectorOutput("points", IntegerVector, 2), "iPoint");
    component.Property("pOperation").Set("Clicks");
    component.Property("pClicks").Set("7,8");
    stepper.Begin();
    source.WriteIntegers(points, {5});
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_TRUE(Reported("Invalid point: x and y expected", 1));
    EXPECT_EQ(Text("pClicks"), "7,8");
}

TEST_F(OneSourceImageProcessing, RegionVectorsSetOrRemoveTheOutputRegion) {
    TARNOutput& regions = Feed(source.VectorOutput("regions", IntegerVector, 5), "iOutputROI");
    stepper.Begin();
    source.WriteIntegers(regions, {1, 1, 2, 2});
    ASSERT_EQ(stepper.Pass(), 0);
    ASSERT_NE(component.outputROI, nullptr);
    EXPECT_EQ(component.outputROI->coi, 0);
    EXPECT_EQ(Text("pOutputROI"), "1;1;2;2;0");

    source.WriteIntegers(regions, {1, 1, 2});
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(component.outputROI, nullptr);
    EXPECT_EQ(Text("pOutputROI"), "");
}

TEST_F(OneSourceImageProcessing, AnOutputRegionPastTheImageGivesNoOutput) {
    TARNOutput& images = Feed(source.ImageOutput("image", 4, 4), "iImage");
    component.Property("pOutputROI").Set("2;2;3;1");
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_TRUE(Reported("Incorrect output ROI", 1));
    EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(OneSourceImageProcessing, ClearingOutsideAWholeImageRegionClearsOnlyTheRowPadding) {
    TARNOutput& images = Feed(source.ImageOutput("image", 5, 2), "iImage");
    component.Property("pOutputROI").Set("0;0;5;2");
    component.Property("pClearOutputImagesOutOfROI").Set(true);
    stepper.Begin();
    source.WriteImage(images, 9, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    const std::vector<unsigned char> row = {9, 9, 9, 9, 9, 0, 0, 0};
    EXPECT_EQ(std::vector<unsigned char>(records[0].bytes.begin(), records[0].bytes.begin() + 8), row);
    EXPECT_EQ(std::vector<unsigned char>(records[0].bytes.begin() + 8, records[0].bytes.end()), row);
}

TEST_F(OneSourceImageProcessing, CroppingShrinksTheOutputToItsRegion) {
    TARNOutput& images = Feed(source.ImageOutput("image", 8, 4), "iImage");
    component.Property("pOutputROI").Set("2;1;3;2");
    component.Property("pCrop").Set(true);
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 3);
    EXPECT_EQ(records[0].height, 2);
    EXPECT_EQ(records[0].widthStep, 8);
}

TEST_F(OneSourceImageProcessing, DestinationSizeComesFromTheOutputRegion) {
    TARNOutput& images = Feed(source.ImageOutput("image", 8, 8), "iImage");
    component.Property("pOutputROI").Set("0;0;3;2");
    component.Property("pSpecifyDestinationSize").Set(true);
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 3);
    EXPECT_EQ(records[0].height, 2);
}

TEST_F(OneSourceImageProcessing, ChangingParametersWhileRunningReprocessesTheLastImage) {
    TARNOutput& images = Feed(source.ImageOutput("image", 4, 2), "iImage");
    component.Property("pOperation").Set("ERODE");
    component.Property("pParameters").Set("1");
    stepper.Begin();
    source.WriteImage(images, 10, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    component.Property("pParameters").Set("5");
    ASSERT_EQ(stepper.Pass(), 0) << "woken by the re-process event, not by an image";
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].bytes[0], 15);
    EXPECT_EQ(records[1].timestamp, 100);
}

TEST_F(OneSourceImageProcessing, SkippedImagesAreReportedAtTheFirstAndEveryTenth) {
    TARNOutput& images = Feed(source.ImageOutput("image", 2, 2, "GRAY", 16), "iImage");
    stepper.Begin();
    for (int i = 0; i < 11; ++i) source.WriteImage(images, 1, 100 + i);
    for (int i = 0; i < 11; ++i) ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_TRUE(Reported("1 frames skipped by the Last Or Next Reader", 1));
    EXPECT_FALSE(Reported("2 frames skipped by the Last Or Next Reader", 1));
    EXPECT_TRUE(Reported("10 frames skipped by the Last Or Next Reader", 1));
    ASSERT_EQ(sink.Count(), 1u);
    EXPECT_EQ(sink.Records()[0].timestamp, 110) << "only the newest image is processed";
}

TEST_F(OneSourceImageProcessing, SkippedImagesAreCountedSinceTheLastBirth) {
    TARNOutput& images = Feed(source.ImageOutput("image", 2, 2, "GRAY", 16), "iImage");
    for (long run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(stepper.Begin(), 0);
        source.WriteImage(images, 1, 100 + 2 * run);
        source.WriteImage(images, 1, 101 + 2 * run);
        ASSERT_EQ(stepper.Pass(), 0);  // skips the image it took: another waits
        stepper.Finish();
    }
    EXPECT_EQ(CountReported("1 frames skipped by the Last Or Next Reader", 1), 2);
}

// ---- Faults ---------------------------------------------------------------------------

// Reading the skipped image gave back the image held before: re-processing must use the
// skipped one the input still holds, never the one given back.
TEST_F(OneSourceImageProcessing, ASkippedImageBecomesTheLastImageForReprocessing) {
    TARNOutput& images = Feed(source.ImageOutput("image", 2, 2, "GRAY", 3), "iImage");
    TARNOutput& regions = Feed(source.VectorOutput("regions", IntegerVector, 5), "iInputROI");
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    source.WriteImage(images, 2, 200);
    source.WriteImage(images, 3, 300);
    ASSERT_EQ(stepper.Pass(), 0);  // takes 200 and skips it: 300 waits
    source.WriteIntegers(regions, {});
    ASSERT_EQ(stepper.Pass(), 0);  // the region input comes first and re-processes
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].timestamp, 200);
    EXPECT_EQ(records[1].bytes[0], 2);
}

// A change made while the operation runs must not be lost: the next pass re-applies it.
TEST_F(OneSourceImageProcessing, AChangeDuringProcessingIsReappliedByTheNextPass) {
    TARNOutput& images = Feed(source.ImageOutput("image", 2, 2), "iImage");
    stepper.Begin();
    bool changed = false;
    component.duringOperation = [&] {
        if (changed) return;
        changed = true;
        component.Property("pCrop").Set(false);
    };
    source.WriteImage(images, 1, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    stepper.RunInThread();
    EXPECT_TRUE(sink.AwaitCount(2, 2'000'000)) << "the change made during the operation was dropped";
}

// A first frame that fails before the buffers exist keeps the first-frame flag: the next
// image builds the model, never writing through an output without buffers.
TEST_F(OneSourceImageProcessing, AFailedFirstFrameIsTriedAgainWithTheNextImage) {
    TARNOutput& images = Feed(source.ImageOutput("image", 8, 8), "iImage");
    component.Property("pSpecifyDestinationSize").Set(true);
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    EXPECT_EQ(stepper.Pass(), -5);
    EXPECT_TRUE(Reported("Asking for destination size specification means that output ROI are initialized before "
                         "instantiation (via pOutputROI property).",
                         2));
    component.Property("pOutputROI").Set("0;0;4;3");
    source.WriteImage(images, 2, 200);
    ASSERT_EQ(stepper.Pass(), 0);
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].width, 4);
    EXPECT_EQ(records[0].height, 3);
}

// A destination size no IPL header can hold is the module's error, never a foreign
// exception out of Core nor a sum that wraps round; the next image tries again.
struct DestinationCase {
    const char* region;
    const char* size;
};

class DestinationSizeTest : public OneSourceImageProcessing, public ::testing::WithParamInterface<DestinationCase> {};

TEST_P(DestinationSizeTest, ASizeNoImageCanHaveIsTheModulesError) {
    TARNOutput& images = Feed(source.ImageOutput("image", 4, 4), "iImage");
    component.Property("pOutputROI").Set(GetParam().region);
    component.Property("pSpecifyDestinationSize").Set(true);
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    EXPECT_EQ(stepper.Pass(), -5);
    EXPECT_TRUE(Reported(std::string("Can't build an output image model of ") + GetParam().size + " pixels.", 2));
    EXPECT_EQ(sink.Count(), 0u);

    component.Property("pOutputROI").Set("0;0;2;2");
    source.WriteImage(images, 2, 200);
    ASSERT_EQ(stepper.Pass(), 0);
    EXPECT_EQ(sink.Count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Regions, DestinationSizeTest,
                         ::testing::Values(DestinationCase{"0;0;-5;-5", "-5 x -5"},
                                           DestinationCase{"2147483647;0;1;1", "2147483648 x 1"},
                                           DestinationCase{"0;2147483647;1;1", "1 x 2147483648"},
                                           DestinationCase{"0;0;2147483647;1", "2147483647 x 1"}));

TEST_F(OneSourceImageProcessing, AnOutputModelWithoutAlignmentIsRefused) {
    TARNOutput& images = Feed(source.ImageOutput("image", 4, 4), "iImage");
    static const int noAlign = 0;
    component.modelAlign = &noAlign;
    stepper.Begin();
    source.WriteImage(images, 1, 100);
    EXPECT_EQ(stepper.Pass(), -5);
    EXPECT_TRUE(Reported("The output image model needs an align of at least 1.", 2));
    EXPECT_EQ(sink.Count(), 0u);
}

// ---- A derived class with tables of its own --------------------------------------------

// "offset", a property of its own table, is added to every byte of the copied image.
class OffsetComponent : public TARNImageProcessing1Src1Dest {
  public:
    static constexpr Definition Operations[] = {
        {1, "Offset", 0, 0, nullptr, false, 0},
        {0, nullptr, 0, 0, nullptr, false, 0},
    };
    explicit OffsetComponent(const char* instanceName)
        : TARNImageProcessing1Src1Dest(instanceName, Model()) {}

    static TARNComponentDefinition& Model() {
        static TARNPropertyDefinition properties[] = {
            {"offset", new TARNPropertyValue(0.0), nullptr, false, true},
            {},
        };
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "offsetTest";
            definition.version = "1.0";
            definition.nbProperties = 1;
            definition.properties = properties;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }
    const Definition* GetOperationsDefinition() override { return Operations; }
    bool ApplyOperation(_IplImage* input, _IplImage* output, const Definition*, Parameters*) override {
        double offset = 0;
        Get(Property("offset"), offset);
        CopyImage(*input, *output, static_cast<int>(offset));
        return true;
    }
};

using OwnTablesImageProcessing = ImageProcessingTest<OffsetComponent>;

// Its own properties come before the base's, and setting one while it runs applies it to
// the last image at once, as the base's settings do.
TEST_F(OwnTablesImageProcessing, ItsOwnPropertiesComeFirstAndAChangeWhileRunningReprocesses) {
    EXPECT_STREQ(component.Property(0).ShortName().c_str(), "offset");
    EXPECT_STREQ(component.Property(1).ShortName().c_str(), "pOperation");
    TARNOutput& images = Feed(source.ImageOutput("image", 4, 2), "iImage");
    stepper.Begin();
    source.WriteImage(images, 10, 100);
    ASSERT_EQ(stepper.Pass(), 0);
    component.Set(component.Property("offset"), 2.0);
    ASSERT_EQ(stepper.Pass(), 0) << "woken by the re-process event, not by an image";
    const auto records = sink.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].bytes[0], 10);
    EXPECT_EQ(records[1].bytes[0], 12);
    EXPECT_EQ(records[1].timestamp, 100);
}

}  // namespace
