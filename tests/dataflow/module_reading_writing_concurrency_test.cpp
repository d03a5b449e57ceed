// A module's reading calls on a thread of its own: a threaded reader waits for what its
// writer publishes on another thread and sees it in order with its timestamps, and a
// reader blocked on an empty ring leaves with 57005 when its module dies.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "dataflow/input_implementation.hpp"
#include "reading_writing_fixture.hpp"

TEST_F(ReadingWritingTest, AThreadedReaderGetsEveryElementInOrderWithItsTimestamp) {
    constexpr int Elements = 1000;
    ConnectedPair pair(4, NeverSkippingReader);
    auto& [writer, reader, out, in] = pair;

    std::vector<int> values;
    std::vector<long> timestamps;
    int thrown = 0;
    TARNEvent done;
    TestThread readerThread([&] {
        try {
            while (values.size() < static_cast<size_t>(Elements)) {
                TARNIOElt* element = reader.StartReading(in);
                values.push_back(element->Integer32(ElementLength - 1)[0]);
                timestamps.push_back(element->Timestamp());
            }
            reader.StopReading(in);
        } catch (int code) {
            thrown = code;
        }
        done.Set();
    });
    // A writer never woken by the reader's releases gives up at the deadline (-3).
    const int writerThrew = ThrownCode([&] {
        for (int value = 1; value <= Elements; ++value) Write(writer, out, value, 10L * value);
    });
    // A reader that lost an element would wait for ever: its module's death ends the wait.
    const bool finished = done.Wait(Deadline) == 0;
    if (!finished) reader.Die();
    readerThread.Join();

    ASSERT_EQ(writerThrew, 0) << "the writer waited for space in vain";
    ASSERT_TRUE(finished);
    EXPECT_EQ(thrown, 0);
    ASSERT_EQ(values.size(), static_cast<size_t>(Elements));
    for (int i = 0; i < Elements; ++i) {
        EXPECT_EQ(values[i], i + 1);
        EXPECT_EQ(timestamps[i], 10L * (i + 1));
    }
    EXPECT_FALSE(in.reading);
    EXPECT_TRUE(Ring(out).IsIdle());
}

namespace {

// The two single-input reading calls, which behave alike but for message waits.
struct ReadingCallCase {
    const char* name;
    TARNIOElt* (TARNModule::*read)(TARNInput&);
};
const ReadingCallCase SingleInputCalls[] = {{"StartReading", &TARNModule::StartReading},
                                            {"MsgStartReading", &TARNModule::MsgStartReading}};

}  // namespace

TEST_F(ReadingWritingTest, AThreadedReaderWithSubsamplingKeepsTheLastOfEachPass) {
    for (const ReadingCallCase& call : SingleInputCalls) {
        SCOPED_TRACE(call.name);
        ConnectedPair pair(8, NeverSkippingReader, 3);
        auto& [writer, reader, out, in] = pair;
        for (int value = 1; value <= 6; ++value) Write(writer, out, value, value);
        EXPECT_EQ((reader.*call.read)(in)->Integer32(0)[0], 3);
        EXPECT_EQ((reader.*call.read)(in)->Integer32(0)[0], 6);
        EXPECT_EQ(in.subsamplingCounter, 0);
        reader.StopReading(in);
        EXPECT_TRUE(Ring(out).IsIdle());
        EXPECT_TRUE(writer.IsFIFOEmpty(out));
    }
}

TEST_F(ReadingWritingTest, AReaderBlockedOnAnEmptyRingLeavesWith57005WhenItsModuleDies) {
    for (const ReadingCallCase& call : SingleInputCalls) {
        SCOPED_TRACE(call.name);
        ConnectedPair pair(2, FifoReader);
        auto& [writer, reader, out, in] = pair;

        std::atomic<int> thrown{0};
        TestThread readerThread([&] { thrown = ThrownCode([&] { (reader.*call.read)(in); }); });
        // The die event stays set, so dying before the reader's wait begins ends it as well.
        const bool started = AwaitCondition([&] { return in.reading.load(); });
        reader.Die();
        readerThread.Join();

        EXPECT_TRUE(started);
        EXPECT_EQ(thrown, TARNModule::DieException);
        EXPECT_FALSE(in.reading);
        EXPECT_EQ(in.heldCount, 0);
        // The abandoned wait left the ring usable: the writer still publishes.
        Write(writer, out, 1, 1);
        EXPECT_FALSE(writer.IsFIFOFull(out));
    }
}

// A module without a thread runs inside its writer's StopWriting: MsgStartReading, like
// StartReading, takes what is there and never waits, also with an input subsampling. A
// wait for more elements there would wait for the very writer it blocks.
TEST_F(ReadingWritingTest, AModuleWithoutAThreadReadingWithMessagesNeverBlocksItsWriter) {
    TARNModule writer("cam", false, false);
    SequentialReader reader("sink");
    reader.read = &TARNModule::MsgStartReading;
    TARNOutput& out = MakeOutput(writer, 4);
    ConnectByHand(out, MakeInput(reader, NeverSkippingReader, 2));
    TestThread writing([&] {
        ThrownCode([&] {
            for (int value = 1; value <= 3; ++value) Write(writer, out, value, value);
        });
    });
    // The reader's death ends a wait inside the writer.
    if (!AwaitCondition([&] { return writing.Finished(); })) reader.Die();
    writing.Join();
    EXPECT_EQ(reader.values, (std::vector<int>{1, 2, 3}));
}

// The writer's handshake waits until its readers gave back what it published, every time:
// the ring's all-read event, still set from the first handshake, does not end the second
// one early. The module's death ends the wait with 57005.
TEST_F(ReadingWritingTest, Wait4HandshakeWaitsForTheReadersEveryTime) {
    ConnectedPair pair(2, FifoReader);
    auto& [writer, reader, out, in] = pair;
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        Write(writer, out, round, round);
        std::atomic<bool> returned{false};
        std::atomic<int> value{0};
        TestThread readerThread([&] {
            // Reads once the handshake waits (its look cleared the all-read event) or is over.
            AwaitCondition([&] { return returned.load() || Ring(out).AllReadEvent().Wait(0) != 0; });
            value = reader.StartReading(in)->Integer32(0)[0];
            reader.StopReading(in);
        });
        writer.Wait4Handshake(out);
        const bool emptyOnReturn = writer.IsFIFOEmpty(out);
        returned = true;
        readerThread.Join();
        EXPECT_TRUE(emptyOnReturn);
        EXPECT_EQ(value.load(), round);
    }

    writer.Die();
    EXPECT_EQ(ThrownCode([&] { writer.Wait4Handshake(out); }), TARNModule::DieException);
    EXPECT_EQ(ThrownCode([&] { writer.StartWriting(out); }), TARNModule::DieException);
}

// The engine rebuilding the input of a blocked reader wakes it: the reader gives up its
// wait, acknowledges the rebuild, waits it out and then reads on.
TEST_F(ReadingWritingTest, ABlockedReaderAcknowledgesARebuildOfItsInputAndReadsOn) {
    ConnectedPair pair(2, FifoReader);
    auto& [writer, reader, out, in] = pair;

    ReadingThread readerThread(reader, in);
    const bool started = AwaitCondition([&] { return in.reading.load(); });
    const std::uint64_t rebuild = in.BeginRebuild();
    const bool acknowledged = in.rebuildAcknowledgedEvent.Wait(Deadline) == 0;
    in.EndRebuild(rebuild);
    Write(writer, out, 7, 7);
    // A reader that missed the element would wait for ever.
    const bool read = readerThread.Read();

    EXPECT_TRUE(started);
    EXPECT_TRUE(acknowledged);
    EXPECT_TRUE(read);
    EXPECT_EQ(readerThread.thrown, 0);
    EXPECT_EQ(readerThread.value, 7);
    EXPECT_FALSE(in.reading);
    EXPECT_TRUE(Ring(out).IsIdle());
}

// A reader leaving while the engine rebuilds its input, holding nothing, acknowledges the
// rebuild and waits it out: a reading call that ends (57005 and -5 included), and
// StopReading after giving back what is held. Both wait without the input lock, which the
// engine takes to exchange the connection once acknowledged: waiting under it, they would
// wait for ever.
TEST_F(ReadingWritingTest, AReaderLeavingDuringARebuildAcknowledgesItAndWaitsWithoutTheInputLock) {
    struct Case {
        const char* way;
        // Brings the reader to where it leaves, then leaves.
        void (*prepare)(TARNModule& reader, TARNInputImplementation& in);
        void (*leave)(TARNModule& reader, TARNInputImplementation& in);
    };
    const Case cases[] = {
        {"a reading call ending", [](TARNModule&, TARNInputImplementation& in) { in.reading = true; },
         [](TARNModule&, TARNInputImplementation& in) { in.ExitStartReading(); }},
        {"StopReading after a read",
         [](TARNModule& reader, TARNInputImplementation& in) { ASSERT_NE(reader.StartReading(in), nullptr); },
         [](TARNModule& reader, TARNInputImplementation& in) { reader.StopReading(in); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        ConnectedPair pair(2, FifoReader);
        auto& [writer, reader, out, in] = pair;
        Write(writer, out, 1, 1);
        c.prepare(reader, in);
        const std::uint64_t rebuild = in.BeginRebuild();  // the engine's side, by hand
        TestThread leaving([&] { c.leave(reader, in); });
        const bool acknowledged = in.rebuildAcknowledgedEvent.Wait(Deadline) == 0;
        const bool lockFree = AwaitCondition([&] {
            if (!in.mutex.TryLock()) return false;
            in.mutex.Release();
            return true;
        });
        in.EndRebuild(rebuild);
        leaving.Join();

        EXPECT_TRUE(acknowledged);
        EXPECT_TRUE(lockFree);
        EXPECT_FALSE(in.reading);
        EXPECT_EQ(in.heldCount, 0);
        EXPECT_TRUE(Ring(out).IsIdle());
    }
}

namespace {

// Two writers' outputs feeding the inputs x and y of one threaded reader.
class SeveralInputsTest : public ReadingWritingTest {
  protected:
    SeveralInputsTest() {
        reader.threaded = true;
        const TARNInputDefinition definitions[2] = {{"x", nullptr, nullptr, FifoReader, 1},
                                                    {"y", nullptr, nullptr, FifoReader, 1}};
        for (int i = 0; i < 2; ++i) {
            inputs[i] = reader.NewInput(definitions[i], nullptr);
            ConnectByHand(*outputs[i], *inputs[i]);
        }
    }
    TARNInputImplementation& In(int i) { return *static_cast<TARNInputImplementation*>(inputs[i]); }

    TARNModule writerA{"a", false, false};
    TARNModule writerB{"b", false, false};
    TARNModule reader{"sink", false, false};
    TARNOutput& a = MakeOutput(writerA, 2);
    TARNOutput& b = MakeOutput(writerB, 2);
    TARNOutput* outputs[2] = {&a, &b};
    TARNInput* inputs[2] = {nullptr, nullptr};
};

}  // namespace

// Waiting on several inputs, the reader acknowledges the detach of one that holds nothing,
// so that the detach completes, and reads on from the other.
TEST_F(SeveralInputsTest, AReaderWaitingOnSeveralInputsLetsOneBeDetachedAndReadsOn) {
    std::atomic<int> index{-9};
    std::atomic<int> value{0};
    std::atomic<int> thrown{0};
    TestThread readerThread([&] {
        thrown = ThrownCode([&] {
            int at = -9;
            TARNIOElt* element = reader.StartReading(2, inputs, &at, 0, nullptr);
            value = element != nullptr ? element->Integer32(0)[0] : -1;
            index = at;
        });
    });
    const bool waiting = AwaitCondition([&] { return In(0).reading.load() && In(1).reading.load(); });
    std::atomic<bool> detached{false};
    TestThread engine([&] { detached = TARN::Detach(b, In(1)); });
    const bool completed = AwaitCondition([&] { return detached.load(); });
    if (!completed) reader.Die();
    engine.Join();
    Write(writerA, a, 5, 5);
    const bool read = AwaitCondition([&] { return readerThread.Finished(); });
    if (!read) reader.Die();
    readerThread.Join();

    EXPECT_TRUE(waiting);
    EXPECT_TRUE(completed);
    EXPECT_EQ(thrown.load(), 0);
    EXPECT_EQ(index.load(), 0);
    EXPECT_EQ(value.load(), 5);
    EXPECT_FALSE(In(1).IsConnected());
    EXPECT_FALSE(In(0).reading);
    EXPECT_FALSE(In(1).reading);
}

// An input holding an element when its detach is requested while the reader waits on
// several inputs gives the element back: the call ends without an element, with the index
// of that input, and the detach completes.
TEST_F(SeveralInputsTest, AnInputHoldingAnElementGivesItBackWhenDetachedDuringAWait) {
    Write(writerB, b, 7, 7);
    int at = -9;
    ASSERT_NE(reader.StartReading(2, inputs, &at, 0, nullptr), nullptr);
    ASSERT_EQ(at, 1);

    std::atomic<int> index{-9};
    std::atomic<bool> returnedNull{false};
    std::atomic<int> thrown{0};
    TestThread readerThread([&] {
        thrown = ThrownCode([&] {
            int i = -9;
            returnedNull = reader.StartReading(2, inputs, &i, 0, nullptr) == nullptr;
            index = i;
        });
    });
    const bool waiting = AwaitCondition([&] { return In(0).reading.load() && In(1).reading.load(); });
    std::atomic<bool> detached{false};
    TestThread engine([&] { detached = TARN::Detach(b, In(1)); });
    const bool completed = AwaitCondition([&] { return detached.load() && readerThread.Finished(); });
    if (!completed) reader.Die();
    engine.Join();
    readerThread.Join();

    EXPECT_TRUE(waiting);
    EXPECT_TRUE(completed);
    EXPECT_EQ(thrown.load(), 0);
    EXPECT_TRUE(returnedNull.load());
    EXPECT_EQ(index.load(), 1);
    EXPECT_EQ(In(1).heldCount, 0);
    EXPECT_TRUE(Ring(b).IsIdle());
    EXPECT_EQ(Ring(b).ReaderCount(), 0);
}

// A threaded reader's NLastStartReading waits until its window is full and slides it by one
// new element per call. Detached while it waits for the next one, it gives its window back
// and, attached to another output, fills a new window there.
TEST_F(ReadingWritingTest, AThreadedNLastReaderFillsItsWindowAcrossWaitsAndADetach) {
    ConnectedPair pair(4, NeverSkippingReader);
    auto& [writer, reader, out, in] = pair;
    TARNModule other("other", false, false);
    TARNOutput& otherOut = MakeOutput(other, 4);
    std::vector<std::vector<int>> windows;
    std::atomic<int> thrown{0};
    std::atomic<int> calls{0};
    TestThread readerThread([&] {
        thrown = ThrownCode([&] {
            TARNIOElt* window[3] = {nullptr, nullptr, nullptr};
            for (int call = 0; call < 3; ++call) {
                if (reader.NLastStartReading(in, 3, window) != 1) return;
                windows.push_back(
                    {window[0]->Integer32(0)[0], window[1]->Integer32(0)[0], window[2]->Integer32(0)[0]});
                ++calls;
            }
            reader.StopReading(in);
        });
    });
    for (int value = 1; value <= 4; ++value) Write(writer, out, value, value);
    const bool slid = AwaitCondition([&] { return calls.load() == 2; });
    const bool waiting = AwaitCondition([&] { return in.reading.load(); });
    const bool detached = TARN::Detach(out, in);
    const bool attached = TARN::Attach(otherOut, in);
    for (int value = 11; value <= 13; ++value) Write(other, otherOut, value, value);
    if (!AwaitCondition([&] { return readerThread.Finished(); })) reader.Die();
    readerThread.Join();

    EXPECT_TRUE(slid);
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(detached);
    EXPECT_TRUE(attached);
    EXPECT_EQ(thrown.load(), 0);
    EXPECT_EQ(windows, (std::vector<std::vector<int>>{{1, 2, 3}, {2, 3, 4}, {11, 12, 13}}));
    EXPECT_TRUE(Ring(out).IsIdle());
    EXPECT_EQ(Ring(out).ReaderCount(), 0);
    EXPECT_TRUE(Ring(otherOut).IsIdle());
    EXPECT_FALSE(in.reading);
}
