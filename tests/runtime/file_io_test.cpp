#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder_fixture.hpp"
#include "tarn/runtime/file_reader.hpp"
#include "tarn/runtime/file_writer.hpp"
#include "tarn/runtime/file_writer_and_reader.hpp"

namespace fs = std::filesystem;

namespace {

std::string str(const TARNStackedString<40>& s) {
    return std::string(s.c_str(), s.Length());
}

// What the error display showed.
std::vector<std::string> shown;
void recordMessage(const char* message) {
    shown.push_back(message ? message : "(null)");
}

int afterWriteCalls = 0;
void* afterWriteData = nullptr;
void countAfterWrite(void* userData) {
    ++afterWriteCalls;
    afterWriteData = userData;
}

// Each test works in a fresh folder, which is also its working folder (temporary files
// are made there); both are put back afterwards.
class FileIO : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        fs::current_path(root);
        shown.clear();
        afterWriteCalls = 0;
        afterWriteData = nullptr;
    }
    // A reader on the bytes, with errors recorded.
    void OpenReader(TARNFileReader& reader, const std::string& content) {
        MakeFile("input", content);
        reader.SetErrorDisplayFunction(recordMessage);
        ASSERT_TRUE(reader.Open(Path("input").c_str()));
    }
};

}  // namespace

TEST_F(FileIO, ReadIsTrueOnlyForEveryByteAskedFor) {
    TARNFileReader reader;
    OpenReader(reader, "abcdef");
    char buffer[16] = {};
    long got = -1;
    EXPECT_TRUE(reader.Read(buffer, 4, &got));
    EXPECT_EQ(got, 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    // Two bytes are left: a caller asking for more must not take the buffer for full.
    EXPECT_FALSE(reader.Read(buffer, 4, &got));
    EXPECT_EQ(got, 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_FALSE(reader.Read(buffer, 4));
    EXPECT_TRUE(reader.Read(buffer, 0, &got));
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(shown.empty()) << "the end of a file is no error to show";
}

TEST_F(FileIO, ReadErrorsAreShown) {
    MakeFile("input", "abc");
    TARNFileReader reader;
    reader.SetErrorDisplayFunction(recordMessage);
    char buffer[4];
    long got = -1;
    EXPECT_FALSE(reader.Read(buffer, 1, &got)) << "no file open";
    EXPECT_EQ(got, 0);
    // A stream open for writing only cannot be read.
    TARNFileWriterAndReader both;
    both.SetErrorDisplayFunction(recordMessage);
    ASSERT_TRUE(both.TARNFileWriter::Open(Path("input").c_str(), TARNFileIO::Append));
    EXPECT_FALSE(both.Read(buffer, 1, &got));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "File read error");
    EXPECT_EQ(shown[1].rfind("File read/write error: 9 (", 0), 0u) << shown[1];
}

TEST_F(FileIO, OpeningMissingFilesFails) {
    TARNFileReader reader;
    EXPECT_FALSE(reader.Open(Path("missing").c_str()));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_FALSE(reader.Open(nullptr));
    TARNFileWriter writer;
    EXPECT_FALSE(writer.Open(Path("no/such/folder").c_str(), 0));
    EXPECT_FALSE(writer.Open(Path("missing").c_str(),
                             TARNFileIO::Append | TARNFileIO::EnableRead | TARNFileIO::RandomAccess))
        << "r+b does not create";
    EXPECT_EQ(reader.GetPos(), -1);
    EXPECT_EQ(reader.FileSize(), -1);
    EXPECT_FALSE(reader.SetPos(0));
}

TEST_F(FileIO, PositionsAreSixtyFourBit) {
    TARNFileWriterAndReader file;
    ASSERT_TRUE(file.Open(Path("sparse").c_str(), 0));
    const long beyondFourGigabytes = (5L << 30) + 3;
    ASSERT_TRUE(file.SetPos(beyondFourGigabytes));
    ASSERT_TRUE(file.Write("z", 1));
    EXPECT_EQ(file.GetPos(), beyondFourGigabytes + 1);
    ASSERT_TRUE(file.MovePos(-2));
    EXPECT_EQ(file.GetPos(), beyondFourGigabytes - 1);
    EXPECT_EQ(file.FileSize(), beyondFourGigabytes + 1);
    EXPECT_EQ(file.GetPos(), beyondFourGigabytes - 1) << "FileSize leaves the position alone";
    ASSERT_TRUE(file.Go2End());
    EXPECT_EQ(file.GetPos(), beyondFourGigabytes + 1);
    ASSERT_TRUE(file.Rewind());
    EXPECT_EQ(file.GetPos(), 0);
}

TEST_F(FileIO, NextLineReadsLineByLine) {
    TARNFileReader reader;
    OpenReader(reader, std::string("ab\r\ncd"));
    TARNStackedString<40> line;
    long start = -1;
    EXPECT_TRUE(reader.NextLine(line, &start));
    EXPECT_EQ(str(line), "ab");
    EXPECT_EQ(start, 0);
    EXPECT_TRUE(reader.NextLine(line, &start)) << "text was read before the end";
    EXPECT_EQ(str(line), "cd");
    EXPECT_EQ(start, 4);
    EXPECT_FALSE(reader.NextLine(line));
    EXPECT_EQ(str(line), "");

    ASSERT_TRUE(reader.Rewind());
    EXPECT_TRUE(reader.NextLine(line, nullptr, false));
    EXPECT_EQ(str(line), "ab\r\n");
}

TEST_F(FileIO, NextLineStopsAtANulWhenAsked) {
    TARNFileReader reader;
    OpenReader(reader, std::string("ab\0cd\n", 6));
    TARNStackedString<40> line;
    EXPECT_FALSE(reader.NextLine(line, nullptr, true, true));
    EXPECT_EQ(str(line), "ab");
    EXPECT_EQ(reader.GetPos(), 3) << "on the c";
    ASSERT_TRUE(reader.Rewind());
    EXPECT_TRUE(reader.NextLine(line, nullptr, true, false));
    EXPECT_EQ(str(line), std::string("ab\0cd", 5));

    // A carriage return before the NUL goes as it does before a line feed.
    TARNFileReader withReturn;
    OpenReader(withReturn, std::string("ab\r\0cd\n", 7));
    EXPECT_FALSE(withReturn.NextLine(line, nullptr, true, true));
    EXPECT_EQ(str(line), "ab");
    EXPECT_EQ(withReturn.GetPos(), 4);
}

TEST_F(FileIO, LinesLongerThanAChunkAndBinaryReadsInBetween) {
    const std::string longLine(300, 'L');
    TARNFileReader reader;
    OpenReader(reader, longLine + "\nXYZ" + "\nlast\n");
    TARNStackedString<40> line;
    ASSERT_TRUE(reader.NextLine(line));
    EXPECT_EQ(str(line), longLine);
    char bytes[3];
    ASSERT_TRUE(reader.Read(bytes, 3)) << "the position lies just after the line";
    EXPECT_EQ(std::string(bytes, 3), "XYZ");
    ASSERT_TRUE(reader.NextLine(line));
    EXPECT_EQ(str(line), "");
    ASSERT_TRUE(reader.NextLine(line));
    EXPECT_EQ(str(line), "last");

    // And backwards from the end.
    ASSERT_TRUE(reader.Go2End());
    for (const std::string& expected : {std::string("last"), std::string("XYZ"), longLine}) {
        long start = -1;
        ASSERT_TRUE(reader.PreviousLine(line, &start));
        EXPECT_EQ(str(line), expected);
    }
    EXPECT_EQ(reader.GetPos(), 0);
    EXPECT_FALSE(reader.PreviousLine(line));
}

TEST_F(FileIO, PreviousLineWalksBackwards) {
    TARNFileReader reader;
    OpenReader(reader, "a\r\nb\n");
    TARNStackedString<40> line;
    ASSERT_TRUE(reader.Go2End());
    long start = -1;
    EXPECT_TRUE(reader.PreviousLine(line, &start));
    EXPECT_EQ(str(line), "b");
    EXPECT_EQ(start, 5);
    EXPECT_EQ(reader.GetPos(), 3);
    EXPECT_TRUE(reader.PreviousLine(line));
    EXPECT_EQ(str(line), "a");
    EXPECT_EQ(reader.GetPos(), 0);
    EXPECT_FALSE(reader.PreviousLine(line));

    ASSERT_TRUE(reader.Go2End());
    EXPECT_TRUE(reader.PreviousLine(line, nullptr, false));
    EXPECT_EQ(str(line), "b\n");

    // The line feed before a line of 127 bytes is the last byte of the second chunk read
    // backwards: only the first chunk's last byte (the wanted line's own end) is skipped.
    const std::string line127(127, 'L');
    TARNFileReader longer;
    OpenReader(longer, "prev\n" + line127 + "\n");
    ASSERT_TRUE(longer.Go2End());
    EXPECT_TRUE(longer.PreviousLine(line));
    EXPECT_EQ(str(line), line127);
    EXPECT_EQ(longer.GetPos(), 5);
    EXPECT_TRUE(longer.PreviousLine(line));
    EXPECT_EQ(str(line), "prev");
}

TEST_F(FileIO, FindStringFindsLinesByTheirBeginning) {
    TARNFileReader reader;
    OpenReader(reader, "alpha=1\r\n\nbeta=2\nnokey\ngamma: beta=3\n");
    TARNStackedString<40> rest;
    long linePos = -1;
    EXPECT_TRUE(reader.FindString("beta", rest, 0, &linePos));
    EXPECT_EQ(str(rest), "=2");
    EXPECT_EQ(linePos, 10);
    EXPECT_EQ(reader.GetPos(), 17) << "just after the matched line";
    EXPECT_FALSE(reader.FindString("beta", rest)) << "nothing further begins with it";

    // With a separator: what follows its first occurrence in the line.
    ASSERT_TRUE(reader.Rewind());
    EXPECT_TRUE(reader.FindString(" beta", rest, ':', &linePos));
    EXPECT_EQ(str(rest), "=3");
    EXPECT_EQ(linePos, 23);
    ASSERT_TRUE(reader.Rewind());
    EXPECT_TRUE(reader.FindString("", rest, '='));
    EXPECT_EQ(str(rest), "1") << "an empty text matches the first line with the separator";
    ASSERT_TRUE(reader.Rewind());
    EXPECT_FALSE(reader.FindString("nokey", '='));
    ASSERT_TRUE(reader.Rewind());
    EXPECT_TRUE(reader.FindString("nokey"));
}

TEST_F(FileIO, WriterModes) {
    const struct {
        int mode;
        const char* before;
        std::string after;  // after writing "XY" at position 1 (where the mode lets it)
        bool canRead;
    } cases[] = {
        {0, "abcd", std::string("\0XY", 3), false},
        {TARNFileIO::EnableRead, "abcd", std::string("\0XY", 3), true},
        {TARNFileIO::Append, "abcd", "abcdXY", false},
        {TARNFileIO::Append | TARNFileIO::EnableRead, "abcd", "abcdXY", true},
        {TARNFileIO::Append | TARNFileIO::EnableRead | TARNFileIO::RandomAccess, "abcd", "aXYd", true},
    };
    for (const auto& c : cases) {
        MakeFile("out", c.before);
        TARNFileWriterAndReader file;
        file.SetErrorDisplayFunction(nullptr);
        ASSERT_TRUE(file.TARNFileWriter::Open(Path("out").c_str(), c.mode)) << c.mode;
        file.SetPos(1);
        ASSERT_TRUE(file.Write("XY", 2)) << c.mode;
        ASSERT_TRUE(file.SetPos(0));
        char buffer[8];
        EXPECT_EQ(file.Read(buffer, 1), c.canRead) << c.mode;
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(Content("out"), c.after) << c.mode;
    }
}

TEST_F(FileIO, WriteCallsBackOnlyWithUserData) {
    TARNFileWriter writer;
    writer.SetErrorDisplayFunction(recordMessage);
    writer.SetAfterWriteCallback(countAfterWrite);
    ASSERT_TRUE(writer.Open(Path("out").c_str(), 0));
    int token = 0;
    EXPECT_TRUE(writer.Write("abc", 3, &token));
    EXPECT_EQ(afterWriteCalls, 1);
    EXPECT_EQ(afterWriteData, &token);
    EXPECT_TRUE(writer.Write("d", 1, nullptr));
    EXPECT_EQ(afterWriteCalls, 1);
    EXPECT_TRUE(writer.WriteText("e\nf"));
    EXPECT_TRUE(writer.FlushToDisk());
    EXPECT_EQ(Content("out"), "abcde\nf");
    ASSERT_TRUE(writer.Close());
    EXPECT_TRUE(shown.empty());

    // A failed write calls back as well.
    EXPECT_FALSE(writer.Write("x", 1, &token));
    EXPECT_EQ(afterWriteCalls, 2);
    EXPECT_FALSE(writer.FlushToDisk());
}

TEST_F(FileIO, ShortWritesAreErrors) {
    // A device that is always full.
    TARNFileWriter writer;
    writer.SetErrorDisplayFunction(recordMessage);
    ASSERT_TRUE(writer.Open("/dev/full", 0));
    const std::string block(8192, 'x');
    EXPECT_FALSE(writer.Write(block.data(), static_cast<long>(block.size())));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0], "File write error: 28 (No space left on device)");
    shown.clear();
    // Data that only sat in the buffer is lost when the stream is closed: that is a failure too.
    ASSERT_TRUE(writer.Open("/dev/full", 0));
    ASSERT_TRUE(writer.Write("x", 1));
    EXPECT_FALSE(writer.Close());
    EXPECT_EQ(shown.size(), 1u);
}

// Positioning, the size and truncation write out what the buffer holds first: on a full
// device that write fails, and the failure is shown then and makes Close false, whether or
// not the operation itself could still go on.
TEST_F(FileIO, BufferedDataLostByAFlushInAnotherOperationIsAFailure) {
    const struct {
        const char* what;
        bool (*operation)(TARNFileWriter&);
    } cases[] = {
        {"SetPos", [](TARNFileWriter& w) { return w.SetPos(0); }},
        {"MovePos", [](TARNFileWriter& w) { return w.MovePos(0); }},
        {"Rewind", [](TARNFileWriter& w) { return w.Rewind(); }},
        {"Go2End", [](TARNFileWriter& w) { return w.Go2End(); }},
        {"FileSize", [](TARNFileWriter& w) { return w.FileSize() >= 0; }},
        {"Truncate", [](TARNFileWriter& w) { return w.Truncate(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        shown.clear();
        TARNFileWriter writer;
        writer.SetErrorDisplayFunction(recordMessage);
        ASSERT_TRUE(writer.Open("/dev/full", 0));
        ASSERT_TRUE(writer.Write("abc", 3)) << "still in the buffer";
        EXPECT_FALSE(c.operation(writer));
        EXPECT_EQ(shown, std::vector<std::string>{"File write error: 28 (No space left on device)"});
        EXPECT_FALSE(writer.Close());
    }
    // The reader-writer shows it under its own name, also where a read would flush.
    const struct {
        const char* what;
        bool (*operation)(TARNFileWriterAndReader&);
    } readerWriterCases[] = {
        {"SetPos", [](TARNFileWriterAndReader& f) { return f.SetPos(0); }},
        {"Read",
         [](TARNFileWriterAndReader& f) {
             char byte;
             return f.Read(&byte, 1);
         }},
        {"NextLine",
         [](TARNFileWriterAndReader& f) {
             TARNStackedString<40> line;
             return f.NextLine(line);
         }},
    };
    for (const auto& c : readerWriterCases) {
        SCOPED_TRACE(std::string("reader-writer ") + c.what);
        shown.clear();
        TARNFileWriterAndReader file;
        file.SetErrorDisplayFunction(recordMessage);
        ASSERT_TRUE(file.Open("/dev/full", 0));
        ASSERT_TRUE(file.Write("abc", 3));
        EXPECT_FALSE(c.operation(file));
        EXPECT_EQ(shown, std::vector<std::string>{"File read/write error: 28 (No space left on device)"});
        EXPECT_FALSE(file.Close());
    }
}

TEST_F(FileIO, TruncateCutsAtThePosition) {
    TARNFileWriterAndReader file;
    ASSERT_TRUE(file.Open(Path("out").c_str(), 0));
    ASSERT_TRUE(file.Write("abcdef", 6));
    ASSERT_TRUE(file.SetPos(2));
    EXPECT_TRUE(file.Truncate());
    EXPECT_EQ(file.FileSize(), 2);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(Content("out"), "ab");
    EXPECT_FALSE(file.Truncate());
}

TEST_F(FileIO, TemporaryFilesInTheWorkingFolder) {
    TARNFileWriterAndReader file;
    TARNStackedString<40> name;
    ASSERT_TRUE(file.OpenTempFile(name));
    EXPECT_EQ(name.Length(), 9);
    EXPECT_EQ(str(name).rfind("tnv", 0), 0u);
    EXPECT_TRUE(fs::exists(Path(str(name))));
    ASSERT_TRUE(file.Write("hello", 5));
    ASSERT_TRUE(file.Rewind());
    char buffer[5];
    ASSERT_TRUE(file.Read(buffer, 5));
    EXPECT_EQ(std::string(buffer, 5), "hello");
    TARNStackedString<40> second;
    ASSERT_TRUE(file.OpenTempFile(second)) << "an open file is closed first";
    EXPECT_FALSE(second == name);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(Content(str(name)), "hello");

    // Where nothing can be created (here: a working folder that was removed), nothing is
    // opened.
    fs::create_directory(Path("gone"));
    fs::current_path(Path("gone"));
    fs::remove(Path("gone"));
    TARNStackedString<40> untouched("kept");
    EXPECT_FALSE(file.OpenTempFile(untouched));
    EXPECT_EQ(str(untouched), "kept");
    EXPECT_FALSE(file.IsOpen());
    fs::current_path(root);
}

TEST_F(FileIO, DefaultErrorDisplayWritesToStandardError) {
    testing::internal::CaptureStderr();
    TARNFileIO::displayErrorDefaultFunction(
        "Fichier \xc3\xa9"
        "crit");
    TARNFileIO::displayErrorDefaultFunction(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Fichier \xc3\xa9"
              "crit\nNo error\n");
    TARNFileReader reader;
    EXPECT_EQ(reader.GetErrorDisplayFunction(), &TARNFileIO::displayErrorDefaultFunction);
}
