// The built tarnhost program, run as a user runs it: its exit status, what it prints, its
// usage when asked, and that a damaged or foreign file ends in one line of error rather than
// a signal.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/program_run.hpp"
#include "support/scratch_files.hpp"
#include "whole_file.hpp"

namespace {

using Outcome = ProgramOutcome;

Outcome RunTarnhost(const std::vector<std::string>& arguments, const std::string& workingFolder,
                    const ProgramSetup& setup = {}) {
    return RunProgram(TARN_TARNHOST, arguments, workingFolder, setup);
}

// The package's bytes with its ELF header changed by `change`.
std::string WithHeader(std::string bytes, const std::function<void(Elf64_Ehdr&)>& change) {
    Elf64_Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof header);
    change(header);
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

// Where the last loadable segment of an ELF file's bytes ends: cutting the file anywhere
// before that leaves a segment with no file behind some of its pages.
uint64_t LoadedEnd(const std::string& bytes) {
    Elf64_Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof header);
    uint64_t end = 0;
    for (int i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment;
        std::memcpy(&segment, bytes.data() + header.e_phoff + i * sizeof segment, sizeof segment);
        if (segment.p_type == PT_LOAD) end = std::max<uint64_t>(end, segment.p_offset + segment.p_filesz);
    }
    return end;
}

// Damaged, empty, foreign and non-ELF files: each is refused before it is mapped, with one
// line naming the file and the fault, and status 1. dlopen on the truncated ones maps
// segments with no file behind them and dies of SIGBUS.
TEST(Tarnhost, InfoRefusesWhatIsNoLoadableSharedObject) {
    const std::string package = ReadWholeFile(TARN_TEST_PACKAGE).value();
    const uint64_t loadedEnd = LoadedEnd(package);
    ASSERT_GT(loadedEnd, 20000u);
    struct Case {
        const char* name;
        std::string bytes;
        // The reason printed, or its start when it ends with the package's layout.
        std::string reason;
    };
    const Case cases[] = {
        {"empty", "", "the file is empty"},
        {"text", "hello, this is a text file and no package at all\n", "not an ELF file"},
        {"ELF magic only", package.substr(0, 40), "truncated: the file ends inside the ELF header"},
        {"ELF header only", package.substr(0, 64),
         "truncated: the program headers end beyond the file's 64 bytes"},
        {"first 20000 bytes", package.substr(0, 20000), "truncated: loadable segment "},
        {"half the loadable bytes", package.substr(0, loadedEnd / 2), "truncated: loadable segment "},
        {"one loadable byte short", package.substr(0, loadedEnd - 1), "truncated: loadable segment "},
        {"32-bit", WithHeader(package, [](Elf64_Ehdr& h) { h.e_ident[EI_CLASS] = ELFCLASS32; }),
         "not a 64-bit ELF file"},
        {"big-endian", WithHeader(package, [](Elf64_Ehdr& h) { h.e_ident[EI_DATA] = ELFDATA2MSB; }),
         "an ELF file of the other byte order"},
        {"another processor", WithHeader(package, [](Elf64_Ehdr& h) { h.e_machine = EM_RISCV; }),
         "an ELF file for another processor (machine 243)"},
        {"executable", WithHeader(package, [](Elf64_Ehdr& h) { h.e_type = ET_EXEC; }),
         "not a shared object (ELF type 2)"},
        {"odd program header size", WithHeader(package, [](Elf64_Ehdr& h) { h.e_phentsize = 32; }),
         "malformed ELF file: unexpected program header table"},
    };
    const std::string path = ScratchPath("damaged.pck");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWholeFile(path, c.bytes);
        const Outcome outcome = RunTarnhost({"info", path}, ::testing::TempDir());
        EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        const std::string start = "tarnhost: cannot load " + path + ": " + c.reason;
        EXPECT_EQ(outcome.err.substr(0, start.size()), start) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
    }
    std::remove(path.c_str());
}

// A bare file name is the file in the working folder, as on a command line, not a name for
// dlopen to search the library path for.
TEST(Tarnhost, InfoLoadsABareFileNameFromTheWorkingFolder) {
    const std::string package = TARN_TEST_PACKAGE;
    const size_t slash = package.rfind('/');
    const std::string name = package.substr(slash + 1);
    const Outcome outcome = RunTarnhost({"info", name}, package.substr(0, slash));
    EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out.substr(0, outcome.out.find('\n') + 1), "package: " + name + "\n");
    EXPECT_NE(outcome.out.find("digest: matches\n"), std::string::npos) << outcome.out;
}

// What it cannot print is an error, whatever it was printing: a full disk under its standard
// output ends each command with a line that says so and status 1, never status 0.
TEST(Tarnhost, AStandardOutputThatTakesNothingIsAnError) {
    ASSERT_TRUE(std::ifstream("/dev/full").good()) << "/dev/full is missing";
    ProgramSetup setup;
    setup.outputFile = "/dev/full";
    const std::vector<std::string> commands[] = {
        {"info", TARN_TEST_PACKAGE}, {"--help"}, {"decode", "--help"}};
    for (const std::vector<std::string>& arguments : commands) {
        SCOPED_TRACE(arguments.front());
        const Outcome outcome = RunTarnhost(arguments, ::testing::TempDir(), setup);
        EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 1);
        if (arguments.front() == "info") {
            EXPECT_EQ(outcome.err, "tarnhost: cannot write the standard output\n");
        }
    }
}

// Asked for, the usage goes to the standard output with status 0; a command line that is
// wrong gets a line saying so and the usage on the standard error, with status 1.
TEST(Tarnhost, HelpIsAskedForInEveryUsualWayAndMistakesAreErrors) {
    struct Case {
        std::vector<std::string> arguments;
        bool asked;
        std::string start;  // of what it prints
    };
    const std::string general = "usage: tarnhost info PACKAGE\n       tarnhost decode CAPTURE ";
    const std::string decode = "usage: tarnhost decode CAPTURE ";
    const std::string info = "usage: tarnhost info PACKAGE\nLoads the package";
    const Case cases[] = {
        {{"--help"}, true, general},
        {{"-h"}, true, general},
        {{"help"}, true, general},
        {{"decode", "--help"}, true, decode},
        {{"decode", "capture.bin", "-h"}, true, decode},
        {{"info", "--help"}, true, info},
        {{}, false, "tarnhost: which command?\n" + general},
        {{"play"}, false, "tarnhost: unknown command \"play\"\n" + general},
        {{"info"}, false, "tarnhost: info takes one package\n" + info},
    };
    for (const Case& c : cases) {
        std::string words;
        for (const std::string& word : c.arguments) words += " " + word;
        SCOPED_TRACE("tarnhost" + words);
        const Outcome outcome = RunTarnhost(c.arguments, ::testing::TempDir());
        EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, c.asked ? 0 : 1);
        const std::string& printed = c.asked ? outcome.out : outcome.err;
        EXPECT_EQ(printed.substr(0, c.start.size()), c.start) << printed;
        EXPECT_EQ(c.asked ? outcome.err : outcome.out, "");
    }
}

}  // namespace
