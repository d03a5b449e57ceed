// Property values under several threads: setters whose callbacks take the module lock and
// readers that take it first never deadlock, and readers see whole values.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "dataflow/module_thread.hpp"
#include "property_fixture.hpp"

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
