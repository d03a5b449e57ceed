// The I/O element: its table order, its typed accessors and their checks, and its sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "dataflow/io_element_implementation.hpp"
#include "module_fixture.hpp"
#include "support/virtual_slot.hpp"

namespace {

using Elt = TARNIOElt;

constexpr const char* kTypingMessage = "Check error : Incorrect typing during I/O element access.";
constexpr const char* kIndexMessage = "Check error : Bad vector index during I/O element access.";
constexpr const char* kNullMessage =
    "Check error : A NULL I/O Element was disregarded by a component (probably due a detachment not taken "
    "into account).";

class IOEltTest : public ModuleTest {
  protected:
    // An element of `type` over `buffer`, with BufferSize `capacity` items.
    void Prepare(unsigned long type, int capacity) {
        element.type.type = type;
        element.data = buffer;
        element.bufferSize = capacity;
    }
    std::uintptr_t Address(const void* pointer) const { return reinterpret_cast<std::uintptr_t>(pointer); }
    std::uintptr_t Base() const { return Address(buffer); }

    alignas(16) unsigned char buffer[4096] = {};
    TARNIOEltImplementation element;
};

}  // namespace

TEST(IOEltSlots, VirtualOperationsSitInTheirSlots) {
    EXPECT_EQ(VirtualSlot(&Elt::Data), 0);
    EXPECT_EQ(VirtualSlot(&Elt::TimeOfIssue), 1);
    EXPECT_EQ(VirtualSlot(&Elt::Timestamp), 2);
    EXPECT_EQ(VirtualSlot(&Elt::VectorSize), 3);
    EXPECT_EQ(VirtualSlot(&Elt::BufferSize), 4);
    EXPECT_EQ(VirtualSlot(&Elt::Frequency), 5);
    EXPECT_EQ(VirtualSlot(&Elt::Quality), 6);
    EXPECT_EQ(VirtualSlot(&Elt::Type), 7);
    EXPECT_EQ(VirtualSlot(&Elt::BufferItemSize), 8);
    EXPECT_EQ(VirtualSlot(&Elt::Integer), 9);
    EXPECT_EQ(VirtualSlot(&Elt::Integer32), 10);
    EXPECT_EQ(VirtualSlot(&Elt::Integer64), 11);
    EXPECT_EQ(VirtualSlot(&Elt::Float64), 12);
    EXPECT_EQ(VirtualSlot(&Elt::Float32), 13);
    EXPECT_EQ(VirtualSlot(&Elt::Text), 14);
    EXPECT_EQ(VirtualSlot(&Elt::TextAscii), 15);
    EXPECT_EQ(VirtualSlot(&Elt::TextUnicode), 16);
    EXPECT_EQ(VirtualSlot(&Elt::IplImage), 17);
    EXPECT_EQ(VirtualSlot(&Elt::TARNImage), 18);
    EXPECT_EQ(VirtualSlot(&Elt::CANFrame), 19);
    EXPECT_EQ(VirtualSlot(&Elt::Matrix), 20);
    EXPECT_EQ(VirtualSlot(&Elt::RealObject), 21);
    EXPECT_EQ(VirtualSlot(&Elt::DrawingObject), 22);
    EXPECT_EQ(VirtualSlot(&Elt::Triangles3D), 23);
    EXPECT_EQ(VirtualSlot(&Elt::Stream8), 24);
    EXPECT_EQ(VirtualSlot(&Elt::Stream16), 25);
    EXPECT_EQ(VirtualSlot(&Elt::Stream32), 26);
    EXPECT_EQ(VirtualSlot(&Elt::AudioSignal), 27);
    EXPECT_EQ(VirtualSlot(&Elt::Misc1), 28);
    EXPECT_EQ(VirtualSlot(&Elt::Misc2), 29);
    EXPECT_EQ(VirtualSlot(&Elt::Misc3), 30);
    EXPECT_EQ(VirtualSlot(&Elt::IOEltBufferSizeInBytes), 31);
    EXPECT_EQ(VirtualSlot(&Elt::IOEltUsedSizeInBytes), 32);
    EXPECT_EQ(VirtualSlot(&Elt::Serialize), 33);
    EXPECT_EQ(VirtualSlot(static_cast<unsigned int (Elt::*)(void*, bool)>(&Elt::Deserialize)), 34);
}

TEST(IOEltFields, ANewElementIsEmptyAndItsAccessorsAreItsFields) {
    TARNIOEltImplementation element;
    TARNIOElt& elt = element;
    EXPECT_EQ(elt.Data(), nullptr);
    EXPECT_EQ(elt.BufferSize(), 0);
    EXPECT_EQ(elt.Timestamp(), 0);
    EXPECT_EQ(elt.Type().type, 0u);
    EXPECT_EQ(elt.Type().typeName, nullptr);
    EXPECT_EQ(elt.Type().unit, nullptr);

    elt.Timestamp() = 17;
    elt.VectorSize() = 3;
    elt.Misc2() = -4;
    elt.Frequency() = 25;
    EXPECT_EQ(element.timestamp, 17);
    EXPECT_EQ(element.vectorSize, 3);
    EXPECT_EQ(element.misc2, -4);
    EXPECT_EQ(element.frequency, 25);
}

TEST_F(IOEltTest, ResetForBufferClearsTheBufferFieldsAndTakesTheOutputsType) {
    element.data = buffer;
    element.bufferSize = 9;
    element.vectorSize = 5;
    element.timestamp = 44;
    element.frequency = 3;
    element.quality = 4;
    element.misc1 = element.misc2 = element.misc3 = 7;
    element.ResetForBuffer(TARNTypeInfo(TARNTypeInfo::Double, "volts", "V"));

    EXPECT_EQ(element.data, nullptr);
    EXPECT_EQ(element.bufferSize, 0);
    EXPECT_EQ(element.frequency, 0);
    EXPECT_EQ(element.quality, 0);
    EXPECT_EQ(element.misc1 | element.misc2 | element.misc3, 0);
    EXPECT_EQ(element.type.type, TARNTypeInfo::Double);
    EXPECT_STREQ(element.type.unit->c_str(), "V");
    // What the writer set last stays.
    EXPECT_EQ(element.vectorSize, 5);
    EXPECT_EQ(element.timestamp, 44);
}

// Every typed accessor: the type it accepts, one it refuses, its item width (0: not
// indexed) and how to call it.
struct AccessorCase {
    const char* name;
    unsigned long accepted;
    unsigned long refused;
    int width;
    std::function<const void*(TARNIOElt&, int)> call;
};

std::vector<AccessorCase> AccessorCases() {
    using T = TARNTypeInfo;
    return {
        {"Integer", T::Integer32, T::Float32, 4, [](Elt& e, int i) { return e.Integer(i); }},
        {"Integer32", T::Integer32, T::Float32, 4, [](Elt& e, int i) { return e.Integer32(i); }},
        {"Integer64", T::Integer64, T::Integer32, 8, [](Elt& e, int i) { return e.Integer64(i); }},
        {"Float64", T::Double, T::Float32, 8, [](Elt& e, int i) { return e.Float64(i); }},
        {"Float32", T::Float32, T::Double, 4, [](Elt& e, int i) { return e.Float32(i); }},
        {"CANFrame", T::CANFrame, T::CANFDFrame, 24, [](Elt& e, int i) { return e.CANFrame(i); }},
        {"RealObject", T::RealObjects, T::DrawingObjects, 320, [](Elt& e, int i) { return e.RealObject(i); }},
        {"DrawingObject", T::DrawingObjects, T::RealObjects, 96,
         [](Elt& e, int i) { return e.DrawingObject(i); }},
        {"Text", T::TextUTF8, T::TextUTF16, 0, [](Elt& e, int) { return e.Text(); }},
        {"TextAscii", T::TextUTF8, T::TextUTF16, 0, [](Elt& e, int) { return e.TextAscii(); }},
        {"TextUnicode", T::TextUTF16, T::TextUTF8, 0, [](Elt& e, int) { return e.TextUnicode(); }},
        {"IplImage", T::IplImage, T::TARNImage, 0, [](Elt& e, int) { return e.IplImage(); }},
        {"TARNImage", T::TARNImage, T::IplImage, 0, [](Elt& e, int) { return e.TARNImage(); }},
        {"Matrix", T::Matrix, T::Double, 0, [](Elt& e, int) { return e.Matrix(); }},
        {"Triangles3D", T::Triangles3D, T::Matrix, 0, [](Elt& e, int) { return e.Triangles3D(); }},
        {"Stream8", T::Stream8, T::Stream16, 0, [](Elt& e, int) { return e.Stream8(); }},
        {"Stream16", T::Stream16, T::Stream8, 0, [](Elt& e, int) { return e.Stream16(); }},
        {"Stream32", T::Stream32, T::Stream16, 0, [](Elt& e, int) { return e.Stream32(); }},
        {"AudioSignal", T::AudioSignal, T::Stream8, 0, [](Elt& e, int) { return e.AudioSignal(); }},
    };
}

TEST_F(IOEltTest, WithChecksOnEachAccessorTakesItsTypeAndRefusesAnother) {
    kernel.SetCheckLevel(1);
    for (const AccessorCase& accessor : AccessorCases()) {
        SCOPED_TRACE(accessor.name);
        recorder.ClearReports();
        Prepare(accessor.accepted, 4);
        EXPECT_EQ(Address(accessor.call(element, 0)), Base());
        if (accessor.width > 0) {
            EXPECT_EQ(Address(accessor.call(element, 3)), Base() + 3u * accessor.width);
        }

        Prepare(accessor.refused, 4);
        EXPECT_EQ(ThrownCode([&] { accessor.call(element, 0); }), -5);
        ASSERT_EQ(Reports().size(), 1u);
        EXPECT_EQ(Reports()[0], (HostReport{kTypingMessage, 2, 2, true}));
    }
}

TEST_F(IOEltTest, WithChecksOnAnIndexMustLieInsideTheBufferNotJustTheVector) {
    kernel.SetCheckLevel(1);
    for (const AccessorCase& accessor : AccessorCases()) {
        if (accessor.width == 0) continue;
        SCOPED_TRACE(accessor.name);
        Prepare(accessor.accepted, 4);
        element.vectorSize = 2;
        // Beyond the items in use but inside the buffer: the writer fills before it counts.
        EXPECT_EQ(Address(accessor.call(element, 3)), Base() + 3u * accessor.width);
        for (int index : {4, 5, -1, -4, INT32_MIN}) {
            SCOPED_TRACE(index);
            recorder.ClearReports();
            EXPECT_EQ(ThrownCode([&] { accessor.call(element, index); }), -5);
            ASSERT_EQ(Reports().size(), 1u);
            EXPECT_EQ(Reports()[0], (HostReport{kIndexMessage, 2, 2, true}));
        }
    }
}

TEST_F(IOEltTest, WithChecksOffNothingIsTestedAndTheAddressIsComputedAlone) {
    kernel.SetCheckLevel(0);
    Prepare(TARNTypeInfo::IplImage, 1);
    EXPECT_EQ(Address(element.Float64(7)), Base() + 56);
    EXPECT_EQ(Address(element.Float32(0)), Base());
    EXPECT_EQ(Address(element.Integer32(-1)), Base() - 4);
    EXPECT_EQ(Address(element.Matrix()), Base());
    // An element without data answers addresses from null, without undefined behaviour.
    TARNIOEltImplementation empty;
    EXPECT_EQ(Address(empty.Float64(7)), 56u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(IOEltTest, TheStaticChecksAlsoCatchANullElement) {
    Prepare(TARNTypeInfo::Integer32, 4);
    kernel.SetCheckLevel(0);
    TARNIOEltImplementation::Check(nullptr, TARN::FilterIntegers32);
    TARNIOEltImplementation::Check(&element, TARN::FilterFloats32, 9);
    EXPECT_TRUE(Reports().empty());

    kernel.SetCheckLevel(1);
    EXPECT_EQ(ThrownCode([] { TARNIOEltImplementation::Check(nullptr, TARN::FilterIntegers32); }), -5);
    EXPECT_EQ(ThrownCode([] { TARNIOEltImplementation::Check(nullptr, TARN::FilterIntegers32, 0); }), -5);
    EXPECT_EQ(ThrownCode([&] { TARNIOEltImplementation::Check(&element, TARN::FilterFloats32); }), -5);
    EXPECT_EQ(ThrownCode([&] { TARNIOEltImplementation::Check(&element, TARN::FilterIntegers32, -1); }), -5);
    EXPECT_EQ(ThrownCode([&] { TARNIOEltImplementation::Check(&element, TARN::FilterIntegers32, 4); }), -5);
    TARNIOEltImplementation::Check(&element, TARN::FilterIntegers32, 3);
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{kNullMessage, kNullMessage, kTypingMessage,
                                                       kIndexMessage, kIndexMessage}));
}

// ---- Sizes -----------------------------------------------------------------------------

struct SizeCase {
    const char* name;
    unsigned long type;
    int bufferSize;
    int vectorSize;
    unsigned long used;    // with the header below, where the type has one
    unsigned long buffer;  // and needed
    int plain;             // 1 true, 0 false, -1 left alone
};

TEST_F(IOEltTest, SizesFollowTheTypeTable) {
    using T = TARNTypeInfo;
    const SizeCase cases[] = {
        {"Integer8", T::Integer8, 10, 4, 4, 10, 1},
        {"Stream8", T::Stream8, 10, 4, 4, 10, 1},
        {"TextUTF8", T::TextUTF8, 10, 4, 4, 10, 1},
        {"Integer16", T::Integer16, 10, 4, 8, 20, 1},
        {"TextUTF16", T::TextUTF16, 10, 4, 8, 20, 1},
        {"Float32", T::Float32, 10, 4, 16, 40, 1},
        {"Stream32", T::Stream32, 10, 4, 16, 40, 1},
        {"Double", T::Double, 10, 4, 32, 80, 1},
        {"UnsignedInteger64", T::UnsignedInteger64, 10, 4, 32, 80, 1},
        {"CANFrame", T::CANFrame, 10, 4, 96, 240, 1},
        {"CANFDFrame", T::CANFDFrame, 10, 4, 320, 800, 1},
        {"CANUniFrame", T::CANUniFrame, 10, 4, 384, 960, 1},
        {"DrawingObjects", T::DrawingObjects, 10, 4, 384, 960, 1},
        {"RealObjects", T::RealObjects, 10, 4, 1280, 3200, 1},
        {"Structure", T::Structure, 10, 4, 10, 10, 1},
        {"CustomType", T::CustomType, 10, 4, 0xFFFFFFFF, 0xFFFFFFFF, 0},
        {"none", 0, 10, 4, 0xFFFFFFFF, 10, -1},
        // The first filter of the table decides: 8-bit integers before doubles.
        {"Integer8|Double", T::Integer8 | T::Double, 10, 4, 4, 10, 1},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare(c.type, c.bufferSize);
        element.vectorSize = c.vectorSize;
        bool plain = false;
        bool untouched = true;
        bool* flag = c.plain < 0 ? &untouched : &plain;
        EXPECT_EQ(element.IOEltUsedSizeInBytes(flag), c.used);
        EXPECT_EQ(element.IOEltBufferSizeInBytes(flag), c.buffer);
        EXPECT_EQ(element.IOEltNeededBufferSizeInBytes(flag), c.buffer);
        if (c.plain < 0) {
            EXPECT_TRUE(untouched);
        } else {
            EXPECT_EQ(plain, c.plain == 1);
        }

        // Without data nothing is used and there is no buffer; the need stays.
        element.data = nullptr;
        EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 0u);
        EXPECT_EQ(element.IOEltBufferSizeInBytes(nullptr), 0u);
        EXPECT_EQ(element.IOEltNeededBufferSizeInBytes(nullptr), c.buffer);
    }
}

TEST_F(IOEltTest, StructuredSizesCountTheHeaderAndThePartsItAnnounces) {
    Prepare(TARNTypeInfo::Matrix, 12);
    auto* matrix = new (buffer) TARNMatrix(3, 4, reinterpret_cast<double*>(buffer + 40), nullptr);
    bool plain = true;
    EXPECT_EQ(element.IOEltUsedSizeInBytes(&plain), 40u + 8 * 12);
    EXPECT_FALSE(plain);
    matrix->imag = matrix->real + 12;
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 40u + 2 * 8 * 12);
    EXPECT_EQ(element.IOEltBufferSizeInBytes(nullptr), 40u + 16 * 12);
    matrix->rows = -3;
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), TARNIOElt::UnknownSize);

    Prepare(TARNTypeInfo::IplImage, 100);
    auto* image = reinterpret_cast<_IplImage*>(buffer);
    *image = TARN::IplImageModel(5, 4, "GRAY", 0, 8, 4);
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 144u);
    image->roi = reinterpret_cast<_IplROI*>(buffer + 144);
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 164u);
    image->imageData = reinterpret_cast<char*>(buffer + 164);
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 164u + 32);
    EXPECT_EQ(element.IOEltBufferSizeInBytes(nullptr), 264u);

    Prepare(TARNTypeInfo::TARNImage, 100);
    auto* engineImage = reinterpret_cast<TARNImage*>(buffer);
    *engineImage = {2, 2, 30, 100, 0, 0, nullptr, 0, 0};
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 48u);
    engineImage->data = buffer + 48;
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 78u);
    EXPECT_EQ(element.IOEltBufferSizeInBytes(nullptr), 148u);

    Prepare(TARNTypeInfo::AudioSignal, 100);
    *reinterpret_cast<TARNAudioSignal*>(buffer) = {{0, 0, 0}, 16, buffer + 24};
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 40u);
    EXPECT_EQ(element.IOEltBufferSizeInBytes(nullptr), 124u);

    Prepare(TARNTypeInfo::Triangles3D, 10);
    element.vectorSize = 3;
    auto* triangles = reinterpret_cast<TARNTriangles3D*>(buffer);
    *triangles = {};
    triangles->first = buffer + 48;
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 48u + 24 * 3);
    triangles->third = buffer + 200;
    triangles->second = buffer + 300;
    EXPECT_EQ(element.IOEltUsedSizeInBytes(nullptr), 48u + 56 * 3);
    EXPECT_EQ(element.IOEltBufferSizeInBytes(nullptr), 48u + 56 * 10);
}

TEST_F(IOEltTest, SizesAreWorkedOutBeyond32Bits) {
    Prepare(TARNTypeInfo::RealObjects, INT32_MAX);
    EXPECT_EQ(element.IOEltNeededBufferSizeInBytes(nullptr), 320ul * INT32_MAX);
    Prepare(TARNTypeInfo::Matrix, INT32_MAX);
    EXPECT_EQ(element.IOEltNeededBufferSizeInBytes(nullptr), 40 + 16ul * INT32_MAX);
    // A negative capacity holds nothing.
    Prepare(TARNTypeInfo::Double, -5);
    EXPECT_EQ(element.IOEltNeededBufferSizeInBytes(nullptr), 0u);
}
