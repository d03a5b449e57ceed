#include "tarn/runtime/file_path.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder_fixture.hpp"

namespace fs = std::filesystem;

namespace {

std::string str(const TARNStackedString<40>& s) {
    return s.c_str();
}

// A fresh folder for each test; one a test locked against writing is opened again first.
class FilePath : public TempFolderTest {
  protected:
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(Path("locked"), fs::perms::owner_all, ignored);
        TempFolderTest::TearDown();
    }
};

}  // namespace

TEST(FilePathAlgebra, SplitsIntoFolderAndName) {
    const struct {
        const char* path;
        const char* folder;
        const char* name;
    } cases[] = {
        {"abc", "", "abc"}, {"/", "/", ""},     {"a/b/", "a/b/", ""}, {"/a/b/c.txt", "/a/b/", "c.txt"},
        {"", "", ""},       {"//x", "//", "x"}, {"\\x", "", "\\x"},   {nullptr, "", ""},
    };
    for (const auto& c : cases) {
        const TARNFile file(c.path);
        const char* shown = c.path ? c.path : "(null)";
        EXPECT_EQ(str(file.GetFolder()), c.folder) << shown;
        EXPECT_EQ(str(file.GetShortName()), c.name) << shown;
        EXPECT_EQ(str(file.GetFullPath()), std::string(c.folder) + c.name) << shown;
    }
}

TEST(FilePathAlgebra, ParentNameAndExtension) {
    const struct {
        const char* path;
        const char* parent;
        const char* name;
        const char* extension;
    } cases[] = {
        {"/a/b/c.txt", "/a/b/", "c.txt", "txt"},
        {"/a/b/", "/a/", "b", ""},
        {"/a/", "/", "a", ""},
        {"/", "", "", ""},
        {"abc/", "", "abc", ""},
        {"/a/b//", "/a/", "b", ""},
        {"archive.tar.gz", "", "archive.tar.gz", "gz"},
        {"README", "", "README", ""},
        {"name.", "", "name.", ""},
        {".profile", "", ".profile", "profile"},
    };
    for (const auto& c : cases) {
        const TARNFile file(c.path);
        EXPECT_EQ(str(file.GetParentFolder().GetFullPath()), c.parent) << c.path;
        EXPECT_EQ(str(file.GetParentFolder().GetShortName()), "") << c.path;
        EXPECT_EQ(str(file.GetName()), c.name) << c.path;
        EXPECT_EQ(str(file.GetExtension()), c.extension) << c.path;
    }
}

TEST(FilePathAlgebra, AbsoluteFolders) {
    EXPECT_TRUE(TARNFile("/x").IsAbsolute());
    EXPECT_TRUE(TARNFile("\\x/y").IsAbsolute());
    EXPECT_FALSE(TARNFile("\\x").IsAbsolute()) << "the backslash is in the name part";
    EXPECT_FALSE(TARNFile("x/y").IsAbsolute());
    EXPECT_FALSE(TARNFile("").IsAbsolute());
}

TEST(FilePathAlgebra, CompactPathResolvesDotsInTheFolderOnly) {
    const struct {
        const char* folder;
        const char* compacted;
        bool result;
    } cases[] = {
        {"/a/./b//c/../", "/a/b/", true},
        {"/a/b/../../c/", "/a/b/../../c/", false},
        {"/a/../b/", "/a/../b/", false},
        {"/../x/", "/../x/", false},
        {"a/b/c/../d/", "a/b/d/", true},
        {"a/../b/", "a/../b/", true},
        {"../x/", "../x/", true},
        {"a/b/../../c/", "a/../c/", true},
        {"./", "", true},
        {"/", "/", true},
        {"", "", true},
    };
    for (const auto& c : cases) {
        TARNFile file((std::string(c.folder) + "name..").c_str());
        EXPECT_EQ(file.CompactPath(), c.result) << c.folder;
        EXPECT_EQ(str(file.GetFolder()), c.compacted) << c.folder;
        EXPECT_EQ(str(file.GetShortName()), "name..") << c.folder;
    }
}

TEST(FilePathAlgebra, AbsolutePaths) {
    EXPECT_EQ(str(TARNFile("x/y.txt").GetAbsolutePath("")), "/x/y.txt");
    EXPECT_EQ(str(TARNFile("x/../y.txt").GetAbsolutePath("/base/dir")), "/base/dir/y.txt");
    EXPECT_EQ(str(TARNFile("../../../y").GetAbsolutePath("/base/")), "/base/../../../y")
        << "a failed compaction keeps the joined path";
    EXPECT_EQ(str(TARNFile("/a/./b").GetAbsolutePath("/base")), "/a/./b")
        << "absolute paths stay as they are";
    const std::string current = fs::current_path().string();
    EXPECT_EQ(str(TARNFile("q.txt").GetAbsolutePath(nullptr)), current + "/q.txt");
}

TEST(FilePathAlgebra, RelativePaths) {
    const struct {
        const char* file;
        const char* base;
        const char* relative;
    } cases[] = {
        {"/a/b/c/file.txt", "/a/x", "../b/c/file.txt"},
        {"/a/b/c/file.txt", "/a/b/", "c/file.txt"},
        {"/a/b/file.txt", "/a/b", "file.txt"},
        {"/a/b/", "/a/b/c/d", "../../"},
        {"/home/u/data/x.bin", "/opt/app", "../../home/u/data/x.bin"},
        {"rel/x.txt", "/a", "rel/x.txt"},
        {"/a/./b/../c/f", "/a/x/../", "c/f"},
    };
    for (const auto& c : cases) {
        TARNFile file(c.file);
        EXPECT_EQ(str(file.GetRelativePath(c.base)), c.relative) << c.file << " from " << c.base;
    }
}

TEST(FilePathAlgebra, EqualityComparesCompactedPaths) {
    EXPECT_TRUE(TARNFile("/a/./b/../c") == TARNFile("/a/c"));
    EXPECT_TRUE(TARNFile("a//b") == TARNFile("a/b"));
    EXPECT_FALSE(TARNFile("a/b") == TARNFile("/cwd/a/b"));
    EXPECT_FALSE(TARNFile("/a/b/") == TARNFile("/a/b"));
    EXPECT_FALSE(TARNFile("/a/B") == TARNFile("/a/b"));
}

TEST_F(FilePath, QueriesOnFiles) {
    MakeFile("file.bin", "12345");
    const TARNFile file(Path("file.bin").c_str());
    EXPECT_TRUE(file.Exists());
    EXPECT_TRUE(file.IsReadable());
    EXPECT_TRUE(file.IsWritable());
    EXPECT_FALSE(file.IsDirectory());

    TARNFileInfos infos{-1, -1, -1, -1};
    ASSERT_TRUE(file.GetFileInfos(infos));
    struct stat info;
    ASSERT_EQ(stat(Path("file.bin").c_str(), &info), 0);
    EXPECT_EQ(infos.creationTime, 0);
    EXPECT_EQ(infos.lastWriteTime, static_cast<long>(info.st_mtime) * 1000000);
    EXPECT_EQ(infos.lastAccessTime, static_cast<long>(info.st_atime) * 1000000);
    EXPECT_EQ(infos.size, 5);

    EXPECT_TRUE(file.Delete());
    EXPECT_FALSE(file.Exists());
    EXPECT_FALSE(file.Delete());
    TARNFileInfos untouched{7, 7, 7, 7};
    EXPECT_FALSE(file.GetFileInfos(untouched));
    EXPECT_EQ(untouched.size, 7);
    EXPECT_FALSE(file.IsReadable());
    EXPECT_FALSE(file.IsWritable());
}

TEST_F(FilePath, QueriesOnFolders) {
    fs::create_directory(Path("folder"));
    EXPECT_TRUE(TARNFile(Path("folder").c_str()).IsDirectory());
    EXPECT_TRUE(TARNFile(Path("folder/").c_str()).IsDirectory());
    EXPECT_TRUE(TARNFile(Path("folder").c_str()).IsReadable());
    EXPECT_FALSE(TARNFile(Path("missing").c_str()).IsDirectory());
    EXPECT_FALSE(TARNFile("/tmp/\xff").IsDirectory()) << "no form in the locale's encoding";

    if (geteuid() != 0) {  // permissions do not stop the superuser
        fs::create_directory(Path("locked"));
        fs::permissions(Path("locked"), fs::perms::none);
        EXPECT_FALSE(TARNFile(Path("locked").c_str()).IsReadable());
        EXPECT_FALSE(TARNFile(Path("locked/").c_str()).IsWritable());
    }
}

TEST_F(FilePath, OnlyFoldersAreDirectories) {
    // A socket's file type shares the folder's bit: only the whole type field tells them apart.
    const std::string socketPath = Path("socket");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_TRUE(TARNFile(socketPath.c_str()).Exists());
    EXPECT_FALSE(TARNFile(socketPath.c_str()).IsDirectory());
    close(s);

    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(TARNFile(Path("fifo").c_str()).IsDirectory());
}

TEST_F(FilePath, ReadabilityOfAFifoNobodyWritesTo) {
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    // Asked in a child process with an alarm clock, since a wrong answer here is to wait
    // for a writer for ever.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(20);
        _exit(TARNFile(Path("fifo").c_str()).IsReadable() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the question got no answer";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(FilePath, RelativePathsStartAtTheWorkingFolder) {
    fs::current_path(root);
    MakeFile("here.txt");
    EXPECT_TRUE(TARNFile("here.txt").Exists());
    EXPECT_TRUE(TARNFile("./here.txt").IsReadable());
    EXPECT_EQ(str(TARNFile("here.txt").GetAbsolutePath(nullptr)), Path("here.txt"));
    TARNFile absolute(Path("sub/x").c_str());
    EXPECT_EQ(str(absolute.GetRelativePath(nullptr)), "sub/x");
}
