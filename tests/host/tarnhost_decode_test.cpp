// "tarnhost decode" run as a user runs it: every way the command cannot run ends in one
// line and status 1 before anything is decoded; with the real package's decoder, captures
// of the capture writer come out as the reference decoder says, byte for byte, and as PNG
// files that read back.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/capture_writer.hpp"
#include "support/reference_decoder.hpp"
#include "support/tarnhost_decode_fixture.hpp"

namespace {

const std::string Usage =
    " (usage: tarnhost decode CAPTURE [--package PCK] [--set PROPERTY=VALUE]... [--out DIR] [--raw DIR] "
    "[--overwrite] [--limit N] [--verbose])\n";

using TarnhostDecode = TarnhostDecodeTest;

TEST_F(TarnhostDecode, WhatCannotRunIsOneLineAndStatusOne) {
    std::filesystem::create_directory(Path("folder"));
    MakeFile("text.pck", "hello, no package\n");
    MakeFile("empty.bin", "");
    // Nobody writes into it: opening it to read would wait for a writer for ever.
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"no capture", {}, "tarnhost: decode needs a capture file" + Usage},
        {"two captures",
         {"capture.bin", "other.bin"},
         "tarnhost: unexpected argument \"other.bin\": decode takes one capture" + Usage},
        {"unknown option", {"capture.bin", "--fast"}, "tarnhost: unknown option \"--fast\"" + Usage},
        {"option without its value", {"capture.bin", "--out"}, "tarnhost: --out needs a value" + Usage},
        {"empty value", {"capture.bin", "--raw="}, "tarnhost: --raw needs a value" + Usage},
        {"value of a switch",
         {"capture.bin", "--overwrite=yes"},
         "tarnhost: --overwrite takes no value" + Usage},
        {"setting without a value",
         {"capture.bin", "--set", "skip_first_frames"},
         "tarnhost: --set takes PROPERTY=VALUE, not \"skip_first_frames\"" + Usage},
        {"setting without a name",
         {"capture.bin", "--set", "=true"},
         "tarnhost: --set takes PROPERTY=VALUE, not \"=true\"" + Usage},
        {"limit 0",
         {"capture.bin", "--limit", "0"},
         "tarnhost: --limit takes a number of frames above 0, not \"0\"" + Usage},
        {"negative limit",
         {"capture.bin", "--limit=-3"},
         "tarnhost: --limit takes a number of frames above 0, not \"-3\"" + Usage},
        {"limit in words",
         {"capture.bin", "--limit", "ten"},
         "tarnhost: --limit takes a number of frames above 0, not \"ten\"" + Usage},
        {"limit too large",
         {"capture.bin", "--limit", "99999999999999999999"},
         "tarnhost: --limit 99999999999999999999 is too large: at most 9223372036854775807 frames" + Usage},
        {"value of the other switch",
         {"capture.bin", "--verbose=1"},
         "tarnhost: --verbose takes no value" + Usage},
        {"missing capture",
         {"missing.bin"},
         "tarnhost: cannot read capture missing.bin: No such file or directory\n"},
        {"capture that is a folder",
         {"folder"},
         "tarnhost: cannot read capture folder: not a regular file\n"},
        {"capture that is a FIFO", {"pipe"}, "tarnhost: cannot read capture pipe: not a regular file\n"},
        {"capture that is a device",
         {"/dev/zero"},
         "tarnhost: cannot read capture /dev/zero: not a regular file\n"},
        {"empty capture", {"empty.bin"}, "tarnhost: capture empty.bin holds no frame: the file is empty\n"},
        {"capture that is no capture",
         {"text.pck"},
         "tarnhost: capture text.pck holds no frame: frame 0 at byte 0 is truncated: it announces 1819043176 "
         "bytes, the file holds 18\n"},
        {"package that is text",
         {"capture.bin", "--package", "text.pck"},
         "tarnhost: cannot load text.pck: not an ELF file\n"},
        {"package that is a FIFO",
         {"capture.bin", "--package", "pipe"},
         "tarnhost: cannot load pipe: not a regular file\n"},
        {"package without a decoder",
         {"capture.bin", "--package", TARN_TEST_PACKAGE},
         "tarnhost: " + std::string(TARN_TEST_PACKAGE) +
             " defines no decoder model (csi2ipl_cpu or csi2ipl_gpu)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectOneLineOfRefusal(Decode(c.arguments, {}, std::chrono::seconds(20)), c.line);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("out")));
}

// What a newcomer needs first: a short capture gives no image unless the decoder is told to
// keep the first frames.
TEST_F(TarnhostDecode, HelpSaysTheFirstFramesAreSkippedAndHowToKeepThem) {
    const ProgramOutcome outcome = Decode({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(
        outcome.out.find("The decoder skips the first 10 frames of a run unless told otherwise: a capture of "
                         "10 frames\nor fewer then gives no image. --set skip_first_frames=false keeps every "
                         "frame.\n"),
        std::string::npos)
        << outcome.out;
}

TEST_F(TarnhostDecode, APackageThatIsMissingIsOneLine) {
    const ProgramOutcome outcome = Decode({"capture.bin", "--package", "missing.pck"});
    ASSERT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.rfind("tarnhost: cannot load missing.pck: ", 0), 0u) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
}

#ifdef PIXTRACT_CPU_PATH
// Without --package the package of tarnhost's own build decodes.
TEST_F(TarnhostDecode, ThePackageOfItsOwnBuildIsTheDefault) {
    const ProgramOutcome outcome = Decode({"capture.bin", "--set", "skip_first_frames=false"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("frames read: 1\nimages published: 1\n"), std::string::npos) << outcome.out;
}

TEST_F(TarnhostDecode, ASettingTheDecoderDoesNotTakeIsOneLine) {
    struct Case {
        std::string setting;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"frame_rate=30", "tarnhost: the decoder (csi2ipl_cpu) has no property \"frame_rate\"\n"},
        {"limit_depth_to_8=maybe",
         "tarnhost: the decoder refuses limit_depth_to_8=maybe: it takes true or false\n"},
        {"limit_depth_to_8_Bitshift=13",
         "tarnhost: the decoder refuses limit_depth_to_8_Bitshift=13: it takes one of "
         "0|1|2|3|4|5|6|7|8|9|10|11|12\n"},
        {"decoding_implementation=GPU",
         "tarnhost: the decoder refuses decoding_implementation=GPU: it takes one of CPU|CPU_LEGACY\n"},
        // The SDK reports the refusal and keeps the previous reader: the run must not start.
        {"raw_image.readerType=3",
         "tarnhost: the decoder refuses raw_image.readerType=3: Bad parameter: The input decoder.raw_image "
         "cannot be switched to SamplingReader or Wait4NextReader.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        ExpectOneLineOfRefusal(
            Decode({"capture.bin", "--package", PIXTRACT_CPU_PATH, "--set", c.setting, "--out", "png"}),
            c.line);
        EXPECT_FALSE(std::filesystem::exists(Path("png")));
    }
}

// The raw file of an image: rows of samples, 16-bit ones little-endian.
std::string RawBytes(const reference::Image& image) {
    std::string bytes;
    for (uint32_t sample : image.samples) {
        bytes.push_back(static_cast<char>(sample & 0xFF));
        if (image.depth == 16) bytes.push_back(static_cast<char>(sample >> 8));
    }
    return bytes;
}

struct EndToEndCase {
    const char* name;
    uint8_t type;
    const char* format;  // the value of CSI2_Dataformat
    uint32_t width;
    const char* implementation;
    bool limitTo8;
    unsigned shift;
};

void PrintTo(const EndToEndCase& c, std::ostream* out) {
    *out << c.name;
}

class TarnhostDecodeEndToEnd : public TarnhostDecode, public ::testing::WithParamInterface<EndToEndCase> {};

// Two frames of random lines, decoded with every frame kept: each raw file holds what the
// reference decoder makes of its frame, each PNG file reads back at the image's size, and
// each image has its line.
TEST_P(TarnhostDecodeEndToEnd, ImagesAreTheReferenceDecodersByteForByte) {
    const EndToEndCase& c = GetParam();
    std::vector<capture::CaptureFrame> frames;
    std::vector<std::vector<uint8_t>> bytes;
    for (unsigned seed = 1; seed <= 2; ++seed) {
        capture::FrameSpec spec;
        spec.dataType = c.type;
        spec.width = c.width;
        spec.height = 6;
        spec.seed = seed;
        frames.push_back(capture::WriteFrame(spec));
        bytes.push_back(frames.back().bytes);
    }
    capture::WriteCapture(Path("capture.bin"), bytes);
    const ProgramOutcome outcome =
        Decode({"capture.bin", "--package", PIXTRACT_CPU_PATH, "--set", "skip_first_frames=false", "--set",
                std::string("CSI2_Dataformat=") + c.format, "--set",
                std::string("decoding_implementation=") + c.implementation, "--set",
                std::string("limit_depth_to_8=") + (c.limitTo8 ? "true" : "false"), "--set",
                "limit_depth_to_8_Bitshift=" + std::to_string(c.shift), "--raw", "raw", "--out", "png"});
    ASSERT_EQ(outcome.status, 0) << outcome.err << outcome.out;
    EXPECT_EQ(outcome.err, "");
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const reference::Image expected =
            reference::Decode(frames[i].bytes, frames[i].lines, c.type, c.limitTo8, c.shift);
        char name[24];  // room for any size_t
        std::snprintf(name, sizeof name, "%06zu", i);
        EXPECT_TRUE(Content("raw/" + std::string(name) + ".raw") == RawBytes(expected)) << "raw bytes differ";
        const std::string line =
            "image " + std::to_string(i) + ": " + std::to_string(expected.width) + "x" +
            std::to_string(expected.height) + " depth " + std::to_string(expected.depth) + " channels " +
            std::to_string(expected.channels) + " timestamp " + std::to_string(i == 0 ? 33333 : 66667) + "\n";
        EXPECT_NE(outcome.out.find(line), std::string::npos) << outcome.out;

        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_NE(png_image_begin_read_from_file(&png, Path("png/" + std::string(name) + ".png").c_str()), 0)
            << png.message;
        EXPECT_EQ(png.width, expected.width);
        EXPECT_EQ(png.height, expected.height);
        std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(png));
        EXPECT_NE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr), 0) << png.message;
    }
    EXPECT_NE(outcome.out.find("frames read: 2\nimages published: 2\nframes dropped: 0\n"), std::string::npos)
        << outcome.out;
}

// A capture decoded again gives the same images, whenever the sink reads them: where the
// stream's image changes early (its first frame of another size, or that frame a line
// short), the output laid out for the new image keeps the first one readable. Ten runs of
// each, every frame an image as the reference decoder makes it.
TEST_F(TarnhostDecode, ACaptureWhoseImageChangesGivesTheSameImagesEveryRun) {
    const auto frame = [](uint32_t height, unsigned seed) {
        capture::FrameSpec spec;
        spec.dataType = capture::type::kRaw12;
        spec.width = 80;
        spec.height = height;
        spec.seed = seed;
        return capture::WriteFrame(spec);
    };
    struct Case {
        const char* name;
        std::vector<capture::CaptureFrame> frames;
        std::vector<uint8_t> first;  // the first frame's bytes in the capture
        bool firstComesOutAsItsLinesSay;
    };
    std::vector<Case> cases;
    {
        Case change{"the first frame 80x6, the others 80x8", {}, {}, false};
        for (unsigned i = 0; i < 8; ++i) change.frames.push_back(frame(i == 0 ? 6 : 8, 1 + i));
        change.first = change.frames[0].bytes;
        cases.push_back(change);
        Case lineShort{"the first frame's last line not of the type", {}, {}, true};
        for (unsigned i = 0; i < 8; ++i) lineShort.frames.push_back(frame(6, 1 + i));
        lineShort.first = lineShort.frames[0].bytes;
        lineShort.first[lineShort.frames[0].lines.back().offset + 4] = capture::type::kEmbedded;
        cases.push_back(lineShort);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<uint8_t>> bytes{c.first};
        for (size_t i = 1; i < c.frames.size(); ++i) bytes.push_back(c.frames[i].bytes);
        capture::WriteCapture(Path("capture.bin"), bytes);
        for (int run = 0; run < 10; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            const ProgramOutcome outcome =
                Decode({"capture.bin", "--package", PIXTRACT_CPU_PATH, "--set", "skip_first_frames=false", "--set",
                        "CSI2_Dataformat=0x2c_RAW12", "--raw", "raw", "--overwrite"});
            ASSERT_EQ(outcome.status, 0) << outcome.err << outcome.out;
            EXPECT_NE(outcome.out.find("frames read: 8\nimages published: 8\nframes dropped: 0\n"), std::string::npos)
                << outcome.out;
            for (size_t i = 0; i < c.frames.size(); ++i) {
                SCOPED_TRACE("image " + std::to_string(i));
                std::vector<capture::PacketPlacement> lines = c.frames[i].lines;
                if (i == 0 && c.firstComesOutAsItsLinesSay) lines.pop_back();
                const reference::Image expected =
                    reference::Decode(i == 0 ? c.first : c.frames[i].bytes, lines, capture::type::kRaw12, false, 0);
                char name[24];
                std::snprintf(name, sizeof name, "%06zu", i);
                EXPECT_TRUE(Content("raw/" + std::string(name) + ".raw") == RawBytes(expected)) << "raw bytes differ";
            }
        }
    }
}

using namespace capture::type;
const EndToEndCase EndToEndCases[] = {
    // Widths where the row step exceeds the row: RAW12 width = 2 mod 4, YUV422 not a
    // multiple of 8.
    {"Raw12Pipeline", kRaw12, "0x2c_RAW12", 66, "CPU", false, 0},
    {"Raw12Unpacker", kRaw12, "0x2c_RAW12", 66, "CPU_LEGACY", false, 0},
    {"Raw12LimitedShifted", kRaw12, "0x2c_RAW12", 64, "CPU_LEGACY", true, 4},
    {"Raw12Detected", kRaw12, "AUTO", 64, "CPU", false, 0},
    {"Yuv422Pipeline", kYuv422_8, "0x1E_YUV422_8Bit", 70, "CPU", false, 0},
    {"Yuv422Unpacker", kYuv422_8, "0x1E_YUV422_8Bit", 70, "CPU_LEGACY", false, 0},
    {"Yuv422Swapped", kYuv422_8_YUSwapped, "0x1E_YUV422_8Bit_Y_U_swapped", 64, "CPU_LEGACY", false, 0},
    {"Raw10", kRaw10, "0x2b_RAW10", 64, "CPU", false, 0},
    {"Raw8", kRaw8, "0x2a_RAW8", 66, "CPU", false, 0},
    {"Rgb888", kRgb888, "0x24_RGB888", 66, "CPU", false, 0},
    {"Raw16Limited", kRaw16, "0x2e_RAW16", 64, "CPU", true, 8},
    {"Yuv422Ten", kYuv422_10, "0x1F_YUV422_10Bit", 64, "CPU", false, 0},
};
INSTANTIATE_TEST_SUITE_P(DataTypes, TarnhostDecodeEndToEnd, ::testing::ValuesIn(EndToEndCases),
                         [](const auto& info) { return std::string(info.param.name); });
#endif

}  // namespace
