#include "tarn/runtime/file_writer_and_reader.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "tarn/runtime/text_conversion.hpp"

bool TARNFileWriterAndReader::Open(const char* path, int mode) {
    return TARNFileWriter::Open(path, mode | EnableRead);
}

bool TARNFileWriterAndReader::Close() {
    return TARNFileWriter::Close();
}

void TARNFileWriterAndReader::ShowError() const {
    if (displayError) display(errorText("File read/write error: ").c_str());
}

bool TARNFileWriterAndReader::OpenTempFile(TARNStackedString<40>& name) {
    Close();
    char localeName[] = "tnvXXXXXX";
    const int descriptor = mkostemp(localeName, O_CLOEXEC);
    if (descriptor < 0) return false;
    TARNStackedString<40> converted;
    std::FILE* opened = fdopen(descriptor, "w+b");
    if (opened == nullptr || TARNIconv::localeToUTF8(localeName, converted) == 0) {
        // Nobody else knows the name: a file left here would never be removed.
        if (opened != nullptr) {
            std::fclose(opened);
        } else {
            close(descriptor);
        }
        unlink(localeName);
        return false;
    }
    stream = opened;
    name = converted;
    return true;
}
