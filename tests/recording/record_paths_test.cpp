// Where a recording goes: the record folder and the file base composed at record birth
// from the method's and the recorder's settings, and birth's failures.
#include <gmock/gmock.h>

#include <filesystem>

#include "dataflow/output_implementation.hpp"
#include "recording_fixture.hpp"

namespace {

using RecordPaths = RecordingTest;

struct NamingCase {
    const char* alias;
    bool startTime;
    bool subfolder;
    const char* base;    // relative to the record folder given
    const char* folder;  // relative to it as well
};

class RecordNaming : public RecordingTest, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(RecordNaming, ComposesTheFileBase) {
    const NamingCase& naming = GetParam();
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder("rec:1", true);
    rec.recordStartTime->Set("T");
    rec.addStartTime->Set(naming.startTime);
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    method.Property("alias").Set(naming.alias);
    method.Property("record_to_subfolder").Set(naming.subfolder);
    method.BirthRecordX();
    EXPECT_EQ(std::string(method.FilePath()), root + naming.base);
    EXPECT_EQ(std::string(method.RecordFolder()), root + naming.folder);
    EXPECT_EQ(std::string(method.FastFilePath()), root + naming.base) << "no fast path: the normal one";
    EXPECT_TRUE(std::filesystem::is_directory(root + naming.folder));
    method.DeathRecordX();
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RecordNaming,
    ::testing::Values(NamingCase{"", false, false, "/rec_1_tarnhost_cam_out", ""},
                      NamingCase{"", true, false, "/rec_1_tarnhost@T_cam_out", ""},
                      NamingCase{"front.cam", false, false, "/front_cam", ""},
                      NamingCase{"front.cam", true, false, "/front_cam@T", ""},
                      NamingCase{"", false, true, "/cam_out/rec_1_tarnhost_cam_out", "/cam_out"}));

TEST_F(RecordPaths, WithoutAnyRecordPathTheMethodDies) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    rec.recordPath->Set("");
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    method.BirthRecordX();
    const std::vector<HostReport> errors = ReportsAt(2);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().message, "Record/Replay method rec.cam.out: No recordpath configured in the record method or the recorder");
    EXPECT_EQ(ReportsAt(1).back().message, "record/replay method rec.cam.out died due to an error.");
    EXPECT_TRUE(method.State() & TARNModule::Dying);
    EXPECT_EQ(method.FilePath(), nullptr);
    method.DeathRecordX();
}

TEST_F(RecordPaths, AMissingFolderIsReportedAndCreated) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    rec.recordPath->Set((root + "/new/deeper").c_str());
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    method.BirthRecordX();
    EXPECT_TRUE(std::filesystem::is_directory(root + "/new/deeper"));
    const std::vector<HostReport> infos = ReportsAt(0);
    ASSERT_FALSE(infos.empty());
    EXPECT_EQ(infos.front().message, "Record/Replay method rec.cam.out: recordPath directory " + root +
                                         "/new/deeper does not exist. Trying to create it...");
    method.DeathRecordX();
}

TEST_F(RecordPaths, TheHeadingHintDescribesTheStream) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestRecorder& rec = MakeRecorder();
    auto definition = TestMethodDefinition();
    auto& method = Make<TestRecordMethod>(definition, rec, output);
    method.BirthRecordX();
    Publish(output, 1, 10, 10);
    method.DeathRecordX();
    EXPECT_THAT(rec.Hints(), ::testing::ElementsAre("Record cam.out(.out[0x8000000000000002,.,.,8,4]) as trec"));
}

}  // namespace
