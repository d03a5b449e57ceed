// Runs a built program as a user runs it, for the tests of the command-line programs: its
// exit status or the signal that ended it, and what it printed on each stream. A program
// may be started and finished apart, for a test that acts on it while it runs (sends it a
// signal, changes its files); every wait for it has a deadline.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/await_condition.hpp"

struct ProgramOutcome {
    bool exited = false;
    int status = -1;  // the exit status, when it exited
    int signal = 0;   // the signal that ended it, when it did not
    std::string out;
    std::string err;
};

// How the program is started, besides its arguments.
struct ProgramSetup {
    // The largest file it may write, in bytes (RLIMIT_FSIZE); 0 for no limit.
    long fileSizeLimit = 0;
    // Its standard output is a pipe that nobody reads: the reading end is closed before it
    // starts, so its writes there fail (EPIPE, or SIGPIPE where not ignored).
    bool outputToClosedPipe = false;
    // Its standard output, or error, is a pipe filled to the brim before it starts, whose
    // reading end the test holds without reading until the program is finished: its writes
    // there wait (see WaitingInPoll). Nothing of that stream is in the outcome.
    bool outputToFullPipe = false;
    bool errorsToFullPipe = false;
    // Its standard output is this file instead ("/dev/full": every write fails with ENOSPC).
    // Nothing of that stream is in the outcome.
    std::string outputFile;
};

// Whether the thread `thread` of process `process` (its main thread when 0) waits in poll(2)
// on `descriptors` descriptors, as the kernel shows it (its system call and that argument).
inline bool WaitingInPoll(pid_t process, int descriptors, pid_t thread = 0) {
    const std::string path = "/proc/" + std::to_string(process) + "/task/" +
                             std::to_string(thread != 0 ? thread : process) + "/syscall";
    std::ifstream file(path);
    long number = -1;
    std::string array;
    std::string count;
    if (!(file >> number >> array >> count)) return false;
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%x", descriptors);
#ifdef SYS_poll
    if (number == SYS_poll) return count == hex;
#endif
    return number == SYS_ppoll && count == hex;
}

// A program started by Start and not yet finished. Finish waits for it; a program still
// running at its deadline is killed and the test fails.
class RunningProgram {
  public:
    // Runs `program` with `arguments` in the folder `workingFolder`, its output caught in files.
    static RunningProgram Start(const std::string& program, const std::vector<std::string>& arguments,
                                const std::string& workingFolder, const ProgramSetup& setup = {}) {
        RunningProgram running;
        running.m_program = program;
        // CTest runs the cases of a file in parallel processes; one process may run several.
        static std::atomic<int> started{0};
        const std::string prefix =
            ::testing::TempDir() + "program_" + std::to_string(getpid()) + "_" + std::to_string(started++);
        running.m_outPath = prefix + "_stdout.txt";
        running.m_errPath = prefix + "_stderr.txt";
        std::vector<std::string> words{program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);

        int pipeEnds[2] = {-1, -1};
        if (setup.outputToClosedPipe && pipe(pipeEnds) != 0) {
            ADD_FAILURE() << "cannot make a pipe";
            return running;
        }
        // The writing ends of the full pipes, for the standard output and error.
        int fullOut = -1;
        int fullErr = -1;
        if ((setup.outputToFullPipe && !running.fullPipe(fullOut)) ||
            (setup.errorsToFullPipe && !running.fullPipe(fullErr)))
            return running;
        running.m_child = fork();
        if (running.m_child == 0) {
            const std::string& outPath = setup.outputFile.empty() ? running.m_outPath : setup.outputFile;
            const int out = setup.outputToClosedPipe ? pipeEnds[1]
                            : fullOut >= 0           ? fullOut
                                           : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (setup.outputToClosedPipe) close(pipeEnds[0]);
            const int err =
                fullErr >= 0 ? fullErr : open(running.m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                chdir(workingFolder.c_str()) != 0)
                _exit(127);
            if (setup.fileSizeLimit > 0) {
                const rlimit limit{static_cast<rlim_t>(setup.fileSizeLimit),
                                   static_cast<rlim_t>(setup.fileSizeLimit)};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
            }
            // The test's own dispositions are not the user's.
            signal(SIGPIPE, SIG_DFL);
            signal(SIGXFSZ, SIG_DFL);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (setup.outputToClosedPipe) {
            close(pipeEnds[0]);
            close(pipeEnds[1]);
        }
        for (const int end : {fullOut, fullErr})
            if (end >= 0) close(end);
        if (running.m_child < 0) ADD_FAILURE() << "cannot run " << program;
        return running;
    }

    RunningProgram(RunningProgram&& other) noexcept { *this = std::move(other); }
    RunningProgram& operator=(RunningProgram&& other) noexcept {
        std::swap(m_child, other.m_child);
        std::swap(m_heldPipes, other.m_heldPipes);
        m_program = std::move(other.m_program);
        m_outPath = std::move(other.m_outPath);
        m_errPath = std::move(other.m_errPath);
        return *this;
    }
    // A program never finished is killed.
    ~RunningProgram() {
        if (m_child > 0) Finish(std::chrono::seconds(0));
    }

    pid_t Pid() const { return m_child; }
    void Signal(int number) const {
        if (m_child > 0) kill(m_child, number);
    }
    // Whether it still runs (it is not reaped here).
    bool Running() const {
        siginfo_t info{};
        return m_child > 0 &&
               waitid(P_PID, static_cast<id_t>(m_child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }

    // Waits until it ends, at most `deadline`; one still running then is killed, and the
    // test fails.
    ProgramOutcome Finish(std::chrono::milliseconds deadline = std::chrono::minutes(2)) {
        ProgramOutcome outcome;
        if (m_child <= 0) return outcome;
        const auto until = std::chrono::steady_clock::now() + deadline;
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = waitpid(m_child, &status, WNOHANG)) == 0) {
            if (std::chrono::steady_clock::now() >= until) {
                ADD_FAILURE() << m_program << " still runs after " << deadline.count() << " ms: killed";
                kill(m_child, SIGKILL);
                reaped = waitpid(m_child, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        m_child = 0;
        for (const int end : m_heldPipes) close(end);
        m_heldPipes.clear();
        if (reaped <= 0) {
            ADD_FAILURE() << "cannot wait for " << m_program;
            return outcome;
        }
        outcome.exited = WIFEXITED(status);
        if (outcome.exited) outcome.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
        auto readFile = [](const std::string& path) {
            std::ifstream file(path, std::ios::binary);
            return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        };
        outcome.out = readFile(m_outPath);
        outcome.err = readFile(m_errPath);
        std::remove(m_outPath.c_str());
        std::remove(m_errPath.c_str());
        return outcome;
    }

  private:
    RunningProgram() = default;

    // A pipe filled until it takes no more; its writing end in `writing`, its reading end
    // held until the program is finished.
    bool fullPipe(int& writing) {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "cannot make a pipe";
            return false;
        }
        m_heldPipes.push_back(ends[0]);
        const int flags = fcntl(ends[1], F_GETFL);
        fcntl(ends[1], F_SETFL, flags | O_NONBLOCK);
        const std::string block(4096, 'x');
        while (write(ends[1], block.data(), block.size()) > 0) {
        }
        // A write of less than a block may still fit.
        while (write(ends[1], "x", 1) > 0) {
        }
        // The program gets the end as a program's output is: waiting when full.
        fcntl(ends[1], F_SETFL, flags);
        writing = ends[1];
        return true;
    }

    pid_t m_child = 0;
    std::vector<int> m_heldPipes;
    std::string m_program;
    std::string m_outPath;
    std::string m_errPath;
};

// Runs `program` to its end (see RunningProgram).
inline ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::string& workingFolder, const ProgramSetup& setup = {}) {
    return RunningProgram::Start(program, arguments, workingFolder, setup).Finish();
}

