// The host kernel connecting an input to an output and disconnecting it: elements flow
// once attached, an idle input detaches at once, and a reader blocked on its input when it
// is detached acknowledges the rebuild so that the detach completes.
#include <gtest/gtest.h>

#include <atomic>

#include "engine/engine_graph.hpp"
#include "reading_writing_fixture.hpp"

namespace {

bool Listed(TARNOutput& output, TARNInput& input) {
    auto& to = static_cast<TARNOutputImplementation&>(output);
    TARNMutexGuard guard(to.inputListLock);
    return to.connectedInputs.Find(&input) != nullptr;
}

}  // namespace

using HostConnectionsTest = ReadingWritingTest;

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

    std::atomic<int> value{0};
    std::atomic<int> thrown{0};
    TestThread readerThread([&] {
        thrown = ThrownCode([&] {
            value = reader.StartReading(in)->Integer32(0)[0];
            reader.StopReading(in);
        });
    });
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
    readerThread.Join();
    EXPECT_EQ(value.load(), 0);
    EXPECT_EQ(thrown.load(), TARNModule::DieException);
}

// A reader waiting on its input while it is detached and attached to another output reads
// what the new output writes. The connection changes under the reader's feet: it is handed
// over under the input lock (a race under ThreadSanitizer otherwise).
TEST_F(HostConnectionsTest, AReaderWaitingWhileItsInputIsReattachedReadsFromTheNewOutput) {
    ConnectedPair pair(2, FifoReader);
    auto& [writer, reader, out, in] = pair;
    TARNModule other("other", false, false);
    TARNOutput& otherOut = MakeOutput(other, 2);

    std::atomic<int> value{0};
    std::atomic<int> thrown{0};
    TestThread readerThread([&] {
        thrown = ThrownCode([&] {
            value = reader.StartReading(in)->Integer32(0)[0];
            reader.StopReading(in);
        });
    });
    const bool started = AwaitCondition([&] { return in.reading.load(); });
    const bool detached = TARN::Detach(out, in);
    const bool attached = TARN::Attach(otherOut, in);
    Write(other, otherOut, 9, 9);
    // A reader that missed the new connection would wait for ever: its death ends the wait.
    const bool read = AwaitCondition([&] { return value.load() != 0 || thrown.load() != 0; });
    if (!read) reader.Die();
    readerThread.Join();

    EXPECT_TRUE(started);
    EXPECT_TRUE(detached);
    EXPECT_TRUE(attached);
    EXPECT_EQ(thrown.load(), 0);
    EXPECT_EQ(value.load(), 9);
    EXPECT_TRUE(other.IsFIFOEmpty(otherOut));
    EXPECT_TRUE(Ring(out).ReaderCount() == 0);
}
