// The host kernel connecting an input to an output and disconnecting it: only an output of
// a type the input's filter takes is connected, elements flow once attached, an idle input
// detaches at once, and a reader blocked on its input when it is detached acknowledges the
// rebuild so that the detach completes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "reading_writing_fixture.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/type_filter.hpp"
#include "type_names.hpp"

namespace {

bool Listed(TARNOutput& output, TARNInput& input) {
    auto& to = static_cast<TARNOutputImplementation&>(output);
    TARNMutexGuard guard(to.inputListLock);
    return to.connectedInputs.Find(&input) != nullptr;
}

}  // namespace

class HostConnectionsTest : public ReadingWritingTest {
  protected:
    // Writes `count` elements on a thread of their own; false when the writer still waits
    // at the deadline (its module's death then ends the wait).
    static bool WritesWithoutWaiting(TARNModule& writer, TARNOutput& output, int count) {
        TestThread writing([&] {
            ThrownCode([&] {
                for (int value = 1; value <= count; ++value) Write(writer, output, value, value);
            });
        });
        const bool wrote = AwaitCondition([&] { return writing.Finished(); });
        if (!wrote) writer.Die();
        return wrote;
    }
};

// The kernel asks the input's filter before it connects, whoever asks for the connection:
// a refused one is reported with both ends and both types and leaves the input
// unconnected and the output's ring without a reader. An input without a filter takes
// every type.
TEST_F(HostConnectionsTest, AnInputIsConnectedOnlyToAnOutputWhoseTypeItsFilterTakes) {
    static const TARNTypeFilterBase SpeedIntegers(0, 0, TARNTypeInfo::Integer32, "^speed$");
    struct Case {
        unsigned long type;
        const char* typeName;
        unsigned int items;  // 1: one value per element; any other count, a vector
        const TARNTypeFilterBase* filter;
        const char* refusal;  // null: connected
    };
    const Case cases[] = {
        {TARNTypeInfo::Integer32, nullptr, 1, &TARN::FilterIplImage,
         "Can't connect cam.out (Integer32) to sink.in (FilterIplImage): the input's filter refuses the "
         "output's type."},
        {TARNTypeInfo::Integer32, nullptr, 1, &TARN::FilterIntegers32, nullptr},
        {TARNTypeInfo::Integer32, nullptr, 4, &TARN::FilterIntegers32, nullptr},
        {TARNTypeInfo::Integer32, nullptr, 4, &TARN::FilterOneInteger32,
         "Can't connect cam.out (Integer32 vector) to sink.in (FilterOneInteger32): the input's filter "
         "refuses the output's type."},
        {TARNTypeInfo::Integer32, nullptr, 1, &TARN::FilterOneInteger32, nullptr},
        {TARNTypeInfo::IplImage, nullptr, 0, nullptr, nullptr},
        {TARNTypeInfo::Integer32, "speed", 1, &SpeedIntegers, nullptr},
        {TARNTypeInfo::Integer32, "angle", 1, &SpeedIntegers,
         "Can't connect cam.out (Integer32 \"angle\") to sink.in (mask 0x0 value 0x0 any of Integer32, type "
         "name ~ \"^speed$\"): the input's filter refuses the output's type."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TypeCodeText(c.type) + " of " + std::to_string(c.items) + " into " +
                     FilterText(c.filter));
        TARNModule writer("cam", false, false);
        TARNModule reader("sink", false, false);
        TARNOutputDefinition outputDefinition{};
        outputDefinition.name = "out";
        outputDefinition.type = TARNTypeInfo(c.type, c.typeName);
        outputDefinition.bufferSize = c.items;
        outputDefinition.fifoSize = 2;
        outputDefinition.subsampling = 1;
        TARNOutput& out = *writer.NewOutput(outputDefinition, nullptr);
        const TARNInputDefinition inputDefinition{"in", nullptr, c.filter, FifoReader, 1};
        TARNInput& in = *reader.NewInput(inputDefinition, nullptr);
        recorder.ClearReports();

        const bool attached = TARN::Attach(out, in);

        EXPECT_EQ(attached, c.refusal == nullptr);
        EXPECT_EQ(in.IsConnected(), c.refusal == nullptr);
        EXPECT_EQ(Ring(out).ReaderCount(), c.refusal == nullptr ? 1 : 0);
        EXPECT_EQ(ReportTexts(),
                  c.refusal == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.refusal});
        if (attached) TARN::Detach(out, in);
    }
}

TEST_F(HostConnectionsTest, AnAttachedInputReadsWhatItsOutputWrites) {
    TARNModule writer("cam", false, false);
    TARNModule reader("sink", false, false);
    reader.threaded = true;
    TARNOutput& out = MakeOutput(writer, 4);
    TARNInputImplementation& in = MakeInput(reader, NeverSkippingReader);

    ASSERT_TRUE(TARN::Attach(out, in));
    EXPECT_TRUE(in.IsConnected());
    EXPECT_EQ(in.ConnectedOutput(), &out);
    EXPECT_TRUE(Listed(out, in));
    EXPECT_EQ(in.connectionEvent.Wait(0), 0);
    // An input reads from one output at a time.
    EXPECT_FALSE(TARN::Attach(out, in));

    for (int i = 1; i <= 3; ++i) Write(writer, out, i, 100 * i);
    for (int i = 1; i <= 3; ++i) {
        TARNIOElt* element = reader.StartReading(in);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->Integer32(0)[0], i);
        EXPECT_EQ(element->Timestamp(), 100 * i);
        reader.StopReading(in);
    }
}

TEST_F(HostConnectionsTest, DetachingAnIdleInputDisconnectsIt) {
    TARNModule writer("cam", false, false);
    TARNModule reader("sink", false, false);
    TARNOutput& out = MakeOutput(writer, 2);
    TARNInputImplementation& in = MakeInput(reader, NeverSkippingReader);
    ASSERT_TRUE(TARN::Attach(out, in));
    Write(writer, out, 1, 1);

    ASSERT_TRUE(TARN::Detach(out, in));
    EXPECT_FALSE(in.IsConnected());
    EXPECT_EQ(in.ConnectedOutput(), nullptr);
    EXPECT_FALSE(Listed(out, in));
    EXPECT_FALSE(in.beingRebuilt.load());
    EXPECT_NE(in.connectionEvent.Wait(0), 0);
    EXPECT_FALSE(TARN::Detach(out, in));
}

// A reader blocked on the input being detached wakes and acknowledges the rebuild, so the
// detach completes; the reader then waits for a connection.
TEST_F(HostConnectionsTest, DetachingTheInputOfABlockedReaderCompletes) {
    ConnectedPair pair(2, FifoReader);
    auto& [writer, reader, out, in] = pair;

    ReadingThread readerThread(reader, in);
    const bool started = AwaitCondition([&] { return in.reading.load(); });
    std::atomic<bool> detached{false};
    TestThread engine([&] { detached = TARN::Detach(out, in); });
    // A detach that waits for an acknowledgement that never comes would hang: the reader's
    // death ends its reading call and with it the wait; a detach still blocked after that
    // fails the test at the deadline.
    const bool completed = AwaitCondition([&] { return detached.load(); });
    if (!completed) reader.Die();
    engine.Join();
    EXPECT_TRUE(started);
    EXPECT_TRUE(completed);
    EXPECT_FALSE(in.IsConnected());

    // Detached, the reader waits for a connection again; its death ends that wait.
    reader.Die();
    readerThread.Read();
    EXPECT_EQ(readerThread.value.load(), 0);
    EXPECT_EQ(readerThread.thrown.load(), TARNModule::DieException);
}

// A reader waiting on its input while it is detached and attached to another output reads
// what the new output writes. The connection changes under the reader's feet: it is handed
// over under the input lock (a race under ThreadSanitizer otherwise).
TEST_F(HostConnectionsTest, AReaderWaitingWhileItsInputIsReattachedReadsFromTheNewOutput) {
    ConnectedPair pair(2, FifoReader);
    auto& [writer, reader, out, in] = pair;
    TARNModule other("other", false, false);
    TARNOutput& otherOut = MakeOutput(other, 2);

    ReadingThread readerThread(reader, in);
    const bool started = AwaitCondition([&] { return in.reading.load(); });
    const bool detached = TARN::Detach(out, in);
    const bool attached = TARN::Attach(otherOut, in);
    Write(other, otherOut, 9, 9);
    // A reader that missed the new connection would wait for ever.
    const bool read = readerThread.Read();

    EXPECT_TRUE(started);
    EXPECT_TRUE(detached);
    EXPECT_TRUE(attached);
    EXPECT_TRUE(read);
    EXPECT_EQ(readerThread.thrown.load(), 0);
    EXPECT_EQ(readerThread.value.load(), 9);
    EXPECT_TRUE(other.IsFIFOEmpty(otherOut));
    EXPECT_TRUE(Ring(out).ReaderCount() == 0);
}

// Detached, the output's only reader no longer holds its writer back, whatever it was doing:
// the writer writes many more elements than the ring holds without waiting.
TEST_F(HostConnectionsTest, AWriterWhoseOnlyReaderWasDetachedNeverWaits) {
    constexpr int FifoSize = 2;
    struct Case {
        const char* reader;
        void (*before)(TARNModule& writer, TARNModule& reader, TARNOutput& out, TARNInputImplementation& in);
    };
    const Case cases[] = {
        {"idle", [](TARNModule&, TARNModule&, TARNOutput&, TARNInputImplementation&) {}},
        {"holding an element",
         [](TARNModule& writer, TARNModule& reader, TARNOutput& out, TARNInputImplementation& in) {
             Write(writer, out, 1, 1);
             Write(writer, out, 2, 2);
             ASSERT_NE(reader.StartReading(in), nullptr);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reader);
        // The never-skipping reader is the one that makes its writer wait.
        ConnectedPair pair(FifoSize, NeverSkippingReader);
        auto& [writer, reader, out, in] = pair;
        c.before(writer, reader, out, in);
        ASSERT_TRUE(TARN::Detach(out, in));
        EXPECT_TRUE(WritesWithoutWaiting(writer, out, 10 * FifoSize));
        reader.StopReading(in);
        EXPECT_TRUE(Ring(out).IsIdle());
    }
}

namespace {

// A module without a thread whose first run by its writer waits, with the deadline, until
// its input is being detached (or already is), and then reads.
class ReaderRunWhileDetached : public SequentialReader {
  public:
    ReaderRunWhileDetached() : SequentialReader("sink") {}
    void SequentialCore(TARNInput* input) override {
        if (!running.exchange(true)) {
            auto& in = *static_cast<TARNInputImplementation*>(input);
            AwaitCondition([&] { return in.beingRebuilt.load() || !in.IsConnected(); });
        }
        SequentialReader::SequentialCore(input);
    }
    std::atomic<bool> running{false};
};

}  // namespace

// The writer runs its module without a thread under the output's input list lock, and that
// module's reading call waits for a rebuild of its input to end. Detaching the input then
// completes (it leaves the list only once the rebuild is over), and the writer, left without
// reader, writes on without waiting.
TEST_F(HostConnectionsTest, DetachingTheInputOfAModuleItsWriterIsRunningCompletes) {
    constexpr int FifoSize = 2;
    TARNModule writer("cam", false, false);
    ReaderRunWhileDetached reader;
    TARNOutput& out = MakeOutput(writer, FifoSize);
    TARNInputImplementation& in = MakeInput(reader, NeverSkippingReader);
    ASSERT_TRUE(TARN::Attach(out, in));

    std::atomic<bool> wrote{false};
    TestThread writing([&] {
        for (int value = 1; value <= 10 * FifoSize; ++value) Write(writer, out, value, value);
        wrote = true;
    });
    const bool running = AwaitCondition([&] { return reader.running.load(); });
    std::atomic<bool> detached{false};
    TestThread engine([&] { detached = TARN::Detach(out, in); });
    // Blocked on each other, neither ends: the deadline of the joins fails the test.
    engine.Join();
    writing.Join();

    EXPECT_TRUE(running);
    EXPECT_TRUE(detached.load());
    EXPECT_TRUE(wrote.load());
    EXPECT_TRUE(reader.values.empty());
    EXPECT_FALSE(Listed(out, in));
    EXPECT_EQ(Ring(out).ReaderCount(), 0);
}
