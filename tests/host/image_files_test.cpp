// Images written for people (PNG) and for programs (raw rows): what a viewer reads back
// from the PNG, the exact bytes of the raw file, and no cut file when a write fails.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image_files.hpp"
#include "support/temp_folder_fixture.hpp"

namespace {

// An interleaved image over `pixels`, rows `step` bytes apart.
_IplImage Image(int width, int height, int channels, int depth, const char* model, const char* sequence, int step,
                std::vector<unsigned char>& pixels) {
    _IplImage image{};
    image.nSize = sizeof image;
    image.nChannels = channels;
    image.depth = depth;
    std::memcpy(image.colorModel, model, std::min<std::size_t>(4, std::strlen(model)));
    std::memcpy(image.channelSeq, sequence, std::min<std::size_t>(4, std::strlen(sequence)));
    image.width = width;
    image.height = height;
    image.widthStep = step;
    image.imageSize = step * height;
    pixels.resize(static_cast<std::size_t>(image.imageSize));
    image.imageData = reinterpret_cast<char*>(pixels.data());
    return image;
}

// What a viewer sees: the file read back through libpng's own reader, as 16-bit grey or
// 8-bit RGB.
struct Decoded {
    png_uint_32 width = 0, height = 0, format = 0;
    std::vector<unsigned char> samples;
};

Decoded ReadPng(const std::string& path, png_uint_32 format) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Decoded decoded;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return decoded;
    image.format = format;
    decoded.samples.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.samples.data(), 0, nullptr)) return decoded;
    decoded.width = image.width;
    decoded.height = image.height;
    return decoded;
}

// The 16-bit grey samples of a file exactly as stored, through libpng's low-level reader
// (the simplified one would convert them).
std::vector<unsigned short> ReadGrey16(const std::string& path) {
    std::vector<unsigned short> samples;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return samples;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_png(png, info, PNG_TRANSFORM_SWAP_ENDIAN, nullptr);
        if (png_get_bit_depth(png, info) == 16 && png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY) {
            png_bytepp rows = png_get_rows(png, info);
            for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y)
                for (png_uint_32 x = 0; x < png_get_image_width(png, info); ++x) {
                    unsigned short sample;
                    std::memcpy(&sample, rows[y] + 2 * x, 2);
                    samples.push_back(sample);
                }
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return samples;
}

class ImageFilesTest : public TempFolderTest {};

TEST_F(ImageFilesTest, GreyImagesKeepTheirSamplesAndTheRowPaddingStaysOut) {
    // 16 bits: 3 x 2 with rows padded to 8 bytes; samples little-endian in memory.
    std::vector<unsigned char> pixels;
    _IplImage image = Image(3, 2, 1, 16, "GRAY", "GRAY", 8, pixels);
    const unsigned short values[2][3] = {{0x0010, 0xABF0, 0xFFFF}, {0x1234, 0x0000, 0x8000}};
    for (int y = 0; y < 2; ++y) {
        std::memcpy(pixels.data() + 8 * y, values[y], 6);
        pixels[8 * y + 6] = pixels[8 * y + 7] = 0xEE;  // padding
    }
    std::string error;
    ASSERT_TRUE(WritePng(Path("grey16.png"), image, error)) << error;
    ASSERT_TRUE(WriteRaw(Path("grey16.raw"), image, error)) << error;

    EXPECT_EQ(ReadGrey16(Path("grey16.png")),
              (std::vector<unsigned short>{0x0010, 0xABF0, 0xFFFF, 0x1234, 0x0000, 0x8000}));

    const std::string raw = Content("grey16.raw");
    ASSERT_EQ(raw.size(), 12u);
    EXPECT_EQ(std::memcmp(raw.data(), values[0], 6), 0);
    EXPECT_EQ(std::memcmp(raw.data() + 6, values[1], 6), 0);
}

TEST_F(ImageFilesTest, ColourIsShownAsRgbWhateverTheOrderOrModel) {
    struct Case {
        const char* name;
        const char* model;
        const char* sequence;
        int depth;
        std::vector<unsigned char> pixel;  // one pixel as stored
        std::vector<unsigned char> rgb;    // what a viewer shows
    };
    const std::vector<Case> cases = {
        {"BGR", "RGB", "BGR", 8, {10, 20, 30}, {30, 20, 10}},
        {"RGB", "RGB", "RGB", 8, {10, 20, 30}, {10, 20, 30}},
        {"YUV grey", "YUV", "YUV", 8, {128, 128, 128}, {128, 128, 128}},
        {"YUV red", "YUV", "YUV", 8, {76, 85, 255}, {254, 0, 0}},
        {"YUV saturates", "YUV", "YUV", 8, {255, 255, 255}, {255, 121, 255}},
        {"YUV 16-bit by its high bytes", "YUV", "YUV", 16, {0x00, 128, 0x00, 128, 0x00, 128}, {128, 128, 128}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> pixels;
        _IplImage image = Image(1, 1, 3, c.depth, c.model, c.sequence, 8, pixels);
        std::memcpy(pixels.data(), c.pixel.data(), c.pixel.size());
        std::string error;
        ASSERT_TRUE(WritePng(Path("colour.png"), image, error)) << error;
        const Decoded decoded = ReadPng(Path("colour.png"), PNG_FORMAT_RGB);
        ASSERT_EQ(decoded.width, 1u);
        EXPECT_EQ(decoded.samples, c.rgb);
    }
}

TEST_F(ImageFilesTest, ImagesThatCannotBeWrittenAreRefusedWithAReason) {
    std::vector<unsigned char> pixels;
    struct Case {
        const char* name;
        _IplImage image;
        const char* path;
        std::string reason;
    };
    const _IplImage good = Image(2, 2, 1, 8, "GRAY", "GRAY", 8, pixels);
    auto with = [&](auto change) {
        _IplImage image = good;
        change(image);
        return image;
    };
    const std::vector<Case> cases = {
        {"no pixels", with([](_IplImage& i) { i.imageData = nullptr; }), "a.png", "the image has no pixels"},
        {"depth 32", with([](_IplImage& i) { i.depth = 32; }), "a.png", "unsupported depth 32 (8 or 16 bits)"},
        {"two channels", with([](_IplImage& i) { i.nChannels = 2; }), "a.png", "unsupported channel count 2 (1 or 3)"},
        {"planar", with([](_IplImage& i) { i.dataOrder = 1; }), "a.png", "planar images are not supported"},
        {"row step below the row", with([](_IplImage& i) { i.widthStep = 1; }), "a.png",
         "the image's row step or size does not hold its rows"},
        {"size below the rows", with([](_IplImage& i) { i.imageSize = 15; }), "a.png",
         "the image's row step or size does not hold its rows"},
        {"missing folder", good, "missing/a.png", "cannot write " + Path("missing/a.png") + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto write : {WritePng, WriteRaw}) {
            std::string error;
            EXPECT_FALSE(write(Path(c.path), c.image, error));
            EXPECT_EQ(error, c.reason);
        }
    }
}

// A write that fails half-way (here at the file-size limit, with SIGXFSZ ignored as tarnhost
// ignores it) leaves no file under the image's name, and an older file of that name whole;
// nothing else is left in the folder. A write that succeeds replaces the older file.
TEST_F(ImageFilesTest, AFailedWriteLeavesNoCutFileAndTheOlderOneWhole) {
    std::vector<unsigned char> pixels;
    _IplImage image = Image(256, 256, 1, 8, "GRAY", "GRAY", 256, pixels);
    // Noise, which no compression makes smaller than the limit.
    unsigned state = 2463534242u;
    for (unsigned char& pixel : pixels) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        pixel = static_cast<unsigned char>(state);
    }
    const std::string older(100, 'o');
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    for (auto write : {WritePng, WriteRaw}) {
        SCOPED_TRACE(write == WritePng ? "png" : "raw");
        MakeFile("image", older);
        rlimit limit = saved;
        limit.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        std::string error;
        const bool written = write(Path("image"), image, error);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_FALSE(written);
        EXPECT_EQ(error, "cannot write " + Path("image") + ": File too large");
        EXPECT_TRUE(Content("image") == older) << "the older file is not whole";
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root), {}), 1) << "a temporary file is left";

        ASSERT_TRUE(write(Path("image"), image, error)) << error;
        EXPECT_GT(Content("image").size(), 4096u);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root), {}), 1);
    }
    sigaction(SIGXFSZ, &previous, nullptr);
}

TEST(ImageNames, FilesAreNumberedAndImagesDescribedInOneLine) {
    EXPECT_EQ(ImageFileName(0, ".png"), "000000.png");
    EXPECT_EQ(ImageFileName(1234567, ".raw"), "1234567.raw");
    std::vector<unsigned char> pixels;
    _IplImage image = Image(2560, 1, 1, 16, "GRAY", "GRAY", 5120, pixels);
    EXPECT_EQ(DescribeImage(3, image, 33333), "image 3: 2560x1 depth 16 channels 1 timestamp 33333");
}

}  // namespace
