// Memory blocks handed between the runtime and its users.
#pragma once

namespace TARN {

// A new, uninitialised block of `size` bytes from the ordinary heap (nothing is shared
// between processes, whatever the name says). Never null: exhaustion or a negative size
// throws the allocator's exception. Free it with DeallocSharedMemory.
void* AllocSharedMemory(int size);
void* AllocSharedMemory(long size);
void* AllocSharedMemory(unsigned long size);
// Frees a block of AllocSharedMemory; null is ignored.
void DeallocSharedMemory(void* block);

}  // namespace TARN
