// Property values under several threads: setters whose callbacks take the module lock and
// readers that take it first never deadlock, and readers see whole values.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "property_fixture.hpp"
#include "tarn/dataflow/engine_properties.hpp"
#include "tarn/dataflow/module_thread.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

constexpr int Rounds = 2000;

class CountingThread : public TARNThread {
  public:
    int GetCPULoad() override { return 100; }
    void SetProcessor(int value) override { processor = value; }
    std::atomic<int> processor{-1};
};

}  // namespace

TEST_F(PropertyTest, CallbacksUnderTheLocksAndReadersByNameDoNotDeadlock) {
    CountingThread thread;
    module->threads.PushBack(&thread);
    TARNProperty& label = Make(Kind::Text, "label");

    // The set-callback of "processor" and the get-callback of "CPULoad" take the module
    // lock; GetProperty and the reader on a module take it before the property lock.
    std::thread setter([&] {
        for (int i = 0; i < Rounds; ++i) {
            module->processorProperty->Set(static_cast<long>(i % 4));
            label.Set(i % 2 ? "one" : "two");
        }
    });
    std::thread byName([&] {
        long value = 0;
        for (int i = 0; i < Rounds; ++i) module->GetProperty("processor", value);
    });
    std::thread onModule([&] {
        for (int i = 0; i < Rounds; ++i) {
            long load = 0;
            TARNStackedString<40> text;
            EXPECT_TRUE(TARNModule::Get(*module, *module->CPULoadProperty, load));
            EXPECT_EQ(load, 1);
            module->Get(label, text);
            EXPECT_TRUE(text == "one" || text == "two" || text == "abc") << text.c_str();
        }
    });
    std::thread watcher([&] {
        for (int i = 0; i < Rounds; ++i) {
            if (module->processorProperty->PropertyChanged())
                module->processorProperty->AcknowledgePropertyChanged();
        }
    });
    setter.join();
    byName.join();
    onModule.join();
    watcher.join();

    EXPECT_EQ(thread.processor.load(), (Rounds - 1) % 4);
    module->threads.Clear();
}

// Another component reads "cam.x" by name while "cam" is destroyed: each read either
// completes with the value or finds no property; none touches the freed module or its
// locks. Every round waits until each reader has read once, then destroys the module under
// them. Half the readers go through the kernel, half through the SDK's own text getter.
// The round sleeps on the count of readers that have read, so only the readers, reading
// until the module goes, keep processors busy.
TEST_F(ModuleTest, ReadersByNameMeetADestroyedModuleAsAMissingProperty) {
    constexpr int Rounds = 100;
    constexpr int Readers = 4;
    TARNPropertyDefinition number("x", new TARNPropertyValue(7L), nullptr, false, true, false, false, 0);
    TARNPropertyDefinition text("label", new TARNPropertyValue("abc"), nullptr, false, true, false, false, 0);
    std::atomic<int> wrongValues{0};
    for (int round = 0; round < Rounds; ++round) {
        auto* module = new TARNModule("cam", false, false);
        module->NewProperty(number, nullptr);
        module->NewProperty(text, nullptr);
        std::mutex counting;
        std::condition_variable counted;
        int reading = 0;
        std::vector<std::thread> readers;
        for (int r = 0; r < Readers; ++r) {
            readers.emplace_back([&, r] {
                for (bool first = true;; first = false) {
                    bool ok = false;
                    if (r % 2 == 0) {
                        const long value = TARN::GetIntegerProperty("cam.x", &ok);
                        if (ok && value != 7) ++wrongValues;
                    } else {
                        const TARNStackedString<40> value = TARN::GetStringProperty("cam.label", &ok);
                        if (ok && !(value == "abc")) ++wrongValues;
                    }
                    if (!ok) return;
                    if (first) {
                        {
                            const std::lock_guard lock(counting);
                            ++reading;
                        }
                        counted.notify_all();
                    }
                }
            });
        }
        bool allReading;
        {
            std::unique_lock lock(counting);
            allReading = counted.wait_for(lock, std::chrono::seconds(30), [&] { return reading == Readers; });
        }
        delete module;
        for (std::thread& reader : readers) reader.join();
        ASSERT_TRUE(allReading) << "round " << round << ": a reader never read";
    }
    EXPECT_EQ(wrongValues.load(), 0);
}
