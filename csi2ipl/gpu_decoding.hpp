#pragma once
// GPU build only: decoding a frame with a GPU pipeline. The frame's lines are copied to
// device memory as one span, the pipeline runs there, and the image comes back to the
// output element. The device copy is allocated once and grown when a frame needs more;
// it lives until Release. Decode and Release are the device layer (gpu_decoding.cpp, over
// the CUDA runtime); Fits asks nothing of a device.
#include <cstddef>

#include "pipelines/pipeline_call.hpp"

namespace csi2ipl {

// A GPU pipeline needs at least this many lines (it tiles lines by 32 as well).
constexpr int kGpuPipelineMinimumHeight = 32;

class GpuFrameDecoder {
  public:
    GpuFrameDecoder() = default;
    ~GpuFrameDecoder() { Release(); }
    GpuFrameDecoder(const GpuFrameDecoder&) = delete;
    GpuFrameDecoder& operator=(const GpuFrameDecoder&) = delete;

    // Whether the GPU pipeline takes a frame of this shape: the pipeline call's own
    // checks, a line of at least kPipelineMinimumWidth pixels and kGpuPipelineMinimumHeight
    // lines. A frame it does not take is no GPU failure: the processor decodes it.
    static bool Fits(PipelineFormat format, const FrameLines& frame, const ImageRows& image) {
        return frame.width >= kPipelineMinimumWidth && frame.height >= kGpuPipelineMinimumHeight &&
               CheckPipelineGeometry(format, frame, image) == 0;
    }

    // Copies the frame's lines to the device, runs the GPU pipeline and brings the image
    // back. Returns 0, or the failing CUDA or Halide error code (negative for Halide,
    // positive for CUDA), in which case the image holds nothing usable. The seconds spent
    // copying and decoding are added to the two accumulators.
    int Decode(PipelineFormat format, const FrameLines& frame, const ImageRows& image, double& copySeconds,
               double& decodeSeconds);

    // Frees the device copy; a decoder without one accepts it.
    void Release();

  private:
    void* deviceInput = nullptr;
    size_t deviceInputSize = 0;
};

}  // namespace csi2ipl
