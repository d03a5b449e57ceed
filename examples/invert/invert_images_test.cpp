// The invert package tested as an author without the decoder tests it: loaded into a host
// graph between an image source and an image sink of the test's own, image source -> invert
// -> image sink, with every sample that comes out checked against the one that went in.
// The docs/writing-a-component.md test section is this file, block by block.
//
// The package tested is the one this tree builds, or the one INVERT_PACKAGE names: the
// example built on its own as its author builds it (scripts/outside-example).
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "tarn/tarn.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a run may take before the test gives up
constexpr long Period = 40'000;        // microseconds between the source's timestamps
constexpr int Images = 3;
// Rows of 30 samples, laid out at a row step of 32 bytes: the sink reads row by row.
constexpr int Width = 30;
constexpr int Height = 4;

std::string InvertPackage() {
    const char* named = std::getenv("INVERT_PACKAGE");
    return named != nullptr && *named != '\0' ? named : INVERT_PACKAGE_BUILT;
}

// The sample at (x, y) of the source's image `image`: every byte value turns up.
unsigned char SourceSample(int image, int x, int y) {
    return static_cast<unsigned char>(37 * ((image * Height + y) * Width + x));
}

// Writes Images grey images of 8 bits per sample, the i-th stamped (i + 1) x Period, then
// waits for its stop.
class ImageSource : public TARNComponent {
  public:
    ImageSource(const char* instanceName, TARNComponentDefinition& record)
        : TARNComponent(instanceName, record) {}

    // Every run lays its output out anew: the stop that ended the last run freed its buffers.
    void Birth() override {
        Output("images").AllocOutputBufferIplImage(TARN::IplImageModel(Width, Height, "GRAY", 0, 8, 8), false);
        written = 0;
    }

    void Core() override {
        if (written == Images) {
            // Nothing more to write: the wait ends when the component is stopped (57005).
            Wait4Event(nullptr, -1);
            return;
        }
        TARNIOElt* element = StartWriting(Output("images"), (written + 1) * Period);
        if (element == nullptr) return;
        _IplImage* image = element->IplImage();
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                image->imageData[y * image->widthStep + x] = static_cast<char>(SourceSample(written, x, y));
        StopWriting(element);
        ++written;
    }

  private:
    int written = 0;
};

// What the sink took of one image: its header's size and format, and its samples row after
// row, without the rows' padding.
struct TakenImage {
    long timestamp;
    int width, height, channels, depth;
    std::vector<unsigned char> samples;
};

// Keeps every image it reads.
class ImageKeeper : public TARNComponent {
  public:
    ImageKeeper(const char* instanceName, TARNComponentDefinition& record)
        : TARNComponent(instanceName, record) {}

    void Core() override {
        TARNIOElt* element = StartReading(Input("in"));
        if (element == nullptr) return;
        TakenImage kept{element->Timestamp(), 0, 0, 0, 0, {}};
        // Null when the writer did not lay its output out in this run: kept as no image.
        if (const _IplImage* image = element->IplImage()) {
            kept = {element->Timestamp(), image->width, image->height, image->nChannels, image->depth, {}};
            const int rowBytes = image->width * image->nChannels;
            for (int y = 0; y < image->height; ++y) {
                const char* row = image->imageData + y * image->widthStep;
                kept.samples.insert(kept.samples.end(), row, row + rowBytes);
            }
        }
        std::lock_guard lock(mutex);
        taken.push_back(std::move(kept));
    }

    // From the test's thread.
    std::vector<TakenImage> Taken() {
        std::lock_guard lock(mutex);
        return taken;
    }

  private:
    std::mutex mutex;
    std::vector<TakenImage> taken;
};

TARNModuleBase* MakeImageSource(const char* instanceName, TARNComponentDefinition& record) {
    return new ImageSource(instanceName, record);
}

TARNModuleBase* MakeImageKeeper(const char* instanceName, TARNComponentDefinition& record) {
    return new ImageKeeper(instanceName, record);
}

// Element size 1: an output of one image per element, which the source lays out itself.
TARNOutputDefinition sourceOutputs[] = {{"images", 0, TARNTypeInfo(TARNTypeInfo::IplImage), 1, 4, 1, 0}, {}};
// IPL images only; the source waits for the sink rather than overwrite an image not yet read.
TARNInputDefinition keeperInputs[] = {{"in", nullptr, &TARN::FilterIplImage, NeverSkippingReader, 1}, {}};

TARNComponentDefinition TestModel(const char* name, TARNComponentDefinition::Factory factory,
                                  TARNInputDefinition* inputs, TARNOutputDefinition* outputs) {
    TARNComponentDefinition record{};
    record.name = name;
    record.version = "1.0";
    record.factory = factory;
    record.nbInputs = inputs != nullptr ? TARNComponentDefinition::NotCounted : 0;
    record.inputs = inputs;
    record.nbOutputs = outputs != nullptr ? TARNComponentDefinition::NotCounted : 0;
    record.outputs = outputs;
    record.priority = 128;
    record.threadingModels = TARNComponentDefinition::Threaded;
    record.threaded = true;
    return record;
}

TARNComponentDefinition sourceModel = TestModel("image_source", MakeImageSource, nullptr, sourceOutputs);
TARNComponentDefinition keeperModel = TestModel("image_keeper", MakeImageKeeper, keeperInputs, nullptr);

// The package between the test's source and sink: source -> invert -> keeper. Every image
// reaches the sink: invert's "pLastOrNextReader" would skip an image whenever the next one
// already waits, and its input, never skipping, makes the source wait for it.
class InvertOnImages : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(graph.LoadPackage(InvertPackage(), error)) << error;
        ASSERT_TRUE(graph.AddModel(sourceModel));
        ASSERT_TRUE(graph.AddModel(keeperModel));
        ASSERT_TRUE(graph.Create("image_source", "source"));
        ASSERT_TRUE(graph.Create("invert", "invert"));
        ASSERT_TRUE(graph.Create("image_keeper", "keeper"));
        ASSERT_TRUE(graph.Set("invert.pLastOrNextReader", "false"));
        ASSERT_TRUE(graph.Set("invert.iImage.readerType", "1"));
        ASSERT_TRUE(graph.Connect("source.images", "invert.iImage"));
        ASSERT_TRUE(graph.Connect("invert.oImage", "keeper.in"));
    }

    // One run: started, until the keeper holds `images` images in all, stopped. Its failures
    // are fatal to the helper alone: a test calls it in ASSERT_NO_FATAL_FAILURE.
    void Run(size_t images) {
        ASSERT_TRUE(graph.Start());
        auto* keeper = graph.Component<ImageKeeper>("keeper");
        const bool done = graph.RunUntil([&] { return keeper->Taken().size() == images; }, Deadline);
        graph.Stop();
        ASSERT_TRUE(done) << keeper->Taken().size() << " of " << images << " images in " << Deadline << " us";
    }

    // Every image taken is the source's image of its run, each sample inverted.
    void ExpectEveryImageInverted() {
        const std::vector<TakenImage> taken = graph.Component<ImageKeeper>("keeper")->Taken();
        for (size_t i = 0; i < taken.size(); ++i) {
            SCOPED_TRACE("image " + std::to_string(i));
            const int image = static_cast<int>(i % Images);
            EXPECT_EQ(taken[i].timestamp, (image + 1) * Period);
            ASSERT_EQ(taken[i].width, Width);
            ASSERT_EQ(taken[i].height, Height);
            ASSERT_EQ(taken[i].channels, 1);
            ASSERT_EQ(taken[i].depth, 8);
            for (int y = 0; y < Height; ++y)
                for (int x = 0; x < Width; ++x)
                    ASSERT_EQ(taken[i].samples[y * Width + x], 255 - SourceSample(image, x, y))
                        << "at (" << x << ", " << y << ")";
        }
        // The bench is quiet: no warning, no error, from the host or any component.
        for (const HostReport& report : recorder.Reports()) EXPECT_LT(report.level, 1) << report.message;
    }

    HostKernel kernel;
    HostRecorder recorder{kernel};
    HostGraph graph{kernel};
};

TEST_F(InvertOnImages, EverySampleComesOutInverted) {
    ASSERT_NO_FATAL_FAILURE(Run(Images));
    ExpectEveryImageInverted();
}

// A stop frees every output's buffers: the second run works only because the source and
// invert's base lay their outputs out again in it.
TEST_F(InvertOnImages, ASecondRunInvertsAsTheFirst) {
    ASSERT_NO_FATAL_FAILURE(Run(Images));
    ASSERT_NO_FATAL_FAILURE(Run(2 * Images));
    ExpectEveryImageInverted();
}

}  // namespace
