#pragma once
// The texts the decoder reports at level 0, in one place so that the component and the
// tests use the same ones. A text that a value follows ends where the value goes.
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
// kLineOutOfPlaceEnd.
inline constexpr const char* kLineOutOfPlace = "Line packet at byte ";
inline constexpr const char* kLineOutOfPlaceEnd = " does not end where the stream's lines end, skip frame";
inline constexpr const char* kHeldForConfirmation =
    "Lines of the frame differ from the stored ones, which no frame has confirmed: kept for the next frame "
    "to confirm, skip frame";
// A later frame whose lines make a taller image replaced a geometry no frame confirmed,
// and a frame is decoded at them: kImageFromNowOn, WxH, kImageFromNowOnEnd. The output is
// laid out anew for it.
inline constexpr const char* kImageFromNowOn = "The stream's image is ";
inline constexpr const char* kImageFromNowOnEnd =
    " from this frame on: it has lines the first frame did not count (images not yet read are dropped)";
// A frame checked at lines that no second frame has confirmed, holding a line packet they
// do not count: kUncountedLine, its offset.
inline constexpr const char* kUncountedLine = "Line packet the stored lines do not count at byte ";
// The packet that followed the last line in the geometry frame is not in its place:
// kNoPacketAfterLines, the offset where it stood.
inline constexpr const char* kNoPacketAfterLines = "No packet after the last line at byte ";
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
