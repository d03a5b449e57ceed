// Output buffers: one block per output, sliced per ring element and laid out by element
// type, with the exact reports of every refusal and allocation failure.
#include "dataflow/output_buffers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataflow/io_element_implementation.hpp"
#include "module_fixture.hpp"
#include "tarn/runtime/memory.hpp"

namespace {

// The allocator the tests hand to the buffers: it records each request and fails on demand;
// what it gives is filled with 0xA5 so that zeroing shows.
enum class Failing { No, BadAlloc, StdException, Text, NullText, Integer, Other, Null };
Failing failing = Failing::No;
std::vector<unsigned long> requests;

void* TestAllocator(unsigned long bytes) {
    requests.push_back(bytes);
    switch (failing) {
        case Failing::No:
            break;
        case Failing::BadAlloc:
            throw std::bad_alloc();
        case Failing::StdException:
            throw std::runtime_error("disk on fire");
        case Failing::Text:
            throw "gone";
        case Failing::NullText:
            throw static_cast<const char*>(nullptr);
        case Failing::Integer:
            throw 7;
        case Failing::Other:
            throw 2.5;
        case Failing::Null:
            return nullptr;
    }
    void* block = TARN::AllocSharedMemory(bytes);
    std::memset(block, 0xA5, bytes);
    return block;
}

bool AllBytes(const void* at, unsigned long count, unsigned char value) {
    const auto* bytes = static_cast<const unsigned char*>(at);
    for (unsigned long i = 0; i < count; ++i)
        if (bytes[i] != value) return false;
    return true;
}

constexpr int kUntouched = 77;
constexpr const char* kAlreadyInitialized =
    "Output buffer already initialized. Can't initialize an output buffer twice.";

class OutputBuffersTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        failing = Failing::No;
        requests.clear();
        Ring(2);
    }

    // A ring of `n` elements, each carrying values the allocation must reset or keep.
    void Ring(int n) {
        owned.clear();
        ring.clear();
        for (int i = 0; i < n; ++i) {
            owned.push_back(std::make_unique<TARNIOEltImplementation>());
            TARNIOEltImplementation& element = *owned.back();
            element.vectorSize = kUntouched;
            element.bufferSize = 5;
            element.frequency = 6;
            element.quality = 7;
            element.misc1 = element.misc2 = element.misc3 = 8;
            element.type.type = TARNTypeInfo::CustomType;
            ring.push_back(&element);
        }
    }

    TARNOutputBufferTarget Target() { return {type, "cam.out", "out", ring}; }
    // Slices lie at the element size rounded up to a multiple of 8.
    static unsigned long Stride(unsigned long bytes) { return (bytes + 7) / 8 * 8; }
    unsigned char* Slice(int i, unsigned long bytes) { return buffers.Block() + i * Stride(bytes); }
    // The elements as the allocation left them, to show that a refusal changed nothing.
    std::vector<std::vector<long>> Snapshot() const {
        std::vector<std::vector<long>> fields;
        for (const TARNIOEltImplementation* element : ring)
            fields.push_back({reinterpret_cast<long>(element->data), element->bufferSize, element->vectorSize,
                              element->frequency, element->quality, static_cast<long>(element->type.type)});
        return fields;
    }

    TARNTypeInfo type;
    TARNOutputBuffers buffers{&TestAllocator};
    std::vector<std::unique_ptr<TARNIOEltImplementation>> owned;
    std::vector<TARNIOEltImplementation*> ring;
};

// One row of the allocation table, allocated with isize 3 on a ring of two.
struct Row {
    const char* name;
    unsigned long type;
    unsigned long bytes;
    int count;
    bool reports;
    int vectorSize;
    // What else the row presets, checked on element i at `at`.
    std::function<void(TARNIOEltImplementation&, unsigned char* at, int i)> preset;
};

void Zeroed(TARNIOEltImplementation&, unsigned char* at, unsigned long bytes) {
    EXPECT_TRUE(AllBytes(at, bytes, 0));
}

std::vector<Row> Rows() {
    using T = TARNTypeInfo;
    auto zeroed = [](unsigned long bytes) {
        return [bytes](TARNIOEltImplementation& e, unsigned char* at, int) { Zeroed(e, at, bytes); };
    };
    auto raw = [](TARNIOEltImplementation&, unsigned char* at, int) { EXPECT_TRUE(AllBytes(at, 3, 0xA5)); };
    return {
        {"Integer8", T::Integer8, 3, 3, true, 3, zeroed(3)},
        {"Integer16", T::Integer16, 6, 3, true, 3, zeroed(6)},
        {"Integer32", T::Integer32, 12, 3, true, 3, zeroed(12)},
        {"Integer64", T::Integer64, 24, 3, true, 3, zeroed(24)},
        {"UnsignedInteger8", T::UnsignedInteger8, 3, 3, true, 3, zeroed(3)},
        {"UnsignedInteger16", T::UnsignedInteger16, 6, 3, true, 3, zeroed(6)},
        {"UnsignedInteger32", T::UnsignedInteger32, 12, 3, true, 3, zeroed(12)},
        {"UnsignedInteger64", T::UnsignedInteger64, 24, 3, true, 3, zeroed(24)},
        {"Float32", T::Float32, 12, 3, true, 3, zeroed(12)},
        {"Double", T::Double, 24, 3, true, 3, zeroed(24)},
        {"TextUTF8", T::TextUTF8, 3, 3, false, kUntouched, zeroed(3)},
        {"TextUTF16", T::TextUTF16, 6, 3, false, kUntouched, zeroed(6)},
        {"CANFrame", T::CANFrame, 72, 3, true, 3, zeroed(72)},
        {"CANFDFrame", T::CANFDFrame, 240, 3, true, 3, zeroed(240)},
        {"CANUniFrame", T::CANUniFrame, 288, 3, true, 3, zeroed(288)},
        {"Matrix", T::Matrix, 88, 3, false, kUntouched,
         [](TARNIOEltImplementation& e, unsigned char* at, int) {
             const TARNMatrix* matrix = e.Matrix();
             EXPECT_EQ(matrix->rows, 0);
             EXPECT_EQ(matrix->cols, 0);
             EXPECT_FALSE(matrix->owns);
             EXPECT_EQ(reinterpret_cast<unsigned char*>(matrix->real), at + 40);
             EXPECT_EQ(reinterpret_cast<unsigned char*>(matrix->imag), at + 64);
             EXPECT_TRUE(AllBytes(at + 40, 48, 0));
         }},
        {"IplImage", T::IplImage, 167, -1, false, kUntouched,
         [](TARNIOEltImplementation& e, unsigned char* at, int) {
             const _IplImage* image = e.IplImage();
             EXPECT_EQ(std::string(image->colorModel, 4), "????");
             EXPECT_EQ(std::string(image->channelSeq, 4), "????");
             EXPECT_EQ(image->nSize, 0);
             EXPECT_EQ(image->imageSize, 0);
             EXPECT_EQ(image->imageDataOrigin, nullptr);
             EXPECT_EQ(reinterpret_cast<unsigned char*>(image->roi), at + 144);
             EXPECT_TRUE(AllBytes(image->roi, 20, 0));
             EXPECT_EQ(reinterpret_cast<unsigned char*>(image->imageData), at + 164);
         }},
        {"TARNImage", T::TARNImage, 51, -1, false, kUntouched,
         [](TARNIOEltImplementation& e, unsigned char* at, int) {
             const TARNImage* image = e.TARNImage();
             EXPECT_EQ(image->width | image->height | image->size, 0);
             EXPECT_EQ(image->bufferSize, 3);
             EXPECT_EQ(image->elementIndex, 0);
             EXPECT_EQ(image->data, at + 48);
             EXPECT_EQ(image->coding, 0x3F3F3F3Fu);
         }},
        {"RealObjects", T::RealObjects, 960, 3, true, 3, zeroed(960)},
        {"DrawingObjects", T::DrawingObjects, 288, 3, true, 3, zeroed(288)},
        {"Triangles3D", T::Triangles3D, 216, 3, false, 3,
         [](TARNIOEltImplementation& e, unsigned char* at, int) {
             const TARNTriangles3D* triangles = e.Triangles3D();
             EXPECT_EQ(triangles->firstCount | triangles->secondCount | triangles->thirdCount, 0);
             EXPECT_EQ(triangles->first, at + 48);
             EXPECT_EQ(triangles->second, at + 48 + 24 * 3);
             EXPECT_EQ(triangles->third, at + 48 + 40 * 3);
         }},
        // The streams share their bits with the unsigned integers and take their row.
        {"Stream8", T::Stream8, 3, 3, true, 3, zeroed(3)},
        {"Stream32", T::Stream32, 12, 3, true, 3, zeroed(12)},
        {"AudioSignal", T::AudioSignal, 27, -1, false, kUntouched,
         [](TARNIOEltImplementation& e, unsigned char* at, int) {
             const TARNAudioSignal* signal = e.AudioSignal();
             EXPECT_EQ(signal->words[0] | signal->words[1] | signal->words[2], 0);
             EXPECT_EQ(signal->dataSize, 3);
             EXPECT_EQ(signal->data, at + 24);
         }},
        {"Structure", T::Structure, 3, 3, false, 3, raw},
        {"CustomType", T::CustomType, 3, 3, false, 3, raw},
        {"no kind", 0, 3, 3, false, 3, raw},
    };
}

}  // namespace

TEST_F(OutputBuffersTest, EveryRowAllocatesOneBlockSlicedPerElementAndPresetsIt) {
    kernel.SetCheckLevel(1);  // the presets are read through the checked accessors
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        Ring(2);
        requests.clear();
        recorder.ClearReports();
        buffers.FreeBuffer();
        type = TARNTypeInfo(row.type, "kind", "unit");

        buffers.AllocOutputBuffer(Target(), 3, true);

        ASSERT_EQ(requests, (std::vector<unsigned long>{2 * Stride(row.bytes)}));
        EXPECT_EQ(buffers.ElementSize(), static_cast<int>(row.bytes));
        EXPECT_EQ(buffers.ElementCount(), row.count);
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            TARNIOEltImplementation& element = *ring[i];
            EXPECT_EQ(element.data, Slice(i, row.bytes));
            EXPECT_EQ(element.bufferSize, 3);
            EXPECT_EQ(element.vectorSize, row.vectorSize);
            EXPECT_EQ(element.frequency | element.quality | element.misc1 | element.misc2 | element.misc3, 0);
            EXPECT_EQ(element.type.type, row.type);
            EXPECT_STREQ(element.type.typeName->c_str(), "kind");
            EXPECT_STREQ(element.type.unit->c_str(), "unit");
            // Whatever the element's type says of its buffer, the slice holds it.
            if (row.type != TARNTypeInfo::CustomType) {
                EXPECT_LE(element.IOEltBufferSizeInBytes(nullptr), row.bytes);
            }
            row.preset(element, Slice(i, row.bytes), i);
        }
        if (row.reports) {
            EXPECT_EQ(Reports(),
                      (std::vector<HostReport>{
                          {"Output out is a vector but its vector flag is not set.", 2, 0, true}}));
        } else {
            EXPECT_TRUE(Reports().empty());
        }
    }
}

TEST_F(OutputBuffersTest, TheVectorFlagOrASingleItemSilencesTheReport) {
    type = TARNTypeInfo(TARNTypeInfo::Float32 | TARNTypeInfo::Vector);
    buffers.AllocOutputBuffer(Target(), 4, true);
    EXPECT_EQ(buffers.ElementSize(), 16);
    EXPECT_EQ(ring[1]->vectorSize, 4);
    buffers.FreeBuffer();
    type = TARNTypeInfo(TARNTypeInfo::Float32);
    buffers.AllocOutputBuffer(Target(), 1, true);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(OutputBuffersTest, BelowTheMinimumTheElementsAreResetAndTheOutputStaysWithoutBuffers) {
    type = TARNTypeInfo(TARNTypeInfo::IplImage);
    buffers.AllocOutputBuffer(Target(), 1, true);
    EXPECT_EQ(buffers.ElementCount(), 0);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(ring[0]->bufferSize, 0);
    EXPECT_EQ(ring[0]->type.type, TARNTypeInfo::IplImage);

    // So the component can set the buffers up itself, once.
    buffers.AllocOutputBufferIplImage(Target(), TARN::IplImageModel(4, 2, "GRAY", 0, 8, 4), false);
    EXPECT_EQ(buffers.ElementCount(), -1);
    EXPECT_EQ(ThrownCode([&] {
                  buffers.AllocOutputBufferIplImage(Target(), TARN::IplImageModel(4, 2, "GRAY", 0, 8, 4),
                                                    false);
              }),
              -5);
    EXPECT_EQ(Reports(), (std::vector<HostReport>{{kAlreadyInitialized, 2, 2, true}}));

    buffers.FreeBuffer();
    type = TARNTypeInfo(TARNTypeInfo::Integer32);
    buffers.AllocOutputBuffer(Target(), 0, true);
    EXPECT_EQ(buffers.ElementCount(), 0);
    buffers.AllocOutputBuffer(Target(), 8, true);
    EXPECT_EQ(buffers.ElementCount(), 8);
}

TEST_F(OutputBuffersTest, WithoutAllocatingOnlyTheSizesAreRecorded) {
    type = TARNTypeInfo(TARNTypeInfo::Double | TARNTypeInfo::Vector);
    buffers.AllocOutputBuffer(Target(), 6, false);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(buffers.Block(), nullptr);
    EXPECT_EQ(buffers.ElementCount(), 6);
    EXPECT_EQ(buffers.ElementSize(), 48);
    for (TARNIOEltImplementation* element : ring) {
        EXPECT_EQ(element->data, nullptr);
        EXPECT_EQ(element->bufferSize, 6);
        EXPECT_EQ(element->vectorSize, kUntouched);
    }
}

TEST_F(OutputBuffersTest, EveryOperationRefusesAnOutputThatHasBuffersAndChangesNothing) {
    type = TARNTypeInfo(TARNTypeInfo::Integer32 | TARNTypeInfo::Vector);
    buffers.AllocOutputBuffer(Target(), 4, true);
    const auto before = Snapshot();
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"AllocOutputBuffer", [&] { buffers.AllocOutputBuffer(Target(), 4, true); }},
        {"AllocOutputBufferMatrix", [&] { buffers.AllocOutputBufferMatrix(Target(), 2, 2); }},
        {"AllocOutputBufferIplImage",
         [&] {
             buffers.AllocOutputBufferIplImage(Target(), TARN::IplImageModel(2, 2, "G", 0, 8, 4), false);
         }},
        {"AllocOutputBufferImage", [&] { buffers.AllocOutputBufferImage(Target(), 8, 2, 2, 0, 0, false); }},
        {"AllocOutputBufferAudioSignal",
         [&] {
             buffers.AllocOutputBufferAudioSignal(Target(), TARNAudioSignal{{0, 0, 0}, 8, nullptr});
         }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        recorder.ClearReports();
        EXPECT_EQ(ThrownCode(operation), -5);
        const int parameter = std::string(name) == "AllocOutputBuffer" ? 1 : 2;
        EXPECT_EQ(Reports(), (std::vector<HostReport>{{kAlreadyInitialized, 2, parameter, true}}));
        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(requests.size(), 1u);
    }
}

TEST_F(OutputBuffersTest, BadArgumentsAreRefusedBeforeAnyChange) {
    type = TARNTypeInfo(TARNTypeInfo::RealObjects | TARNTypeInfo::Vector);
    _IplImage model = TARN::IplImageModel(4, 4, "GRAY", 0, 8, 4);
    auto withAlign = [model](int align) {
        _IplImage changed = model;
        changed.align = align;
        return changed;
    };
    auto withImageSize = [model](int imageSize) {
        _IplImage changed = model;
        changed.imageSize = imageSize;
        return changed;
    };
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"AllocOutputBuffer:150: isize [-1] < 0", [&] { buffers.AllocOutputBuffer(Target(), -1, true); }},
        {"AllocOutputBufferMatrix:445: m [-2] < 0",
         [&] { buffers.AllocOutputBufferMatrix(Target(), -2, -3); }},
        {"AllocOutputBufferMatrix:446: n [-3] < 0",
         [&] { buffers.AllocOutputBufferMatrix(Target(), 2, -3); }},
        {"AllocOutputBufferIplImage:546: model.imageSize [-1] < 0",
         [&] { buffers.AllocOutputBufferIplImage(Target(), withImageSize(-1), false); }},
        {"AllocOutputBufferImage:582: isize [-1] < 0",
         [&] { buffers.AllocOutputBufferImage(Target(), -1, -1, -1, 0, 0, false); }},
        {"AllocOutputBufferImage:584: w [-1] < 0",
         [&] { buffers.AllocOutputBufferImage(Target(), 8, -1, -1, 0, 0, false); }},
        {"AllocOutputBufferImage:585: h [-1] < 0",
         [&] { buffers.AllocOutputBufferImage(Target(), 8, 1, -1, 0, 0, false); }},
        // No row alignment, no aligned pixels.
        {"AllocOutputBufferIplImage:547: model.align [0] < 1",
         [&] { buffers.AllocOutputBufferIplImage(Target(), withAlign(0), false); }},
        {"AllocOutputBufferIplImage:547: model.align [-8] < 1",
         [&] { buffers.AllocOutputBufferIplImage(Target(), withAlign(-8), true); }},
        // Element buffers and counts beyond the 32-bit sizes of elements and outputs.
        {"AllocOutputBuffer:151: element buffer bytes [3200000000] > 2147483647",
         [&] { buffers.AllocOutputBuffer(Target(), 10'000'000, true); }},
        {"AllocOutputBufferMatrix:448: 16 x m x n + 40 [6400000040] > 2147483647",
         [&] { buffers.AllocOutputBufferMatrix(Target(), 20'000, 20'000); }},
        {"AllocOutputBufferMatrix:447: m x n [4611686014132420609] > 2147483647",
         [&] { buffers.AllocOutputBufferMatrix(Target(), INT32_MAX, INT32_MAX); }},
        {"AllocOutputBufferIplImage:548: model.align + model.imageSize + 164 [2147483811] > 2147483647",
         [&] { buffers.AllocOutputBufferIplImage(Target(), withAlign(INT32_MAX - 16), true); }},
        {"AllocOutputBufferImage:586: isize + 48 [2147483695] > 2147483647",
         [&] { buffers.AllocOutputBufferImage(Target(), INT32_MAX, 1, 1, 0, 0, true); }},
        {"AllocOutputBufferAudioSignal:620: model.dataSize + 24 [4294967319] > 2147483647",
         [&] {
             buffers.AllocOutputBufferAudioSignal(Target(), TARNAudioSignal{{0, 0, 0}, -1, nullptr});
         }},
    };
    const auto before = Snapshot();
    for (const auto& [message, operation] : cases) {
        SCOPED_TRACE(message);
        recorder.ClearReports();
        EXPECT_EQ(ThrownCode(operation), -5);
        EXPECT_EQ(Reports(), (std::vector<HostReport>{{message, 2, 2, true}}));
        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(buffers.ElementCount(), 0);
        EXPECT_TRUE(requests.empty());
    }
}

class ImageAlignmentTest : public OutputBuffersTest, public ::testing::WithParamInterface<int> {};

// The origin lies 164 bytes into a slice on a multiple of 8: always on a multiple of 1 and 4
// (the pixels then move a whole alignment on), never on one of 8, 16 or 64.
TEST_P(ImageAlignmentTest, ImagePixelsStartOnTheNextMultipleOfTheAlignmentAfterTheOrigin) {
    const int align = GetParam();
    type = TARNTypeInfo(TARNTypeInfo::IplImage, "ipl");
    Ring(3);
    const _IplImage model = TARN::IplImageModel(5, 3, "BGR", 0, 8, static_cast<unsigned int>(align));
    buffers.AllocOutputBufferIplImage(Target(), model, false);

    const unsigned long bytes = static_cast<unsigned long>(align) + 164 + static_cast<unsigned long>(model.imageSize);
    EXPECT_EQ(requests, (std::vector<unsigned long>{3 * Stride(bytes)}));
    EXPECT_EQ(buffers.ElementSize(), static_cast<int>(bytes));
    EXPECT_EQ(buffers.ElementCount(), -1);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TARNIOEltImplementation& element = *ring[i];
        unsigned char* at = Slice(i, bytes);
        const _IplImage* image = element.IplImage();
        EXPECT_EQ(element.data, at);
        EXPECT_EQ(element.bufferSize, model.imageSize);
        EXPECT_EQ(element.type.type, TARNTypeInfo::IplImage);
        EXPECT_EQ(image->width, 5);
        EXPECT_EQ(image->widthStep, model.widthStep);
        EXPECT_EQ(image->align, align);
        EXPECT_EQ(std::memcmp(image->channelSeq, "BGR", 3), 0);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(image->roi), at + 144);
        EXPECT_EQ(image->roi->coi | image->roi->xOffset | image->roi->yOffset, 0);
        EXPECT_EQ(image->roi->width, 5);
        EXPECT_EQ(image->roi->height, 3);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(image->imageDataOrigin), at + 164);
        const auto origin = reinterpret_cast<std::uintptr_t>(image->imageDataOrigin);
        const auto pixels = reinterpret_cast<std::uintptr_t>(image->imageData);
        const bool originAligned = origin % static_cast<std::uintptr_t>(align) == 0;
        EXPECT_EQ(originAligned, align <= 4);
        // 1 to align bytes on, onto a multiple of align: a whole align from an aligned origin.
        EXPECT_EQ(pixels % static_cast<std::uintptr_t>(align), 0u);
        if (originAligned)
            EXPECT_EQ(pixels, origin + static_cast<std::uintptr_t>(align));
        else
            EXPECT_LT(pixels - origin, static_cast<std::uintptr_t>(align));
        EXPECT_GT(pixels, origin);
        // The last pixel stays inside the slice.
        EXPECT_LE(pixels + static_cast<std::uintptr_t>(model.imageSize), reinterpret_cast<std::uintptr_t>(at + bytes));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(at) % 8, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Aligns, ImageAlignmentTest, ::testing::Values(1, 4, 8, 16, 64));

TEST_F(OutputBuffersTest, HeaderOnlyBuffersHaveNoDataButReportTheFullSize) {
    const _IplImage model = TARN::IplImageModel(4, 4, "GRAY", 0, 8, 4);
    type = TARNTypeInfo(TARNTypeInfo::IplImage);
    buffers.AllocOutputBufferIplImage(Target(), model, true);
    EXPECT_EQ(requests, (std::vector<unsigned long>{2 * 168}));
    EXPECT_EQ(buffers.ElementSize(), 4 + 16 + 164);
    EXPECT_EQ(ring[1]->data, Slice(1, 164));
    EXPECT_EQ(ring[1]->bufferSize, 16);
    EXPECT_EQ(ring[1]->IplImage()->imageData, nullptr);

    buffers.FreeBuffer();
    requests.clear();
    type = TARNTypeInfo(TARNTypeInfo::TARNImage);
    buffers.AllocOutputBufferImage(Target(), 1000, 20, 50, 0x30303859, 9, true);
    EXPECT_EQ(requests, (std::vector<unsigned long>{2 * 48}));
    EXPECT_EQ(buffers.ElementSize(), 1048);
    EXPECT_EQ(buffers.ElementCount(), -1);
    const TARNImage* image = ring[1]->TARNImage();
    EXPECT_EQ(ring[1]->data, Slice(1, 48));
    EXPECT_EQ(image->data, nullptr);
    EXPECT_EQ(image->elementIndex, 1);
}

TEST_F(OutputBuffersTest, EngineImagesMatricesAndAudioSignalsGetTheirHeaders) {
    type = TARNTypeInfo(TARNTypeInfo::TARNImage);
    buffers.AllocOutputBufferImage(Target(), 100, 10, 5, 0x30303859, 9, false);
    for (int i = 0; i < 2; ++i) {
        const TARNImage& image = *ring[i]->TARNImage();
        EXPECT_EQ(ring[i]->data, Slice(i, 148));
        EXPECT_EQ(ring[i]->bufferSize, 100);
        EXPECT_EQ(image.width, 10);
        EXPECT_EQ(image.height, 5);
        EXPECT_EQ(image.size, 100);
        EXPECT_EQ(image.bufferSize, 100);
        EXPECT_EQ(image.elementIndex, i);
        EXPECT_EQ(image.marker, 57005u);
        EXPECT_EQ(image.data, Slice(i, 148) + 48);
        EXPECT_EQ(image.coding, 0x30303859u);
        EXPECT_EQ(image.extra, 9u);
    }

    buffers.FreeBuffer();
    type = TARNTypeInfo(TARNTypeInfo::Matrix);
    buffers.AllocOutputBufferMatrix(Target(), 3, 2);
    EXPECT_EQ(buffers.ElementSize(), 136);
    EXPECT_EQ(buffers.ElementCount(), 6);
    for (int i = 0; i < 2; ++i) {
        const TARNMatrix& matrix = *ring[i]->Matrix();
        EXPECT_EQ(ring[i]->bufferSize, 6);
        EXPECT_EQ(matrix.rows, 3);
        EXPECT_EQ(matrix.cols, 2);
        EXPECT_FALSE(matrix.owns);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(matrix.real), Slice(i, 136) + 40);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(matrix.imag), Slice(i, 136) + 88);
        EXPECT_TRUE(AllBytes(matrix.real, 96, 0));
    }

    buffers.FreeBuffer();
    type = TARNTypeInfo(TARNTypeInfo::AudioSignal);
    buffers.AllocOutputBufferAudioSignal(Target(), TARNAudioSignal{{1, 2, 3}, 10, nullptr});
    EXPECT_EQ(buffers.ElementSize(), 34);
    EXPECT_EQ(buffers.ElementCount(), -1);
    const TARNAudioSignal& signal = *ring[1]->AudioSignal();
    EXPECT_EQ(ring[1]->bufferSize, 10);
    EXPECT_EQ(signal.words[2], 3);
    EXPECT_EQ(signal.dataSize, 10);
    EXPECT_EQ(signal.data, Slice(1, 34) + 24);
}

TEST_F(OutputBuffersTest, AnEmptyMatrixLeavesTheOutputFreeAndItsBlockIsNotLost) {
    type = TARNTypeInfo(TARNTypeInfo::Matrix);
    buffers.AllocOutputBufferMatrix(Target(), 0, 5);
    EXPECT_EQ(buffers.ElementCount(), 0);
    EXPECT_EQ(requests, (std::vector<unsigned long>{2 * 40}));
    // The 0 x 5 block is freed by the next allocation (the leak checker watches).
    buffers.AllocOutputBufferMatrix(Target(), 1, 1);
    EXPECT_EQ(buffers.ElementCount(), 1);
}

TEST_F(OutputBuffersTest, AProductBeyond64BitsIsTooBig) {
    EXPECT_EQ(ThrownCode([&] { buffers.AllocateSharedMemory(1UL << 60, 16, "cam.out"); }), -5);
    EXPECT_EQ(
        ReportTexts(),
        (std::vector<std::string>{
            "AllocateSharedMemory:70: Requested buffer size [1152921504606846976] is too big given the "
            "current FIFO size [16] of output [cam.out]. Please reduce the requested output buffer size "
            "and/or the output FIFO size such that (buffer_size * fifo_size) <= 18446744073709551615 (i.e. "
            "std::numeric_limits<size_t>::max)"}));
    EXPECT_EQ(Reports()[0].parameter, 2);
    EXPECT_EQ(buffers.Block(), nullptr);
    EXPECT_TRUE(requests.empty());

    // A request of nothing is no error.
    buffers.AllocateSharedMemory(0, 16, "cam.out");
    EXPECT_NE(buffers.Block(), nullptr);
}

TEST_F(OutputBuffersTest, EveryAllocationFailureBecomesItsReport) {
    const std::string prefix =
        "Failed to allocate [buffer_size:100 x fifo_size:4 = 400] bytes for output [cam.out";
    const std::vector<std::pair<Failing, std::string>> cases = {
        {Failing::BadAlloc,
         "AllocateSharedMemory:82: " + prefix +
             "] due to: std::bad_alloc: std::bad_alloc. Please reduce the requested output "
             "buffer size and/or the output FIFO size"},
        {Failing::StdException,
         "AllocateSharedMemory:87: " + prefix + "] due to: std::exception: disk on fire"},
        {Failing::Text, "AllocateSharedMemory:92: " + prefix + "] due to: const char*: gone"},
        {Failing::NullText, "AllocateSharedMemory:92: " + prefix + "] due to: const char*: NULL"},
        {Failing::Integer, "AllocateSharedMemory:97: " + prefix + "] due to: int: 7"},
        {Failing::Other, "AllocateSharedMemory:102: " + prefix + "] due to: an unknown error"},
        {Failing::Null, "AllocateSharedMemory:108: " + prefix + "]"},
    };
    for (const auto& [how, message] : cases) {
        SCOPED_TRACE(message);
        recorder.ClearReports();
        buffers.AllocateSharedMemory(8, 1, "cam.out");  // a block the failure must not leave behind
        failing = how;
        EXPECT_EQ(ThrownCode([&] { buffers.AllocateSharedMemory(100, 4, "cam.out"); }), -5);
        failing = Failing::No;
        EXPECT_EQ(Reports(), (std::vector<HostReport>{{message, 2, 2, true}}));
        EXPECT_EQ(buffers.Block(), nullptr);
    }
}

TEST_F(OutputBuffersTest, OutOfMemoryDuringAllocationIsReportedAndFreeBufferRecovers) {
    type = TARNTypeInfo(TARNTypeInfo::Stream8);
    failing = Failing::BadAlloc;
    EXPECT_EQ(ThrownCode([&] { buffers.AllocOutputBuffer(Target(), 4096, true); }), -5);
    ASSERT_EQ(ReportTexts().size(), 2u);  // the vector-flag report, then the failure
    EXPECT_EQ(
        ReportTexts()[1],
        "AllocateSharedMemory:82: Failed to allocate [buffer_size:4096 x fifo_size:2 = 8192] bytes for "
        "output [cam.out] due to: std::bad_alloc: std::bad_alloc. Please reduce the requested output buffer "
        "size and/or the output FIFO size");
    // The sizes were recorded before the request: the output counts as set up until freed.
    EXPECT_EQ(buffers.ElementCount(), 4096);
    EXPECT_EQ(ThrownCode([&] { buffers.AllocOutputBuffer(Target(), 4096, true); }), -5);
    EXPECT_EQ(ReportTexts().back(), kAlreadyInitialized);

    failing = Failing::No;
    buffers.FreeBuffer();
    EXPECT_EQ(buffers.ElementCount(), 0);
    EXPECT_EQ(buffers.ElementSize(), 0);
    buffers.AllocOutputBuffer(Target(), 4096, true);
    EXPECT_EQ(ring[1]->data, Slice(1, 4096));

    // The other operations count the output as set up only once they succeed.
    buffers.FreeBuffer();
    failing = Failing::BadAlloc;
    type = TARNTypeInfo(TARNTypeInfo::IplImage);
    EXPECT_EQ(ThrownCode([&] {
                  buffers.AllocOutputBufferIplImage(Target(), TARN::IplImageModel(4, 4, "G", 0, 8, 4), false);
              }),
              -5);
    EXPECT_EQ(buffers.ElementCount(), 0);
}

TEST_F(OutputBuffersTest, FreeingLeavesNoElementPointingIntoTheFreedBlock) {
    type = TARNTypeInfo(TARNTypeInfo::Double | TARNTypeInfo::Vector);
    buffers.AllocOutputBuffer(Target(), 4, true);
    ASSERT_NE(ring[1]->data, nullptr);
    buffers.FreeBuffer(ring);
    EXPECT_EQ(ring[0]->data, nullptr);
    EXPECT_EQ(ring[1]->data, nullptr);
    EXPECT_EQ(ring[1]->IOEltUsedSizeInBytes(nullptr), 0u);
    EXPECT_EQ(buffers.ElementCount(), 0);
}

TEST_F(OutputBuffersTest, FreeingAnOutputWithoutBuffersOnlyClearsTheCounts) {
    buffers.FreeBuffer();
    EXPECT_EQ(buffers.ElementCount(), 0);
    EXPECT_EQ(buffers.Block(), nullptr);
    EXPECT_TRUE(Reports().empty());
}
