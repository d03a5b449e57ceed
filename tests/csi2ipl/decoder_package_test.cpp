// The decoder as the engine gets it: each built package (the CPU package, and the GPU
// package where the CUDA toolkit is installed) loaded by the host, its model read from
// TARNGetModulesDefStruct, instances made by the package's own factory, frames of every
// data type decoded bit-exactly by every implementation the package offers, and a corpus
// of malformed captures run through it (under the sanitizers in the dev build) without a
// crash, a hang or an error. The GPU package's GPU path runs on a GPU where one can be
// used; elsewhere its first device call fails and the processor pipeline decodes instead,
// which these tests hold on a machine without a GPU. With PIXTRACT_REQUIRE_GPU=1 a GPU
// that cannot be used fails them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <regex>
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

// A package as built: where it is, the model it defines and the implementations that
// model offers.
struct BuiltPackage {
    const char* name;  // in test names
    const char* path;
    const char* model;
    std::vector<const char*> implementations;
};

void PrintTo(const BuiltPackage& package, std::ostream* out) {
    *out << package.model;
}

std::vector<BuiltPackage> BuiltPackages() {
    std::vector<BuiltPackage> packages;
#ifdef PIXTRACT_CPU_PATH
    packages.push_back({"Cpu", PIXTRACT_CPU_PATH, "csi2ipl_cpu", {"CPU", "CPU_LEGACY"}});
#endif
#ifdef PIXTRACT_GPU_PATH
    packages.push_back({"Gpu", PIXTRACT_GPU_PATH, "csi2ipl_gpu", {"CPU", "CPU_LEGACY", "GPU"}});
#endif
    return packages;
}

// Whether a CUDA device can be used: the driver loads, initialises and counts at least
// one device. Asked of the driver itself, so that this program needs no CUDA library.
bool GpuUsable() {
    static const bool usable = [] {
        void* driver = dlopen("libcuda.so.1", RTLD_NOW | RTLD_LOCAL);
        if (driver == nullptr) return false;
        auto init = reinterpret_cast<int (*)(unsigned)>(dlsym(driver, "cuInit"));
        auto deviceCount = reinterpret_cast<int (*)(int*)>(dlsym(driver, "cuDeviceGetCount"));
        int count = 0;
        return init != nullptr && deviceCount != nullptr && init(0) == 0 && deviceCount(&count) == 0 && count > 0;
    }();
    return usable;
}

// Set where a GPU must be used (as scripts/gpu-check does for the GPU pipelines): a GPU
// that cannot be used then fails the GPU cases instead of taking them to the fallback.
bool GpuRequired() {
    const char* required = std::getenv("PIXTRACT_REQUIRE_GPU");
    return required != nullptr && std::string(required) == "1";
}

// One kernel and each package loaded once for the whole test program: a package binds
// the first kernel it is given for good and is never unloaded (as in the engine), so
// neither may go before the program ends. The kernel stays bound underneath the kernels
// other tests make and destroy; it is made in a suite's set-up, while no test's kernel is.
class LoadedPackages {
  public:
    static HostKernel& Kernel() {
        static HostKernel* const kernel = new HostKernel();
        return *kernel;
    }
    // The package's definition of its decoder model; null (after a failure) when the
    // package does not load or lacks the model.
    static TARNComponentDefinition* Definition(const BuiltPackage& built) {
        // Kept to the end, as the packages are.
        static auto* const loaded = new std::map<std::string, TARNComponentDefinition*>;
        if (auto found = loaded->find(built.path); found != loaded->end()) return found->second;
        TARNComponentDefinition*& definition = (*loaded)[built.path];
        auto* package = new HostPackage();
        Packages()[built.path] = package;
        std::string error;
        if (!package->Open(built.path, error) || package->Init(Kernel()) != 4) {
            ADD_FAILURE() << "cannot load " << built.path << ": " << error;
            return nullptr;
        }
        for (const HostModelInfo& model : package->Models())
            if (model.model == built.model)
                definition = static_cast<TARNComponentDefinition*>(const_cast<void*>(model.definition));
        if (definition == nullptr) ADD_FAILURE() << built.path << " defines no " << built.model;
        return definition;
    }
    static HostPackage& Package(const BuiltPackage& built) { return *Packages().at(built.path); }

  private:
    static std::map<std::string, HostPackage*>& Packages() {
        static auto* const packages = new std::map<std::string, HostPackage*>;
        return *packages;
    }
};

// A test on one built package, with a recorder of the kernel's reports; every test ends
// without an error report.
class PackageTestBase : public ::testing::Test {
  protected:
    void Load(const BuiltPackage& built) {
        definition = LoadedPackages::Definition(built);
        ASSERT_NE(definition, nullptr);
        recorder = std::make_unique<HostRecorder>(LoadedPackages::Kernel());
    }
    void TearDown() override {
        if (recorder) {
            EXPECT_EQ(ErrorReports(*recorder), Texts{});
        }
        recorder.reset();
    }

    ComponentPointer Instantiate() const {
        return ComponentPointer(static_cast<TARNComponent*>(definition->factory("decoder", *definition)));
    }

    TARNComponentDefinition* definition = nullptr;
    std::unique_ptr<HostRecorder> recorder;
};

class DecoderPackageTest : public PackageTestBase, public ::testing::WithParamInterface<BuiltPackage> {
  protected:
    static void SetUpTestSuite() { LoadedPackages::Kernel(); }
    void SetUp() override { Load(GetParam()); }
};

std::string PackageName(const ::testing::TestParamInfo<BuiltPackage>& info) {
    return info.param.name;
}

template <class Record>
std::vector<std::string> NamesUpToTheEnd(const Record* table) {
    std::vector<std::string> names;
    for (; !table->IsEnd(); ++table) names.push_back(table->name);
    return names;
}

TEST_P(DecoderPackageTest, DefinesTheDecoderModelWithItsElements) {
    const BuiltPackage& built = GetParam();
    const std::vector<HostModelInfo> models = LoadedPackages::Package(built).Models();
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(models[0].model, built.model);
    EXPECT_EQ(models[0].version, "1.1");
    EXPECT_STREQ(definition->name, built.model);
    EXPECT_EQ(definition->priority, 128);
    EXPECT_EQ(definition->threadingModels, 1u);
    EXPECT_TRUE(definition->threaded);
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
    std::string implementations = std::to_string(built.implementations.size()) + "|0";
    for (const char* implementation : built.implementations) implementations += std::string("|") + implementation;
    TARNEnumStruct offered;
    decoder->Get(decoder->Property("decoding_implementation"), offered);
    EXPECT_STREQ(offered.ToString().c_str(), implementations.c_str());
    // Each offered implementation can be chosen by its name.
    for (const char* implementation : built.implementations) {
        decoder->Set(decoder->Property("decoding_implementation"), implementation);
        TARNStackedString<40> chosen;
        decoder->Get(decoder->Property("decoding_implementation"), chosen);
        EXPECT_STREQ(chosen.c_str(), implementation);
    }
    TARNStackedString<40> version;
    decoder->Get(decoder->Property("componentModelVersion"), version);
    EXPECT_STREQ(version.c_str(), "1.1");
}

// What "tarnhost info" prints of the package: the model with its elements, their types,
// and each property's default and choices.
TEST_P(DecoderPackageTest, InfoListsTheModelWithItsInputsOutputsAndProperties) {
    std::ostringstream out, err;
    EXPECT_EQ(RunInfoCommand(GetParam().path, out, err), 0) << err.str();
    const std::string formats =
        "choices AUTO|0x1E_YUV422_8Bit|0x1F_YUV422_10Bit|0x24_RGB888|0x2a_RAW8|0x2b_RAW10|0x2c_RAW12|0x2e_RAW16|"
        "0x2f_RAW20|0x27_RAW24|0x1E_YUV422_8Bit_Y_U_swapped\n";
    std::string implementations;
    for (const char* implementation : GetParam().implementations)
        implementations += (implementations.empty() ? "choices " : "|") + std::string(implementation);
    const std::string expected =
        "models: 1\n"
        "  " + std::string(GetParam().model) + " 1.1 (group TARNComponent)\n"
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
        "    property decoding_implementation: enumeration = CPU, " + implementations + "\n" +
        "    property frame_size_check: bool = true\n"
        "trailer: ";
    EXPECT_NE(out.str().find(expected), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("digest: matches\n"), std::string::npos) << out.str();
}

struct PackageCase {
    BuiltPackage package;
    uint8_t type;
    const char* implementation;
    bool limitTo8;
};

void PrintTo(const PackageCase& c, std::ostream* out) {
    *out << c.package.model << " type 0x" << std::hex << static_cast<int>(c.type) << std::dec << " "
         << c.implementation << (c.limitTo8 ? " limited to 8 bits" : " full depth");
}

class DecoderPackageDecodeTest : public PackageTestBase, public ::testing::WithParamInterface<PackageCase> {
  protected:
    static void SetUpTestSuite() { LoadedPackages::Kernel(); }
    void SetUp() override { Load(GetParam().package); }
};

const char* ChoiceOf(uint8_t type) {
    static const std::pair<uint8_t, const char*> choices[] = {
        {0x1E, "0x1E_YUV422_8Bit"}, {0x1F, "0x1F_YUV422_10Bit"}, {0x24, "0x24_RGB888"}, {0x2A, "0x2a_RAW8"},
        {0x2B, "0x2b_RAW10"},       {0x2C, "0x2c_RAW12"},        {0x2E, "0x2e_RAW16"},  {0x2F, "0x2f_RAW20"},
        {0x27, "0x27_RAW24"},       {0xFE, "0x1E_YUV422_8Bit_Y_U_swapped"}};
    for (const auto& [code, text] : choices)
        if (code == type) return text;
    return "AUTO";
}

// Rows padded to 8 bytes for every type (RAW12 70 pixels, YUV422 8-bit 66), 33 lines (a
// GPU pipeline needs 32 at least), two frames.
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
    for (const BuiltPackage& package : BuiltPackages())
        for (uint8_t type : capture::type::kAll)
            for (const char* implementation : package.implementations)
                for (bool limitTo8 : {false, true}) cases.push_back({package, type, implementation, limitTo8});
    return cases;
}

std::string PackageCaseName(const ::testing::TestParamInfo<PackageCase>& info) {
    char name[64];
    std::snprintf(name, sizeof name, "%s_Type%02X_%s_%s", info.param.package.name, info.param.type,
                  info.param.implementation, info.param.limitTo8 ? "Limit8" : "Full");
    return name;
}

INSTANTIATE_TEST_SUITE_P(AllTypes, DecoderPackageDecodeTest, ::testing::ValuesIn(PackageCases()), PackageCaseName);

// ---- The GPU path -----------------------------------------------------------------------

// RAW12 and YUV422 8-bit with "GPU": on a usable GPU the GPU pipeline decodes every frame
// (timed as GPU decoding, nothing on the processor). Without one the first frame's device
// call fails: the decoder says so once a run, with the error, and the processor pipeline
// decodes that frame and the rest of the run, so every image holds the processor's pixels
// and none is published with what its buffer held before. A new run tries the GPU again.
class DecoderGpuPackageTest : public PackageTestBase {
  protected:
    static void SetUpTestSuite() { LoadedPackages::Kernel(); }
    void SetUp() override {
        const std::vector<BuiltPackage> packages = BuiltPackages();
        if (packages.empty() || std::string(packages.back().model) != "csi2ipl_gpu")
            GTEST_SKIP() << "no GPU package built (no CUDA toolkit)";
        Load(packages.back());
    }
};

TEST_F(DecoderGpuPackageTest, TheGpuPathOrItsFallbackGivesThePipelinesPixels) {
    const bool onGpu = GpuUsable();
    if (GpuRequired()) {
        ASSERT_TRUE(onGpu) << "no usable CUDA device";
    }
    const std::regex failed(
        "GPU decoding failed \\(error -?[0-9]+\\), decoding with the processor pipeline for the rest of the run");
    for (uint8_t type : {capture::type::kRaw12, capture::type::kYuv422_8}) {
        SCOPED_TRACE(ChoiceOf(type));
        DecoderRig rig(Instantiate(), kMaxFrameBytes);
        rig.Set("CSI2_Dataformat", ChoiceOf(type));
        rig.Set("decoding_implementation", "GPU");
        rig.Set("skip_first_frames", false);
        rig.Set("benchmark_component", true);
        std::vector<capture::CaptureFrame> frames;
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE(run);
            recorder->ClearReports();
            ASSERT_EQ(rig.Begin(), 0);
            for (unsigned seed = 1; seed <= 3; ++seed) {
                capture::FrameSpec spec;
                spec.dataType = type;
                spec.width = type == capture::type::kRaw12 ? 70 : 66;
                spec.height = 40;
                spec.seed = seed + 10 * run;
                frames.push_back(capture::WriteFrame(spec));
                ASSERT_EQ(rig.Feed(frames.back().bytes), 0);
            }
            rig.Finish();
            const Texts reports = DecoderReports(*recorder);
            ASSERT_EQ(reports.size(), (onGpu ? 0u : 1u) + 7u) << ::testing::PrintToString(reports);
            if (!onGpu) {
                EXPECT_TRUE(std::regex_match(reports[0], failed)) << reports[0];
            }
            const size_t benchmark = onGpu ? 0 : 1;
            EXPECT_EQ(reports[benchmark], "Number of frames: 3");
            EXPECT_EQ(reports[benchmark + 3] != "Time for gpu decoding: 0 ms", onGpu) << reports[benchmark + 3];
            EXPECT_EQ(reports[benchmark + 4] != "Time for cpu decoding: 0 ms", !onGpu) << reports[benchmark + 4];
        }
        const std::vector<SinkRecord> images = rig.Images();
        ASSERT_EQ(images.size(), frames.size());
        for (size_t i = 0; i < images.size(); ++i) {
            SCOPED_TRACE(i);
            ExpectImage(images[i], frames[i], type, false, 0);
        }
    }
}

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
    spec.height = 40;  // enough lines for a GPU pipeline
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
TEST_P(DecoderPackageTest, AMalformedCorpusRunsCleanThroughThePackage) {
    const std::vector<std::vector<uint8_t>> corpus = MalformedCorpus();
    for (const char* format : {"AUTO", "0x2c_RAW12", "0x1E_YUV422_8Bit", "0x2a_RAW8", "0x2b_RAW10",
                               "0x1E_YUV422_8Bit_Y_U_swapped", "0x1F_YUV422_10Bit"})
        for (bool frameSizeCheck : {true, false})
            for (bool geometryFirst : {true, false}) {
                SCOPED_TRACE(std::string(format) + (frameSizeCheck ? " checked" : " unchecked") +
                             (geometryFirst ? " after a geometry" : " from the start"));
                DecoderRig rig(Instantiate(), kMaxFrameBytes);
                rig.Set("CSI2_Dataformat", format);
                // The package's last implementation: "GPU" in the GPU package.
                rig.Set("decoding_implementation", GetParam().implementations.back());
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

INSTANTIATE_TEST_SUITE_P(Packages, DecoderPackageTest, ::testing::ValuesIn(BuiltPackages()), PackageName);

}  // namespace
