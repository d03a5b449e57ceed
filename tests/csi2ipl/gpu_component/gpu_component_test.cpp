// The GPU build of the decoder component, run in process over a stand-in device layer:
// its model offers "GPU"; with "GPU" chosen RAW12 and YUV422 8-bit frames go to the device
// when they fit a GPU pipeline and to the processor when they do not; a failed GPU decode
// is reported once a run, with its error, and the processor pipeline decodes that frame
// and the rest of the run (the device is not asked again until the next run), so no image
// is published with pixels that are not its frame's; Death frees the device copy. What
// the stand-in cannot show, the CUDA device layer itself, is tested through the GPU
// package (decoder_package_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "csi2_frames.hpp"
#include "csi2ipl/csi2ipl_component.hpp"
#include "decoder_rig.hpp"
#include "stand_in_gpu_device.hpp"
#include "support/host_kernel_fixture.hpp"

namespace {

using namespace decoder_rig;
using Texts = std::vector<std::string>;

constexpr size_t kMaxFrameBytes = 64 * 1024;

class GpuComponentTest : public HostKernelTest {
  protected:
    void SetUp() override { stand_in_gpu::TheDevice() = {}; }
    void TearDown() override {
        EXPECT_EQ(ErrorReports(recorder), Texts{});
        HostKernelTest::TearDown();
    }
    static ComponentPointer MakeDecoder() {
        return ComponentPointer(static_cast<TARNComponent*>(
            TARNcsi2ipl::Instantiate("decoder", TARNcsi2ipl::s_componentDefinition)));
    }
    Texts Reports() const { return DecoderReports(recorder); }
};

TEST_F(GpuComponentTest, TheModelOffersTheGpu) {
    EXPECT_STREQ(TARNcsi2ipl::s_componentDefinition.name, "csi2ipl_gpu");
    DecoderRig rig(MakeDecoder(), kMaxFrameBytes);
    TARNEnumStruct offered;
    rig.Decoder().Get(rig.Decoder().Property("decoding_implementation"), offered);
    EXPECT_STREQ(offered.ToString().c_str(), "3|0|CPU|CPU_LEGACY|GPU");
    rig.Set("decoding_implementation", "GPU");
    EXPECT_EQ(rig.Text("decoding_implementation"), "GPU");
}

struct DispatchCase {
    const char* name;
    const char* implementation;
    int deviceAnswer;
    uint32_t height;      // a GPU pipeline needs 32 lines
    int decodesPerRun;    // of the device, out of 3 frames
    const char* timed;    // the benchmark line that is not 0
};

// Each case runs twice (a new run asks a failed device again), for both pipeline formats.
TEST_F(GpuComponentTest, FramesGoToTheDeviceOrTheProcessorAndAlwaysCarryTheirPixels) {
    const DispatchCase cases[] = {
        {"the GPU decodes", "GPU", 0, 40, 3, "Time for gpu decoding: "},
        {"the GPU fails: the processor takes over for the run", "GPU", 2, 40, 1, "Time for cpu decoding: "},
        {"too few lines for the GPU", "GPU", 0, 31, 0, "Time for cpu decoding: "},
        {"the processor chosen", "CPU", 0, 40, 0, "Time for cpu decoding: "},
        {"the unpackers chosen", "CPU_LEGACY", 0, 40, 0, "Time for legacy decoding: "},
    };
    const char* const timings[] = {"Time for gpu decoding: ", "Time for cpu decoding: ", "Time for legacy decoding: "};
    for (const DispatchCase& c : cases) {
        for (uint8_t type : {capture::type::kRaw12, capture::type::kYuv422_8}) {
            SCOPED_TRACE(std::string(c.name) + (type == capture::type::kRaw12 ? ", RAW12" : ", YUV422 8-bit"));
            stand_in_gpu::TheDevice() = {};
            stand_in_gpu::TheDevice().answer = c.deviceAnswer;
            DecoderRig rig(MakeDecoder(), kMaxFrameBytes);
            rig.Set("CSI2_Dataformat", type == capture::type::kRaw12 ? "0x2c_RAW12" : "0x1E_YUV422_8Bit");
            rig.Set("decoding_implementation", c.implementation);
            rig.Set("skip_first_frames", false);
            rig.Set("benchmark_component", true);
            std::vector<capture::CaptureFrame> frames;
            for (int run = 0; run < 2; ++run) {
                SCOPED_TRACE(run);
                recorder.ClearReports();
                ASSERT_EQ(rig.Begin(), 0);
                for (unsigned seed = 1; seed <= 3; ++seed) {
                    capture::FrameSpec spec;
                    spec.dataType = type;
                    spec.width = type == capture::type::kRaw12 ? 70 : 66;  // rows padded to 8 bytes
                    spec.height = c.height;
                    spec.seed = seed + 10 * run;
                    frames.push_back(capture::WriteFrame(spec));
                    ASSERT_EQ(rig.Feed(frames.back().bytes), 0);
                }
                EXPECT_EQ(stand_in_gpu::TheDevice().decodes, c.decodesPerRun * (run + 1));
                rig.Finish();
                EXPECT_FALSE(stand_in_gpu::TheDevice().holdsCopy) << "Death frees the device copy";

                Texts reports = Reports();
                if (c.deviceAnswer != 0) {
                    ASSERT_FALSE(reports.empty());
                    EXPECT_EQ(reports.front(), "GPU decoding failed (error " + std::to_string(c.deviceAnswer) +
                                                   "), decoding with the processor pipeline for the rest of the run");
                    reports.erase(reports.begin());
                }
                ASSERT_EQ(reports.size(), 7u) << ::testing::PrintToString(reports);
                EXPECT_EQ(reports[0], "Number of frames: 3");
                for (const char* timing : timings) {
                    const auto line = std::find_if(reports.begin(), reports.end(), [timing](const std::string& text) {
                        return text.rfind(timing, 0) == 0;
                    });
                    ASSERT_NE(line, reports.end());
                    EXPECT_EQ(*line != std::string(timing) + "0 ms", std::string(timing) == c.timed) << *line;
                }
            }
            const std::vector<SinkRecord> images = rig.Images();
            ASSERT_EQ(images.size(), frames.size());
            for (size_t i = 0; i < images.size(); ++i) {
                SCOPED_TRACE(i);
                ExpectImage(images[i], frames[i], type, false, 0);
            }
        }
    }
}

// A stream of three frames, one with a stray B8 in front of a line, "GPU" chosen: every
// image is the clean frame's. A frame decoded at the lines found in it goes to the device
// when they fit a GPU pipeline (the clean frames after a stray first frame: the second is
// kept, and published when the third agrees with it) and to the unpackers when they are
// not evenly spaced (the stray frame), never to the device at lines the stray byte moved.
TEST_F(GpuComponentTest, OneStrayByteCostsAtMostItsOwnFrame) {
    struct Case {
        const char* name;
        size_t strayFrame;
        uint32_t beforeLine;
        bool frameSizeCheck;
        int gpuDecodes;  // of 3 frames; the others are decoded by the processor, or dropped
        size_t images;
        bool reported;  // the frame kept or dropped
    } cases[] = {
        {"in front of line 1 of the first frame (its lines apart: the processor)", 0, 1, true, 2, 3, true},
        {"in front of line 2 of the last frame (dropped)", 2, 2, false, 2, 2, true},
        {"in front of line 0 of the last frame (every line moved)", 2, 0, true, 3, 3, false}};
    // One case: a failed assertion ends the case, not the test.
    auto decode = [this](const Case& c, uint8_t type) {
        stand_in_gpu::TheDevice() = {};
        recorder.ClearReports();
        capture::FrameSpec spec;
        spec.dataType = type;
        spec.width = type == capture::type::kRaw12 ? 70 : 66;
        spec.height = 40;
        const capture::CaptureFrame clean = capture::WriteFrame(spec);
        const capture::CaptureFrame stray = csi2_frames::WithStrayByte(clean, c.beforeLine);
        DecoderRig rig(MakeDecoder(), kMaxFrameBytes);
        rig.Set("CSI2_Dataformat", type == capture::type::kRaw12 ? "0x2c_RAW12" : "0x1E_YUV422_8Bit");
        rig.Set("decoding_implementation", "GPU");
        rig.Set("skip_first_frames", false);
        rig.Set("frame_size_check", c.frameSizeCheck);
        ASSERT_EQ(rig.Begin(), 0);
        for (size_t i = 0; i < 3; ++i) ASSERT_EQ(rig.Feed(i == c.strayFrame ? stray.bytes : clean.bytes), 0);
        EXPECT_EQ(stand_in_gpu::TheDevice().decodes, c.gpuDecodes);
        const std::vector<SinkRecord> images = rig.Images();
        ASSERT_EQ(images.size(), c.images) << ::testing::PrintToString(Reports());
        for (size_t i = 0; i < images.size(); ++i) {
            SCOPED_TRACE(i);
            ExpectImage(images[i], clean, type, false, 0);
        }
        EXPECT_EQ(Reports().empty(), !c.reported) << ::testing::PrintToString(Reports());
    };
    for (const Case& c : cases) {
        for (uint8_t type : {capture::type::kRaw12, capture::type::kYuv422_8}) {
            SCOPED_TRACE(std::string(c.name) +
                         (type == capture::type::kRaw12 ? ", RAW12" : ", YUV422 8-bit"));
            decode(c, type);
        }
    }
}

}  // namespace
