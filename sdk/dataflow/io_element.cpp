#include <cstdint>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_element_kind.hpp"
#include "dataflow/io_element_layout.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/reports.hpp"

// The element is read in place by the engine and by other packages: its fields keep their
// order and offsets. offsetof on a class with virtual operations is conditionally
// supported; g++ gives the real offsets.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TARNIOEltImplementation, data) == 8);
static_assert(offsetof(TARNIOEltImplementation, bufferSize) == 16);
static_assert(offsetof(TARNIOEltImplementation, vectorSize) == 20);
static_assert(offsetof(TARNIOEltImplementation, timestamp) == 24);
static_assert(offsetof(TARNIOEltImplementation, timeOfIssue) == 32);
static_assert(offsetof(TARNIOEltImplementation, type) == 40);
static_assert(offsetof(TARNIOEltImplementation, frequency) == 64);
static_assert(offsetof(TARNIOEltImplementation, quality) == 72);
static_assert(offsetof(TARNIOEltImplementation, triggerState) == 76);
static_assert(offsetof(TARNIOEltImplementation, ringPosition) == 80);
static_assert(offsetof(TARNIOEltImplementation, bufferIndex) == 84);
static_assert(offsetof(TARNIOEltImplementation, bufferItemSize) == 88);
static_assert(offsetof(TARNIOEltImplementation, misc1) == 92);
static_assert(offsetof(TARNIOEltImplementation, misc2) == 96);
static_assert(offsetof(TARNIOEltImplementation, misc3) == 100);
static_assert(sizeof(TARNIOEltImplementation) == 104);
#pragma GCC diagnostic pop

namespace {

constexpr const char* kNullElementMessage =
    "Check error : A NULL I/O Element was disregarded by a component (probably due a detachment not taken "
    "into account).";
constexpr const char* kTypingMessage = "Check error : Incorrect typing during I/O element access.";
constexpr const char* kIndexMessage = "Check error : Bad vector index during I/O element access.";

void checkType(const TARNIOEltImplementation& element, const TARNTypeFilterBase& filter) {
    if (!TARN::TypeFilter(element.type, filter)) TARNPrivate::KernelError(kTypingMessage, 2);
}

// A negative index is refused like one past the end: both lie outside the buffer.
void checkIndex(const TARNIOEltImplementation& element, int index) {
    if (index < 0 || index >= element.bufferSize) TARNPrivate::KernelError(kIndexMessage, 2);
}

// Counts held by the element's int fields, negative ones counting as none.
unsigned long count(int value) {
    return value < 0 ? 0 : static_cast<unsigned long>(value);
}

// The plain kinds say true, the structured ones false; an unknown type leaves the flag.
void setPlainFlag(TARNIOEltKind kind, bool* plain) {
    if (plain == nullptr || kind == TARNIOEltKind::Other) return;
    *plain = TARNPrivate::IsPlainIOEltKind(kind);
}

}  // namespace

int* TARNIOElt::Integer(int index) {
    return Integer32(index);
}

void TARNIOEltImplementation::ResetForBuffer(const TARNTypeInfo& outputType) {
    bufferSize = 0;
    frequency = 0;
    quality = 0;
    misc1 = 0;
    misc2 = 0;
    misc3 = 0;
    type = outputType;
    data = nullptr;
}

// ---- Typed accessors -------------------------------------------------------------------

template <class T>
T* TARNIOEltImplementation::typedData(const TARNTypeFilterBase& filter) {
    if (TARN::CheckLevel() > 0) checkType(*this, filter);
    return static_cast<T*>(data);
}

template <class T>
T* TARNIOEltImplementation::indexedData(const TARNTypeFilterBase& filter, int index) {
    if (TARN::CheckLevel() > 0) {
        checkType(*this, filter);
        checkIndex(*this, index);
    }
    // Address arithmetic rather than pointer arithmetic: unchecked, the caller may ask for
    // an item of an element without data, which must not be undefined behaviour here.
    const std::intptr_t address = reinterpret_cast<std::intptr_t>(data) +
                                  static_cast<std::intptr_t>(index) * static_cast<std::intptr_t>(sizeof(T));
    return reinterpret_cast<T*>(address);
}

int* TARNIOEltImplementation::Integer32(int index) {
    return indexedData<int>(TARN::FilterIntegers32, index);
}

long* TARNIOEltImplementation::Integer64(int index) {
    return indexedData<long>(TARN::FilterIntegers64, index);
}

double* TARNIOEltImplementation::Float64(int index) {
    return indexedData<double>(TARN::FilterFloats64, index);
}

float* TARNIOEltImplementation::Float32(int index) {
    return indexedData<float>(TARN::FilterFloats32, index);
}

char* TARNIOEltImplementation::Text() {
    return typedData<char>(TARN::FilterTextAscii);
}

char* TARNIOEltImplementation::TextAscii() {
    return typedData<char>(TARN::FilterTextAscii);
}

char16_t* TARNIOEltImplementation::TextUnicode() {
    return typedData<char16_t>(TARN::FilterTextUnicode);
}

_IplImage* TARNIOEltImplementation::IplImage() {
    return typedData<_IplImage>(TARN::FilterIplImage);
}

::TARNImage* TARNIOEltImplementation::TARNImage() {
    return typedData<::TARNImage>(TARN::FilterTARNImage);
}

TARNCANFrame* TARNIOEltImplementation::CANFrame(int index) {
    return indexedData<TARNCANFrame>(TARN::FilterCANFrame, index);
}

TARNMatrix* TARNIOEltImplementation::Matrix() {
    return typedData<TARNMatrix>(TARN::FilterMatrix);
}

TARNRealObject* TARNIOEltImplementation::RealObject(int index) {
    return indexedData<TARNRealObject>(TARN::FilterRealObjects, index);
}

TARNDrawingObject* TARNIOEltImplementation::DrawingObject(int index) {
    return indexedData<TARNDrawingObject>(TARN::FilterDrawingObjects, index);
}

TARNTriangles3D* TARNIOEltImplementation::Triangles3D() {
    return typedData<TARNTriangles3D>(TARN::FilterTriangles3D);
}

unsigned char* TARNIOEltImplementation::Stream8() {
    return typedData<unsigned char>(TARN::FilterStream8);
}

unsigned short* TARNIOEltImplementation::Stream16() {
    return typedData<unsigned short>(TARN::FilterStream16);
}

unsigned int* TARNIOEltImplementation::Stream32() {
    return typedData<unsigned int>(TARN::FilterStream32);
}

TARNAudioSignal* TARNIOEltImplementation::AudioSignal() {
    return typedData<TARNAudioSignal>(TARN::FilterAudioSignal);
}

void TARNIOEltImplementation::Check(TARNIOEltImplementation* element, TARNTypeFilterBase filter) {
    if (TARN::CheckLevel() <= 0) return;
    if (element == nullptr) TARNPrivate::KernelError(kNullElementMessage, 2);
    checkType(*element, filter);
}

void TARNIOEltImplementation::Check(TARNIOEltImplementation* element, TARNTypeFilterBase filter, int index) {
    if (TARN::CheckLevel() <= 0) return;
    if (element == nullptr) TARNPrivate::KernelError(kNullElementMessage, 2);
    checkType(*element, filter);
    checkIndex(*element, index);
}

// ---- Sizes -----------------------------------------------------------------------------

unsigned long TARNIOEltImplementation::IOEltNeededBufferSizeInBytes(bool* plain) const {
    const TARNIOEltKind kind = TARNPrivate::IOEltKindOf(type);
    setPlainFlag(kind, plain);
    return TARNPrivate::IOEltNeededBytes(kind, bufferSize);
}

unsigned long TARNIOEltImplementation::IOEltBufferSizeInBytes(bool* plain) {
    if (data == nullptr) return 0;
    return IOEltNeededBufferSizeInBytes(plain);
}

unsigned long TARNIOEltImplementation::IOEltUsedSizeInBytes(bool* plain) {
    if (data == nullptr) return 0;
    const TARNIOEltKind kind = TARNPrivate::IOEltKindOf(type);
    setPlainFlag(kind, plain);
    if (TARNPrivate::IsPlainIOEltKind(kind)) {
        // A structure's items are the bytes of its whole buffer.
        if (kind == TARNIOEltKind::Structure) return count(bufferSize);
        if (vectorSize < 0) return UnknownSize;
        return TARNPrivate::SaturatedBytes(count(vectorSize), TARNPrivate::IOEltItemBytes(kind));
    }
    if (kind == TARNIOEltKind::Other || kind == TARNIOEltKind::CustomType) return UnknownSize;
    const TARNPrivate::IOEltPayloadLayout layout =
        TARNPrivate::DescribeIOEltPayload(kind, static_cast<const unsigned char*>(data), vectorSize);
    return layout.valid ? layout.TotalBytes() : UnknownSize;
}
