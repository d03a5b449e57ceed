// The record loop: which elements of the recorded output it records under the input's
// subsampling, sequential and threaded, and the time entries it gives the recorder.
#include <gmock/gmock.h>

#include <vector>

#include "dataflow/output_implementation.hpp"
#include "recording_fixture.hpp"

namespace {

using ::testing::ElementsAreArray;

long Issue(int i) {
    return 1'000'000 + 10'000L * i;
}

struct SubsamplingCase {
    bool threaded;
    long subsampling;
    std::vector<int> recorded;
};

void PrintTo(const SubsamplingCase& subsampling, std::ostream* out) {
    *out << (subsampling.threaded ? "threaded" : "sequential") << ", subsampling " << subsampling.subsampling;
}

class RecordSubsampling : public RecordingTest, public ::testing::WithParamInterface<SubsamplingCase> {};

// Of each run of `subsampling` elements, the last is recorded and the others skipped.
TEST_P(RecordSubsampling, RecordsTheLastOfEachRun) {
    const SubsamplingCase& subsampling = GetParam();
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    definition.threadedRecord = subsampling.threaded;
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    method.Set(method.Property("input.subsampling"), subsampling.subsampling);
    method.BirthRecordX();
    for (int i = 0; i < 6; ++i) {
        Publish(output, i, Issue(i), Issue(i));
        ASSERT_TRUE(AwaitCondition([&] { return output.ring->IsEmpty(); }));
    }
    method.DeathRecordX();
    EXPECT_THAT(method.FirstWords(), ElementsAreArray(subsampling.recorded));
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordSubsampling,
                         ::testing::Values(SubsamplingCase{false, 1, {0, 1, 2, 3, 4, 5}},
                                           SubsamplingCase{false, 2, {1, 3, 5}},
                                           SubsamplingCase{false, 3, {2, 5}},
                                           SubsamplingCase{true, 2, {1, 3, 5}},
                                           SubsamplingCase{true, 3, {2, 5}}));

using RecordTimeEntries = RecordingTest;

// The time of an entry is the element's time of issue, or its timestamp when the method
// uses timestamps; the timestamp follows it in either case.
TEST_F(RecordTimeEntries, TheTimeIsTheTimestampWhenTheMethodUsesTimestamps) {
    for (const bool useTimestamp : {false, true}) {
        SCOPED_TRACE(useTimestamp ? "useTimestamp" : "time of issue");
        TARNOutputImplementation& output = MakeSource(useTimestamp ? "a" : "b");
        TestRecorder& rec = MakeRecorder(useTimestamp ? "ra" : "rb");
        auto definition = TestMethodDefinition();
        auto& method = Make<TestRecordMethod>(definition, rec, output);
        method.Property("useTimestamp").Set(useTimestamp);
        method.BirthRecordX();
        Publish(output, 1, 10, 20);
        method.DeathRecordX();
        const auto entries = rec.Entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].time, useTimestamp ? 20 : 10);
        EXPECT_EQ(entries[0].timestamp, 20);
        EXPECT_EQ(entries[0].recordCount, 0u);
        EXPECT_EQ(entries[0].timeInfo, 7) << "the derived method's RecordTimeInfo";
    }
}

}  // namespace
