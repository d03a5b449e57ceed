// Failure paths of the record loop, the writer's completion and copying: every element
// goes back to the ring exactly once, no lock stays held, only what was written counts.
#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "../dataflow/module_fixture.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "recording_fixture.hpp"
#include "tarn/recording/record_file_writer.hpp"

namespace {

using ::testing::ElementsAre;

using RecordFaults = RecordingTest;

long Issue(int i) {
    return 1'000'000 + 10'000L * i;
}

// A writer failing after the element was copied and given back must not make Record give
// it back a second time.
TEST_F(RecordFaults, AFailingWriteOfACopyGivesTheElementBackOnce) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.copyTriggered = true;
    method.beforeWrite = [](TARNIOElt&) { throw -5; };
    method.BirthRecordX();
    PublishQuietly(output, 1, Issue(1), Issue(1));
    EXPECT_EQ(ThrownCode([&] { method.Record(); }), -5);
    EXPECT_TRUE(ReportsAt(2).empty());
    EXPECT_TRUE(output.ring->IsIdle());
    method.beforeWrite = nullptr;
    method.DeathRecordX();
}

// A write whose completion already gave the element back, and that fails afterwards.
TEST_F(RecordFaults, AWriteFailingAfterItsCompletionGivesTheElementBackOnce) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.afterWrite = [](TARNIOElt&) { throw -5; };
    method.BirthRecordX();
    PublishQuietly(output, 1, Issue(1), Issue(1));
    EXPECT_EQ(ThrownCode([&] { method.Record(); }), -5);
    EXPECT_TRUE(ReportsAt(2).empty());
    EXPECT_TRUE(output.ring->IsIdle());
    method.afterWrite = nullptr;
    method.DeathRecordX();
}

// The recorded output lays its buffers out anew while the writer still holds an element
// written directly: the output sets that element's slot aside with the buffer under it, and
// the write's completion must still find it there and give it back.
TEST_F(RecordFaults, ACompletionGivesBackAnElementItsOutputSetAside) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.deferCompletion = true;
    method.BirthRecordX();
    PublishQuietly(output, 1, Issue(1), Issue(1));
    method.Record();
    ASSERT_EQ(method.DeferredCount(), 1u);

    output.FreeBuffer();
    output.AllocOutputBuffer(2 * VectorLength, true);
    ASSERT_TRUE(output.ring->HasSetAsideSlots());
    method.CompleteDeferred();
    EXPECT_FALSE(output.ring->HasSetAsideSlots()) << "the element was never given back";
    EXPECT_EQ(static_cast<TARNInputImplementation&>(method.Input(0)).heldCount, 0);
    method.DeathRecordX();
}

// Completions on a writer thread of their own, while the record thread goes on: the held
// count and the copies' state words are shared between them (a ThreadSanitizer case).
TEST_F(RecordFaults, CompletionsOnAnotherThreadShareTheCountsSafely) {
    TARNOutputImplementation& output = MakeSource("cam", SourceKind::Vector, 16);
    auto definition = TestMethodDefinition(0, 0, 0, 0, 8);
    definition.threadedRecord = true;
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.deferCompletion = true;
    method.BirthRecordX();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done.load()) {
            method.CompleteDeferred();
            std::this_thread::yield();
        }
    });
    // Stops the completing thread on every way out, a failed assertion included.
    struct StopWriter {
        std::atomic<bool>& done;
        std::thread& writer;
        ~StopWriter() {
            done = true;
            if (writer.joinable()) writer.join();
        }
    } stopWriter{done, writer};
    for (int i = 0; i < 100; ++i) {
        method.copyTriggered = i % 2 == 1;
        // The ring holds 16: writing over an element whose completion is still pending
        // would be the writer's fault, not the one this test looks for.
        ASSERT_TRUE(AwaitCondition([&] { return method.DeferredCount() <= 8; }));
        Publish(output, i, Issue(i), Issue(i));
        ASSERT_TRUE(AwaitCondition([&] { return method.FirstWords().size() == static_cast<std::size_t>(i + 1); }));
    }
    ASSERT_TRUE(AwaitCondition([&] { return output.ring->IsIdle(); }));
    done = true;
    writer.join();
    EXPECT_EQ(static_cast<TARNInputImplementation&>(method.Input(0)).heldCount, 0);
    method.DeathRecordX();
}

TEST_F(RecordFaults, ACopyCountsOnlyWhenItWasWritten) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    auto definition = TestMethodDefinition();
    auto& destination = Make<TestRecordMethod>(definition, rec, output, true);
    destination.BirthRecordX();
    auto& source = Make<TestReplayMethod>(definition, output, true);
    source.copyDestination = &destination;
    rec.copyEvent.Set();
    TARNReplayAsyncCommData record;
    record.recordNumber = 0;
    TARNTypeInfo type(TARNTypeInfo::Integer32);
    EXPECT_FALSE(source.CopyX(record, type)) << "no such record";
    EXPECT_EQ(destination.RecordCount(), 0u);
    source.records.push_back(VectorRecord(42));
    EXPECT_TRUE(source.CopyX(record, type));
    EXPECT_EQ(destination.RecordCount(), 1u);
    EXPECT_THAT(destination.FirstWords(), ElementsAre(42));
    destination.DeathRecordX();
}

// The engine names another destination while a record is being copied: the copy writes
// only into the destination whose record lock it took and found running, or nowhere.
TEST_F(RecordFaults, ACopyWritesOnlyIntoTheDestinationItLocked) {
    struct Redirecting : TestReplayMethod {
        using TestReplayMethod::TestReplayMethod;
        bool ReplayIOElt(TARNIOElt& element, int recordNumber, const char* text,
                         TARNTypeInfo& type) override {
            copyDestination = redirectTo;
            return TestReplayMethod::ReplayIOElt(element, recordNumber, text, type);
        }
        TARNRecordReplayMethod* redirectTo = nullptr;
    };
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    TestRecorder& other = MakeRecorder("other");
    auto definition = TestMethodDefinition();
    auto& locked = Make<TestRecordMethod>(definition, rec, output, true);
    auto& named = Make<TestRecordMethod>(definition, other, output, true);
    locked.BirthRecordX();
    named.BirthRecordX();
    auto& source = Make<Redirecting>(definition, output, true);
    source.records.push_back(VectorRecord(42));
    source.copyDestination = &locked;
    source.redirectTo = &named;
    rec.copyEvent.Set();
    TARNReplayAsyncCommData record;
    record.recordNumber = 0;
    TARNTypeInfo type(TARNTypeInfo::Integer32);

    EXPECT_FALSE(source.CopyX(record, type)) << "the copy into the locked destination ended";
    EXPECT_TRUE(named.FirstWords().empty()) << "written into a destination whose lock the copy does not hold";
    EXPECT_TRUE(locked.FirstWords().empty());
    EXPECT_EQ(locked.RecordCount() + named.RecordCount(), 0u);
    named.DeathRecordX();
    locked.DeathRecordX();
}

// The engine ends and starts a copy again (RemoveCopySource clears the source's destination)
// while the source's replay thread copies: what goes through is written whole, in order,
// and counted once (a ThreadSanitizer case: the destination is shared between them).
TEST_F(RecordFaults, EndingACopyWhileItRunsIsSafe) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    auto definition = TestMethodDefinition();
    auto& destination = Make<TestRecordMethod>(definition, rec, output, true);
    destination.BirthRecordX();
    auto replayDefinition = TestMethodDefinition();
    replayDefinition.threadedReplay = true;
    auto& source = Make<TestReplayMethod>(replayDefinition, output, true);
    source.copyDestination = &destination;
    rec.copyEvent.Set();
    source.BirthReplayX();
    constexpr int Records = 200;
    for (int n = 0; n <= Records; ++n) source.records.push_back(VectorRecord(n));
    {
        TestThread queueing([&] {
            for (int n = 0; n < Records; ++n) TestPlayer::Queue(source, n, Issue(n), Issue(n));
        });
        while (!queueing.Finished()) {
            destination.RemoveCopySource(&source);
            source.copyDestination = &destination;
            source.copyMode = true;
        }
    }
    // With the copy left running, the last record is copied for certain.
    TestPlayer::Queue(source, Records, Issue(Records), Issue(Records));
    ASSERT_TRUE(AwaitCondition([&] { return source.ReplayQueue().IsEmpty(); }));
    source.DeathReplayX();
    const std::vector<int> words = destination.FirstWords();
    ASSERT_FALSE(words.empty()) << "nothing was copied";
    EXPECT_EQ(words.back(), Records) << "the record queued last, after the copy settled";
    EXPECT_TRUE(std::is_sorted(words.begin(), words.end()));
    EXPECT_EQ(std::adjacent_find(words.begin(), words.end()), words.end()) << "a record written twice";
    EXPECT_EQ(destination.RecordCount(), words.size()) << "only what was written counts";
    destination.DeathRecordX();
}

// A derived Get that fails while the trigger flushes: the module lock is free afterwards.
TEST_F(RecordFaults, AFailingFlushLeavesTheModuleLockFree) {
    struct FailingGet : TestRecordMethod {
        using TestRecordMethod::TestRecordMethod;
        using TestRecordMethod::Get;
        void Get(TARNProperty& property, long& value) override {
            if (failing && &property == triggerBufferSizeProperty) throw -5;
            TestRecordMethod::Get(property, value);
        }
        bool failing = false;
    };
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition(0, 2);
    auto& method = Make<FailingGet>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    method.failing = true;
    EXPECT_EQ(ThrownCode([&] { method.Trigger(true); }), -5);
    method.failing = false;
    bool taken = false;
    std::thread other([&] {
        taken = method.moduleLock.TryLock();
        if (taken) method.moduleLock.Release();
    });
    other.join();
    EXPECT_TRUE(taken);
    method.DeathRecordX();
}

// Birth records what already waits, sequentially; a failure there is contained and leaves
// the sequential lock free for the death that follows.
TEST_F(RecordFaults, AFailingBirthDrainLeavesTheSequentialLockFree) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    PublishQuietly(output, 1, Issue(1), Issue(1));
    method.beforeWrite = [](TARNIOElt&) { throw -5; };
    method.BirthRecordX();
    EXPECT_TRUE(method.State() & TARNModule::Dying);
    EXPECT_EQ(ReportsAt(1).back().message, "record/replay method rec.cam.out died due to an error.");
    EXPECT_TRUE(method.sequentialLock.TryLock());
    method.sequentialLock.Release();
    method.DeathRecordX();
}

// A threaded Record whose subsampling counter was left beyond a lowered subsampling still
// A sequential record that fails is contained by the kind of failure: an error stops the
// recording with a warning, a time-out reaches the writer as a kernel error, a dying
// module's unwinding ends the call quietly.
struct SequentialFailure {
    const char* name;
    int thrown;
    int escaping;  // what reaches the writer, 0 for nothing
    int level;     // of the one report, -1 for none
    const char* message;
};

void PrintTo(const SequentialFailure& c, std::ostream* out) {
    *out << c.name;
}

class SequentialRecordFailure : public RecordingTest,
                                public ::testing::WithParamInterface<SequentialFailure> {};

TEST_P(SequentialRecordFailure, IsContainedByItsKind) {
    const SequentialFailure& c = GetParam();
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    const size_t before = Reports().size();
    const int thrown = c.thrown;
    method.beforeWrite = [thrown](TARNIOElt&) { throw thrown; };
    PublishQuietly(output, 1, Issue(1), Issue(1));
    EXPECT_EQ(ThrownCode([&] { method.SequentialCore(&method.Input(0)); }), c.escaping);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), before + (c.level >= 0 ? 1 : 0));
    if (c.level >= 0) {
        EXPECT_EQ(reports.back().level, c.level);
        EXPECT_EQ(reports.back().message, c.message);
    }
    method.beforeWrite = nullptr;
    method.DeathRecordX();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SequentialRecordFailure,
    ::testing::Values(
        SequentialFailure{"Error", -5, 0, 1, "Component rec.cam.out (sequential) died due to an error."},
        SequentialFailure{"TimeOut", -3, -5, 2,
                          "Record/Replay method rec.cam.out : Time out (deadlock?) on an input"},
        SequentialFailure{"Dying", 57005, 0, -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// takes the element it is called for.
TEST_F(RecordFaults, ACounterLeftHighStillTakesOneElement) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    auto& input = static_cast<TARNInputImplementation&>(method.Input(0));
    method.threaded = true;
    input.subsampling = 2;
    input.subsamplingCounter = 5;
    PublishQuietly(output, 9, Issue(9), Issue(9));
    method.Record();
    EXPECT_THAT(method.FirstWords(), ElementsAre(9));
    EXPECT_EQ(input.subsamplingCounter, 0);
    method.threaded = false;
    method.DeathRecordX();
}

// A writer bound to no method cannot give the element back: it refuses the write.
TEST_F(RecordFaults, AWriterWithoutMethodRefusesAnElementWrite) {
    TARNRRMFileWriter writer;
    ASSERT_TRUE(writer.TARNFileWriter::Open((root + "/loose").c_str(), 0));
    TARNIOEltImplementation element;
    const int word = 1;
    EXPECT_FALSE(writer.Write(&word, sizeof word, &element));
    EXPECT_EQ(ReportsAt(2).back().message, "A TARNRRMFileWriter has not been initialized.");
    EXPECT_TRUE(writer.Write(&word, sizeof word, nullptr));
    writer.Close();
}

// A completion without a method reports and frees its arguments (the leak checker sees it).
TEST_F(RecordFaults, ACompletionWithoutMethodFreesItsArguments) {
    TARNIOEltImplementation element;
    TARNRecordReplayMethod::CallbackWriter(new AsyncWriteArgs{nullptr, &element});
    EXPECT_EQ(ReportsAt(2).back().message, "A TARNRRMFileWriter has not been initialized.");
}

// Pre-trigger copies of a method destroyed without its death are freed by the destructor
// (the leak checker sees them otherwise).
TEST_F(RecordFaults, TheDestructorFreesCopiesDeathNeverFreed) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition(0, 4);
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    for (int i = 0; i < 3; ++i) Publish(output, i, Issue(i), Issue(i));
    EXPECT_EQ(method.triggerBuffer.Count(), 3);
    method.state.store(method.State() & ~TARNModule::Running);
}

}  // namespace
