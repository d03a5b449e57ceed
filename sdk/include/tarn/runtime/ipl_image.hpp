// The IPL image header that images travel with between components, and the builder of
// such headers from a size, a channel code, a data order, a depth and a row alignment.
#pragma once

#include <cstddef>

// Region of interest of an IPL image (20 bytes). coi 0 selects every channel.
struct _IplROI {
    int coi;
    int xOffset;
    int yOffset;
    int width;
    int height;
};

struct _IplTileInfo;

// The classic 144-byte IPL image header, shared byte for byte with the engine and every
// other package: the field order, widths and offsets must not change (they are pinned
// below). The pixel data lies elsewhere, reached through imageData.
struct _IplImage {
    int nSize;           // sizeof(_IplImage), 144
    int ID;              // always 0
    int nChannels;       // 1 to 4
    int alphaChannel;    // index of the alpha channel, 0 for none
    int depth;           // bits per channel; bit 31 set for signed depths
    char colorModel[4];  // four-character code, not NUL-terminated when all four are used
    char channelSeq[4];  // order of the channels in memory, e.g. "BGR"
    int dataOrder;       // 0 pixel-interleaved, otherwise planar
    int origin;          // 0 top-left
    int align;           // row alignment in bytes
    int width;
    int height;
    _IplROI* roi;
    _IplImage* maskROI;
    void* imageId;
    _IplTileInfo* tileInfo;
    int imageSize;  // bytes of pixel data
    char* imageData;
    int widthStep;  // bytes from one row to the next
    int BorderMode[4];
    int BorderConst[4];
    char* imageDataOrigin;
};

static_assert(sizeof(_IplROI) == 20);
static_assert(offsetof(_IplROI, coi) == 0 && offsetof(_IplROI, xOffset) == 4 &&
              offsetof(_IplROI, yOffset) == 8 && offsetof(_IplROI, width) == 12 &&
              offsetof(_IplROI, height) == 16);

static_assert(sizeof(_IplImage) == 144);
static_assert(offsetof(_IplImage, nSize) == 0);
static_assert(offsetof(_IplImage, ID) == 4);
static_assert(offsetof(_IplImage, nChannels) == 8);
static_assert(offsetof(_IplImage, alphaChannel) == 12);
static_assert(offsetof(_IplImage, depth) == 16);
static_assert(offsetof(_IplImage, colorModel) == 20);
static_assert(offsetof(_IplImage, channelSeq) == 24);
static_assert(offsetof(_IplImage, dataOrder) == 28);
static_assert(offsetof(_IplImage, origin) == 32);
static_assert(offsetof(_IplImage, align) == 36);
static_assert(offsetof(_IplImage, width) == 40);
static_assert(offsetof(_IplImage, height) == 44);
static_assert(offsetof(_IplImage, roi) == 48);
static_assert(offsetof(_IplImage, maskROI) == 56);
static_assert(offsetof(_IplImage, imageId) == 64);
static_assert(offsetof(_IplImage, tileInfo) == 72);
static_assert(offsetof(_IplImage, imageSize) == 80);
static_assert(offsetof(_IplImage, imageData) == 88);
static_assert(offsetof(_IplImage, widthStep) == 96);
static_assert(offsetof(_IplImage, BorderMode) == 100);
static_assert(offsetof(_IplImage, BorderConst) == 116);
static_assert(offsetof(_IplImage, imageDataOrigin) == 136);

namespace TARN {

// Builds a header without pixel data. The channel code is four characters packed low byte
// first ('B' | 'G' << 8 | 'R' << 16 for "BGR"); lower-case letters are taken as upper case.
// "BGR" and "BGRA" keep their channel order but name the colour model "RGB" / "RGBA";
// "GRAY" and "G" are one-channel images; any other code is its own colour model, with an
// alpha channel when its fourth character is 'A'. Rows are padded to a multiple of align.
// Every byte of the result is set, padding included, so headers compare with memcmp.
// Throws std::invalid_argument for an align of 0, a negative width or height, or a row
// step, image size or alignment beyond INT_MAX.
_IplImage IplImageModel(int width, int height, unsigned int colorModel, unsigned int dataOrder,
                        unsigned int depth, unsigned int align);
// The same with the code given as text: its first four characters, fewer when it is
// shorter. A null text is the empty code.
_IplImage IplImageModel(int width, int height, const char* colorModel, unsigned int dataOrder,
                        unsigned int depth, unsigned int align);

// True when two headers describe the same format: colour model, channel sequence, width
// and height.
bool IplImageCheck(_IplImage& a, _IplImage& b);

// Byte order of the images this runtime produces: 0, little-endian.
int GetRuntimeEndianness();

}  // namespace TARN
