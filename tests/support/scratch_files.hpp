// Files a test writes for a moment outside a folder of its own (TempFolderTest gives one):
// named apart for this test process, and written whole. Read them back, and read a built
// package, with the host's ReadWholeFile (host/whole_file.hpp).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

// A file of this test process's own under the temporary folder: several checkouts may run
// the suite at once on one machine.
inline std::string ScratchPath(const std::string& name) {
    return ::testing::TempDir() + std::to_string(getpid()) + "_" + name;
}

// Replaces whatever the file held with `bytes`.
inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
