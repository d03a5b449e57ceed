#include "bases/image_region_operations.hpp"

#include <cstring>

namespace TARNImageRegion {

void ShapeAsModel(_IplImage& image, const _IplImage& model, const _IplROI* region) {
    image.widthStep = model.widthStep;
    image.width = model.width;
    image.height = model.height;
    image.roi = reinterpret_cast<_IplROI*>(&image + 1);
    *image.roi = region != nullptr ? *region : _IplROI{0, 0, 0, image.width, image.height};
}

namespace {

// The IPL flag of signed depths; the bits are the rest.
constexpr unsigned int DepthSignFlag = 0x80000000u;

unsigned char* rowOf(const _IplImage& image, long row) {
    return reinterpret_cast<unsigned char*>(image.imageData) + row * static_cast<long>(image.widthStep);
}

}  // namespace

bool Fits(const _IplROI& region, int width, int height) {
    return region.xOffset >= 0 && region.yOffset >= 0 && region.width >= 1 && region.height >= 1 &&
           static_cast<long>(region.xOffset) + region.width <= width &&
           static_cast<long>(region.yOffset) + region.height <= height;
}

long PixelBits(const _IplImage& image) {
    const long depth = static_cast<long>(static_cast<unsigned int>(image.depth) & ~DepthSignFlag);
    return static_cast<long>(image.nChannels) * depth;
}

void Crop(_IplImage& image) {
    _IplROI& region = *image.roi;
    region.xOffset = 0;
    region.yOffset = 0;
    const long align = image.align >= 1 ? image.align : 1;
    const long bytes = (region.width * PixelBits(image) + 7) / 8;
    image.widthStep = static_cast<int>((bytes + align - 1) / align * align);
    image.width = region.width;
    image.height = region.height;
}

void ClearInside(_IplImage& image) {
    const _IplROI& region = *image.roi;
    const long bits = PixelBits(image);
    const long left = region.xOffset * bits;
    const long from = (left + 7) / 8;
    const long count = (region.width * bits - left % 8) / 8;
    for (long row = region.yOffset; row < static_cast<long>(region.yOffset) + region.height; ++row)
        std::memset(rowOf(image, row) + from, 0, static_cast<std::size_t>(count));
}

void ClearOutside(_IplImage& image) {
    const _IplROI& region = *image.roi;
    const long step = image.widthStep;
    const long top = region.yOffset;
    const long bottom = static_cast<long>(region.yOffset) + region.height;
    std::memset(rowOf(image, 0), 0, static_cast<std::size_t>(top * step));
    std::memset(rowOf(image, bottom), 0, static_cast<std::size_t>((image.height - bottom) * step));
    const long bits = PixelBits(image);
    const long leftBytes = (region.xOffset * bits + 7) / 8;
    const long rightFrom = ((static_cast<long>(region.xOffset) + region.width) * bits + 7) / 8;
    for (long row = top; row < bottom; ++row) {
        unsigned char* line = rowOf(image, row);
        std::memset(line, 0, static_cast<std::size_t>(leftBytes));
        if (rightFrom < step) std::memset(line + rightFrom, 0, static_cast<std::size_t>(step - rightFrom));
    }
}

}  // namespace TARNImageRegion
