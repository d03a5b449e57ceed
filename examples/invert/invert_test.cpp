// The invert package tested as its author tests it: loaded beside the decoder package into a
// host graph, capture source -> decoder -> invert -> image sink, with every pixel the sink
// wrote checked against the reference decoding of the capture, inverted. And what "tarnhost
// info" shows of the package: its model's elements, with types and defaults, and its trailer.
//
// The package tested is the one this tree builds, or the one INVERT_PACKAGE names: the
// example built on its own as its author builds it (scripts/outside-example).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "capture_source.hpp"
#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "image_files.hpp"
#include "image_sink.hpp"
#include "info_command.hpp"
#include "support/capture_writer.hpp"
#include "support/reference_decoder.hpp"
#include "support/temp_folder_fixture.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a run may take before the test gives up
constexpr int Frames = 3;

std::string InvertPackage() {
    const char* named = std::getenv("INVERT_PACKAGE");
    return named != nullptr && *named != '\0' ? named : INVERT_PACKAGE_BUILT;
}

struct InvertCase {
    const char* name;
    uint8_t dataType;
    // The decoder's settings beyond the data type.
    std::vector<std::pair<std::string, std::string>> decoderSettings;
    const char* operation;
    const char* parameters;
    int threshold;  // samples below it stay as they are
    bool limitTo8;
    unsigned shift;
};

void PrintTo(const InvertCase& c, std::ostream* out) {
    *out << c.name;
}

const char* FormatChoice(uint8_t type) {
    switch (type) {
        case capture::type::kRaw8:
            return "0x2a_RAW8";
        case capture::type::kRgb888:
            return "0x24_RGB888";
        default:
            return "0x2c_RAW12";
    }
}

const InvertCase Cases[] = {
    {"GreyImages", capture::type::kRaw8, {}, "Invert", "", 0, false, 0},
    {"ColourImages", capture::type::kRgb888, {}, "Invert", "", 0, false, 0},
    {"TwelveBitImagesCutTo8",
     capture::type::kRaw12,
     {{"limit_depth_to_8", "true"}, {"limit_depth_to_8_Bitshift", "4"}},
     "Invert",
     "",
     0,
     true,
     4},
    {"OnlyTheBrightSamples", capture::type::kRaw8, {}, "InvertAbove", "128", 128, false, 0},
};

class InvertInGraph : public TempFolderTest, public ::testing::WithParamInterface<InvertCase> {
  protected:
    HostKernel kernel;
    HostRecorder recorder{kernel};
};

TEST_P(InvertInGraph, EveryPixelComesOutInverted) {
    const InvertCase& c = GetParam();
    // Random samples: every byte value turns up.
    std::vector<capture::CaptureFrame> frames;
    std::vector<std::vector<uint8_t>> bytes;
    for (unsigned i = 0; i < Frames; ++i) {
        capture::FrameSpec spec;
        spec.dataType = c.dataType;
        spec.width = 64;
        spec.height = 6;
        spec.seed = i + 1;
        frames.push_back(capture::WriteFrame(spec));
        bytes.push_back(frames.back().bytes);
    }
    capture::WriteCapture(Path("capture.bin"), bytes);

    HostGraph graph(kernel);
    std::string error;
    ASSERT_TRUE(graph.LoadPackage(PIXTRACT_CPU_PATH, error)) << error;
    ASSERT_TRUE(graph.LoadPackage(InvertPackage(), error)) << error;
    ASSERT_TRUE(graph.AddModel(CaptureSource::Definition()));
    ASSERT_TRUE(graph.AddModel(ImageSink::Definition()));
    ASSERT_TRUE(graph.Create(CaptureSource::Model, "camera"));
    ASSERT_TRUE(graph.Create("csi2ipl_cpu", "decoder"));
    ASSERT_TRUE(graph.Create("invert", "invert"));
    ASSERT_TRUE(graph.Create(ImageSink::Model, "sink"));

    ASSERT_TRUE(graph.Set("camera.path", Path("capture.bin")));
    ASSERT_TRUE(graph.Set("decoder.skip_first_frames", "false"));
    ASSERT_TRUE(graph.Set("decoder.CSI2_Dataformat", FormatChoice(c.dataType)));
    for (const auto& [property, value] : c.decoderSettings)
        ASSERT_TRUE(graph.Set("decoder." + property, value));
    // The parameters first: an operation that takes some, once selected, parses what
    // "pParameters" holds then, and would warn of an empty text.
    ASSERT_TRUE(graph.Set("invert.pParameters", c.parameters));
    ASSERT_TRUE(graph.Set("invert.pOperation", c.operation));
    // Every image, none skipped: the writers wait for their readers.
    ASSERT_TRUE(graph.Set("invert.pLastOrNextReader", "false"));
    ASSERT_TRUE(graph.Set("decoder.raw_image.readerType", "1"));
    ASSERT_TRUE(graph.Set("invert.iImage.readerType", "1"));
    // A folder that is not there yet: the sink makes it.
    ASSERT_TRUE(graph.Set("sink.raw_folder", Path("out/raw")));

    ASSERT_TRUE(graph.Connect("camera.frames", "decoder.raw_image"));
    ASSERT_TRUE(graph.Connect("decoder.ipl_image", "invert.iImage"));
    ASSERT_TRUE(graph.Connect("invert.oImage", "sink.images"));
    ASSERT_TRUE(graph.Start());
    auto* sink = graph.Component<ImageSink>("sink");
    const bool done = graph.RunUntil([&] { return sink->received.load() == Frames; }, Deadline);
    graph.Stop();
    ASSERT_TRUE(done) << sink->received.load() << " of " << Frames << " images in " << Deadline << " us";

    for (int i = 0; i < Frames; ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        const reference::Image decoded =
            reference::Decode(frames[i].bytes, frames[i].lines, c.dataType, c.limitTo8, c.shift);
        ASSERT_EQ(decoded.depth, 8u);
        const std::string written = Content("out/raw/" + ImageFileName(i, ".raw"));
        ASSERT_EQ(written.size(), decoded.samples.size());
        for (size_t s = 0; s < written.size(); ++s) {
            const uint32_t sample = decoded.samples[s];
            const uint32_t expected = static_cast<int>(sample) >= c.threshold ? 255 - sample : sample;
            ASSERT_EQ(static_cast<uint8_t>(written[s]), expected) << "sample " << s << " of " << sample;
        }
    }
    // The bench is quiet: no warning, no error, from the host or any component.
    for (const HostReport& report : recorder.Reports()) EXPECT_LT(report.level, 1) << report.message;
}

INSTANTIATE_TEST_SUITE_P(Operations, InvertInGraph, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// What a user of the package learns from "tarnhost info": the model with the base's
// elements (declared in Dynamic(), so not in the model's tables), each property with its
// type and default, and the trailer with the package's own texts.
TEST(InvertPackage, InfoShowsTheModelsElementsWithTypesAndDefaults) {
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(InvertPackage(), out, err), 0) << err.str();
    const std::string expected =
        "models: 1\n"
        "  invert 1.0 (group TARNComponent)\n"
        "    input iImage: FilterIplImage\n"
        "    input iInputROI: FilterIntegers32\n"
        "    input iOutputROI: FilterIntegers32\n"
        "    input iPoint: FilterIntegers32\n"
        "    output oImage: IplImage\n"
        "    property pOperation: text = \"Invert\", changeable while running\n"
        "    property pParameters: text = \"\", changeable while running\n"
        "    property pInputROI: text = \"\", changeable while running\n"
        "    property pOutputROI: text = \"\", changeable while running\n"
        "    property pClicks: text = \"\", changeable while running\n"
        "    property pQuerySyntax: text = \"\", changeable while running\n"
        "    property pSpecifyDestinationSize: bool = false, changeable while running\n"
        "    property pCrop: bool = false, changeable while running\n"
        "    property pClearOutputImagesOutOfROI: bool = false, changeable while running\n"
        "    property pClearOutputImagesInsideROI: bool = false, changeable while running\n"
        "    property pLastOrNextReader: bool = true, changeable while running\n"
        "    property rProcessingTime: integer = -1, read-only\n"
        "trailer: ";
    EXPECT_NE(out.str().find(expected), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  FILENAME=invert.pck\n  OS=ubuntu1804\n  ARCH=x86_64\n  VERSION=1.0.0\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("  DESCRIPTION=Inverts the samples of 8-bit images\n"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("digest: matches\n"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "");
}

}  // namespace
