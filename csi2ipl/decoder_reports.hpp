#pragma once
// The texts the decoder reports at level 0, each written once. A text that a value follows
// ends where the value goes. The tests spell the texts out as a user reads them, so that a
// changed text is a change they see.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace csi2ipl::report {

// A data type as the reports write it: 0x2B.
inline std::string Hex(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// Geometry pass.
inline constexpr const char* kTargetTypeNotFound = "Target CSI2 type not found try next Frame";
inline constexpr const char* kAutoFoundTooFewLines = "AUTO found only 1 Line or less skipp frame";
inline constexpr const char* kTargetProbably = "Target CSI2 is probably ";  // identifier, decimal
inline constexpr const char* kLineLength = "Line length is: ";
inline constexpr const char* kFrameSize = "Size of the frame is: ";  // width x height
inline constexpr const char* kFrameWidth = "Width of the frame is: ";
inline constexpr const char* kFrameHeight = "Height of the frame is: ";
// Resynchronisation, with print-debug, when 500 bytes or more were skipped.
inline constexpr const char* kSkippedInvalidData = "SKIPPED invalid data in CSI2-Stream: ";  // count, then:
inline constexpr const char* kBytesSkipped = " Bytes skipped";
inline constexpr size_t kSkippedReportBytes = 500;

// Per-frame checks.
inline constexpr const char* kFrameSizeMismatch = "Frame size mismatch target: ";  // this frame's word
inline constexpr const char* kFrameSizeMismatchGot = " got: ";                      // the saved word
inline constexpr const char* kPointerToLineStart = "Pointer to line start: ";
inline constexpr const char* kHeaderValue = " header value ";
inline constexpr const char* kLineWithoutHeader = "Line doesn't start with csi2 header";
inline constexpr const char* kLineNumber = "Line ";                  // its index, then:
inline constexpr const char* kLineOfDataType = " is of data type ";  // 0xNN, then:
inline constexpr const char* kLineNotOfType = ", not ";              // the lines' 0xNN

// Frames this decoder refuses rather than read out of bounds or describe wrongly.
inline constexpr const char* kFrameTooShort = "Frame too short for a CSI2 packet: ";  // size, then:
inline constexpr const char* kBytesSkipFrame = " bytes, skip frame";
inline constexpr const char* kUnsupportedType = "CSI2 data type not supported: ";  // 0xNN, then:
inline constexpr const char* kSkipFrame = ", skip frame";
inline constexpr const char* kLineTooShort = "Line too short for one pixel group, word count: ";
inline constexpr const char* kGeometryTooLarge = "Frame geometry too large: ";  // WIDTHxHEIGHT, then:
inline constexpr const char* kImageBytes = " needs ";                          // bytes, then:
inline constexpr const char* kImageBytesLimit = " bytes, more than 2147483647";
inline constexpr const char* kNotTheImage = "Lines of the frame make no image of ";  // WxH, then kSkipFrame
// A frame with a line packet that cannot be read gives the stream no geometry: its lines
// may be one fewer than the image's, or be read at a word count that is not the line's.
// The texts: kUnreadableLine, the offset, kSkipFrame; kWordCountsDiffer, the first line's
// word count, kAtByte, its offset, kWordCountsAnd, the other line's, kAtByte, its offset,
// kSkipFrame.
inline constexpr const char* kUnreadableLine = "Line packet cannot be read at byte ";
inline constexpr const char* kWordCountsDiffer = "Line word counts differ: ";
inline constexpr const char* kWordCountsAnd = ", ";
inline constexpr const char* kAtByte = " at byte ";
// A line packet followed by fewer bytes than the other lines' footer before the next
// packet: kCutShortLine, its offset, kSkipFrame.
inline constexpr const char* kCutShortLine = "Line packet cut short at byte ";
// A later frame's lines that make the stream's image but are laid out otherwise:
// kLineOutOfPlace, the offset of the first line packet that does not end in place,
// kLineOutOfPlaceEnd; kSkipFrame where the frame is dropped for it.
inline constexpr const char* kLineOutOfPlace = "Line packet at byte ";
inline constexpr const char* kLineOutOfPlaceEnd = " does not end where the stream's lines end";
// A frame whose lines are not the stored ones, which no second frame has confirmed: it is
// kept until the next frame shows which are the stream's. kFrameKept, then why (a text
// of kNotTheImage or kLineOutOfPlace, without kSkipFrame).
inline constexpr const char* kFrameKept =
    "Lines of the frame are not the stored ones, which no second frame has confirmed: kept until the next "
    "frame shows which are the stream's: ";
// The same, where two frames agreed on the stream's lines: kFrameKeptAgainstAgreed, then why.
inline constexpr const char* kFrameKeptAgainstAgreed =
    "Lines of the frame are not those two frames agreed on: kept until the next frame shows which are the "
    "stream's: ";
// What became of the kept frame: kKeptFrame, its timestamp, then kKeptFrameDropped, why its
// lines were not the stored ones and kSkipFrame; or kKeptFrameLinesTaken; or, when the run
// ends with it, kKeptFrameUnresolved.
inline constexpr const char* kKeptFrame = "Kept frame of timestamp ";
inline constexpr const char* kKeptFrameDropped = " dropped: ";
inline constexpr const char* kKeptFrameLinesTaken =
    " has the stream's lines: the next frame agrees with them, not with the stored ones";
inline constexpr const char* kKeptFrameUnresolved =
    " dropped: no frame followed it to show whose lines are the stream's";
// The output is laid out anew for an image two frames agree on, other than the first
// frame's: kImageFromNowOn, WxH, kImageFromNowOnEnd.
inline constexpr const char* kImageFromNowOn = "The stream's image is ";
inline constexpr const char* kImageFromNowOnEnd = " from this frame on, as two frames agree on it";
// What follows the last line of a frame checked at the stream's lines, where a packet
// followed them: a preamble a few bytes (less than a word) off its place shows that the
// last line lost or gained bytes. Where it stands, or just behind the last line's footer
// where none followed, a line packet of the stream's type shows a frame whose lines moved
// (a line packet more in front of it). kPacketAfterLinesOff or kLineAfterLastLine, then
// the offset of the preamble found.
inline constexpr const char* kPacketAfterLinesOff = "Packet after the last line off its place at byte ";
inline constexpr const char* kLineAfterLastLine = "Line packet after the last line at byte ";
// A line packet of the stream's type around the lines of a frame checked at them, that
// they do not count: kUncountedLine, then its offset.
inline constexpr const char* kUncountedLine = "Line packet the stream's lines do not count at byte ";
inline constexpr const char* kFrameShorterThanLines = "Frame shorter than its lines: ";  // size, then:
inline constexpr const char* kLinesNeed = " bytes, the lines need ";

// Decoding.
inline constexpr const char* kRaw12LimitFallback = "Not supported in new implementation fallin back to legacy mode";
inline constexpr const char* kYuv422ImplementationUnknown = "Something went wrong for YUV422_8_bit decoding.";
inline constexpr const char* kRaw12ImplementationUnknown = "Something went wrong for RAW12 decoding.";
inline constexpr const char* kFrameNotDecoded = "Frame could not be decoded, skip frame";
inline constexpr const char* kOutputImageMismatch = "Output image does not match the frame geometry, skip frame";
inline constexpr const char* kPipelineRefused = "Pipeline refused the frame (error ";  // code, then:
inline constexpr const char* kPipelineRefusedEnd = "), decoding with the line unpackers";
inline constexpr const char* kGpuFailed = "GPU decoding failed (error ";  // code, then:
inline constexpr const char* kGpuFailedEnd = "), decoding with the processor pipeline for the rest of the run";

// The benchmark report at Death: the count, then each label with its mean and the unit.
inline constexpr const char* kNumberOfFrames = "Number of frames: ";
inline constexpr const char* kTimeInCore = "Time in core: ";
inline constexpr const char* kTimeForGpuMemcpy = "Time for gpu memcpy: ";
inline constexpr const char* kTimeForGpuDecoding = "Time for gpu decoding: ";
inline constexpr const char* kTimeForCpuDecoding = "Time for cpu decoding: ";
inline constexpr const char* kTimeForLegacyDecoding = "Time for legacy decoding: ";
inline constexpr const char* kTimeForCountType = "Time for count type function: ";
inline constexpr const char* kMilliseconds = " ms";

}  // namespace csi2ipl::report
