#include "dataflow/io_element_kind.hpp"

#include "tarn/engine/type_filter.hpp"

namespace {

struct KindFilter {
    const TARNTypeFilterBase* filter;
    TARNIOEltKind kind;
    int itemBytes;  // 0: structured
};

// In classification order. The static filters test kind bits only (no patterns), so
// matching them is cheap and safe from any thread.
const KindFilter kKindFilters[] = {
    {&TARN::FilterIntegers8, TARNIOEltKind::Integer8, 1},
    {&TARN::FilterUnsignedIntegers8, TARNIOEltKind::UnsignedInteger8, 1},
    {&TARN::FilterTextAscii, TARNIOEltKind::TextAscii, 1},
    {&TARN::FilterIntegers16, TARNIOEltKind::Integer16, 2},
    {&TARN::FilterUnsignedIntegers16, TARNIOEltKind::UnsignedInteger16, 2},
    {&TARN::FilterTextUnicode, TARNIOEltKind::TextUnicode, 2},
    {&TARN::FilterIntegers32, TARNIOEltKind::Integer32, 4},
    {&TARN::FilterUnsignedIntegers32, TARNIOEltKind::UnsignedInteger32, 4},
    {&TARN::FilterFloats32, TARNIOEltKind::Float32, 4},
    {&TARN::FilterIntegers64, TARNIOEltKind::Integer64, 8},
    {&TARN::FilterUnsignedIntegers64, TARNIOEltKind::UnsignedInteger64, 8},
    {&TARN::FilterFloats64, TARNIOEltKind::Float64, 8},
    {&TARN::FilterCANFrame, TARNIOEltKind::CANFrame, 24},
    {&TARN::FilterCANFDFrame, TARNIOEltKind::CANFDFrame, 80},
    {&TARN::FilterCANUniFrame, TARNIOEltKind::CANUniFrame, 96},
    {&TARN::FilterDrawingObjects, TARNIOEltKind::DrawingObjects, 96},
    {&TARN::FilterRealObjects, TARNIOEltKind::RealObjects, 320},
    {&TARN::FilterStructure, TARNIOEltKind::Structure, 1},
    {&TARN::FilterMatrix, TARNIOEltKind::Matrix, 0},
    {&TARN::FilterIplImage, TARNIOEltKind::IplImage, 0},
    {&TARN::FilterTARNImage, TARNIOEltKind::TARNImage, 0},
    {&TARN::FilterAudioSignal, TARNIOEltKind::AudioSignal, 0},
    {&TARN::FilterTriangles3D, TARNIOEltKind::Triangles3D, 0},
    {&TARN::FilterCustomType, TARNIOEltKind::CustomType, 0},
};

}  // namespace

namespace TARNPrivate {

TARNIOEltKind IOEltKindOf(const TARNTypeInfo& type) {
    for (const KindFilter& entry : kKindFilters)
        if (TARN::TypeFilter(type, *entry.filter)) return entry.kind;
    return TARNIOEltKind::Other;
}

bool IsPlainIOEltKind(TARNIOEltKind kind) {
    return IOEltItemBytes(kind) != 0;
}

int IOEltItemBytes(TARNIOEltKind kind) {
    for (const KindFilter& entry : kKindFilters)
        if (entry.kind == kind) return entry.itemBytes;
    return 0;
}

}  // namespace TARNPrivate
