// write_test_capture: capture files of test patterns for "tarnhost decode", written by the
// tests' capture writer.
//
//   write_test_capture FILE TYPE [--width W] [--height H] [--frames N] [--random]
//
// TYPE is one of the decoder's data-type names without their number: YUV422_8Bit,
// YUV422_10Bit, RGB888, RAW8, RAW10, RAW12, RAW16, RAW20, RAW24, YUV422_8Bit_Y_U_swapped.
// Frames hold a smooth gradient (with --random, random lines instead).
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "support/capture_writer.hpp"

namespace {

struct TypeName {
    const char* name;
    uint8_t type;
};

constexpr TypeName Types[] = {
    {"YUV422_8Bit", capture::type::kYuv422_8},
    {"YUV422_10Bit", capture::type::kYuv422_10},
    {"RGB888", capture::type::kRgb888},
    {"RAW8", capture::type::kRaw8},
    {"RAW10", capture::type::kRaw10},
    {"RAW12", capture::type::kRaw12},
    {"RAW16", capture::type::kRaw16},
    {"RAW20", capture::type::kRaw20},
    {"RAW24", capture::type::kRaw24},
    {"YUV422_8Bit_Y_U_swapped", capture::type::kYuv422_8_YUSwapped},
};

int Usage(const std::string& problem) {
    std::cerr << "write_test_capture: " << problem
              << "\nusage: write_test_capture FILE TYPE [--width W] [--height H] [--frames N] [--random]\n"
                 "TYPE: YUV422_8Bit YUV422_10Bit RGB888 RAW8 RAW10 RAW12 RAW16 RAW20 RAW24 "
                 "YUV422_8Bit_Y_U_swapped\n";
    return 1;
}

bool ParseCount(const char* text, uint32_t& value) {
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || number < 1 || number > 65535) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage("a file and a type are needed");
    const std::string path = argv[1];
    capture::FrameSpec spec;
    spec.pattern = capture::Pattern::kGradient;
    spec.width = 640;
    spec.height = 480;
    uint32_t frames = 3;
    bool typeFound = false;
    for (const TypeName& type : Types)
        if (std::strcmp(argv[2], type.name) == 0) {
            spec.dataType = type.type;
            typeFound = true;
        }
    if (!typeFound) return Usage("unknown type \"" + std::string(argv[2]) + "\"");
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--random") {
            spec.pattern = capture::Pattern::kRandom;
            continue;
        }
        uint32_t* target = option == "--width"    ? &spec.width
                           : option == "--height" ? &spec.height
                           : option == "--frames" ? &frames
                                                  : nullptr;
        if (target == nullptr) return Usage("unknown option \"" + option + "\"");
        if (i + 1 >= argc || !ParseCount(argv[i + 1], *target))
            return Usage(option + " takes a number from 1 to 65535");
        ++i;
    }
    if (spec.width % capture::PixelsPerGroup(spec.dataType) != 0)
        return Usage("the width must be a multiple of " +
                     std::to_string(capture::PixelsPerGroup(spec.dataType)) + " for " + argv[2]);
    if (capture::WordCountFor(spec.dataType, spec.width) > 65535)
        return Usage("a line of that width is longer than a packet can be");
    try {
        std::vector<std::vector<uint8_t>> written;
        for (uint32_t i = 0; i < frames; ++i) {
            spec.seed = i + 1;
            written.push_back(capture::WriteFrame(spec).bytes);
        }
        capture::WriteCapture(path, written);
    } catch (const std::exception& problem) {
        std::cerr << "write_test_capture: " << problem.what() << "\n";
        return 1;
    }
    std::cout << path << ": " << frames << " frames of " << argv[2] << ", " << spec.width << "x"
              << spec.height << "\n";
    return 0;
}
