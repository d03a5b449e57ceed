// tarnhost: runs the packages without the engine.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "decode_command.hpp"
#include "info_command.hpp"

namespace {
int Usage() {
    std::cerr
        << "usage: tarnhost info PACKAGE\n"
           "       tarnhost decode CAPTURE [--package PCK] [--set PROPERTY=VALUE]... [--out DIR] [--raw DIR] "
           "[--limit N]\n"
           "  info    load the package and print what it defines and its information trailer\n"
           "  decode  decode a CSI-2 capture file with the package's decoder: PNG files to --out,\n"
           "          exact image bytes to --raw; --set sets a decoder property by name\n";
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "info") == 0) {
        if (argc != 3) return Usage();
        return RunInfoCommand(argv[2], std::cout, std::cerr);
    }
    if (std::strcmp(argv[1], "decode") == 0)
        return RunDecodeCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    std::cerr << "tarnhost: unknown command \"" << argv[1] << "\"\n";
    return Usage();
}
