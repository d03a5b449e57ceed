// What an I/O element's type code means for its buffer: which layout the data has and how
// many bytes one item takes.
#pragma once

#include "tarn/engine/type_info.hpp"

// The layout of an element's data, decided from its type code. A code may carry several
// kind bits; the first kind in the order below whose static filter accepts the code
// decides. The element's sizes, its serialisation and the output's buffer allocation all
// decide with this one classification, so that a buffer set up for a type always has the
// room that the element's sizes claim for it.
//
// The 8-, 16- and 32-bit streams share their bits with the unsigned integers of the same
// width, so they classify as those.
enum class TARNIOEltKind {
    Integer8,
    UnsignedInteger8,
    TextAscii,
    Integer16,
    UnsignedInteger16,
    TextUnicode,
    Integer32,
    UnsignedInteger32,
    Float32,
    Integer64,
    UnsignedInteger64,
    Float64,
    CANFrame,
    CANFDFrame,
    CANUniFrame,
    DrawingObjects,
    RealObjects,
    Structure,  // BufferSize counts bytes
    Matrix,
    IplImage,
    TARNImage,
    AudioSignal,
    Triangles3D,
    CustomType,
    Other,  // no filter matched
};

namespace TARNPrivate {

TARNIOEltKind IOEltKindOf(const TARNTypeInfo& type);

// Vectors of fixed-size items (the integer, float, text, CAN and object kinds, and
// structures, whose items are bytes); the other kinds are structured: a header with parts.
bool IsPlainIOEltKind(TARNIOEltKind kind);

// Bytes of one item of a plain kind; 0 for the others.
int IOEltItemBytes(TARNIOEltKind kind);

}  // namespace TARNPrivate
