#include "tarn/runtime/memory.hpp"

#include <new>

namespace TARN {

// A negative size must not turn into a huge unsigned request: it is refused the way
// array allocation refuses a bad length.
void* AllocSharedMemory(int size) {
    return AllocSharedMemory(static_cast<long>(size));
}

void* AllocSharedMemory(long size) {
    if (size < 0) throw std::bad_array_new_length();
    return new char[static_cast<unsigned long>(size)];
}

void* AllocSharedMemory(unsigned long size) {
    return new char[size];
}

void DeallocSharedMemory(void* block) {
    delete[] static_cast<char*>(block);
}

}  // namespace TARN
