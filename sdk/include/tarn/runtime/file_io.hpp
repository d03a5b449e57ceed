// What the file reader and the file writer share: one buffered stream with 64-bit
// positions, and the display of errors.
#pragma once

#include <cstdio>

// Virtual base of TARNFileReader and TARNFileWriter, so that a TARNFileWriterAndReader
// holds one stream for both. The stream is closed at the latest by the destructor.
//
// No locking: one object is used by one thread at a time. Streams are opened close-on-exec,
// so child processes never inherit them.
class TARNFileIO {
  public:
    // Open-mode flags. Only Append, RandomAccess and EnableRead change anything here.
    static constexpr int Asynchronous = 0x01;
    static constexpr int NoBuffering = 0x02;
    static constexpr int Append = 0x04;
    static constexpr int RandomAccess = 0x08;
    static constexpr int SequentialAccess = 0x10;
    static constexpr int EnableRead = 0x20;

    // The end-of-line text of this platform.
    static const char* const Endl;

    // Shows a UTF-8 message to the user.
    using ErrorDisplayFunction = void (*)(const char* message);

    TARNFileIO(const TARNFileIO&) = delete;
    TARNFileIO& operator=(const TARNFileIO&) = delete;

    // Opens the UTF-8 path, or failing that its conversion to the locale's encoding; an
    // open file is closed first. True when a file is open.
    virtual bool Open(const char* path, int mode) = 0;
    // True unless closing lost data, or an earlier failure of the stream did (a writer's);
    // closing no file is no error.
    virtual bool Close() = 0;
    // Shows the error that just happened through the error-display function, if any.
    virtual void ShowError() const = 0;
    virtual ~TARNFileIO();

    bool IsOpen() const { return stream != nullptr; }

    // Positions are byte offsets from the start of the file. Each is false (or -1) when no
    // file is open or the system refuses. Moving the position first writes out buffered
    // data; a failure to write it is shown and fails the move.
    bool SetPos(long offset);
    bool MovePos(long offset);
    long GetPos() const;
    bool Rewind() { return SetPos(0); }
    bool Go2End();
    // Leaves the position where it was; -1 when the end cannot be found.
    long FileSize();

    // Null shows nothing. A new object shows errors with displayErrorDefaultFunction.
    void SetErrorDisplayFunction(ErrorDisplayFunction function) { displayError = function; }
    ErrorDisplayFunction GetErrorDisplayFunction() const { return displayError; }
    // Writes the message and a line feed to the standard error stream ("No error" for null).
    static void displayErrorDefaultFunction(const char* message);

  protected:
    TARNFileIO() = default;

    // Opens with the stdio mode (to which the close-on-exec flag is added), trying the path
    // as given and then in the locale's encoding. Any open file is closed first.
    bool openStream(const char* path, const char* mode);
    // fclose's verdict: false when buffered data could not be written. Forgets writeFailed.
    bool closeStream();
    // Writes out what the stream's buffer holds, if anything, and shows a failure. A seek
    // would flush it too, but a failure there discards the data and looks like a refused
    // seek; done first, the loss is shown as the write error it is. False on failure.
    bool flushPending();
    void display(const char* message) const {
        if (displayError) displayError(message);
    }

    std::FILE* stream = nullptr;
    ErrorDisplayFunction displayError = displayErrorDefaultFunction;
    // A write or flush of the open stream failed: data was lost even where fclose, with
    // nothing left in the buffer, would succeed. (A failed read loses nothing.)
    bool writeFailed = false;
};
