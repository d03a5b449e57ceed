#include "tarn/runtime/ipl_image.hpp"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>

namespace {

// The header as the engine lays it out, written byte by byte at the published offsets
// without going through the struct, so a wrong field order, width or padding shows.
class ExpectedHeader {
  public:
    ExpectedHeader() { bytes_.fill(0); }
    void Int(int offset, int64_t value) {
        const auto v = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void Code(int offset, const std::string& code) {
        for (size_t i = 0; i < code.size(); ++i) bytes_[offset + i] = static_cast<uint8_t>(code[i]);
    }
    const uint8_t* data() const { return bytes_.data(); }

  private:
    std::array<uint8_t, 144> bytes_;
};

struct ModelCase {
    const char* name;
    // Arguments.
    int width, height;
    const char* code;
    unsigned dataOrder, depth, align;
    // Expected fields.
    int nChannels, alphaChannel;
    const char* colorModel;
    const char* channelSeq;
    int widthStep, imageSize;
};

const ModelCase kModelCases[] = {
    {"Bgr640x480", 640, 480, "BGR", 0, 8, 4, 3, 0, "RGB", "BGR", 1920, 921600},
    {"Bgra", 5, 2, "BGRA", 0, 8, 4, 4, 3, "RGBA", "BGRA", 20, 40},
    {"LowerCaseBgra", 5, 2, "bgra", 0, 8, 4, 4, 3, "RGBA", "BGRA", 20, 40},
    {"GrayRowPaddedToAlign", 3, 1, "GRAY", 0, 8, 4, 1, 0, "GRAY", "GRAY", 4, 4},
    {"GKeepsItsCodeAsColorModel", 3, 1, "g", 0, 8, 1, 1, 0, "G", "GRAY", 3, 3},
    {"Planar16Bit", 10, 2, "RGB", 1, 16, 8, 3, 0, "RGB", "RGB", 24, 144},
    {"SignedDepthCountsItsBits", 4, 1, "GRAY", 0, 0x80000010u, 1, 1, 0, "GRAY", "GRAY", 8, 8},
    {"OtherCodeWithAlpha", 2, 2, "YUVA", 0, 8, 1, 4, 3, "YUVA", "YUVA", 8, 16},
    {"OtherCodeWithoutAlpha", 2, 2, "yuv", 0, 8, 1, 3, 0, "YUV", "YUV", 6, 12},
    {"OnlyFourCharactersTaken", 1, 1, "BGRAX", 0, 8, 1, 4, 3, "RGBA", "BGRA", 4, 4},
    {"PackedTwelveBitsRoundUp", 3, 1, "GRAY", 0, 12, 1, 1, 0, "GRAY", "GRAY", 5, 5},
    {"EmptyImage", 0, 0, "BGR", 0, 8, 4, 3, 0, "RGB", "BGR", 0, 0},
    {"LargestAcceptedImage", INT_MAX, 1, "GRAY", 0, 8, 1, 1, 0, "GRAY", "GRAY", INT_MAX, INT_MAX},
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << c.name;
}

class IplImageModelTest : public ::testing::TestWithParam<ModelCase> {};

TEST_P(IplImageModelTest, HeaderMatchesPublishedLayoutByteForByte) {
    const ModelCase& c = GetParam();
    ExpectedHeader expected;
    expected.Int(0, 144);
    expected.Int(4, 0);
    expected.Int(8, c.nChannels);
    expected.Int(12, c.alphaChannel);
    expected.Int(16, c.depth);
    expected.Code(20, c.colorModel);
    expected.Code(24, c.channelSeq);
    expected.Int(28, c.dataOrder);
    expected.Int(32, 0);
    expected.Int(36, c.align);
    expected.Int(40, c.width);
    expected.Int(44, c.height);
    // roi, maskROI, imageId, tileInfo: null (48 to 80).
    expected.Int(80, c.imageSize);
    // imageData: null (88).
    expected.Int(96, c.widthStep);
    for (int i = 0; i < 4; ++i) expected.Int(100 + 4 * i, 1);  // BorderMode
    // BorderConst (116) zero, imageDataOrigin (136) null, padding zero.

    const _IplImage image = TARN::IplImageModel(c.width, c.height, c.code, c.dataOrder, c.depth, c.align);
    EXPECT_EQ(0, std::memcmp(expected.data(), &image, 144))
        << "nChannels " << image.nChannels << " widthStep " << image.widthStep << " imageSize "
        << image.imageSize;
}

TEST_P(IplImageModelTest, PackedCodeFormGivesTheSameHeader) {
    const ModelCase& c = GetParam();
    unsigned code = 0;
    for (int i = 0; i < 4 && c.code[i] != 0; ++i) code |= static_cast<unsigned char>(c.code[i]) << (8 * i);
    const _IplImage fromText = TARN::IplImageModel(c.width, c.height, c.code, c.dataOrder, c.depth, c.align);
    const _IplImage fromCode = TARN::IplImageModel(c.width, c.height, code, c.dataOrder, c.depth, c.align);
    EXPECT_EQ(0, std::memcmp(&fromText, &fromCode, sizeof(_IplImage)));
}

INSTANTIATE_TEST_SUITE_P(Cases, IplImageModelTest, ::testing::ValuesIn(kModelCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IplImageModel, NullTextIsTheEmptyCode) {
    const _IplImage image = TARN::IplImageModel(2, 1, static_cast<const char*>(nullptr), 0, 8, 1);
    EXPECT_EQ(3, image.nChannels);
    EXPECT_EQ(0, std::memcmp(image.colorModel, "\0\0\0\0", 4));
    EXPECT_EQ(6, image.widthStep);
}

struct RefusedCase {
    const char* name;
    int width, height;
    const char* code;
    unsigned dataOrder, depth, align;
};

// Each would divide by zero, wrap a 32-bit size or overflow 64 bits if computed.
const RefusedCase kRefusedCases[] = {
    {"AlignZero", 640, 480, "BGR", 0, 8, 0},
    {"NegativeWidth", -1, 480, "BGR", 0, 8, 4},
    {"NegativeHeight", 640, -1, "BGR", 0, 8, 4},
    {"AlignAboveIntMax", 1, 1, "GRAY", 0, 8, 0x80000000u},
    {"RowAboveIntMax", INT_MAX, 1, "BGR", 0, 8, 1},
    {"RowStepAboveIntMaxAfterAlign", INT_MAX, 1, "GRAY", 0, 8, 2},
    {"RowBitsOverflow64Bits", INT_MAX, 1, "BGRA", 0, 0x7FFFFFFFu, 1},
    {"ImageSizeAboveIntMax", 10000, 100000, "BGR", 0, 8, 4},
    {"PlanarImageSizeAboveIntMax", 30000, 30000, "BGR", 1, 8, 4},
    {"ImageSizeOverflows64Bits", INT_MAX, INT_MAX, "GRAY", 1, 8, 1},
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class IplImageModelRefusalTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(IplImageModelRefusalTest, ThrowsInvalidArgument) {
    const RefusedCase& c = GetParam();
    EXPECT_THROW(TARN::IplImageModel(c.width, c.height, c.code, c.dataOrder, c.depth, c.align),
                 std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Cases, IplImageModelRefusalTest, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IplImageCheck, ComparesColourModelChannelSequenceAndSize) {
    _IplImage bgr = TARN::IplImageModel(8, 4, "BGR", 0, 8, 4);
    _IplImage bgrOtherLayout = TARN::IplImageModel(8, 4, "BGR", 1, 16, 8);
    _IplImage rgb = TARN::IplImageModel(8, 4, "RGB", 0, 8, 4);  // same colour model, other sequence
    _IplImage wider = TARN::IplImageModel(9, 4, "BGR", 0, 8, 4);
    _IplImage taller = TARN::IplImageModel(8, 5, "BGR", 0, 8, 4);
    _IplImage gray = TARN::IplImageModel(8, 4, "GRAY", 0, 8, 4);
    _IplImage g = TARN::IplImageModel(8, 4, "G", 0, 8, 4);  // channel sequence GRAY, model "G"

    EXPECT_TRUE(TARN::IplImageCheck(bgr, bgrOtherLayout));
    EXPECT_FALSE(TARN::IplImageCheck(bgr, rgb));
    EXPECT_FALSE(TARN::IplImageCheck(bgr, wider));
    EXPECT_FALSE(TARN::IplImageCheck(bgr, taller));
    EXPECT_FALSE(TARN::IplImageCheck(gray, g));
}

}  // namespace
