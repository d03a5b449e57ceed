// The element buffers of an output: one memory block sliced at a fixed stride, one slice
// per element of the output's ring, laid out for the output's element type. The stride is
// the element size rounded up to a multiple of 8, so that every header and vector starts
// aligned; the element size itself is what the output reports.
//
// The output owns one TARNOutputBuffers and forwards its allocation operations to it,
// handing it a TARNOutputBufferTarget: the output's type and names and the elements of its
// ring. The member functions are defined across two files:
//   output_buffer_allocation.cpp   the five allocation operations, by element type
//   output_buffer_block.cpp        AllocateSharedMemory, FreeBuffer, TakeBlock, the destructor
#pragma once

#include <span>

#include "tarn/dataflow/io_element_payloads.hpp"
#include "tarn/engine/type_info.hpp"
#include "tarn/runtime/ipl_image.hpp"

class TARNIOEltImplementation;

// What the allocation operations need of their output.
struct TARNOutputBufferTarget {
    // The output's type; every element gets a copy. Bit 63 is the vector flag.
    const TARNTypeInfo& type;
    // The output's full name ("cam.out") and its definition's name (may be null), for the
    // reports.
    const char* fullName;
    const char* definitionName;
    // The elements of the output's ring in list order; element i gets slice i. The block
    // has exactly one slice per element, so its size always follows the ring's length.
    std::span<TARNIOEltImplementation* const> elements;
};

// An output has buffers exactly while ElementCount() is not 0; every allocation operation
// refuses to run on an output that still has them ("already initialized"), so new
// dimensions need FreeBuffer first.
//
// Failures are kernel errors (a level-2 report, then the integer -5). Every argument check
// and the "already initialized" check come before any change. Sizes are worked out in 64
// bits; an element buffer must stay within 2147483647 bytes, since the element size and
// every element's BufferSize are 32-bit, and a model's row alignment must be at least 1.
//
// Allocation runs while nothing writes the ring and no reader takes from it (output
// creation, component start, or the component's own Birth or Core before it writes):
// nothing here locks. An element a reader still holds is not the buffers' to touch: the
// output sets such elements aside with the block under them before it frees or lays out
// its buffers (TARNOutputImplementation::FreeBuffer), so the elements handed here are free.
class TARNOutputBuffers {
  public:
    // Where the block comes from: TARN::AllocSharedMemory, unless a test drives failures.
    using Allocator = void* (*)(unsigned long bytes);
    static void* SharedMemoryAllocator(unsigned long bytes);

    explicit TARNOutputBuffers(Allocator allocator = &SharedMemoryAllocator) : allocator(allocator) {}
    // Frees the block.
    ~TARNOutputBuffers();
    TARNOutputBuffers(const TARNOutputBuffers&) = delete;
    TARNOutputBuffers& operator=(const TARNOutputBuffers&) = delete;

    // ---- Allocation by element type (output_buffer_allocation.cpp) ----------------------

    // Buffers of `isize` items of the output's type (bytes for the structured types): each
    // element is reset (no data, its counters 0, the output's type), then, when isize
    // reaches the type's minimum (2 for IPL images, engine images and audio signals, else
    // 1), the sizes are recorded, every element's BufferSize becomes isize and, when
    // `allocate`, each points at its slice with the type's preset (zeroed vectors with
    // VectorSize isize, empty headers with their parts behind them). Scalar and record
    // types with isize not 1 and a clear vector flag raise the vector-flag report and go
    // on. Without `allocate` the data pointers stay null for the caller to fill.
    void AllocOutputBuffer(const TARNOutputBufferTarget& output, int isize, bool allocate);
    // IPL images shaped like `model`: the header copied, the ROI at 144 (the model's width
    // and height, no offset, every channel) and, unless `headerOnly`, the pixels from the
    // first multiple of the model's align after offset 164 (imageDataOrigin). Header-only
    // buffers (164 bytes) have no image data; the caller brings it per element.
    void AllocOutputBufferIplImage(const TARNOutputBufferTarget& output, const _IplImage& model,
                                   bool headerOnly);
    // Engine images of `isize` data bytes behind a 48-byte header (no data when
    // `headerOnly`), with the given width, height, coding and extra words.
    void AllocOutputBufferImage(const TARNOutputBufferTarget& output, int isize, int w, int h,
                                unsigned int coding, unsigned int extra, bool headerOnly);
    // m x n matrices with their real and imaginary arrays behind the header, zeroed.
    void AllocOutputBufferMatrix(const TARNOutputBufferTarget& output, int m, int n);
    // Audio signals shaped like `model`, with its data size of samples behind the header.
    void AllocOutputBufferAudioSignal(const TARNOutputBufferTarget& output, const TARNAudioSignal& model);

    // ---- The memory block (output_buffer_block.cpp) -------------------------------------

    // A new block of bufferSize x slices bytes (not zeroed; the allocation operations pass
    // the stride), replacing (and freeing) the
    // one held. A product beyond 64 bits and every failure of the allocator are kernel
    // errors naming `fullName`, after which the output has no block.
    void AllocateSharedMemory(unsigned long bufferSize, long slices, const char* fullName);
    // Frees the block; the output then has no buffers. The data pointers of the given
    // elements (the ring's) are cleared, so that none is left pointing into freed memory.
    // Never fails.
    void FreeBuffer(std::span<TARNIOEltImplementation* const> elements = {});
    // As FreeBuffer, but the block is handed to the caller instead of freed (null when there
    // is none): elements laid out over it that a reader still holds need it until they come
    // back. Free it with FreeBlock.
    unsigned char* TakeBlock(std::span<TARNIOEltImplementation* const> elements);
    static void FreeBlock(void* block);
    // Blocks the outputs of this binary obtained and have not freed yet (those handed out by
    // TakeBlock included): what a reader's hold keeps alive, seen from outside.
    static long LiveBlocks();

    unsigned char* Block() const { return block; }
    // 0: no buffers; -1: one structured object per buffer (IPL image, engine image, audio
    // signal); otherwise the vector capacity of each buffer.
    int ElementCount() const { return elementCount; }
    // Bytes of one element buffer as the output reports it (IOEltSizeBytes); the
    // header-only forms report the full size.
    int ElementSize() const { return elementSize; }

  private:
    unsigned char* block = nullptr;
    int elementCount = 0;
    int elementSize = 0;
    Allocator allocator;
};
