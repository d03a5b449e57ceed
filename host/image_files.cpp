#include "image_files.hpp"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "staged_file.hpp"


namespace {

// The depth in bits without the sign bit.
int SampleBits(const _IplImage& image) {
    return image.depth & 0x7FFFFFFF;
}

// Checks the header describes pixels this writer can read: interleaved, 8 or 16 bits,
// one or three channels, rows inside the image's data.
bool CheckShape(const _IplImage& image, std::string& error) {
    const int bits = SampleBits(image);
    if (image.imageData == nullptr || image.width <= 0 || image.height <= 0) {
        error = "the image has no pixels";
        return false;
    }
    if (bits != 8 && bits != 16) {
        error = "unsupported depth " + std::to_string(bits) + " (8 or 16 bits)";
        return false;
    }
    if (image.nChannels != 1 && image.nChannels != 3) {
        error = "unsupported channel count " + std::to_string(image.nChannels) + " (1 or 3)";
        return false;
    }
    if (image.dataOrder != 0) {
        error = "planar images are not supported";
        return false;
    }
    const long rowBytes = static_cast<long>(image.width) * image.nChannels * (bits / 8);
    if (image.widthStep < rowBytes ||
        static_cast<long>(image.widthStep) * image.height > static_cast<long>(image.imageSize)) {
        error = "the image's row step or size does not hold its rows";
        return false;
    }
    return true;
}

bool ColourModelIs(const _IplImage& image, const char* model) {
    return std::strncmp(image.colorModel, model, 4) == 0;
}

unsigned char Clamp(double value) {
    return static_cast<unsigned char>(std::clamp(value + 0.5, 0.0, 255.0));
}

// One row as PNG wants it: grey samples big-endian at 16 bits, colour as 8-bit RGB.
void ConvertRow(const _IplImage& image, int y, std::vector<unsigned char>& row) {
    const bool wide = SampleBits(image) == 16;
    const auto* source = reinterpret_cast<const unsigned char*>(image.imageData) + static_cast<long>(y) * image.widthStep;
    const int samples = image.width * image.nChannels;
    // The high byte of sample i, or the byte itself at 8 bits.
    auto high = [&](int i) { return wide ? source[2 * i + 1] : source[i]; };
    if (image.nChannels == 1) {
        if (!wide) {
            std::memcpy(row.data(), source, image.width);
        } else {
            for (int i = 0; i < image.width; ++i) {
                row[2 * i] = source[2 * i + 1];
                row[2 * i + 1] = source[2 * i];
            }
        }
        return;
    }
    const bool yuv = ColourModelIs(image, "YUV");
    const bool bgr = std::strncmp(image.channelSeq, "BGR", 3) == 0;
    for (int i = 0; i < samples; i += 3) {
        const double a = high(i), b = high(i + 1), c = high(i + 2);
        if (yuv) {
            // Y, U, V with the chroma centred on 128.
            row[i] = Clamp(a + 1.402 * (c - 128));
            row[i + 1] = Clamp(a - 0.344136 * (b - 128) - 0.714136 * (c - 128));
            row[i + 2] = Clamp(a + 1.772 * (b - 128));
        } else {
            row[i] = static_cast<unsigned char>(bgr ? c : a);
            row[i + 1] = static_cast<unsigned char>(b);
            row[i + 2] = static_cast<unsigned char>(bgr ? a : c);
        }
    }
}

// libpng reports errors through longjmp; the message is kept for the caller.
void PngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// libpng's own writer says only "Write Error": this one says why (no space, the file-size
// limit).
void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    if (std::fwrite(data, 1, length, static_cast<std::FILE*>(png_get_io_ptr(png))) != length)
        png_error(png, std::strerror(errno));
}

void PngFlush(png_structp) {}

// One row as WritePng hands it to libpng (ConvertRow).
std::size_t PngRowBytes(const _IplImage& image) {
    const bool grey = image.nChannels == 1;
    return static_cast<std::size_t>(image.width) * (grey ? SampleBits(image) / 8 : 3);
}

// The header and the rows, each made in `row` (PngRowBytes long); libpng's errors leave by
// longjmp, which is why nothing here owns memory.
void EncodePng(png_structp png, png_infop info, const _IplImage& image, std::vector<unsigned char>& row) {
    const bool grey = image.nChannels == 1;
    const int bitDepth = grey ? SampleBits(image) : 8;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), bitDepth,
                 grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Fast compression: a decode run writes many large images.
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        ConvertRow(image, y, row);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
}

}  // namespace

bool WritePng(const std::string& path, const _IplImage& image, std::string& error) {
    if (!CheckShape(image, error)) return false;
    StagedFile file;
    if (!file.Open(path, error)) return false;
    // Everything with a destructor lives outside the stretch libpng may leave by longjmp.
    std::vector<unsigned char> row(PngRowBytes(image));
    std::string pngError;

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError, PngError, PngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        error = "cannot write " + path + ": out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "cannot write " + path + ": " + pngError;
        return false;
    }
    png_set_write_fn(png, file.Stream(), PngWrite, PngFlush);
    EncodePng(png, info, image, row);
    png_destroy_write_struct(&png, &info);
    return file.Commit(error);
}

bool WriteRaw(const std::string& path, const _IplImage& image, std::string& error) {
    if (!CheckShape(image, error)) return false;
    StagedFile file;
    if (!file.Open(path, error)) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * image.nChannels * (SampleBits(image) / 8);
    for (int y = 0; y < image.height; ++y) {
        const char* row = image.imageData + static_cast<long>(y) * image.widthStep;
        if (std::fwrite(row, 1, rowBytes, file.Stream()) != rowBytes) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    return file.Commit(error);
}

std::string DescribeImage(long index, const _IplImage& image, long timestamp) {
    return "image " + std::to_string(index) + ": " + std::to_string(image.width) + "x" + std::to_string(image.height) +
           " depth " + std::to_string(SampleBits(image)) + " channels " + std::to_string(image.nChannels) +
           " timestamp " + std::to_string(timestamp);
}

std::string ImageFileName(long index, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "%06ld", index);
    return std::string(name) + extension;
}

