// tarnhost: runs the packages without the engine.
#include <cstring>
#include <iostream>

#include "info_command.hpp"

namespace {
int Usage() {
    std::cerr << "usage: tarnhost info PACKAGE\n"
                 "  info   load the package and print what it defines and its information trailer\n";
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "info") == 0) {
        if (argc != 3) return Usage();
        return RunInfoCommand(argv[2], std::cout, std::cerr);
    }
    std::cerr << "tarnhost: unknown command \"" << argv[1] << "\"\n";
    return Usage();
}
