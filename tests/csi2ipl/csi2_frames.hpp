#pragma once
// Helpers of the decoder tests: frames from the capture writer, cut or placed against a
// guard page, decoded with the decoder's functions and read back as samples.
#include <cstdint>
#include <cstring>
#include <vector>

#include "csi2ipl/frame_geometry.hpp"
#include "csi2ipl/frame_unpacking.hpp"
#include "support/capture_writer.hpp"
#include "support/guarded_buffer.hpp"
#include "support/reference_decoder.hpp"

namespace csi2_frames {

// The frame without what follows the last line's payload (its footer and any trailing
// packets), so the last pixel byte is the last readable byte before the guard page.
inline std::vector<uint8_t> EndingAtLastPixel(const capture::CaptureFrame& frame) {
    const capture::PacketPlacement& last = frame.lines.back();
    return std::vector<uint8_t>(frame.bytes.begin(), frame.bytes.begin() + last.offset + 8 + last.wordCount);
}

// The bytes with the frame-size word of their length.
inline std::vector<uint8_t> WithSizeWord(std::vector<uint8_t> bytes) {
    const uint32_t word = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data(), &word, sizeof word);
    return bytes;
}

// The frame with each line's packet ending with its last pixel: the footers taken out,
// every other packet kept.
inline capture::CaptureFrame WithoutFooters(const capture::CaptureFrame& frame) {
    capture::CaptureFrame out = frame;
    uint32_t removed = 0;
    for (capture::PacketPlacement& line : out.lines) {
        line.offset -= removed;
        const auto footer = out.bytes.begin() + line.offset + 8 + line.wordCount;
        out.bytes.erase(footer, footer + 2);
        removed += 2;
    }
    out.bytes = WithSizeWord(std::move(out.bytes));
    return out;
}

// The frame without its last 8 bytes, the frame end packet the capture writer ends a frame
// with when asked for frame markers.
inline capture::CaptureFrame WithoutFrameEnd(capture::CaptureFrame frame) {
    frame.bytes.resize(frame.bytes.size() - 8);
    frame.bytes = WithSizeWord(std::move(frame.bytes));
    return frame;
}

// The frame with one stray B8 in front of line `beforeLine`'s preamble, as a link that
// repeats a byte delivers it: the lines from there on stand one byte later, and the
// frame-size word counts the byte. Their payloads are the clean frame's, so the two decode
// to the same image.
inline capture::CaptureFrame WithStrayByte(const capture::CaptureFrame& clean, size_t beforeLine) {
    capture::CaptureFrame frame = clean;
    const uint32_t at = frame.lines.at(beforeLine).offset;
    frame.bytes.insert(frame.bytes.begin() + at, 0xB8);
    for (size_t y = beforeLine; y < frame.lines.size(); ++y) ++frame.lines[y].offset;
    frame.bytes = WithSizeWord(std::move(frame.bytes));
    return frame;
}

// One byte of a frame lost, gained (`value` in front of byte `at`) or changed, as a link
// that drops, repeats or garbles a byte delivers it. The frame-size word counts the bytes
// the frame then has, as a capture of what came records it.
enum class DamageKind { kLost, kGained, kChanged };
struct Damage {
    DamageKind kind;
    size_t at;
    uint8_t value = 0xB8;
};

inline std::vector<uint8_t> Damaged(std::vector<uint8_t> frame, const Damage& damage) {
    const auto at = frame.begin() + static_cast<long>(damage.at);
    switch (damage.kind) {
        case DamageKind::kLost:
            frame.erase(at);
            break;
        case DamageKind::kGained:
            frame.insert(at, damage.value);
            break;
        case DamageKind::kChanged:
            *at = damage.value;
            break;
    }
    return WithSizeWord(std::move(frame));
}

inline csi2ipl::GeometryRequest Fixed(uint8_t targetType, bool limitTo8 = false,
                                      csi2ipl::SimdLevel simd = csi2ipl::SimdLevel::kScalar) {
    csi2ipl::GeometryRequest request;
    request.targetType = targetType;
    request.limitTo8 = limitTo8;
    request.simd = simd;
    return request;
}

inline constexpr uint8_t kPaddingMark = 0xCD;

// An image decoded into rows padded to 8 bytes plus `extraStep`, the padding marked so
// that writes past a row show.
struct DecodedImage {
    bool unpacked = false;
    size_t rowStep = 0;
    std::vector<uint8_t> bytes;

    std::vector<uint32_t> Samples(const csi2ipl::FrameGeometry& geometry) const {
        return reference::SamplesOf(bytes.data(), rowStep, geometry.width, geometry.height, geometry.channels,
                                    geometry.depth);
    }
    bool PaddingIntact(const csi2ipl::FrameGeometry& geometry) const {
        for (size_t y = 0; y < geometry.height; ++y)
            for (size_t i = geometry.rowBytes; i < rowStep; ++i)
                if (bytes[y * rowStep + i] != kPaddingMark) return false;
        return true;
    }
};

inline DecodedImage Unpack(const csi2ipl::FrameGeometry& geometry, const uint8_t* data, size_t size, unsigned shift,
                           size_t extraStep = 0) {
    DecodedImage image;
    image.rowStep = csi2ipl::AlignedRowBytes(geometry) + extraStep;
    image.bytes.assign(image.rowStep * geometry.height, kPaddingMark);
    image.unpacked = csi2ipl::UnpackFrame(geometry, data, size, image.bytes.data(), image.rowStep, shift);
    return image;
}

}  // namespace csi2_frames
