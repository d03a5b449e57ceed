#include "tarn/engine/type_filter.hpp"

#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/regular_expression.hpp"

namespace {

// Compiles the pattern on first use; true when the text is present and matches.
bool matchesPattern(const char* pattern, TARNRegExp*& compiled, const TARNStackedString<40>* text) {
    if (compiled == nullptr) compiled = new TARNRegExp(pattern, 0);
    return text != nullptr && compiled->exec(text->c_str(), text->Length());
}

bool samePattern(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return TARN::Strcmp(a, b) == 0;
}

}  // namespace

TARNTypeFilterBase::TARNTypeFilterBase(const TARNTypeFilterBase& other)
    : mask(other.mask),
      value(other.value),
      anyBits(other.anyBits),
      typeNamePattern(other.typeNamePattern),
      unitPattern(other.unitPattern) {}

TARNTypeFilterBase& TARNTypeFilterBase::operator=(const TARNTypeFilterBase& other) {
    if (this == &other) return *this;
    // The compiled patterns belong to the old texts.
    releaseCompiled();
    mask = other.mask;
    value = other.value;
    anyBits = other.anyBits;
    typeNamePattern = other.typeNamePattern;
    unitPattern = other.unitPattern;
    return *this;
}

TARNTypeFilterBase::~TARNTypeFilterBase() {
    releaseCompiled();
}

void TARNTypeFilterBase::releaseCompiled() {
    delete typeNameRegExp;
    typeNameRegExp = nullptr;
    delete unitRegExp;
    unitRegExp = nullptr;
}

bool TARNTypeFilterBase::Match(const TARNTypeInfo& type) const {
    const unsigned long code = type.type;
    if ((code & TARNTypeInfo::IgnoreTypeNamePattern) == 0 && typeNamePattern != nullptr &&
        !matchesPattern(typeNamePattern, typeNameRegExp, type.typeName))
        return false;
    if ((code & TARNTypeInfo::IgnoreUnitPattern) == 0 && unitPattern != nullptr &&
        !matchesPattern(unitPattern, unitRegExp, type.unit))
        return false;
    return ((code ^ value) & mask) == 0 && (code & anyBits) != 0;
}

bool TARNTypeFilterBase::operator==(const TARNTypeFilterBase& other) const {
    return mask == other.mask && anyBits == other.anyBits && value == other.value &&
           samePattern(typeNamePattern, other.typeNamePattern) && samePattern(unitPattern, other.unitPattern);
}

bool TARN::TypeFilter(const TARNTypeInfo& type, const TARNTypeFilterBase& filter) {
    return filter.Match(type);
}

namespace TARN {

// constinit: these are constant data, ready before any static initialiser that puts a
// filter's address into a definition table runs.

constinit const TARNTypeFilterBase FilterAny(0, 0, 0xffffffff);
constinit const TARNTypeFilterBase FilterAudioSignals(0, 0, 0x31000);
constinit const TARNTypeFilterBase FilterAudioSignal(0, 0, 0x20000);
constinit const TARNTypeFilterBase FilterStream32(0, 0, 0x4000);
constinit const TARNTypeFilterBase FilterStream16(0, 0, 0x2000);
constinit const TARNTypeFilterBase FilterStream8(0, 0, 0x1000);
constinit const TARNTypeFilterBase FilterTriangles3D(0, 0, 0x800);
constinit const TARNTypeFilterBase FilterDrawingObjects(0, 0, 0x400);
constinit const TARNTypeFilterBase FilterRealObjects(0, 0, 0x200);
constinit const TARNTypeFilterBase FilterMatrix(0, 0, 0x100);
constinit const TARNTypeFilterBase FilterAnyCANFrame(0, 0, 0x1080080);
constinit const TARNTypeFilterBase FilterCANUniFrame(0, 0, 0x1000000);
constinit const TARNTypeFilterBase FilterCANFDFrame(0, 0, 0x80000);
constinit const TARNTypeFilterBase FilterCANFrame(0, 0, 0x80);
constinit const TARNTypeFilterBase FilterTARNImage(0, 0, 0x40);
constinit const TARNTypeFilterBase FilterIplImage(0, 0, 0x20);
constinit const TARNTypeFilterBase FilterImage(0, 0, 0x60);
constinit const TARNTypeFilterBase FilterTextUTF16(0, 0, 0x10);
constinit const TARNTypeFilterBase FilterTextUnicode(0, 0, 0x10);
constinit const TARNTypeFilterBase FilterTextUTF8(0, 0, 0x8);
constinit const TARNTypeFilterBase FilterTextAscii(0, 0, 0x8);
constinit const TARNTypeFilterBase FilterCustomType(0, 0, 0x800000);
constinit const TARNTypeFilterBase FilterUnsignedNumbers(0, 0, 0x407000);
constinit const TARNTypeFilterBase FilterUnsignedIntegers(0, 0, 0x407000);
constinit const TARNTypeFilterBase FilterSignedNumbers(0, 0, 0x318006);
constinit const TARNTypeFilterBase FilterSignedIntegers(0, 0, 0x308002);
constinit const TARNTypeFilterBase FilterNumbers(0, 0, 0x71f006);
constinit const TARNTypeFilterBase FilterNumber(0, 0, 0x71f006);
constinit const TARNTypeFilterBase FilterAnyIntegers(0, 0, 0x70f002);
constinit const TARNTypeFilterBase FilterAnyFloats(0, 0, 0x10004);
constinit const TARNTypeFilterBase FilterFloats32(0, 0, 0x10000);
constinit const TARNTypeFilterBase FilterFloat32(0, 0, 0x10000);
constinit const TARNTypeFilterBase FilterDoubles(0, 0, 0x4);
constinit const TARNTypeFilterBase FilterFloats64(0, 0, 0x4);
constinit const TARNTypeFilterBase FilterDouble(0, 0, 0x4);
constinit const TARNTypeFilterBase FilterFloat64(0, 0, 0x4);
constinit const TARNTypeFilterBase FilterFloats(0, 0, 0x4);
constinit const TARNTypeFilterBase FilterFloat(0, 0, 0x4);
constinit const TARNTypeFilterBase FilterUnsignedIntegers64(0, 0, 0x400000);
constinit const TARNTypeFilterBase FilterUnsignedInteger64(0, 0, 0x400000);
constinit const TARNTypeFilterBase FilterUnsignedIntegers32(0, 0, 0x4000);
constinit const TARNTypeFilterBase FilterUnsignedInteger32(0, 0, 0x4000);
constinit const TARNTypeFilterBase FilterUnsignedIntegers16(0, 0, 0x2000);
constinit const TARNTypeFilterBase FilterUnsignedInteger16(0, 0, 0x2000);
constinit const TARNTypeFilterBase FilterUnsignedIntegers8(0, 0, 0x1000);
constinit const TARNTypeFilterBase FilterUnsignedInteger8(0, 0, 0x1000);
constinit const TARNTypeFilterBase FilterIntegers64(0, 0, 0x8000);
constinit const TARNTypeFilterBase FilterInteger64(0, 0, 0x8000);
constinit const TARNTypeFilterBase FilterIntegers32(0, 0, 0x2);
constinit const TARNTypeFilterBase FilterInteger32(0, 0, 0x2);
constinit const TARNTypeFilterBase FilterIntegers(0, 0, 0x2);
constinit const TARNTypeFilterBase FilterInteger(0, 0, 0x2);
constinit const TARNTypeFilterBase FilterIntegers16(0, 0, 0x200000);
constinit const TARNTypeFilterBase FilterInteger16(0, 0, 0x200000);
constinit const TARNTypeFilterBase FilterIntegers8(0, 0, 0x100000);
constinit const TARNTypeFilterBase FilterInteger8(0, 0, 0x100000);
constinit const TARNTypeFilterBase FilterDynamicStructure(0, 0, 0x40000);
constinit const TARNTypeFilterBase FilterStructure(0, 0, 0x1);

// Bit 63 and the low 32 bits must equal the kind bit.
constexpr unsigned long oneScalarMask = TARNTypeInfo::Vector | 0xffffffffUL;
constinit const TARNTypeFilterBase FilterOneFloat32(oneScalarMask, 0x10000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneDouble(oneScalarMask, 0x4, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneFloat64(oneScalarMask, 0x4, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneFloat(oneScalarMask, 0x4, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneUnsignedInteger64(oneScalarMask, 0x400000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneUnsignedInteger32(oneScalarMask, 0x4000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneUnsignedInteger16(oneScalarMask, 0x2000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneUnsignedInteger8(oneScalarMask, 0x1000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneInteger64(oneScalarMask, 0x8000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneInteger32(oneScalarMask, 0x2, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneInteger(oneScalarMask, 0x2, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneInteger16(oneScalarMask, 0x200000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneInteger8(oneScalarMask, 0x100000, 0xffffffff);
constinit const TARNTypeFilterBase FilterOneNumber(TARNTypeInfo::Vector, 0, 0x71f006);

const StaticTypeFilter StaticTypeFilters[StaticTypeFilterCount] = {
    {"FilterAny", &FilterAny},
    {"FilterAudioSignals", &FilterAudioSignals},
    {"FilterAudioSignal", &FilterAudioSignal},
    {"FilterStream32", &FilterStream32},
    {"FilterStream16", &FilterStream16},
    {"FilterStream8", &FilterStream8},
    {"FilterTriangles3D", &FilterTriangles3D},
    {"FilterDrawingObjects", &FilterDrawingObjects},
    {"FilterRealObjects", &FilterRealObjects},
    {"FilterMatrix", &FilterMatrix},
    {"FilterAnyCANFrame", &FilterAnyCANFrame},
    {"FilterCANUniFrame", &FilterCANUniFrame},
    {"FilterCANFDFrame", &FilterCANFDFrame},
    {"FilterCANFrame", &FilterCANFrame},
    {"FilterTARNImage", &FilterTARNImage},
    {"FilterIplImage", &FilterIplImage},
    {"FilterImage", &FilterImage},
    {"FilterTextUTF16", &FilterTextUTF16},
    {"FilterTextUnicode", &FilterTextUnicode},
    {"FilterTextUTF8", &FilterTextUTF8},
    {"FilterTextAscii", &FilterTextAscii},
    {"FilterCustomType", &FilterCustomType},
    {"FilterUnsignedNumbers", &FilterUnsignedNumbers},
    {"FilterUnsignedIntegers", &FilterUnsignedIntegers},
    {"FilterSignedNumbers", &FilterSignedNumbers},
    {"FilterSignedIntegers", &FilterSignedIntegers},
    {"FilterNumbers", &FilterNumbers},
    {"FilterNumber", &FilterNumber},
    {"FilterAnyIntegers", &FilterAnyIntegers},
    {"FilterAnyFloats", &FilterAnyFloats},
    {"FilterFloats32", &FilterFloats32},
    {"FilterFloat32", &FilterFloat32},
    {"FilterDoubles", &FilterDoubles},
    {"FilterFloats64", &FilterFloats64},
    {"FilterDouble", &FilterDouble},
    {"FilterFloat64", &FilterFloat64},
    {"FilterFloats", &FilterFloats},
    {"FilterFloat", &FilterFloat},
    {"FilterUnsignedIntegers64", &FilterUnsignedIntegers64},
    {"FilterUnsignedInteger64", &FilterUnsignedInteger64},
    {"FilterUnsignedIntegers32", &FilterUnsignedIntegers32},
    {"FilterUnsignedInteger32", &FilterUnsignedInteger32},
    {"FilterUnsignedIntegers16", &FilterUnsignedIntegers16},
    {"FilterUnsignedInteger16", &FilterUnsignedInteger16},
    {"FilterUnsignedIntegers8", &FilterUnsignedIntegers8},
    {"FilterUnsignedInteger8", &FilterUnsignedInteger8},
    {"FilterIntegers64", &FilterIntegers64},
    {"FilterInteger64", &FilterInteger64},
    {"FilterIntegers32", &FilterIntegers32},
    {"FilterInteger32", &FilterInteger32},
    {"FilterIntegers", &FilterIntegers},
    {"FilterInteger", &FilterInteger},
    {"FilterIntegers16", &FilterIntegers16},
    {"FilterInteger16", &FilterInteger16},
    {"FilterIntegers8", &FilterIntegers8},
    {"FilterInteger8", &FilterInteger8},
    {"FilterDynamicStructure", &FilterDynamicStructure},
    {"FilterStructure", &FilterStructure},
    {"FilterOneFloat32", &FilterOneFloat32},
    {"FilterOneDouble", &FilterOneDouble},
    {"FilterOneFloat64", &FilterOneFloat64},
    {"FilterOneFloat", &FilterOneFloat},
    {"FilterOneUnsignedInteger64", &FilterOneUnsignedInteger64},
    {"FilterOneUnsignedInteger32", &FilterOneUnsignedInteger32},
    {"FilterOneUnsignedInteger16", &FilterOneUnsignedInteger16},
    {"FilterOneUnsignedInteger8", &FilterOneUnsignedInteger8},
    {"FilterOneInteger64", &FilterOneInteger64},
    {"FilterOneInteger32", &FilterOneInteger32},
    {"FilterOneInteger", &FilterOneInteger},
    {"FilterOneInteger16", &FilterOneInteger16},
    {"FilterOneInteger8", &FilterOneInteger8},
    {"FilterOneNumber", &FilterOneNumber},
};

const char* StaticTypeFilterName(const TARNTypeFilterBase& filter) {
    for (const StaticTypeFilter& entry : StaticTypeFilters)
        if (*entry.filter == filter) return entry.name;
    return nullptr;
}

}  // namespace TARN

namespace TARN {
TARNStackedString<40> KernelVersion("4.9");
TARNStackedString<40> TarnvelMinorVersion("0");
TARNStackedString<40> DiagramVersion("4.8.0");
TARNStackedString<40> ProductName("Tarnvel");
TARNStackedString<40> OperatingSystem("ubuntu1804");
}  // namespace TARN
