// The decode run of tarnhost in process, with a stand-in for the decoder: the capture
// source sends every frame of a capture with its timestamp, sized for the largest frame and
// never past a truncated one; the image sink writes each image as PNG and raw bytes with its
// line; the summary counts what was read, published and dropped; a setting the decoder
// does not take ends the run in one line before anything is written.
#include "decode_command.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dataflow/output_implementation.hpp"
#include "decode_summary.hpp"
#include "host_kernel.hpp"
#include "support/capture_writer.hpp"
#include "support/temp_folder_fixture.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/type_filter.hpp"
#include "tarn/runtime/ipl_image.hpp"

namespace {

// Stands in for the decoder: each frame's element buffer, whole, becomes one row of an
// 8-bit grey image, so that the image's bytes show what the source sent: the frame, then
// zeros up to the element's buffer size. With "drop_odd" the odd frames are read and not
// published; with "skip_first_frames", as the real decoder, the first 10 of a run. "pattern"
// and "gain" are there to be set; "gain" takes 1 to 16 and keeps its value otherwise, with a
// warning above 16 and silently below 1.
class FrameToImage : public TARNComponent {
  public:
    FrameToImage(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}
    using TARNComponent::Set;
    void Set(TARNProperty& property, long value) override {
        if (property.ShortName() == "gain" && value > 16) return Report("gain takes 1 to 16", 1, 0);
        if (property.ShortName() == "gain" && value < 1) return;
        TARNComponent::Set(property, value);
    }
    void Birth() override { m_frames = 0; }
    void Core() override {
        TARNIOElt* in = StartReading(Input("raw_image"));
        if (in == nullptr) return;
        bool dropOdd = false;
        bool skipFirst = false;
        GetProperty("drop_odd", dropOdd);
        GetProperty("skip_first_frames", skipFirst);
        const long frame = m_frames++;
        if ((skipFirst && frame < 10) || (dropOdd && frame % 2 == 1)) return;
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
    {"raw_image", nullptr, &TARN::FilterStream8, 0, 1}, {}};
TARNOutputDefinition standInOutputs[] = {{"ipl_image", 0, TARNTypeInfo(TARNTypeInfo::IplImage), 0, 16, 1, 1},
                                         {}};
TARNPropertyDefinition standInProperties[] = {{"drop_odd", new TARNPropertyValue(false)},
                                              {"skip_first_frames", new TARNPropertyValue(false)},
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

// A last frame the file cuts short is reported with its place and skipped; the frames
// before it are decoded. A byte count below the header is no cut: the frames behind it
// would be lost, so the run fails and says how many bytes are left unread. --limit stops
// before the rest of the file is looked at.
TEST_F(DecodeRunTest, ABrokenFrameEndsTheReadingAndOnlyACutLastOneIsForgiven) {
    struct Case {
        const char* name;
        std::vector<Bytes> after;  // the frames after the first two
        long limit;
        long read;
        std::string report;  // empty: none
        int status;
        std::string line;  // the one line on the error stream, with status 1
    };
    Bytes truncated = Frame(500, 9);
    truncated.resize(50);
    Bytes malformed = Frame(70, 9);
    malformed[0] = 10;
    const std::string cut =
        "frame 2 at byte 200 is truncated: it announces 500 bytes, the file holds 50; it is skipped\n";
    const std::string lost =
        "frame 2 at byte 200 is malformed: its byte count 10 is below the 64-byte header; the 170 bytes from "
        "there on are left unread";
    const Case cases[] = {
        {"truncated", {truncated}, 0, 2, "warning: component capture: " + cut, 0, ""},
        // Said once, as the run's last line, not also as a report when it happened.
        {"malformed, frames behind it", {malformed, Frame(100, 3)}, 0, 2, "", 1, "tarnhost: " + lost + "\n"},
        {"limited before it", {truncated}, 1, 1, "", 0, ""},
        {"limited to more than there is", {truncated}, 5, 2, "warning: component capture: " + cut, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        out.str("");
        err.str("");
        std::filesystem::remove_all(Path("raw"));
        std::filesystem::remove_all(Path("png"));
        std::vector<Bytes> frames = {Frame(100, 1), Frame(100, 2)};
        frames.insert(frames.end(), c.after.begin(), c.after.end());
        WriteCapture(frames);
        options.limit = c.limit;
        ASSERT_EQ(Run(), c.status) << err.str();
        EXPECT_EQ(FilesIn("raw"), static_cast<size_t>(c.read));
        const std::string text = out.str() + err.str();
        EXPECT_EQ(text.find("frame 2 at") == std::string::npos, c.report.empty() && c.line.empty()) << text;
        if (!c.report.empty()) {
            EXPECT_NE(text.find(c.report), std::string::npos) << text;
        }
        EXPECT_NE(text.find("frames read: " + std::to_string(c.read) + "\n"), std::string::npos) << text;
        if (c.status != 0) {
            EXPECT_EQ(err.str(), c.line);
        } else {
            EXPECT_EQ(err.str().find("tarnhost: "), std::string::npos) << err.str();
        }
    }
}

// An empty file, or one whose first frame cannot be taken, holds no frame: one line and
// status 1 before anything runs.
TEST_F(DecodeRunTest, ACaptureWithoutAFrameIsAnErrorBeforeAnythingRuns) {
    struct Case {
        const char* name;
        std::string content;
        std::string line;
    };
    const Case cases[] = {
        {"empty", "", "the file is empty"},
        {"text", "hello, I am no capture\n",
         "frame 0 at byte 0 is truncated: it announces 1819043176 bytes, the file holds 23"},
        {"malformed", std::string("\x10\0\0\0", 4) + std::string(60, 'x'),
         "frame 0 at byte 0 is malformed: its byte count 16 is below the 64-byte header; the 64 bytes from "
         "there "
         "on are left unread"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        err.str("");
        MakeFile("capture.bin", c.content);
        EXPECT_EQ(Run(), 1);
        EXPECT_EQ(err.str(), "tarnhost: capture " + options.capture + " holds no frame: " + c.line + "\n");
        EXPECT_EQ(out.str(), "");
        EXPECT_FALSE(std::filesystem::exists(Path("raw")));
    }
}

// The summary says which frames gave no image and why: those the decoder skips at the start
// of a run, those it dropped; a run that gives no image at all is an error.
TEST_F(DecodeRunTest, TheSummarySaysWhichFramesGaveNoImageAndWhy) {
    struct Case {
        const char* name;
        int frames;
        bool dropOdd;
        int status;
        std::string reasons;  // the lines after the counts
    };
    const std::string skipped =
        " skipped: the decoder skips the first 10 frames of a run (--set skip_first_frames=false keeps "
        "them)\n";
    const Case cases[] = {
        {"ten frames", 10, false, 1, "frames 0-9" + skipped},
        {"one frame", 1, false, 1, "frame 0" + skipped},
        {"fifteen frames", 15, false, 0, "frames 0-9" + skipped},
        {"fifteen frames, odd ones dropped", 15, true, 0,
         "frames 0-9" + skipped + "frames 11, 13 dropped by the decoder: its reports say why\n"},
    };
    options.rawFolder.clear();
    options.pngFolder.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        out.str("");
        err.str("");
        std::vector<Bytes> frames;
        for (int i = 0; i < c.frames; ++i) frames.push_back(Frame(80, static_cast<uint8_t>(i)));
        WriteCapture(frames);
        options.settings = {{"skip_first_frames", "true"}, {"drop_odd", c.dropOdd ? "true" : "false"}};
        EXPECT_EQ(Run(), c.status) << err.str();
        const std::string text = out.str();
        const size_t counts = text.find("ms per frame: ");
        ASSERT_NE(counts, std::string::npos) << text;
        EXPECT_EQ(text.substr(text.find('\n', counts) + 1), c.reasons);
        EXPECT_EQ(err.str(), c.status == 0
                                 ? ""
                                 : "tarnhost: no image came out of the " + std::to_string(c.frames) +
                                       (c.frames == 1 ? " frame read\n" : " frames read\n"));
    }
}

// Each frame read that gave no image is named once, with what became of it: a run that
// stopped at a failed write says which frame failed and which ones were decoded and left,
// never that the decoder dropped them; frames the decoder went past without an image are
// its drops.
TEST(DecodeSummaryTest, EachFrameWithoutAnImageIsNamedWithItsTrueReason) {
    using Image = DecodeOutcome::Image;
    // Frame images from a text, one letter per frame: W written, F write failed, L left,
    // - none.
    auto images = [](const std::string& letters) {
        std::vector<Image> frames;
        for (const char letter : letters)
            frames.push_back(letter == 'W'   ? Image::Written
                             : letter == 'F' ? Image::NotWritten
                             : letter == 'L' ? Image::Left
                                             : Image::None);
        return frames;
    };
    struct Case {
        const char* name;
        std::string frames;
        long skipped;
        bool stoppedEarly;
        std::string reasons;  // the lines after the counts
    };
    const std::string failed = " decoded, not written: the write failed\n";
    const std::string left = " decoded, not written: the run stopped at a failed write\n";
    const Case cases[] = {
        // The sink left every later image at once, and the run drained to its end.
        {"the disk fills after 12 images", "WWWWWWWWWWWWFLLLLLLLLLLLLLLLLL", 0, false,
         "frame 12" + failed + "frames 13-29" + left},
        {"the first image is past the file-size limit", "F-----", 0, true,
         "frame 0" + failed + "frames 1-5 not written: the run stopped first\n"},
        {"skipped, dropped, failed, left and not reached", "----------W-WFL--", 10, true,
         "frames 0-9 skipped: the decoder skips the first 10 frames of a run (--set skip_first_frames=false "
         "keeps "
         "them)\nframe 11 dropped by the decoder: its reports say why\nframe 13" +
             failed + "frame 14" + left + "frames 15-16 not written: the run stopped first\n"},
        {"a whole run that dropped its last frames", "WW--", 0, false,
         "frames 2-3 dropped by the decoder: its reports say why\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeOutcome outcome;
        outcome.framesRead = static_cast<long>(c.frames.size());
        outcome.frameImages = images(c.frames);
        outcome.published = std::count(c.frames.begin(), c.frames.end(), 'W');
        outcome.imagesTaken = outcome.framesRead - std::count(c.frames.begin(), c.frames.end(), '-');
        outcome.skippedAtStart = c.skipped;
        outcome.stoppedEarly = c.stoppedEarly;
        const std::string text = DecodeSummary(outcome);
        const size_t counts = text.find("ms per frame: ");
        ASSERT_NE(counts, std::string::npos) << text;
        EXPECT_EQ(text.substr(text.find('\n', counts) + 1), c.reasons);
    }
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
        // Of the property's type, refused by the decoder's own setter, which keeps the value.
        {"gain", "17", "tarnhost: the decoder refuses gain=17: component decoder: gain takes 1 to 16\n"},
        {"gain", "0", "tarnhost: the decoder refuses gain=0: it keeps gain=1\n"},
        // Taken by the setting, refused by the SDK, which reports it and puts the old value back.
        {"raw_image.readerType", "3",
         "tarnhost: the decoder refuses raw_image.readerType=3: Bad parameter: The input decoder.raw_image "
         "cannot "
         "be switched to SamplingReader or Wait4NextReader.\n"},
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
