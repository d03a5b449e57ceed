#include "tarn/runtime/process.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_fixture.hpp"
#include "tarn/runtime/file_locker.hpp"
#include "tarn/runtime/file_writer_and_reader.hpp"
#include "tarn/runtime/folder_browser.hpp"
#include "tarn/runtime/text_conversion.hpp"

using process_test::Arguments;
using process_test::ReadToEnd;
using process_test::WaitForEnd;

namespace {

class Process : public process_test::ScratchFolder {};

// The signals TARNProcess sent, each also delivered for real.
struct SentSignal {
    int pid;
    int signal;
};
std::vector<SentSignal> sentSignals;
int recordSignal(int pid, int signal) {
    sentSignals.push_back({pid, signal});
    return kill(pid, signal);
}

class SignalRecording {
  public:
    SignalRecording() : previous(TARNPrivate::ReplaceSignalSender(recordSignal)) { sentSignals.clear(); }
    ~SignalRecording() { TARNPrivate::ReplaceSignalSender(previous); }

  private:
    TARNPrivate::SignalSender previous;
};

// The descriptors this process has open.
std::set<int> openDescriptors() {
    std::set<int> descriptors;
    DIR* folder = opendir("/proc/self/fd");
    const int own = dirfd(folder);
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.' && std::stoi(entry->d_name) != own)
            descriptors.insert(std::stoi(entry->d_name));
    }
    closedir(folder);
    return descriptors;
}

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

TEST_F(Process, ChildPrints) {
    TARNPipe output;
    TARNProcess process(Arguments({"/bin/echo", "hello", "world"}), nullptr, &output, nullptr, true, false);
    ASSERT_EQ(process.getArgumentCount(), 3);
    EXPECT_EQ(process.getState(), 0);
    int pid = 0;
    ASSERT_EQ(process.runAsChild(&pid), 1);
    EXPECT_GT(pid, 0);
    EXPECT_EQ(output.getWriteDescriptor(), -1) << "the child's end is closed on this side";
    EXPECT_EQ(ReadToEnd(output.getReadDescriptor()), "hello world\n");
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
    EXPECT_EQ(code, 0);
}

TEST_F(Process, ChildReadsItsInput) {
    TARNPipe input;
    TARNPipe output;
    TARNProcess process(Arguments({"/bin/cat"}), &input, &output, nullptr, true, false);
    ASSERT_EQ(process.runAsChild(), 1);
    EXPECT_EQ(input.getReadDescriptor(), -1);
    EXPECT_EQ(input.write("line one\nline two\n", 18), 18);
    input.closeWriteDescriptor();
    EXPECT_EQ(ReadToEnd(output.getReadDescriptor()), "line one\nline two\n");
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
    EXPECT_EQ(code, 0);
}

TEST_F(Process, ChildThatNeverEndsIsTerminated) {
    TARNPipe input;  // never closed here: cat waits for ever
    SignalRecording signals;
    TARNProcess process(Arguments({"/bin/cat"}), &input, nullptr, nullptr, true, false);
    int pid = 0;
    ASSERT_EQ(process.runAsChild(&pid), 1);
    EXPECT_EQ(process.getState(), 1);
    int code = -7;
    EXPECT_EQ(process.wait(code, 0), 3);
    EXPECT_EQ(process.wait(code, 250000), 3);
    EXPECT_EQ(process.wait(code, -5), 3);
    EXPECT_EQ(code, -7);
    EXPECT_EQ(process.terminate(), 1);
    ASSERT_EQ(sentSignals.size(), 1u);
    EXPECT_EQ(sentSignals[0].pid, pid);
    EXPECT_EQ(sentSignals[0].signal, SIGKILL);
    EXPECT_EQ(process.getState(), 2);
}

TEST_F(Process, ExitStatusesAndSignals) {
    const struct {
        const char* script;
        int code;
    } cases[] = {
        {"exit 0", 0},
        {"exit 3", 3},
        {"exit 255", -1},  // the status read as a signed byte
        {"kill -15 $$", 15},
    };
    for (const auto& c : cases) {
        TARNProcess process(Arguments({"/bin/sh", "-c", c.script}), nullptr, nullptr, nullptr, true, false);
        ASSERT_EQ(process.runAsChild(), 1);
        int code = -7;
        EXPECT_EQ(WaitForEnd(process, code), 0) << c.script;
        EXPECT_EQ(code, c.code) << c.script;
    }
}

TEST_F(Process, CollectedChildIsNeverSignalledOrWaitedForAgain) {
    // Once collected, the child's id may belong to another process at any moment.
    SignalRecording signals;
    TARNProcess process(Arguments({"/bin/sh", "-c", "exit 4"}), nullptr, nullptr, nullptr, true, false);
    ASSERT_EQ(process.runAsChild(), 1);
    int code = -7;
    ASSERT_EQ(WaitForEnd(process, code), 0);
    EXPECT_EQ(code, 4);

    code = -7;
    EXPECT_EQ(process.terminate(), 0);
    EXPECT_TRUE(sentSignals.empty());
    EXPECT_EQ(process.getState(), 2);
    EXPECT_EQ(process.wait(code, -1), 2);
    EXPECT_EQ(process.wait(code, 0), 2);
    EXPECT_EQ(process.wait(code, 5000000), 3);
    EXPECT_EQ(code, -7);
}

TEST_F(Process, StateCollectsAnEndedChild) {
    SignalRecording signals;
    TARNPipe output;
    TARNProcess process(Arguments({"/bin/echo"}), nullptr, &output, nullptr, true, false);
    ASSERT_EQ(process.runAsChild(), 1);
    ReadToEnd(output.getReadDescriptor());
    // The output has ended; the child's own end follows.
    int state = 1;
    for (int i = 0; i < 3000 && state == 1; ++i) {
        state = process.getState();
        if (state == 1) usleep(10000);
    }
    EXPECT_EQ(state, 2);
    // Collected: its id may be another process's by now, and must not be signalled.
    EXPECT_EQ(process.terminate(), 0);
    EXPECT_TRUE(sentSignals.empty());
    int code = -7;
    EXPECT_EQ(process.wait(code, -1), 2) << "getState collected it";
    EXPECT_EQ(code, -7);
}

TEST_F(Process, NeverStarted) {
    TARNProcess process(Arguments({"/bin/true"}), nullptr, nullptr, nullptr, false, false);
    int code = -7;
    EXPECT_EQ(process.getState(), 0);
    EXPECT_EQ(process.wait(code, -1), 1);
    EXPECT_EQ(process.terminate(), 0);
}

TEST_F(Process, ProgramThatCannotRunEndsTheChildWithStatusOne) {
    // Without arguments there is no program at all: the child ends as quietly as when the
    // program is missing (a checked build would see a null path handed to execve).
    for (auto arguments : {Arguments({"/no/such/program"}), Arguments({})}) {
        TARNPipe error;
        TARNProcess process(arguments, nullptr, nullptr, &error, true, false);
        ASSERT_EQ(process.runAsChild(), 1);
        EXPECT_EQ(ReadToEnd(error.getReadDescriptor()), "") << "the child's standard error";
        int code = -7;
        EXPECT_EQ(WaitForEnd(process, code), 0);
        EXPECT_EQ(code, 1);
    }
    TARNProcess elsewhere(Arguments({"/bin/true"}), nullptr, nullptr, nullptr, true, false);
    elsewhere.setCurrentDirectory(Path("missing").c_str());
    ASSERT_EQ(elsewhere.runAsChild(), 1);
    int code = -7;
    EXPECT_EQ(WaitForEnd(elsewhere, code), 0);
    EXPECT_EQ(code, 1) << "the working folder does not exist";
}

TEST_F(Process, FailedChildDoesNotWriteTheCallersBufferedData) {
    // The child holds a copy of this stream's unwritten buffer: ending it with exit()
    // would write that copy out a second time.
    FILE* stream = std::fopen(Path("log").c_str(), "w");
    ASSERT_NE(stream, nullptr);
    std::fputs("written once", stream);
    TARNProcess process(Arguments({"/no/such/program"}), nullptr, nullptr, nullptr, true, false);
    ASSERT_EQ(process.runAsChild(), 1);
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
    std::fclose(stream);
    std::ifstream in(Path("log"));
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "written once");
}

TEST_F(Process, LargeOutputAndErrorTogether) {
    // A megabyte on each stream, the error stream first: read one after the other, either
    // would fill and stop the child.
    TARNPipe output;
    TARNPipe error;
    TARNProcess process(Arguments({"/bin/sh", "-c",
                                   "head -c 1000000 /dev/zero | tr '\\0' e >&2; "
                                   "head -c 1000000 /dev/zero | tr '\\0' o"}),
                        nullptr, &output, &error, true, false);
    ASSERT_EQ(process.runAsChild(), 1);
    std::string out;
    std::string err;
    ASSERT_TRUE(
        process_test::ReadToEnd({output.getReadDescriptor(), error.getReadDescriptor()}, {&out, &err}));
    EXPECT_EQ(out, std::string(1000000, 'o'));
    EXPECT_EQ(err, std::string(1000000, 'e'));
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
    EXPECT_EQ(code, 0);
}

TEST_F(Process, OnePipeForOutputAndError) {
    TARNPipe both;
    TARNProcess process(Arguments({"/bin/sh", "-c", "echo out; echo err >&2"}), nullptr, &both, &both, true,
                        false);
    ASSERT_EQ(process.runAsChild(), 1);
    EXPECT_EQ(both.getWriteDescriptor(), -1);
    EXPECT_EQ(ReadToEnd(both.getReadDescriptor()), "out\nerr\n");
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
}

TEST_F(Process, PipeEndsOnStandardDescriptors) {
    // With this process's standard input and output closed, the first new pipe lands on 0
    // and 1, so its write end already sits on the child's descriptor 1.
    const struct {
        const char* what;
        bool firstIsError;  // the first pipe is the error pipe (else the output pipe)
        const char* script;
        const char* out;
        const char* err;
    } cases[] = {
        // It must stay open through exec.
        {"an output end that already is descriptor 1", false, "echo out", "out\n", ""},
        // It must be moved away before the output pipe's end takes descriptor 1.
        {"an error end on descriptor 1", true, "echo out; echo err >&2", "out\n", "err\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int savedInput = fcntl(0, F_DUPFD_CLOEXEC, 3);
        const int savedOutput = fcntl(1, F_DUPFD_CLOEXEC, 3);
        ASSERT_GE(savedInput, 0);
        ASSERT_GE(savedOutput, 0);
        close(0);
        close(1);
        // Nothing may be printed until both are back: no assertion before then.
        auto* first = new TARNPipe;
        auto* second = c.firstIsError ? new TARNPipe : nullptr;
        TARNPipe* output = c.firstIsError ? second : first;
        TARNPipe* error = c.firstIsError ? first : nullptr;
        const int firstWriteEnd = first->getWriteDescriptor();
        std::string out;
        std::string err;
        int started = 0;
        bool readInTime = false;
        {
            TARNProcess process(Arguments({"/bin/sh", "-c", c.script}), nullptr, output, error, true, false);
            started = process.runAsChild();
            if (started && error != nullptr) {
                readInTime = process_test::ReadToEnd(
                    {output->getReadDescriptor(), error->getReadDescriptor()}, {&out, &err});
            } else if (started) {
                readInTime = process_test::ReadToEnd({output->getReadDescriptor()}, {&out});
            }
            int code = -7;
            if (started) WaitForEnd(process, code);
        }
        delete first;
        delete second;
        dup2(savedInput, 0);
        dup2(savedOutput, 1);
        close(savedInput);
        close(savedOutput);

        ASSERT_EQ(firstWriteEnd, 1);
        ASSERT_EQ(started, 1);
        EXPECT_TRUE(readInTime);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(err, c.err);
    }
}

TEST_F(Process, NoDescriptorOfThisProcessReachesTheChild) {
    // Descriptors that other parts of the library hold open at the moment of the start.
    const std::set<int> before = openDescriptors();
    TARNPipe unrelated;
    TARNFileWriterAndReader temporary;
    TARNStackedString<40> name;
    ASSERT_TRUE(temporary.OpenTempFile(name));
    TARNFileReader reader;
    ASSERT_TRUE(reader.Open("/proc/self/status"));
    std::ofstream(Path("locked")) << "x";
    TARNFileLocker locker(TARNStackedString<40>(Path("locked").c_str()), true);
    ASSERT_TRUE(locker);
    TARNFolderBrowser browser;
    ASSERT_TRUE(browser.Open((root + "/*").c_str()));
    std::vector<const char*> arguments = {
        "/bin/sh", "-c", "for fd; do if [ -e /proc/self/fd/$fd ]; then echo $fd; fi; done", "sh"};
    std::vector<std::string> numbers;
    for (int descriptor : openDescriptors()) {
        if (!before.count(descriptor)) numbers.push_back(std::to_string(descriptor));
    }
    ASSERT_GE(numbers.size(), 6u);
    TARNArray<TARNStackedString<40> > argumentArray;
    for (const char* argument : arguments) argumentArray.PushBack(argument);
    for (const std::string& number : numbers) argumentArray.PushBack(number.c_str());

    TARNPipe output;
    TARNProcess process(argumentArray, nullptr, &output, nullptr, true, false);
    ASSERT_EQ(process.runAsChild(), 1);
    EXPECT_EQ(ReadToEnd(output.getReadDescriptor()), "") << "descriptors open in the child";
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
}

TEST_F(Process, StartingWhileAnotherThreadConvertsTexts) {
    // The converter's lock is held most of the time by the other thread: a child that
    // converted anything between fork and exec would wait for it for ever.
    std::atomic<bool> stop{false};
    std::atomic<int> conversions{0};
    std::thread converter([&] {
        while (!stop) {
            TARNIconv::releaseLocale(TARNIconv::UTF8ToLocale("some text to convert"));
            ++conversions;
        }
    });
    while (conversions == 0) std::this_thread::yield();
    for (int i = 0; i < 20; ++i) {
        TARNProcess process(Arguments({"/bin/true"}), nullptr, nullptr, nullptr, true, false);
        ASSERT_EQ(process.runAsChild(), 1);
        int code = -7;
        if (process.wait(code, 10L * 1000 * 1000) != 0) {
            process.terminate();
            ADD_FAILURE() << "child " << i << " did not end";
            break;
        }
    }
    stop = true;
    converter.join();
}

TEST_F(Process, WorkingFolderAndRelativeProgramPath) {
    std::filesystem::create_directory(Path("sub"));
    {
        std::ofstream script(Path("sub/tool"));
        script << "#!/bin/sh\npwd\n";
    }
    std::filesystem::permissions(Path("sub/tool"), std::filesystem::perms::owner_all);
    TARNPipe output;
    TARNProcess process(Arguments({"./tool"}), nullptr, &output, nullptr, true, false);
    process.setCurrentDirectory(Path("sub").c_str());
    ASSERT_EQ(process.runAsChild(), 1);
    EXPECT_EQ(ReadToEnd(output.getReadDescriptor()), Path("sub") + "\n");
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
    EXPECT_EQ(code, 0);
}

TEST_F(Process, DetachedChildLeadsItsOwnProcessGroup) {
    TARNPipe input;
    TARNProcess process(Arguments({"/bin/cat"}), &input, nullptr, nullptr, true, false);
    int pid = 0;
    ASSERT_EQ(process.runDetached(&pid), 1);
    EXPECT_EQ(getpgid(pid), pid);
    EXPECT_NE(getpgid(pid), getpgrp());
    input.closeWriteDescriptor();
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
}

TEST_F(Process, EnvironmentIsACopyThatCanBeEdited) {
    char* entries[] = {const_cast<char*>("X=1=2"),        const_cast<char*>("=x"),
                       const_cast<char*>("NOEQUALSSIGN"), const_cast<char*>(""),
                       const_cast<char*>("DUP=a"),        const_cast<char*>("DUP=b"),
                       const_cast<char*>("Case=upper"),   nullptr};
    char** saved = environ;
    environ = entries;
    TARNPipe output;
    TARNProcess process(Arguments({"/usr/bin/env"}), nullptr, &output, nullptr, true, false);
    environ = saved;

    EXPECT_EQ(process.getEnvironmentSize(), 5);
    ASSERT_NE(process.getEnvironmentVariable("X"), nullptr);
    EXPECT_STREQ(process.getEnvironmentVariable("X")->c_str(), "1=2");
    ASSERT_NE(process.getEnvironmentVariable(""), nullptr);
    EXPECT_STREQ(process.getEnvironmentVariable("")->c_str(), "x");
    EXPECT_EQ(process.getEnvironmentVariable("NOEQUALSSIGN"), nullptr);
    EXPECT_EQ(process.getEnvironmentVariable("case"), nullptr) << "names compare byte for byte";

    process.setEnvironmentVariable("DUP", "c");  // the first pair of the name
    process.removeEnvironmentVariable("DUP");    // and again the first: "b" stays
    process.setEnvironmentVariable("NEW", "value");
    process.removeEnvironmentVariable("ABSENT");
    ASSERT_EQ(process.runAsChild(), 1);
    EXPECT_EQ(sortedLines(ReadToEnd(output.getReadDescriptor())),
              (std::vector<std::string>{"=x", "Case=upper", "DUP=b", "NEW=value", "X=1=2"}));
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
}

TEST_F(Process, WithoutACopyTheProgramGetsAnEmptyEnvironment) {
    TARNPipe output;
    TARNProcess process(Arguments({"/usr/bin/env"}), nullptr, &output, nullptr, false, false);
    EXPECT_EQ(process.getEnvironmentSize(), 0);
    ASSERT_EQ(process.runAsChild(), 1);
    EXPECT_EQ(ReadToEnd(output.getReadDescriptor()), "");
    int code = -7;
    EXPECT_EQ(WaitForEnd(process, code), 0);
}

TEST_F(Process, RunAsCurrentReplacesTheProcess) {
    TARNPipe output;
    TARNProcess process(Arguments({"/bin/echo", "replaced"}), nullptr, &output, nullptr, true, false);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        process.runAsCurrent();
        _exit(99);  // only when it failed
    }
    output.closeWriteDescriptor();
    EXPECT_EQ(ReadToEnd(output.getReadDescriptor()), "replaced\n");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Process, RunAsCurrentReturnsWhenTheProgramCannotRun) {
    for (auto arguments : {Arguments({"/no/such/program"}), Arguments({})}) {
        TARNProcess process(arguments, nullptr, nullptr, nullptr, true, false);
        process.runAsCurrent();
        EXPECT_EQ(std::filesystem::current_path().string(), root);
    }
}
