// An output of one module connected to an input of another, for the reading and writing
// tests: the output carries 4 integers per element in a ring of `fifoSize`.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "connection_by_hand.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "module_fixture.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/event.hpp"

// A module without a thread of its own: its writer runs it, and it records what it reads.
class SequentialReader : public TARNModule {
  public:
    explicit SequentialReader(const char* name) : TARNModule(name, false, false) {}
    void SequentialCore(TARNInput* input) override {
        ++calls;
        if (TARNIOElt* element = (this->*read)(*input)) {
            values.push_back(element->Integer32(0)[0]);
            timestamps.push_back(element->Timestamp());
        }
    }
    // The reading call it makes.
    TARNIOElt* (TARNModule::*read)(TARNInput&) = &TARNModule::StartReading;
    int calls = 0;
    std::vector<int> values;
    std::vector<long> timestamps;
};

// Beyond this (microseconds) a waiting test gives up instead of hanging.
inline constexpr long Deadline = 10'000'000;

// Waits, with the deadline, until `condition` holds; false when it never did. The deadline
// is counted on the real clock: on a test's manual engine clock a timed event wait may
// return at once, which would spend the deadline in a fraction of a second.
template <class Condition>
bool AwaitCondition(Condition condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(Deadline);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A thread of a concurrency test. The faults these tests look for leave threads blocked for
// good (a deadlock, a wait nothing ends): Join waits for the thread with the deadline, and
// a thread still running then fails the test and ends the process, since it uses the
// test's objects and can be neither joined nor left behind. A test that can unblock its
// threads (a module's death ends its reader's waits) does so first and fails gently.
class TestThread {
  public:
    template <class Body>
    explicit TestThread(Body body)
        : m_thread([this, body] {
              body();
              m_finished = true;
          }) {}
    ~TestThread() { Join(); }

    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    bool Finished() const { return m_finished.load(); }
    void Join() {
        if (!m_thread.joinable()) return;
        if (!AwaitCondition([this] { return Finished(); })) {
            ADD_FAILURE() << "a test thread is still blocked after the deadline";
            std::fflush(stdout);
            std::_Exit(EXIT_FAILURE);
        }
        m_thread.join();
    }

  private:
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

// A reader's thread making one reading call on `in` and giving the element back: the first
// item of what it read, or what it threw. Read ends the wait with the deadline (the
// reader's death ends a wait that nothing else would) and joins the thread.
class ReadingThread {
  public:
    ReadingThread(TARNModule& reader, TARNInputImplementation& in)
        : m_reader(reader), m_thread([this, &in] {
              thrown = ThrownCode([&] {
                  value = m_reader.StartReading(in)->Integer32(0)[0];
                  m_reader.StopReading(in);
              });
          }) {}

    // False when the reader still waited at the deadline.
    bool Read() {
        const bool read = AwaitCondition([this] { return m_thread.Finished(); });
        if (!read) m_reader.Die();
        m_thread.Join();
        return read;
    }

    std::atomic<int> value{0};
    std::atomic<int> thrown{0};

  private:
    TARNModule& m_reader;
    TestThread m_thread;
};

class ReadingWritingTest : public ModuleTest {
  protected:
    static constexpr int ElementLength = 4;

    // A writer that waits for a NeverSkippingReader in vain gives up (-3) at the deadline
    // rather than hanging the suite.
    static TARNOutput& MakeOutput(TARNModule& module, int fifoSize) {
        TARNOutputDefinition definition{};
        definition.name = "out";
        definition.type = TARNTypeInfo(TARNTypeInfo::Integer32);
        definition.bufferSize = ElementLength;
        definition.fifoSize = static_cast<unsigned int>(fifoSize);
        definition.subsampling = 1;
        TARNOutput& output = *module.NewOutput(definition, nullptr);
        Ring(output).SetWriterTimeout(Deadline);
        return output;
    }
    static TARNInputImplementation& MakeInput(TARNModule& module, int readerType, int subsampling = 1) {
        const TARNInputDefinition definition{"in", nullptr, nullptr, static_cast<unsigned int>(readerType),
                                             static_cast<unsigned int>(subsampling)};
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

    // What most reading tests start from: the writer "cam" whose output (a ring of
    // `fifoSize`) is connected to an input of `readerType` of the threaded reader "sink".
    //     ConnectedPair pair(4, FifoReader);
    //     auto& [writer, reader, out, in] = pair;
    struct ConnectedPair {
        ConnectedPair(int fifoSize, int readerType, int subsampling = 1)
            : out(MakeOutput(writer, fifoSize)), in(MakeInput(reader, readerType, subsampling)) {
            reader.threaded = true;
            ConnectByHand(out, in);
        }
        TARNModule writer{"cam", false, false};
        TARNModule reader{"sink", false, false};
        TARNOutput& out;
        TARNInputImplementation& in;
    };
};
