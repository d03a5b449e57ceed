// Arbitrary blocks given to I/O element deserialisation, as recordings read back from
// files are: into a fresh element that allocates what the block announces, and into
// elements whose buffers an output already allocated. Nothing may be read or written
// outside the block or the buffers, and no allocation may be lost.
//
// The first byte picks the destination; the rest is the block.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "dataflow/io_element_block.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "fuzz_kernel.hpp"
#include "io_element_destinations.hpp"
#include "tarn/runtime/memory.hpp"

namespace {

// A fresh element gets a buffer of the capacity its block announces, up to 2^31 items,
// before the few bytes the block carries are copied: a legitimate allocation, but one that
// takes the sanitizer's allocator seconds per gigabyte. Larger capacities go only to the
// existing buffers, which check them against their own.
constexpr std::uint32_t kLargestFreshCapacity = 1u << 20;

bool AnnouncesLargeCapacity(const std::vector<std::uint8_t>& block) {
    std::uint32_t capacity = 0;
    if (block.size() < offsetof(TARNPrivate::IOEltBlockHead, bufferSize) + sizeof capacity) return false;
    std::memcpy(&capacity, block.data() + offsetof(TARNPrivate::IOEltBlockHead, bufferSize), sizeof capacity);
    return capacity > kLargestFreshCapacity;
}

std::vector<std::unique_ptr<fuzz::AllocatedElement>>& Destinations() {
    static auto* destinations = [] {
        fuzz::Kernel();
        auto* list = new std::vector<std::unique_ptr<fuzz::AllocatedElement>>;
        for (unsigned long kind : fuzz::kDestinationKinds) list->push_back(std::make_unique<fuzz::AllocatedElement>(kind));
        return list;
    }();
    return *destinations;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& destinations = Destinations();
    if (size < 1) return 0;
    const unsigned int choice = data[0] % fuzz::kChoices;
    // A copy of exactly the block, so that reading past it is caught.
    const std::vector<std::uint8_t> block(data + 1, data + size);
    const void* source = block.empty() ? nullptr : block.data();

    if (choice == fuzz::kFreshElement && !AnnouncesLargeCapacity(block)) {
        TARNIOEltImplementation fresh;
        if (fresh.Deserialize(source, block.size(), true) != TARNIOElt::Failure && fresh.data != nullptr)
            TARN::DeallocSharedMemory(fresh.data);
        return 0;
    }
    destinations[choice % fuzz::kDestinationKinds.size()]->element.Deserialize(source, block.size(), false);
    return 0;
}
