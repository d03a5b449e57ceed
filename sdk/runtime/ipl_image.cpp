#include "tarn/runtime/ipl_image.hpp"

#include <climits>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "runtime/ascii_case.hpp"
#include "tarn/runtime/c_library.hpp"

namespace {

// Four characters packed low byte first, as channel codes are passed around.
constexpr unsigned int PackCode(unsigned char c0, unsigned char c1, unsigned char c2, unsigned char c3) {
    return c0 | c1 << 8 | c2 << 16 | static_cast<unsigned int>(c3) << 24;
}

constexpr unsigned int kBGR = PackCode('B', 'G', 'R', 0);
constexpr unsigned int kBGRA = PackCode('B', 'G', 'R', 'A');
constexpr unsigned int kGRAY = PackCode('G', 'R', 'A', 'Y');
constexpr unsigned int kG = PackCode('G', 0, 0, 0);
constexpr unsigned int kRGB = PackCode('R', 'G', 'B', 0);
constexpr unsigned int kRGBA = PackCode('R', 'G', 'B', 'A');

// The code up to its first NUL, ASCII letters upper-cased (never through the locale:
// "gray" must mean GRAY in every locale), zero bytes after its last character.
unsigned int NormaliseCode(const unsigned char bytes[4]) {
    unsigned int code = 0;
    for (int i = 0; i < 4 && bytes[i] != 0; ++i) {
        const auto c = static_cast<unsigned char>(TARNPrivate::AsciiUpper(static_cast<char>(bytes[i])));
        code |= static_cast<unsigned int>(c) << (8 * i);
    }
    return code;
}

void StoreCode(char to[4], unsigned int code) {
    for (int i = 0; i < 4; ++i) to[i] = static_cast<char>((code >> (8 * i)) & 0xFF);
}

unsigned int LoadCode(const char from[4]) {
    unsigned int code = 0;
    for (int i = 0; i < 4; ++i)
        code |= static_cast<unsigned int>(static_cast<unsigned char>(from[i])) << (8 * i);
    return code;
}

[[noreturn]] void Refuse(const char* why) {
    throw std::invalid_argument(std::string("IplImageModel: ") + why);
}

// Product of non-negative factors, refused when it leaves the range of an int: every size
// lands in a 32-bit header field, and the factors (bits up to 2^31, widths, heights,
// channel counts) can overflow even 64 bits together.
int64_t SizeProduct(int64_t a, int64_t b, const char* what) {
    int64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product) || product > INT_MAX) Refuse(what);
    return product;
}

_IplImage BuildModel(int width, int height, unsigned int code, unsigned int dataOrder, unsigned int depth,
                     unsigned int align) {
    if (align == 0) Refuse("row alignment 0");
    if (align > INT_MAX) Refuse("row alignment above INT_MAX");
    if (width < 0) Refuse("negative width");
    if (height < 0) Refuse("negative height");

    _IplImage image;
    // Zero everything, padding included, so that two equal headers are equal bytes.
    TARN::Memset(&image, 0, sizeof image);
    image.nSize = sizeof(_IplImage);
    image.ID = 0;

    unsigned int colorModel = code;
    unsigned int channelSeq = code;
    if (code == kBGR) {
        colorModel = kRGB;
        image.nChannels = 3;
        image.alphaChannel = 0;
    } else if (code == kBGRA) {
        colorModel = kRGBA;
        image.nChannels = 4;
        image.alphaChannel = 3;
    } else if (code == kGRAY || code == kG) {
        channelSeq = kGRAY;
        image.nChannels = 1;
        image.alphaChannel = 0;
    } else if ((code >> 24) == 'A') {
        image.nChannels = 4;
        image.alphaChannel = 3;
    } else {
        image.nChannels = 3;
        image.alphaChannel = 0;
    }
    StoreCode(image.colorModel, colorModel);
    StoreCode(image.channelSeq, channelSeq);

    image.depth = static_cast<int>(depth);
    image.dataOrder = static_cast<int>(dataOrder);
    image.origin = 0;
    image.align = static_cast<int>(align);
    image.width = width;
    image.height = height;
    for (int i = 0; i < 4; ++i) {
        image.BorderMode[i] = 1;
        image.BorderConst[i] = 0;
    }

    // Sizes are worked out in 64 bits: bits per channel (up to 2^31 - 1) times width times
    // channels overflows 32 bits, and even 64 bits at the extremes.
    const int64_t bitsPerChannel = depth & 0x7FFFFFFFu;
    const bool planar = dataOrder != 0;
    int64_t rowBits = bitsPerChannel * width;  // below 2^62
    if (!planar && __builtin_mul_overflow(rowBits, int64_t{image.nChannels}, &rowBits))
        Refuse("row of more than INT_MAX bytes");
    const int64_t rowBytes = rowBits / 8 + (rowBits % 8 != 0);
    if (rowBytes > INT_MAX) Refuse("row of more than INT_MAX bytes");
    const int64_t widthStep = SizeProduct((rowBytes + align - 1) / align, align, "row step above INT_MAX");
    int64_t imageSize = SizeProduct(height, widthStep, "image size above INT_MAX");
    if (planar) imageSize = SizeProduct(imageSize, image.nChannels, "image size above INT_MAX");
    image.widthStep = static_cast<int>(widthStep);
    image.imageSize = static_cast<int>(imageSize);
    return image;
}

}  // namespace

namespace TARN {

_IplImage IplImageModel(int width, int height, unsigned int colorModel, unsigned int dataOrder,
                        unsigned int depth, unsigned int align) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(colorModel), static_cast<unsigned char>(colorModel >> 8),
        static_cast<unsigned char>(colorModel >> 16), static_cast<unsigned char>(colorModel >> 24)};
    return BuildModel(width, height, NormaliseCode(bytes), dataOrder, depth, align);
}

_IplImage IplImageModel(int width, int height, const char* colorModel, unsigned int dataOrder,
                        unsigned int depth, unsigned int align) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    // Read no further than the text's NUL: the text may be shorter than four bytes.
    for (int i = 0; colorModel != nullptr && i < 4 && colorModel[i] != 0; ++i)
        bytes[i] = static_cast<unsigned char>(colorModel[i]);
    return BuildModel(width, height, NormaliseCode(bytes), dataOrder, depth, align);
}

bool IplImageCheck(_IplImage& a, _IplImage& b) {
    return LoadCode(a.colorModel) == LoadCode(b.colorModel) &&
           LoadCode(a.channelSeq) == LoadCode(b.channelSeq) && a.width == b.width && a.height == b.height;
}

int GetRuntimeEndianness() {
    return 0;
}

}  // namespace TARN
