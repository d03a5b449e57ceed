// The fixture of the tests that run the built "tarnhost decode" as a user runs it, in a
// fresh folder (TempFolderTest) that holds a one-frame capture, capture.bin. For the test
// programs that define TARN_TARNHOST (the program), TARN_TEST_PACKAGE and, where the CPU
// package is built, PIXTRACT_CPU_PATH: the tests of decoding are compiled only there, and
// fail (never skip) when its decoder is missing.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/capture_writer.hpp"
#include "support/program_run.hpp"
#include "support/temp_folder_fixture.hpp"

class TarnhostDecodeTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        capture::WriteCapture(Path("capture.bin"), {capture::WriteFrame({}).bytes});
    }
    // "tarnhost decode ARGUMENTS...", run to its end in the test's folder; one still running
    // at `deadline` is killed and the test fails.
    ProgramOutcome Decode(const std::vector<std::string>& arguments, const ProgramSetup& setup = {},
                          std::chrono::milliseconds deadline = std::chrono::minutes(2)) const {
        return StartDecode(arguments, setup).Finish(deadline);
    }
    RunningProgram StartDecode(const std::vector<std::string>& arguments,
                               const ProgramSetup& setup = {}) const {
        std::vector<std::string> words{"decode"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return RunningProgram::Start(TARN_TARNHOST, words, root, setup);
    }
    // Ended by itself with status 1, nothing on the standard output, `line` alone on the
    // standard error.
    static void ExpectOneLineOfRefusal(const ProgramOutcome& outcome, const std::string& line) {
        EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, line);
    }
    // The last line of `text`, with its end of line.
    static std::string LastLine(const std::string& text) {
        const size_t end = text.size() > 1 ? text.rfind('\n', text.size() - 2) : std::string::npos;
        return end == std::string::npos ? text : text.substr(end + 1);
    }
};
