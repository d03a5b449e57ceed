// Runs a built program as a user runs it, for the tests of the command-line programs: its
// exit status or the signal that ended it, and what it printed on each stream.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

struct ProgramOutcome {
    bool exited = false;
    int status = -1;  // the exit status, when it exited
    int signal = 0;   // the signal that ended it, when it did not
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` in the folder `workingFolder`, its output caught in files.
// A program still running after `deadline` seconds fails the test and is killed (SIGKILL,
// which the outcome then tells): a hung program must not hang the suite.
inline ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::string& workingFolder, int deadline = 60) {
    auto readFile = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    };
    // CTest runs the cases of a file in parallel processes.
    const std::string prefix = ::testing::TempDir() + "program_" + std::to_string(getpid());
    const std::string outPath = prefix + "_stdout.txt";
    const std::string errPath = prefix + "_stderr.txt";
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(workingFolder.c_str()) != 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProgramOutcome outcome;
    int status = 0;
    if (child < 0) {
        ADD_FAILURE() << "cannot run " << program;
        return outcome;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(deadline);
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (ended == 0) {
        ADD_FAILURE() << program << " did not end within " << deadline << " s: it is killed";
        kill(child, SIGKILL);
        ended = waitpid(child, &status, 0);
    }
    if (ended != child) {
        ADD_FAILURE() << "cannot run " << program;
        return outcome;
    }
    outcome.exited = WIFEXITED(status);
    if (outcome.exited) outcome.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    outcome.out = readFile(outPath);
    outcome.err = readFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return outcome;
}
