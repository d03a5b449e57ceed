// The one memory block that holds every element buffer of an output.
#include <atomic>
#include <exception>
#include <new>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/output_buffers.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/memory.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

// Blocks obtained and not yet freed, by every output of this binary.
std::atomic<long> liveBlocks{0};

// "Failed to allocate [buffer_size:B x fifo_size:F = T] bytes for output [NAME", with the
// location prefix of the given line; the caller appends the cause.
TARNStreamedString failedToAllocate(int line, unsigned long bufferSize, unsigned long slices,
                                    unsigned long total, const char* fullName) {
    TARNStreamedString message;
    message << "AllocateSharedMemory:" << line << ": Failed to allocate [buffer_size:" << bufferSize
            << " x fifo_size:" << slices << " = " << total << "] bytes for output [" << fullName;
    return message;
}

}  // namespace

void* TARNOutputBuffers::SharedMemoryAllocator(unsigned long bytes) {
    return TARN::AllocSharedMemory(bytes);
}

TARNOutputBuffers::~TARNOutputBuffers() {
    FreeBlock(block);
}

void TARNOutputBuffers::AllocateSharedMemory(unsigned long bufferSize, long slices, const char* fullName) {
    // A block still held (a matrix output of 0 x n keeps one while counting as without
    // buffers) is freed rather than dropped.
    FreeBlock(block);
    block = nullptr;

    const unsigned long count = static_cast<unsigned long>(slices);
    unsigned long total = 0;
    if (__builtin_mul_overflow(count, bufferSize, &total)) {
        TARNStreamedString message;
        message << "AllocateSharedMemory:70: Requested buffer size [" << bufferSize << "] is too big"
                << " given the current FIFO size [" << count << "]"
                << " of output [" << fullName << "]."
                << " Please reduce the requested output buffer size and/or the output FIFO size"
                << " such that (buffer_size * fifo_size) <= " << static_cast<unsigned long>(-1)
                << " (i.e. std::numeric_limits<size_t>::max)";
        TARNPrivate::KernelError(message.c_str(), 2);
    }

    // Every failure of the request becomes a report; the message is built outside the
    // handler so that the kernel error's -5 leaves no exception half-handled.
    TARNStreamedString failure;
    void* obtained = nullptr;
    try {
        obtained = allocator(total);
    } catch (const std::bad_alloc& error) {
        failure = failedToAllocate(82, bufferSize, count, total, fullName);
        failure << "] due to: std::bad_alloc: " << error.what()
                << ". Please reduce the requested output buffer size and/or the output FIFO size";
    } catch (const std::exception& error) {
        failure = failedToAllocate(87, bufferSize, count, total, fullName);
        failure << "] due to: std::exception: " << error.what();
    } catch (const char* text) {
        failure = failedToAllocate(92, bufferSize, count, total, fullName);
        failure << "] due to: const char*: " << (text != nullptr ? text : "NULL");
    } catch (int code) {
        failure = failedToAllocate(97, bufferSize, count, total, fullName);
        failure << "] due to: int: " << code;
    } catch (...) {
        failure = failedToAllocate(102, bufferSize, count, total, fullName);
        failure << "] due to: an unknown error";
    }
    if (!failure.IsEmpty()) TARNPrivate::KernelError(failure.c_str(), 2);
    if (obtained == nullptr) {
        failure = failedToAllocate(108, bufferSize, count, total, fullName);
        failure << "]";
        TARNPrivate::KernelError(failure.c_str(), 2);
    }
    block = static_cast<unsigned char*>(obtained);
    ++liveBlocks;
}

void TARNOutputBuffers::FreeBuffer(std::span<TARNIOEltImplementation* const> elements) {
    FreeBlock(TakeBlock(elements));
}

unsigned char* TARNOutputBuffers::TakeBlock(std::span<TARNIOEltImplementation* const> elements) {
    for (TARNIOEltImplementation* element : elements) element->data = nullptr;
    unsigned char* taken = block;
    block = nullptr;
    elementCount = 0;
    elementSize = 0;
    return taken;
}

void TARNOutputBuffers::FreeBlock(void* block) {
    if (block == nullptr) return;
    TARN::DeallocSharedMemory(block);
    --liveBlocks;
}

long TARNOutputBuffers::LiveBlocks() {
    return liveBlocks.load();
}
