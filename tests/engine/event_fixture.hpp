// A host kernel bound as the package's kernel, with engine time and triggers driven by hand:
// the monotonic clock stands still until a test advances it, and time triggers fire only
// when a test fires them. Every test checks that the engine-time brackets balance.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/kernel_pointer.hpp"
#include "host_kernel.hpp"

class HostKernelTest : public ::testing::Test {
  protected:
    static constexpr long ClockStart = 1'000'000'000;

    void SetUp() override {
        m_previous = TARNPrivate::kernel;
        TARNPrivate::kernel = &kernel;
        Time().UseManualClock(ClockStart);
        Events().SetManualTriggers(true);
    }

    void TearDown() override {
        EXPECT_EQ(Time().BracketsOpened(), Time().BracketsClosed()) << "unbalanced engine-time brackets";
        TARNPrivate::kernel = m_previous;
    }

    HostEngineTime& Time() { return kernel.Time(); }
    HostEventService& Events() { return kernel.Events(); }

    // The texts of the reports the kernel received, in order.
    std::vector<std::string> ReportTexts() {
        std::vector<std::string> texts;
        for (const auto& report : kernel.Reports()) texts.emplace_back(report.message);
        return texts;
    }

    HostKernel kernel;

  private:
    TARNKernel* m_previous = nullptr;
};
