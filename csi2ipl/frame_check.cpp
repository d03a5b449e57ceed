#include "csi2ipl/frame_check.hpp"

#include <algorithm>
#include <iterator>
#include <optional>

#include "csi2ipl/csi2_packet.hpp"
#include "csi2ipl/decoder_reports.hpp"
#include "csi2ipl/packet_scanner.hpp"

namespace csi2ipl {

FrameVerdict CheckFrame(const FrameGeometry& geometry, const uint8_t* data, size_t size, bool frameSizeCheck,
                        LineCheck lineCheck) {
    FrameVerdict verdict;
    if (size < kMinimumFrameBytes) {
        verdict.status = FrameStatus::kFrameTooShort;
        verdict.reports.push_back(report::kFrameTooShort + std::to_string(size) + report::kBytesSkipFrame);
        return verdict;
    }
    const uint32_t frameSizeWord = LoadWord32(data);
    if (frameSizeCheck && frameSizeWord > geometry.frameSizeWord) {
        verdict.status = FrameStatus::kFrameSizeMismatch;
        verdict.reports.push_back(report::kFrameSizeMismatch + std::to_string(frameSizeWord) +
                                  report::kFrameSizeMismatchGot + std::to_string(geometry.frameSizeWord));
        return verdict;
    }
    // The frame-size word may be off or the check switched off: the data size alone
    // decides whether the lines can be read.
    if (size < geometry.requiredSpan || geometry.lines.empty()) {
        verdict.status = FrameStatus::kShorterThanLines;
        verdict.reports.push_back(report::kFrameShorterThanLines + std::to_string(size) + report::kLinesNeed +
                                  std::to_string(geometry.requiredSpan));
        return verdict;
    }
    // The first two lines and the last at their offsets (or every line), all inside the
    // span checked above. A byte a frame gains or loses anywhere before its last line's
    // header moves that header, so one stray byte shows there whichever line it stands in
    // front of. Each line looked at is a cache miss of its own: every line would add a few
    // per cent to a pipeline's decode of a frame. The data type is looked at as well as the
    // preamble: a stray B8 in front of a line's preamble makes a preamble of its own with
    // the first three B8 of the real one, whose identifier is then the real preamble's
    // last B8. Then the packet that followed the last line, when one did: a byte lost or
    // gained inside the last line moves it.
    const size_t last = geometry.lines.size() - 1;
    const size_t firstTwoAndLast[] = {0, std::min<size_t>(1, last), last};
    const bool everyLine = lineCheck != LineCheck::kFirstTwoAndLast;
    for (size_t i = 0; i < (everyLine ? geometry.lines.size() : std::size(firstTwoAndLast)); ++i) {
        const size_t y = everyLine ? i : firstTwoAndLast[i];
        const uint8_t* header = data + geometry.lines[y].offset;
        const uint32_t found = LoadWord32(header);
        if (found != kPreamble) {
            verdict.status = FrameStatus::kLineWithoutPreamble;
            verdict.reports.push_back(report::kPointerToLineStart + std::to_string(found) +
                                      report::kHeaderValue + std::to_string(kPreamble));
            verdict.reports.push_back(report::kLineWithoutHeader);
            return verdict;
        }
        if (DataTypeOf(header[4]) != geometry.searchType) {
            verdict.status = FrameStatus::kLineOfOtherType;
            verdict.reports.push_back(report::kLineNumber + std::to_string(y) + report::kLineOfDataType +
                                      report::Hex(DataTypeOf(header[4])) + report::kLineNotOfType +
                                      report::Hex(geometry.searchType));
            return verdict;
        }
    }
    const uint64_t packetAfter = geometry.ends.packetAfterLines;
    if (packetAfter != 0 && size >= packetAfter + kPreambleBytes &&
        LoadWord32(data + packetAfter) != kPreamble) {
        verdict.status = FrameStatus::kNoPacketAfterLines;
        verdict.reports.push_back(report::kNoPacketAfterLines + std::to_string(packetAfter));
        return verdict;
    }
    if (lineCheck == LineCheck::kEveryLineAndTheBytesBetween) {
        if (const std::optional<size_t> uncounted =
                FindUncountedLine(data, size, geometry.startOffset, geometry.searchType, geometry.lines)) {
            verdict.status = FrameStatus::kUncountedLine;
            verdict.reports.push_back(report::kUncountedLine + std::to_string(*uncounted));
        }
    }
    return verdict;
}

}  // namespace csi2ipl
