#include "tarn/runtime/folders.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_folder_fixture.hpp"

namespace fs = std::filesystem;

// A fresh folder for each test, with HOME restored afterwards.
class Folders : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        if (const char* home = std::getenv("HOME")) savedHome = home;
    }
    void TearDown() override {
        if (savedHome) {
            setenv("HOME", savedHome->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
        TempFolderTest::TearDown();
    }

    std::optional<std::string> savedHome;
};

TEST_F(Folders, IsFolderOnlyForExistingFolders) {
    MakeFile("file");
    EXPECT_TRUE(TARN::IsFolder(root.c_str()));
    EXPECT_TRUE(TARN::IsFolder("/"));
    EXPECT_FALSE(TARN::IsFolder(Path("file").c_str()));
    EXPECT_FALSE(TARN::IsFolder(Path("missing").c_str()));
    EXPECT_FALSE(TARN::IsFolder(nullptr));
}

TEST_F(Folders, CreateFolderCreatesMissingParentsAndReportsTheOutcome) {
    MakeFile("file");
    fs::create_directory(Path("a"));
    struct Case {
        std::string path;
        bool expected;
        const char* why;
    };
    const Case cases[] = {
        {root, true, "an existing folder"},
        {Path("file"), false, "an existing regular file"},
        {Path("a/b/c"), true, "b and then c are created under a"},
        {Path("d/e/"), true, "a trailing separator is ignored"},
        {Path("f//g///"), true, "repeated separators"},
        {Path("file/sub"), false, "the parent is a regular file"},
        {"/", true, "the root exists"},
        {"//", true, "separators only name the root"},
        {"", false, "an empty path names nothing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TARN::CreateFolder(c.path.c_str()), c.expected) << c.why << ": " << c.path;
    }
    EXPECT_TRUE(fs::is_directory(Path("a/b/c")));
    EXPECT_TRUE(fs::is_directory(Path("d/e")));
    EXPECT_TRUE(fs::is_directory(Path("f/g")));
    EXPECT_FALSE(TARN::CreateFolder(nullptr));
}

TEST_F(Folders, CreateFolderTakesBackslashesAsSeparators) {
    // The parent "h" is created as a folder; the full name stays what it is on this system.
    EXPECT_TRUE(TARN::CreateFolder(Path("h\\i").c_str()));
    EXPECT_TRUE(fs::is_directory(Path("h")));
    EXPECT_TRUE(fs::is_directory(Path("h\\i")));
}

// Only "/" names the root: before a leading backslash lies an empty parent, which names
// nothing, so nothing is created (not a folder named "\" in the working folder).
TEST_F(Folders, CreateFolderRefusesALeadingBackslash) {
    ASSERT_TRUE(TARN::SetCurrentFolder(root.c_str()));
    for (const char* path : {"\\x", "\\", "\\\\x", "\\x\\y"}) {
        EXPECT_FALSE(TARN::CreateFolder(path)) << path;
    }
    EXPECT_TRUE(fs::is_empty(root));
}

TEST_F(Folders, RelativePathsStartAtTheWorkingFolder) {
    ASSERT_TRUE(TARN::SetCurrentFolder(root.c_str()));
    EXPECT_EQ(std::string(TARN::GetCurrentFolder().c_str()), root);
    EXPECT_TRUE(TARN::CreateFolder("rel/sub"));
    EXPECT_TRUE(fs::is_directory(Path("rel/sub")));
    EXPECT_FALSE(TARN::SetCurrentFolder(Path("missing").c_str()));
    EXPECT_EQ(std::string(TARN::GetCurrentFolder().c_str()), root);
}

TEST_F(Folders, CurrentFolderIsReadWhateverItsLength) {
    std::string deep = root;
    const std::string level(60, 'n');
    while (deep.size() <= 300) deep += "/" + level;
    ASSERT_TRUE(TARN::CreateFolder(deep.c_str()));
    ASSERT_TRUE(TARN::SetCurrentFolder(deep.c_str()));
    const TARNStackedString<40> current = TARN::GetCurrentFolder();
    EXPECT_EQ(std::string(current.c_str()), deep);
    EXPECT_FALSE(current.IsInline());
}

TEST_F(Folders, HomeFallsBackToTheTemporaryFolder) {
    EXPECT_EQ(std::string(TARN::GetTempFolder().c_str()), "/tmp");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(std::string(TARN::GetUserHomeFolder().c_str()), "/home/someone");
    unsetenv("HOME");
    EXPECT_EQ(std::string(TARN::GetUserHomeFolder().c_str()), "/tmp");
}

TEST_F(Folders, FreeSpaceOrTheReasonThereIsNone) {
    EXPECT_GE(TARN::GetDiskFreeSpaceForPath(root.c_str()), 0);
    EXPECT_EQ(TARN::GetDiskFreeSpaceForPath(Path("missing").c_str()), -ENOENT);
    // Not UTF-8, so it has no form in the (UTF-8) locale.
    EXPECT_EQ(TARN::GetDiskFreeSpaceForPath("/tmp/\xff"), -1);
    EXPECT_EQ(TARN::GetDiskFreeSpaceForPath(nullptr), -1);
}
