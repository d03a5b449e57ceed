#pragma once
// The texts the decoder reports at level 0, in one place so that the component and the
// tests use the same ones. A text that a value follows ends where the value goes.
namespace csi2ipl::report {

// Geometry pass.
inline constexpr const char* kTargetTypeNotFound = "Target CSI2 type not found try next Frame";
inline constexpr const char* kAutoFoundTooFewLines = "AUTO found only 1 Line or less skipp frame";
inline constexpr const char* kTargetProbably = "Target CSI2 is probably ";  // identifier, decimal
inline constexpr const char* kLineLength = "Line length is: ";
inline constexpr const char* kFrameSize = "Size of the frame is: ";  // width x height
inline constexpr const char* kFrameWidth = "Width of the frame is: ";
inline constexpr const char* kFrameHeight = "Height of the frame is: ";

// Per-frame checks.
inline constexpr const char* kFrameSizeMismatch = "Frame size mismatch target: ";  // this frame's word
inline constexpr const char* kFrameSizeMismatchGot = " got: ";                      // the saved word
inline constexpr const char* kPointerToLineStart = "Pointer to line start: ";
inline constexpr const char* kHeaderValue = " header value ";
inline constexpr const char* kLineWithoutHeader = "Line doesn't start with csi2 header";

// Frames this decoder refuses rather than read out of bounds or describe wrongly.
inline constexpr const char* kFrameTooShort = "Frame too short for a CSI2 packet: ";  // size, then:
inline constexpr const char* kBytesSkipFrame = " bytes, skip frame";
inline constexpr const char* kUnsupportedType = "CSI2 data type not supported: ";  // 0xNN, then:
inline constexpr const char* kSkipFrame = ", skip frame";
inline constexpr const char* kLineTooShort = "Line too short for one pixel group, word count: ";
inline constexpr const char* kGeometryTooLarge = "Frame geometry too large: ";  // WIDTHxHEIGHT, then:
inline constexpr const char* kImageBytes = " needs ";                          // bytes, then:
inline constexpr const char* kImageBytesLimit = " bytes, more than 2147483647";
inline constexpr const char* kFrameShorterThanLines = "Frame shorter than its lines: ";  // size, then:
inline constexpr const char* kLinesNeed = " bytes, the lines need ";

}  // namespace csi2ipl::report
