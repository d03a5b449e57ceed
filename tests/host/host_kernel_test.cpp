#include "host_kernel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dataflow/definitions.hpp"
#include "dataflow/module.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
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

TEST(HostKernel, OperationsItDoesNotProvideReportOnceAndAnswerNeutrally) {
    HostKernel kernel;
    EXPECT_FALSE(kernel.CreateComponent("m", "c", true));
    EXPECT_FALSE(kernel.CreateComponent("m", "d", true));
    EXPECT_EQ(kernel.ComponentThread(nullptr), nullptr);
    EXPECT_EQ(kernel.Reports(),
              (std::vector<HostReport>{{"The host kernel does not provide CreateComponent", 1, 0, true},
                                       {"The host kernel does not provide ComponentThread", 1, 0, true}}));
}

TEST(HostKernel, UnknownPropertiesAreNotFoundAndNotReported) {
    HostKernel kernel;
    for (const char* name : {"Engine.noSuchProperty", "Nobody.here", ""}) {
        bool found = true;
        EXPECT_EQ(kernel.GetIntegerProperty(name, &found), 0) << name;
        EXPECT_FALSE(found) << name;
        found = true;
        EXPECT_FALSE(kernel.GetBoolProperty(name, &found));
        EXPECT_FALSE(found);
        EXPECT_EQ(kernel.FindProperty(name), nullptr);
    }
    EXPECT_TRUE(kernel.Reports().empty());
}

TEST(HostKernel, FormatsReportsByLevel) {
    EXPECT_EQ(HostKernel::Format({"a", 0, 0, false}), "info: a");
    EXPECT_EQ(HostKernel::Format({"b", 1, 7, false}), "warning: b (7)");
    EXPECT_EQ(HostKernel::Format({"c", 2, -5, true}), "error: c (-5)");
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
// both).
TEST(HostKernel, ReadsByNameWhileThePropertyComesAndGoes) {
    HostKernel kernel;
    TARNKernel* previous = TARNPrivate::kernel;
    TARNPrivate::kernel = &kernel;
    {
        TARNModule cam("cam", false, false);
        const TARNPropertyDefinition gain("gain", new TARNPropertyValue(7L), nullptr, false, true, false,
                                          true);
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
        for (int round = 0; round < 4000; ++round) {
            TARNProperty* property = cam.NewProperty(gain, nullptr);
            ASSERT_NE(property, nullptr);
            std::this_thread::yield();
            TARNMutexGuard lock(cam.moduleLock);
            cam.RemoveProperty(property);
        }
        done = true;
        reader.join();
        EXPECT_EQ(kernel.FindProperty("cam.gain"), nullptr);
    }
    TARNPrivate::kernel = previous;
}
