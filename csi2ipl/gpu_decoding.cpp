#include "csi2ipl/gpu_decoding.hpp"

#include <cuda_runtime_api.h>

#include "HalideRuntimeCuda.h"

#include <chrono>
#include <cstdint>

namespace csi2ipl {

namespace {

using Clock = std::chrono::steady_clock;

void Add(double& accumulator, Clock::time_point since) {
    accumulator += std::chrono::duration<double>(Clock::now() - since).count();
}

int CudaError(cudaError_t status) {
    return static_cast<int>(status);
}

}  // namespace

int GpuFrameDecoder::Decode(PipelineFormat format, const FrameLines& frame, const ImageRows& image,
                            double& copySeconds, double& decodeSeconds) {
    if (int error = CheckPipelineGeometry(format, frame, image); error != 0) return error;
    const auto copyStart = Clock::now();
    // One contiguous span from the first line's payload to the last line's last byte.
    const size_t span = FrameSpan(format, frame);
    if (deviceInput == nullptr || deviceInputSize < span) {
        Release();
        if (cudaError_t status = cudaMalloc(&deviceInput, span); status != cudaSuccess) {
            deviceInput = nullptr;
            return CudaError(status);
        }
        deviceInputSize = span;
    }
    if (cudaError_t status = cudaMemcpy(deviceInput, frame.data + frame.firstLineOffset, span,
                                        cudaMemcpyHostToDevice);
        status != cudaSuccess)
        return CudaError(status);

    FrameLines onDevice = frame;
    onDevice.data = nullptr;  // the description then carries no host pointer
    PipelineBuffer input = DescribeFrame(format, onDevice);
    if (int error = input.device_wrap_native(halide_cuda_device_interface(),
                                             reinterpret_cast<uint64_t>(deviceInput));
        error != 0)
        return error;
    Add(copySeconds, copyStart);

    PipelineBuffer output = DescribeImage(format, frame.width, frame.height, image);
    const auto decodeStart = Clock::now();
    const auto pipeline = format == PipelineFormat::Raw12 ? pixtract_raw12_gpu : pixtract_yuv422_8_gpu;
    int result = pipeline(input.raw_buffer(), output.raw_buffer());
    // The device copy stays ours: detached, never freed by the description.
    input.device_detach_native();
    Add(decodeSeconds, decodeStart);

    const auto backStart = Clock::now();
    if (result == 0) result = output.device_sync();
    if (result == 0 && output.device_dirty()) result = output.copy_to_host();
    // The pipeline's device image is freed with the description, dirty or not.
    output.device_free();
    Add(copySeconds, backStart);
    return result;
}

void GpuFrameDecoder::Release() {
    if (deviceInput != nullptr) cudaFree(deviceInput);
    deviceInput = nullptr;
    deviceInputSize = 0;
}

}  // namespace csi2ipl
