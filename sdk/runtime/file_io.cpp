#include "tarn/runtime/file_io.hpp"

#include <stdio_ext.h>

#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/text_conversion.hpp"

const char* const TARNFileIO::Endl = "\n";

TARNFileIO::~TARNFileIO() {
    closeStream();
}

bool TARNFileIO::openStream(const char* path, const char* mode) {
    closeStream();
    if (path == nullptr) return false;
    char withCloseOnExec[8];
    TARN::Strcpy(withCloseOnExec, mode);
    TARN::Strcat(withCloseOnExec, "e");
    stream = std::fopen(path, withCloseOnExec);
    if (stream == nullptr) {
        char* localePath = TARNIconv::UTF8ToLocale(path);
        if (localePath != nullptr) stream = std::fopen(localePath, withCloseOnExec);
        TARNIconv::releaseLocale(localePath);
    }
    return stream != nullptr;
}

bool TARNFileIO::closeStream() {
    writeFailed = false;
    if (stream == nullptr) return true;
    const bool closed = std::fclose(stream) == 0;
    stream = nullptr;
    return closed;
}

bool TARNFileIO::flushPending() {
    if (__fpending(stream) == 0 || std::fflush(stream) == 0) return true;
    writeFailed = true;
    ShowError();
    return false;
}

bool TARNFileIO::SetPos(long offset) {
    return stream != nullptr && flushPending() && fseeko(stream, offset, SEEK_SET) == 0;
}

bool TARNFileIO::MovePos(long offset) {
    return stream != nullptr && flushPending() && fseeko(stream, offset, SEEK_CUR) == 0;
}

long TARNFileIO::GetPos() const {
    return stream != nullptr ? static_cast<long>(ftello(stream)) : -1;
}

bool TARNFileIO::Go2End() {
    return stream != nullptr && flushPending() && fseeko(stream, 0, SEEK_END) == 0;
}

long TARNFileIO::FileSize() {
    const long position = GetPos();
    if (!Go2End()) return -1;
    const long size = GetPos();
    SetPos(position);
    return size;
}

void TARNFileIO::displayErrorDefaultFunction(const char* message) {
    if (message == nullptr) {
        std::fputs("No error\n", stderr);
        return;
    }
    // Through a wide text, so that the message reaches the terminal in the locale's
    // encoding. fprintf keeps the standard error stream byte-oriented for everyone else.
    wchar_t* wide = TARNIconv::UTF8ToWide(message);
    if (wide != nullptr) {
        std::fprintf(stderr, "%ls\n", wide);
    } else {
        std::fprintf(stderr, "%s\n", message);
    }
    TARNIconv::releaseWide(wide);
}
