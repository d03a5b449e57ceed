// Files that are written and read through one stream, and temporary files.
#pragma once

#include "tarn/runtime/file_reader.hpp"
#include "tarn/runtime/file_writer.hpp"

// A writer that can also read: both share the one stream of their virtual base. Between a
// write and a read, set the position (the C library requires it).
class TARNFileWriterAndReader : public TARNFileWriter, public TARNFileReader {
  public:
    TARNFileWriterAndReader() = default;
    ~TARNFileWriterAndReader() override = default;

    // The writer's Open with EnableRead added: "w+b", or with Append "a+b" or, with
    // RandomAccess as well, "r+b".
    bool Open(const char* path, int mode) override;
    bool Close() override;
    // Shows "File read/write error: " with the error number and its description.
    void ShowError() const override;

    // Creates a new file named "tnv" and six unique characters in the working folder and
    // opens it for reading and writing; `name` receives its name (relative to the working
    // folder). False when no file could be made: nothing is then left behind.
    virtual bool OpenTempFile(TARNStackedString<40>& name);
};
