#pragma once
// Images of a graph's output written to files: PNG files a person can open, and raw files
// that hold exactly the samples a component wrote, for programs to compare.
#include <string>

#include "tarn/runtime/ipl_image.hpp"

// Writes `image` as a PNG file: one channel as grey (8 or 16 bits), three channels as
// 8-bit colour. A "YUV" image is converted to RGB for viewing (full-range BT.601, 16-bit
// samples taken by their high byte); a "BGR" one has its channels put in RGB order.
// False with `error` set when the image cannot be written (unsupported shape, I/O).
// Both writers write under a temporary name and rename the file when it is whole
// (StagedFile): a failure or an interruption leaves no file under `path`, and an older
// file of that name is replaced whole or not at all.
bool WritePng(const std::string& path, const _IplImage& image, std::string& error);

// Writes the image's rows in order, each width x channels x bytes per sample bytes as the
// component wrote them: the row padding is left out, 16-bit samples stay little-endian.
bool WriteRaw(const std::string& path, const _IplImage& image, std::string& error);

// "image N: WIDTHxHEIGHT depth D channels C timestamp T"
std::string DescribeImage(long index, const _IplImage& image, long timestamp);

// "000042" + extension: the files of a run are named by their published order.
std::string ImageFileName(long index, const char* extension);

