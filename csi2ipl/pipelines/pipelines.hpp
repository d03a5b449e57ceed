#pragma once
// The generated unpacking pipelines. Each takes the frame's CSI-2 payload and the output
// image as three-dimensional 8-bit buffers (dimension 0: byte of a two-pixel group,
// 1: group within a line, 2: line) and returns 0, or the negative Halide error code of
// the first check that refused the buffers, in which case nothing was written.
//
// RAW12:  input  {3, 1} {width / 2, 3} {height, line length}
//         output {4, 1} {width / 2, 4} {height, row step}
// YUV422: input  {4, 1} {width / 2, 4} {height, line length}
//         output {6, 1} {width / 2, 6} {height, row step}
// The row step is the image's, which exceeds width * 2 (width * 3) where rows are padded.
// Any other strides are accepted too; the layout above runs a faster specialised loop.
// A line needs at least 32 groups (64 pixels); on the GPU an image also needs 32 lines.
// pipeline_call.hpp builds these descriptions from the decoder's geometry.
// With both input pointers (host and device) null, a call is a bounds query: it fills in
// the input's shape and returns 0.
#include "HalideBuffer.h"
#include "HalideRuntime.h"

namespace csi2ipl {

// The buffer type the decoder wraps frames and images in.
using PipelineBuffer = Halide::Runtime::Buffer<unsigned char, -1, 4>;

}  // namespace csi2ipl

extern "C" {

// Processor pipelines, in both packages.
int pixtract_raw12_cpu(halide_buffer_t* input, halide_buffer_t* output);
int pixtract_raw12_cpu_argv(void** args);
const halide_filter_metadata_t* pixtract_raw12_cpu_metadata();
int pixtract_yuv422_8_cpu(halide_buffer_t* input, halide_buffer_t* output);
int pixtract_yuv422_8_cpu_argv(void** args);
const halide_filter_metadata_t* pixtract_yuv422_8_cpu_metadata();

// GPU pipelines, in the GPU package only (pixtract_pipelines_gpu). The input may wrap
// device memory from cudaMalloc: the pipelines run in the CUDA runtime's primary context.
// The output is left on the device, marked dirty, for the caller to copy back.
int pixtract_raw12_gpu(halide_buffer_t* input, halide_buffer_t* output);
int pixtract_raw12_gpu_argv(void** args);
const halide_filter_metadata_t* pixtract_raw12_gpu_metadata();
int pixtract_yuv422_8_gpu(halide_buffer_t* input, halide_buffer_t* output);
int pixtract_yuv422_8_gpu_argv(void** args);
const halide_filter_metadata_t* pixtract_yuv422_8_gpu_metadata();

}  // extern "C"
