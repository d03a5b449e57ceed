#include "tarn/runtime/file_locker.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

namespace fs = std::filesystem;

namespace {

// Whether a descriptor of our own could take the lock now (and gives it back at once).
bool lockableElsewhere(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool locked = flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    close(descriptor);
    return locked;
}

int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
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

TEST_F(FileLocker, AFailedLockLeavesNoDescriptorOpen) {
    TARNFileLocker first(TARNFile(file.c_str()), true);
    ASSERT_TRUE(first);
    TARNFileLocker second(TARNFile(file.c_str()), false);
    const int before = openDescriptorCount();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(second.TryLock());
    EXPECT_EQ(openDescriptorCount(), before);
}

// Locks never block: a FIFO that nobody writes to is locked at once, as any other file.
TEST_F(FileLocker, AFifoWithoutWriterLocksAtOnce) {
    const std::string fifo = root + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto locking = std::async(std::launch::async, [&] {
        TARNFileLocker locker(TARNStackedString<40>(fifo.c_str()), true);
        return static_cast<bool>(locker) && !lockableElsewhere(fifo);
    });
    const bool inTime = locking.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!inTime) {
        // A writer lets an open that waits for one go on, so that the test can end.
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) close(writer);
    }
    ASSERT_TRUE(inTime) << "locking a FIFO waited for a writer";
    EXPECT_TRUE(locking.get());
}
