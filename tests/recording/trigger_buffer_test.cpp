// The pre-trigger buffer: which copies a trigger writes, and how a copy is made.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../dataflow/module_fixture.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "recording_fixture.hpp"
#include "tarn/runtime/matrix.hpp"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

using TriggerBuffer = RecordingTest;

long Issue(int i) {
    return 1'000'000 + 10'000L * i;
}

// Every item occupied (nothing fell out of a wide window): the trigger marks the whole
// turn, and the next element writes all of it, oldest first, before itself.
TEST_F(TriggerBuffer, AFullBufferIsWrittenWholeAtTheTrigger) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition(2'000'000'000, 0);
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    for (int i = 0; i < 5; ++i) Publish(output, i, Issue(i), Issue(i));
    method.Trigger(true);
    Publish(output, 5, Issue(5), Issue(5));
    EXPECT_THAT(method.FirstWords(), ElementsAre(0, 1, 2, 3, 4, 5));
    method.DeathRecordX();
}

// Copies the first trigger wrote stay at the flush cursor inside a widened window; those a
// second trigger marks behind them are written before the next element, not after the
// elements that follow: records and time entries stay in time order.
class TriggerAgain : public RecordingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TriggerAgain, ASecondTriggerWritesInTimeOrder) {
    const bool threaded = GetParam();
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    auto definition = TestMethodDefinition(0, 3);
    definition.threadedRecord = threaded;
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    method.BirthRecordX();
    int next = 0;
    // Publishes `count` elements, each recorded (or buffered) before the next comes.
    auto publish = [&](int count) {
        for (int end = next + count; next < end; ++next) {
            Publish(output, next, Issue(next), Issue(next));
            ASSERT_TRUE(AwaitCondition([&] { return output.ring->IsEmpty(); }));
        }
    };
    publish(6);
    method.Trigger(true);
    publish(1);
    method.Set(*method.triggerProperty, false);
    publish(2);
    method.triggerBufferSizeProperty->Set(10L);
    method.Trigger(true);
    publish(3);
    method.DeathRecordX();

    EXPECT_THAT(method.FirstWords(), ElementsAre(3, 4, 5, 6, 7, 8, 9, 10, 11));
    std::vector<long> times;
    for (const TestRecorder::TimeEntry& entry : rec.Entries()) times.push_back(entry.time);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "time entries out of order";
}

INSTANTIATE_TEST_SUITE_P(SequentialAndThreaded, TriggerAgain, ::testing::Bool());

std::vector<long> EntryTimes(const TestRecorder& rec) {
    std::vector<long> times;
    for (const TestRecorder::TimeEntry& entry : rec.Entries()) times.push_back(entry.time);
    return times;
}

// Copies being written hold the flush cursor, so the copies buffered behind them while the
// trigger was off are not trimmed; a later trigger with a wider window must not mark those
// that are older than elements already written. A window of 1 us keeps a copy until the next
// element and marks none at a trigger (engine time lies after every time of issue).
TEST_F(TriggerBuffer, AWidenedWindowMarksNoCopyOlderThanWhatWasWritten) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    auto definition = TestMethodDefinition(1, 0);
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    method.copyTriggered = true;
    method.deferCompletion = true;
    method.BirthRecordX();
    int next = 0;
    auto publish = [&](int count) {
        for (int end = next + count; next < end; ++next) Publish(output, next, Issue(next), Issue(next));
    };
    publish(2);
    method.Trigger(true);
    publish(2);
    method.Set(*method.triggerProperty, false);
    publish(2);  // buffered behind the copies of 2 and 3, which are being written
    method.Trigger(true);
    publish(2);
    method.Set(*method.triggerProperty, false);
    method.CompleteDeferred();
    method.triggerBufferSizeProperty->Set(10L);
    method.Trigger(true);
    publish(1);
    method.CompleteDeferred();
    method.DeathRecordX();

    EXPECT_THAT(method.FirstWords(), ElementsAre(2, 3, 6, 7, 8));
    const std::vector<long> times = EntryTimes(rec);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << "time entries out of order";
}

// Seeded walks of publications, triggers, window changes and writes completed late or at
// once, copied or written directly: whatever is written goes out in the order it came.
TEST_F(TriggerBuffer, RandomWalksWriteInTheOrderElementsCame) {
    constexpr int Walks = 25;
    constexpr int Steps = 200;
    std::mt19937 random(2024);
    auto chance = [&](int percent) { return std::uniform_int_distribution<int>(0, 99)(random) < percent; };
    const long windowTimes[] = {0, 1, 15'000, 25'000, 1'000'000};
    const long windowSizes[] = {0, 1, 2, 3, 10};
    auto pick = [&](const long(&values)[5]) {
        return values[std::uniform_int_distribution<int>(0, 4)(random)];
    };
    TestRecorder& rec = MakeRecorder();
    for (int walk = 0; walk < Walks; ++walk) {
        TARNOutputImplementation& output = MakeSource("cam", SourceKind::Vector, 16);
        auto definition = TestMethodDefinition();
        auto& method = Make<TestRecordMethod>(definition, rec, output);
        method.BirthRecordX();
        const std::size_t entriesBefore = rec.Entries().size();
        std::vector<std::string> steps;
        for (int step = 0, next = 0; step < Steps; ++step) {
            const int kind = std::uniform_int_distribution<int>(0, 11)(random);
            if (kind < 4) {
                // Direct writes whose completion waits hold ring elements: complete them
                // before the ring runs out.
                if (method.DeferredCount() >= 8) method.CompleteDeferred();
                Publish(output, next, Issue(next), Issue(next));
                steps.push_back("publish " + std::to_string(next++));
            } else if (kind < 6) {
                // The trigger comes shortly or long after the last element.
                const long after = pick(windowTimes);
                Time().SetCurrentTime(Issue(next) + after);
                method.Trigger(true);
                steps.push_back("trigger +" + std::to_string(after));
            } else if (kind < 8) {
                method.Set(*method.triggerProperty, false);
                steps.push_back("off");
            } else if (kind == 8) {
                method.CompleteDeferred();
                steps.push_back("complete");
            } else if (kind < 11) {
                const long time = pick(windowTimes);
                const long size = pick(windowSizes);
                method.triggerBufferTimeProperty->Set(time);
                method.triggerBufferSizeProperty->Set(size);
                steps.push_back("window " + std::to_string(time) + "/" + std::to_string(size));
            } else {
                method.copyTriggered = chance(50);
                method.deferCompletion = chance(70);
                steps.push_back(std::string(method.copyTriggered ? "copy" : "direct") +
                                (method.deferCompletion ? " deferred" : ""));
            }
        }
        method.CompleteDeferred();
        method.DeathRecordX();
        const std::vector<int> words = method.FirstWords();
        std::vector<long> times = EntryTimes(rec);
        times.erase(times.begin(), times.begin() + static_cast<long>(entriesBefore));
        EXPECT_FALSE(words.empty()) << "walk " << walk << " wrote nothing";
        std::string walked;
        for (const std::string& step : steps) walked += step + "; ";
        ASSERT_TRUE(std::adjacent_find(words.begin(), words.end(), std::greater_equal<int>()) == words.end())
            << "walk " << walk << " wrote " << ::testing::PrintToString(words) << " after: " << walked;
        ASSERT_TRUE(std::is_sorted(times.begin(), times.end())) << "walk " << walk << ": " << walked;
        methods.pop_back();
        sources.pop_back();
    }
}

// While the recorder's blackbox neither writes nor holds, triggered elements are kept as
// marked copies; while it holds, elements are given back unrecorded; once it writes, the
// copies kept are written, oldest first, before the element that comes.
TEST_F(TriggerBuffer, ABlackboxKeepsTriggeredElementsUntilItWrites) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    rec.blackbox = true;
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    method.BirthRecordX();
    auto blackbox = [&](bool write, bool hold) {
        TARNMutexGuard guard(rec.blackboxStateLock);
        rec.blackboxWrite = write;
        rec.blackboxHold = hold;
    };
    for (int i = 0; i < 3; ++i) Publish(output, i, Issue(i), Issue(i));
    blackbox(false, true);
    Publish(output, 3, Issue(3), Issue(3));
    EXPECT_TRUE(method.FirstWords().empty());
    blackbox(true, false);
    Publish(output, 4, Issue(4), Issue(4));
    EXPECT_THAT(method.FirstWords(), ElementsAre(0, 1, 2, 4));
    EXPECT_TRUE(output.ring->IsEmpty());
    method.DeathRecordX();
}

// A copy that fails gives its slot back: a slot kept with a half-made copy would stop the
// trimming and the writing of the marked copies behind it.
TEST_F(TriggerBuffer, AFailedPreTriggerCopyGivesItsSlotBack) {
    struct FailingFirstCopy : TestRecordMethod {
        using TestRecordMethod::TestRecordMethod;
        void ProcessBufferItem(TARNIOElt& source, TARNIOElt& copy) override {
            if (FirstWord(source) == 0) throw -5;
            TestRecordMethod::ProcessBufferItem(source, copy);
        }
    };
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition(0, 3);
    auto& method = Make<FailingFirstCopy>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    for (int i = 0; i < 10; ++i) {
        PublishQuietly(output, i, Issue(i), Issue(i));
        EXPECT_EQ(ThrownCode([&] { method.Record(); }), i == 0 ? -5 : 0);
    }
    method.Trigger(true);
    PublishQuietly(output, 10, Issue(10), Issue(10));
    method.Record();
    EXPECT_THAT(method.FirstWords(), ElementsAre(7, 8, 9, 10));
    EXPECT_TRUE(output.ring->IsIdle()) << "every ring element is back";
    method.DeathRecordX();
}

struct ReleaseCase {
    int releaseTime;  // microseconds of time of issue after the trigger
    int releaseSize;  // elements after the trigger
    std::vector<int> recorded;
};

void PrintTo(const ReleaseCase& release, std::ostream* out) {
    *out << "release time " << release.releaseTime << ", size " << release.releaseSize;
}

class TriggerRelease : public RecordingTest, public ::testing::WithParamInterface<ReleaseCase> {};

// The release time and size switch the trigger off, whichever comes first; at 0 both, it
// stays on. The trigger comes at the first element's time of issue; one element each 10 ms.
TEST_P(TriggerRelease, EndsTheTriggerAfterItsTimeOrSize) {
    const ReleaseCase& release = GetParam();
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition(0, 0, release.releaseTime, release.releaseSize);
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.BirthRecordX();
    Time().SetCurrentTime(Issue(0));
    method.Trigger(true);
    for (int i = 0; i < 6; ++i) Publish(output, i, Issue(i), Issue(i));
    EXPECT_THAT(method.FirstWords(), ElementsAreArray(release.recorded));
    method.DeathRecordX();
}

INSTANTIATE_TEST_SUITE_P(Cases, TriggerRelease,
                         ::testing::Values(ReleaseCase{0, 3, {0, 1, 2}}, ReleaseCase{25'000, 0, {0, 1, 2}},
                                           ReleaseCase{30'000, 0, {0, 1, 2, 3}}, ReleaseCase{25'000, 2, {0, 1}},
                                           ReleaseCase{15'000, 4, {0, 1}}, ReleaseCase{0, 0, {0, 1, 2, 3, 4, 5}}));

// The default copy lays out exactly the parts its source has, behind the header.
class DeepCopy : public RecordingTest {
  protected:
    TestRecordMethod& MethodFor(TARNOutputImplementation& output) {
        definition = TestMethodDefinition();
        return Make<TestRecordMethod>(definition, MakeRecorder(), output);
    }
    TARNRecordReplayMethodDefinition definition;
};

TEST_F(DeepCopy, AnImageWithoutRegionOfInterestHasNoneInItsCopy) {
    TestRecordMethod& method = MethodFor(MakeSource("cam", SourceKind::Image));
    _IplImage model = TARN::IplImageModel(ImageWidth, ImageHeight, "GRAY", 0, 8, 4);
    // A source laid out without a region of interest: the pixels right behind the header.
    std::vector<unsigned char> block(sizeof(_IplImage) + model.imageSize);
    for (std::size_t i = sizeof(_IplImage); i < block.size(); ++i) block[i] = static_cast<unsigned char>(i);
    model.imageData = reinterpret_cast<char*>(block.data() + sizeof(_IplImage));
    std::memcpy(block.data(), &model, sizeof model);
    TARNIOEltImplementation source;
    source.data = block.data();
    source.type = TARNTypeInfo(TARNTypeInfo::IplImage);
    TARNIOEltImplementation copy;

    method.ProcessBufferItem(source, copy);
    const auto* image = static_cast<const _IplImage*>(copy.data);
    EXPECT_EQ(copy.bufferItemSize, static_cast<int>(block.size()));
    EXPECT_EQ(image->roi, nullptr);
    EXPECT_EQ(image->imageData, static_cast<char*>(copy.data) + sizeof(_IplImage));
    EXPECT_EQ(std::memcmp(image->imageData, model.imageData, model.imageSize), 0);
    delete[] static_cast<unsigned char*>(copy.data);
}

TEST_F(DeepCopy, AMatrixWithOnlyItsRealArrayCopiesOnlyThat) {
    sources.push_back(std::make_unique<TARNModule>("calc", false, false));
    TARNOutputDefinition definition{};
    definition.name = "out";
    definition.type = TARNTypeInfo(TARNTypeInfo::Matrix);
    definition.fifoSize = 2;
    definition.subsampling = 1;
    auto& output = static_cast<TARNOutputImplementation&>(*sources.back()->NewOutput(definition, nullptr));
    TestRecordMethod& method = MethodFor(output);

    double real[6] = {1, 2, 3, 4, 5, 6};
    std::vector<unsigned char> header(sizeof(TARNMatrix));
    TARNMatrix matrix(2, 3, real, nullptr);
    std::memcpy(header.data(), &matrix, sizeof matrix);
    TARNIOEltImplementation source;
    source.data = header.data();
    source.type = TARNTypeInfo(TARNTypeInfo::Matrix);
    TARNIOEltImplementation copy;

    method.ProcessBufferItem(source, copy);
    const auto* copied = static_cast<const TARNMatrix*>(copy.data);
    EXPECT_EQ(copy.bufferItemSize, static_cast<int>(sizeof(TARNMatrix) + sizeof real));
    EXPECT_EQ(copied->imag, nullptr);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(copied->real), static_cast<unsigned char*>(copy.data) + sizeof(TARNMatrix));
    EXPECT_EQ(std::memcmp(copied->real, real, sizeof real), 0);
    delete[] static_cast<unsigned char*>(copy.data);
}

}  // namespace
