#include "dataflow/io_element_layout.hpp"

#include <climits>
#include <cstddef>
#include <cstring>

#include "tarn/dataflow/io_element_payloads.hpp"
#include "tarn/runtime/ipl_image.hpp"
#include "tarn/runtime/matrix.hpp"

namespace {

// Header fields are read by copying: a serialised block has no alignment.
int readInt(const unsigned char* header, std::size_t offset) {
    int value;
    std::memcpy(&value, header + offset, sizeof value);
    return value;
}

bool readPresent(const unsigned char* header, std::size_t offset) {
    const void* reference;
    std::memcpy(&reference, header + offset, sizeof reference);
    return reference != nullptr;
}

// The record offsets below are those of the payload records, whose layouts are pinned
// where they are declared; the matrix's are pinned in matrix.cpp.
constexpr std::size_t kMatrixRows = 8;
constexpr std::size_t kMatrixCols = 12;
constexpr std::size_t kMatrixReal = 16;
constexpr std::size_t kMatrixImag = 24;

void addPart(TARNPrivate::IOEltPayloadLayout& layout, const unsigned char* header,
             std::size_t referenceOffset, unsigned long bytes) {
    if (!readPresent(header, referenceOffset)) return;
    layout.parts[layout.partCount++] = {static_cast<int>(referenceOffset), bytes};
}

}  // namespace

namespace TARNPrivate {

unsigned long SaturatedBytes(unsigned long count, unsigned long width) {
    unsigned long bytes;
    if (__builtin_mul_overflow(count, width, &bytes)) return ULONG_MAX;
    return bytes;
}

unsigned long SaturatedSum(unsigned long a, unsigned long b) {
    unsigned long sum;
    if (__builtin_add_overflow(a, b, &sum)) return ULONG_MAX;
    return sum;
}

unsigned long IOEltPayloadLayout::TotalBytes() const {
    unsigned long total = static_cast<unsigned long>(headerBytes);
    for (int i = 0; i < partCount; ++i) total = SaturatedSum(total, parts[i].bytes);
    return total;
}

int IOEltHeaderBytes(TARNIOEltKind kind) {
    switch (kind) {
        case TARNIOEltKind::Matrix:
            return sizeof(TARNMatrix);
        case TARNIOEltKind::IplImage:
            return sizeof(_IplImage);
        case TARNIOEltKind::TARNImage:
            return sizeof(TARNImage);
        case TARNIOEltKind::AudioSignal:
            return sizeof(TARNAudioSignal);
        case TARNIOEltKind::Triangles3D:
            return sizeof(TARNTriangles3D);
        default:
            return 0;
    }
}

unsigned long IOEltNeededBytes(TARNIOEltKind kind, int bufferSize) {
    const unsigned long items = bufferSize < 0 ? 0 : static_cast<unsigned long>(bufferSize);
    if (IsPlainIOEltKind(kind)) return SaturatedBytes(items, IOEltItemBytes(kind));
    const unsigned long header = IOEltHeaderBytes(kind);
    switch (kind) {
        case TARNIOEltKind::Matrix:  // a real and an imaginary array of `items` values
            return SaturatedSum(header, SaturatedBytes(items, 2 * sizeof(double)));
        case TARNIOEltKind::IplImage:  // the ROI, then the pixels
            return SaturatedSum(header + sizeof(_IplROI), items);
        case TARNIOEltKind::TARNImage:
        case TARNIOEltKind::AudioSignal:
            return SaturatedSum(header, items);
        case TARNIOEltKind::Triangles3D:
            return SaturatedSum(header, SaturatedBytes(items, TARNTriangles3D::FirstRecordBytes +
                                                                  TARNTriangles3D::SecondRecordBytes +
                                                                  TARNTriangles3D::ThirdRecordBytes));
        case TARNIOEltKind::CustomType:
            return 0xFFFFFFFF;
        default:  // no filter matched: the items are taken as bytes
            return items;
    }
}

IOEltPayloadLayout DescribeIOEltPayload(TARNIOEltKind kind, const unsigned char* header, int vectorSize) {
    IOEltPayloadLayout layout;
    layout.headerBytes = IOEltHeaderBytes(kind);
    switch (kind) {
        case TARNIOEltKind::Matrix: {
            const int rows = readInt(header, kMatrixRows);
            const int cols = readInt(header, kMatrixCols);
            if (rows < 0 || cols < 0) {
                layout.valid = false;
                break;
            }
            const unsigned long values = static_cast<unsigned long>(rows) * static_cast<unsigned long>(cols);
            const unsigned long bytes = SaturatedBytes(values, sizeof(double));
            addPart(layout, header, kMatrixReal, bytes);
            addPart(layout, header, kMatrixImag, bytes);
            break;
        }
        case TARNIOEltKind::IplImage: {
            const int imageSize = readInt(header, offsetof(_IplImage, imageSize));
            if (imageSize < 0) {
                layout.valid = false;
                break;
            }
            addPart(layout, header, offsetof(_IplImage, roi), sizeof(_IplROI));
            addPart(layout, header, offsetof(_IplImage, imageData), static_cast<unsigned long>(imageSize));
            break;
        }
        case TARNIOEltKind::TARNImage: {
            const int size = readInt(header, offsetof(TARNImage, size));
            if (size < 0) {
                layout.valid = false;
                break;
            }
            addPart(layout, header, offsetof(TARNImage, data), static_cast<unsigned long>(size));
            break;
        }
        case TARNIOEltKind::AudioSignal: {
            const int size = readInt(header, offsetof(TARNAudioSignal, dataSize));
            if (size < 0) {
                layout.valid = false;
                break;
            }
            addPart(layout, header, offsetof(TARNAudioSignal, data), static_cast<unsigned long>(size));
            break;
        }
        case TARNIOEltKind::Triangles3D: {
            if (vectorSize < 0) {
                layout.valid = false;
                break;
            }
            const unsigned long records = static_cast<unsigned long>(vectorSize);
            addPart(layout, header, offsetof(TARNTriangles3D, third),
                    records * TARNTriangles3D::ThirdRecordBytes);
            addPart(layout, header, offsetof(TARNTriangles3D, first),
                    records * TARNTriangles3D::FirstRecordBytes);
            addPart(layout, header, offsetof(TARNTriangles3D, second),
                    records * TARNTriangles3D::SecondRecordBytes);
            break;
        }
        default:
            break;
    }
    return layout;
}

}  // namespace TARNPrivate
