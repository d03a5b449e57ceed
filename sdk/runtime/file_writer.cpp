#include "tarn/runtime/file_writer.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tarn/runtime/streamed_string.hpp"

namespace {

const char* streamMode(int mode) {
    const bool read = (mode & TARNFileIO::EnableRead) != 0;
    if ((mode & TARNFileIO::Append) == 0) return read ? "w+b" : "wb";
    if (read) return (mode & TARNFileIO::RandomAccess) ? "r+b" : "a+b";
    return "ab";
}

}  // namespace

bool TARNFileWriter::Open(const char* path, int mode) {
    return openStream(path, streamMode(mode));
}

bool TARNFileWriter::Close() {
    // A failed write drops what the buffer held, and fclose then has nothing left to fail
    // on: the loss was shown when it happened and still fails the close.
    const bool lostBefore = writeFailed;
    if (!closeStream()) {
        ShowError();
        return false;
    }
    return !lostBefore;
}

TARNStackedString<40> TARNFileWriter::errorText(const char* prefix) {
    const int error = errno;
    TARNStreamedString text(prefix);
    text << error;
    char buffer[64];
    // The GNU form: the description may be a static text rather than the buffer.
    const char* description = strerror_r(error, buffer, sizeof buffer);
    if (description != nullptr && *description != '\0') text << " (" << description << ")";
    return text;
}

void TARNFileWriter::ShowError() const {
    if (displayError) display(errorText("File write error: ").c_str());
}

bool TARNFileWriter::Write(const void* data, long size, void* userData) {
    bool written = stream != nullptr && size >= 0;
    if (written && size > 0) {
        written = std::fwrite(data, 1, static_cast<size_t>(size), stream) == static_cast<size_t>(size);
        // Some of it may have gone out and the rest is lost.
        if (!written) writeFailed = true;
    }
    if (!written) ShowError();
    if (afterWrite != nullptr && userData != nullptr) afterWrite(userData);
    return written;
}

bool TARNFileWriter::WriteText(const TARNStackedString<40>& text, bool convertEOL) {
    if (!convertEOL || Endl[0] != '\r') return Write(text.c_str(), text.Length());
    TARNStackedString<40> converted;
    for (int i = 0; i < text.Length(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) converted += "\r";
        converted.concat(1, text.c_str() + i);
    }
    return Write(converted.c_str(), converted.Length());
}

bool TARNFileWriter::FlushToDisk() {
    if (stream == nullptr) return false;
    if (std::fflush(stream) != 0 || fsync(fileno(stream)) != 0) {
        writeFailed = true;
        ShowError();
        return false;
    }
    return true;
}

bool TARNFileWriter::Truncate() {
    if (stream == nullptr || !flushPending()) return false;
    const off_t position = ftello(stream);
    return position >= 0 && ftruncate(fileno(stream), position) == 0;
}
