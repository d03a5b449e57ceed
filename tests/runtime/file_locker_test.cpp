#include "runtime/file_locker.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Whether a descriptor of our own could take the lock now (and gives it back at once).
bool lockableElsewhere(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool locked = flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    close(descriptor);
    return locked;
}

class FileLocker : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarn_file_locker_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        file = root + "/data";
        std::ofstream(file) << "x";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string root;
    std::string file;
};

}  // namespace

TEST_F(FileLocker, OneLockAtATime) {
    TARNFileLocker first(TARNStackedString<40>(file.c_str()), false);
    TARNFileLocker second(TARNFile(file.c_str()), false);
    EXPECT_FALSE(first);
    EXPECT_TRUE(first.TryLock());
    EXPECT_TRUE(first);
    EXPECT_TRUE(first.TryLock()) << "already held";
    EXPECT_FALSE(second.TryLock());
    EXPECT_FALSE(lockableElsewhere(file));
    EXPECT_TRUE(first.TryUnlock());
    EXPECT_FALSE(first);
    EXPECT_TRUE(second.TryLock());
    EXPECT_TRUE(first.TryUnlock()) << "unlocking an unlocked locker is fine";
    EXPECT_EQ(std::string(second.GetPath().c_str()), file);
}

TEST_F(FileLocker, FoldersLockToo) {
    TARNFileLocker folder(TARNStackedString<40>(root.c_str()), true);
    EXPECT_TRUE(folder);
    EXPECT_FALSE(lockableElsewhere(root));
}

TEST_F(FileLocker, CopiesShareTheLockUntilTheLastGoes) {
    auto* original = new TARNFileLocker(TARNFile(file.c_str()), true);
    ASSERT_TRUE(*original);
    {
        TARNFileLocker copy(*original);
        EXPECT_TRUE(copy);
    }
    EXPECT_TRUE(*original) << "destroying a copy keeps the lock";
    TARNFileLocker assigned;
    assigned = *original;
    delete original;
    EXPECT_TRUE(assigned);
    EXPECT_FALSE(lockableElsewhere(file));
    assigned = TARNFileLocker();
    EXPECT_FALSE(assigned);
    EXPECT_TRUE(lockableElsewhere(file)) << "the last copy released it";
}

TEST_F(FileLocker, SelfAssignmentKeepsTheLock) {
    TARNFileLocker locker(TARNFile(file.c_str()), true);
    TARNFileLocker& alias = locker;
    locker = alias;
    EXPECT_TRUE(locker);
    EXPECT_EQ(std::string(locker.GetPath().c_str()), file);
    EXPECT_FALSE(lockableElsewhere(file));
}

TEST_F(FileLocker, NothingIsCreatedOrLockedForAMissingPath) {
    const std::string missing = root + "/missing";
    TARNFileLocker locker(TARNStackedString<40>(missing.c_str()), true);
    EXPECT_FALSE(locker);
    EXPECT_FALSE(locker.TryLock());
    EXPECT_FALSE(fs::exists(missing));

    TARNFileLocker none;
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.TryLock());
    EXPECT_FALSE(none.TryUnlock());
    EXPECT_EQ(std::string(none.GetPath().c_str()), "");
}
