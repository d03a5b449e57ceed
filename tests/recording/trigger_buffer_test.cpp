// The pre-trigger buffer: which copies a trigger writes, and how a copy is made.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
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
