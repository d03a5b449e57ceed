// An output of one module connected to an input of another, for the reading and writing
// tests: the output carries 4 integers per element in a ring of `fifoSize`.
#pragma once

#include <vector>

#include "connection_by_hand.hpp"
#include "dataflow/module.hpp"
#include "engine/event.hpp"
#include "module_fixture.hpp"

// A module without a thread of its own: its writer runs it, and it records what it reads.
class SequentialReader : public TARNModule {
  public:
    explicit SequentialReader(const char* name) : TARNModule(name, false, false) {}
    void SequentialCore(TARNInput* input) override {
        ++calls;
        if (TARNIOElt* element = StartReading(*input)) {
            values.push_back(element->Integer32(0)[0]);
            timestamps.push_back(element->Timestamp());
        }
    }
    int calls = 0;
    std::vector<int> values;
    std::vector<long> timestamps;
};

// Beyond this (microseconds) a waiting test gives up instead of hanging.
inline constexpr long Deadline = 10'000'000;

// Waits, with the deadline, until `condition` holds; false when it never did.
template <class Condition>
bool AwaitCondition(Condition condition) {
    TARNEvent never;
    for (long waited = 0; !condition(); waited += 10'000) {
        if (waited > Deadline) return false;
        never.Wait(10'000);
    }
    return true;
}

class ReadingWritingTest : public ModuleTest {
  protected:
    static constexpr int ElementLength = 4;

    TARNOutput& MakeOutput(TARNModule& module, int fifoSize) {
        TARNOutputDefinition definition{};
        definition.name = "out";
        definition.type = TARNTypeInfo(TARNTypeInfo::Integer32);
        definition.bufferSize = ElementLength;
        definition.fifoSize = static_cast<unsigned int>(fifoSize);
        definition.subsampling = 1;
        return *module.NewOutput(definition, nullptr);
    }
    TARNInputImplementation& MakeInput(TARNModule& module, int readerType, int subsampling = 1) {
        const TARNInputDefinition definition{"in", nullptr, nullptr, static_cast<unsigned int>(readerType), static_cast<unsigned int>(subsampling)};
        return static_cast<TARNInputImplementation&>(*module.NewInput(definition, nullptr));
    }
    // Writes `value` into every item of a new element, with `timestamp`, and publishes it.
    static void Write(TARNModule& writer, TARNOutput& output, int value, long timestamp) {
        TARNIOElt* element = writer.StartWriting(output, timestamp);
        for (int i = 0; i < ElementLength; ++i) element->Integer32(i)[0] = value;
        element->VectorSize() = ElementLength;
        writer.StopWriting(element, false);
    }
    static TARNIOMonitorImplementation& Ring(TARNOutput& output) {
        return *static_cast<TARNOutputImplementation&>(output).ring;
    }
};
