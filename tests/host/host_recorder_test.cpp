#include "host_recorder.hpp"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <string>
#include <vector>

#include "host_kernel.hpp"
#include "tarn/engine/event.hpp"

// The sanitizer runtimes keep their own heap and answer for it; without one, the C library does.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

long HeapInUse() {
    if (__sanitizer_get_current_allocated_bytes)
        return static_cast<long>(__sanitizer_get_current_allocated_bytes());
    return static_cast<long>(mallinfo2().uordblks);
}

// Gives the kernel one of everything it may keep for a recorder: a report, a change reason,
// a module-state notice, a synchronisation command and a trigger request. The texts are long
// enough to live on the heap.
void ReceiveOneOfEach(HostKernel& kernel, TARNEvent& event, int i) {
    kernel.Report("a report long enough to be kept on the heap", 1, i, false);
    kernel.BeginChange("a change reason long enough to be kept on the heap");
    kernel.EndChange();
    kernel.ModuleStateChanged("a module with a name long enough for the heap", static_cast<unsigned int>(i));
    kernel.SynchronizationCommand(i);
    kernel.Events().SetTrigger(&event, kernel.Time().MonotonicMicroseconds() + i);
}

}  // namespace

// A long run without a recorder keeps nothing of what the kernel receives: tens of thousands
// of reports, changes, notices, commands and trigger requests leave the heap as it was.
TEST(HostRecorder, WithoutOneTheKernelKeepsNothing) {
    constexpr int Rounds = 20000;
    HostKernel kernel;
    kernel.Events().SetManualTriggers(true);
    TARNEvent event;
    // Whatever is made once (the module's state entry, the trigger table) is made here.
    ReceiveOneOfEach(kernel, event, 0);
    const long before = HeapInUse();
    for (int i = 1; i <= Rounds; ++i) ReceiveOneOfEach(kernel, event, i);
    // One round of 20,000 kept would take megabytes; a few kilobytes of slack allow for
    // whatever the runtime itself allocates meanwhile.
    EXPECT_LT(HeapInUse() - before, 64 * 1024);
    EXPECT_EQ(kernel.ChangesOpened(), Rounds + 1) << "counted all the same";
    EXPECT_EQ(kernel.Events().TriggerRequests(), Rounds + 1);
    kernel.Events().ResetTrigger(&event);
}

// A recorder sees, in order, everything the kernel receives from its making to its end, and
// nothing before or after.
TEST(HostRecorder, SeesWhatTheKernelReceivesWhileItLives) {
    HostKernel kernel;
    kernel.Events().SetManualTriggers(true);
    kernel.Time().UseManualClock(1000);
    TARNEvent event;
    kernel.Report("before", 0, 0, false);
    {
        HostRecorder recorder(kernel);
        kernel.Report("first", 1, 7, false);
        kernel.Report("second", 2, -5, true);
        kernel.BeginChange("rename");
        kernel.EndChange();
        kernel.BeginChange(nullptr);
        kernel.EndChange();
        kernel.ModuleStateChanged("cam", 4);
        kernel.ModuleStateChanged("cam", 12);
        kernel.SynchronizationCommand(3);
        kernel.Events().SetTrigger(&event, 1250);
        kernel.Events().SetTrigger(&event, 900);

        EXPECT_EQ(recorder.Reports(),
                  (std::vector<HostReport>{{"first", 1, 7, false}, {"second", 2, -5, true}}));
        EXPECT_EQ(recorder.ChangeReasons(), (std::vector<std::string>{"rename", ""}));
        EXPECT_EQ(recorder.ModuleStateNotices(),
                  (std::vector<HostModuleStateNotice>{{"cam", 4}, {"cam", 12}}));
        EXPECT_EQ(recorder.SynchronizationCommands(), std::vector<int>{3});
        EXPECT_EQ(recorder.RequestedDelays(), (std::vector<long>{250, -100}));

        recorder.ClearReports();
        kernel.Report("third", 0, 0, false);
        EXPECT_EQ(recorder.Reports(), (std::vector<HostReport>{{"third", 0, 0, false}}));
    }
    // Detached: the kernel goes on without it.
    kernel.Report("after", 0, 0, false);
    kernel.Events().SetTrigger(&event, 2000);
    HostRecorder next(kernel);
    EXPECT_TRUE(next.Reports().empty());
    EXPECT_TRUE(next.RequestedDelays().empty());
    kernel.Events().ResetTrigger(&event);
}
