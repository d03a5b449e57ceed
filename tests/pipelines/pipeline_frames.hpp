#pragma once
// Frames and expected images for the pipeline tests. The expected image is computed
// pixel by pixel from the CSI-2 packing, independently of how the pipelines express it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "pipelines/pipelines.hpp"

namespace pipeline_frames {

enum class Format { Raw12, Yuv422 };

constexpr int InputGroupBytes(Format format) {
    return format == Format::Raw12 ? 3 : 4;
}

constexpr int OutputGroupBytes(Format format) {
    return format == Format::Raw12 ? 4 : 6;
}

// One frame's payload as the decoder hands it over: lines at a fixed line length, with
// `gap` bytes after each line's pixels standing in for the packet footer and the next
// packet's header. The buffer ends right after the last pixel byte, so a read past the
// frame leaves the allocation.
struct Frame {
    Format format;
    int width;
    int height;
    int lineLength;
    std::vector<uint8_t> bytes;

    const uint8_t* Line(int y) const { return bytes.data() + static_cast<size_t>(y) * lineLength; }
};

inline Frame RandomFrame(Format format, int width, int height, int gap, unsigned seed) {
    Frame frame{format, width, height, width / 2 * InputGroupBytes(format) + gap, {}};
    frame.bytes.resize(static_cast<size_t>(height - 1) * frame.lineLength +
                       width / 2 * InputGroupBytes(format));
    std::mt19937 random(seed);
    for (uint8_t& byte : frame.bytes) byte = static_cast<uint8_t>(random());
    return frame;
}

inline void PutLittleEndian16(uint8_t* to, unsigned value) {
    to[0] = static_cast<uint8_t>(value);
    to[1] = static_cast<uint8_t>(value >> 8);
}

// Byte c of an output group from the input group `in`, as the pipelines define it for any
// c: RAW12 (b2 & 0x0F) << 4, b0, b2 & 0xF0, then b1 for every c from 3 on; YUV422 b1, b0,
// b2, b3, b0, then b2 for every c from 5 on.
inline uint8_t ExpectedGroupByte(Format format, int c, const uint8_t* in) {
    if (format == Format::Raw12) {
        switch (c) {
            case 0: return static_cast<uint8_t>((in[2] & 0x0F) << 4);
            case 1: return in[0];
            case 2: return static_cast<uint8_t>(in[2] & 0xF0);
            default: return in[1];
        }
    }
    static constexpr int kSource[] = {1, 0, 2, 3, 0};
    return in[c >= 0 && c < 5 ? kSource[c] : 2];
}

// RAW12 packs two 12-bit pixels in three bytes: the high 8 bits of each, then a byte with
// the low 4 bits of the first (bits 3..0) and of the second (bits 7..4). The image holds
// them as 16-bit little-endian words scaled to the full 16-bit range (shifted left by 4).
// YUV422 8-bit sends U Y0 V Y1; the image has three channels per pixel: Y0 U V, Y1 U V.
inline std::vector<uint8_t> ExpectedImage(const Frame& frame) {
    const int outGroup = OutputGroupBytes(frame.format);
    std::vector<uint8_t> image(static_cast<size_t>(frame.height) * frame.width / 2 * outGroup);
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width / 2; ++x) {
            const uint8_t* in = frame.Line(y) + x * InputGroupBytes(frame.format);
            uint8_t* out = image.data() + (static_cast<size_t>(y) * frame.width / 2 + x) * outGroup;
            if (frame.format == Format::Raw12) {
                unsigned first = (in[0] << 4) | (in[2] & 0x0F);
                unsigned second = (in[1] << 4) | (in[2] >> 4);
                PutLittleEndian16(out, first << 4);
                PutLittleEndian16(out + 2, second << 4);
            } else {
                const uint8_t u = in[0], y0 = in[1], v = in[2], y1 = in[3];
                const uint8_t pixels[6] = {y0, u, v, y1, u, v};
                std::memcpy(out, pixels, sizeof pixels);
            }
        }
    }
    return image;
}

// The descriptors the decoder builds for a frame (host input, or no host memory when the
// input is wrapped device memory) and for the output image.
inline csi2ipl::PipelineBuffer InputBuffer(Format format, int width, int height, int lineLength,
                                           const uint8_t* host) {
    const int group = InputGroupBytes(format);
    halide_dimension_t shape[3] = {{0, group, 1, 0}, {0, width / 2, group, 0}, {0, height, lineLength, 0}};
    return csi2ipl::PipelineBuffer(const_cast<uint8_t*>(host), 3, shape);
}

inline csi2ipl::PipelineBuffer InputBuffer(Frame& frame) {
    return InputBuffer(frame.format, frame.width, frame.height, frame.lineLength, frame.bytes.data());
}

// `rowStep` 0 packs the rows.
inline csi2ipl::PipelineBuffer OutputBuffer(Format format, int width, int height, uint8_t* image,
                                            int rowStep = 0) {
    const int group = OutputGroupBytes(format);
    halide_dimension_t shape[3] = {
        {0, group, 1, 0}, {0, width / 2, group, 0}, {0, height, rowStep != 0 ? rowStep : width / 2 * group, 0}};
    return csi2ipl::PipelineBuffer(image, 3, shape);
}

// A copy of some bytes that ends where an inaccessible page begins, so that reading one
// byte past them faults. The generated code carries no AddressSanitizer checks: an
// over-read into heap slack would go unseen otherwise.
class GuardedBytes {
  public:
    explicit GuardedBytes(const std::vector<uint8_t>& bytes) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t dataPages = (bytes.size() + page - 1) / page;
        mappedSize = (dataPages + 1) * page;
        void* mapped = mmap(nullptr, mappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::runtime_error("mmap failed");
        base = static_cast<uint8_t*>(mapped);
        if (mprotect(base + dataPages * page, page, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
        data = base + dataPages * page - bytes.size();
        std::memcpy(data, bytes.data(), bytes.size());
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    ~GuardedBytes() { munmap(base, mappedSize); }

    uint8_t* data = nullptr;

  private:
    uint8_t* base = nullptr;
    size_t mappedSize = 0;
};

}  // namespace pipeline_frames
