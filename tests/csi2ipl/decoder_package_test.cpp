// The decoder as the engine gets it: the built CPU package loaded by the host, its model
// read from TARNGetModulesDefStruct, instances made by the package's own factory, frames
// of every data type decoded bit-exactly, and a corpus of malformed captures run through
// it (under the sanitizers in the dev build) without a crash, a hang or an error.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder_rig.hpp"
#include "host_kernel.hpp"
#include "host_package.hpp"
#include "info_command.hpp"

namespace {

using namespace decoder_rig;
using Texts = std::vector<std::string>;

constexpr size_t kMaxFrameBytes = 512 * 1024;

// One kernel and one package for the whole test program: a package binds the first
// kernel it is given for good and is never unloaded (as in the engine), so neither may go
// before the program ends. The kernel stays bound underneath the kernels other tests make
// and destroy.
class DecoderPackageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
#ifdef PIXTRACT_CPU_PATH
        static const bool loaded = [] {
            kernel = new HostKernel();
            package = new HostPackage();
            std::string error;
            if (!package->Open(PIXTRACT_CPU_PATH, error) || package->Init(*kernel) != 4) {
                ADD_FAILURE() << "cannot load " << PIXTRACT_CPU_PATH << ": " << error;
                return false;
            }
            for (const HostModelInfo& model : package->Models())
                if (model.model == "csi2ipl_cpu")
                    definition = static_cast<TARNComponentDefinition*>(const_cast<void*>(model.definition));
            return true;
        }();
        (void)loaded;
#endif
    }
    void SetUp() override {
        if (definition == nullptr) GTEST_SKIP() << "no CPU package with the decoder";
        recorder = std::make_unique<HostRecorder>(*kernel);
    }
    void TearDown() override {
        if (recorder) {
            EXPECT_EQ(ErrorReports(*recorder), Texts{});
        }
        recorder.reset();
    }

    static ComponentPointer Instantiate() {
        return ComponentPointer(static_cast<TARNComponent*>(definition->factory("decoder", *definition)));
    }

    static HostKernel* kernel;
    static HostPackage* package;
    static TARNComponentDefinition* definition;
    std::unique_ptr<HostRecorder> recorder;
};

HostKernel* DecoderPackageTest::kernel = nullptr;
HostPackage* DecoderPackageTest::package = nullptr;
TARNComponentDefinition* DecoderPackageTest::definition = nullptr;

template <class Record>
std::vector<std::string> NamesUpToTheEnd(const Record* table) {
    std::vector<std::string> names;
    for (; !table->IsEnd(); ++table) names.push_back(table->name);
    return names;
}

TEST_F(DecoderPackageTest, DefinesTheDecoderModelWithItsElements) {
    const std::vector<HostModelInfo> models = package->Models();
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(models[0].model, "csi2ipl_cpu");
    EXPECT_EQ(models[0].version, "1.1");
    EXPECT_EQ(NamesUpToTheEnd(definition->inputs), Texts{"raw_image"});
    EXPECT_EQ(NamesUpToTheEnd(definition->outputs), Texts{"ipl_image"});
    EXPECT_EQ(NamesUpToTheEnd(definition->properties),
              (Texts{"CSI2_Dataformat", "overwrite_CSI2_Decoder", "overwrite_CSI2_Dataformat_as", "limit_depth_to_8",
                     "limit_depth_to_8_Bitshift", "print_debug", "skip_first_frames", "benchmark_component",
                     "decoding_implementation", "frame_size_check"}));
    EXPECT_TRUE(definition->actions[0].IsEnd());

    ComponentPointer decoder = Instantiate();
    ASSERT_NE(decoder, nullptr);
    EXPECT_STREQ(decoder->Input("raw_image").Name().c_str(), "decoder.raw_image");
    EXPECT_EQ(decoder->Output("ipl_image").Type().type & ~TARNTypeInfo::Vector, TARNTypeInfo::IplImage);
    TARNEnumStruct implementations;
    decoder->Get(decoder->Property("decoding_implementation"), implementations);
    EXPECT_STREQ(implementations.ToString().c_str(), "2|0|CPU|CPU_LEGACY");
    TARNStackedString<40> version;
    decoder->Get(decoder->Property("componentModelVersion"), version);
    EXPECT_STREQ(version.c_str(), "1.1");
}

// What "tarnhost info" prints of the package: the model with its elements, their types,
// and each property's default and choices.
TEST_F(DecoderPackageTest, InfoListsTheModelWithItsInputsOutputsAndProperties) {
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(PIXTRACT_CPU_PATH, out, err), 0) << err.str();
    const std::string formats =
        "choices AUTO|0x1E_YUV422_8Bit|0x1F_YUV422_10Bit|0x24_RGB888|0x2a_RAW8|0x2b_RAW10|0x2c_RAW12|0x2e_RAW16|"
        "0x2f_RAW20|0x27_RAW24|0x1E_YUV422_8Bit_Y_U_swapped\n";
    const std::string expected =
        "models: 1\n"
        "  csi2ipl_cpu 1.1\n"
        "    input raw_image: FilterStream8\n"
        "    output ipl_image: IplImage vector\n"
        "    property CSI2_Dataformat: enumeration = AUTO, " + formats +
        "    property overwrite_CSI2_Decoder: bool = false\n"
        "    property overwrite_CSI2_Dataformat_as: enumeration = AUTO, " + formats +
        "    property limit_depth_to_8: bool = false\n"
        "    property limit_depth_to_8_Bitshift: enumeration = 0, choices 0|1|2|3|4|5|6|7|8|9|10|11|12, "
        "changeable while running\n"
        "    property print_debug: bool = false, changeable while running\n"
        "    property skip_first_frames: bool = true\n"
        "    property benchmark_component: bool = false\n"
        "    property decoding_implementation: enumeration = CPU, choices CPU|CPU_LEGACY\n"
        "    property frame_size_check: bool = true\n"
        "trailer: ";
    EXPECT_NE(out.str().find(expected), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("digest: matches\n"), std::string::npos) << out.str();
}

struct PackageCase {
    uint8_t type;
    const char* implementation;
    bool limitTo8;
};

void PrintTo(const PackageCase& c, std::ostream* out) {
    *out << "type 0x" << std::hex << static_cast<int>(c.type) << std::dec << " " << c.implementation
         << (c.limitTo8 ? " limited to 8 bits" : " full depth");
}

class DecoderPackageDecodeTest : public DecoderPackageTest, public ::testing::WithParamInterface<PackageCase> {};

const char* ChoiceOf(uint8_t type) {
    static const std::pair<uint8_t, const char*> choices[] = {
        {0x1E, "0x1E_YUV422_8Bit"}, {0x1F, "0x1F_YUV422_10Bit"}, {0x24, "0x24_RGB888"}, {0x2A, "0x2a_RAW8"},
        {0x2B, "0x2b_RAW10"},       {0x2C, "0x2c_RAW12"},        {0x2E, "0x2e_RAW16"},  {0x2F, "0x2f_RAW20"},
        {0x27, "0x27_RAW24"},       {0xFE, "0x1E_YUV422_8Bit_Y_U_swapped"}};
    for (const auto& [code, text] : choices)
        if (code == type) return text;
    return "AUTO";
}

// Rows padded to 8 bytes for every type (RAW12 70 pixels, YUV422 8-bit 66), two frames.
TEST_P(DecoderPackageDecodeTest, DecodesEveryTypeBitExactly) {
    const PackageCase& c = GetParam();
    DecoderRig rig(Instantiate(), kMaxFrameBytes);
    rig.Set("CSI2_Dataformat", ChoiceOf(c.type));
    rig.Set("decoding_implementation", c.implementation);
    rig.Set("skip_first_frames", false);
    rig.Set("limit_depth_to_8", c.limitTo8);
    rig.Set("limit_depth_to_8_Bitshift", c.limitTo8 ? "2" : "0");
    ASSERT_EQ(rig.Begin(), 0);
    const uint32_t width = c.type == 0x2B ? 68 : c.type == 0x1E || c.type == 0xFE ? 66 : 70;
    std::vector<capture::CaptureFrame> frames;
    for (unsigned seed = 1; seed <= 2; ++seed) {
        capture::FrameSpec spec;
        spec.dataType = c.type;
        spec.width = c.type == 0x24 || c.type == 0x2A || c.type == 0x2E || c.type == 0x27 ? 67 : width;
        spec.height = 33;
        spec.seed = seed;
        spec.lineMarkers = true;
        frames.push_back(capture::WriteFrame(spec));
        ASSERT_EQ(rig.Feed(frames.back().bytes, seed), 0);
    }
    const std::vector<SinkRecord> images = rig.Images();
    ASSERT_EQ(images.size(), 2u) << ::testing::PrintToString(DecoderReports(*recorder));
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(images[i].timestamp, static_cast<long>(i + 1));
        ExpectImage(images[i], frames[i], c.type, c.limitTo8, c.limitTo8 ? 2 : 0);
    }
}

std::vector<PackageCase> PackageCases() {
    std::vector<PackageCase> cases;
    for (uint8_t type : capture::type::kAll)
        for (const char* implementation : {"CPU", "CPU_LEGACY"})
            for (bool limitTo8 : {false, true}) cases.push_back({type, implementation, limitTo8});
    return cases;
}

std::string PackageCaseName(const ::testing::TestParamInfo<PackageCase>& info) {
    char name[48];
    std::snprintf(name, sizeof name, "Type%02X_%s_%s", info.param.type, info.param.implementation,
                  info.param.limitTo8 ? "Limit8" : "Full");
    return name;
}

INSTANTIATE_TEST_SUITE_P(AllTypes, DecoderPackageDecodeTest, ::testing::ValuesIn(PackageCases()), PackageCaseName);

// ---- Malformed captures ---------------------------------------------------------------

std::vector<uint8_t> Finished(capture::FrameWriter& writer) {
    return writer.Finish();
}

// Frames no camera should send, each built to reach a different corner of the scanning,
// the geometry and the checks.
std::vector<std::vector<uint8_t>> MalformedCorpus() {
    std::vector<std::vector<uint8_t>> corpus;
    std::mt19937 random(77);
    auto randomBytes = [&random](size_t count) {
        std::vector<uint8_t> bytes(count);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
        return bytes;
    };
    capture::FrameSpec spec;
    spec.dataType = capture::type::kRaw12;
    spec.width = 96;
    spec.height = 12;
    const std::vector<uint8_t> good = capture::WriteFrame(spec).bytes;

    // Tiny buffers, of nothing but preamble bytes too.
    for (size_t size : {0, 1, 4, 8, 63, 64, 71, 72, 73}) {
        corpus.push_back(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(size)));
        corpus.push_back(std::vector<uint8_t>(size, 0xB8));
    }
    corpus.push_back(std::vector<uint8_t>(4096, 0xB8));
    // Truncated anywhere: in a header, in a payload, in a footer.
    for (size_t cut : {80, 100, 150, 300, 700, 1000})
        if (cut < good.size()) corpus.push_back(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)));
    // A good frame whose last packet header is cut after the preamble.
    {
        std::vector<uint8_t> bytes = good;
        bytes.insert(bytes.end(), {0xB8, 0xB8, 0xB8, 0xB8, 0x2C});
        corpus.push_back(bytes);
    }
    // Word count 0: long packets without payload, alone and as the lines.
    for (uint8_t type : {capture::type::kRaw12, capture::type::kYuv422_8, capture::type::kRaw8}) {
        capture::FrameWriter writer;
        for (int i = 0; i < 5; ++i) writer.LongPacket(type, {});
        corpus.push_back(Finished(writer));
    }
    // Short packets only, frame number 0.
    {
        capture::FrameWriter writer;
        for (int i = 0; i < 20; ++i) writer.ShortPacket(static_cast<uint8_t>(i % 4), 0);
        corpus.push_back(Finished(writer));
    }
    // Mixed word counts: the first line long and the rest short, and the other way round.
    for (bool firstLong : {true, false}) {
        capture::FrameWriter writer;
        for (uint32_t y = 0; y < 8; ++y) {
            const uint32_t width = (y == 0) == firstLong ? 128 : 2;
            writer.LongPacket(capture::type::kRaw12, capture::LinePayload(capture::type::kRaw12, width, y,
                                                                         capture::Pattern::kRandom, random));
        }
        corpus.push_back(Finished(writer));
    }
    // Word counts that claim more than the frame holds.
    {
        std::vector<uint8_t> bytes = good;
        for (size_t at = 64; at + 8 < bytes.size(); ++at)
            if (bytes[at] == 0xB8 && bytes[at + 1] == 0xB8 && bytes[at + 2] == 0xB8 && bytes[at + 3] == 0xB8) {
                bytes[at + 5] = 0xFF;
                bytes[at + 6] = 0xFF;
            }
        corpus.push_back(bytes);
    }
    // Huge heights: thousands of one-pixel lines, and lines of every type at width 2.
    {
        capture::FrameWriter writer;
        for (uint32_t y = 0; y < 20000; ++y) writer.LongPacket(capture::type::kRaw8, {static_cast<uint8_t>(y)});
        corpus.push_back(Finished(writer));
    }
    for (uint8_t type : capture::type::kAll) {
        capture::FrameSpec narrow;
        narrow.dataType = type;
        narrow.width = capture::PixelsPerGroup(type);
        narrow.height = 2000;
        corpus.push_back(capture::WriteFrame(narrow).bytes);
    }
    // Garbage between packets, stray preamble bytes and partial preambles among it.
    {
        capture::FrameWriter writer;
        for (uint32_t y = 0; y < 10; ++y) {
            std::vector<uint8_t> garbage = randomBytes(y * 7 + 1);
            if (y % 3 == 0) garbage.insert(garbage.end(), {0xB8, 0xB8, 0xB8});
            writer.Bytes(garbage);
            writer.LongPacket(capture::type::kYuv422_8, capture::LinePayload(capture::type::kYuv422_8, 64, y,
                                                                            capture::Pattern::kRandom, random));
        }
        corpus.push_back(Finished(writer));
    }
    // Random bytes, with and without a plausible frame header.
    for (size_t size : {100, 1000, 5000, 70000}) {
        corpus.push_back(randomBytes(size));
        std::vector<uint8_t> headed = randomBytes(size);
        const uint32_t word = static_cast<uint32_t>(size);
        std::memcpy(headed.data(), &word, 4);
        corpus.push_back(headed);
    }
    // Preambles with random headers at every fourth byte.
    {
        std::vector<uint8_t> bytes = randomBytes(8192);
        for (size_t at = 64; at + 4 <= bytes.size(); at += 12) std::memset(&bytes[at], 0xB8, 4);
        corpus.push_back(bytes);
    }
    corpus.push_back(good);
    return corpus;
}

// Each format's decoder is fed the whole corpus twice, once with the frame-size check
// and once without, after a good frame fixed a geometry and from a fresh start: the
// malformed frames meet both the geometry pass and the checks of later frames.
TEST_F(DecoderPackageTest, AMalformedCorpusRunsCleanThroughThePackage) {
    const std::vector<std::vector<uint8_t>> corpus = MalformedCorpus();
    for (const char* format : {"AUTO", "0x2c_RAW12", "0x1E_YUV422_8Bit", "0x2a_RAW8", "0x2b_RAW10",
                               "0x1E_YUV422_8Bit_Y_U_swapped", "0x1F_YUV422_10Bit"})
        for (bool frameSizeCheck : {true, false})
            for (bool geometryFirst : {true, false}) {
                SCOPED_TRACE(std::string(format) + (frameSizeCheck ? " checked" : " unchecked") +
                             (geometryFirst ? " after a geometry" : " from the start"));
                DecoderRig rig(Instantiate(), kMaxFrameBytes);
                rig.Set("CSI2_Dataformat", format);
                rig.Set("skip_first_frames", false);
                rig.Set("frame_size_check", frameSizeCheck);
                ASSERT_EQ(rig.Begin(), 0);
                if (geometryFirst) {
                    ASSERT_EQ(rig.Feed(corpus.back()), 0);
                }
                for (size_t i = 0; i < corpus.size(); ++i) ASSERT_EQ(rig.Feed(corpus[i], static_cast<long>(i)), 0) << i;
                rig.Finish();
                EXPECT_EQ(ErrorReports(*recorder), Texts{});
                recorder->ClearReports();
            }
}

}  // namespace
