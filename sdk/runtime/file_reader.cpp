#include "tarn/runtime/file_reader.hpp"

#include <cstring>

namespace {

// Lines are read in chunks of this many bytes.
constexpr long chunkSize = 128;

void dropTrailing(TARNStackedString<40>& line, char character) {
    const int length = line.Length();
    if (length > 0 && line[length - 1] == character) {
        TARNStackedString<40> shorter;
        shorter.init(length - 1, line.c_str());
        line = shorter;
    }
}

TARNStackedString<40> bytes(const char* data, long count) {
    TARNStackedString<40> text;
    text.init(static_cast<int>(count), data);
    return text;
}

bool beginsWith(const char* text, long length, const TARNStackedString<40>& what) {
    return length >= what.Length() && std::memcmp(text, what.c_str(), what.Length()) == 0;
}

}  // namespace

bool TARNFileReader::Open(const char* path, int) {
    return openStream(path, "rb");
}

bool TARNFileReader::Close() {
    closeStream();
    return true;
}

void TARNFileReader::ShowError() const {
    display("File read error");
}

bool TARNFileReader::Read(void* buffer, long size, long* got) {
    long count = 0;
    bool failed = stream == nullptr || size < 0;
    // A reader-writer's buffered output goes out first, where its failure is seen (and
    // shown there).
    if (!failed && size > 0 && !flushPending()) {
        if (got) *got = 0;
        return false;
    }
    if (!failed && size > 0) {
        count = static_cast<long>(std::fread(buffer, 1, static_cast<size_t>(size), stream));
        failed = std::ferror(stream) != 0;
    }
    if (got) *got = count;
    if (failed) ShowError();
    return !failed && count == size;
}

bool TARNFileReader::NextLine(TARNStackedString<40>& line, long* startPos, bool removeEOL, bool stopAtNul) {
    const long start = GetPos();
    if (startPos) *startPos = start;
    line = "";
    // As in Read: buffered output first.
    if (stream == nullptr || !flushPending()) return false;
    long taken = 0;
    char chunk[chunkSize];
    for (;;) {
        const long got = static_cast<long>(std::fread(chunk, 1, sizeof chunk, stream));
        if (got <= 0) return !line.IsEmpty();
        long end = 0;
        while (end < got && chunk[end] != '\n' && !(stopAtNul && chunk[end] == '\0')) ++end;
        line.concat(static_cast<int>(end), chunk);
        taken += end;
        if (end == got) continue;
        // Just after the byte that ended the line, whatever the stream read beyond it.
        SetPos(start + taken + 1);
        const bool atLineFeed = chunk[end] == '\n';
        if (removeEOL) {
            dropTrailing(line, '\r');
        } else if (atLineFeed) {
            line += "\n";
        }
        return atLineFeed;
    }
}

bool TARNFileReader::PreviousLine(TARNStackedString<40>& line, long* startPos, bool removeEOL) {
    long position = GetPos();
    if (startPos) *startPos = position;
    line = "";
    if (stream == nullptr || position <= 0) return false;
    const long end = position;
    char chunk[chunkSize];
    // The last byte before the position ends the wanted line: the search skips it.
    bool lastByteEndsLine = true;
    for (;;) {
        const long count = position < chunkSize ? position : chunkSize;
        const long chunkStart = position - count;
        if (!SetPos(chunkStart) || static_cast<long>(std::fread(chunk, 1, count, stream)) != count) {
            SetPos(end);
            return false;
        }
        long i = lastByteEndsLine ? count - 2 : count - 1;
        while (i >= 0 && chunk[i] != '\n') --i;
        line = bytes(chunk + i + 1, count - i - 1) + line;
        if (i >= 0 || chunkStart == 0) {
            if (removeEOL) {
                dropTrailing(line, '\n');
                dropTrailing(line, '\r');
            }
            SetPos(chunkStart + i + 1);
            return true;
        }
        position = chunkStart;
        lastByteEndsLine = false;
    }
}

bool TARNFileReader::FindString(const TARNStackedString<40>& what, char separator, long* linePos,
                                bool stopAtNul) {
    return find(what, nullptr, separator, linePos, stopAtNul);
}

bool TARNFileReader::FindString(const TARNStackedString<40>& what, TARNStackedString<40>& rest,
                                char separator, long* linePos, bool stopAtNul) {
    return find(what, &rest, separator, linePos, stopAtNul);
}

bool TARNFileReader::find(const TARNStackedString<40>& what, TARNStackedString<40>* rest, char separator,
                          long* linePos, bool stopAtNul) {
    TARNStackedString<40> line;
    for (;;) {
        long start;
        const bool ended = NextLine(line, &start, true, stopAtNul);
        if (linePos) *linePos = start;
        // Nothing read and nothing consumed: the end of the data.
        if (!ended && line.IsEmpty() && GetPos() == start) return false;
        const char* text = line.c_str();
        long length = line.Length();
        if (separator != 0) {
            if (length == 0) continue;
            const char* found = static_cast<const char*>(std::memchr(text, separator, length));
            if (found == nullptr) continue;
            length -= found + 1 - text;
            text = found + 1;
        }
        if (!beginsWith(text, length, what)) continue;
        if (rest) *rest = bytes(text + what.Length(), length - what.Length());
        return true;
    }
}
