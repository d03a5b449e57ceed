// The kind of data an output carries: a type code, an optional type name and an optional unit.
#pragma once

#include <cstddef>

#include "tarn/runtime/stacked_string.hpp"

// Type information of an output and of every I/O element written to it. The engine reads
// this record inside output definitions and I/O elements, so its layout is fixed: the
// 64-bit type code, then the pointers to the type-name and unit strings (each owned, null
// when absent). No virtual operations, so that the record starts with the code.
//
// A type code sets one kind bit (or several, where one kind doubles as another: the 8-bit
// stream is also the unsigned 8-bit integer), plus any of the flag bits 58 to 63. Type
// filters (type_filter.hpp) decide by these bits which inputs accept the type.
class TARNTypeInfo {
  public:
    // Kind bits.
    static constexpr unsigned long Structure = 0x1;
    static constexpr unsigned long Integer32 = 0x2;
    static constexpr unsigned long Double = 0x4;
    static constexpr unsigned long TextUTF8 = 0x8;  // ASCII or UTF-8
    static constexpr unsigned long TextUTF16 = 0x10;
    static constexpr unsigned long IplImage = 0x20;
    static constexpr unsigned long TARNImage = 0x40;
    static constexpr unsigned long CANFrame = 0x80;
    static constexpr unsigned long Matrix = 0x100;
    static constexpr unsigned long RealObjects = 0x200;
    static constexpr unsigned long DrawingObjects = 0x400;
    static constexpr unsigned long Triangles3D = 0x800;
    static constexpr unsigned long Stream8 = 0x1000;
    static constexpr unsigned long UnsignedInteger8 = Stream8;
    static constexpr unsigned long Stream16 = 0x2000;
    static constexpr unsigned long UnsignedInteger16 = Stream16;
    static constexpr unsigned long Stream32 = 0x4000;
    static constexpr unsigned long UnsignedInteger32 = Stream32;
    static constexpr unsigned long Integer64 = 0x8000;
    static constexpr unsigned long Float32 = 0x10000;
    static constexpr unsigned long AudioSignal = 0x20000;
    static constexpr unsigned long DynamicStructure = 0x40000;
    static constexpr unsigned long CANFDFrame = 0x80000;
    static constexpr unsigned long Integer8 = 0x100000;
    static constexpr unsigned long Integer16 = 0x200000;
    static constexpr unsigned long UnsignedInteger64 = 0x400000;
    static constexpr unsigned long CustomType = 0x800000;
    static constexpr unsigned long CANUniFrame = 0x1000000;

    // Flag bits. The first two exempt this type from a filter's unit or type-name pattern.
    static constexpr unsigned long IgnoreUnitPattern = 1UL << 58;
    static constexpr unsigned long IgnoreTypeNamePattern = 1UL << 59;
    // Elements of this type carry their three misc words, a quality, a frequency.
    static constexpr unsigned long CarriesMiscWords = 1UL << 60;
    static constexpr unsigned long CarriesQuality = 1UL << 61;
    static constexpr unsigned long CarriesFrequency = 1UL << 62;
    // The output carries vectors (its elements hold more than one value); the filters
    // that accept exactly one scalar demand it clear.
    static constexpr unsigned long Vector = 1UL << 63;

    TARNTypeInfo() = default;
    // A type with the given code; a null name or unit leaves that string absent.
    explicit TARNTypeInfo(unsigned long type, const char* typeName = nullptr, const char* unit = nullptr);
    // Deep copies: the strings are never shared between two type informations.
    TARNTypeInfo(const TARNTypeInfo& other);
    TARNTypeInfo& operator=(const TARNTypeInfo& other);
    ~TARNTypeInfo();

    // Create the type-name (or unit) string when absent and set its text; a null text
    // leaves a present, empty string (so a pattern matching "" then accepts it).
    void SetName(const char* text);
    void SetUnit(const char* text);

    unsigned long type = 0;
    TARNStackedString<40>* typeName = nullptr;
    TARNStackedString<40>* unit = nullptr;
};

// Shared with the engine (output definitions, I/O elements): code, then type name, then unit.
static_assert(sizeof(TARNTypeInfo) == 24);
static_assert(offsetof(TARNTypeInfo, type) == 0);
static_assert(offsetof(TARNTypeInfo, typeName) == 8);
static_assert(offsetof(TARNTypeInfo, unit) == 16);
