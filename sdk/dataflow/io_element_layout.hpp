// Where the parts of a structured I/O element payload lie, as its header tells: the one
// reading of payload headers behind the element's used size, its serialisation and its
// deserialisation.
#pragma once

#include "dataflow/io_element_kind.hpp"

namespace TARNPrivate {

// A structured payload is a header followed by up to three parts, each announced by a
// reference (pointer) field inside the header: non-null means present.
struct IOEltPayloadLayout {
    struct Part {
        // Offset of the part's reference inside the header.
        int referenceOffset;
        // Bytes of the part; saturates at the largest unsigned long.
        unsigned long bytes;
    };
    // 0 for the plain kinds and the kinds without a known layout.
    int headerBytes = 0;
    // The present parts, in the order they follow the header in a serialised block.
    Part parts[3] = {};
    int partCount = 0;
    // False when the header gives a negative size (rows, columns, image or data size, or a
    // negative vector size for the triangles).
    bool valid = true;

    // Header and parts together (saturating).
    unsigned long TotalBytes() const;
};

// Header bytes of a structured kind: matrix 40, IPL image 144 (its ROI is a part),
// engine image 48, audio signal 24, triangles 48; 0 for every other kind.
int IOEltHeaderBytes(TARNIOEltKind kind);

// Reads the header at `header` (at least IOEltHeaderBytes(kind) bytes, any alignment) of a
// payload of that kind. `vectorSize` is the record count of each triangle array.
IOEltPayloadLayout DescribeIOEltPayload(TARNIOEltKind kind, const unsigned char* header, int vectorSize);

// Bytes a buffer of `bufferSize` items of that kind must hold (negative counts as 0):
// the plain kinds item size x items, a structure or an unknown kind the items themselves,
// matrix 40 + 16 x items, IPL image 164 + items, engine image 48 + items, audio signal
// 24 + items, triangles 48 + 56 x items; 0xFFFFFFFF for a custom type. Saturating.
unsigned long IOEltNeededBytes(TARNIOEltKind kind, int bufferSize);

// count x width, saturating at the largest unsigned long.
unsigned long SaturatedBytes(unsigned long count, unsigned long width);
// a + b, saturating at the largest unsigned long.
unsigned long SaturatedSum(unsigned long a, unsigned long b);

}  // namespace TARNPrivate
