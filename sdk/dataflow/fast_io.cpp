#include "dataflow/fast_io.hpp"

#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

const char* failureText(TARNPrivate::FastIOFailure failure) {
    using TARNPrivate::FastIOFailure;
    switch (failure) {
        case FastIOFailure::TooManyReaders:
            return "TARNFastIO fatal error : TARNFastIO monitor has too many readers.";
        case FastIOFailure::UnregisterUnknown:
            return "TARNFastIO fatal error : trying to unregister a reader that has never been registered "
                   "before.";
        case FastIOFailure::SubsamplingUnknown:
            return "TARNFastIO fatal error : trying to set the subsampling rate for a reader that has never "
                   "been registered before.";
        case FastIOFailure::SubsamplingNotFifo:
            return "TARNFastIO fatal error : SetSubsamplingRate works only with FIFO readers.";
        case FastIOFailure::SubsamplingRange:
            return "TARNFastIO fatal error: Output subsampling rate must be an integer in the range between "
                   "1 "
                   "and 256 included.";
        case FastIOFailure::ReaderTypeUnknown:
            return "TARNFastIO fatal error : trying to set the reader type for a reader that has never been "
                   "registered before.";
        case FastIOFailure::ReaderTypeNotFifo:
            return "TARNFastIO fatal error : SetReaderType works only with FIFO readers.";
        case FastIOFailure::ReadingUnknown:
            return "TARNFastIO fatal error : trying to read with a reader that has never been registered "
                   "before.";
        case FastIOFailure::StopReadingWithoutStarting:
            return "TARNFastIO fatal error : Stop reading without starting (X";
        case FastIOFailure::NoSpaceToWrite:
            return "Output buffer fatal error : StartWriting has no space where to write. Check that each "
                   "call to StartWriting has its corresponding call to StopWriting.";
        case FastIOFailure::WritingNotStarted:
            return "TARNFastIO fatal error : StopWriting on an element that StartWriting did not hand out.";
    }
    return "TARNFastIO fatal error";
}

}  // namespace

namespace TARNPrivate {

void FastIOFatal(FastIOFailure failure, int reader) {
    TARNStreamedString message;
    message << failureText(failure);
    // The reader's bit in decimal; 1 << 31 needs the unsigned form.
    if (failure == FastIOFailure::StopReadingWithoutStarting) message << (1u << reader) << ")";
    TARN::ReportError(message.c_str(), 1);
    throw TARN::ErrorException;
}

}  // namespace TARNPrivate
