// The host's image sink at the end of a graph, as a test bench uses it: the folders it is
// given are made when missing, and a folder that cannot be made is said once, at Birth;
// the first image then cannot be written, no file of it stays, and the sink writes no more.
#include "image_sink.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host_graph.hpp"
#include "host_kernel.hpp"
#include "host_recorder.hpp"
#include "support/graph_ends.hpp"
#include "support/temp_folder_fixture.hpp"

namespace {

constexpr long Deadline = 20'000'000;  // microseconds a run may take before the test gives up
constexpr int Images = 2;

class ImageSinkTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_TRUE(graph.AddModel(ScriptedSource::Model()));
        ASSERT_TRUE(graph.AddModel(ImageSink::Definition()));
        ASSERT_TRUE(graph.Create("scriptedSource", "source"));
        ASSERT_TRUE(graph.Create(ImageSink::Model, "sink"));
    }
    // Runs `Images` grey images into the sink with these folders; false when it did not
    // take them all in time (written, or given back unwritten after a failure).
    bool Run(const std::string& pngFolder, const std::string& rawFolder) {
        auto* source = graph.Component<ScriptedSource>("source");
        TARNOutput& images = source->ImageOutput("images", 4, 2);
        source->script = [&images](ScriptedSource& s) {
            for (int i = 0; i < Images; ++i)
                s.WriteImage(images, static_cast<unsigned char>(10 * i), (i + 1) * 1000L);
        };
        if (!graph.Set("sink.png_folder", pngFolder) || !graph.Set("sink.raw_folder", rawFolder) ||
            !graph.Connect("source.images", "sink.images") || !graph.Start())
            return false;
        auto* sink = graph.Component<ImageSink>("sink");
        const bool taken = graph.RunUntil(
            [&] {
                return sink->received.load() == Images ||
                       (sink->failures.load() > 0 && graph.Drained("source.images"));
            },
            Deadline);
        graph.Stop();
        return taken;
    }
    std::vector<std::string> Errors() const {
        std::vector<std::string> errors;
        for (const HostReport& report : recorder.Reports())
            if (report.level >= 2) errors.push_back(report.message);
        return errors;
    }

    HostKernel kernel;
    HostRecorder recorder{kernel};
    HostGraph graph{kernel};
};

TEST_F(ImageSinkTest, MissingFoldersAreMadeWithTheFoldersAboveThem) {
    ASSERT_TRUE(Run(Path("new/png"), Path("new/deeper/raw")));
    EXPECT_EQ(Errors(), std::vector<std::string>{});
    for (const char* file : {"new/png/000000.png", "new/png/000001.png"})
        EXPECT_TRUE(std::filesystem::is_regular_file(Path(file))) << file;
    EXPECT_EQ(Content("new/deeper/raw/000001.raw"), std::string(8, '\x0a'));
    EXPECT_EQ(graph.Component<ImageSink>("sink")->failures.load(), 0);
}

// A folder that cannot be made, an image's only one or either of its two: no file of the
// image stays in the other (it is not written, or removed again), as the sink counts it not
// written.
struct BlockedFolder {
    const char* name;
    const char* png;  // relative to the test's folder, "" for none
    const char* raw;
    const char* blocked;  // the folder that cannot be made ("taken" is a file)
    const char* other;    // the one that can, or ""
};

void PrintTo(const BlockedFolder& folder, std::ostream* out) {
    *out << folder.name;
}

class ImageSinkBlockedFolderTest : public ImageSinkTest,
                                   public ::testing::WithParamInterface<BlockedFolder> {};

TEST_P(ImageSinkBlockedFolderTest, AFolderThatCannotBeMadeIsOneErrorAndNoFileOfTheImageStays) {
    const BlockedFolder& c = GetParam();
    MakeFile("taken");
    auto path = [this](const char* relative) { return *relative != 0 ? Path(relative) : std::string(); };
    ASSERT_TRUE(Run(path(c.png), path(c.raw)));
    const std::vector<std::string> errors = Errors();
    ASSERT_FALSE(errors.empty());
    const std::string start = "component sink: cannot create folder " + Path(c.blocked) + ": ";
    EXPECT_EQ(errors.front().substr(0, start.size()), start) << errors.front();
    // Then the first image, with its own reason; the others are not tried.
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].substr(0, std::string("component sink: image 0: ").size()),
              "component sink: image 0: ")
        << errors[1];
    EXPECT_EQ(graph.Component<ImageSink>("sink")->failures.load(), 1);
    EXPECT_EQ(graph.Component<ImageSink>("sink")->written.load(), 0);
    EXPECT_FALSE(std::filesystem::exists(Path(c.blocked)));
    if (*c.other != 0) {
        EXPECT_TRUE(std::filesystem::is_directory(Path(c.other)));
        EXPECT_TRUE(std::filesystem::is_empty(Path(c.other))) << "a file of the image that was not written";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ImageSinkBlockedFolderTest,
    ::testing::Values(BlockedFolder{"RawOnly", "", "taken/raw", "taken/raw", ""},
                      BlockedFolder{"RawOfBoth", "png", "taken/raw", "taken/raw", "png"},
                      BlockedFolder{"PngOfBoth", "taken/png", "raw", "taken/png", "raw"}),
    [](const ::testing::TestParamInfo<BlockedFolder>& info) { return std::string(info.param.name); });

}  // namespace
