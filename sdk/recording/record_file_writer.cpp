#include "tarn/recording/record_file_writer.hpp"

#include "tarn/engine/reports.hpp"
#include "tarn/recording/record_replay_method.hpp"

namespace {

constexpr const char* NotInitialized = "A TARNRRMFileWriter has not been initialized.";

void completion(void* args) {
    TARNRecordReplayMethod::CallbackWriter(static_cast<AsyncWriteArgs*>(args));
}

}  // namespace

TARNRRMFileWriter::TARNRRMFileWriter() {
    SetErrorDisplayFunction(rrmErrorReportFunc);
}

bool TARNRRMFileWriter::Open(const char* path, TARNRecordReplayMethod* owner, int mode) {
    method = owner;
    SetAfterWriteCallback(completion);
    return TARNFileWriter::Open(path, mode);
}

bool TARNRRMFileWriter::Write(const void* data, int size, TARNIOElt* element) {
    if (element == nullptr) return TARNFileWriter::Write(data, size, nullptr);
    if (method == nullptr) {
        TARN::ReportError(NotInitialized, 0);
        return false;
    }
    return TARNFileWriter::Write(data, size, new AsyncWriteArgs{method, element});
}

void TARNRRMFileWriter::rrmErrorReportFunc(const char* message) {
    TARNPrivate::Report(message, 2, 1, true);
}

TARNRRMFileReader::TARNRRMFileReader() {
    SetErrorDisplayFunction(rrmErrorReportFunc);
}

void TARNRRMFileReader::rrmErrorReportFunc(const char* message) {
    TARNPrivate::Report(message, 2, 1, true);
}

void TARNRecordReplayMethod::CallbackWriter(AsyncWriteArgs* args) {
    if (args == nullptr) return;
    if (args->method == nullptr) {
        TARN::ReportError(NotInitialized, 0);
    } else if (args->element != nullptr) {
        args->method->Unlock(*args->element);
    }
    delete args;
}
