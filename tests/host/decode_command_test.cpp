// The decode run of tarnhost in process, with a stand-in for the decoder: the capture
// source sends every frame of a capture with its timestamp, sized for the largest frame and
// never past a truncated one; the image sink writes each image as PNG and raw bytes with its
// line; the summary counts what was read, published and dropped; a setting the decoder
// does not take ends the run in one line before anything is written.
#include "decode_command.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dataflow/component.hpp"
#include "dataflow/io_element.hpp"
#include "dataflow/output.hpp"
#include "engine/type_filter.hpp"
#include "host_kernel.hpp"
#include "runtime/ipl_image.hpp"
#include "support/capture_writer.hpp"
#include "support/temp_folder_fixture.hpp"

namespace {

// Stands in for the decoder: each frame's element buffer, whole, becomes one row of an
// 8-bit grey image, so that the image's bytes show what the source sent: the frame, then
// zeros up to the element's buffer size. With "drop_odd" the odd frames are read and not
// published. "pattern" and "gain" are there to be set.
class FrameToImage : public TARNComponent {
  public:
    FrameToImage(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    void Birth() override { m_frames = 0; }
    void Core() override {
        TARNIOElt* in = StartReading(Input("raw_image"));
        if (in == nullptr) return;
        bool dropOdd = false;
        GetProperty("drop_odd", dropOdd);
        if (m_frames++ % 2 == 1 && dropOdd) return;
        auto& output = static_cast<TARNOutputImplementation&>(Output("ipl_image"));
        if (output.buffers.ElementCount() == 0)
            output.AllocOutputBufferIplImage(TARN::IplImageModel(in->BufferSize(), 1, "GRAY", 0, 8, 4),
                                             false);
        TARNIOElt* out = StartWriting(output, in->Timestamp());
        if (out == nullptr) return;
        std::memcpy(out->IplImage()->imageData, in->Stream8(), static_cast<size_t>(in->BufferSize()));
        StopWriting(out);
    }

  private:
    long m_frames = 0;
};

TARNModuleBase* makeFrameToImage(const char* name, TARNComponentDefinition& definition) {
    return new FrameToImage(name, definition);
}

TARNInputDefinition standInInputs[] = {
    {"raw_image", nullptr, const_cast<TARNTypeFilterBase*>(&TARN::FilterStream8), 0, 1}, {}};
TARNOutputDefinition standInOutputs[] = {{"ipl_image", 0, TARNTypeInfo(TARNTypeInfo::IplImage), 0, 16, 1, 1},
                                         {}};
TARNPropertyDefinition standInProperties[] = {{"drop_odd", new TARNPropertyValue(false)},
                                              {"pattern", new TARNPropertyValue("plain|inverted", 0)},
                                              {"gain", new TARNPropertyValue(1L)},
                                              {}};
TARNComponentDefinition standInModel = [] {
    TARNComponentDefinition d{};
    d.name = "frame_to_image";
    d.version = "1.0";
    d.factory = makeFrameToImage;
    d.nbInputs = TARNComponentDefinition::NotCounted;
    d.inputs = standInInputs;
    d.nbOutputs = TARNComponentDefinition::NotCounted;
    d.outputs = standInOutputs;
    d.nbProperties = TARNComponentDefinition::NotCounted;
    d.properties = standInProperties;
    d.priority = 128;
    d.threadingModels = TARNComponentDefinition::Threaded;
    d.threaded = true;
    return d;
}();

using Bytes = std::vector<uint8_t>;

// A frame of `count` bytes: its byte count in the first word, then bytes from `seed` on.
Bytes Frame(uint32_t count, uint8_t seed) {
    Bytes frame(count);
    for (uint32_t i = 0; i < count; ++i) frame[i] = static_cast<uint8_t>(seed + i);
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<uint8_t>(count >> (8 * i));
    return frame;
}

class DecodeRunTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_TRUE(kernel.AddModel(standInModel));
        options.capture = Path("capture.bin");
        options.pngFolder = Path("png");
        options.rawFolder = Path("raw");
    }
    void WriteCapture(const std::vector<Bytes>& frames, const Bytes& tail = {}) {
        std::vector<Bytes> all = frames;
        if (!tail.empty()) all.push_back(tail);
        capture::WriteCapture(options.capture, all);
    }
    // The command on a thread of its own: one that never ends (a component waiting for
    // good) fails the test at the deadline, and its components are then told to die, which
    // ends every wait of theirs and so the command.
    int Run() {
        std::atomic<bool> finished{false};
        int status = -1;
        std::thread running([&] {
            status = RunDecode(kernel, options, "", "frame_to_image", out, err);
            finished = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!finished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!finished) {
            ADD_FAILURE() << "the decode did not end within 20 s";
            for (const std::string& name : kernel.Components().Names())
                if (TARNComponent* component = kernel.FindComponent(name.c_str())) component->Die();
        }
        running.join();
        return status;
    }
    std::string Raw(long index) const { return Content("raw/" + ImageName(index, ".raw")); }
    static std::string ImageName(long index, const char* extension) {
        char name[16];
        std::snprintf(name, sizeof name, "%06ld", index);
        return name + std::string(extension);
    }
    // The frame as the decoder gets it: padded with zeros to `size` bytes.
    static std::string Padded(const Bytes& frame, size_t size) {
        std::string bytes(frame.begin(), frame.end());
        bytes.resize(size, '\0');
        return bytes;
    }
    size_t FilesIn(const std::string& folder) const {
        std::error_code code;
        if (!std::filesystem::exists(Path(folder), code)) return 0;
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(Path(folder)), {}));
    }

    HostKernel kernel;
    DecodeOptions options;
    std::ostringstream out;
    std::ostringstream err;
};

// Frames of different sizes all arrive, in order, with timestamps at 30 frames a second,
// each in a buffer of the largest frame's size whose rest is zero (not an older frame's
// bytes); each image is written as PNG and as raw bytes, with its line.
TEST_F(DecodeRunTest, EveryFrameBecomesAnImageWithItsFilesAndLine) {
    // More frames than the source's ring has elements, the later ones smaller than any
    // before: each reuses an element that held a larger frame.
    const std::vector<Bytes> frames = {Frame(300, 1), Frame(100, 2), Frame(200, 3),
                                       Frame(250, 4), Frame(90, 5),  Frame(80, 6)};
    WriteCapture(frames);
    ASSERT_EQ(Run(), 0) << err.str();
    EXPECT_EQ(err.str(), "");
    for (long i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Raw(i), Padded(frames[i], 300));
        EXPECT_EQ(Content("png/" + ImageName(i, ".png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
    }
    EXPECT_EQ(FilesIn("raw"), 6u);
    EXPECT_EQ(FilesIn("png"), 6u);
    const std::string text = out.str();
    EXPECT_NE(text.find("image 0: 300x1 depth 8 channels 1 timestamp 33333\n"
                        "image 1: 300x1 depth 8 channels 1 timestamp 66667\n"
                        "image 2: 300x1 depth 8 channels 1 timestamp 100000\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("frames read: 6\nimages published: 6\nframes dropped: 0\nms per frame: "),
              std::string::npos)
        << text;
}

// What the decoder reads and does not publish counts as dropped; the images are numbered in
// published order.
TEST_F(DecodeRunTest, FramesTheDecoderDropsAreCountedAndLeaveNoGapInTheNames) {
    std::vector<Bytes> frames;
    for (uint8_t i = 0; i < 5; ++i) frames.push_back(Frame(80, i));
    WriteCapture(frames);
    options.settings = {{"drop_odd", "true"}};
    ASSERT_EQ(Run(), 0) << err.str();
    EXPECT_EQ(FilesIn("raw"), 3u);
    for (long i = 0; i < 3; ++i) EXPECT_EQ(Raw(i), Padded(frames[2 * i], 80)) << i;
    EXPECT_NE(out.str().find("frames read: 5\nimages published: 3\nframes dropped: 2\n"), std::string::npos)
        << out.str();
}

// A last frame the file cuts short (or whose byte count is below the header) is reported
// with its place and skipped; the frames before it are decoded. --limit stops before the
// rest of the file is looked at.
TEST_F(DecodeRunTest, ABrokenLastFrameIsReportedAndSkipped) {
    struct Case {
        const char* name;
        Bytes tail;
        long limit;
        long read;
        std::string warning;  // empty: none
    };
    Bytes truncated = Frame(500, 9);
    truncated.resize(50);
    Bytes malformed = Frame(70, 9);
    malformed[0] = 10;
    const Case cases[] = {
        {"truncated", truncated, 0, 2,
         "warning: component capture: frame 2 at byte 200 is truncated: it announces 500 bytes, the file "
         "holds 50; it is skipped\n"},
        {"malformed", malformed, 0, 2,
         "warning: component capture: frame 2 at byte 200 is malformed: its byte count 10 is below the "
         "64-byte header; it is "
         "skipped\n"},
        {"limited before it", truncated, 1, 1, ""},
        {"limited to more than there is", truncated, 5, 2,
         "warning: component capture: frame 2 at byte 200 is truncated: it announces 500 bytes, the file "
         "holds 50; it is skipped\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        out.str("");
        err.str("");
        std::filesystem::remove_all(Path("raw"));
        WriteCapture({Frame(100, 1), Frame(100, 2)}, c.tail);
        options.limit = c.limit;
        ASSERT_EQ(Run(), 0) << err.str();
        EXPECT_EQ(FilesIn("raw"), static_cast<size_t>(c.read));
        const std::string text = out.str();
        EXPECT_EQ(text.find("frame 2 at") == std::string::npos, c.warning.empty()) << text;
        if (!c.warning.empty()) {
            EXPECT_NE(text.find(c.warning), std::string::npos) << text;
        }
        EXPECT_NE(text.find("frames read: " + std::to_string(c.read) + "\n"), std::string::npos) << text;
    }
}

TEST_F(DecodeRunTest, AnEmptyCaptureEndsAtOnceWithNothingRead) {
    WriteCapture({});
    ASSERT_EQ(Run(), 0) << err.str();
    EXPECT_EQ(FilesIn("raw"), 0u);
    EXPECT_NE(out.str().find("frames read: 0\nimages published: 0\nframes dropped: 0\nms per frame: 0.000\n"),
              std::string::npos)
        << out.str();
}

// A property the decoder does not have, or a value it does not take, ends the run before it
// starts: one line saying what it takes, nothing on the standard output, no folder made.
TEST_F(DecodeRunTest, ASettingTheDecoderDoesNotTakeIsOneLineBeforeAnythingRuns) {
    struct Case {
        const char* property;
        const char* value;
        std::string line;
    };
    const Case cases[] = {
        {"nonexistent", "1", "tarnhost: the decoder (frame_to_image) has no property \"nonexistent\"\n"},
        {"drop_odd", "maybe", "tarnhost: the decoder refuses drop_odd=maybe: it takes true or false\n"},
        {"pattern", "sideways",
         "tarnhost: the decoder refuses pattern=sideways: it takes one of plain|inverted\n"},
        {"pattern", "2", "tarnhost: the decoder refuses pattern=2: it takes one of plain|inverted\n"},
        {"pattern", "-1", "tarnhost: the decoder refuses pattern=-1: it takes one of plain|inverted\n"},
        {"gain", "1.5", "tarnhost: the decoder refuses gain=1.5: it takes a whole number\n"},
    };
    WriteCapture({Frame(100, 1)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.property + std::string("=") + c.value);
        out.str("");
        err.str("");
        // A good setting before the refused one changes nothing.
        options.settings = {{"pattern", "inverted"}, {c.property, c.value}};
        EXPECT_EQ(Run(), 1);
        EXPECT_EQ(err.str(), c.line);
        EXPECT_EQ(out.str(), "");
        EXPECT_FALSE(std::filesystem::exists(Path("raw")));
        EXPECT_FALSE(std::filesystem::exists(Path("png")));
    }
}

}  // namespace
