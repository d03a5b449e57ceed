#include "stand_in_gpu_device.hpp"

#include <chrono>

#include "csi2ipl/gpu_decoding.hpp"

namespace stand_in_gpu {

Device& TheDevice() {
    static Device device;
    return device;
}

}  // namespace stand_in_gpu

namespace csi2ipl {

int GpuFrameDecoder::Decode(PipelineFormat format, const FrameLines& frame, const ImageRows& image,
                            double& /*copySeconds*/, double& decodeSeconds) {
    stand_in_gpu::Device& device = stand_in_gpu::TheDevice();
    ++device.decodes;
    if (device.answer != 0) return device.answer;
    device.holdsCopy = true;
    const auto start = std::chrono::steady_clock::now();
    const int result = RunCpuPipeline(format, frame, image);
    decodeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

void GpuFrameDecoder::Release() {
    stand_in_gpu::Device& device = stand_in_gpu::TheDevice();
    if (device.holdsCopy) ++device.copiesReleased;
    device.holdsCopy = false;
}

}  // namespace csi2ipl
