// The fixture of the tests that work on real files: a fresh folder under /tmp for each test,
// removed afterwards, with the working folder put back as it was (tests may move into it).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/scratch_files.hpp"

class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarn_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = std::filesystem::canonical(pattern).string();
        workingFolder = std::filesystem::current_path();
    }
    void TearDown() override {
        std::filesystem::current_path(workingFolder);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string Path(const std::string& relative) const { return root + "/" + relative; }
    void MakeFile(const std::string& relative, const std::string& content = "x") const {
        WriteWholeFile(Path(relative), content);
    }
    std::string Content(const std::string& relative) const {
        std::ifstream in(Path(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string root;
    std::filesystem::path workingFolder;
};
