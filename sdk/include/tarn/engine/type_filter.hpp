// What an input accepts: type filters over TARNTypeInfo, and the SDK's static filters.
#pragma once

#include <cstddef>

#include "tarn/engine/type_info.hpp"

class TARNRegExp;

// A filter accepts a type information when the bits of its code selected by `mask` equal
// those of `value`, at least one bit of `anyBits` is set, and, where the filter has them,
// the type name and the unit match the filter's regular expressions. Bits 58 and 59 of
// the code exempt a type from the unit and the type-name pattern.
//
// A plain record with a constexpr constructor, so that the static filters below are
// constant data, ready before any static initialiser runs. The patterns are compiled on
// first use into the filter itself: matching a filter that has patterns is not
// thread-safe, and threads copy such a filter first (a copy compiles its own patterns).
class TARNTypeFilterBase {
  public:
    constexpr TARNTypeFilterBase(unsigned long mask, unsigned long value, unsigned long anyBits,
                                 const char* typeNamePattern = nullptr, const char* unitPattern = nullptr)
        : mask(mask),
          value(value),
          anyBits(anyBits),
          typeNamePattern(typeNamePattern),
          unitPattern(unitPattern) {}
    // Copies the bits and the pattern texts, never the compiled patterns.
    TARNTypeFilterBase(const TARNTypeFilterBase& other);
    TARNTypeFilterBase& operator=(const TARNTypeFilterBase& other);
    ~TARNTypeFilterBase();

    bool Match(const TARNTypeInfo& type) const;
    // Same bits, and each pattern absent in both or present in both with the same text.
    bool operator==(const TARNTypeFilterBase& other) const;

    unsigned long mask;
    unsigned long value;
    unsigned long anyBits;
    // Borrowed texts (string literals in practice); null when the filter has no pattern.
    const char* typeNamePattern;
    const char* unitPattern;
    // Compiled forms of the patterns, built by the first Match that needs them.
    mutable TARNRegExp* typeNameRegExp = nullptr;
    mutable TARNRegExp* unitRegExp = nullptr;

  private:
    void releaseCompiled();
};

// Input definitions hand the engine a pointer to a filter: keep the record's field order.
static_assert(offsetof(TARNTypeFilterBase, mask) == 0);
static_assert(offsetof(TARNTypeFilterBase, value) == 8);
static_assert(offsetof(TARNTypeFilterBase, anyBits) == 16);
static_assert(offsetof(TARNTypeFilterBase, typeNamePattern) == 24);
static_assert(offsetof(TARNTypeFilterBase, unitPattern) == 32);
static_assert(offsetof(TARNTypeFilterBase, typeNameRegExp) == 40);
static_assert(offsetof(TARNTypeFilterBase, unitRegExp) == 48);
static_assert(sizeof(TARNTypeFilterBase) == 56);

namespace TARN {

// True when the type passes the filter (TARNTypeFilterBase::Match).
bool TypeFilter(const TARNTypeInfo& type, const TARNTypeFilterBase& filter);

// The static filters. All but the FilterOne family test anyBits only (mask and value 0);
// names on one line share their bits.
extern const TARNTypeFilterBase FilterAny;
extern const TARNTypeFilterBase FilterAudioSignals;  // audio, 8-bit streams or 32-bit floats
extern const TARNTypeFilterBase FilterAudioSignal;
extern const TARNTypeFilterBase FilterStream32;
extern const TARNTypeFilterBase FilterStream16;
extern const TARNTypeFilterBase FilterStream8;
extern const TARNTypeFilterBase FilterTriangles3D;
extern const TARNTypeFilterBase FilterDrawingObjects;
extern const TARNTypeFilterBase FilterRealObjects;
extern const TARNTypeFilterBase FilterMatrix;
extern const TARNTypeFilterBase FilterAnyCANFrame;
extern const TARNTypeFilterBase FilterCANUniFrame;
extern const TARNTypeFilterBase FilterCANFDFrame;
extern const TARNTypeFilterBase FilterCANFrame;
extern const TARNTypeFilterBase FilterTARNImage;
extern const TARNTypeFilterBase FilterIplImage;
extern const TARNTypeFilterBase FilterImage;
extern const TARNTypeFilterBase FilterTextUTF16, FilterTextUnicode;
extern const TARNTypeFilterBase FilterTextUTF8, FilterTextAscii;
extern const TARNTypeFilterBase FilterCustomType;
extern const TARNTypeFilterBase FilterUnsignedNumbers, FilterUnsignedIntegers;
extern const TARNTypeFilterBase FilterSignedNumbers;
extern const TARNTypeFilterBase FilterSignedIntegers;
extern const TARNTypeFilterBase FilterNumbers, FilterNumber;
extern const TARNTypeFilterBase FilterAnyIntegers;
extern const TARNTypeFilterBase FilterAnyFloats;
extern const TARNTypeFilterBase FilterFloats32, FilterFloat32;
extern const TARNTypeFilterBase FilterDoubles, FilterFloats64, FilterDouble, FilterFloat64, FilterFloats,
    FilterFloat;
extern const TARNTypeFilterBase FilterUnsignedIntegers64, FilterUnsignedInteger64;
extern const TARNTypeFilterBase FilterUnsignedIntegers32, FilterUnsignedInteger32;
extern const TARNTypeFilterBase FilterUnsignedIntegers16, FilterUnsignedInteger16;
extern const TARNTypeFilterBase FilterUnsignedIntegers8, FilterUnsignedInteger8;
extern const TARNTypeFilterBase FilterIntegers64, FilterInteger64;
extern const TARNTypeFilterBase FilterIntegers32, FilterInteger32, FilterIntegers, FilterInteger;
extern const TARNTypeFilterBase FilterIntegers16, FilterInteger16;
extern const TARNTypeFilterBase FilterIntegers8, FilterInteger8;
extern const TARNTypeFilterBase FilterDynamicStructure;
extern const TARNTypeFilterBase FilterStructure;

// Exactly one scalar of one kind: the kind bit alone among the low 32 bits, and the
// vector bit (63) clear. FilterOneNumber: any number kind, vector bit clear.
extern const TARNTypeFilterBase FilterOneFloat32;
extern const TARNTypeFilterBase FilterOneDouble, FilterOneFloat64, FilterOneFloat;
extern const TARNTypeFilterBase FilterOneUnsignedInteger64;
extern const TARNTypeFilterBase FilterOneUnsignedInteger32;
extern const TARNTypeFilterBase FilterOneUnsignedInteger16;
extern const TARNTypeFilterBase FilterOneUnsignedInteger8;
extern const TARNTypeFilterBase FilterOneInteger64;
extern const TARNTypeFilterBase FilterOneInteger32, FilterOneInteger;
extern const TARNTypeFilterBase FilterOneInteger16;
extern const TARNTypeFilterBase FilterOneInteger8;
extern const TARNTypeFilterBase FilterOneNumber;

// Every static filter with its name, in the order above. Aliases compare equal, so a
// search by equality stops at the first of them.
struct StaticTypeFilter {
    const char* name;
    const TARNTypeFilterBase* filter;
};
inline constexpr int StaticTypeFilterCount = 72;
extern const StaticTypeFilter StaticTypeFilters[StaticTypeFilterCount];

// Name ("FilterStream8") of the first static filter equal to `filter`, null when none is.
const char* StaticTypeFilterName(const TARNTypeFilterBase& filter);

}  // namespace TARN

// The build's version texts, set at load time. Nothing in the package reads them: they are
// there for the engine and for tools that inspect the package. (The packed kernel build,
// 4.9.0, is what TARNPckInit answers: its major number, 4.)
namespace TARN {
extern TARNStackedString<40> KernelVersion;
extern TARNStackedString<40> TarnvelMinorVersion;
extern TARNStackedString<40> DiagramVersion;
extern TARNStackedString<40> ProductName;
extern TARNStackedString<40> OperatingSystem;
}  // namespace TARN
