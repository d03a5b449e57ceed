// The decoder component run in process on a host kernel: frames of the capture writer fed
// to "raw_image", images read from "ipl_image" and compared with the reference decoder;
// the properties, the frame checks and their reports, what damaged frames cost, the
// output buffers across runs and the benchmark report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "csi2_frames.hpp"
#include "csi2ipl/csi2ipl_component.hpp"
#include "csi2ipl/packet_scanner.hpp"
#include "dataflow/connection_by_hand.hpp"
#include "decoder_rig.hpp"
#include "decoder_test.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/engine/type_filter.hpp"

namespace {

using namespace decoder_test;

// ---- The model's tables ---------------------------------------------------------------

TEST(DecoderDefinition, TablesDeclareTheModelAsTheEngineReadsThem) {
    const TARNComponentDefinition& model = TARNcsi2ipl::s_componentDefinition;
    EXPECT_STREQ(model.name, "csi2ipl_cpu");
    EXPECT_STREQ(model.version, "1.1");
    EXPECT_EQ(model.factory, &TARNcsi2ipl::Instantiate);
    EXPECT_EQ(model.priority, 128);
    EXPECT_EQ(model.threadingModels, 1u);
    EXPECT_TRUE(model.threaded);
    // Counted by whoever reads them, up to each table's all-zero record.
    EXPECT_EQ(model.nbInputs, TARNComponentDefinition::NotCounted);
    EXPECT_EQ(model.nbOutputs, TARNComponentDefinition::NotCounted);
    EXPECT_EQ(model.nbProperties, TARNComponentDefinition::NotCounted);
    EXPECT_EQ(model.nbActions, TARNComponentDefinition::NotCounted);
    EXPECT_TRUE(model.inputs[1].IsEnd());
    EXPECT_TRUE(model.outputs[1].IsEnd());
    EXPECT_TRUE(model.properties[10].IsEnd());
    EXPECT_TRUE(model.actions[0].IsEnd());

    const TARNInputDefinition& input = model.inputs[0];
    EXPECT_STREQ(input.name, "raw_image");
    EXPECT_EQ(input.description, nullptr);
    EXPECT_EQ(input.typeFilter, &TARN::FilterStream8);
    EXPECT_EQ(input.readerType, 0u);
    EXPECT_EQ(input.subsampling, 1u);

    const TARNOutputDefinition& output = model.outputs[0];
    EXPECT_STREQ(output.name, "ipl_image");
    EXPECT_EQ(output.type.type, TARNTypeInfo::IplImage);
    ASSERT_NE(output.type.typeName, nullptr);
    ASSERT_NE(output.type.unit, nullptr);
    EXPECT_STREQ(output.type.typeName->c_str(), "");
    EXPECT_STREQ(output.type.unit->c_str(), "");
    EXPECT_EQ(output.bufferSize, 0u);
    EXPECT_EQ(output.fifoSize, 16u);
    EXPECT_EQ(output.subsampling, 1u);
    EXPECT_EQ(output.reserved2, 1u) << "shareable";

    struct Expected {
        const char* name;
        bool changeableAfterStart;
    };
    const Expected properties[] = {{"CSI2_Dataformat", false},     {"overwrite_CSI2_Decoder", false},
                                   {"overwrite_CSI2_Dataformat_as", false}, {"limit_depth_to_8", false},
                                   {"limit_depth_to_8_Bitshift", true}, {"print_debug", true},
                                   {"skip_first_frames", false},   {"benchmark_component", false},
                                   {"decoding_implementation", false}, {"frame_size_check", false}};
    for (size_t i = 0; i < std::size(properties); ++i) {
        const TARNPropertyDefinition& property = model.properties[i];
        SCOPED_TRACE(properties[i].name);
        EXPECT_STREQ(property.name, properties[i].name);
        EXPECT_NE(property.defaultValue, nullptr);
        EXPECT_EQ(property.modifiableWhileRunning, properties[i].changeableAfterStart);
        EXPECT_FALSE(property.needsInit);
        EXPECT_FALSE(property.readOnly);
        EXPECT_TRUE(property.fixedEnumValues);
        EXPECT_EQ(property.subType, 0u);
    }
}

TEST(DecoderDefinition, ChoiceIndexesGiveTheirDataTypes) {
    const unsigned char expected[] = {0x00, 0x1E, 0x1F, 0x24, 0x2A, 0x2B, 0x2C, 0x2E, 0x2F, 0x27, 0xFE, 0x2C, 0x2C};
    for (unsigned int index = 0; index < std::size(expected); ++index)
        EXPECT_EQ(TARNcsi2ipl::GetEnumCSI2Property(index), expected[index]) << index;
    EXPECT_EQ(TARNcsi2ipl::GetEnumCSI2Property(0xFFFFFFFFu), 0x2C);
}

TEST_F(DecoderTest, AnInstanceHasTheModelsPropertiesWithTheirDefaults) {
    DecoderRig& rig = Rig();
    const std::pair<const char*, const char*> defaults[] = {
        {"CSI2_Dataformat",
         "11|0|AUTO|0x1E_YUV422_8Bit|0x1F_YUV422_10Bit|0x24_RGB888|0x2a_RAW8|0x2b_RAW10|0x2c_RAW12|0x2e_RAW16|"
         "0x2f_RAW20|0x27_RAW24|0x1E_YUV422_8Bit_Y_U_swapped"},
        {"overwrite_CSI2_Dataformat_as",
         "11|0|AUTO|0x1E_YUV422_8Bit|0x1F_YUV422_10Bit|0x24_RGB888|0x2a_RAW8|0x2b_RAW10|0x2c_RAW12|0x2e_RAW16|"
         "0x2f_RAW20|0x27_RAW24|0x1E_YUV422_8Bit_Y_U_swapped"},
        {"limit_depth_to_8_Bitshift", "13|0|0|1|2|3|4|5|6|7|8|9|10|11|12"},
        {"decoding_implementation", "2|0|CPU|CPU_LEGACY"},
    };
    for (const auto& [name, text] : defaults) {
        TARNEnumStruct value;
        rig.Decoder().Get(rig.Decoder().Property(name), value);
        EXPECT_STREQ(value.ToString().c_str(), text) << name;
    }
    const std::pair<const char*, bool> flags[] = {
        {"overwrite_CSI2_Decoder", false}, {"limit_depth_to_8", false},    {"print_debug", false},
        {"skip_first_frames", true},       {"benchmark_component", false}, {"frame_size_check", true}};
    for (const auto& [name, expected] : flags) {
        bool value = !expected;
        rig.Decoder().Get(rig.Decoder().Property(name), value);
        EXPECT_EQ(value, expected) << name;
    }
}

// The processor build offers no "GPU": the name is refused and leaves no implementation
// selected. RAW12 and YUV422 8-bit frames are then dropped with their reports, the output
// element given back unpublished, frame after frame; every geometry pass of those frames
// finds the buffers the previous one laid out and keeps them, where a second layout would
// end in "Output buffer already initialized" and a module error. Other types do not
// depend on the implementation.
TEST_F(DecoderTest, WithoutAnOfferedImplementationPipelineTypesAreDropped) {
    struct Case {
        uint8_t type;
        const char* report;
        size_t images;
    } cases[] = {{capture::type::kRaw12, "Something went wrong for RAW12 decoding.", 0},
                 {capture::type::kYuv422_8, "Something went wrong for YUV422_8_bit decoding.", 0},
                 {capture::type::kRaw10, nullptr, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        NewDecoder();
        DecoderRig& rig = Fixed(c.type, "GPU");
        EXPECT_EQ(rig.Text("decoding_implementation"), "");
        EXPECT_EQ(ErrorReports(recorder),
                  Texts{"component decoder: GPU does not match any of the possible properties for property "
                        "decoder.decoding_implementation"});
        ClearReports();
        ASSERT_EQ(rig.Begin(), 0);
        const capture::CaptureFrame frame = Frame(c.type, 64, 4);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(rig.Feed(frame.bytes), 0);
        EXPECT_EQ(rig.ImageCount(), c.images);
        EXPECT_EQ(Reports(), c.report ? Texts(3, c.report) : Texts{});
        EXPECT_EQ(ErrorReports(recorder), Texts{});
    }
}

// ---- Bit-exact decoding ---------------------------------------------------------------

struct DecodeCase {
    uint8_t type;
    const char* implementation;
    bool limitTo8;
    unsigned shift;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << "type 0x" << std::hex << static_cast<int>(c.type) << std::dec << " " << c.implementation
         << (c.limitTo8 ? " limited to 8 bits" : " full depth") << " shift " << c.shift;
}

std::string CaseName(const ::testing::TestParamInfo<DecodeCase>& info) {
    char name[64];
    std::snprintf(name, sizeof name, "Type%02X_%s_%s_Shift%u", info.param.type, info.param.implementation,
                  info.param.limitTo8 ? "Limit8" : "Full", info.param.shift);
    return name;
}

std::vector<DecodeCase> AllDecodeCases() {
    std::vector<DecodeCase> cases;
    for (uint8_t type : capture::type::kAll)
        for (const char* implementation : {"CPU", "CPU_LEGACY"})
            for (const auto& [limitTo8, shift] : {std::pair{false, 0u}, {false, 3u}, {true, 0u}, {true, 4u}})
                cases.push_back({type, implementation, limitTo8, shift});
    return cases;
}

class DecoderDecodeTest : public DecoderTest, public ::testing::WithParamInterface<DecodeCase> {};

// Every data type, every implementation of this build, full depth and limited to 8 bits,
// with and without a bit shift, at a width whose rows are padded: three frames of the
// stream, each bit-exact. A pipeline handed a row stride narrower than the image's row
// step shears the image (rows drift by the padding), which this catches.
TEST_P(DecoderDecodeTest, EveryFrameMatchesTheReferenceDecoder) {
    const DecodeCase& c = GetParam();
    DecoderRig& rig = Fixed(c.type, c.implementation);
    rig.Set("limit_depth_to_8", c.limitTo8);
    rig.Set("limit_depth_to_8_Bitshift", static_cast<long>(c.shift));
    rig.Set("benchmark_component", true);
    ASSERT_EQ(rig.Begin(), 0);
    const uint32_t width = PaddedWidth(c.type);
    std::vector<capture::CaptureFrame> frames;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        frames.push_back(Frame(c.type, width, 35, seed));
        ASSERT_EQ(rig.Feed(frames.back().bytes, 1000 * seed), 0);
    }
    const std::vector<SinkRecord> images = rig.Images();
    ASSERT_EQ(images.size(), 3u) << ::testing::PrintToString(Reports());
    for (size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(images[i].timestamp, static_cast<long>(1000 * (i + 1)));
        const reference::Image expected = reference::Decode(frames[i].bytes, frames[i].lines, c.type, c.limitTo8, 0);
        // RAW10 rows of 16-bit samples are whole groups of 4 pixels: 8 bytes, never padded.
        if (c.type != capture::type::kRaw10 || c.limitTo8) {
            EXPECT_GT(static_cast<uint32_t>(images[i].widthStep), width * expected.channels * expected.depth / 8)
                << "the width must leave row padding";
        }
        ExpectImage(images[i], frames[i], c.type, c.limitTo8, c.shift);
    }

    // Which way the frames went, from the benchmark report: the pipeline for RAW12 at full
    // depth without a shift and for YUV422 8-bit on "CPU"; the unpackers, timed as legacy
    // decoding, for the two on "CPU_LEGACY" and for shifted RAW12 (the pipelines know no
    // shift); the other types and RAW12 at 8 bits are not timed apart.
    ClearReports();
    rig.Finish();
    const Texts reports = Reports();
    ASSERT_EQ(reports.size(), 7u);
    const bool pipelineType = c.type == capture::type::kYuv422_8 || (c.type == capture::type::kRaw12 && !c.limitTo8);
    const bool cpu = std::string(c.implementation) == "CPU";
    const bool viaPipeline = pipelineType && cpu && (c.type != capture::type::kRaw12 || c.shift == 0);
    const bool viaLegacy = pipelineType && !viaPipeline;
    EXPECT_EQ(reports[4] != "Time for cpu decoding: 0 ms", viaPipeline) << reports[4];
    EXPECT_EQ(reports[5] != "Time for legacy decoding: 0 ms", viaLegacy) << reports[5];
}

INSTANTIATE_TEST_SUITE_P(AllTypes, DecoderDecodeTest, ::testing::ValuesIn(AllDecodeCases()), CaseName);

// Lines of `width` pixels with 13 bytes between the third line's packet and the fourth's.
capture::CaptureFrame UnevenFrame(uint8_t type, uint32_t width, uint32_t height, unsigned seed) {
    std::mt19937 random(seed);
    capture::FrameWriter writer;
    capture::CaptureFrame frame;
    for (uint32_t y = 0; y < height; ++y) {
        if (y == 3) writer.Bytes(std::vector<uint8_t>(13, 0x55));
        writer.LongPacket(capture::PacketTypeOf(type),
                          capture::LinePayload(type, width, y, capture::Pattern::kRandom, random));
        frame.lines.push_back(writer.Packets().back());
    }
    frame.bytes = writer.Finish();
    return frame;
}

// Every clean shape of stream the suite knows, in every data type, given or detected, the
// frame-size check on or off: every frame comes out, bit-exact, without a report. The
// checks against damage (the lines' layout, what follows each line, the frame-size word,
// lines the stored ones do not count) must never refuse a sound frame, nor a stream whose
// frames differ only in what follows their last line.
TEST_F(DecoderTest, EveryCleanShapeGivesEveryFrame) {
    using Shape = std::function<capture::CaptureFrame(uint8_t type, unsigned frame)>;
    const auto spec = [](uint8_t type, unsigned frame, uint32_t height = 6) {
        capture::FrameSpec spec;
        spec.dataType = type;
        spec.width = PaddedWidth(type);
        spec.height = height;
        spec.seed = 1 + frame;
        return spec;
    };
    const auto withSizeWord = [](capture::CaptureFrame f) {
        f.bytes = csi2_frames::WithSizeWord(std::move(f.bytes));
        return f;
    };
    // A packet of another data type (user-defined) on another virtual channel after line
    // `after`.
    const auto otherPacketAfter = [&](uint8_t t, unsigned i, uint32_t after) {
        std::mt19937 random(1 + i);
        capture::FrameWriter writer;
        capture::CaptureFrame f;
        writer.ShortPacket(0x00, 1);
        for (uint32_t y = 0; y < 6; ++y) {
            writer.LongPacket(capture::PacketTypeOf(t),
                              capture::LinePayload(t, PaddedWidth(t), y, capture::Pattern::kRandom, random));
            f.lines.push_back(writer.Packets().back());
            if (y == after)
                writer.LongPacket(0x40 | 0x30, std::vector<uint8_t>(16, 0x77));  // user-defined data
        }
        writer.ShortPacket(0x01, 1);
        f.bytes = writer.Finish();
        return f;
    };
    const std::pair<const char*, Shape> shapes[] = {
        {"plain", [&](uint8_t t, unsigned i) { return capture::WriteFrame(spec(t, i)); }},
        {"frame markers",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.frameMarkers = true;
             return capture::WriteFrame(s);
         }},
        {"line markers",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.lineMarkers = true;
             return capture::WriteFrame(s);
         }},
        {"embedded data, frame markers",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.embeddedLines = 2;
             s.frameMarkers = true;
             return capture::WriteFrame(s);
         }},
        {"every marker, embedded data, virtual channels alternating",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.frameMarkers = s.lineMarkers = true;
             s.embeddedLines = 1;
             s.alternateVirtualChannels = true;
             return capture::WriteFrame(s);
         }},
        {"no footers",
         [&](uint8_t t, unsigned i) { return csi2_frames::WithoutFooters(capture::WriteFrame(spec(t, i))); }},
        {"no footers, line and frame markers",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.frameMarkers = s.lineMarkers = true;
             return csi2_frames::WithoutFooters(capture::WriteFrame(s));
         }},
        {"a packet of another channel after another line in each frame",
         [&](uint8_t t, unsigned i) { return otherPacketAfter(t, i, i % 5); }},
        {"a packet of another channel after line 2 in every other frame",
         [&](uint8_t t, unsigned i) { return otherPacketAfter(t, i, i % 2 ? 2 : 99); }},
        {"a word of padding before the frame end packet in every other frame",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.frameMarkers = true;
             capture::CaptureFrame f = capture::WriteFrame(s);
             if (i % 2 == 1) f.bytes.insert(f.bytes.end() - 8, 4, 0);
             return withSizeWord(f);
         }},
        {"ending at the last pixel",
         [&](uint8_t t, unsigned i) {
             capture::CaptureFrame f = capture::WriteFrame(spec(t, i));
             f.bytes = csi2_frames::EndingAtLastPixel(f);
             return withSizeWord(f);
         }},
        {"padding after the last line",
         [&](uint8_t t, unsigned i) {
             capture::CaptureFrame f = capture::WriteFrame(spec(t, i));
             f.bytes.insert(f.bytes.end(), 4, 0);
             return withSizeWord(f);
         }},
        {"unevenly spaced", [&](uint8_t t, unsigned i) { return UnevenFrame(t, PaddedWidth(t), 6, 1 + i); }},
        {"two lines", [&](uint8_t t, unsigned i) { return capture::WriteFrame(spec(t, i, 2)); }},
        {"one line", [&](uint8_t t, unsigned i) { return capture::WriteFrame(spec(t, i, 1)); }},
        {"a frame end packet in every other frame, the first without",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.frameMarkers = true;
             const capture::CaptureFrame f = capture::WriteFrame(s);
             return i % 2 == 0 ? csi2_frames::WithoutFrameEnd(f) : f;
         }},
        {"a frame end packet in every other frame, the first with",
         [&](uint8_t t, unsigned i) {
             auto s = spec(t, i);
             s.frameMarkers = true;
             const capture::CaptureFrame f = capture::WriteFrame(s);
             return i % 2 == 1 ? csi2_frames::WithoutFrameEnd(f) : f;
         }},
    };
    std::vector<std::pair<std::string, Shape>> allShapes(std::begin(shapes), std::end(shapes));
    for (const StreamShape& stream : kStreamShapes)
        allShapes.emplace_back(std::string(stream.name) + ", 40 pixels",
                               [&stream](uint8_t t, unsigned i) { return ShapedFrame(stream, t, i); });
    for (const auto& [shapeName, shape] : allShapes) {
        for (const uint8_t type : capture::type::kAll) {
            for (const bool detected : {false, true}) {
                if (detected &&
                    (type == capture::type::kYuv422_8_YUSwapped || shapeName == "one line"))
                    continue;  // detection decodes 0xFE's lines another way, and needs two lines
                for (const bool frameSizeCheck : {true, false}) {
                    SCOPED_TRACE(shapeName + ", " + ChoiceOf(type) + (detected ? ", AUTO" : "") +
                                 (frameSizeCheck ? "" : ", size unchecked"));
                    DecoderRig& rig = Started(detected ? "AUTO" : ChoiceOf(type), frameSizeCheck);
                    std::vector<capture::CaptureFrame> frames;
                    for (unsigned i = 0; i < 5; ++i) {
                        frames.push_back(shape(type, i));
                        ASSERT_EQ(rig.Feed(frames.back().bytes, 1 + i), 0);
                    }
                    const std::vector<SinkRecord> images = rig.Images();
                    ASSERT_EQ(images.size(), frames.size()) << ::testing::PrintToString(Reports());
                    for (size_t i = 0; i < images.size(); ++i) {
                        SCOPED_TRACE("frame " + std::to_string(i));
                        ExpectImage(images[i], frames[i], type, false, 0);
                    }
                    EXPECT_EQ(Reports(), Texts{});
                }
            }
        }
    }
}

// A sound frame whose lines stand where the stream's do is decoded at them without a
// geometry pass of its own, whatever follows its last line: the packet after it there or
// not, whole words of padding before it more or fewer, embedded data after the lines or
// padding. Only the first two frames are measured (with "print_debug", each geometry pass
// reports the frame's size), and, with the size checked, the first frame with a larger
// frame-size word than those.
TEST_F(DecoderTest, ASoundFrameIsMeasuredOnlyWhileTheLinesAreLearnt) {
    using Shape = std::function<capture::CaptureFrame(unsigned frame)>;
    struct Measured {
        long sizeChecked, sizeUnchecked;
    };
    const auto marked = [](unsigned i) {
        capture::FrameSpec spec;
        spec.dataType = capture::type::kRaw12;
        spec.width = 70;
        spec.height = 5;
        spec.seed = 1 + i;
        spec.frameMarkers = true;
        return capture::WriteFrame(spec);
    };
    const std::tuple<const char*, Shape, Measured> shapes[] = {
        {"a frame end packet in every other frame, the first without",
         [&](unsigned i) { return i % 2 == 0 ? csi2_frames::WithoutFrameEnd(marked(i)) : marked(i); }, {2, 2}},
        {"a frame end packet in every other frame, the first with",
         [&](unsigned i) { return i % 2 == 1 ? csi2_frames::WithoutFrameEnd(marked(i)) : marked(i); }, {2, 2}},
        {"0, 4 and 8 bytes of padding before the frame end packet in turn",
         [](unsigned i) {
             StreamShape shape{"frame markers", true};
             shape.paddingBeforeEnd = 4 * (i % 3);
             return ShapedFrame(shape, capture::type::kRaw12, i, 5, 70);
         },
         {3, 2}},
        {"embedded data after the lines in even frames, padding in odd",
         [](unsigned i) { return ShapedFrame(kStreamShapes[5], capture::type::kRaw12, i, 5, 70); }, {2, 2}},
    };
    for (const auto& [name, shape, measured] : shapes) {
        for (const bool frameSizeCheck : {true, false}) {
            SCOPED_TRACE(std::string(name) + (frameSizeCheck ? "" : ", size unchecked"));
            DecoderRig& rig = Started("0x2c_RAW12", frameSizeCheck);
            rig.Set("print_debug", true);
            for (unsigned i = 0; i < 7; ++i) ASSERT_EQ(rig.Feed(shape(i).bytes, 1 + i), 0);
            EXPECT_EQ(rig.ImageCount(), 7u);
            const Texts reports = Reports();
            EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                                    [](const std::string& text) { return text.rfind("Size of the frame is: ", 0) == 0; }),
                      frameSizeCheck ? measured.sizeChecked : measured.sizeUnchecked)
                << ::testing::PrintToString(reports);
        }
    }
}

// The pipelines refuse lines under 64 pixels; such a line is decoded by the unpacker, and
// the image is published with this frame's pixels, never with what the buffer held.
TEST_F(DecoderTest, LinesTooNarrowForThePipelineAreDecodedByTheUnpackers) {
    for (uint8_t type : {capture::type::kRaw12, capture::type::kYuv422_8}) {
        SCOPED_TRACE(static_cast<int>(type));
        NewDecoder();
        DecoderRig& narrow = Fixed(type, "CPU");
        ASSERT_EQ(narrow.Begin(), 0);
        const capture::CaptureFrame frame = Frame(type, 62, 9, 5);
        ASSERT_EQ(narrow.Feed(frame.bytes), 0);
        ASSERT_EQ(narrow.ImageCount(), 1u);
        ExpectImage(narrow.Images()[0], frame, type, false, 0);
    }
}

// The first line is found behind frame markers and embedded data, not at offset 64: the
// pipeline reads from its own offset.
TEST_F(DecoderTest, ThePipelineStartsAtTheFirstLinesOwnOffset) {
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw12;
    spec.width = 128;
    spec.height = 40;
    spec.frameMarkers = true;
    spec.embeddedLines = 2;
    DecoderRig& rig = Fixed(capture::type::kRaw12, "CPU");
    ASSERT_EQ(rig.Begin(), 0);
    std::vector<capture::CaptureFrame> frames;
    for (unsigned seed = 1; seed <= 2; ++seed) {
        spec.seed = seed;
        frames.push_back(capture::WriteFrame(spec));
        ASSERT_GT(frames.back().lines[0].offset, 64u);
        ASSERT_EQ(rig.Feed(frames.back().bytes), 0);
    }
    ASSERT_EQ(rig.ImageCount(), 2u);
    for (size_t i = 0; i < 2; ++i) ExpectImage(rig.Images()[i], frames[i], capture::type::kRaw12, false, 0);
}

// Lines that do not follow one another at one distance cannot be one pipeline buffer:
// the unpackers decode them line by line.
TEST_F(DecoderTest, UnevenlySpacedLinesAreDecodedLineByLine) {
    for (uint8_t type : {capture::type::kRaw12, capture::type::kYuv422_8}) {
        SCOPED_TRACE(static_cast<int>(type));
        NewDecoder();
        DecoderRig& uneven = Fixed(type, "CPU");
        ASSERT_EQ(uneven.Begin(), 0);
        const capture::CaptureFrame frame = UnevenFrame(type, 96, 6, 3);
        ASSERT_EQ(uneven.Feed(frame.bytes), 0);
        ASSERT_EQ(uneven.ImageCount(), 1u);
        ExpectImage(uneven.Images()[0], frame, type, false, 0);
    }
}

// ---- One stray byte -----------------------------------------------------------------------

// A stream of three frames of one image, one of them with a stray B8 in front of a line's
// preamble, as a link that repeats a byte delivers it. A stray frame whose lines are apart
// from the stream's cannot be told from one with a byte gained inside a line, whose pixels
// it would shift: a later one is dropped, with why. The second frame is kept until the
// third shows which of the first two has the stream's lines; a stray first frame is
// decoded at its own lines, and the second published late, at the third. A byte in front
// of the first line moves every line together: that frame is decoded at its own lines.
// Whichever way the frame is decoded, and whether the data type is given or detected.
struct StrayCase {
    const char* name;
    const char* format;  // "CSI2_Dataformat"
    uint8_t type;
    uint32_t width;
    const char* implementation;
    size_t strayFrame;  // 0 to 2
    uint32_t beforeLine;
    bool frameSizeCheck;
    bool footers = true;  // false: each frame ends with its last pixel
};

TEST_F(DecoderTest, OneStrayByteCostsAtMostItsOwnFrame) {
    using namespace capture::type;
    const StrayCase cases[] = {
        {"in front of line 1 of the geometry frame", "0x2b_RAW10", kRaw10, 80, "CPU", 0, 1, true},
        {"in front of line 0 of the geometry frame", "0x2b_RAW10", kRaw10, 80, "CPU", 0, 0, true},
        {"in front of the last line of the geometry frame", "0x2b_RAW10", kRaw10, 80, "CPU", 0, 4, true},
        {"in front of line 1 of the geometry frame, no footers", "0x2b_RAW10", kRaw10, 80, "CPU", 0, 1, true,
         false},
        {"in front of line 1 of the last frame", "0x2b_RAW10", kRaw10, 80, "CPU", 2, 1, false},
        {"in front of line 2 of the middle frame", "0x2b_RAW10", kRaw10, 80, "CPU", 1, 2, false},
        {"in front of the last line of the last frame", "0x2b_RAW10", kRaw10, 80, "CPU", 2, 4, false},
        {"in front of line 1 of the last frame, its size checked", "0x2b_RAW10", kRaw10, 80, "CPU", 2, 1,
         true},
        {"in front of line 0 of the middle frame", "0x2b_RAW10", kRaw10, 80, "CPU", 1, 0, false},
        {"in front of line 0 of the last frame, its size checked", "0x2b_RAW10", kRaw10, 80, "CPU", 2, 0,
         true},
        {"in front of line 0 of the last frame, no footers", "0x2b_RAW10", kRaw10, 80, "CPU", 2, 0, true,
         false},
        {"AUTO, in front of line 0 of the geometry frame", "AUTO", kRaw10, 80, "CPU", 0, 0, true},
        {"AUTO, in front of line 1 of the geometry frame", "AUTO", kRaw10, 80, "CPU", 0, 1, true},
        {"AUTO, in front of line 1 of the last frame", "AUTO", kRaw10, 80, "CPU", 2, 1, false},
        {"RAW12 pipeline, geometry frame", "0x2c_RAW12", kRaw12, 70, "CPU", 0, 1, true},
        {"RAW12 pipeline, last frame", "0x2c_RAW12", kRaw12, 70, "CPU", 2, 2, false},
        {"RAW12 pipeline, last frame, every line moved", "0x2c_RAW12", kRaw12, 70, "CPU", 2, 0, false},
        {"RAW12 unpackers, geometry frame", "0x2c_RAW12", kRaw12, 70, "CPU_LEGACY", 0, 1, true},
        {"RAW12 unpackers, last frame", "0x2c_RAW12", kRaw12, 70, "CPU_LEGACY", 2, 2, false},
        {"YUV422 8-bit pipeline, geometry frame", "0x1E_YUV422_8Bit", kYuv422_8, 66, "CPU", 0, 1, true},
        {"YUV422 8-bit pipeline, last frame", "0x1E_YUV422_8Bit", kYuv422_8, 66, "CPU", 2, 2, false},
    };
    // One case: a failed assertion ends the case, not the test.
    auto decode = [this](const StrayCase& c) {
        capture::CaptureFrame clean = Frame(c.type, c.width, 5);
        if (!c.footers) {
            clean.bytes = csi2_frames::WithSizeWord(csi2_frames::EndingAtLastPixel(clean));
        }
        const capture::CaptureFrame stray = csi2_frames::WithStrayByte(clean, c.beforeLine);
        NewDecoder();
        ClearReports();
        DecoderRig& rig = Rig();
        rig.Set("CSI2_Dataformat", c.format);
        rig.Set("decoding_implementation", c.implementation);
        rig.Set("skip_first_frames", false);
        rig.Set("frame_size_check", c.frameSizeCheck);
        ASSERT_EQ(rig.Begin(), 0);
        for (size_t i = 0; i < 3; ++i)
            ASSERT_EQ(rig.Feed(i == c.strayFrame ? stray.bytes : clean.bytes, static_cast<long>(i) + 1), 0);

        const bool moved = c.beforeLine != 0;
        const bool dropped = c.strayFrame != 0 && moved;
        const std::vector<SinkRecord> images = rig.Images();
        ASSERT_EQ(images.size(), dropped ? 2u : 3u) << ::testing::PrintToString(Reports());
        for (size_t i = 0; i < images.size(); ++i) {
            SCOPED_TRACE(i);
            ExpectImage(images[i], clean, c.type, false, 0);
            EXPECT_EQ(images[i].timestamp, static_cast<long>(i + (dropped && i >= c.strayFrame ? 2 : 1)));
        }
        const std::string outOfPlace = "Line packet at byte " +
                                       std::to_string((c.strayFrame == 0 ? clean : stray).lines[c.beforeLine - (moved ? 1 : 0)].offset) +
                                       " does not end where the stream's lines end";
        const std::string kept =
            "Lines of the frame are not the stored ones, which no second frame has confirmed: kept until the "
            "next frame shows which are the stream's: " +
            outOfPlace;
        if (!moved) {
            EXPECT_EQ(Reports(), Texts{});
        } else if (c.strayFrame == 0) {
            EXPECT_EQ(Reports(), (Texts{kept, "Kept frame of timestamp 2 has the stream's lines: the next frame "
                                              "agrees with them, not with the stored ones"}));
        } else if (c.strayFrame == 1) {
            EXPECT_EQ(Reports(),
                      (Texts{kept, "Kept frame of timestamp 2 dropped: " + outOfPlace + ", skip frame"}));
        } else {
            // Why the frame was measured, then why its lines were not taken: it waits for a
            // next frame to show whose lines are the stream's.
            const Texts reports = Reports();
            ASSERT_GE(reports.size(), 2u);
            if (c.frameSizeCheck) {
                EXPECT_EQ(reports.front(), "Frame size mismatch target: " + std::to_string(stray.bytes.size()) +
                                               " got: " + std::to_string(clean.bytes.size()));
            }
            EXPECT_EQ(reports.back(),
                      "Lines of the frame are not those two frames agreed on: kept until the next frame shows "
                      "which are the stream's: " +
                          outOfPlace);
        }
    };
    for (const StrayCase& c : cases) {
        SCOPED_TRACE(c.name);
        decode(c);
    }
}

// A frame of the stray-byte sweeps: 5 lines at least 64 pixels wide (RAW12 and YUV422
// 8-bit go through the pipelines), with footers or each line's packet ending with its last
// pixel byte.
capture::CaptureFrame SweepFrame(uint8_t type, bool footers) {
    capture::FrameSpec spec;
    spec.dataType = type;
    spec.width = std::max<uint32_t>(64, 8 * capture::PixelsPerGroup(type));
    spec.height = 5;
    const capture::CaptureFrame clean = capture::WriteFrame(spec);
    return footers ? clean : csi2_frames::WithoutFooters(clean);
}

// A configuration of the stray-byte sweeps, with its clean frame and the image it decodes to.
struct SweepConfiguration {
    uint8_t type;
    bool detected;
    capture::CaptureFrame clean;
    reference::Image expected;
};

// The "CSI2_Dataformat" choice of a sweep configuration.
const char* SweepFormat(const SweepConfiguration& configuration) {
    return configuration.detected ? "AUTO" : ChoiceOf(configuration.type);
}

// Runs `sweep` for each configuration of the stray-byte sweeps: every data type, given or
// detected, with footers or without; stops at the first fatal failure.
template <typename Sweep>
void ForEachSweepConfiguration(Sweep sweep) {
    using capture::type::kYuv422_8_YUSwapped;
    for (const uint8_t type : capture::type::kAll) {
        for (const bool detected : {false, true}) {
            // Detection finds the packets' type, which decodes 0xFE's lines another way.
            if (detected && type == kYuv422_8_YUSwapped) continue;
            for (const bool footers : {true, false}) {
                SCOPED_TRACE(std::string(ChoiceOf(type)) + (detected ? ", AUTO" : "") +
                             (footers ? "" : ", no footers"));
                SweepConfiguration configuration{type, detected, SweepFrame(type, footers), {}};
                configuration.expected =
                    reference::Decode(configuration.clean.bytes, configuration.clean.lines, type, false, 0);
                sweep(configuration);
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
    }
}

// That `image` is the clean image of `expected`, every line of it but `exceptLine` (-1:
// none).
void ExpectCleanImage(const SinkRecord& image, const reference::Image& expected, long exceptLine) {
    ASSERT_EQ(static_cast<uint32_t>(image.width), expected.width);
    ASSERT_EQ(static_cast<uint32_t>(image.height), expected.height);
    const size_t rowSamples = size_t{expected.width} * expected.channels;
    const std::vector<uint32_t> samples = SamplesOf(image, expected.channels, expected.depth);
    for (size_t y = 0; y < expected.height; ++y) {
        if (static_cast<long>(y) == exceptLine) continue;
        EXPECT_TRUE(std::equal(samples.begin() + y * rowSamples, samples.begin() + (y + 1) * rowSamples,
                               expected.samples.begin() + y * rowSamples))
            << "frame " << image.timestamp - 1 << ", line " << y;
    }
}

// ---- A damaged frame ---------------------------------------------------------------------

// Streams of 6 frames of 5 lines 40 pixels wide, in every data type, given or detected,
// one frame damaged as a link delivers it (a byte lost, gained or changed; the frame-size
// word counts what the frame then has), two in some, or clean with a first frame unlike the
// others. Every frame that is not damaged comes out as the clean image; a damaged frame
// after the first is dropped or comes out as the clean image too. A damaged first frame may
// come out wrong where nothing in it shows the damage; the frames after it must not.
//   - Inside a line, or its ECC byte lost: that line's packet ends elsewhere than the
//     stream's lines do.
//   - Inside the last line: its footer is a byte short, or the packet after it moves (into
//     the payload, without footers).
//   - A geometry frame a byte short (a footer byte lost) or smaller (no frame end packet,
//     fewer padding bytes at its end): later frames, with larger frame-size words, are
//     measured and found in place; the first to confirm the lines brings the footer or
//     the packet the geometry frame lacked, so a later byte lost there still shows.
//   - A line of the geometry frame not counted (its identifier damaged): the next frame has
//     a line the stored ones do not count, or lines apart from them, and replaces them.
TEST_F(DecoderTest, ADamagedFrameCostsAtMostItselfInEveryDataType) {
    using csi2_frames::Damage;
    using csi2_frames::DamageKind;
    using Shape = std::function<capture::CaptureFrame(uint8_t type, unsigned frame)>;
    const auto spec = [](uint8_t type, unsigned frame, bool frameMarkers = false) {
        capture::FrameSpec spec;
        spec.dataType = type;
        spec.width = 40;
        spec.height = 5;
        spec.seed = 1 + frame;
        spec.frameMarkers = frameMarkers;
        return spec;
    };
    const Shape plain = [&](uint8_t t, unsigned i) { return capture::WriteFrame(spec(t, i)); };
    const Shape marked = [&](uint8_t t, unsigned i) { return capture::WriteFrame(spec(t, i, true)); };
    const Shape noFootersMarked = [&](uint8_t t, unsigned i) {
        return csi2_frames::WithoutFooters(marked(t, i));
    };
    const Shape uneven = [](uint8_t t, unsigned i) { return UnevenFrame(t, 40, 5, 1 + i); };
    // The frame end packet in the frames `with` says.
    const auto frameEndIn = [&](std::function<bool(unsigned)> with) {
        return Shape([=](uint8_t t, unsigned i) {
            const capture::CaptureFrame f = marked(t, i);
            return with(i) ? f : csi2_frames::WithoutFrameEnd(f);
        });
    };
    const Shape firstPaddedLess = [&](uint8_t t, unsigned i) {
        capture::CaptureFrame f = plain(t, i);
        f.bytes.insert(f.bytes.end(), i == 0 ? 2 : 6, 0);
        f.bytes = csi2_frames::WithSizeWord(std::move(f.bytes));
        return f;
    };
    // Line y of a clean frame: where its packet, payload and footer start.
    const auto header = [](const capture::CaptureFrame& f, size_t y) { return size_t{f.lines[y].offset}; };
    const auto payload = [&](const capture::CaptureFrame& f, size_t y) { return header(f, y) + 8; };
    const auto footer = [&](const capture::CaptureFrame& f, size_t y) {
        return payload(f, y) + f.lines[y].wordCount;
    };
    using Damaging = std::function<Damage(const capture::CaptureFrame&)>;
    const Damaging lostInLine2 = [&](const auto& f) { return Damage{DamageKind::kLost, payload(f, 2) + 10}; };
    const Damaging lostInLastLine = [&](const auto& f) {
        return Damage{DamageKind::kLost, payload(f, 4) + 10};
    };
    const auto identifierOf = [&](size_t y, uint8_t bit) {
        return Damaging([=](const capture::CaptureFrame& f) {
            return Damage{DamageKind::kChanged, header(f, y) + 4,
                          static_cast<uint8_t>(f.lines[y].dataIdentifier ^ bit)};
        });
    };
    struct Case {
        const char* name;
        Shape shape;
        std::vector<std::pair<size_t, Damaging>> damaged;  // by frame
        std::vector<bool> frameSizeChecks = {true, false};
    };
    const Case cases[] = {
        {"frame 2 lost a byte inside line 2", plain, {{2, lostInLine2}}},
        {"frame 2 lost line 2's ECC byte",
         plain,
         {{2,
           [&](const auto& f) {
               return Damage{DamageKind::kLost, header(f, 2) + 7};
           }}}},
        {"frame 2 gained a byte inside line 2",
         plain,
         {{2,
           [&](const auto& f) {
               return Damage{DamageKind::kGained, payload(f, 2) + 10, 0x5A};
           }}}},
        {"frame 1 lost a byte inside line 2", plain, {{1, lostInLine2}}},
        {"frame 2 lost a byte inside the last line", plain, {{2, lostInLastLine}}},
        {"frame 2 lost a byte inside the last line, a frame end after it", marked, {{2, lostInLastLine}}},
        {"frame 2 gained a byte inside the last line, a frame end after it",
         marked,
         {{2,
           [&](const auto& f) {
               return Damage{DamageKind::kGained, payload(f, 4) + 10, 0x5A};
           }}}},
        {"no footers, frame 2 lost a byte inside the last line, a frame end after it",
         noFootersMarked,
         {{2, lostInLastLine}}},
        {"no footers, frame 2 lost the last line's ECC byte, a frame end after it",
         noFootersMarked,
         {{2,
           [&](const auto& f) {
               return Damage{DamageKind::kLost, header(f, 4) + 7};
           }}}},
        {"a frame end in every other frame, frame 2 lost a byte inside the last line",
         frameEndIn([](unsigned i) { return i % 2 == 0; }),
         {{2, lostInLastLine}}},
        {"a frame end in frame 0 only, frame 2 lost a byte inside the last line",
         frameEndIn([](unsigned i) { return i != 1; }),
         {{2, lostInLastLine}}},
        {"lines a byte later from frame 1 on, frame 1 without the frame end; frame 3 lost a byte inside the last line",
         [&](uint8_t t, unsigned i) {
             capture::CaptureFrame f = frameEndIn([](unsigned j) { return j != 1; })(t, i);
             if (i == 0) return f;
             f.bytes.insert(f.bytes.begin() + 20, 0x00);  // in the frame header, as a later header might grow
             for (capture::PacketPlacement& line : f.lines) ++line.offset;
             f.bytes = csi2_frames::WithSizeWord(std::move(f.bytes));
             return f;
         },
         {{3, lostInLastLine}}},
        {"a frame end from frame 1 on, frame 3 lost a byte inside the last line",
         frameEndIn([](unsigned i) { return i != 0; }),
         {{3, lostInLastLine}}},
        {"frames 1 and 3 lost a byte inside the last line",
         plain,
         {{1, lostInLastLine}, {3, lostInLastLine}}},
        {"frames 0 and 3 lost a byte inside the last line",
         plain,
         {{0, lostInLastLine}, {3, lostInLastLine}}},
        {"frame 0 lost a byte of the last line's footer",
         plain,
         {{0,
           [&](const auto& f) {
               return Damage{DamageKind::kLost, footer(f, 4)};
           }}}},
        {"frame 0 lost a byte of line 2's footer",
         plain,
         {{0,
           [&](const auto& f) {
               return Damage{DamageKind::kLost, footer(f, 2)};
           }}}},
        {"frame 0 without the frame end packet the others have",
         frameEndIn([](unsigned i) { return i != 0; }),
         {}},
        {"frame 0 with 4 padding bytes fewer", firstPaddedLess, {}},
        {"frame 0 with a bit of line 2's data identifier flipped", plain, {{0, identifierOf(2, 1)}}, {true}},
        {"frame 0 with the last line's identifier overwritten",
         plain,
         {{0,
           [&](const auto& f) {
               return Damage{DamageKind::kChanged, header(f, 4) + 4, 0x12};
           }}},
         {true}},
        {"frame 0 lost line 2's identifier byte",
         plain,
         {{0,
           [&](const auto& f) {
               return Damage{DamageKind::kLost, header(f, 2) + 4};
           }}},
         {true}},
        {"unevenly spaced, frame 0 with a bit of line 2's data identifier flipped",
         uneven,
         {{0, identifierOf(2, 1)}},
         {true}},
        {"frame 2 with a bit of line 2's data identifier flipped", plain, {{2, identifierOf(2, 1)}}, {true}},
        {"frame 1 with a bit of the last line's data identifier flipped",
         plain,
         {{1, identifierOf(4, 1)}},
         {true}},
    };
    for (const uint8_t type : capture::type::kAll) {
        for (const Case& c : cases) {
            std::vector<capture::CaptureFrame> clean;
            std::vector<std::vector<uint8_t>> frames;
            std::vector<bool> damaged(6, false);
            for (unsigned i = 0; i < 6; ++i) {
                clean.push_back(c.shape(type, i));
                frames.push_back(clean.back().bytes);
            }
            for (const auto& [at, damaging] : c.damaged) {
                frames[at] = csi2_frames::Damaged(clean[at].bytes, damaging(clean[at]));
                damaged[at] = true;
            }
            for (const bool detected : {false, true}) {
                // Detection finds the packets' type, which decodes 0xFE's lines another way.
                if (detected && type == capture::type::kYuv422_8_YUSwapped) continue;
                for (const bool frameSizeCheck : c.frameSizeChecks) {
                    SCOPED_TRACE(std::string(ChoiceOf(type)) + (detected ? ", AUTO" : "") + ", " + c.name +
                                 (frameSizeCheck ? "" : ", size unchecked"));
                    DecoderRig& rig = Started(detected ? "AUTO" : ChoiceOf(type), frameSizeCheck);
                    for (size_t i = 0; i < frames.size(); ++i)
                        ASSERT_EQ(rig.Feed(frames[i], static_cast<long>(i) + 1), 0);
                    std::vector<bool> published(frames.size(), false);
                    for (const SinkRecord& image : rig.Images()) {
                        const size_t i = static_cast<size_t>(image.timestamp - 1);
                        published[i] = true;
                        if (i == 0 && damaged[0]) continue;  // may be wrong
                        SCOPED_TRACE("frame " + std::to_string(i));
                        ExpectImage(image, clean[i], type, false, 0);
                    }
                    for (size_t i = 0; i < frames.size(); ++i)
                        EXPECT_TRUE(published[i] || damaged[i])
                            << "frame " << i << " " << ::testing::PrintToString(Reports());
                }
            }
        }
    }
}

// Damage to frame `i` of a stream (`clean`), or nothing where the shape lacks what it
// damages. Where the shape's frames have one byte count, a capture buffer keeps it
// (padding cut where bytes were added).
using StreamDamage =
    std::function<std::optional<std::vector<uint8_t>>(const std::vector<capture::CaptureFrame>& clean, size_t i,
                                                      const StreamShape& shape)>;

// The bytes with `count` added at the end cut again where the buffer's size is kept.
std::vector<uint8_t> Resized(std::vector<uint8_t> bytes, size_t added, bool keepSize) {
    if (keepSize) bytes.resize(bytes.size() - added);
    return csi2_frames::WithSizeWord(std::move(bytes));
}

// Line y's packet (header, payload, footer) doubled, as a link that repeats a packet
// delivers it.
StreamDamage LinePacketDoubled(std::function<size_t(const capture::CaptureFrame&)> line) {
    return [=](const std::vector<capture::CaptureFrame>& clean, size_t i, const StreamShape& shape) {
        const capture::CaptureFrame& f = clean[i];
        const capture::PacketPlacement& at = f.lines[line(f)];
        const size_t bytes = 8 + at.wordCount + (shape.footers ? 2 : 0);
        std::vector<uint8_t> damaged = f.bytes;
        damaged.insert(damaged.begin() + at.offset + bytes, f.bytes.begin() + at.offset,
                       f.bytes.begin() + at.offset + bytes);
        return std::optional(Resized(std::move(damaged), bytes, shape.fixedSize));
    };
}

// One byte lost, gained or changed where `where` puts it in the frame.
StreamDamage OneByte(csi2_frames::DamageKind kind, std::function<size_t(const capture::CaptureFrame&)> where,
                     std::function<uint8_t(const capture::CaptureFrame&)> value = nullptr) {
    return [=](const std::vector<capture::CaptureFrame>& clean, size_t i, const StreamShape&) {
        const capture::CaptureFrame& f = clean[i];
        return std::optional(csi2_frames::Damaged(f.bytes, {kind, where(f), value ? value(f) : uint8_t{0x5A}}));
    };
}

// One damaged frame of six, in frame 0, 1 or 3, of every shape above, in every data type,
// given or detected, the frame-size check on or off: every frame that is not damaged comes
// out as its clean image, late where it was kept for the next frame to decide; a damaged
// frame after the first is dropped or comes out as its clean image; no frame comes out
// twice, and the images come out in the order of the frames. A damaged first frame may come
// out wrong where nothing in it shows the damage, and so may a frame with a byte lost or
// gained inside its last line where no packet follows that line.
TEST_F(DecoderTest, OneDamagedFrameOfAnyShapeCostsAtMostItselfWhereverItStands) {
    using csi2_frames::DamageKind;
    const auto header = [](const capture::CaptureFrame& f, size_t y) { return size_t{f.lines[y].offset}; };
    const auto payload = [&](const capture::CaptureFrame& f, size_t y) { return header(f, y) + 8; };
    const auto last = [](const capture::CaptureFrame& f) { return f.lines.size() - 1; };
    const auto lineType = [](const capture::CaptureFrame& f) { return f.lines[0].dataIdentifier; };
    struct NamedDamage {
        const char* name;
        StreamDamage damage;
        // Unseen where no packet follows the last line: the frame may come out wrong.
        bool insideTheLastLine = false;
    };
    const NamedDamage damages[] = {
        {"line 2's packet doubled", LinePacketDoubled([](const auto&) { return size_t{2}; })},
        {"the last line's packet doubled", LinePacketDoubled(last)},
        {"the first line's packet doubled", LinePacketDoubled([](const auto&) { return size_t{0}; })},
        {"the embedded packet's identifier damaged into the lines' type",
         [&](const std::vector<capture::CaptureFrame>& clean, size_t i,
             const StreamShape&) -> std::optional<std::vector<uint8_t>> {
             std::vector<uint8_t> damaged = clean[i].bytes;
             for (const csi2ipl::PacketItem& packet : csi2ipl::find_all_Longpackages(damaged.data(), damaged.size()))
                 if (packet.DataType() == capture::type::kEmbedded && packet.offset < clean[i].lines[0].offset) {
                     damaged[packet.offset + 4] = lineType(clean[i]);
                     return damaged;
                 }
             return std::nullopt;
         }},
        {"two frames run together",
         [](const std::vector<capture::CaptureFrame>& clean, size_t i, const StreamShape&) {
             std::vector<uint8_t> both = clean[i].bytes;
             both.insert(both.end(), clean[i + 1].bytes.begin(), clean[i + 1].bytes.end());
             return std::optional(csi2_frames::WithSizeWord(std::move(both)));
         }},
        {"a byte gained inside line 2", OneByte(DamageKind::kGained, [&](const auto& f) { return payload(f, 2) + 10; })},
        {"a byte lost inside line 2", OneByte(DamageKind::kLost, [&](const auto& f) { return payload(f, 2) + 10; })},
        {"a byte gained inside the last line",
         OneByte(DamageKind::kGained, [&](const auto& f) { return payload(f, last(f)) + 10; }), true},
        {"a byte lost inside the last line",
         OneByte(DamageKind::kLost, [&](const auto& f) { return payload(f, last(f)) + 10; }), true},
        {"line 2's ECC byte lost", OneByte(DamageKind::kLost, [&](const auto& f) { return header(f, 2) + 7; })},
        {"a stray B8 in front of line 2",
         OneByte(DamageKind::kGained, [&](const auto& f) { return header(f, 2); }, [](const auto&) { return uint8_t{0xB8}; })},
        {"a bit of line 2's identifier flipped",
         OneByte(DamageKind::kChanged, [&](const auto& f) { return header(f, 2) + 4; },
                 [](const auto& f) { return static_cast<uint8_t>(f.lines[2].dataIdentifier ^ 1); })},
        {"the last line's identifier overwritten with embedded data's",
         OneByte(DamageKind::kChanged, [&](const auto& f) { return header(f, last(f)) + 4; },
                 [](const auto&) { return capture::type::kEmbedded; })},
    };
    for (const uint8_t type : capture::type::kAll) {
        for (const StreamShape& shape : kStreamShapes) {
            std::vector<capture::CaptureFrame> clean;
            for (unsigned i = 0; i < 6; ++i) clean.push_back(ShapedFrame(shape, type, i));
            for (const NamedDamage& damage : damages) {
                for (const size_t damagedFrame : {size_t{0}, size_t{1}, size_t{3}}) {
                    const std::optional<std::vector<uint8_t>> damaged =
                        damage.damage(clean, damagedFrame, shape);
                    if (!damaged) continue;
                    const bool packetAfterLastLine =
                        shape.frameMarkers || (shape.embeddedAfterLinesInEvenFrames && damagedFrame % 2 == 0);
                    const bool mayComeOutWrong =
                        damagedFrame == 0 || (damage.insideTheLastLine && !packetAfterLastLine);
                    for (const bool detected : {false, true}) {
                        if (detected && type == capture::type::kYuv422_8_YUSwapped) continue;
                        for (const bool frameSizeCheck : {true, false}) {
                            SCOPED_TRACE(std::string(ChoiceOf(type)) + (detected ? ", AUTO" : "") + ", " + shape.name +
                                         ", frame " + std::to_string(damagedFrame) + ": " + damage.name +
                                         (frameSizeCheck ? "" : ", size unchecked"));
                            DecoderRig& rig = Started(detected ? "AUTO" : ChoiceOf(type), frameSizeCheck);
                            for (size_t i = 0; i < clean.size(); ++i)
                                EXPECT_EQ(rig.Feed(i == damagedFrame ? *damaged : clean[i].bytes, static_cast<long>(i) + 1), 0);
                            std::vector<bool> published(clean.size(), false);
                            long previous = 0;
                            for (const SinkRecord& image : rig.Images()) {
                                EXPECT_GT(image.timestamp, previous) << "images out of the frames' order";
                                previous = image.timestamp;
                                const size_t i = static_cast<size_t>(image.timestamp - 1);
                                if (i >= clean.size() || published[i]) {
                                    ADD_FAILURE() << "image of timestamp " << image.timestamp << " published again";
                                    continue;
                                }
                                published[i] = true;
                                if (i == damagedFrame && mayComeOutWrong) continue;
                                SCOPED_TRACE("frame " + std::to_string(i));
                                ExpectImage(image, clean[i], type, false, 0);
                            }
                            for (size_t i = 0; i < clean.size(); ++i)
                                EXPECT_TRUE(published[i] || i == damagedFrame)
                                    << "frame " << i << " " << ::testing::PrintToString(Reports());
                        }
                    }
                }
            }
        }
    }
}

// The images of a stream of 4 frames, frame `damagedFrame` damaged: every clean frame comes
// out as the clean image. The damaged frame is dropped or comes out as the clean image too,
// but for line `firstFrameLine` when it is the geometry frame (-1: none; -2: any image, its
// lines not counted as the clean frame's) and line `laterFrameLine` when it is a later one.
void ExpectDamageCostsAtMostItsFrame(const std::vector<SinkRecord>& images, const reference::Image& expected,
                                     long damagedFrame, long firstFrameLine, long laterFrameLine) {
    size_t cleanImages = 0;
    for (const SinkRecord& image : images) {
        const bool damagedImage = image.timestamp == 1 + damagedFrame;
        if (!damagedImage) ++cleanImages;
        const long exceptLine = !damagedImage ? -1 : damagedFrame == 0 ? firstFrameLine : laterFrameLine;
        if (exceptLine == -2) continue;
        SCOPED_TRACE("frame " + std::to_string(image.timestamp - 1));
        ASSERT_NO_FATAL_FAILURE(ExpectCleanImage(image, expected, exceptLine));
    }
    EXPECT_EQ(cleanImages, 3u);
}

// The line whose packet (header or payload) holds byte `at` of a frame, or -1.
long LineHolding(const capture::CaptureFrame& frame, size_t at, bool headerStart = false) {
    for (size_t y = 0; y < frame.lines.size(); ++y) {
        const uint32_t start = frame.lines[y].offset;
        if ((at > start || (headerStart && at == start)) && at < start + 8 + frame.lines[y].wordCount)
            return static_cast<long>(y);
    }
    return -1;
}

// A started decoder run over 4 frames, frame `damagedFrame` replaced by `damaged`.
std::vector<SinkRecord> DecodeWithOneFrameDamaged(DecoderRig& rig, const SweepConfiguration& configuration,
                                                  const std::vector<uint8_t>& damaged, long damagedFrame) {
    for (long i = 0; i < 4; ++i)
        EXPECT_EQ(rig.Feed(i == damagedFrame ? damaged : configuration.clean.bytes, 1 + i), 0);
    return rig.Images();
}

// A reader that lags behind: it takes published images only when the test asks, as a
// threaded sink busy writing a file does.
class LaggingReader : public TARNModule {
  public:
    explicit LaggingReader(int readerType) : TARNModule("lagging", false, false) {
        const TARNInputDefinition definition{"in", nullptr, nullptr, static_cast<unsigned int>(readerType),
                                             1};
        input = NewInput(definition, nullptr);
    }
    // Its writer runs it for each element published: it takes nothing then.
    void SequentialCore(TARNInput*) override {}
    // What the ring holds for it now, oldest first.
    std::vector<SinkRecord> TakeAll() {
        std::vector<SinkRecord> taken;
        auto& from = static_cast<TARNInputImplementation&>(*input);
        while (from.ring->NbDataAvailable(from.readerId) > 0) {
            const TARNListIterator position = TakeByHand(*input);
            taken.push_back(SinkRecords::RecordOf(TARNIOMonitorImplementation::Element(position)));
            GiveBackByHand(*input, position);
        }
        return taken;
    }
    TARNInput* input;
};

// A first frame a line short (its last line's identifier damaged) gives an image of 4
// lines; the next frame has the line and is kept, and the third agrees with it: their
// images of 5 lines are the stream's, the output's buffers laid out anew. A reader that
// had not taken the first image yet, or holds it, finds it as it was published (never its
// timestamp over the new layout's pixels), then the others: no image is lost to the new
// layout.
TEST_F(DecoderTest, AnImageNotYetTakenIsReadAsItWasPublishedThroughTheLayoutOfTheNextImage) {
    const capture::CaptureFrame clean = Frame(capture::type::kRaw10, 40, 5);
    std::vector<uint8_t> lineShort = clean.bytes;
    lineShort[clean.lines[4].offset + 4] = 0x12;
    for (const int readerType : {int{FifoReader}, int{NeverSkippingReader}}) {
        for (const bool holding : {false, true}) {
            SCOPED_TRACE(std::string(readerType == FifoReader ? "FIFO reader" : "never-skipping reader") +
                         (holding ? ", holding the first image" : ""));
            NewDecoder();
            ClearReports();
            DecoderRig& rig = Fixed(capture::type::kRaw10);
            LaggingReader lagging(readerType);
            TARN::Attach(rig.Decoder().Output("ipl_image"), *lagging.input);
            ASSERT_EQ(rig.Begin(), 0);
            ASSERT_EQ(rig.Feed(lineShort, 1), 0);
            TARNListIterator held = holding ? TakeByHand(*lagging.input) : nullptr;
            ASSERT_EQ(rig.Feed(clean.bytes, 2), 0);
            ASSERT_EQ(rig.Feed(clean.bytes, 3), 0);
            const std::vector<SinkRecord> published = rig.Images();
            ASSERT_EQ(published.size(), 3u) << ::testing::PrintToString(Reports());
            EXPECT_EQ(published[0].height, 4);
            for (size_t i = 1; i < 3; ++i) {
                EXPECT_EQ(published[i].timestamp, static_cast<long>(i) + 1);
                ExpectImage(published[i], clean, capture::type::kRaw10, false, 0);
            }
            EXPECT_EQ(Reports(),
                      (Texts{"Lines of the frame are not the stored ones, which no second frame has confirmed: "
                             "kept until the next frame shows which are the stream's: Lines of the frame make no "
                             "image of 40x4",
                             "Kept frame of timestamp 2 has the stream's lines: the next frame agrees with them, "
                             "not with the stored ones",
                             "The stream's image is 40x5 from this frame on, as two frames agree on it"}));
            std::vector<SinkRecord> taken;
            if (held != nullptr) {
                taken.push_back(SinkRecords::RecordOf(TARNIOMonitorImplementation::Element(held)));
                GiveBackByHand(*lagging.input, held);
            }
            for (const SinkRecord& image : lagging.TakeAll()) taken.push_back(image);
            ASSERT_EQ(taken.size(), 3u) << "every image published, the first among them";
            for (size_t i = 0; i < taken.size(); ++i) {
                const SinkRecord& image = taken[i];
                SCOPED_TRACE("timestamp " + std::to_string(image.timestamp));
                EXPECT_EQ(image.timestamp, static_cast<long>(i) + 1);
                const SinkRecord& same = published.at(static_cast<size_t>(image.timestamp - 1));
                EXPECT_EQ(image.height, same.height);
                EXPECT_TRUE(image.bytes == same.bytes);
            }
            rig.Finish();
        }
    }
}

// A capture of two frames that disagree gives one image: the second is kept for a third
// that never comes, and the run's end says so. The next run learns the lines anew.
TEST_F(DecoderTest, AKeptFrameThatNoFrameFollowsIsDroppedWithAReportAtTheRunsEnd) {
    const capture::CaptureFrame clean = Frame(capture::type::kRaw10, 40, 6);
    const capture::CaptureFrame taller = Frame(capture::type::kRaw10, 40, 7);
    DecoderRig& rig = Fixed(capture::type::kRaw10);
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(clean.bytes, 1), 0);
    ASSERT_EQ(rig.Feed(taller.bytes, 2), 0);
    rig.Finish();
    ASSERT_EQ(rig.ImageCount(), 1u);
    const Texts reports = Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), "Kept frame of timestamp 2 dropped: no frame followed it to show whose lines are the "
                              "stream's");

    ClearReports();
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(taller.bytes, 3), 0);
    ASSERT_EQ(rig.Feed(taller.bytes, 4), 0);
    rig.Finish();
    const std::vector<SinkRecord> images = rig.Images();
    ASSERT_EQ(images.size(), 3u);
    for (size_t i = 1; i < 3; ++i) ExpectImage(images[i], taller, capture::type::kRaw10, false, 0);
    EXPECT_EQ(Reports(), Texts{});
}

// One stray byte of any value anywhere in one frame of four, the geometry frame, the second
// (checked at every line of the first) or the third (checked at the lines the first two
// share), in every data type, given or detected, with footers or without, the frame-size
// check on or off (a seeded sample of the placements): each clean frame comes out as the
// clean image. The stray geometry frame is dropped or comes out with every line right but
// the one whose packet holds the byte; a later stray frame is dropped or comes out as the
// clean image, but where the byte stands inside the last line, behind which nothing moves
// (these frames end with the last line).
TEST_F(DecoderTest, OneStrayByteAnywhereCostsAtMostItsOwnFrame) {
    std::mt19937 random(26);
    ForEachSweepConfiguration([&](const SweepConfiguration& configuration) {
        const capture::CaptureFrame& clean = configuration.clean;
        const long lastLine = static_cast<long>(clean.lines.size()) - 1;
        for (int sample = 0; sample < 30; ++sample) {
            const long strayFrame = static_cast<long>(random() % 3);
            const size_t at = random() % (clean.bytes.size() + 1);
            const uint8_t value = random() % 2 ? 0xB8 : static_cast<uint8_t>(random());
            const bool frameSizeCheck = random() % 2;
            const long ownLine = LineHolding(clean, at);
            SCOPED_TRACE("frame " + std::to_string(strayFrame) + ", byte " + std::to_string(value) +
                         " in front of byte " + std::to_string(at) +
                         (frameSizeCheck ? ", size checked" : ""));
            std::vector<uint8_t> stray = clean.bytes;
            stray.insert(stray.begin() + static_cast<long>(at), value);

            const std::vector<SinkRecord> images = DecodeWithOneFrameDamaged(
                Started(SweepFormat(configuration), frameSizeCheck), configuration, stray, strayFrame);
            ASSERT_NO_FATAL_FAILURE(ExpectDamageCostsAtMostItsFrame(
                images, configuration.expected, strayFrame, ownLine, ownLine == lastLine ? lastLine : -1));
        }
    });
}

// One byte lost anywhere in one frame of four (inside a payload, a header, a footer, the
// frame header), or one bit of a line's data identifier flipped, in the geometry frame, the
// second or the third, in every data type, given or detected, with footers or without, the
// frame-size check on or off (a seeded sample): each clean frame comes out as the clean
// image, and a later damaged frame is dropped or comes out as the clean image. The damaged
// geometry frame is dropped or comes out with every line right but the one whose packet
// lost the byte; with a line's header damaged it may come out with a line fewer, and with
// its identifier damaged as any image.
TEST_F(DecoderTest, OneByteLostOrOneIdentifierBitFlippedCostsAtMostItsOwnFrame) {
    using csi2_frames::DamageKind;
    std::mt19937 random(30);
    ForEachSweepConfiguration([&](const SweepConfiguration& configuration) {
        const capture::CaptureFrame& clean = configuration.clean;
        for (int sample = 0; sample < 30; ++sample) {
            const long damagedFrame = static_cast<long>(random() % 3);
            const bool frameSizeCheck = random() % 2;
            std::vector<uint8_t> damaged;
            long firstFrameLine = -2;
            std::string what;
            if (random() % 2) {
                const size_t at = random() % clean.bytes.size();
                damaged = csi2_frames::Damaged(clean.bytes, {DamageKind::kLost, at});
                const long ownLine = LineHolding(clean, at, true);
                const bool inHeader =
                    ownLine >= 0 && at < clean.lines[static_cast<size_t>(ownLine)].offset + 8;
                firstFrameLine = inHeader ? -2 : ownLine;
                what = "byte " + std::to_string(at) + " lost";
            } else {
                const size_t y = random() % clean.lines.size();
                const uint8_t bit = static_cast<uint8_t>(1u << (random() % 8));
                const size_t at = clean.lines[y].offset + 4;
                damaged = csi2_frames::Damaged(
                    clean.bytes, {DamageKind::kChanged, at, static_cast<uint8_t>(clean.bytes[at] ^ bit)});
                what = "identifier of line " + std::to_string(y) + " ^ " + std::to_string(bit);
            }
            SCOPED_TRACE("frame " + std::to_string(damagedFrame) + ", " + what +
                         (frameSizeCheck ? ", size checked" : ""));
            const std::vector<SinkRecord> images = DecodeWithOneFrameDamaged(
                Started(SweepFormat(configuration), frameSizeCheck), configuration, damaged, damagedFrame);
            ASSERT_NO_FATAL_FAILURE(ExpectDamageCostsAtMostItsFrame(images, configuration.expected,
                                                                    damagedFrame, firstFrameLine, -1));
            ClearReports();
        }
    });
}

// One stray byte inside a line's packet header of the geometry frame: in its preamble,
// in front of its data identifier or inside its word count, in front of the first line,
// the second or the last, in every data type, given or detected, with footers or without,
// each byte 0x00, 0x01, 0xB8 and one drawn from a seed. Counted as it stands, such a frame
// has a line fewer or a line of another word count, whose image (a line fewer, another
// width) would be the stream's: every later frame would be cut to it or refused for it.
// The two clean frames after it come out, each the clean image, and the stray frame is
// dropped or comes out as the clean image too (a B8 in the preamble stands in front of the
// packet as well). A byte that repeats the header bytes behind it up to the ECC gives the
// bytes of a stray byte in front of the ECC, which leaves the header whole and costs the
// line its pixels in that frame alone. Each placement is a run of its own (Birth to
// Death), which measures its first frame as a new decoder does.
TEST_F(DecoderTest, OneStrayByteInALineHeaderOfTheGeometryFrameCostsOnlyThatFrame) {
    std::mt19937 random(261);
    ForEachSweepConfiguration([&](const SweepConfiguration& configuration) {
        const capture::CaptureFrame& clean = configuration.clean;
        NewDecoder();
        DecoderRig& rig = Rig();
        rig.Set("CSI2_Dataformat", configuration.detected ? "AUTO" : ChoiceOf(configuration.type));
        rig.Set("skip_first_frames", false);
        for (const size_t y : {size_t{0}, size_t{1}, clean.lines.size() - 1}) {
            const uint32_t line = clean.lines[y].offset;
            for (uint32_t place = 1; place <= 6; ++place) {
                for (const uint8_t value :
                     {uint8_t{0x00}, uint8_t{0x01}, uint8_t{0xB8}, static_cast<uint8_t>(random())}) {
                    const size_t at = line + place;
                    SCOPED_TRACE("byte " + std::to_string(value) + " at header byte " +
                                 std::to_string(place) + " of line " + std::to_string(y));
                    size_t repeated = at;
                    while (repeated < clean.bytes.size() && clean.bytes[repeated] == value) ++repeated;
                    const bool inFrontOfTheEcc = repeated >= line + 7;
                    std::vector<uint8_t> stray = clean.bytes;
                    stray.insert(stray.begin() + static_cast<long>(at), value);

                    const size_t before = rig.ImageCount();
                    ASSERT_EQ(rig.Begin(), 0);
                    for (long i = 0; i < 3; ++i) ASSERT_EQ(rig.Feed(i == 0 ? stray : clean.bytes, 1 + i), 0);
                    rig.Finish();
                    size_t cleanImages = 0;
                    const std::vector<SinkRecord> images = rig.Images();
                    for (size_t i = before; i < images.size(); ++i) {
                        const SinkRecord& image = images[i];
                        const bool strayImage = image.timestamp == 1;
                        if (!strayImage) ++cleanImages;
                        ASSERT_NO_FATAL_FAILURE(
                            ExpectCleanImage(image, configuration.expected,
                                             strayImage && inFrontOfTheEcc ? static_cast<long>(y) : -1));
                    }
                    EXPECT_EQ(cleanImages, 2u) << ::testing::PrintToString(Reports());
                    ClearReports();
                }
            }
        }
    });
}

// One byte lost from a line's packet header of the geometry frame, any of its 8, in front
// of the first line, the second or the last, in every data type, given or detected, with
// footers or without: the line is not counted, or counted at another word count or place.
// The frames after it come out, each the clean image; the damaged frame itself may come
// out with a line fewer, nothing in it showing the loss.
TEST_F(DecoderTest, OneByteLostFromALineHeaderOfTheGeometryFrameCostsOnlyThatFrame) {
    using csi2_frames::DamageKind;
    ForEachSweepConfiguration([&](const SweepConfiguration& configuration) {
        const capture::CaptureFrame& clean = configuration.clean;
        for (const size_t y : {size_t{0}, size_t{1}, clean.lines.size() - 1}) {
            for (uint32_t place = 0; place < 8; ++place) {
                SCOPED_TRACE("header byte " + std::to_string(place) + " of line " + std::to_string(y) +
                             " lost");
                const std::vector<uint8_t> damaged =
                    csi2_frames::Damaged(clean.bytes, {DamageKind::kLost, clean.lines[y].offset + place});
                const std::vector<SinkRecord> images = DecodeWithOneFrameDamaged(
                    Started(SweepFormat(configuration), true), configuration, damaged, 0);
                ASSERT_NO_FATAL_FAILURE(
                    ExpectDamageCostsAtMostItsFrame(images, configuration.expected, 0, -2, -1));
                ClearReports();
            }
        }
    });
}

// The geometry frame with a line packet that cannot be read is dropped with a report, and
// the next frame is measured as the first was: a stray 0x00 inside the last line's
// preamble (that line not counted: the image would be a line short, every later frame cut
// to it, unreported), or inside line 0's word count (a word count that stays inside the
// data: the width would come from it, every later frame refused). A word count that takes
// in every line behind it leaves one line, which no other contradicts: the headers it
// takes in give it away. AUTO needs two lines of a type; that one line is too few.
TEST_F(DecoderTest, AGeometryFrameWithALinePacketThatCannotBeReadIsDropped) {
    struct Case {
        const char* name;
        const capture::CaptureFrame& clean;
        size_t line;
        uint32_t place;  // in the packet header
        uint8_t value;
        Texts reports;  // given type, AUTO
    };
    const capture::CaptureFrame raw10 = Frame(capture::type::kRaw10, 80, 5);  // word count 100
    const capture::CaptureFrame wide = Frame(capture::type::kRaw10, 240, 5);  // word count 300
    const capture::CaptureFrame raw8 = Frame(capture::type::kRaw8, 64, 5);    // word count 64
    const std::string missing =
        "Line packet cannot be read at byte " + std::to_string(raw10.lines[4].offset) + ", skip frame";
    const std::string wider = "Line word counts differ: 356 at byte 64, 100 at byte " +
                              std::to_string(raw10.lines[4].offset + 1) + ", skip frame";
    const std::string narrower = "Line word counts differ: 44 at byte 64, 300 at byte " +
                                 std::to_string(wide.lines[1].offset + 1) + ", skip frame";
    const Case cases[] = {
        {"0x00 in the last line's preamble", raw10, 4, 2, 0x00, {missing, missing}},
        {"0x01 in line 0's word count: 356, over lines 1 to 3", raw10, 0, 6, 0x01, {wider, wider}},
        {"0x00 in line 0's word count: 44", wide, 0, 6, 0x00, {narrower, narrower}},
        {"0x01 in line 0's word count: 320, over every other line",
         raw8,
         0,
         6,
         0x01,
         {"Line packet cannot be read at byte " + std::to_string(raw8.lines[1].offset + 1) + ", skip frame",
          "AUTO found only 1 Line or less skipp frame"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint8_t type = c.clean.lines[0].dataIdentifier;
        std::vector<uint8_t> stray = c.clean.bytes;
        stray.insert(stray.begin() + c.clean.lines[c.line].offset + c.place, c.value);
        for (const bool detected : {false, true}) {
            SCOPED_TRACE(detected ? "AUTO" : "given type");
            NewDecoder();
            ClearReports();
            DecoderRig& rig = Rig();
            rig.Set("CSI2_Dataformat", detected ? "AUTO" : ChoiceOf(type));
            rig.Set("skip_first_frames", false);
            ASSERT_EQ(rig.Begin(), 0);
            for (long i = 0; i < 3; ++i) ASSERT_EQ(rig.Feed(i == 0 ? stray : c.clean.bytes, 1 + i), 0);
            const std::vector<SinkRecord> images = rig.Images();
            ASSERT_EQ(images.size(), 2u) << ::testing::PrintToString(Reports());
            for (const SinkRecord& image : images) ExpectImage(image, c.clean, type, false, 0);
            EXPECT_EQ(images[0].timestamp, 2);
            EXPECT_EQ(Reports(), Texts{c.reports[detected]});
        }
    }
}

// A later frame whose lines are not where the stored ones are, and whose own lines are not
// taken, is dropped with the check's reports and the reason its lines were not taken:
// wider lines, or a line packet whose word count a stray byte changed (the frame's lines
// would make the stream's image, one of them read at that word count).
TEST_F(DecoderTest, ALaterFrameWhoseLinesAreNotTakenSaysWhy) {
    const capture::CaptureFrame clean = Frame(capture::type::kRaw10, 240, 5);
    const capture::CaptureFrame wider = Frame(capture::type::kRaw10, 244, 5);
    std::vector<uint8_t> damaged = clean.bytes;
    damaged.insert(damaged.begin() + clean.lines[2].offset + 6, 0x00);  // word count 300 read as 44
    const auto lineStart = [&](const std::vector<uint8_t>& frame, size_t y) {
        uint32_t found = 0;
        std::memcpy(&found, &frame[clean.lines[y].offset], 4);
        return "Pointer to line start: " + std::to_string(found) + " header value 3099113656";
    };
    struct Case {
        const char* name;
        const std::vector<uint8_t>& frame;
        Texts reports;
    } cases[] = {
        {"wider lines",
         wider.bytes,
         {lineStart(wider.bytes, 1), "Line doesn't start with csi2 header",
          "Lines of the frame are not those two frames agreed on: kept until the next frame shows which are "
          "the stream's: Lines of the frame make no image of 240x5"}},
        {"a word count changed",
         damaged,
         {lineStart(damaged, 4), "Line doesn't start with csi2 header",
          "Line word counts differ: 300 at byte 64, 44 at byte " + std::to_string(clean.lines[2].offset) +
              ", skip frame"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewDecoder();
        DecoderRig& rig = Fixed(capture::type::kRaw10);
        rig.Set("frame_size_check", false);
        ASSERT_EQ(rig.Begin(), 0);
        ASSERT_EQ(rig.Feed(clean.bytes), 0);
        ASSERT_EQ(rig.Feed(clean.bytes), 0);
        ClearReports();
        ASSERT_EQ(rig.Feed(c.frame, 3), 0);
        EXPECT_EQ(rig.ImageCount(), 2u);
        EXPECT_EQ(Reports(), c.reports);
        ClearReports();
        ASSERT_EQ(rig.Feed(clean.bytes), 0);
        EXPECT_EQ(rig.ImageCount(), 3u);
        // A frame kept for the next one to decide is dropped when that one agrees with the
        // stream's lines.
        EXPECT_EQ(Reports(), c.frame == wider.bytes
                                 ? Texts{"Kept frame of timestamp 3 dropped: Lines of the frame make no image of "
                                         "240x5, skip frame"}
                                 : Texts{});
    }
}

// Two frames in a row, each with one stray B8 in front of another line: three frames that
// disagree, then one that agrees with the third (the first two are stray) or with the
// first (the next two are). Each kept frame is dropped when the next agrees with neither,
// or with the stored lines; every image that comes out is the clean frame's.
TEST_F(DecoderTest, TwoStrayFramesInARowCostAtMostThemselves) {
    struct Case {
        const char* name;
        std::vector<int> strayBefore;  // by frame: the line the stray byte stands in front of, -1 for none
        std::vector<long> published;   // frames, by timestamp
    } cases[] = {
        {"the geometry frame in front of line 3, the next in front of line 2", {3, 2, -1, -1}, {1, 3, 4}},
        {"the geometry frame in front of line 2, the next in front of line 3", {2, 3, -1, -1}, {1, 3, 4}},
        {"later frames: in front of line 3, then line 2", {-1, 3, 2, -1}, {1, 4}},
        {"later frames: in front of line 2, then line 3", {-1, 2, 3, -1}, {1, 4}},
    };
    const capture::CaptureFrame clean = Frame(capture::type::kRaw10, 80, 6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewDecoder();
        ClearReports();
        DecoderRig& rig = Fixed(capture::type::kRaw10);
        rig.Set("frame_size_check", false);
        ASSERT_EQ(rig.Begin(), 0);
        long timestamp = 0;
        for (const int line : c.strayBefore)
            ASSERT_EQ(
                rig.Feed(line < 0 ? clean.bytes : csi2_frames::WithStrayByte(clean, line).bytes, ++timestamp),
                0);
        const std::vector<SinkRecord> images = rig.Images();
        std::vector<long> published;
        for (const SinkRecord& image : images) {
            published.push_back(image.timestamp);
            ExpectImage(image, clean, capture::type::kRaw10, false, 0);
        }
        EXPECT_EQ(published, c.published) << ::testing::PrintToString(Reports());
    }
}

// ---- Skipping, the checks and their reports ---------------------------------------------

// With "skip_first_frames" (the default) the first 10 frames after Birth produce nothing
// and count for nothing; a second run of the same instance skips 10 again and repeats the
// geometry pass.
TEST_F(DecoderTest, TheFirstTenFramesOfEachRunAreSkipped) {
    DecoderRig& rig = Rig();
    rig.Set("CSI2_Dataformat", "0x2c_RAW12");
    rig.Set("benchmark_component", true);
    rig.Set("print_debug", true);
    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ClearReports();
        ASSERT_EQ(rig.Begin(), 0);
        for (int i = 0; i < 10; ++i) ASSERT_EQ(rig.Feed(frame.bytes), 0);
        EXPECT_EQ(rig.ImageCount(), static_cast<size_t>(run));
        EXPECT_EQ(Reports(), Texts{});
        ASSERT_EQ(rig.Feed(frame.bytes), 0);
        EXPECT_EQ(rig.ImageCount(), static_cast<size_t>(run + 1));
        EXPECT_EQ(Reports(), (Texts{"Line length is: " + std::to_string(frame.lines[1].offset - frame.lines[0].offset),
                                   "Size of the frame is: 256", "Width of the frame is: 64",
                                   "Height of the frame is: 4"}));
        rig.Finish();
        const Texts reports = Reports();
        ASSERT_EQ(reports.size(), 4u + 7u);
        EXPECT_EQ(reports[4], "Number of frames: 1");
    }
}

// A frame whose frame-size word is larger than the stored one, when checked, is measured:
// with its lines in place it is decoded, and its word, when its data holds as many bytes,
// becomes the one later frames are checked against (a geometry frame a byte short costs no
// later frame; a damaged word is not kept); with its lines apart it is dropped, with both
// reasons. A smaller word passes unmeasured.
TEST_F(DecoderTest, ALargerFrameSizeWordIsMeasuredWhenChecked) {
    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    const uint32_t word = static_cast<uint32_t>(frame.bytes.size());
    const auto withWord = [](std::vector<uint8_t> bytes, uint32_t sizeWord) {
        std::memcpy(bytes.data(), &sizeWord, 4);
        return bytes;
    };
    std::vector<uint8_t> larger = frame.bytes;
    larger.push_back(0);  // a byte of padding after the last line
    larger = withWord(larger, word + 1);
    const std::vector<uint8_t> wordDamaged = withWord(frame.bytes, word + 1000);
    std::vector<uint8_t> apart = frame.bytes;
    apart.insert(apart.begin() + frame.lines[2].offset, 0x00);  // between lines 1 and 2
    apart = withWord(apart, word + 5);

    DecoderRig& rig = Fixed(capture::type::kRaw12);
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    ASSERT_EQ(rig.Feed(wordDamaged), 0);
    ASSERT_EQ(rig.Feed(larger), 0);
    EXPECT_EQ(rig.ImageCount(), 3u);
    EXPECT_EQ(Reports(), Texts{});
    ASSERT_EQ(rig.Feed(larger), 0);
    EXPECT_EQ(rig.ImageCount(), 4u) << "the larger word is the stream's now";
    EXPECT_EQ(Reports(), Texts{});
    ASSERT_EQ(rig.Feed(apart), 0);
    EXPECT_EQ(rig.ImageCount(), 4u);
    EXPECT_EQ(Reports(), (Texts{"Frame size mismatch target: " + std::to_string(word + 5) +
                                    " got: " + std::to_string(word + 1),
                                "Lines of the frame are not those two frames agreed on: kept until the next frame "
                                "shows which are the stream's: Line packet at byte " +
                                    std::to_string(frame.lines[1].offset) +
                                    " does not end where the stream's lines end"}));
    ASSERT_EQ(rig.Feed(withWord(frame.bytes, 100)), 0);
    EXPECT_EQ(rig.ImageCount(), 5u) << "a smaller word passes";
    for (const SinkRecord& image : rig.Images()) ExpectImage(image, frame, capture::type::kRaw12, false, 0);

    rig.Finish();
    rig.Set("frame_size_check", false);
    ClearReports();
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    ASSERT_EQ(rig.Feed(withWord(frame.bytes, word + 100)), 0);
    EXPECT_EQ(rig.ImageCount(), 7u);
    EXPECT_EQ(Reports(), Texts{});
}

TEST_F(DecoderTest, AFrameWithoutItsSecondLineIsDroppedWithTheLineReports) {
    const capture::CaptureFrame frame = Frame(capture::type::kRaw10, 64, 4);
    std::vector<uint8_t> broken = frame.bytes;
    broken[frame.lines[1].offset] = 0x12;
    uint32_t found = 0;
    std::memcpy(&found, &broken[frame.lines[1].offset], 4);

    DecoderRig& rig = Fixed(capture::type::kRaw10, "CPU_LEGACY");
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    ASSERT_EQ(rig.Feed(broken), 0);
    EXPECT_EQ(rig.ImageCount(), 2u);
    EXPECT_EQ(Reports(),
              (Texts{"Pointer to line start: " + std::to_string(found) + " header value 3099113656",
                     "Line doesn't start with csi2 header",
                     "Line packet cannot be read at byte " + std::to_string(frame.lines[1].offset) +
                         ", skip frame"}));
}

// Later frames are decoded at the geometry frame's line offsets: one shorter than those
// lines is dropped, whatever its frame-size word says, and so is one too short for a
// packet. The bytes are the used ones of the element, not its whole buffer, which still
// holds an older, longer frame.
TEST_F(DecoderTest, FramesShorterThanTheLinesAreDropped) {
    const capture::CaptureFrame frame = Frame(capture::type::kRaw16, 64, 6);
    DecoderRig& rig = Fixed(capture::type::kRaw16);
    rig.Set("frame_size_check", false);
    ASSERT_EQ(rig.Begin(), 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(rig.Feed(frame.bytes), 0);  // every ring buffer holds the frame
    const size_t cut = frame.lines.back().offset + 8 + 10;
    ASSERT_EQ(rig.Feed(std::vector<uint8_t>(frame.bytes.begin(), frame.bytes.begin() + cut)), 0);
    ASSERT_EQ(rig.Feed(std::vector<uint8_t>(frame.bytes.begin(), frame.bytes.begin() + 20)), 0);
    EXPECT_EQ(rig.ImageCount(), 4u);
    const size_t span = frame.lines.back().offset + 8 + frame.lines.back().wordCount + 2;  // its footer
    EXPECT_EQ(Reports(), (Texts{"Frame shorter than its lines: " + std::to_string(cut) +
                                    " bytes, the lines need " + std::to_string(span),
                                "Line packet cannot be read at byte " +
                                    std::to_string(frame.lines.back().offset) + ", skip frame",
                                "Frame too short for a CSI2 packet: 20 bytes, skip frame"}));
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    EXPECT_EQ(rig.ImageCount(), 5u);
}

TEST_F(DecoderTest, Raw12LimitedTo8ReportsTheFallbackOnTheGeometryFrameOnly) {
    DecoderRig& rig = Fixed(capture::type::kRaw12, "CPU");
    rig.Set("limit_depth_to_8", true);
    rig.Set("limit_depth_to_8_Bitshift", "8");
    ASSERT_EQ(rig.Begin(), 0);
    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(rig.Feed(frame.bytes), 0);
    EXPECT_EQ(Reports(), Texts{"Not supported in new implementation fallin back to legacy mode"});
    ASSERT_EQ(rig.ImageCount(), 3u);
    ExpectImage(rig.Images()[2], frame, capture::type::kRaw12, true, 8);
}

// The bit shift may change while running: each frame is unpacked with the shift read for
// it, not with the one of the geometry frame.
TEST_F(DecoderTest, TheBitShiftOfEachFrameIsTheOneSetWhenItCame) {
    for (bool limitTo8 : {false, true}) {
        SCOPED_TRACE(limitTo8);
        NewDecoder();
        DecoderRig& rig = Fixed(capture::type::kRaw10, "CPU_LEGACY");
        rig.Set("limit_depth_to_8", limitTo8);
        ASSERT_EQ(rig.Begin(), 0);
        std::vector<capture::CaptureFrame> frames;
        const unsigned shifts[] = {0, 3, 8};
        for (unsigned shift : shifts) {
            rig.Set("limit_depth_to_8_Bitshift", static_cast<long>(shift));
            frames.push_back(Frame(capture::type::kRaw10, 64, 4, shift + 1));
            ASSERT_EQ(rig.Feed(frames.back().bytes), 0);
        }
        ASSERT_EQ(rig.ImageCount(), std::size(shifts));
        for (size_t i = 0; i < std::size(shifts); ++i)
            ExpectImage(rig.Images()[i], frames[i], capture::type::kRaw10, limitTo8, shifts[i]);
    }
}

// ---- AUTO -----------------------------------------------------------------------------

// Two data types alternating with equal counts: the one met first is the type.
TEST_F(DecoderTest, AutoBreaksATieForTheTypeMetFirst) {
    std::mt19937 random(9);
    capture::FrameWriter writer;
    capture::CaptureFrame frame;
    for (uint32_t y = 0; y < 8; ++y) {
        const uint8_t type = y % 2 == 0 ? capture::type::kRaw10 : capture::type::kRaw12;
        if (type == capture::type::kRaw10)
            frame.lines.push_back({static_cast<uint32_t>(writer.Size()), type, capture::WordCountFor(type, 64)});
        writer.LongPacket(type, capture::LinePayload(type, 64, y, capture::Pattern::kRandom, random));
    }
    frame.bytes = writer.Finish();
    DecoderRig& rig = Rig();
    rig.Set("skip_first_frames", false);
    rig.Set("print_debug", true);
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    ASSERT_EQ(rig.ImageCount(), 1u);
    ExpectImage(rig.Images()[0], frame, capture::type::kRaw10, false, 0);
    EXPECT_EQ(Reports().at(0), "Target CSI2 is probably 43");
}

// AUTO counts identifiers with their virtual channel: RAW12 lines split over two channels
// are two candidates of 3, beaten by 4 RAW8 lines. Once RAW12 wins (3 against 2), all six
// of its lines are taken, whatever their channel.
TEST_F(DecoderTest, AutoCountsVirtualChannelsApartButTakesEveryLineOfTheType) {
    auto frameWith = [](uint32_t raw8Lines) {
        std::mt19937 random(4);
        capture::FrameWriter writer;
        capture::CaptureFrame frame;
        for (uint32_t y = 0; y < 6; ++y) {
            const uint8_t identifier = static_cast<uint8_t>(capture::type::kRaw12 | (y % 2 == 0 ? 0x00 : 0x40));
            frame.lines.push_back(
                {static_cast<uint32_t>(writer.Size()), identifier, capture::WordCountFor(capture::type::kRaw12, 64)});
            writer.LongPacket(identifier,
                              capture::LinePayload(capture::type::kRaw12, 64, y, capture::Pattern::kRandom, random));
        }
        for (uint32_t y = 0; y < raw8Lines; ++y)
            writer.LongPacket(capture::type::kRaw8,
                              capture::LinePayload(capture::type::kRaw8, 64, y, capture::Pattern::kRandom, random));
        frame.bytes = writer.Finish();
        return frame;
    };
    const capture::CaptureFrame raw12Wins = frameWith(2);
    DecoderRig& rig = Rig();
    rig.Set("skip_first_frames", false);
    rig.Set("print_debug", true);
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(raw12Wins.bytes), 0);
    ASSERT_EQ(rig.ImageCount(), 1u);
    EXPECT_EQ(rig.Images()[0].height, 6);
    ExpectImage(rig.Images()[0], raw12Wins, capture::type::kRaw12, false, 0);
    EXPECT_EQ(Reports().at(0), "Target CSI2 is probably 44");

    rig.Finish();
    ClearReports();
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(frameWith(4).bytes), 0);
    ASSERT_EQ(rig.ImageCount(), 2u);
    EXPECT_EQ(rig.Images()[1].height, 4) << "the RAW8 lines";
    EXPECT_EQ(Reports().at(0), "Target CSI2 is probably 42");
}

// AUTO lists packets from the frame's first byte: a preamble inside the frame header
// counts. One RAW12 line alone is too few; with a RAW12 packet in the header it is enough,
// and the image is the one line found behind the header.
TEST_F(DecoderTest, AutoTakesAPreambleInTheFrameHeaderAsAPacket) {
    const capture::CaptureFrame oneLine = Frame(capture::type::kRaw12, 64, 1);
    DecoderRig& rig = Rig();
    rig.Set("skip_first_frames", false);
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(oneLine.bytes), 0);
    EXPECT_EQ(rig.ImageCount(), 0u);
    EXPECT_EQ(Reports(), Texts{"AUTO found only 1 Line or less skipp frame"});

    std::vector<uint8_t> withHeaderPacket = oneLine.bytes;
    capture::PutPacketHeader(&withHeaderPacket[8], capture::type::kRaw12, 16);
    ClearReports();
    ASSERT_EQ(rig.Feed(withHeaderPacket), 0);
    ASSERT_EQ(rig.ImageCount(), 1u);
    EXPECT_EQ(Reports(), Texts{});
    ExpectImage(rig.Images()[0], oneLine, capture::type::kRaw12, false, 0);
}

TEST_F(DecoderTest, AFixedTypeThatIsNotThereIsReportedFrameAfterFrame) {
    DecoderRig& rig = Fixed(capture::type::kRaw10);
    ASSERT_EQ(rig.Begin(), 0);
    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    EXPECT_EQ(rig.ImageCount(), 0u);
    EXPECT_EQ(Reports(), (Texts{"Target CSI2 type not found try next Frame", "Target CSI2 type not found try next Frame"}));
}

// "overwrite_CSI2_Decoder" decodes the lines found by another rule; with AUTO as the rule
// it keeps the target's own.
TEST_F(DecoderTest, OverwriteDecodesTheLinesWithAnotherRule) {
    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    for (const auto& [rule, decodeType] :
         {std::pair{"0x2a_RAW8", capture::type::kRaw8}, std::pair{"AUTO", capture::type::kRaw12}}) {
        SCOPED_TRACE(rule);
        NewDecoder();
        DecoderRig& rig = Rig();
        rig.Set("skip_first_frames", false);
        rig.Set("overwrite_CSI2_Decoder", true);
        rig.Set("overwrite_CSI2_Dataformat_as", rule);
        ASSERT_EQ(rig.Begin(), 0);
        ASSERT_EQ(rig.Feed(frame.bytes), 0);
        ASSERT_EQ(rig.ImageCount(), 1u);
        ExpectImage(rig.Images()[0], frame, decodeType, false, 0);
    }
}

// A type the decoder cannot unpack (embedded data, the most frequent packets here) is
// reported and skipped before any buffer is laid out for it.
TEST_F(DecoderTest, ADetectedTypeWithoutARuleIsSkippedBeforeAllocating) {
    std::mt19937 random(2);
    capture::FrameWriter writer;
    for (int i = 0; i < 3; ++i) writer.LongPacket(capture::type::kEmbedded, std::vector<uint8_t>(40, 0x11));
    writer.LongPacket(capture::type::kRaw8, capture::LinePayload(capture::type::kRaw8, 64, 0, capture::Pattern::kRandom, random));
    const std::vector<uint8_t> embedded = writer.Finish();

    DecoderRig& rig = Rig();
    rig.Set("skip_first_frames", false);
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(embedded), 0);
    EXPECT_EQ(rig.ImageCount(), 0u);
    EXPECT_EQ(Reports(), Texts{"CSI2 data type not supported: 0x12, skip frame"});
    EXPECT_EQ(rig.Decoder().Output("ipl_image").IOEltSizeBytes(), 0) << "no buffers laid out";

    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    ASSERT_EQ(rig.ImageCount(), 1u);
    ExpectImage(rig.Images()[0], frame, capture::type::kRaw12, false, 0);
}

// ---- Buffers across geometry passes -----------------------------------------------------

// Every run starts with a geometry pass. The output refuses to be laid out twice, so a
// pass that finds buffers of the same format keeps them and one that finds another format
// frees them first: a second run, with or without a new geometry, decodes again instead of
// failing on "Output buffer already initialized".
TEST_F(DecoderTest, AGeometryPassReusesOrReplacesTheBuffersItFinds) {
    DecoderRig& rig = Fixed(capture::type::kRaw12);
    const capture::CaptureFrame first = Frame(capture::type::kRaw12, 64, 4);
    const capture::CaptureFrame wider = Frame(capture::type::kRaw12, 96, 6, 3);
    const capture::CaptureFrame* runs[] = {&first, &first, &wider};
    for (const capture::CaptureFrame* frame : runs) {
        ASSERT_EQ(rig.Begin(), 0);
        ASSERT_EQ(rig.Feed(frame->bytes), 0);
        ASSERT_EQ(rig.Feed(frame->bytes), 0);
        rig.Finish();
    }
    const std::vector<SinkRecord> images = rig.Images();
    ASSERT_EQ(images.size(), 6u) << ::testing::PrintToString(ReportTexts());
    ExpectImage(images[3], first, capture::type::kRaw12, false, 0);
    ExpectImage(images[5], wider, capture::type::kRaw12, false, 0);
    EXPECT_EQ(Reports(), Texts{});
}

// ---- The benchmark report ---------------------------------------------------------------

// Without a frame there is no mean to take: every line says 0.
TEST_F(DecoderTest, TheBenchmarkReportOfARunWithoutFramesSaysZero) {
    DecoderRig& rig = Rig();
    rig.Set("benchmark_component", true);
    ASSERT_EQ(rig.Begin(), 0);
    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    // Read before the frame is skipped: the switch of the last Core counts.
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    rig.Finish();
    EXPECT_EQ(Reports(), (Texts{"Number of frames: 0", "Time in core: 0 ms", "Time for gpu memcpy: 0 ms",
                                "Time for gpu decoding: 0 ms", "Time for cpu decoding: 0 ms",
                                "Time for legacy decoding: 0 ms", "Time for count type function: 0 ms"}));
}

// Every frame that passes the skipping counts, those the geometry pass ends included. The
// count-type time is that of the line counting alone: frames refused before any line was
// counted (AUTO finding one line) add nothing to it, a frame whose lines were counted does.
TEST_F(DecoderTest, TheBenchmarkReportCountsFramesTheGeometryPassEndsAndTimesOnlyLineCounting) {
    DecoderRig& rig = Rig();
    rig.Set("skip_first_frames", false);
    rig.Set("benchmark_component", true);
    ASSERT_EQ(rig.Begin(), 0);
    const capture::CaptureFrame oneLine = Frame(capture::type::kRaw12, 64, 1);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(rig.Feed(oneLine.bytes), 0);
    rig.Finish();
    EXPECT_EQ(rig.ImageCount(), 0u);
    Texts reports = Reports();
    ASSERT_EQ(reports.size(), 3u + 7u);
    EXPECT_EQ(reports[3], "Number of frames: 3");
    EXPECT_EQ(reports[9], "Time for count type function: 0 ms");

    ClearReports();
    ASSERT_EQ(rig.Begin(), 0);
    ASSERT_EQ(rig.Feed(oneLine.bytes), 0);
    ASSERT_EQ(rig.Feed(Frame(capture::type::kRaw12, 64, 4).bytes), 0);
    rig.Finish();
    EXPECT_EQ(rig.ImageCount(), 1u);
    reports = Reports();
    ASSERT_EQ(reports.size(), 1u + 7u);
    EXPECT_EQ(reports[1], "Number of frames: 2");
    EXPECT_NE(reports[7], "Time for count type function: 0 ms");
}

// The frame counter does not wrap after 65,535 frames.
TEST_F(DecoderTest, TheFrameCounterCountsPast65535) {
    DecoderRig& rig = Fixed(capture::type::kRaw8, "CPU_LEGACY");
    rig.Set("benchmark_component", true);
    ASSERT_EQ(rig.Begin(), 0);
    // Frames that fail the frame-size check: counted, cheap, and no image to record.
    const capture::CaptureFrame frame = Frame(capture::type::kRaw8, 8, 2);
    std::vector<uint8_t> larger = frame.bytes;
    larger[0] += 1;
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    for (int i = 1; i < 65537; ++i) {
        ASSERT_EQ(rig.Feed(larger), 0);
        if (i % 4096 == 0) ClearReports();
    }
    ClearReports();
    rig.Finish();
    const Texts reports = Reports();
    ASSERT_EQ(reports.size(), 7u);
    EXPECT_EQ(reports[0], "Number of frames: 65537");
    for (size_t i = 1; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].substr(reports[i].size() - 3), " ms");
        EXPECT_EQ(reports[i].find("inf"), std::string::npos) << reports[i];
        EXPECT_EQ(reports[i].find("nan"), std::string::npos) << reports[i];
    }
}

// ---- Resynchronisation ------------------------------------------------------------------

// A decoder that can resynchronise inside a frame of the test's own, as Core would inside
// the frame in progress.
struct ResynchronisingDecoder : TARNcsi2ipl {
    using TARNcsi2ipl::TARNcsi2ipl;
    unsigned char* Within(std::vector<uint8_t>& frame, size_t offset, bool debug) {
        data = frame.data();
        dataSize = frame.size();
        printDebug = debug;
        unsigned char* position = frame.data() + offset;
        unsigned char* returned = AlignTillNextPreable(&position);
        EXPECT_EQ(returned, position);
        data = nullptr;
        dataSize = 0;
        return position;
    }
    // Resynchronises a position in `elsewhere` while `frame` is in progress.
    unsigned char* Outside(std::vector<uint8_t>& frame, std::vector<uint8_t>& elsewhere) {
        data = frame.data();
        dataSize = frame.size();
        unsigned char* position = elsewhere.data();
        AlignTillNextPreable(&position);
        data = nullptr;
        dataSize = 0;
        return position;
    }
    bool HoldsAFrame() const { return data != nullptr || dataSize != 0; }
};

TEST_F(DecoderTest, ResynchronisationMovesToTheNextPreambleAndReportsLongSkips) {
    ResynchronisingDecoder decoder("decoder", TARNcsi2ipl::s_componentDefinition);
    std::vector<uint8_t> frame(700, 0x11);
    std::memset(frame.data() + 650, 0xB8, 4);
    EXPECT_EQ(decoder.Within(frame, 100, true), frame.data() + 650);
    EXPECT_EQ(decoder.Within(frame, 150, true), frame.data() + 650);
    EXPECT_EQ(Reports(), (Texts{"SKIPPED invalid data in CSI2-Stream: 550 Bytes skipped",
                                "SKIPPED invalid data in CSI2-Stream: 500 Bytes skipped"}));
    ClearReports();
    EXPECT_EQ(decoder.Within(frame, 151, true), frame.data() + 650);
    EXPECT_EQ(decoder.Within(frame, 100, false), frame.data() + 650);
    EXPECT_EQ(decoder.Within(frame, 650, true), frame.data() + 650);
    EXPECT_EQ(Reports(), Texts{}) << "a skip under 500 bytes, or without print_debug, is quiet";
    // A position outside the frame in progress is not the frame's to move.
    std::vector<uint8_t> other(16, 0x11);
    EXPECT_EQ(decoder.Outside(frame, other), other.data());
    // With no frame in progress there is nothing to read: the position stays.
    unsigned char* position = frame.data() + 100;
    EXPECT_EQ(decoder.AlignTillNextPreable(&position), frame.data() + 100);
    EXPECT_EQ(decoder.AlignTillNextPreable(nullptr), nullptr);
}

// Once Core returns, published or not, its input may give the element back at any time:
// the decoder keeps no pointer into it.
TEST_F(DecoderTest, NoFrameIsHeldAfterCore) {
    auto* made = new ResynchronisingDecoder("decoder", TARNcsi2ipl::s_componentDefinition);
    DecoderRig rig{ComponentPointer(made), kMaxFrameBytes};
    rig.Set("CSI2_Dataformat", "0x2c_RAW12");
    rig.Set("skip_first_frames", false);
    ASSERT_EQ(rig.Begin(), 0);
    const capture::CaptureFrame frame = Frame(capture::type::kRaw12, 64, 4);
    ASSERT_EQ(rig.Feed(frame.bytes), 0);
    EXPECT_EQ(rig.ImageCount(), 1u);
    EXPECT_FALSE(made->HoldsAFrame());
    ASSERT_EQ(rig.Feed(std::vector<uint8_t>(frame.bytes.begin(), frame.bytes.begin() + 80)), 0);
    EXPECT_FALSE(made->HoldsAFrame()) << "after a dropped frame";
}

}  // namespace
