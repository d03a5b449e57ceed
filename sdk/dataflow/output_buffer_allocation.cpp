// Output buffers laid out by element type.
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_element_kind.hpp"
#include "dataflow/output_buffers.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/matrix.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

constexpr const char* kAlreadyInitialized =
    "Output buffer already initialized. Can't initialize an output buffer twice.";
constexpr unsigned int kFourQuestionMarks = 0x3F3F3F3F;
constexpr unsigned long kLargestElementBuffer = INT_MAX;

// "<operation>:<line>: <argument> [<value>] < 0"
[[noreturn]] void negativeArgument(const char* operation, int line, const char* argument, long value) {
    TARNStreamedString message;
    message << operation << ":" << line << ": " << argument << " [" << value << "] < 0";
    TARNPrivate::KernelError(message.c_str(), 2);
}

// An element buffer beyond the 32-bit sizes of the output and its elements.
void refuseBeyond32Bits(const char* operation, int line, const char* what, unsigned long bytes) {
    if (bytes <= kLargestElementBuffer) return;
    TARNStreamedString message;
    message << operation << ":" << line << ": " << what << " [" << bytes << "] > " << kLargestElementBuffer;
    TARNPrivate::KernelError(message.c_str(), 2);
}

void refuseTwice(int elementCount, int parameter) {
    if (elementCount != 0) TARNPrivate::KernelError(kAlreadyInitialized, parameter);
}

// The block is obtained by AllocateSharedMemory, which raises its own errors; a null block
// after it would be an allocator that neither failed nor gave memory.
void requireBlock(const unsigned char* block, const TARNOutputBufferTarget& output) {
    if (block != nullptr) return;
    TARNStreamedString message;
    message << "Output : " << output.fullName << " : Not enough memory to allocate output buffer.";
    TARNPrivate::KernelError(message.c_str(), 2);
}

// Slices start on multiples of 8 from the block's start: the headers of structured
// payloads hold pointers, and vectors of 16-, 32- and 64-bit items need their alignment too.
// The element size an output reports stays the bytes one element needs.
unsigned long sliceStride(unsigned long bytes) {
    return (bytes + 7) / 8 * 8;
}

// The layout shared by the matrix, image and audio allocations: one block with a slice of
// `bytes` (at the stride) per element of the output; every element gets the output's type
// and points at its slice, which `layOut(element, slice, index)` then fills.
template <class LayOut>
void layOutSlices(TARNOutputBuffers& buffers, const TARNOutputBufferTarget& output, unsigned long bytes,
                  LayOut layOut) {
    // Typed before the block is requested, as the other allocations reset theirs first.
    for (TARNIOEltImplementation* element : output.elements) element->type = output.type;
    const unsigned long stride = sliceStride(bytes);
    buffers.AllocateSharedMemory(stride, static_cast<long>(output.elements.size()), output.fullName);
    requireBlock(buffers.Block(), output);
    unsigned long index = 0;
    for (TARNIOEltImplementation* element : output.elements) {
        unsigned char* at = buffers.Block() + index * stride;
        element->data = at;
        layOut(*element, at, index++);
    }
}

// How AllocOutputBuffer lays out one element type.
enum class Preset {
    ZeroedVector,  // VectorSize = isize, data zeroed
    ZeroedText,    // data zeroed, VectorSize untouched
    Matrix,
    IplImage,
    TARNImage,
    Triangles3D,
    AudioSignal,
    RawVector,  // VectorSize = isize, data left as it comes
};

struct Row {
    // Element buffer bytes: perItem x isize + header.
    unsigned long perItem;
    unsigned long header;
    // Scalar and record types, which should carry the vector flag when isize is not 1.
    bool reportsVectorFlag;
    // The smallest isize that sets anything up.
    int minimum;
    // One structured object per buffer (buffer element count -1).
    bool structured;
    Preset preset;
};

Row rowFor(TARNIOEltKind kind) {
    switch (kind) {
        case TARNIOEltKind::Integer8:
        case TARNIOEltKind::Integer16:
        case TARNIOEltKind::Integer32:
        case TARNIOEltKind::Integer64:
        case TARNIOEltKind::UnsignedInteger8:
        case TARNIOEltKind::UnsignedInteger16:
        case TARNIOEltKind::UnsignedInteger32:
        case TARNIOEltKind::UnsignedInteger64:
        case TARNIOEltKind::Float32:
        case TARNIOEltKind::Float64:
        case TARNIOEltKind::CANFrame:
        case TARNIOEltKind::CANFDFrame:
        case TARNIOEltKind::CANUniFrame:
        case TARNIOEltKind::RealObjects:
        case TARNIOEltKind::DrawingObjects:
            return {static_cast<unsigned long>(TARNPrivate::IOEltItemBytes(kind)),
                    0,
                    true,
                    1,
                    false,
                    Preset::ZeroedVector};
        case TARNIOEltKind::TextAscii:
        case TARNIOEltKind::TextUnicode:
            return {static_cast<unsigned long>(TARNPrivate::IOEltItemBytes(kind)),
                    0,
                    false,
                    1,
                    false,
                    Preset::ZeroedText};
        case TARNIOEltKind::Matrix:
            return {2 * sizeof(double), sizeof(TARNMatrix), false, 1, false, Preset::Matrix};
        case TARNIOEltKind::IplImage:
            return {1, sizeof(_IplImage) + sizeof(_IplROI), false, 2, true, Preset::IplImage};
        case TARNIOEltKind::TARNImage:
            return {1, sizeof(TARNImage), false, 2, true, Preset::TARNImage};
        case TARNIOEltKind::Triangles3D:
            return {TARNTriangles3D::FirstRecordBytes + TARNTriangles3D::SecondRecordBytes +
                        TARNTriangles3D::ThirdRecordBytes,
                    sizeof(TARNTriangles3D),
                    false,
                    1,
                    false,
                    Preset::Triangles3D};
        case TARNIOEltKind::AudioSignal:
            return {1, sizeof(TARNAudioSignal), false, 2, true, Preset::AudioSignal};
        default:  // structures, custom and unknown types: isize bytes
            return {1, 0, false, 1, false, Preset::RawVector};
    }
}

// The preset of AllocOutputBuffer for element `element`, whose buffer of `bytes` bytes
// starts at `at`.
void applyPreset(Preset preset, TARNIOEltImplementation& element, unsigned char* at, unsigned long bytes,
                 int isize) {
    const unsigned long items = static_cast<unsigned long>(isize);
    switch (preset) {
        case Preset::ZeroedVector:
            element.vectorSize = isize;
            std::memset(at, 0, bytes);
            break;
        case Preset::ZeroedText:
            std::memset(at, 0, bytes);
            break;
        case Preset::RawVector:
            element.vectorSize = isize;
            break;
        case Preset::Matrix: {
            std::memset(at, 0, bytes);
            auto* first = reinterpret_cast<double*>(at + sizeof(TARNMatrix));
            new (at) TARNMatrix(0, 0, first, first + items);
            break;
        }
        case Preset::IplImage: {
            std::memset(at, 0, sizeof(_IplImage) + sizeof(_IplROI));
            auto* header = reinterpret_cast<_IplImage*>(at);
            std::memcpy(header->colorModel, &kFourQuestionMarks, 4);
            std::memcpy(header->channelSeq, &kFourQuestionMarks, 4);
            header->roi = reinterpret_cast<_IplROI*>(at + sizeof(_IplImage));
            header->imageData = reinterpret_cast<char*>(at + sizeof(_IplImage) + sizeof(_IplROI));
            break;
        }
        case Preset::TARNImage: {
            std::memset(at, 0, sizeof(TARNImage));
            auto* header = reinterpret_cast<TARNImage*>(at);
            header->bufferSize = isize;
            header->data = at + sizeof(TARNImage);
            header->coding = kFourQuestionMarks;
            break;
        }
        case Preset::Triangles3D: {
            element.vectorSize = isize;
            std::memset(at, 0, sizeof(TARNTriangles3D));
            auto* header = reinterpret_cast<TARNTriangles3D*>(at);
            unsigned char* arrays = at + sizeof(TARNTriangles3D);
            header->first = arrays;
            header->second = arrays + items * TARNTriangles3D::FirstRecordBytes;
            header->third =
                arrays + items * (TARNTriangles3D::FirstRecordBytes + TARNTriangles3D::SecondRecordBytes);
            break;
        }
        case Preset::AudioSignal: {
            std::memset(at, 0, sizeof(TARNAudioSignal));
            auto* header = reinterpret_cast<TARNAudioSignal*>(at);
            header->dataSize = isize;
            header->data = at + sizeof(TARNAudioSignal);
            break;
        }
    }
}

}  // namespace

void TARNOutputBuffers::AllocOutputBuffer(const TARNOutputBufferTarget& output, int isize, bool allocate) {
    if (isize < 0) negativeArgument("AllocOutputBuffer", 150, "isize", isize);
    refuseTwice(elementCount, 1);
    const Row row = rowFor(TARNPrivate::IOEltKindOf(output.type));
    const unsigned long bytes = row.perItem * static_cast<unsigned long>(isize) + row.header;
    if (isize >= row.minimum) refuseBeyond32Bits("AllocOutputBuffer", 151, "element buffer bytes", bytes);

    for (TARNIOEltImplementation* element : output.elements) element->ResetForBuffer(output.type);
    if (isize < row.minimum) return;

    if (row.reportsVectorFlag && isize != 1 && static_cast<long>(output.type.type) >= 0) {
        TARNStreamedString message("Output ");
        message << output.definitionName << " is a vector but its vector flag is not set.";
        TARNPrivate::Report(message.c_str(), 2, 0, true);
    }

    // Recorded before the block is requested: a failed request leaves the output counting
    // as set up until FreeBuffer.
    elementCount = row.structured ? -1 : isize;
    elementSize = static_cast<int>(bytes);
    const unsigned long stride = sliceStride(bytes);
    if (allocate) {
        AllocateSharedMemory(stride, static_cast<long>(output.elements.size()), output.fullName);
        requireBlock(block, output);
    }
    unsigned long index = 0;
    for (TARNIOEltImplementation* element : output.elements) {
        element->bufferSize = isize;
        if (allocate) {
            unsigned char* at = block + index * stride;
            element->data = at;
            applyPreset(row.preset, *element, at, bytes, isize);
        }
        ++index;
    }
}

void TARNOutputBuffers::AllocOutputBufferMatrix(const TARNOutputBufferTarget& output, int m, int n) {
    if (m < 0) negativeArgument("AllocOutputBufferMatrix", 445, "m", m);
    if (n < 0) negativeArgument("AllocOutputBufferMatrix", 446, "n", n);
    refuseTwice(elementCount, 2);
    const unsigned long values = static_cast<unsigned long>(m) * static_cast<unsigned long>(n);
    refuseBeyond32Bits("AllocOutputBufferMatrix", 447, "m x n", values);
    const unsigned long bytes = 2 * sizeof(double) * values + sizeof(TARNMatrix);
    refuseBeyond32Bits("AllocOutputBufferMatrix", 448, "16 x m x n + 40", bytes);

    layOutSlices(*this, output, bytes,
                 [&](TARNIOEltImplementation& element, unsigned char* at, unsigned long) {
                     element.bufferSize = static_cast<int>(values);
                     std::memset(at, 0, bytes);
                     auto* real = reinterpret_cast<double*>(at + sizeof(TARNMatrix));
                     new (at) TARNMatrix(m, n, real, real + values);
                 });
    elementSize = static_cast<int>(bytes);
    // m x n = 0 keeps the output without buffers, free for another allocation.
    elementCount = static_cast<int>(values);
}

void TARNOutputBuffers::AllocOutputBufferIplImage(const TARNOutputBufferTarget& output,
                                                  const _IplImage& model, bool headerOnly) {
    refuseTwice(elementCount, 2);
    if (model.imageSize < 0)
        negativeArgument("AllocOutputBufferIplImage", 546, "model.imageSize", model.imageSize);
    // The pixels start on a multiple of align: an align below 1 has none.
    if (model.align < 1) {
        TARNStreamedString message;
        message << "AllocOutputBufferIplImage:547: model.align [" << model.align << "] < 1";
        TARNPrivate::KernelError(message.c_str(), 2);
    }
    const unsigned long fullBytes = static_cast<unsigned long>(model.align) + sizeof(_IplImage) +
                                    sizeof(_IplROI) + static_cast<unsigned long>(model.imageSize);
    refuseBeyond32Bits("AllocOutputBufferIplImage", 548, "model.align + model.imageSize + 164", fullBytes);
    const unsigned long bytes = headerOnly ? sizeof(_IplImage) + sizeof(_IplROI) : fullBytes;

    layOutSlices(
        *this, output, bytes, [&](TARNIOEltImplementation& element, unsigned char* at, unsigned long) {
            auto* header = reinterpret_cast<_IplImage*>(at);
            std::memcpy(header, &model, sizeof(_IplImage));
            auto* roi = reinterpret_cast<_IplROI*>(at + sizeof(_IplImage));
            *roi = {0, 0, 0, model.width, model.height};
            header->roi = roi;
            if (headerOnly) {
                header->imageData = nullptr;
            } else {
                // From the origin to the next multiple of align: 1 to align bytes further on.
                char* origin = reinterpret_cast<char*>(at + sizeof(_IplImage) + sizeof(_IplROI));
                const std::uintptr_t align = static_cast<std::uintptr_t>(model.align);
                header->imageDataOrigin = origin;
                header->imageData = origin + (align - reinterpret_cast<std::uintptr_t>(origin) % align);
            }
            element.bufferSize = model.imageSize;
        });
    elementSize = static_cast<int>(fullBytes);
    elementCount = -1;
}

void TARNOutputBuffers::AllocOutputBufferImage(const TARNOutputBufferTarget& output, int isize, int w, int h,
                                               unsigned int coding, unsigned int extra, bool headerOnly) {
    if (isize < 0) negativeArgument("AllocOutputBufferImage", 582, "isize", isize);
    if (w < 0) negativeArgument("AllocOutputBufferImage", 584, "w", w);
    if (h < 0) negativeArgument("AllocOutputBufferImage", 585, "h", h);
    refuseTwice(elementCount, 2);
    const unsigned long fullBytes = static_cast<unsigned long>(isize) + sizeof(TARNImage);
    refuseBeyond32Bits("AllocOutputBufferImage", 586, "isize + 48", fullBytes);
    const unsigned long bytes = headerOnly ? sizeof(TARNImage) : fullBytes;

    layOutSlices(*this, output, bytes,
                 [&](TARNIOEltImplementation& element, unsigned char* at, unsigned long index) {
                     element.bufferSize = isize;
                     auto* header = reinterpret_cast<TARNImage*>(at);
                     *header = {w,
                                h,
                                isize,
                                isize,
                                static_cast<long>(index),
                                57005,
                                headerOnly ? nullptr : at + sizeof(TARNImage),
                                coding,
                                extra};
                 });
    elementSize = static_cast<int>(fullBytes);
    elementCount = -1;
}

void TARNOutputBuffers::AllocOutputBufferAudioSignal(const TARNOutputBufferTarget& output,
                                                     const TARNAudioSignal& model) {
    refuseTwice(elementCount, 2);
    // The data size is taken as unsigned: a negative one is a size beyond any buffer.
    const unsigned long dataBytes = static_cast<unsigned int>(model.dataSize);
    const unsigned long bytes = dataBytes + sizeof(TARNAudioSignal);
    refuseBeyond32Bits("AllocOutputBufferAudioSignal", 620, "model.dataSize + 24", bytes);

    layOutSlices(*this, output, bytes,
                 [&](TARNIOEltImplementation& element, unsigned char* at, unsigned long) {
                     element.bufferSize = model.dataSize;
                     auto* header = reinterpret_cast<TARNAudioSignal*>(at);
                     *header = model;
                     header->data = at + sizeof(TARNAudioSignal);
                 });
    elementSize = static_cast<int>(bytes);
    elementCount = -1;
}
