// Programs started in a terminal window of their own: the X server's permission ("xhost")
// and the choice of the terminal program. A fake "xhost" on PATH stands in for the real one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "process_fixture.hpp"
#include "tarn/runtime/process.hpp"

using process_test::Arguments;

namespace {

constexpr const char* emulator = "/usr/bin/x-terminal-emulator";

class TerminalProcess : public process_test::ScratchFolder {
  protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        std::filesystem::create_directory(Path("bin"));
        marker = Path("xhost-ran");
    }

    // Puts a fake xhost on PATH that records each run and ends with the given status.
    void FakeXhost(int status) {
        const std::string script = Path("bin/xhost");
        std::ofstream(script) << "#!/bin/sh\necho ran >> '" << marker
                              << "'\necho 'access control disabled'\nexit " << status << "\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    }

    // Builds the process with exactly these environment entries and the standard output
    // on `output` (a file unless given: not a terminal), then puts both back.
    TARNProcess* Build(std::vector<std::string> entries, bool copyEnvironment, int output = -1) {
        std::vector<char*> environment;
        for (std::string& entry : entries) environment.push_back(entry.data());
        environment.push_back(nullptr);
        const int target =
            output >= 0 ? output : open(Path("stdout").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const int saved = fcntl(1, F_DUPFD_CLOEXEC, 3);
        std::fflush(stdout);
        dup2(target, 1);
        char** savedEnvironment = environ;
        environ = environment.data();
        auto* process =
            new TARNProcess(Arguments({"a", "b"}), nullptr, nullptr, nullptr, copyEnvironment, true);
        environ = savedEnvironment;
        dup2(saved, 1);
        close(saved);
        if (output < 0) close(target);
        return process;
    }

    std::string PathVariable() const { return "PATH=" + Path("bin") + ":/usr/bin:/bin"; }
    bool XhostRan() const { return std::filesystem::exists(marker); }

    static std::vector<std::string> Vector(const TARNProcess& process) {
        std::vector<std::string> texts;
        if (process.getArguments() == nullptr) return texts;
        for (char* const* entry = process.getArguments(); *entry != nullptr; ++entry) texts.push_back(*entry);
        return texts;
    }

    std::string marker;
};

}  // namespace

TEST_F(TerminalProcess, TerminalFromTheEnvironment) {
    FakeXhost(0);
    std::unique_ptr<TARNProcess> process(Build({PathVariable(), "TERM=xterm"}, true));
    EXPECT_TRUE(XhostRan());
    EXPECT_EQ(process->getArgumentCount(), 4);
    EXPECT_EQ(Vector(*process), (std::vector<std::string>{"xterm", "-e", "a", "b"}));
}

TEST_F(TerminalProcess, EmptyTerminalVariableLeavesNothingToStart) {
    FakeXhost(0);
    std::unique_ptr<TARNProcess> process(Build({PathVariable(), "TERM="}, true));
    EXPECT_TRUE(XhostRan());
    EXPECT_EQ(process->getArguments(), nullptr) << "even where " << emulator << " exists";
    EXPECT_EQ(process->getArgumentCount(), 0);
    EXPECT_EQ(process->runAsChild(), 0);
    EXPECT_EQ(process->runDetached(), 0);
    EXPECT_EQ(process->getState(), 0);
    process->runAsCurrent();  // returns at once
}

TEST_F(TerminalProcess, WithoutACopiedEnvironmentTheSystemTerminal) {
    FakeXhost(0);
    // xhost is found through this process's own PATH, whatever the copy flag.
    std::unique_ptr<TARNProcess> process(Build({PathVariable(), "TERM=xterm"}, false));
    EXPECT_TRUE(XhostRan());
    if (std::filesystem::exists(emulator)) {
        EXPECT_EQ(Vector(*process), (std::vector<std::string>{emulator, "-e", "a", "b"}));
    } else {
        EXPECT_EQ(process->getArguments(), nullptr);
    }
}

TEST_F(TerminalProcess, FailingOrMissingXhostLeavesNothingToStart) {
    FakeXhost(1);
    std::unique_ptr<TARNProcess> failing(Build({PathVariable(), "TERM=xterm"}, true));
    EXPECT_TRUE(XhostRan());
    EXPECT_EQ(failing->getArguments(), nullptr);
    EXPECT_EQ(failing->runAsChild(), 0);

    std::unique_ptr<TARNProcess> missing(Build({"PATH=" + Path("nothing"), "TERM=xterm"}, true));
    EXPECT_EQ(missing->getArguments(), nullptr);
    EXPECT_EQ(missing->runDetached(), 0);
}

TEST_F(TerminalProcess, OnATerminalTheProgramRunsThere) {
    FakeXhost(0);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    std::unique_ptr<TARNProcess> process(Build({PathVariable(), "TERM=xterm"}, true, terminal));
    close(terminal);
    close(master);
    EXPECT_FALSE(XhostRan());
    EXPECT_EQ(Vector(*process), (std::vector<std::string>{"a", "b"}));
}
