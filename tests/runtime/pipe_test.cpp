#include "tarn/runtime/pipe.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <string>

TEST(Pipe, CarriesBytesFromTheWriteEndToTheReadEnd) {
    const unsigned flags = 0x5a;
    TARNPipe pipe(flags);
    ASSERT_TRUE(pipe);
    EXPECT_EQ(pipe.getInheritanceFlags(), flags);
    EXPECT_EQ(pipe.write("hello", 5), 5);
    char buffer[8];
    EXPECT_EQ(pipe.read(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(pipe.closeWriteDescriptor(), 0);
    EXPECT_EQ(pipe.getWriteDescriptor(), -1);
    EXPECT_FALSE(pipe);
    EXPECT_EQ(pipe.read(buffer, sizeof buffer), 0) << "the end of the data";
    EXPECT_EQ(pipe.closeWriteDescriptor(), -1) << "closed only once";
    pipe.close();
    EXPECT_EQ(pipe.getReadDescriptor(), -1);
    EXPECT_EQ(pipe.closeReadDescriptor(), -1);
}

TEST(Pipe, EndsAreNotInheritedByPrograms) {
    TARNPipe pipe;
    ASSERT_TRUE(pipe);
    EXPECT_NE(fcntl(pipe.getReadDescriptor(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_NE(fcntl(pipe.getWriteDescriptor(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST(Pipe, WritingToAPipeNobodyReadsFailsInsteadOfEndingTheProcess) {
    TARNPipe pipe;
    ASSERT_TRUE(pipe);
    ASSERT_EQ(pipe.closeReadDescriptor(), 0);
    errno = 0;
    EXPECT_EQ(pipe.write("x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE)) << "no signal left behind";
}

TEST(Pipe, CreationFailureLeavesBothEndsClosed) {
    // With no descriptor left to the process, the pipe cannot be made.
    const int lowestFree = fcntl(0, F_DUPFD, 0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = lowestFree;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    TARNPipe* pipe = new TARNPipe;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_FALSE(*pipe);
    EXPECT_EQ(pipe->getReadDescriptor(), -1);
    EXPECT_EQ(pipe->getWriteDescriptor(), -1);
    EXPECT_EQ(pipe->closeReadDescriptor(), -1);
    EXPECT_EQ(pipe->closeWriteDescriptor(), -1);
    delete pipe;
}
