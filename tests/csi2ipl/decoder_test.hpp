#pragma once
// What the decoder component's tests share: a fixture with a decoder wired on a host
// kernel, the data types' choices and widths, and the shapes of stream that cameras and
// capture tools deliver.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "csi2_frames.hpp"
#include "csi2ipl/csi2ipl_component.hpp"
#include "decoder_rig.hpp"
#include "support/capture_writer.hpp"
#include "support/host_kernel_fixture.hpp"

namespace decoder_test {

using namespace decoder_rig;
using Texts = std::vector<std::string>;

inline constexpr size_t kMaxFrameBytes = 64 * 1024;

// The "CSI2_Dataformat" choice of a data type.
inline const char* ChoiceOf(uint8_t type) {
    switch (type) {
        case capture::type::kYuv422_8: return "0x1E_YUV422_8Bit";
        case capture::type::kYuv422_10: return "0x1F_YUV422_10Bit";
        case capture::type::kRgb888: return "0x24_RGB888";
        case capture::type::kRaw8: return "0x2a_RAW8";
        case capture::type::kRaw10: return "0x2b_RAW10";
        case capture::type::kRaw12: return "0x2c_RAW12";
        case capture::type::kRaw16: return "0x2e_RAW16";
        case capture::type::kRaw20: return "0x2f_RAW20";
        case capture::type::kRaw24: return "0x27_RAW24";
        case capture::type::kYuv422_8_YUSwapped: return "0x1E_YUV422_8Bit_Y_U_swapped";
        default: return "AUTO";
    }
}

// A width of whole groups at least 64 pixels wide whose rows need padding to 8 bytes:
// RAW12 at 70 pixels (140 bytes, step 144), YUV422 8-bit at 66 (198 bytes, step 200).
inline uint32_t PaddedWidth(uint8_t type) {
    switch (type) {
        case capture::type::kRaw10: return 68;  // 68 bytes at 8 bits, step 72
        case capture::type::kRaw12:
        case capture::type::kYuv422_10:
        case capture::type::kRaw20: return 70;
        case capture::type::kYuv422_8:
        case capture::type::kYuv422_8_YUSwapped: return 66;
        default: return 67;
    }
}

class DecoderTest : public HostKernelTest {
  protected:
    // The test's decoder, made on first use.
    DecoderRig& Rig() {
        if (!current) current = std::make_unique<DecoderRig>(MakeDecoder(), kMaxFrameBytes);
        return *current;
    }
    // Drops the decoder: the next Rig() is a new instance.
    void NewDecoder() { current.reset(); }
    // A new decoder, started, for the data type `format` ("CSI2_Dataformat") from its first
    // frame on, the frame-size check as given; the reports so far cleared.
    DecoderRig& Started(const char* format, bool frameSizeCheck) {
        NewDecoder();
        ClearReports();
        DecoderRig& rig = Rig();
        rig.Set("CSI2_Dataformat", format);
        rig.Set("skip_first_frames", false);
        rig.Set("frame_size_check", frameSizeCheck);
        EXPECT_EQ(rig.Begin(), 0);
        return rig;
    }
    static ComponentPointer MakeDecoder() {
        return ComponentPointer(static_cast<TARNComponent*>(
            TARNcsi2ipl::Instantiate("decoder", TARNcsi2ipl::s_componentDefinition)));
    }
    Texts Reports() const { return DecoderReports(recorder); }
    void ClearReports() { recorder.ClearReports(); }
    // A rig decoding `type` from its first frame on.
    DecoderRig& Fixed(uint8_t type, const char* implementation = "CPU") {
        Rig().Set("CSI2_Dataformat", ChoiceOf(type));
        Rig().Set("decoding_implementation", implementation);
        Rig().Set("skip_first_frames", false);
        return Rig();
    }
    void TearDown() override {
        current.reset();
        EXPECT_EQ(ErrorReports(recorder), Texts{});
        HostKernelTest::TearDown();
    }

    std::unique_ptr<DecoderRig> current;
};

inline capture::CaptureFrame Frame(uint8_t type, uint32_t width, uint32_t height, unsigned seed = 1) {
    capture::FrameSpec spec;
    spec.dataType = type;
    spec.width = width;
    spec.height = height;
    spec.seed = seed;
    return capture::WriteFrame(spec);
}

// A stream's frame as cameras and capture tools lay them out, for the clean shapes and
// the tables of damage: lines 40 pixels wide (or `width`), with footers, and what stands
// around them.
struct StreamShape {
    const char* name;
    bool frameMarkers = false;          // a frame start packet before the lines, a frame end after
    bool gapBeforeLine3 = false;        // 13 bytes between lines 2 and 3
    uint32_t paddingBeforeEnd = 0;      // bytes between the last line and the frame end packet
    bool embeddedOfLineWordCount = false;  // an embedded-data packet as long as a line, before the lines
    bool embeddedAfterLinesInEvenFrames = false;  // and 8 bytes of padding in its place in odd frames
    bool fixedSize = false;             // zeros up to one byte count for every frame (capture buffers)
    bool footers = true;                // false: each line's packet ends with its last pixel
    bool lineMarkers = false;           // line start and end packets around each line
    bool alternateChannels = false;     // odd lines on virtual channel 1
};

inline capture::CaptureFrame ShapedFrame(const StreamShape& shape, uint8_t type, unsigned frame, uint32_t height = 6,
                                         uint32_t width = 40) {
    constexpr size_t kFixedBytes = 4096;
    std::mt19937 random(1 + frame);
    capture::FrameWriter writer;
    capture::CaptureFrame f;
    const uint32_t wordCount = capture::WordCountFor(type, width);
    if (shape.frameMarkers) writer.ShortPacket(0x00, 1);
    if (shape.embeddedOfLineWordCount)
        writer.LongPacket(capture::type::kEmbedded, std::vector<uint8_t>(wordCount, 0x0A));
    for (uint32_t y = 0; y < height; ++y) {
        if (shape.gapBeforeLine3 && y == 3) writer.Bytes(std::vector<uint8_t>(13, 0x55));
        if (shape.lineMarkers) writer.ShortPacket(0x02, static_cast<uint16_t>(y));
        const uint8_t channel = shape.alternateChannels && y % 2 == 1 ? 0x40 : 0x00;
        writer.LongPacket(channel | capture::PacketTypeOf(type),
                          capture::LinePayload(type, width, y, capture::Pattern::kRandom, random));
        f.lines.push_back(writer.Packets().back());
        if (shape.lineMarkers) writer.ShortPacket(0x03, static_cast<uint16_t>(y));
    }
    if (shape.embeddedAfterLinesInEvenFrames) {
        if (frame % 2 == 0)
            writer.LongPacket(capture::type::kEmbedded, std::vector<uint8_t>(24, 0x0B));
        else
            writer.Bytes(std::vector<uint8_t>(8, 0));
    }
    if (shape.paddingBeforeEnd != 0) writer.Bytes(std::vector<uint8_t>(shape.paddingBeforeEnd, 0));
    if (shape.frameMarkers) writer.ShortPacket(0x01, 1);
    if (shape.fixedSize) writer.Bytes(std::vector<uint8_t>(kFixedBytes - writer.Size(), 0));
    f.bytes = writer.Finish();
    return shape.footers ? f : csi2_frames::WithoutFooters(f);
}

// The shapes of the damage table, each a stream whose every frame the decoder must give.
inline const StreamShape kStreamShapes[] = {
    {"plain"},
    {"frame markers", true},
    {"13 bytes between lines 2 and 3", false, true},
    {"2 bytes of padding before every frame end packet", true, false, 2},
    {"an embedded packet as long as a line", true, false, 0, true},
    {"embedded data after the lines in even frames, padding in odd", false, false, 0, false, true},
    {"fixed-size capture buffers", true, false, 0, false, false, true},
    {.name = "no footers, frame markers", .frameMarkers = true, .footers = false},
    {.name = "every marker, virtual channels alternating",
     .frameMarkers = true,
     .lineMarkers = true,
     .alternateChannels = true},
};

}  // namespace decoder_test
