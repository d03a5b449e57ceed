// The files of record and replay methods: a file writer whose write completion gives the
// recorded element back, and a reader, both reporting their errors to the engine.
#pragma once

#include "tarn/runtime/file_reader.hpp"
#include "tarn/runtime/file_writer.hpp"

class TARNIOElt;
class TARNRecordReplayMethod;

// What one write hands to its completion.
struct AsyncWriteArgs {
    TARNRecordReplayMethod* method;
    TARNIOElt* element;
};

class TARNRRMFileWriter : public TARNFileWriter {
  public:
    TARNRRMFileWriter();

    // Binds the writer to `method` (whose elements its completions give back) and opens.
    bool Open(const char* path, TARNRecordReplayMethod* method, int mode);
    using TARNFileWriter::Open;
    // Writes `size` bytes; then, for an element, gives it back (a trigger-buffer copy is
    // marked written) whether the write succeeded or not. A writer bound to no method
    // reports "A TARNRRMFileWriter has not been initialized." and writes nothing (false):
    // nobody would give the element back, so it stays with the caller.
    bool Write(const void* data, int size, TARNIOElt* element);

    static void rrmErrorReportFunc(const char* message);

    // The owning method; null until Open binds one.
    TARNRecordReplayMethod* method = nullptr;
};

class TARNRRMFileReader : public TARNFileReader {
  public:
    TARNRRMFileReader();

    static void rrmErrorReportFunc(const char* message);
};
