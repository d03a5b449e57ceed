// The fixture of the module tests: a HostKernel bound as the package's kernel for the
// duration of each test, with the reports it collected.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/kernel_pointer.hpp"
#include "host_kernel.hpp"

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = TARNPrivate::kernel;
        TARNPrivate::kernel = &kernel;
    }
    void TearDown() override {
        // Every way out of a wait, throws included, ends the engine-time section it began.
        EXPECT_EQ(kernel.Time().BracketsOpened(), kernel.Time().BracketsClosed());
        TARNPrivate::kernel = m_previous;
    }

    std::vector<HostReport> Reports() const { return kernel.Reports(); }
    std::vector<std::string> ReportTexts() const {
        std::vector<std::string> texts;
        for (const HostReport& report : kernel.Reports()) texts.push_back(report.message);
        return texts;
    }
    // Only the reports of the given level: the host also warns once of each operation it
    // does not provide.
    std::vector<HostReport> ReportsAt(int level) const {
        std::vector<HostReport> selected;
        for (const HostReport& report : kernel.Reports())
            if (report.level == level) selected.push_back(report);
        return selected;
    }

    HostKernel kernel;

  private:
    TARNKernel* m_previous = nullptr;
};

// Runs `body`, which must throw an int, and answers that int (0 when nothing was thrown).
template <class Body>
int ThrownCode(Body body) {
    try {
        body();
    } catch (int code) {
        return code;
    }
    return 0;
}
