#include "host_kernel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dataflow/definitions.hpp"
#include "dataflow/module.hpp"
#include "engine/event.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
#include "engine/wait_for_timestamp.hpp"
#include "host_recorder.hpp"
#include "kernel_binding.hpp"
#include "runtime/mutex.hpp"

TEST(HostKernel, SymbolsRegisterOnceAndUnregister) {
    HostKernel kernel;
    TARNSymRec* record = kernel.RegisterSymbol("cam.out", 3);
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->name, "cam.out");
    EXPECT_EQ(record->kind, 3);
    kernel.ConfirmSymbol();
    EXPECT_EQ(kernel.RegisterSymbol("cam.out", 3), nullptr);
    EXPECT_EQ(kernel.FindSymbol("cam.out"), record);
    EXPECT_EQ(kernel.FindSymbol("cam.in"), nullptr);

    kernel.UnregisterSymbol("cam.out");
    EXPECT_EQ(kernel.FindSymbol("cam.out"), nullptr);
    EXPECT_NE(kernel.RegisterSymbol("cam.out", 4), nullptr);
    kernel.UnregisterSymbol("never.registered");
}

// A renaming caller holds the symbol lock across lookups and registrations; another
// thread's registration waits until the lock is released.
TEST(HostKernel, SymbolLockIsHeldAcrossOperations) {
    HostKernel kernel;
    kernel.LockSymbols();
    EXPECT_NE(kernel.RegisterSymbol("a", 1), nullptr);
    bool registered = false;
    std::thread other([&] { registered = kernel.RegisterSymbol("b", 1) != nullptr; });
    EXPECT_NE(kernel.FindSymbol("a"), nullptr);
    EXPECT_EQ(kernel.FindSymbol("b"), nullptr);
    kernel.UnlockSymbols();
    other.join();
    EXPECT_TRUE(registered);
}

// The host's own copy of the SDK reaches the kernel through TARNPrivate::kernel: a kernel is
// bound from its making to its end, whatever else is bound around it, and then binds back
// the one before.
TEST(HostKernel, IsBoundForItsWholeLifeThenBindsBackThePreviousOne) {
    const KernelBinding unbound(nullptr);
    {
        HostKernel outer;
        EXPECT_EQ(TARNPrivate::kernel, &outer);
        {
            HostKernel kernel;
            ASSERT_EQ(TARNPrivate::kernel, &kernel);
            kernel.Time().UseManualClock(0);
            kernel.Events().SetManualTriggers(true);
            kernel.Time().SetCurrentTime(5'000'000);
            // Host-side SDK code that reaches the kernel: its engine time, its engine-time
            // bracket and condition, its event service.
            EXPECT_TRUE(TARN::WaitForTimestamp(5'000'000, nullptr, nullptr));
            TARNEvent cancel;
            cancel.Set();
            EXPECT_FALSE(TARN::WaitForTimestamp(6'000'000, &cancel, nullptr));
            EXPECT_EQ(kernel.Time().BracketsOpened(), 2);
            EXPECT_EQ(kernel.Time().BracketsClosed(), 2);
        }
        EXPECT_EQ(TARNPrivate::kernel, &outer);
    }
    EXPECT_EQ(TARNPrivate::kernel, nullptr);
}

TEST(HostKernel, OperationsItDoesNotProvideReportOnceAndAnswerNeutrally) {
    HostKernel kernel;
    const HostRecorder recorder(kernel);
    EXPECT_FALSE(kernel.Parse("a"));
    EXPECT_FALSE(kernel.Parse("b"));
    EXPECT_EQ(kernel.GetFirstTimestamp(), -1);
    EXPECT_EQ(recorder.Reports(),
              (std::vector<HostReport>{{"The host kernel does not provide Parse", 1, 0, true},
                                       {"The host kernel does not provide GetFirstTimestamp", 1, 0, true}}));
}

// What a module tells the engine as it makes or removes an input or output: the host keeps
// no model of the graph for these to update, so each is taken in silence. Every component
// with elements sends them; a warning would greet every author's first run.
TEST(HostKernel, ElementNoticesAreTakenInSilence) {
    HostKernel kernel;
    const HostRecorder recorder(kernel);
    EXPECT_TRUE(kernel.RegisterInput(nullptr));
    EXPECT_TRUE(kernel.RegisterOutput(nullptr));
    kernel.OutputCreated("m.out", "m", "m.out", 0);
    kernel.RecorderInputCreated("recorder", "m.in");
    kernel.InputRemoving("m.in");
    kernel.OutputRemoving("m.out");
    std::vector<std::string> reported;
    for (const HostReport& report : recorder.Reports()) reported.push_back(report.message);
    EXPECT_EQ(reported, std::vector<std::string>{});
}

TEST(HostKernel, UnknownPropertiesAreNotFoundAndNotReported) {
    HostKernel kernel;
    const HostRecorder recorder(kernel);
    for (const char* name : {"Engine.noSuchProperty", "Nobody.here", ""}) {
        bool found = true;
        EXPECT_EQ(kernel.GetIntegerProperty(name, &found), 0) << name;
        EXPECT_FALSE(found) << name;
        found = true;
        EXPECT_FALSE(kernel.GetBoolProperty(name, &found));
        EXPECT_FALSE(found);
        EXPECT_EQ(kernel.FindProperty(name), nullptr);
    }
    EXPECT_TRUE(recorder.Reports().empty());
}

TEST(HostKernel, FormatsReportsByLevel) {
    EXPECT_EQ(HostKernel::Format({"a", 0, 0, false}), "info: a");
    EXPECT_EQ(HostKernel::Format({"b", 1, 7, false}), "warning: b (7)");
    EXPECT_EQ(HostKernel::Format({"c", 2, -5, true}), "error: c (-5)");
}

// What tarnhost shows: each report as it arrives, errors apart; nothing once the echo stops.
TEST(HostKernel, EchoesReportsAsTheyArrive) {
    HostKernel kernel;
    std::ostringstream out, errors;
    kernel.EchoReports(&out, &errors);
    kernel.Report("a", 0, 0, false);
    EXPECT_EQ(out.str(), "info: a\n") << "printed before the next report comes";
    kernel.Report("b", 1, 7, false);
    kernel.Report("c", 2, -5, true);
    kernel.EchoReports(nullptr, nullptr);
    kernel.Report("d", 2, 0, false);
    EXPECT_EQ(out.str(), "info: a\nwarning: b (7)\n");
    EXPECT_EQ(errors.str(), "error: c (-5)\n");
}

TEST(HostKernel, ShutdownSetsTheShutdownEvent) {
    HostKernel kernel;
    TARNEvent* shutdown = kernel.GetShutdownEvent();
    EXPECT_EQ(shutdown->Wait(0L), -3);
    kernel.Shutdown();
    EXPECT_EQ(shutdown->Wait(0L), 0);
}

// A property comes and goes under its module's lock while another thread reads it by name.
// Registration holds the module lock and then takes the symbol lock, so the reader must
// never wait for the module lock while it holds the symbol lock; and it must not touch the
// property once it was unregistered and deleted (ThreadSanitizer and AddressSanitizer see
// both). Each round waits until the reader has found the property once, so that every
// removal meets a reader that is reading it.
TEST(HostKernel, ReadsByNameWhileThePropertyComesAndGoes) {
    constexpr int Rounds = 4000;
    HostKernel kernel;
    TARNModule cam("cam", false, false);
    const TARNPropertyDefinition gain("gain", new TARNPropertyValue(7L), nullptr, false, true, false, true);
    std::atomic<bool> done{false};
    std::atomic<long> reads{0};
    std::thread reader([&] {
        while (!done) {
            bool found = false;
            const long value = kernel.GetIntegerProperty("cam.gain", &found);
            if (found) {
                EXPECT_EQ(value, 7);
                ++reads;
            }
        }
    });
    int round = 0;
    for (; round < Rounds; ++round) {
        TARNProperty* property = cam.NewProperty(gain, nullptr);
        if (property == nullptr) {
            ADD_FAILURE() << "round " << round << ": the property was not made";
            break;
        }
        const long before = reads;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (reads == before && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        const bool read = reads > before;
        TARNMutexGuard lock(cam.moduleLock);
        cam.RemoveProperty(property);
        if (!read) {
            ADD_FAILURE() << "round " << round << ": the reader never found the property";
            break;
        }
    }
    // Reached on every way out of the loop: the reader must be joined before the test ends.
    done = true;
    reader.join();
    EXPECT_EQ(round, Rounds);
    EXPECT_GE(reads.load(), Rounds);
    EXPECT_EQ(kernel.FindProperty("cam.gain"), nullptr);
}
