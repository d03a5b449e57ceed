#include "host_kernel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
#include "host_recorder.hpp"
#include "kernel_binding.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/wait_for_timestamp.hpp"
#include "tarn/runtime/mutex.hpp"

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
// both). Each round hands the property to the reader and waits until it has found it once,
// so that every removal meets a reader that is reading it; between rounds the reader sleeps
// on the handoff, so neither side spins for its turn.
TEST(HostKernel, ReadsByNameWhileThePropertyComesAndGoes) {
    constexpr int Rounds = 4000;
    constexpr auto Limit = std::chrono::seconds(10);
    HostKernel kernel;
    TARNModule cam("cam", false, false);
    const TARNPropertyDefinition gain("gain", new TARNPropertyValue(7L), nullptr, false, true, false, true);
    std::mutex handoff;
    std::condition_variable changed;
    int offered = 0;  // rounds whose property was made
    int found = 0;    // rounds in which the reader found it
    bool done = false;
    std::atomic<int> wrongValues{0};
    std::thread reader([&] {
        for (;;) {
            {
                std::unique_lock lock(handoff);
                if (!changed.wait_for(lock, Limit, [&] { return done || offered > found; }) || done) return;
            }
            // Reads until the property has gone: the removal comes while it is reading. A
            // read that finds it marks the round offered then as found.
            for (;;) {
                bool present = false;
                const long value = kernel.GetIntegerProperty("cam.gain", &present);
                if (!present) break;
                if (value != 7) ++wrongValues;
                const std::lock_guard lock(handoff);
                if (found < offered) {
                    found = offered;
                    changed.notify_all();
                }
            }
        }
    });
    int round = 1;
    for (; round <= Rounds; ++round) {
        TARNProperty* property = cam.NewProperty(gain, nullptr);
        if (property == nullptr) {
            ADD_FAILURE() << "round " << round << ": the property was not made";
            break;
        }
        bool read;
        {
            std::unique_lock lock(handoff);
            offered = round;
            changed.notify_all();
            read = changed.wait_for(lock, Limit, [&] { return found >= round; });
        }
        TARNMutexGuard lock(cam.moduleLock);
        cam.RemoveProperty(property);
        if (!read) {
            ADD_FAILURE() << "round " << round << ": the reader never found the property";
            break;
        }
    }
    // Reached on every way out of the loop: the reader must be joined before the test ends.
    {
        const std::lock_guard lock(handoff);
        done = true;
    }
    changed.notify_all();
    reader.join();
    EXPECT_EQ(round, Rounds + 1);
    EXPECT_EQ(wrongValues.load(), 0);
    EXPECT_EQ(kernel.FindProperty("cam.gain"), nullptr);
}

// A reader by name that meets the owner's module lock held (a long set-callback, a
// re-creation of elements) parks on the lock, pinned, and reads once the owner lets it go.
// Parked means blocked in the lock's wait: a reader that tried the lock again and again,
// however politely, would never be seen there.
TEST(HostKernel, ReaderByNameSleepsWhileTheOwnerHoldsItsLock) {
    HostKernel kernel;
    TARNModule cam("cam", false, false);
    const TARNPropertyDefinition gain("gain", new TARNPropertyValue(2.5), nullptr, false, true, false, true);
    ASSERT_NE(cam.NewProperty(gain, nullptr), nullptr);
    std::atomic<bool> read{false};
    double value = 0;
    bool present = false;
    cam.moduleLock.Lock();
    std::thread reader([&] {
        value = kernel.GetFloatProperty("cam.gain", &present);
        read = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cam.moduleLock.HasWaiter() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool parked = cam.moduleLock.HasWaiter();
    const int pins = cam.byNameReaders.Count();
    const bool readDuringTheHold = read;
    cam.moduleLock.Release();
    reader.join();
    EXPECT_TRUE(parked) << "the reader never blocked on the owner's lock";
    EXPECT_EQ(pins, 1) << "a parked reader holds a pin on the owner";
    EXPECT_FALSE(readDuringTheHold) << "read while the owner held its lock";
    EXPECT_TRUE(present);
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(cam.byNameReaders.Count(), 0);
}

// A reader by name that met the owner's lock busy sleeps on it and, once it has it, looks
// again: what the holder did meanwhile decides what it reads. Its pin on the owner is gone
// afterwards, whatever it found.
TEST(HostKernel, ReaderByNameWaitingForTheLockReadsWhatTheHolderLeft) {
    struct Case {
        const char* what;
        bool remove;
        long remade;  // the value of a property made again under the same name; 0 for none
        bool found;
        long value;
    };
    const Case cases[] = {
        {"left as it was", false, 0, true, 7},
        {"removed", true, 0, false, 0},
        {"removed and made again", true, 9, true, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostKernel kernel;
        TARNModule cam("cam", false, false);
        const TARNPropertyDefinition gain("gain", new TARNPropertyValue(7L), nullptr, false, true, false,
                                          true);
        const TARNPropertyDefinition again("gain", new TARNPropertyValue(c.remade), nullptr, false, true,
                                           false, true);
        TARNProperty* property = cam.NewProperty(gain, nullptr);
        ASSERT_NE(property, nullptr);
        bool found = !c.found;
        long value = -1;
        cam.moduleLock.Lock();
        std::thread reader([&] { value = kernel.GetIntegerProperty("cam.gain", &found); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        // The pin is taken after the lookup and before the reader sleeps on the lock.
        while (cam.byNameReaders.Count() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool pinned = cam.byNameReaders.Count() == 1;
        if (c.remove) cam.RemoveProperty(property);
        if (c.remade != 0) cam.NewProperty(again, nullptr);
        cam.moduleLock.Release();
        reader.join();
        ASSERT_TRUE(pinned) << "the reader never met the lock busy";
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(cam.byNameReaders.Count(), 0);
    }
}
