#include "csi2ipl/frame_check.hpp"

#include <algorithm>
#include <iterator>
#include <optional>

#include "csi2ipl/csi2_packet.hpp"
#include "csi2ipl/decoder_reports.hpp"
#include "csi2ipl/packet_scanner.hpp"

namespace csi2ipl {

namespace {

// A preamble at `at` with its data identifier inside the data, of the lines' type.
bool LineOfTheTypeAt(const FrameGeometry& geometry, const uint8_t* data, size_t size, uint64_t at) {
    return PreambleAt(data, size, at, kPreambleBytes + 1) &&
           DataTypeOf(data[at + kPreambleBytes]) == geometry.searchType;
}

}  // namespace

LastLineFollower WhatFollowsTheLastLine(const FrameGeometry& geometry, const uint8_t* data, size_t size) {
    const LineEnds& ends = geometry.ends;
    const uint64_t lastEnd = geometry.lines.back().PayloadEnd();
    if (ends.packetAfterLines == 0) {
        const uint64_t nextLine = lastEnd + static_cast<uint64_t>(std::max<int64_t>(0, ends.lineRoom));
        if (LineOfTheTypeAt(geometry, data, size, nextLine))
            return {FrameStatus::kLineAfterLastLine, nextLine};
        // A packet that starts inside the last line's footer, or, for lines without
        // footers, a few bytes inside its payload, shows that the line lost bytes.
        const uint64_t footerEnd = lastEnd + ends.footerBytes;
        const uint64_t from = PacketAfterLastLineFrom(geometry.lines.back(), ends.footerBytes != 0);
        const size_t bound = static_cast<size_t>(std::min<uint64_t>(size, footerEnd + kPacketHeaderBytes));
        const uint64_t found = FindPacketAfter(data, bound, static_cast<size_t>(from));
        if (found < bound && found < footerEnd) return {FrameStatus::kPacketAfterLinesOff, found};
        return {};
    }
    const uint64_t place = ends.packetAfterLines;
    if (PreambleAt(data, size, place, kPreambleBytes)) {
        if (LineOfTheTypeAt(geometry, data, size, place)) return {FrameStatus::kLineAfterLastLine, place};
        // A fifth B8: the packet starts further on, behind a checksum byte of B8 that the
        // last line pushed there (no packet's identifier is B8).
        if (place + kPreambleBytes < size && data[place + kPreambleBytes] == kPreambleByte) {
            const size_t bound =
                static_cast<size_t>(std::min<uint64_t>(size, place + kNearBytes + kPacketHeaderBytes + 1));
            return {FrameStatus::kPacketAfterLinesOff,
                    FindPacketAfter(data, bound, static_cast<size_t>(place))};
        }
        return {};
    }
    // Elsewhere: the first packet behind the last line, as far as padding reaches. Padding
    // before it varies by whole words only; a distance from the place that is no whole
    // number of words shows a last line that lost or gained bytes (whatever padding this
    // frame has besides). No packet there: none follows in this frame (the search never
    // runs on to the end of a large capture buffer).
    // A last line that lost a few bytes puts it before its payload's end: it is looked for
    // from a few bytes before its place on, never before the last line's payload (a
    // preamble inside its header is its own).
    const uint64_t payloadStart = geometry.lines.back().offset + kPacketHeaderBytes;
    const uint64_t from =
        std::max(payloadStart, std::min(PacketAfterLastLineFrom(geometry.lines.back(), ends.footerBytes != 0),
                                        place - std::min(place, kNearBytes)));
    const size_t bound = static_cast<size_t>(std::min<uint64_t>(size, place + kPaddingReach + kPacketHeaderBytes));
    const uint64_t found = FindPacketAfter(data, bound, static_cast<size_t>(std::min<uint64_t>(from, bound)));
    if (found >= bound) return {};
    const uint64_t apart = found > place ? found - place : place - found;
    if (apart % kPaddingWordBytes != 0) return {FrameStatus::kPacketAfterLinesOff, found};
    if (LineOfTheTypeAt(geometry, data, size, found)) return {FrameStatus::kLineAfterLastLine, found};
    return {};
}

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
    // last B8. Then what follows the last line: a byte lost or gained inside it moves the
    // packet after it, and lines moved by a line packet more leave a line packet there.
    const size_t last = geometry.lines.size() - 1;
    const size_t firstTwoAndLast[] = {0, std::min<size_t>(1, last), last};
    const bool everyLine = lineCheck == LineCheck::kEveryLine;
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
    const LastLineFollower follower = WhatFollowsTheLastLine(geometry, data, size);
    if (follower.status != FrameStatus::kDecodable) {
        verdict.status = follower.status;
        verdict.reports.push_back((follower.status == FrameStatus::kLineAfterLastLine
                                       ? report::kLineAfterLastLine
                                       : report::kPacketAfterLinesOff) +
                                  std::to_string(follower.preambleAt));
        return verdict;
    }
    // Lines that two damaged frames agreed on stand where a clean frame's lines stand, all
    // but the one those frames lost.
    if (const std::optional<uint64_t> uncounted =
            UncountedLinePacket(geometry.around, geometry.searchType, data, size)) {
        verdict.status = FrameStatus::kUncountedLine;
        verdict.reports.push_back(report::kUncountedLine + std::to_string(*uncounted));
    }
    return verdict;
}

}  // namespace csi2ipl
