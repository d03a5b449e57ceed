// The byte block an I/O element is serialised into (format version 102), as it travels
// between processes and into record files: packed, little-endian, position-independent.
//
//   offset  width  field
//   0       u32    format version (102 when written)
//   4       u32    BufferSize
//   8       u32    VectorSize
//   12      u64    Timestamp
//   20      u64    TimeOfIssue        (absent up to version 100: what follows moves up 8)
//   28      u64    type code
//   36      u32    U, length of the unit text; then U + 1 bytes (text and NUL) when U > 0
//   next    u32    T, length of the type name; then T + 1 bytes when T > 0
//   next    u64    Frequency
//   next    u32    Quality, Misc1, Misc2, Misc3
//   next           payload, absent when the element has no data buffer
//
// An empty and an absent string are written alike (length 0, no bytes). The payload is a
// plain element's used bytes, or a structured element's header followed by each part its
// header announces (io_element_layout.hpp); inside the copied header each present part's
// reference holds the address the part was written to, which a reader only tests for null.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the block's fields are copied as the machine stores them: little-endian");

namespace TARNPrivate {

#pragma pack(push, 1)
// From the version to the unit length, versions 101 and 102.
struct IOEltBlockHead {
    std::uint32_t version;
    std::uint32_t bufferSize;
    std::uint32_t vectorSize;
    std::uint64_t timestamp;
    std::uint64_t timeOfIssue;
    std::uint64_t type;
    std::uint32_t unitLength;
};
// The same up to version 100, which had no time of issue.
struct IOEltBlockHeadWithoutTimeOfIssue {
    std::uint32_t version;
    std::uint32_t bufferSize;
    std::uint32_t vectorSize;
    std::uint64_t timestamp;
    std::uint64_t type;
    std::uint32_t unitLength;
};
// After the type name.
struct IOEltBlockTail {
    std::uint64_t frequency;
    std::uint32_t quality;
    std::uint32_t misc1;
    std::uint32_t misc2;
    std::uint32_t misc3;
};
#pragma pack(pop)

static_assert(sizeof(IOEltBlockHead) == 40);
static_assert(offsetof(IOEltBlockHead, bufferSize) == 4);
static_assert(offsetof(IOEltBlockHead, vectorSize) == 8);
static_assert(offsetof(IOEltBlockHead, timestamp) == 12);
static_assert(offsetof(IOEltBlockHead, timeOfIssue) == 20);
static_assert(offsetof(IOEltBlockHead, type) == 28);
static_assert(offsetof(IOEltBlockHead, unitLength) == 36);
static_assert(sizeof(IOEltBlockHeadWithoutTimeOfIssue) == 32);
static_assert(offsetof(IOEltBlockHeadWithoutTimeOfIssue, type) == 20);
static_assert(offsetof(IOEltBlockHeadWithoutTimeOfIssue, unitLength) == 28);
static_assert(sizeof(IOEltBlockTail) == 24);
static_assert(offsetof(IOEltBlockTail, quality) == 8);
static_assert(offsetof(IOEltBlockTail, misc3) == 20);

// The fixed fields of a block: head, type-name length, tail.
constexpr std::size_t IOEltBlockFixedBytes =
    sizeof(IOEltBlockHead) + sizeof(std::uint32_t) + sizeof(IOEltBlockTail);
static_assert(IOEltBlockFixedBytes == 68);

}  // namespace TARNPrivate
