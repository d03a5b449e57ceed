// The fixtures of the tests that need a kernel: a HostKernel for the tests' own copy of the
// SDK, and the same with engine time and triggers driven by hand.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_engine_module.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "tarn/dataflow/property.hpp"

// The kernel binds itself as the SDK's kernel for its whole life and binds back the previous
// one after; the recorder keeps what it receives. Every test checks that the engine-time
// brackets balance: every way out of a wait, throws included, ends the section it began;
// and so do the graph-change brackets of element removal and dynamic re-creation.
class HostKernelTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(Time().BracketsOpened(), Time().BracketsClosed()) << "unbalanced engine-time brackets";
        EXPECT_EQ(kernel.ChangesOpened(), kernel.ChangesClosed()) << "unbalanced graph-change brackets";
    }

    HostEngineTime& Time() { return kernel.Time(); }

    // Runs `waits` with "Engine.shutdownTimeout" at `microseconds`, then puts the time-out
    // back. A short time-out belongs around the waits that meet a Core that never returns
    // and nothing else: a healthy component is never timed against it, since a loaded
    // machine may take longer than that to end one. An ASSERT inside `waits` ends `waits`
    // only: a test ends on it with ASSERT_NO_FATAL_FAILURE around the call.
    template <class Waits>
    void WithShutdownTimeout(long microseconds, Waits waits) {
        TARNProperty& timeout = kernel.EngineModule().Property("shutdownTimeout");
        const long before = timeout.IntegerValue();
        kernel.EngineModule().DirectSet(timeout, microseconds);
        waits();
        kernel.EngineModule().DirectSet(timeout, before);
    }
    HostEventService& Events() { return kernel.Events(); }

    std::vector<HostReport> Reports() const { return recorder.Reports(); }
    // The texts of the reports, in order.
    std::vector<std::string> ReportTexts() const {
        std::vector<std::string> texts;
        for (const HostReport& report : recorder.Reports()) texts.push_back(report.message);
        return texts;
    }
    // Only the reports of the given level: the host also warns once of each operation it
    // does not provide.
    std::vector<HostReport> ReportsAt(int level) const {
        std::vector<HostReport> selected;
        for (const HostReport& report : recorder.Reports())
            if (report.level == level) selected.push_back(report);
        return selected;
    }

    HostKernel kernel;
    HostRecorder recorder{kernel};
};

// The monotonic clock stands still until a test advances it, and time triggers fire only
// when a test fires them.
class ManualTimeTest : public HostKernelTest {
  protected:
    static constexpr long ClockStart = 1'000'000'000;

    void SetUp() override {
        HostKernelTest::SetUp();
        Time().UseManualClock(ClockStart);
        Events().SetManualTriggers(true);
    }
};
