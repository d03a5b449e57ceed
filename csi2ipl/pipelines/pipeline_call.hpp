#pragma once
// How the decoder hands a frame to a pipeline: the frame's lines and the image's rows as
// the decoder knows them (where the first line starts, how far apart lines are, the
// image's row step), turned into the buffer descriptions the pipelines take.
//
// A pipeline decodes a frame only when its lines are evenly spaced (EvenLineSpacing
// tells) and at least kPipelineMinimumWidth pixels wide; otherwise the caller decodes
// it line by line with an unpacker. Every call returns the pipeline's result, which the
// caller must check: on any non-zero result nothing was written to the image.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ranges>

#include "pipelines/pipelines.hpp"

namespace csi2ipl {

enum class PipelineFormat {
    Raw12,    // 3 bytes in, two 16-bit little-endian samples out
    Yuv422_8  // 4 bytes in (U Y0 V Y1), two 3-channel pixels out (Y0 U V, Y1 U V)
};

// A line narrower than this does not fill one 32-group vector: the pipelines refuse it
// (halide_error_code_access_out_of_bounds) and the caller uses the unpacker instead.
constexpr int kPipelineMinimumWidth = 64;

// Payload bytes per two-pixel group in the frame, and image bytes per group.
constexpr int InputGroupBytes(PipelineFormat format) {
    return format == PipelineFormat::Raw12 ? 3 : 4;
}
constexpr int OutputGroupBytes(PipelineFormat format) {
    return format == PipelineFormat::Raw12 ? 4 : 6;
}

// The lines of one frame. Line y's payload starts at
// data + firstLineOffset + y * lineLength and holds width / 2 groups.
struct FrameLines {
    const uint8_t* data;     // the frame as read (null: describe the shape only)
    size_t dataSize;         // bytes readable at data
    size_t firstLineOffset;  // from data to the first payload byte of the first line
    size_t lineLength;       // from one line's payload to the next line's
    int width;               // pixels per line: even
    int height;              // lines
};

// The output image: `height` rows of width / 2 groups, rowStep bytes apart (the image's
// row step, which may exceed the row for alignment).
struct ImageRows {
    uint8_t* data;
    size_t size;     // bytes writable at data
    size_t rowStep;
};

// Bytes of the frame a pipeline reads, from the first line's first payload byte to the
// last line's last one: what a device copy of the frame must hold.
size_t FrameSpan(PipelineFormat format, const FrameLines& frame);

// The descriptions a pipeline call takes. The frame's host pointer is null when
// frame.data is (for wrapping device memory). They do not check the geometry:
// RunCpuPipeline does.
PipelineBuffer DescribeFrame(PipelineFormat format, const FrameLines& frame);
PipelineBuffer DescribeImage(PipelineFormat format, int width, int height, const ImageRows& image);

// 0 when the frame and image can be handed to a pipeline; else, with a message to the
// pipeline error sink, halide_error_code_requirement_failed: an odd or non-positive
// width, no lines, lines or rows overlapping, a frame or image that ends before its last
// line or row, a line length or row step beyond 32 bits, or no memory. The GPU path
// makes the same check before copying the frame.
int CheckPipelineGeometry(PipelineFormat format, const FrameLines& frame, const ImageRows& image);

// Decodes the frame into the image with the processor pipeline. Returns 0, or a negative
// Halide error code with a message passed to the pipeline error sink and nothing
// written: that of CheckPipelineGeometry, else that of the pipeline's own refusal
// (halide_error_code_access_out_of_bounds for a line under kPipelineMinimumWidth).
int RunCpuPipeline(PipelineFormat format, const FrameLines& frame, const ImageRows& image);

// The common distance between consecutive line offsets, in order: the line length to
// pass with them. One line gives 0 (any length serves). Empty, repeated, decreasing or
// unevenly spaced offsets give nothing: the lines must be decoded one by one. `offsetOf` takes
// the offset out of an item of `lines`.
template <std::ranges::forward_range Lines, typename Projection = std::identity>
std::optional<size_t> EvenLineSpacing(const Lines& lines, Projection offsetOf = {}) {
    auto line = std::ranges::begin(lines);
    const auto end = std::ranges::end(lines);
    if (line == end) return std::nullopt;
    size_t previous = static_cast<size_t>(std::invoke(offsetOf, *line));
    std::optional<size_t> spacing;
    for (++line; line != end; ++line) {
        const size_t offset = static_cast<size_t>(std::invoke(offsetOf, *line));
        if (offset <= previous) return std::nullopt;
        if (spacing && *spacing != offset - previous) return std::nullopt;
        spacing = offset - previous;
        previous = offset;
    }
    return spacing.value_or(0);
}

}  // namespace csi2ipl
