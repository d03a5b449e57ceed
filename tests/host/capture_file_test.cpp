// Capture files read frame by frame: whole frames come back byte for byte; a truncated or
// malformed frame ends the reading with a line that says where, and nothing past the file
// is read.
#include "capture_file.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder_fixture.hpp"

namespace {

using Bytes = std::vector<unsigned char>;

// A frame of `count` bytes whose first word says `announced` (the count by default).
Bytes Frame(std::uint32_t count, unsigned char fill, std::int64_t announced = -1) {
    Bytes frame(count, fill);
    const auto word = static_cast<std::uint32_t>(announced < 0 ? count : announced);
    for (int i = 0; i < 4 && i < static_cast<int>(count); ++i)
        frame[i] = static_cast<unsigned char>(word >> (8 * i));
    return frame;
}

class CaptureFileTest : public TempFolderTest {
  protected:
    std::string Write(const std::vector<Bytes>& frames) {
        std::string content;
        for (const Bytes& frame : frames) content.append(frame.begin(), frame.end());
        MakeFile("capture.bin", content);
        return Path("capture.bin");
    }
};

TEST_F(CaptureFileTest, FramesComeBackWholeAndInOrder) {
    const std::vector<Bytes> frames = {Frame(64, 1), Frame(1000, 2), Frame(72, 3)};
    CaptureFile capture;
    std::string error;
    ASSERT_TRUE(capture.Open(Write(frames), error)) << error;
    EXPECT_EQ(capture.Size(), 1136u);
    Bytes frame;
    std::string problem;
    for (const Bytes& expected : frames) {
        ASSERT_EQ(capture.Next(frame, problem), CaptureFile::Result::Frame);
        EXPECT_EQ(frame, expected);
    }
    EXPECT_EQ(capture.Frames(), 3);
    EXPECT_EQ(capture.Position(), capture.Size());
    EXPECT_EQ(capture.Next(frame, problem), CaptureFile::Result::End);
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(capture.Next(frame, problem), CaptureFile::Result::End);
}

// Skipping reads the byte counts alone and lands on each next frame, so a pass of Skip
// sizes the frames that Next then reads.
TEST_F(CaptureFileTest, SkippingGivesEachFramesByteCount) {
    const std::vector<Bytes> frames = {Frame(64, 1), Frame(1000, 2), Frame(72, 3)};
    CaptureFile capture;
    std::string error;
    ASSERT_TRUE(capture.Open(Write(frames), error)) << error;
    std::uint32_t count = 0;
    std::string problem;
    ASSERT_EQ(capture.Skip(count, problem), CaptureFile::Result::Frame);
    EXPECT_EQ(count, 64u);
    ASSERT_EQ(capture.Skip(count, problem), CaptureFile::Result::Frame);
    EXPECT_EQ(count, 1000u);
    Bytes frame;
    ASSERT_EQ(capture.Next(frame, problem), CaptureFile::Result::Frame);
    EXPECT_EQ(frame, frames[2]);
    EXPECT_EQ(capture.Frames(), 3);
    EXPECT_EQ(capture.Skip(count, problem), CaptureFile::Result::End);
}

TEST_F(CaptureFileTest, AFrameThatCannotBeTakenEndsTheReadingWithItsPlace) {
    struct Case {
        const char* name;
        Bytes last;
        CaptureFile::Result result;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {"shorter than its count", Frame(100, 5, 200), CaptureFile::Result::Truncated,
         "frame 1 at byte 64 is truncated: it announces 200 bytes, the file holds 100"},
        {"count beyond 4 GiB of file", Frame(70, 5, 0xFFFFFFFF), CaptureFile::Result::Truncated,
         "frame 1 at byte 64 is truncated: it announces 4294967295 bytes, the file holds 70"},
        {"too short for its count", Frame(3, 5), CaptureFile::Result::Truncated,
         "frame 1 at byte 64 is truncated: 3 bytes left, too few for its byte count"},
        {"count below the header", Frame(80, 5, 63), CaptureFile::Result::Malformed,
         "frame 1 at byte 64 is malformed: its byte count 63 is below the 64-byte header; the 80 bytes from "
         "there on are left unread"},
        {"count 0", Frame(80, 5, 0), CaptureFile::Result::Malformed,
         "frame 1 at byte 64 is malformed: its byte count 0 is below the 64-byte header; the 80 bytes from "
         "there on are left unread"},
    };
    for (const Case& c : cases) {
        for (const bool skipping : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (skipping ? ", skipping" : ", reading"));
            CaptureFile capture;
            std::string error;
            ASSERT_TRUE(capture.Open(Write({Frame(64, 1), c.last}), error)) << error;
            Bytes frame;
            std::uint32_t count = 0;
            std::string problem;
            auto next = [&] {
                return skipping ? capture.Skip(count, problem) : capture.Next(frame, problem);
            };
            ASSERT_EQ(next(), CaptureFile::Result::Frame);
            EXPECT_EQ(next(), c.result);
            EXPECT_EQ(problem, c.problem);
            EXPECT_TRUE(frame.empty());
            EXPECT_EQ(next(), CaptureFile::Result::End);
        }
    }
}

// A frame goes straight into the caller's buffer, which it must fit: one larger than the
// buffer is refused with nothing of it read, and the reading ends.
TEST_F(CaptureFileTest, FramesAreReadIntoTheCallersBufferWhenTheyFit) {
    const std::vector<Bytes> frames = {Frame(100, 1), Frame(300, 2)};
    CaptureFile capture;
    std::string error;
    ASSERT_TRUE(capture.Open(Write(frames), error)) << error;
    Bytes buffer(200, 0xEE);
    std::uint32_t count = 0;
    std::string problem;
    ASSERT_EQ(capture.Next(buffer.data(), buffer.size(), count, problem), CaptureFile::Result::Frame);
    EXPECT_EQ(count, 100u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 100), frames[0]);
    EXPECT_EQ(buffer[100], 0xEE) << "written past the frame";
    EXPECT_EQ(capture.Next(buffer.data(), buffer.size(), count, problem), CaptureFile::Result::TooLarge);
    EXPECT_EQ(problem, "frame 1 at byte 100 holds 300 bytes, more than the 200 of its buffer");
    EXPECT_EQ(buffer[4], frames[0][4]) << "read into the buffer";
    EXPECT_EQ(capture.Next(buffer.data(), buffer.size(), count, problem), CaptureFile::Result::End);
}

// A file cut shorter after it was opened (another program rewrites it) ends the reading
// with what happened, not with the text of an errno no call set ("Success").
TEST_F(CaptureFileTest, AFileThatShrinksWhileReadSaysSo) {
    const std::vector<Bytes> frames = {Frame(100, 1), Frame(100, 2)};
    for (const std::uint64_t cut : {150u, 102u}) {
        SCOPED_TRACE(cut);
        CaptureFile capture;
        std::string error;
        ASSERT_TRUE(capture.Open(Write(frames), error)) << error;
        std::filesystem::resize_file(Path("capture.bin"), cut);
        Bytes frame;
        std::string problem;
        ASSERT_EQ(capture.Next(frame, problem), CaptureFile::Result::Frame);
        EXPECT_EQ(capture.Next(frame, problem), CaptureFile::Result::ReadError);
        const std::uint64_t missing = cut > 104 ? 200 - cut : 4 - (cut - 100);
        EXPECT_EQ(problem, "frame 1 at byte 100 cannot be read: the file ends " + std::to_string(missing) +
                               " bytes before the frame does (it shrank while being read)");
        EXPECT_TRUE(frame.empty());
        EXPECT_EQ(capture.Next(frame, problem), CaptureFile::Result::End);
    }
}

TEST_F(CaptureFileTest, FilesThatCannotBeReadAreRefusedInOneLine) {
    CaptureFile capture;
    std::string error;
    EXPECT_FALSE(capture.Open(Path("missing.bin"), error));
    EXPECT_EQ(error, "cannot read capture " + Path("missing.bin") + ": No such file or directory");
    EXPECT_FALSE(capture.Open(root, error));
    EXPECT_EQ(error, "cannot read capture " + root + ": not a regular file");

    ASSERT_TRUE(capture.Open(Write({}), error));
    Bytes frame;
    std::string problem;
    EXPECT_EQ(capture.Next(frame, problem), CaptureFile::Result::End);
}

}  // namespace
