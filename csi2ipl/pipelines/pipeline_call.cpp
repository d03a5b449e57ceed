#include "pipelines/pipeline_call.hpp"

#include <cstdint>
#include <limits>
#include <string>

namespace csi2ipl {

namespace {

constexpr size_t kLargestStride = std::numeric_limits<int32_t>::max();

size_t LineBytes(PipelineFormat format, int width) {
    return static_cast<size_t>(width / 2) * InputGroupBytes(format);
}

size_t RowBytes(PipelineFormat format, int width) {
    return static_cast<size_t>(width / 2) * OutputGroupBytes(format);
}

// Bytes from the first row's first byte to the last row's last one.
size_t ImageSpan(PipelineFormat format, int width, int height, size_t rowStep) {
    return static_cast<size_t>(height - 1) * rowStep + RowBytes(format, width);
}

// Why the geometry cannot be handed to a pipeline, or empty. Halide takes strides and
// extents as 32-bit values and reads and writes wherever they point, so everything is
// checked here, in 64 bits, before anything is narrowed.
std::string GeometryProblem(PipelineFormat format, const FrameLines& frame, const ImageRows& image) {
    if (frame.width <= 0 || frame.width % 2 != 0)
        return "width " + std::to_string(frame.width) + " is not a positive number of pixel pairs";
    if (frame.height <= 0) return "height " + std::to_string(frame.height) + " holds no line";
    if (frame.data == nullptr || image.data == nullptr) return "frame or image has no memory";
    if (frame.height > 1 && frame.lineLength < LineBytes(format, frame.width))
        return "line length " + std::to_string(frame.lineLength) + " is shorter than a line's " +
               std::to_string(LineBytes(format, frame.width)) + " payload bytes";
    if (frame.height > 1 && image.rowStep < RowBytes(format, frame.width))
        return "row step " + std::to_string(image.rowStep) + " is shorter than a row's " +
               std::to_string(RowBytes(format, frame.width)) + " bytes";
    if (frame.lineLength > kLargestStride || image.rowStep > kLargestStride)
        return "line length or row step exceeds 32 bits";
    if (frame.firstLineOffset > frame.dataSize || FrameSpan(format, frame) > frame.dataSize - frame.firstLineOffset)
        return "frame of " + std::to_string(frame.dataSize) + " bytes ends before its last line";
    if (ImageSpan(format, frame.width, frame.height, image.rowStep) > image.size)
        return "image of " + std::to_string(image.size) + " bytes ends before its last row";
    return {};
}

using Pipeline = int (*)(halide_buffer_t* input, halide_buffer_t* output);

int CallPipeline(Pipeline pipeline, PipelineFormat format, const FrameLines& frame, const ImageRows& image) {
    if (int error = CheckPipelineGeometry(format, frame, image); error != 0) return error;
    PipelineBuffer input = DescribeFrame(format, frame);
    PipelineBuffer output = DescribeImage(format, frame.width, frame.height, image);
    return pipeline(input.raw_buffer(), output.raw_buffer());
}

}  // namespace

int CheckPipelineGeometry(PipelineFormat format, const FrameLines& frame, const ImageRows& image) {
    const std::string problem = GeometryProblem(format, frame, image);
    if (problem.empty()) return 0;
    halide_error(nullptr, ("Pipeline call refused: " + problem).c_str());
    return halide_error_code_requirement_failed;
}

size_t FrameSpan(PipelineFormat format, const FrameLines& frame) {
    if (frame.height <= 0 || frame.width <= 0) return 0;
    return static_cast<size_t>(frame.height - 1) * frame.lineLength + LineBytes(format, frame.width);
}

PipelineBuffer DescribeFrame(PipelineFormat format, const FrameLines& frame) {
    const int group = InputGroupBytes(format);
    halide_dimension_t shape[3] = {{0, group, 1, 0},
                                   {0, frame.width / 2, group, 0},
                                   {0, frame.height, static_cast<int32_t>(frame.lineLength), 0}};
    // The pipelines only read their input; Halide's buffer type has no read-only form.
    uint8_t* host = frame.data != nullptr ? const_cast<uint8_t*>(frame.data) + frame.firstLineOffset : nullptr;
    return PipelineBuffer(host, 3, shape);
}

PipelineBuffer DescribeImage(PipelineFormat format, int width, int height, const ImageRows& image) {
    const int group = OutputGroupBytes(format);
    halide_dimension_t shape[3] = {
        {0, group, 1, 0}, {0, width / 2, group, 0}, {0, height, static_cast<int32_t>(image.rowStep), 0}};
    return PipelineBuffer(image.data, 3, shape);
}

int RunCpuPipeline(PipelineFormat format, const FrameLines& frame, const ImageRows& image) {
    return CallPipeline(format == PipelineFormat::Raw12 ? pixtract_raw12_cpu : pixtract_yuv422_8_cpu, format,
                        frame, image);
}

}  // namespace csi2ipl
