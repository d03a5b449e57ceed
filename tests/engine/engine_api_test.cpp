#include <gtest/gtest.h>

#include "engine/kernel_pointer.hpp"
#include "support/host_kernel_fixture.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/engine_recording.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/reports.hpp"

namespace {
using EngineApi = HostKernelTest;

struct ReportCase {
    const char* name;
    void (*call)();
    HostReport expected;
};

const ReportCase reportCases[] = {
    {"info", [] { TARN::ReportInfo("i", 3); }, {"i", 0, 3, false}},
    {"warning", [] { TARN::ReportWarning("x", 7); }, {"x", 1, 7, false}},
    {"error", [] { TARN::ReportError("e", -2); }, {"e", 2, -2, false}},
    {"report", [] { TARN::Report("r", 1, 5); }, {"r", 1, 5, false}},
    {"private", [] { TARNPrivate::Report("p", 0, 9, true); }, {"p", 0, 9, true}},
};
}  // namespace

TEST_F(EngineApi, ReportsReachTheKernelWithTheirLevelParameterAndFlag) {
    for (const ReportCase& c : reportCases) {
        SCOPED_TRACE(c.name);
        recorder.ClearReports();
        c.call();
        EXPECT_EQ(recorder.Reports(), std::vector<HostReport>{c.expected});
    }
}

TEST_F(EngineApi, KernelErrorReportsAsTheEngineThenThrowsMinusFive) {
    try {
        TARNPrivate::KernelError("x", 3);
        FAIL() << "KernelError returned";
    } catch (int code) {
        EXPECT_EQ(code, -5);
    }
    EXPECT_EQ(recorder.Reports(), (std::vector<HostReport>{{"x", 2, 3, true}}));
}

TEST_F(EngineApi, TimeForwardersReachTheKernelsEngineTime) {
    kernel.Time().UseManualClock(1000);
    TARN::SetCurrentTime(5000000);
    EXPECT_EQ(TARN::CurrentTime(true, true), 5000000);
    TARN::SetTimeSpeed(2000);
    EXPECT_EQ(TARN::TimeSpeed(), 2000);
    EXPECT_EQ(TARNPrivate::GetAbsoluteTimeSpeed(), 2000);
    kernel.Time().AdvanceClock(10);
    EXPECT_EQ(TARN::CurrentTime(true, true), 5000020);
    EXPECT_EQ(TARN::GetSystemAccurateTiming(), 1010);

    TARN::Pause();
    EXPECT_TRUE(TARN::IsPaused());
    EXPECT_EQ(TARNPrivate::GetAbsoluteTimeSpeed(), 0);
    TARN::Play();
    EXPECT_FALSE(TARN::IsPaused());
}

// Two API functions that reach one kernel operation: the host reports an unknown component
// each time, so the reports prove both calls went to the same place; the recording switch
// is one the host keeps, so both functions turn it.
TEST_F(EngineApi, PairedFunctionsReachTheSameOperation) {
    TARN::StartComponent("a");
    TARN::RunComponent("a");
    EXPECT_EQ(recorder.Reports(), (std::vector<HostReport>{{"There is no component a.", 2, 0, true},
                                                           {"There is no component a.", 2, 0, true}}));
    TARN::StartRecording();
    EXPECT_TRUE(TARN::IsRecording());
    TARN::StopRecording();
    EXPECT_FALSE(TARN::IsRecording());
}

TEST_F(EngineApi, ExitUnbindsTheKernelAndASecondExitDoesNothing) {
    TARN::Exit();
    EXPECT_EQ(TARNPrivate::kernel, nullptr);
    TARN::Exit();
    EXPECT_EQ(TARNPrivate::kernel, nullptr);
}

TEST_F(EngineApi, StateQueriesAnswerTheHostsValues) {
    kernel.SetCheckLevel(2);
    EXPECT_EQ(TARN::CheckLevel(), 2);
    EXPECT_FALSE(TARN::IsRecording());
    EXPECT_EQ(TARN::GetShutdownEvent(), kernel.GetShutdownEvent());
    EXPECT_EQ(TARN::Property("Nobody.here"), nullptr);
    bool found = true;
    EXPECT_EQ(TARN::GetIntegerProperty("Nobody.here", &found), 0);
    EXPECT_FALSE(found);
    EXPECT_STREQ(TARN::About().c_str(), "tarnhost, a stand-in for the engine");
}
