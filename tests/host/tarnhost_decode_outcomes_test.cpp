// How a "tarnhost decode" run ends, the real program run as a user runs it: every error
// ends in status 1 with a last line that says why; SIGINT and SIGTERM stop it in order
// with a status of their own; the output folders are made ready before it starts; and
// whatever ends it, no file is left cut under an image's name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/capture_writer.hpp"
#include "support/tarnhost_decode_fixture.hpp"

namespace {

#ifdef PIXTRACT_CPU_PATH

class TarnhostDecodeOutcome : public TarnhostDecodeTest {
  protected:
    // `count` RAW8 frames of random lines (or of the pattern), `width` x `height`; their bytes.
    std::vector<std::vector<uint8_t>> Frames(int count, uint32_t width = 64, uint32_t height = 8,
                                             capture::Pattern pattern = capture::Pattern::kRandom) const {
        std::vector<std::vector<uint8_t>> frames;
        for (int i = 0; i < count; ++i) {
            capture::FrameSpec spec;
            spec.dataType = capture::type::kRaw8;
            spec.width = width;
            spec.height = height;
            spec.pattern = pattern;
            spec.seed = static_cast<unsigned>(i + 1);
            frames.push_back(capture::WriteFrame(spec).bytes);
        }
        return frames;
    }
    // The arguments that decode capture.bin as RAW8 keeping every frame, then `more`.
    static std::vector<std::string> Arguments(const std::vector<std::string>& more) {
        std::vector<std::string> arguments{"capture.bin",
                                           "--package",
                                           PIXTRACT_CPU_PATH,
                                           "--set",
                                           "skip_first_frames=false",
                                           "--set",
                                           "CSI2_Dataformat=0x2a_RAW8"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }
    std::vector<std::string> FileNames(const std::string& folder) const {
        std::vector<std::string> names;
        std::error_code code;
        for (const auto& entry : std::filesystem::directory_iterator(Path(folder), code))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static bool IsTemporary(const std::string& name) {
        return name[0] == '.' && name.find(".part-") != std::string::npos;
    }
    // Whether the file is a PNG image that reads back to its end.
    bool WholePng(const std::string& relative) const {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, Path(relative).c_str())) return false;
        std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
        return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    }
    // Whether the run's main thread waits for an output that takes nothing: in poll on the
    // output and the descriptor a signal wakes. In the runs here the first line that waits
    // so is on the standard output (nothing goes to the standard error before the summary).
    static bool WaitsForAnOutput(const RunningProgram& run) { return WaitingInPoll(run.Pid(), 2); }
    // Whether it waits for the standard error alone, to say how it stopped: the one wait a
    // signal does not end.
    static bool WaitsToSayHowItStopped(const RunningProgram& run) { return WaitingInPoll(run.Pid(), 1); }
    // The number after "images published: " in a summary; -1 when there is none.
    static long Published(const std::string& out) {
        const size_t at = out.find("images published: ");
        return at == std::string::npos ? -1 : std::stol(out.substr(at + 18));
    }
};

// Each error met while the run goes ends it with status 1 and a last line that says what
// happened; the summary comes before it.
TEST_F(TarnhostDecodeOutcome, EveryErrorOfARunEndsInOneLineAndStatusOne) {
    struct Case {
        const char* name;
        std::function<void()> write;  // writes capture.bin
        std::vector<std::string> more;
        std::string line;
        std::string summary;  // a part of the standard output
    };
    const std::vector<std::vector<uint8_t>> frames = Frames(3);
    const size_t frameBytes = frames[0].size();
    auto malformed = [&] {
        std::vector<std::vector<uint8_t>> all = {frames[0], frames[1], std::vector<uint8_t>(70, 9),
                                                 frames[2]};
        all[2][0] = 10;
        all[2][1] = all[2][2] = all[2][3] = 0;
        capture::WriteCapture(Path("capture.bin"), all);
    };
    // 2 GiB and 64 bytes, sparse: only the byte count is written.
    auto tooLarge = [&] {
        std::vector<uint8_t> frame(64, 0);
        frame[0] = 0x40;
        frame[3] = 0x80;
        capture::WriteCapture(Path("capture.bin"), {frame});
        std::filesystem::resize_file(Path("capture.bin"), 2147483712u);
    };
    auto tenFrames = [&] {
        const std::vector<std::vector<uint8_t>> ten = Frames(10);
        capture::WriteCapture(Path("capture.bin"), ten);
    };
    const std::vector<Case> cases = {
        {"malformed byte count before more frames",
         malformed,
         {},
         "tarnhost: frame 2 at byte " + std::to_string(2 * frameBytes) +
             " is malformed: its byte count 10 is below the 64-byte header; the " +
             std::to_string(70 + frameBytes) + " bytes from there on are left unread\n",
         "frames read: 2\nimages published: 2\n"},
        {"frame too large for an element",
         tooLarge,
         {},
         "tarnhost: a frame of 2147483712 bytes is too large for an element (2147483647 bytes at most); "
         "nothing "
         "is read\n",
         "frames read: 0\n"},
        {"every frame skipped",
         tenFrames,
         {"--set", "skip_first_frames=true"},
         "tarnhost: no image came out of the 10 frames read\n",
         "frames 0-9 skipped: the decoder skips the first 10 frames of a run (--set skip_first_frames=false "
         "keeps "
         "them)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.write();
        const ProgramOutcome outcome = Decode(Arguments(c.more));
        EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 1);
        // Said once, as the last line: not also as a report when it happened.
        EXPECT_EQ(outcome.err, c.line);
        EXPECT_NE(outcome.out.find(c.summary), std::string::npos) << outcome.out;
    }
}

// Another program cuts the capture while it is read: the reading ends with what happened,
// and the run with status 1.
TEST_F(TarnhostDecodeOutcome, ACaptureThatShrinksWhileReadIsAnError) {
    const std::vector<std::vector<uint8_t>> frames = Frames(300, 256, 16);
    capture::WriteCapture(Path("capture.bin"), frames);
    RunningProgram run = StartDecode(Arguments({"--raw", "raw"}));
    // The source reads a few frames ahead of the decoder, and the decoder a ring ahead of
    // the sink: at its first image the source is far from frame 200.
    ASSERT_TRUE(AwaitCondition([&] { return std::filesystem::exists(Path("raw/000000.raw")); }))
        << "no image came: " << run.Finish().err;
    const size_t cut = 200 * frames[0].size() + 100;
    std::filesystem::resize_file(Path("capture.bin"), cut);
    const ProgramOutcome outcome = run.Finish();
    EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(LastLine(outcome.err), "tarnhost: frame 200 at byte " + std::to_string(200 * frames[0].size()) +
                                         " cannot be read: the file ends " +
                                         std::to_string(frames[0].size() - 100) +
                                         " bytes before the frame does (it shrank while being read)\n");
    EXPECT_NE(outcome.out.find("frames read: 200\n"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.err.find("cannot be read"), outcome.err.rfind("cannot be read"))
        << "said twice: " << outcome.err;
}

// SIGINT or SIGTERM: the run stops, the image being written is finished, the summary is
// printed, and the status says which signal (128 + its number). The images written are
// whole and numbered without a gap; no temporary file is left.
TEST_F(TarnhostDecodeOutcome, SigintAndSigtermStopTheRunWithWholeImagesAndAStatusOfTheirOwn) {
    // Far more frames than a run decodes between its first image and the signal, however
    // loaded the machine: 300 frames, ten times over.
    constexpr long kFrames = 3000;
    const std::vector<std::vector<uint8_t>> some = Frames(300, 256, 64);
    std::vector<std::vector<uint8_t>> frames;
    for (long i = 0; i < kFrames; ++i) frames.push_back(some[static_cast<size_t>(i) % some.size()]);
    capture::WriteCapture(Path("capture.bin"), frames);
    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
        SCOPED_TRACE(name);
        std::filesystem::remove_all(Path("png"));
        RunningProgram run = StartDecode(Arguments({"--out", "png"}));
        ASSERT_TRUE(AwaitCondition([&] { return std::filesystem::exists(Path("png/000000.png")); }))
            << "no image came: " << run.Finish().err;
        run.Signal(signal);
        const ProgramOutcome outcome = run.Finish();
        ASSERT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 128 + signal);
        EXPECT_EQ(LastLine(outcome.err),
                  "tarnhost: stopped by " + name +
                      ": the images written so far are whole; nothing more was read\n");
        const long published = Published(outcome.out);
        EXPECT_GT(published, 0) << outcome.out;
        EXPECT_LT(published, kFrames) << "the run was not interrupted";
        const std::vector<std::string> names = FileNames("png");
        EXPECT_EQ(static_cast<long>(names.size()), published);
        for (long i = 0; i < static_cast<long>(names.size()); ++i) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "%06ld.png", i);
            EXPECT_EQ(names[static_cast<size_t>(i)], expected);
            EXPECT_TRUE(WholePng("png/" + names[static_cast<size_t>(i)])) << names[static_cast<size_t>(i)];
        }
    }
}

// The first signal ends a wait of the run: here its summary waits for a standard output
// nobody reads. The run stops as a signal stops it, its images whole.
TEST_F(TarnhostDecodeOutcome, TheFirstSignalEndsAWaitForTheOutput) {
    capture::WriteCapture(Path("capture.bin"), Frames(3));
    ProgramSetup setup;
    setup.outputToFullPipe = true;
    RunningProgram run = StartDecode(Arguments({"--out", "png"}), setup);
    ASSERT_TRUE(AwaitCondition([&] { return WaitsForAnOutput(run) || !run.Running(); }) &&
                WaitsForAnOutput(run))
        << "it never waited to print its summary: " << run.Finish().err;
    run.Signal(SIGINT);
    const ProgramOutcome outcome = run.Finish(std::chrono::seconds(20));
    ASSERT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
    EXPECT_EQ(outcome.status, 128 + SIGINT);
    EXPECT_EQ(outcome.err,
              "tarnhost: stopped by SIGINT: the images written so far are whole; nothing more was read\n");
    EXPECT_EQ(FileNames("png"), (std::vector<std::string>{"000000.png", "000001.png", "000002.png"}));
}

// A second signal, of either kind, ends the run at once, by that signal, whatever the run
// is waiting for: here the line that says how it stopped, on a standard error nobody reads.
TEST_F(TarnhostDecodeOutcome, ASecondSignalOfEitherKindEndsTheRunAtOnce) {
    capture::WriteCapture(Path("capture.bin"), Frames(3));
    ProgramSetup setup;
    setup.outputToFullPipe = true;
    setup.errorsToFullPipe = true;
    for (const auto& [first, second] : {std::pair{SIGINT, SIGTERM}, std::pair{SIGTERM, SIGINT}}) {
        SCOPED_TRACE(first == SIGINT ? "SIGINT, then SIGTERM" : "SIGTERM, then SIGINT");
        std::filesystem::remove_all(Path("png"));
        RunningProgram run = StartDecode(Arguments({"--out", "png"}), setup);
        // Held at its summary, then, after the first signal, at its last line.
        ASSERT_TRUE(AwaitCondition([&] { return WaitsForAnOutput(run) || !run.Running(); }) &&
                    WaitsForAnOutput(run))
            << "it never waited to print its summary";
        run.Signal(first);
        ASSERT_TRUE(AwaitCondition([&] { return WaitsToSayHowItStopped(run) || !run.Running(); }) &&
                    WaitsToSayHowItStopped(run))
            << "it never waited to say how it stopped";
        run.Signal(second);
        const ProgramOutcome outcome = run.Finish(std::chrono::seconds(20));
        EXPECT_FALSE(outcome.exited) << "exited with status " << outcome.status;
        EXPECT_EQ(outcome.signal, second);
    }
}

// Killed outright while it writes an image: what is under an image's name is whole; the
// image being written is only under its temporary name.
TEST_F(TarnhostDecodeOutcome, ARunKilledOutrightLeavesNoCutImage) {
    capture::WriteCapture(Path("capture.bin"), Frames(40, 1024, 512));
    RunningProgram run = StartDecode(Arguments({"--out", "png"}));
    auto writing = [&] {
        const std::vector<std::string> names = FileNames("png");
        return std::any_of(names.begin(), names.end(), IsTemporary);
    };
    ASSERT_TRUE(AwaitCondition([&] { return writing() || !run.Running(); }) && writing())
        << "no image was seen being written under a temporary name: " << run.Finish().out;
    run.Signal(SIGKILL);
    EXPECT_EQ(run.Finish().signal, SIGKILL);
    for (const std::string& name : FileNames("png"))
        if (!IsTemporary(name)) {
            EXPECT_TRUE(WholePng("png/" + name)) << name << " is cut";
        }
}

// An image that cannot be written (here past the file-size limit, which would otherwise
// kill the program with SIGXFSZ) ends the run with its reason, said once, and status 1. The
// summary names the frame as decoded and not written; no line announces its image, no file
// of it stays (with PNG and raw files, its PNG file, which fits, goes again when its raw
// file fails), and the folders the run made go again.
TEST_F(TarnhostDecodeOutcome, AnImageThatCannotBeWrittenEndsTheRunAndLeavesNoFile) {
    struct Case {
        const char* name;
        capture::Pattern pattern;
        std::vector<std::string> more;
    };
    const Case cases[] = {
        {"raw files", capture::Pattern::kRandom, {"--raw", "raw"}},
        // A gradient's PNG file is far below the limit, its raw file twice above it.
        {"PNG and raw files", capture::Pattern::kGradient, {"--out", "png", "--raw", "raw"}},
    };
    ProgramSetup setup;
    setup.fileSizeLimit = 64 * 1024;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        capture::WriteCapture(Path("capture.bin"), Frames(5, 512, 256, c.pattern));
        const ProgramOutcome outcome = Decode(Arguments(c.more), setup);
        ASSERT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, "tarnhost: image 0: cannot write raw/000000.raw: File too large\n");
        EXPECT_EQ(Published(outcome.out), 0) << outcome.out;
        EXPECT_EQ(outcome.out.find("image 0:"), std::string::npos) << "a line for a file that is not there";
        EXPECT_NE(outcome.out.find("\nframe 0 decoded, not written: the write failed\n"), std::string::npos)
            << outcome.out;
        EXPECT_EQ(outcome.out.find("frame 0 "), outcome.out.rfind("frame 0 ")) << "frame 0 named twice";
        EXPECT_EQ(outcome.out.find("dropped by the decoder"), std::string::npos) << outcome.out;
        EXPECT_EQ(FileNames("png"), std::vector<std::string>{}) << "a file of an image not written";
        EXPECT_FALSE(std::filesystem::exists(Path("raw")));
        EXPECT_FALSE(std::filesystem::exists(Path("png")));
    }
}

// Images stop being writable in the middle of a run (here their folder is moved away, as a
// full disk would stop them): the run ends with the image that failed, said once; the
// summary says which frames were written, which one failed, and never that the decoder
// dropped what it decoded.
TEST_F(TarnhostDecodeOutcome, AWriteFailingMidRunNamesEachFramesTrueReason) {
    capture::WriteCapture(Path("capture.bin"), Frames(200, 256, 64));
    RunningProgram run = StartDecode(Arguments({"--out", "png"}));
    ASSERT_TRUE(AwaitCondition([&] { return std::filesystem::exists(Path("png/000001.png")); }))
        << "no image came: " << run.Finish().err;
    std::filesystem::rename(Path("png"), Path("moved"));
    const ProgramOutcome outcome = run.Finish();
    ASSERT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
    EXPECT_EQ(outcome.status, 1);
    std::vector<std::string> images = FileNames("moved");
    images.erase(std::remove_if(images.begin(), images.end(), IsTemporary), images.end());
    const long failed = static_cast<long>(images.size());
    ASSERT_LT(failed, 200) << "the run ended before the folder was moved";
    char name[32];
    std::snprintf(name, sizeof name, "%06ld.png", failed);
    EXPECT_EQ(outcome.err, "tarnhost: image " + std::to_string(failed) + ": cannot write png/" + name +
                               ": No such file or directory\n");
    EXPECT_EQ(Published(outcome.out), failed) << outcome.out;
    EXPECT_NE(
        outcome.out.find("\nframe " + std::to_string(failed) + " decoded, not written: the write failed\n"),
        std::string::npos)
        << outcome.out;
    EXPECT_EQ(outcome.out.find("dropped by the decoder"), std::string::npos) << outcome.out;
}

// A standard output nobody reads (a closed pipe) is an error like any failed write, not a
// death by SIGPIPE; the run stops at the first line it cannot print: the image that line
// announces is whole, and no other is written.
TEST_F(TarnhostDecodeOutcome, AClosedStandardOutputIsAnErrorNotASignal) {
    capture::WriteCapture(Path("capture.bin"), Frames(50));
    ProgramSetup setup;
    setup.outputToClosedPipe = true;
    for (const bool raw : {false, true}) {
        SCOPED_TRACE(raw ? "lines per image" : "the summary alone");
        std::filesystem::remove_all(Path("raw"));
        const ProgramOutcome outcome = Decode(
            Arguments(raw ? std::vector<std::string>{"--raw", "raw"} : std::vector<std::string>{}), setup);
        ASSERT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, "tarnhost: cannot write the standard output\n");
        if (raw) {
            EXPECT_EQ(FileNames("raw"), std::vector<std::string>{"000000.raw"});
            EXPECT_EQ(Content("raw/000000.raw").size(), 64u * 8u);
        }
    }
}

// The components' reports of their life end every run; the summary says that the run
// ended, so they are printed only with --verbose.
TEST_F(TarnhostDecodeOutcome, LifeReportsArePrintedOnlyWhenAskedFor) {
    capture::WriteCapture(Path("capture.bin"), Frames(2));
    const std::string life[] = {"info: Component capture is dead.\n", "info: Component decoder is dead.\n",
                                "info: Component images is dead.\n"};
    const ProgramOutcome plain = Decode(Arguments({}));
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.substr(0, 14), "frames read: 2") << plain.out;
    const ProgramOutcome verbose = Decode(Arguments({"--verbose"}));
    EXPECT_EQ(verbose.status, 0) << verbose.err;
    for (const std::string& line : life) {
        EXPECT_EQ(plain.out.find(line), std::string::npos) << plain.out;
        EXPECT_NE(verbose.out.find(line), std::string::npos) << verbose.out;
    }
}

// A run that gives no image leaves no folder it made (the folders above included), and
// leaves alone one it found.
TEST_F(TarnhostDecodeOutcome, AFolderTheRunMadeGoesWhenNoImageCameOut) {
    std::filesystem::create_directory(Path("found"));
    const ProgramOutcome outcome =
        Decode(Arguments({"--set", "skip_first_frames=true", "--out", "made/png", "--raw", "found"}));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "tarnhost: no image came out of the 1 frame read\n");
    EXPECT_FALSE(std::filesystem::exists(Path("made")));
    EXPECT_TRUE(std::filesystem::is_directory(Path("found")));
    EXPECT_EQ(FileNames("found"), std::vector<std::string>{});
}

// A folder that cannot be made or written into, that holds an earlier run's images, or
// that another run is writing into: one line and status 1 before the graph starts (nothing
// on the standard output), and the folder as it was.
TEST_F(TarnhostDecodeOutcome, OutputFoldersAreCheckedBeforeTheRunStarts) {
    MakeFile("file");
    std::filesystem::create_directory(Path("earlier"));
    MakeFile("earlier/000003.png", "an image");
    std::filesystem::create_directory(Path("busy"));
    struct Case {
        const char* name;
        std::vector<std::string> more;
        std::string line;  // the line, or its start when it ends with ": "
    };
    const std::vector<Case> cases = {
        {"a file in the way",
         {"--out", "file/png"},
         "tarnhost: cannot create folder file/png: Not a directory\n"},
        {"a folder nobody writes into", {"--out", "/sys"}, "tarnhost: cannot write into folder /sys: "},
        {"the same, for raw files", {"--raw", "/sys"}, "tarnhost: cannot write into folder /sys: "},
        {"an earlier run's image",
         {"--raw", "raw", "--out", "earlier"},
         "tarnhost: folder earlier already holds 1 image (000003.png): choose another folder, or add "
         "--overwrite "
         "to replace them\n"},
        {"another run writing into it", {"--out", "busy"}, "tarnhost: another run is writing into busy\n"},
    };
    // Held as a run holds it.
    const int busy = open(Path("busy").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(flock(busy, LOCK_EX), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramOutcome outcome = Decode(Arguments(c.more));
        EXPECT_TRUE(outcome.exited) << "ended by signal " << outcome.signal;
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, "");
        if (c.line.ends_with(": ")) {
            EXPECT_EQ(outcome.err.substr(0, c.line.size()), c.line);
            EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
        } else {
            EXPECT_EQ(outcome.err, c.line);
        }
    }
    close(busy);
    EXPECT_EQ(FileNames("earlier"), std::vector<std::string>{"000003.png"});
    EXPECT_EQ(FileNames("busy"), std::vector<std::string>{});
    EXPECT_FALSE(std::filesystem::exists(Path("raw")));
}

// --overwrite replaces an earlier run's images: those the new run does not write again are
// removed, and so are the temporary files a killed run left.
TEST_F(TarnhostDecodeOutcome, OverwriteReplacesTheImagesOfAnEarlierRun) {
    capture::WriteCapture(Path("capture.bin"), Frames(3));
    ASSERT_EQ(Decode(Arguments({"--out", "png"})).status, 0);
    ASSERT_EQ(FileNames("png").size(), 3u);
    MakeFile("png/.000007.png.part-1-0", "left by a killed run");
    MakeFile("png/notes.txt", "the user's");
    capture::WriteCapture(Path("capture.bin"), Frames(2));
    const ProgramOutcome outcome = Decode(Arguments({"--out", "png", "--overwrite"}));
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(FileNames("png"), (std::vector<std::string>{"000000.png", "000001.png", "notes.txt"}));
}

// Two runs into one folder at once: while the first holds it (held here at its summary,
// its images written), the second is refused for that, not for finding the first's images;
// the folder holds the first's images, whole.
TEST_F(TarnhostDecodeOutcome, TwoRunsIntoOneFolderNeverMixTheirImages) {
    capture::WriteCapture(Path("capture.bin"), Frames(3));
    ProgramSetup setup;
    setup.outputToFullPipe = true;
    RunningProgram first = StartDecode(Arguments({"--out", "png"}), setup);
    ASSERT_TRUE(AwaitCondition([&] { return WaitsForAnOutput(first) || !first.Running(); }) &&
                WaitsForAnOutput(first))
        << "the first run never waited to print its summary: " << first.Finish().err;
    const ProgramOutcome second = Decode(Arguments({"--out", "png", "--overwrite"}));
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "tarnhost: another run is writing into png\n");
    first.Signal(SIGINT);
    EXPECT_EQ(first.Finish(std::chrono::seconds(20)).status, 128 + SIGINT);
    const std::vector<std::string> names = FileNames("png");
    EXPECT_EQ(names, (std::vector<std::string>{"000000.png", "000001.png", "000002.png"}));
    for (const std::string& name : names) EXPECT_TRUE(WholePng("png/" + name)) << name;
}

#endif

}  // namespace
