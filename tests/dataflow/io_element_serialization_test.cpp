// I/O element serialisation: the block layout, round trips of every payload type into new
// and existing buffers, and the refusal of short, forged and newer blocks without any write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/output_buffers.hpp"
#include "module_fixture.hpp"
#include "tarn/runtime/memory.hpp"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr unsigned int kFailure = TARNIOElt::Failure;

constexpr const char* kShortBlock =
    "TARNIOElt deserialization impossible : the block ends before its contents.";
constexpr const char* kMalformedBlock =
    "TARNIOElt deserialization impossible : the block announces a negative or impossible size.";
constexpr const char* kPartTooBig =
    "TARNIOElt deserialization impossible : deserialized data is bigger than allocated buffer size.";
constexpr const char* kOtherKind =
    "TARNIOElt deserialization impossible : deserialized type does not fit the allocated buffer.";
constexpr const char* kNoPlaceForPart =
    "TARNIOElt deserialization impossible : destination has no memory for a part of the block.";
constexpr const char* kBufferSizeTooBig =
    "TARNIOElt deserialization impossible : deserialized buffer size is bigger than allocated buffer size.";
constexpr const char* kVectorSizeTooBig =
    "TARNIOElt deserialization impossible : deserialized vector size is bigger than allocated buffer size.";

template <class Value>
void Patch(Bytes& block, std::size_t offset, Value value) {
    std::memcpy(block.data() + offset, &value, sizeof value);
}

template <class Value>
Value Field(const Bytes& block, std::size_t offset) {
    Value value;
    std::memcpy(&value, block.data() + offset, sizeof value);
    return value;
}

void Pattern(void* at, unsigned long count, unsigned char seed) {
    auto* bytes = static_cast<unsigned char*>(at);
    for (unsigned long i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(seed + 7 * i);
}

class SerializationTest : public ModuleTest {
  protected:
    void TearDown() override {
        for (void* buffer : m_deserialized) TARN::DeallocSharedMemory(buffer);
        ModuleTest::TearDown();
    }

    // An element of `type` with a buffer of `isize` items, set up as an output sets up its
    // elements (vector flag set: no report), and with some values in every field.
    TARNIOEltImplementation& Element(unsigned long type, int isize) {
        auto slot = std::make_unique<Slot>();
        slot->type = TARNTypeInfo(type | TARNTypeInfo::Vector);
        TARNIOEltImplementation* ring[] = {&slot->element};
        slot->buffers.AllocOutputBuffer({slot->type, "src.out", "out", ring}, isize, true);
        TARNIOEltImplementation& element = slot->element;
        element.timestamp = 123456789;
        element.timeOfIssue = 55;
        element.frequency = 30;
        element.quality = 99;
        element.misc1 = 1;
        element.misc2 = -2;
        element.misc3 = 3;
        element.type.SetUnit("mV");
        element.type.SetName("volts");
        m_slots.push_back(std::move(slot));
        return element;
    }

    Bytes Serialized(TARNIOEltImplementation& element) {
        Bytes block(element.Serialize(nullptr, 0));
        EXPECT_EQ(element.Serialize(block.data(), static_cast<unsigned int>(block.size())), block.size());
        return block;
    }

    // A later Deserialize may have allocated the element's buffer: the test frees it.
    void Adopt(TARNIOEltImplementation& element) { m_deserialized.push_back(element.data); }

    // What a refused block must leave alone: every field and every byte of the buffer.
    struct State {
        void* data;
        Bytes block;
        Bytes buffer;
        bool operator==(const State&) const = default;
    };
    State StateOf(TARNIOEltImplementation& element) {
        // Always written at the same place, so that the references in it compare equal.
        const unsigned int length =
            element.Serialize(m_scratch.data(), static_cast<unsigned int>(m_scratch.size()));
        EXPECT_NE(length, TARNIOElt::Failure);
        State state{element.data, Bytes(m_scratch.begin(), m_scratch.begin() + length), {}};
        if (element.data != nullptr) {
            const auto* bytes = static_cast<const unsigned char*>(element.data);
            state.buffer.assign(bytes, bytes + element.IOEltNeededBufferSizeInBytes(nullptr));
        }
        return state;
    }

  private:
    struct Slot {
        TARNTypeInfo type;
        TARNOutputBuffers buffers;
        TARNIOEltImplementation element;
    };
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<void*> m_deserialized;
    Bytes m_scratch = Bytes(1 << 16);
};

// ---- Fillers: the payload of each type, as a writer leaves it ---------------------------

void FillPlain(TARNIOEltImplementation& element) {
    element.vectorSize = 3;
    Pattern(element.data, element.IOEltUsedSizeInBytes(nullptr), 1);
}

void FillMatrix(TARNIOEltImplementation& element, bool imaginary) {
    TARNMatrix& matrix = *element.Matrix();
    matrix.rows = 2;
    matrix.cols = 3;
    for (int i = 0; i < 6; ++i) matrix.real[i] = i + 0.5;
    if (imaginary) {
        for (int i = 0; i < 6; ++i) matrix.imag[i] = -i;
    } else {
        matrix.imag = nullptr;
    }
}

void FillIplImage(TARNIOEltImplementation& element, bool withRoi) {
    _IplImage& image = *element.IplImage();
    _IplROI* roi = image.roi;
    char* pixels = image.imageData;
    image = TARN::IplImageModel(4, 4, "GRAY", 0, 8, 4);  // 16 bytes of pixels
    image.roi = withRoi ? roi : nullptr;
    image.imageData = pixels;
    *roi = {0, 1, 1, 2, 2};
    Pattern(pixels, 16, 3);
}

void FillTARNImage(TARNIOEltImplementation& element) {
    TARNImage& image = *element.TARNImage();
    image.width = 5;
    image.height = 4;
    image.size = 20;
    image.coding = 0x30303859;
    Pattern(image.data, 20, 5);
}

void FillAudioSignal(TARNIOEltImplementation& element) {
    TARNAudioSignal& signal = *element.AudioSignal();
    signal.words[0] = 8000;
    signal.words[2] = 2;
    signal.dataSize = 20;
    Pattern(signal.data, 20, 9);
}

void FillTriangles(TARNIOEltImplementation& element) {
    element.vectorSize = 3;
    TARNTriangles3D& triangles = *element.Triangles3D();
    triangles.firstCount = 3;
    triangles.secondCount = 2;
    triangles.thirdCount = 1;
    Pattern(triangles.first, 3 * 24, 11);
    Pattern(triangles.second, 3 * 16, 13);
    Pattern(triangles.third, 3 * 16, 17);
}

struct PayloadCase {
    const char* name;
    unsigned long type;
    int isize;
    std::function<void(TARNIOEltImplementation&)> fill;
};

std::vector<PayloadCase> PayloadCases() {
    using T = TARNTypeInfo;
    return {
        {"Integer8", T::Integer8, 4, FillPlain},
        {"UnsignedInteger8", T::UnsignedInteger8, 4, FillPlain},
        {"TextUTF8", T::TextUTF8, 4, FillPlain},
        {"Integer16", T::Integer16, 4, FillPlain},
        {"UnsignedInteger16", T::UnsignedInteger16, 4, FillPlain},
        {"TextUTF16", T::TextUTF16, 4, FillPlain},
        {"Integer32", T::Integer32, 4, FillPlain},
        {"UnsignedInteger32", T::UnsignedInteger32, 4, FillPlain},
        {"Float32", T::Float32, 4, FillPlain},
        {"Integer64", T::Integer64, 4, FillPlain},
        {"UnsignedInteger64", T::UnsignedInteger64, 4, FillPlain},
        {"Double", T::Double, 4, FillPlain},
        {"CANFrame", T::CANFrame, 4, FillPlain},
        {"CANFDFrame", T::CANFDFrame, 4, FillPlain},
        {"CANUniFrame", T::CANUniFrame, 4, FillPlain},
        {"DrawingObjects", T::DrawingObjects, 4, FillPlain},
        {"RealObjects", T::RealObjects, 4, FillPlain},
        {"Stream8", T::Stream8, 4, FillPlain},
        {"Stream16", T::Stream16, 4, FillPlain},
        {"Stream32", T::Stream32, 4, FillPlain},
        {"Structure", T::Structure, 12, FillPlain},
        {"Matrix", T::Matrix, 6, [](TARNIOEltImplementation& e) { FillMatrix(e, true); }},
        {"Matrix, real only", T::Matrix, 6, [](TARNIOEltImplementation& e) { FillMatrix(e, false); }},
        {"IplImage", T::IplImage, 64, [](TARNIOEltImplementation& e) { FillIplImage(e, true); }},
        {"IplImage without ROI", T::IplImage, 64, [](TARNIOEltImplementation& e) { FillIplImage(e, false); }},
        {"TARNImage", T::TARNImage, 32, FillTARNImage},
        {"AudioSignal", T::AudioSignal, 32, FillAudioSignal},
        {"Triangles3D", T::Triangles3D, 4, FillTriangles},
    };
}

}  // namespace

TEST_F(SerializationTest, EveryPayloadTypeRoundTripsIntoANewAndIntoAnExistingBuffer) {
    for (const PayloadCase& payload : PayloadCases()) {
        SCOPED_TRACE(payload.name);
        TARNIOEltImplementation& source = Element(payload.type, payload.isize);
        payload.fill(source);
        Bytes block = Serialized(source);
        const Bytes original = block;

        TARNIOEltImplementation fresh;
        fresh.timeOfIssue = 7;
        ASSERT_EQ(fresh.Deserialize(block.data(), block.size(), true), 0u);
        Adopt(fresh);
        TARNIOEltImplementation& existing = Element(payload.type, payload.isize);
        ASSERT_EQ(existing.Deserialize(block.data(), false), 0u);

        // The time of issue is the reader's own.
        EXPECT_EQ(fresh.timeOfIssue, 7);
        EXPECT_EQ(existing.timeOfIssue, 55);
        fresh.timeOfIssue = 55;

        for (TARNIOEltImplementation* copy : {&fresh, &existing}) {
            EXPECT_EQ(copy->bufferSize, payload.isize);
            EXPECT_EQ(copy->vectorSize, source.vectorSize);
            EXPECT_EQ(copy->timestamp, 123456789);
            EXPECT_EQ(copy->type.type, source.type.type);
            EXPECT_STREQ(copy->type.unit->c_str(), "mV");
            EXPECT_STREQ(copy->type.typeName->c_str(), "volts");
            EXPECT_EQ(copy->frequency, 30);
            EXPECT_EQ(copy->quality, 99);
            EXPECT_EQ(copy->misc2, -2);
            EXPECT_EQ(copy->IOEltUsedSizeInBytes(nullptr), source.IOEltUsedSizeInBytes(nullptr));
            // The copy writes the same block again, into the same place: same header, same
            // parts, its references pointing at the same places of the block.
            std::fill(block.begin(), block.end(), 0);
            ASSERT_EQ(copy->Serialize(block.data(), static_cast<unsigned int>(block.size())), block.size());
            EXPECT_EQ(block, original);
        }
    }
}

TEST_F(SerializationTest, StructuredPartsLandInTheReadersOwnBuffer) {
    TARNIOEltImplementation& source = Element(TARNTypeInfo::IplImage, 64);
    FillIplImage(source, true);
    const Bytes block = Serialized(source);

    TARNIOEltImplementation fresh;
    ASSERT_EQ(fresh.Deserialize(block.data(), block.size(), true), 0u);
    Adopt(fresh);
    auto* base = static_cast<unsigned char*>(fresh.data);
    const _IplImage& image = *fresh.IplImage();
    EXPECT_EQ(reinterpret_cast<unsigned char*>(image.roi), base + 144);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(image.imageData), base + 164);
    EXPECT_EQ(image.roi->xOffset, 1);
    EXPECT_EQ(image.roi->height, 2);
    EXPECT_EQ(std::memcmp(image.imageData, source.IplImage()->imageData, 16), 0);
    EXPECT_EQ(fresh.IOEltNeededBufferSizeInBytes(nullptr), 164u + 64);

    TARNIOEltImplementation& matrixSource = Element(TARNTypeInfo::Matrix, 6);
    FillMatrix(matrixSource, true);
    const Bytes matrixBlock = Serialized(matrixSource);
    TARNIOEltImplementation matrixCopy;
    ASSERT_EQ(matrixCopy.Deserialize(matrixBlock.data(), matrixBlock.size(), true), 0u);
    Adopt(matrixCopy);
    const TARNMatrix& matrix = *matrixCopy.Matrix();
    EXPECT_FALSE(matrix.owns);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(matrix.real),
              static_cast<unsigned char*>(matrixCopy.data) + 40);
    EXPECT_EQ(matrix.imag, matrix.real + 6);
    EXPECT_EQ(matrix.real[5], 5.5);
    EXPECT_EQ(matrix.imag[5], -5.0);
}

TEST_F(SerializationTest, AnImageHasARegionOfInterestExactlyWhenTheWritersHad) {
    TARNIOEltImplementation& whole = Element(TARNTypeInfo::IplImage, 64);
    FillIplImage(whole, false);
    TARNIOEltImplementation& region = Element(TARNTypeInfo::IplImage, 64);
    FillIplImage(region, true);
    const Bytes wholeBlock = Serialized(whole);
    const Bytes regionBlock = Serialized(region);

    TARNIOEltImplementation& reader = Element(TARNTypeInfo::IplImage, 64);
    ASSERT_EQ(reader.Deserialize(wholeBlock.data(), wholeBlock.size(), false), 0u);
    EXPECT_EQ(reader.IplImage()->roi, nullptr);
    // The ROI comes back into the slot every image buffer has behind its header.
    ASSERT_EQ(reader.Deserialize(regionBlock.data(), regionBlock.size(), false), 0u);
    auto* base = static_cast<unsigned char*>(reader.data);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(reader.IplImage()->roi), base + 144);
    EXPECT_EQ(reader.IplImage()->roi->width, 2);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(reader.IplImage()->imageData), base + 164);
}

TEST_F(SerializationTest, TheFixedFieldsAreLittleEndianAndStringsAppearOnlyWhenNotEmpty) {
    TARNIOEltImplementation element;
    element.bufferSize = 0x01020304;
    element.vectorSize = 7;
    element.timestamp = 0x1122334455667788;
    element.timeOfIssue = -1;
    element.type = TARNTypeInfo(TARNTypeInfo::Double | TARNTypeInfo::Vector, "volts", "V");
    element.frequency = 25;
    element.quality = 4;
    element.misc1 = 5;
    element.misc2 = 6;
    element.misc3 = 7;

    // No data: the fixed 68 bytes and the two texts with their NULs.
    EXPECT_EQ(element.Serialize(nullptr, 0), 68u + 2 + 6);
    const Bytes block = Serialized(element);
    EXPECT_EQ(Field<uint32_t>(block, 0), 102u);
    EXPECT_EQ(Field<uint32_t>(block, 4), 0x01020304u);
    EXPECT_EQ(Field<uint32_t>(block, 8), 7u);
    EXPECT_EQ(Field<uint64_t>(block, 12), 0x1122334455667788u);
    EXPECT_EQ(Field<int64_t>(block, 20), -1);
    EXPECT_EQ(Field<uint64_t>(block, 28), TARNTypeInfo::Double | TARNTypeInfo::Vector);
    EXPECT_EQ(Field<uint32_t>(block, 36), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[40]), 2), std::string("V\0", 2));
    EXPECT_EQ(Field<uint32_t>(block, 42), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[46]), 6), std::string("volts\0", 6));
    EXPECT_EQ(Field<uint64_t>(block, 52), 25u);
    EXPECT_EQ(Field<uint32_t>(block, 60), 4u);
    EXPECT_EQ(Field<uint32_t>(block, 64), 5u);
    EXPECT_EQ(Field<uint32_t>(block, 68), 6u);
    EXPECT_EQ(Field<uint32_t>(block, 72), 7u);

    // An empty unit and an absent one are written alike.
    TARNIOEltImplementation empty;
    empty.type.SetUnit("");
    TARNIOEltImplementation absent;
    EXPECT_EQ(Serialized(empty), Serialized(absent));
    EXPECT_EQ(absent.Serialize(nullptr, 0), 68u);
}

TEST_F(SerializationTest, ADestinationOneByteShortIsLeftUntouched) {
    TARNIOEltImplementation& element = Element(TARNTypeInfo::Integer32, 4);
    FillPlain(element);
    const unsigned int needed = element.Serialize(nullptr, 0);
    EXPECT_EQ(needed, 68u + 3 + 6 + 12);
    Bytes destination(needed, 0xCC);
    EXPECT_EQ(element.Serialize(destination.data(), needed - 1), kFailure);
    EXPECT_EQ(destination, Bytes(needed, 0xCC));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SerializationTest, WhatCannotBeWrittenIsRefusedWithAReport) {
    TARNIOEltImplementation& custom = Element(TARNTypeInfo::CustomType, 4);
    EXPECT_EQ(custom.Serialize(nullptr, 0), kFailure);
    TARNIOEltImplementation& unknown = Element(0, 4);
    Bytes destination(4096);
    EXPECT_EQ(unknown.Serialize(destination.data(), 4096), kFailure);
    // A vector claiming more items than its buffer holds would be read past the buffer.
    TARNIOEltImplementation& vector = Element(TARNTypeInfo::Integer32, 4);
    vector.vectorSize = 5;
    EXPECT_EQ(vector.Serialize(destination.data(), 4096), kFailure);
    vector.vectorSize = -1;
    EXPECT_EQ(vector.Serialize(destination.data(), 4096), kFailure);
    TARNIOEltImplementation& matrix = Element(TARNTypeInfo::Matrix, 4);
    matrix.Matrix()->rows = -1;
    EXPECT_EQ(matrix.Serialize(destination.data(), 4096), kFailure);
    EXPECT_EQ(ReportTexts(),
              (std::vector<std::string>{
                  "TARNIOElt serialization not supported for custom types.",
                  "TARNIOElt serialization impossible : unknown type for TARNIOElt.",
                  "TARNIOElt serialization impossible : the element's sizes do not fit its buffer.",
                  "TARNIOElt serialization impossible : the element's sizes do not fit its buffer.",
                  "TARNIOElt serialization impossible : the element's sizes do not fit its buffer.",
              }));
    // Without data a custom type is only a header.
    TARNIOEltImplementation header;
    header.type.type = TARNTypeInfo::CustomType;
    EXPECT_EQ(header.Serialize(nullptr, 0), 68u);
}

TEST_F(SerializationTest, AVersion100BlockHasNoTimeOfIssue) {
    // version, BufferSize, VectorSize, Timestamp, type, unit length 0, name length 0, tail,
    // then two 32-bit integers.
    Bytes block(60 + 8);
    Patch<uint32_t>(block, 0, 100);
    Patch<uint32_t>(block, 4, 4);
    Patch<uint32_t>(block, 8, 2);
    Patch<int64_t>(block, 12, 5000);
    Patch<uint64_t>(block, 20, TARNTypeInfo::Integer32);
    Patch<uint32_t>(block, 28, 0);
    Patch<uint32_t>(block, 32, 0);
    Patch<uint64_t>(block, 36, 60);  // frequency
    Patch<uint32_t>(block, 44, 9);   // quality
    Patch<int32_t>(block, 48, 1);
    Patch<int32_t>(block, 52, 2);
    Patch<int32_t>(block, 56, 3);
    Patch<int32_t>(block, 60, 41);
    Patch<int32_t>(block, 64, 42);

    TARNIOEltImplementation& element = Element(TARNTypeInfo::Integer32, 4);
    ASSERT_EQ(element.Deserialize(block.data(), block.size(), false), 0u);
    EXPECT_EQ(element.timestamp, 5000);
    EXPECT_EQ(element.timeOfIssue, 55);
    EXPECT_EQ(element.vectorSize, 2);
    EXPECT_EQ(element.frequency, 60);
    EXPECT_EQ(element.quality, 9);
    EXPECT_EQ(element.misc3, 3);
    // Empty texts make present strings empty.
    EXPECT_STREQ(element.type.unit->c_str(), "");
    EXPECT_EQ(*element.Integer32(1), 42);
}

TEST_F(SerializationTest, AVersion103BlockIsRefused) {
    TARNIOEltImplementation& source = Element(TARNTypeInfo::Integer32, 4);
    FillPlain(source);
    Bytes block = Serialized(source);
    Patch<uint32_t>(block, 0, 103);
    TARNIOEltImplementation& element = Element(TARNTypeInfo::Integer32, 4);
    const State before = StateOf(element);
    EXPECT_EQ(element.Deserialize(block.data(), false), kFailure);
    EXPECT_EQ(Reports(),
              (std::vector<HostReport>{
                  {"Wrong binary format version for TARNIOElt, received = 103, current = 102", 0, 0, true}}));
    EXPECT_EQ(StateOf(element), before);
}

// An element's buffer holds its capacity in items of its own width: a block of another
// type fits it exactly when its items are as wide, and the element takes the block's type.
TEST_F(SerializationTest, ABlockOfAnotherTypeFitsWhenItsItemsAreAsWide) {
    using T = TARNTypeInfo;
    struct Case {
        unsigned long element;
        bool accepted;
    };
    const Case cases[] = {
        {T::UnsignedInteger32, true}, {T::Float32, true},   {T::Integer32, true}, {T::Integer16, false},
        {T::Integer64, false},        {T::Double, false},   {T::Stream8, false},  {T::IplImage, false},
    };
    TARNIOEltImplementation& source = Element(T::Integer32, 4);
    FillPlain(source);
    const Bytes block = Serialized(source);
    for (const Case& c : cases) {
        SCOPED_TRACE(TARNTypeInfo(c.element).type);
        TARNIOEltImplementation& reader = Element(c.element, c.element == T::IplImage ? 64 : 4);
        const State before = StateOf(reader);
        recorder.ClearReports();
        const unsigned int result = reader.Deserialize(block.data(), block.size(), false);
        if (!c.accepted) {
            EXPECT_EQ(result, kFailure);
            EXPECT_EQ(ReportTexts(), (std::vector<std::string>{kOtherKind}));
            EXPECT_EQ(StateOf(reader), before);
            continue;
        }
        ASSERT_EQ(result, 0u);
        EXPECT_EQ(reader.type.type, source.type.type);
        EXPECT_EQ(reader.vectorSize, 3);
        EXPECT_EQ(std::memcmp(reader.data, source.data, 12), 0);
    }
}

TEST_F(SerializationTest, TextGetsItsTerminatorWhenThereIsRoom) {
    TARNIOEltImplementation& source = Element(TARNTypeInfo::TextUTF8, 5);
    source.vectorSize = 5;
    std::memcpy(source.data, "hello", 5);
    const Bytes block = Serialized(source);
    TARNIOEltImplementation& reader = Element(TARNTypeInfo::TextUTF8, 10);
    std::memset(reader.data, 'x', 10);
    ASSERT_EQ(reader.Deserialize(block.data(), block.size(), false), 0u);
    EXPECT_STREQ(reader.Text(), "hello");
    EXPECT_EQ(reader.bufferSize, 10);
}

TEST_F(SerializationTest, ABlockWithoutPayloadUpdatesTheFieldsAndLeavesTheData) {
    TARNIOEltImplementation header;
    header.type = TARNTypeInfo(TARNTypeInfo::Integer32 | TARNTypeInfo::Vector);
    header.bufferSize = 4;
    header.vectorSize = 0;
    header.timestamp = 777;
    const Bytes block = Serialized(header);
    ASSERT_EQ(block.size(), 68u);

    TARNIOEltImplementation& element = Element(TARNTypeInfo::Integer32, 4);
    FillPlain(element);
    const Bytes payload(static_cast<unsigned char*>(element.data),
                        static_cast<unsigned char*>(element.data) + 16);
    ASSERT_EQ(element.Deserialize(block.data(), block.size(), false), 0u);
    EXPECT_EQ(element.timestamp, 777);
    EXPECT_EQ(element.vectorSize, 0);
    EXPECT_EQ(
        Bytes(static_cast<unsigned char*>(element.data), static_cast<unsigned char*>(element.data) + 16),
        payload);
}

// A block without payload cannot be told from one cut after its fixed fields: an element
// without a buffer gets one, cleared, as the block's sizes ask; writing every item the
// block's capacity gives stays inside it.
TEST_F(SerializationTest, AnElementWithoutBufferGetsAClearedOneFromABlockWithoutPayload) {
    for (const PayloadCase& payload : PayloadCases()) {
        SCOPED_TRACE(payload.name);
        TARNIOEltImplementation& source = Element(payload.type, payload.isize);
        payload.fill(source);
        const Bytes block = Serialized(source);
        const std::size_t fixedEnd = 68 + 3 + 6;  // fixed fields and the two texts

        TARNIOEltImplementation fresh;
        ASSERT_EQ(fresh.Deserialize(block.data(), fixedEnd, true), 0u);
        Adopt(fresh);
        ASSERT_NE(fresh.data, nullptr);
        EXPECT_EQ(fresh.bufferSize, payload.isize);
        EXPECT_EQ(fresh.vectorSize, source.vectorSize);
        EXPECT_EQ(fresh.type.type, source.type.type);
        const unsigned long bytes = fresh.IOEltNeededBufferSizeInBytes(nullptr);
        EXPECT_TRUE(std::all_of(static_cast<unsigned char*>(fresh.data), static_cast<unsigned char*>(fresh.data) + bytes,
                                [](unsigned char b) { return b == 0; }));
    }
}

TEST_F(SerializationTest, EveryShortenedBlockIsRefusedWithoutAWrite) {
    for (const PayloadCase& payload : PayloadCases()) {
        SCOPED_TRACE(payload.name);
        TARNIOEltImplementation& source = Element(payload.type, payload.isize);
        payload.fill(source);
        const Bytes block = Serialized(source);
        const std::size_t fixedEnd = 68 + 3 + 6;  // fixed fields and the two texts

        TARNIOEltImplementation& existing = Element(payload.type, payload.isize);
        const State before = StateOf(existing);
        for (std::size_t length = 0; length < block.size(); ++length) {
            SCOPED_TRACE(length);
            recorder.ClearReports();
            // Cut after the fixed fields, it reads as the block of an element without data,
            // but it claims items in use that an element with data would show stale.
            EXPECT_EQ(existing.Deserialize(block.data(), length, false), kFailure);
            EXPECT_EQ(ReportTexts(), (std::vector<std::string>{kShortBlock}));
            if (length == fixedEnd) continue;  // a new buffer: the test above
            TARNIOEltImplementation fresh;
            EXPECT_EQ(fresh.Deserialize(block.data(), length, true), kFailure);
            EXPECT_EQ(fresh.data, nullptr);
        }
        EXPECT_EQ(StateOf(existing), before);
    }
}

// A block patched after writing, or read into an element that cannot take it.
struct ForgedCase {
    const char* name;
    unsigned long type;
    int isize;
    std::function<void(TARNIOEltImplementation&)> fill;
    // Patches the block; the payload starts at offset 68 (no texts).
    std::function<void(Bytes&)> forge;
    // Spoils the reading element (may be null).
    std::function<void(TARNIOEltImplementation&)> spoil;
    bool allocate;
    std::vector<std::string> reports;
};

TEST_F(SerializationTest, ForgedBlocksAreRefusedWithoutAWrite) {
    using T = TARNTypeInfo;
    const std::size_t payload = 68;
    auto keep = [](Bytes&) {};
    auto ipl = [](TARNIOEltImplementation& e) { FillIplImage(e, true); };
    auto matrix = [](TARNIOEltImplementation& e) { FillMatrix(e, true); };
    // clang-format off
    const std::vector<ForgedCase> cases = {
        {"vector size 0xFFFFFFFF", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint32_t>(b, 8, 0xFFFFFFFF); }, nullptr, false, {kVectorSizeTooBig}},
        {"vector size 0xFFFFFFFF, allocating", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint32_t>(b, 8, 0xFFFFFFFF); }, nullptr, true, {kVectorSizeTooBig}},
        {"buffer size above the element's", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint32_t>(b, 4, 5); }, nullptr, false, {kBufferSizeTooBig}},
        {"buffer size 0xFFFFFFFF against a buffer", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint32_t>(b, 4, 0xFFFFFFFF); }, nullptr, false, {kBufferSizeTooBig}},
        {"buffer size beyond an int, allocating", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint32_t>(b, 4, 0x80000000); }, nullptr, true, {kMalformedBlock}},
        {"another element kind", T::Integer8, 4, FillPlain,
         [](Bytes& b) { Patch<uint64_t>(b, 28, TARNTypeInfo::Double); }, nullptr, false, {kOtherKind}},
        {"rows x columns beyond the capacity", T::Matrix, 6, matrix,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 8, 100); }, nullptr, false, {kPartTooBig}},
        {"rows x columns beyond the capacity, allocating", T::Matrix, 6, matrix,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 12, 7); }, nullptr, true, {kPartTooBig}},
        {"rows x columns beyond the capacity without arrays", T::Matrix, 6, matrix,
         [payload](Bytes& b) {
             Patch<int32_t>(b, payload + 8, 0x7FFFFFFF); Patch<int32_t>(b, payload + 12, 0x7FFFFFFF);
             Patch<void*>(b, payload + 16, nullptr); Patch<void*>(b, payload + 24, nullptr);
         }, nullptr, false, {kPartTooBig}},
        {"rows x columns beyond the capacity without arrays, allocating", T::Matrix, 6, matrix,
         [payload](Bytes& b) {
             Patch<int32_t>(b, payload + 8, 0x7FFFFFFF); Patch<int32_t>(b, payload + 12, 0x7FFFFFFF);
             Patch<void*>(b, payload + 16, nullptr); Patch<void*>(b, payload + 24, nullptr);
         }, nullptr, true, {kPartTooBig}},
        {"negative rows", T::Matrix, 6, matrix,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 8, -2); }, nullptr, false, {kMalformedBlock}},
        {"image size beyond the capacity", T::IplImage, 64, ipl,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 80, 1000); }, nullptr, false, {kPartTooBig}},
        {"image size beyond the capacity without pixels", T::IplImage, 64, ipl,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 80, 1000); Patch<void*>(b, payload + 88, nullptr); },
         nullptr, false, {kPartTooBig}},
        {"negative image size", T::IplImage, 64, ipl,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 80, -16); }, nullptr, true, {kMalformedBlock}},
        {"engine image data size beyond the capacity", T::TARNImage, 32, FillTARNImage,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 8, 33); }, nullptr, false, {kPartTooBig}},
        {"audio data size beyond the capacity", T::AudioSignal, 32, FillAudioSignal,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 12, 1 << 30); }, nullptr, true, {kPartTooBig}},
        {"audio data size beyond the capacity without data", T::AudioSignal, 32, FillAudioSignal,
         [payload](Bytes& b) { Patch<int32_t>(b, payload + 12, 33); Patch<void*>(b, payload + 16, nullptr); },
         nullptr, false, {kPartTooBig}},
        {"a unit longer than the block", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint32_t>(b, 36, 0xFFFFFFF0); }, nullptr, false, {kShortBlock}},
        {"no pixels to copy the block's into", T::IplImage, 64, ipl, keep,
         [](TARNIOEltImplementation& e) { e.IplImage()->imageData = nullptr; }, false, {kNoPlaceForPart}},
        {"no data to copy the engine image's into", T::TARNImage, 32, FillTARNImage, keep,
         [](TARNIOEltImplementation& e) { e.TARNImage()->data = nullptr; }, false, {kNoPlaceForPart}},
        {"no array to copy the triangles into", T::Triangles3D, 4, FillTriangles, keep,
         [](TARNIOEltImplementation& e) { e.Triangles3D()->second = nullptr; }, false, {kNoPlaceForPart}},
        {"a custom type", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint64_t>(b, 28, TARNTypeInfo::CustomType); }, nullptr, true,
         {"TARNIOElt deserialization not supported for custom types."}},
        {"no known type", T::Integer32, 4, FillPlain,
         [](Bytes& b) { Patch<uint64_t>(b, 28, 0); }, nullptr, true, {}},
    };
    // clang-format on
    for (const ForgedCase& forged : cases) {
        SCOPED_TRACE(forged.name);
        TARNIOEltImplementation& source = Element(forged.type, forged.isize);
        source.type.SetUnit(nullptr);
        source.type.SetName(nullptr);
        forged.fill(source);
        Bytes block = Serialized(source);
        forged.forge(block);

        TARNIOEltImplementation existing;
        TARNIOEltImplementation* reader = &existing;
        if (!forged.allocate) {
            reader = &Element(forged.type, forged.isize);
            forged.fill(*reader);
            if (forged.spoil) forged.spoil(*reader);
        }
        const State before = StateOf(*reader);
        // The trusting form checks every length as well: only the reads past the end of a
        // block of unknown length are its caller's.
        const bool knownLength = forged.reports != std::vector<std::string>{kShortBlock};
        for (bool sized : {true, false}) {
            if (!sized && !knownLength) continue;
            SCOPED_TRACE(sized ? "sized" : "trusting");
            recorder.ClearReports();
            const unsigned int result = sized
                                            ? reader->Deserialize(block.data(), block.size(), forged.allocate)
                                            : reader->Deserialize(block.data(), forged.allocate);
            EXPECT_EQ(result, kFailure);
            EXPECT_EQ(ReportTexts(), forged.reports);
            EXPECT_EQ(StateOf(*reader), before);
        }
    }
}

TEST_F(SerializationTest, ANullSourceOrAnElementWithoutBufferIsRefused) {
    TARNIOEltImplementation element;
    EXPECT_EQ(element.Deserialize(nullptr, true), kFailure);
    TARNIOEltImplementation& source = Element(TARNTypeInfo::Integer32, 4);
    FillPlain(source);
    const Bytes block = Serialized(source);
    EXPECT_EQ(element.Deserialize(const_cast<unsigned char*>(block.data()), false), kFailure);
    EXPECT_EQ(element.data, nullptr);
    EXPECT_EQ(ReportTexts(),
              (std::vector<std::string>{
                  "TARNIOElt deserialization impossible : source pointer is NULL",
                  "TARNIOElt deserialization impossible : destination is not allocated properly.",
              }));
}

TEST_F(SerializationTest, TheStoredPayloadSizeIsReadBehindTheElement) {
    EXPECT_EQ(TARNIOElt::SerializedIOEltSizeInBytes(nullptr), -1);
    // An element followed by its payload, as the record base keeps its copies.
    struct alignas(8) Stored {
        TARNIOEltImplementation element;
        _IplImage image;
    };
    auto stored = std::make_unique<Stored>();
    stored->element.type.type = TARNTypeInfo::IplImage;
    stored->image = TARN::IplImageModel(4, 4, "GRAY", 0, 8, 4);
    EXPECT_EQ(TARNIOElt::SerializedIOEltSizeInBytes(&stored->element), 144);
    stored->image.imageData = reinterpret_cast<char*>(1);
    EXPECT_EQ(TARNIOElt::SerializedIOEltSizeInBytes(&stored->element), 160);

    stored->element.type.type = TARNTypeInfo::Integer16;
    stored->element.vectorSize = 5;
    EXPECT_EQ(TARNIOElt::SerializedIOEltSizeInBytes(&stored->element), 10);
    stored->element.type.type = TARNTypeInfo::CustomType;
    EXPECT_EQ(TARNIOElt::SerializedIOEltSizeInBytes(&stored->element), -1);

    EXPECT_TRUE(TARNIOElt::IsDeserializable(nullptr));
    EXPECT_EQ(Reports(),
              (std::vector<HostReport>{
                  {"TARNIOElt::IsDeserializable not implemented yet. Returns always true.", 2, 0, false}}));
}
