// Writing files: bytes and texts, flushing to the disk, truncation.
#pragma once

#include "tarn/runtime/file_io.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNFileWriter : public virtual TARNFileIO {
  public:
    // Called after each Write that was given user data.
    using AfterWriteCallback = void (*)(void* userData);

    TARNFileWriter() = default;
    ~TARNFileWriter() override = default;

    // Without Append the file is created or emptied ("w+b" with EnableRead, else "wb").
    // With Append it is kept: Append | EnableRead | RandomAccess reads and writes anywhere
    // ("r+b", the file must exist), Append | EnableRead writes at the end and reads anywhere
    // ("a+b"), Append alone writes at the end ("ab").
    bool Open(const char* path, int mode) override;
    // False (and shown) when data still buffered could not be written.
    bool Close() override;
    // Shows "File write error: " with the error number and its description.
    void ShowError() const override;

    // Writes all `size` bytes, or shows the error and returns false. Then, when a callback is
    // installed and `userData` is not null, calls it with `userData`, even after a failure.
    bool Write(const void* data, long size, void* userData = nullptr);
    // Writes the text's characters (no terminator). With `convertEOL`, line feeds become the
    // platform's end of line (nothing to do where that is a lone line feed).
    bool WriteText(const TARNStackedString<40>& text, bool convertEOL = false);
    // Flushes the stream and has the system write the file to the disk.
    bool FlushToDisk();
    // Cuts the file at the current position.
    bool Truncate();

    void SetAfterWriteCallback(AfterWriteCallback callback) { afterWrite = callback; }

  protected:
    // "prefix" followed by the current error number and, when the system has one, its
    // description in parentheses.
    static TARNStackedString<40> errorText(const char* prefix);

    AfterWriteCallback afterWrite = nullptr;
};
