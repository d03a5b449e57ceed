// The records that I/O elements carry in their data buffers, besides plain vectors, IPL
// images (tarn/runtime/ipl_image.hpp) and matrices (tarn/runtime/matrix.hpp).
//
// Components of other packages and the engine read these records in place, and I/O
// element serialisation copies their headers byte for byte: every layout below is binding
// and pinned by the static_asserts after it.
#pragma once

#include <cstddef>

// An image in the engine's own format: a 48-byte header, then (in an output buffer) the
// image data right behind it.
struct TARNImage {
    int width;
    int height;
    // Bytes of image data in use, the length that serialisation copies.
    int size;
    // Bytes of room behind `data`.
    int bufferSize;
    // Position of the element in its output's ring when the output set the buffer up.
    long elementIndex;
    // 57005 (0xDEAD) in headers made by an output; carried unchanged otherwise.
    unsigned long marker;
    unsigned char* data;
    // Four-character code of the data's format, first character in the lowest byte.
    unsigned int coding;
    // A second word chosen by the writer; carried unchanged.
    unsigned int extra;
};

static_assert(sizeof(TARNImage) == 48);
static_assert(offsetof(TARNImage, width) == 0);
static_assert(offsetof(TARNImage, height) == 4);
static_assert(offsetof(TARNImage, size) == 8);
static_assert(offsetof(TARNImage, bufferSize) == 12);
static_assert(offsetof(TARNImage, elementIndex) == 16);
static_assert(offsetof(TARNImage, marker) == 24);
static_assert(offsetof(TARNImage, data) == 32);
static_assert(offsetof(TARNImage, coding) == 40);
static_assert(offsetof(TARNImage, extra) == 44);

// A block of sound samples: a 24-byte header, then (in an output buffer) the samples.
// The meaning of the first three words belongs to the components that exchange them.
struct TARNAudioSignal {
    int words[3];
    // Bytes of samples behind `data`.
    int dataSize;
    unsigned char* data;
};

static_assert(sizeof(TARNAudioSignal) == 24);
static_assert(offsetof(TARNAudioSignal, words) == 0);
static_assert(offsetof(TARNAudioSignal, dataSize) == 12);
static_assert(offsetof(TARNAudioSignal, data) == 16);

// A set of 3-D triangles: a 48-byte header with three counted arrays. The header lists
// them in the order third, first, second; an output buffer places the first (24-byte
// records) at 48, the second (16-byte records) behind it and the third (16-byte records)
// last. Each array holds the element's VectorSize records.
struct TARNTriangles3D {
    int thirdCount;
    unsigned char* third;
    int firstCount;
    unsigned char* first;
    int secondCount;
    unsigned char* second;

    static constexpr int FirstRecordBytes = 24;
    static constexpr int SecondRecordBytes = 16;
    static constexpr int ThirdRecordBytes = 16;
};

static_assert(sizeof(TARNTriangles3D) == 48);
static_assert(offsetof(TARNTriangles3D, thirdCount) == 0);
static_assert(offsetof(TARNTriangles3D, third) == 8);
static_assert(offsetof(TARNTriangles3D, firstCount) == 16);
static_assert(offsetof(TARNTriangles3D, first) == 24);
static_assert(offsetof(TARNTriangles3D, secondCount) == 32);
static_assert(offsetof(TARNTriangles3D, second) == 40);

// Fixed-size records whose inner layout belongs to the components that exchange them: the
// SDK only moves them, so it sees their bytes.
struct TARNCANFrame {
    unsigned char bytes[24];
};
struct TARNCANFDFrame {
    unsigned char bytes[80];
};
struct TARNCANUniFrame {
    unsigned char bytes[96];
};
struct TARNDrawingObject {
    unsigned char bytes[96];
};
struct TARNRealObject {
    unsigned char bytes[320];
};

static_assert(sizeof(TARNCANFrame) == 24);
static_assert(sizeof(TARNCANFDFrame) == 80);
static_assert(sizeof(TARNCANUniFrame) == 96);
static_assert(sizeof(TARNDrawingObject) == 96);
static_assert(sizeof(TARNRealObject) == 320);
