#pragma once
// The elements the I/O element fuzzer deserialises into, shared with the seed writer so
// that a seed's first byte names the destination its block was made for.
#include <array>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/output_buffers.hpp"
#include "tarn/engine/type_info.hpp"

namespace fuzz {

// An element with buffers as an output allocates them (64 items).
struct AllocatedElement {
    explicit AllocatedElement(unsigned long kind) : type(kind | TARNTypeInfo::Vector) {
        TARNIOEltImplementation* ring[] = {&element};
        buffers.AllocOutputBuffer({type, "fuzz.out", "out", ring}, 64, true);
    }
    TARNTypeInfo type;
    TARNIOEltImplementation element;
    TARNOutputBuffers buffers;
};

inline constexpr std::array<unsigned long, 11> kDestinationKinds = {
    TARNTypeInfo::Integer8,  TARNTypeInfo::TextUTF16,   TARNTypeInfo::Integer32,
    TARNTypeInfo::Double,    TARNTypeInfo::IplImage,    TARNTypeInfo::TARNImage,
    TARNTypeInfo::Matrix,    TARNTypeInfo::AudioSignal, TARNTypeInfo::Triangles3D,
    TARNTypeInfo::CANFrame,  TARNTypeInfo::Structure};

// The first byte of an input, modulo this, picks a destination; the last value is a fresh
// element that allocates what the block announces.
inline constexpr unsigned int kFreshElement = kDestinationKinds.size();
inline constexpr unsigned int kChoices = kDestinationKinds.size() + 1;

}  // namespace fuzz
