#include "csi2ipl/frame_geometry.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>

#include "csi2ipl/data_formats.hpp"
#include "csi2ipl/decoder_reports.hpp"

namespace csi2ipl {

namespace {

GeometryResult Refuse(GeometryResult result, GeometryStatus status, std::string report) {
    result.status = status;
    result.geometry = FrameGeometry{};
    result.reports.push_back(std::move(report));
    return result;
}

// Where the packet that begins at or after `from` starts, or `size`: the last four B8 of
// the first run of four or more. A footer ending in B8 makes a preamble of its own with the
// first three B8 of the next one; a packet's identifier is never B8 (a reserved type).
size_t PacketAfter(const uint8_t* data, size_t size, size_t from) {
    size_t at = FindPacketStart(data, size, from);
    while (at < size && data[at + kPreambleBytes] == kPreambleByte && FindPacketStart(data, size, at + 1) == at + 1)
        ++at;
    return at;
}

// How the lines of a frame end: the room after each (see FrameGeometry), the footer they
// share, and the first line packet that the bytes after it show cut short.
struct LineEnds {
    int64_t lineRoom = 0;
    uint32_t footerBytes = 0;
    uint32_t lastFooterBytes = 0;
    uint32_t packetAfterLines = 0;
    uint32_t roomAfterLastLine = 0;
    bool sameRoomAfterEach = true;
    std::optional<uint32_t> cutShort;
};

LineEnds MeasureLineEnds(const uint8_t* data, size_t size, const PacketList& lines) {
    LineEnds ends;
    const auto payloadEnd = [](const PacketItem& line) {
        return uint64_t{line.offset} + kPacketHeaderBytes + line.WordCount();
    };
    std::vector<int64_t> rooms;
    rooms.reserve(lines.size());
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const uint64_t end = payloadEnd(lines[i]);
        const uint64_t next = lines[i + 1].offset;
        // The next line's preamble ends the search: the room is never past it.
        rooms.push_back(end > next ? -static_cast<int64_t>(end - next)
                                   : static_cast<int64_t>(PacketAfter(data, size, end) - end));
    }
    const uint64_t lastEnd = payloadEnd(lines.back());
    const size_t after = PacketAfter(data, size, lastEnd);
    const bool packetFollows = after < size;
    const int64_t lastRoom = static_cast<int64_t>((packetFollows ? after : size) - lastEnd);

    if (rooms.empty()) {
        ends.lineRoom = lastRoom;
    } else {
        // The room most lines have; of two as common, the larger, so that of a line cut
        // short and one whole, the whole one's footer is the lines'.
        std::vector<int64_t> sorted = rooms;
        std::sort(sorted.begin(), sorted.end());
        size_t best = 0;
        for (size_t run = 0; run < sorted.size();) {
            size_t end = run;
            while (end < sorted.size() && sorted[end] == sorted[run]) ++end;
            if (end - run >= best) {
                best = end - run;
                ends.lineRoom = sorted[run];
            }
            run = end;
        }
    }
    ends.footerBytes = static_cast<uint32_t>(std::clamp<int64_t>(ends.lineRoom, 0, kPacketFooterBytes));
    for (size_t i = 0; i < rooms.size(); ++i) {
        if (rooms[i] != ends.lineRoom) ends.sameRoomAfterEach = false;
        if (rooms[i] < ends.footerBytes && !ends.cutShort) ends.cutShort = lines[i].offset;
    }
    // A frame may end at its last pixel, without the last footer: only a packet that
    // stands inside that footer cuts the last line short.
    ends.lastFooterBytes = static_cast<uint32_t>(std::clamp<int64_t>(lastRoom, 0, ends.footerBytes));
    if (packetFollows) {
        ends.packetAfterLines = static_cast<uint32_t>(after);
        ends.roomAfterLastLine = static_cast<uint32_t>(lastRoom);
        if (!rooms.empty() && lastRoom != ends.lineRoom) ends.sameRoomAfterEach = false;
        if (lastRoom < ends.footerBytes && !ends.cutShort) ends.cutShort = lines.back().offset;
    }
    return ends;
}

// The first line packet of `found` that does not end where the lines of `saved`, of the
// same image, end: the distance to the next line, the word count, or what follows the
// last line (the packet that followed it in the geometry frame, at the same distance; a
// packet where none stood, at the other lines' room; or the frame's end, after the last
// line's footer).
std::optional<uint32_t> LineOutOfPlace(const FrameGeometry& saved, const FrameGeometry& found) {
    if (found.firstWordCount != saved.firstWordCount) return found.lines.front().offset;
    for (size_t i = 0; i + 1 < found.lines.size(); ++i)
        if (found.lines[i + 1].offset - found.lines[i].offset != saved.lines[i + 1].offset - saved.lines[i].offset)
            return found.lines[i].offset;
    const bool lastInPlace =
        found.packetAfterLines != 0
            ? int64_t{found.roomAfterLastLine} ==
                  (saved.packetAfterLines != 0 ? int64_t{saved.roomAfterLastLine} : saved.lineRoom)
            : found.lastFooterBytes >= saved.lastFooterBytes;
    if (!lastInPlace) return found.lines.back().offset;
    return std::nullopt;
}

bool EvenlySpaced(const PacketList& lines, uint32_t lineLength) {
    for (size_t i = 1; i < lines.size(); ++i)
        if (lines[i].offset - lines[i - 1].offset != lineLength) return false;
    return true;
}

// Why the lines counted in a frame (one at least) cannot be its image's, or empty when they
// can: the lines of one image have one word count, and every line packet of the frame is
// among them.
std::string LineCountDamage(const uint8_t* data, size_t size, size_t startOffset, uint8_t dataType,
                            const PacketList& lines) {
    const PacketItem& first = lines.front();
    for (const PacketItem& line : lines)
        if (line.WordCount() != first.WordCount())
            return report::kWordCountsDiffer + std::to_string(first.WordCount()) + report::kAtByte +
                   std::to_string(first.offset) + report::kWordCountsAnd + std::to_string(line.WordCount()) +
                   report::kAtByte + std::to_string(line.offset) + report::kSkipFrame;
    if (const std::optional<size_t> uncounted = FindUncountedLine(data, size, startOffset, dataType, lines))
        return report::kUnreadableLine + std::to_string(*uncounted) + report::kSkipFrame;
    return {};
}

}  // namespace

GeometryResult ComputeGeometry(const uint8_t* data, size_t size, const GeometryRequest& request) {
    GeometryResult result;
    if (size < kMinimumFrameBytes)
        return Refuse(std::move(result), GeometryStatus::kFrameTooShort,
                      report::kFrameTooShort + std::to_string(size) + report::kBytesSkipFrame);
    FrameGeometry& geometry = result.geometry;
    std::memcpy(geometry.frameHeader.data(), data, kFrameHeaderBytes);
    geometry.frameSizeWord = LoadWord32(data);  // little-endian on this platform

    // The type of the lines: given, or the most frequent long-packet identifier of the
    // whole frame (its header included), which must occur at least twice.
    uint8_t decodeType = request.decodeType;
    if (request.targetType == data_type::kAuto) {
        const PacketList packets = find_all_Longpackages(data, size);
        const uint8_t primary = find_primary_image_form_pnt_list(packets);
        if (filter_by_datatype(packets, primary).size() < 2)
            return Refuse(std::move(result), GeometryStatus::kTooFewLines, report::kAutoFoundTooFewLines);
        if (request.printDebug) result.reports.push_back(report::kTargetProbably + std::to_string(primary));
        geometry.searchType = DataTypeOf(primary);
        if (decodeType == data_type::kAuto) decodeType = geometry.searchType;
    } else {
        geometry.searchType = SearchTypeOf(request.targetType);
        if (decodeType == data_type::kAuto) decodeType = request.targetType;
    }

    const auto countStart = std::chrono::steady_clock::now();
    LineScan scan = CSI2CountType(data, size, request.startOffset, geometry.searchType);
    result.countTypeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - countStart).count();
    if (scan.lines.empty())
        return Refuse(std::move(result), GeometryStatus::kTypeNotFound, report::kTargetTypeNotFound);
    // A stray byte in a line's header loses the line, or gives it another word count: the
    // frame's lines would then make another image (a line fewer, another width), which as
    // the stream's image every later frame would be cut to or refused for. Such a frame
    // gives no geometry; the next one is measured instead.
    if (const std::string damage =
            LineCountDamage(data, size, request.startOffset, geometry.searchType, scan.lines);
        !damage.empty())
        return Refuse(std::move(result), GeometryStatus::kUnreadableLine, damage);
    if (request.printDebug && scan.lines.size() >= 2)
        result.reports.push_back(report::kLineLength + std::to_string(scan.lineLength));

    const DataFormat* format = FindDataFormat(decodeType);
    if (format == nullptr)
        return Refuse(std::move(result), GeometryStatus::kUnsupportedType,
                      report::kUnsupportedType + report::Hex(decodeType) + report::kSkipFrame);
    geometry.decodeType = decodeType;
    geometry.limitTo8 = request.limitTo8;
    geometry.firstWordCount = scan.lines.front().WordCount();
    geometry.width = geometry.firstWordCount / format->groupBytes * format->groupPixels;
    if (geometry.width == 0)
        return Refuse(std::move(result), GeometryStatus::kLineTooShort,
                      report::kLineTooShort + std::to_string(geometry.firstWordCount));
    geometry.height = static_cast<uint32_t>(scan.lines.size());
    geometry.depth = request.limitTo8 ? 8 : format->depth;
    geometry.channels = format->channels;
    geometry.colourCode = format->colourCode;
    geometry.rowBytes = uint64_t{geometry.width} * geometry.channels * (geometry.depth / 8);
    const uint64_t imageBytes = AlignedRowBytes(geometry) * geometry.height;
    if (imageBytes > INT32_MAX)
        return Refuse(std::move(result), GeometryStatus::kTooLarge,
                      report::kGeometryTooLarge + std::to_string(geometry.width) + "x" +
                          std::to_string(geometry.height) + report::kImageBytes + std::to_string(imageBytes) +
                          report::kImageBytesLimit);

    // A payload that lost a byte ends a byte into its footer: the next packet stands there.
    const LineEnds ends = MeasureLineEnds(data, size, scan.lines);
    if (ends.cutShort)
        return Refuse(std::move(result), GeometryStatus::kCutShortLine,
                      report::kCutShortLine + std::to_string(*ends.cutShort) + report::kSkipFrame);

    geometry.startOffset = request.startOffset;
    geometry.firstLineOffset = scan.lines.front().offset;
    geometry.lineLength = scan.lineLength;
    geometry.evenlySpaced = EvenlySpaced(scan.lines, scan.lineLength);
    geometry.lineRoom = ends.lineRoom;
    geometry.footerBytes = ends.footerBytes;
    geometry.lastFooterBytes = ends.lastFooterBytes;
    geometry.packetAfterLines = ends.packetAfterLines;
    geometry.roomAfterLastLine = ends.roomAfterLastLine;
    geometry.regular = geometry.evenlySpaced && ends.sameRoomAfterEach;
    for (const PacketItem& line : scan.lines)
        geometry.requiredSpan =
            std::max(geometry.requiredSpan, uint64_t{line.offset} + kPacketHeaderBytes +
                                                PayloadBytesRead(*format, geometry.width, line.WordCount()));
    const PacketItem& last = scan.lines.back();
    geometry.requiredSpan = std::max(geometry.requiredSpan, uint64_t{last.offset} + kPacketHeaderBytes +
                                                                last.WordCount() + ends.lastFooterBytes);
    if (ends.packetAfterLines != 0)
        geometry.requiredSpan = std::max(geometry.requiredSpan, uint64_t{ends.packetAfterLines} + kPreambleBytes);
    geometry.lines = std::move(scan.lines);
    geometry.unpacker = SelectUnpacker(decodeType, request.limitTo8, request.simd);

    if (request.printDebug) {
        result.reports.push_back(report::kFrameSize + std::to_string(uint64_t{geometry.width} * geometry.height));
        result.reports.push_back(report::kFrameWidth + std::to_string(geometry.width));
        result.reports.push_back(report::kFrameHeight + std::to_string(geometry.height));
    }
    result.status = GeometryStatus::kReady;
    return result;
}

GeometryResult ComputeGeometryOfMovedLines(const FrameGeometry& saved, bool savedConfirmed, const uint8_t* data,
                                           size_t size, GeometryRequest request) {
    // The stream's type is known by now: the lines are counted for it, not detected again.
    request.targetType = saved.searchType;
    request.decodeType = saved.decodeType;
    request.limitTo8 = saved.limitTo8;
    GeometryResult result = ComputeGeometry(data, size, request);
    if (!result.Ready()) return result;
    FrameGeometry& found = result.geometry;
    const bool sameFormat =
        found.width == saved.width && found.depth == saved.depth && found.channels == saved.channels;
    if (sameFormat && found.height == saved.height) {
        const std::optional<uint32_t> outOfPlace = LineOutOfPlace(saved, found);
        if (!outOfPlace) {
            found.frameSizeWord = std::max(found.frameSizeWord, saved.frameSizeWord);
            found.frameHeader = saved.frameHeader;
            result.confirmsStored = true;
            return result;
        }
        if (savedConfirmed || (saved.regular && !found.regular))
            return Refuse(std::move(result), GeometryStatus::kLinesOutOfPlace,
                          report::kLineOutOfPlace + std::to_string(*outOfPlace) + report::kLineOutOfPlaceEnd);
        if (found.regular && !saved.regular) return result;
    } else if (savedConfirmed || !sameFormat || found.height < saved.height) {
        return Refuse(std::move(result), GeometryStatus::kNotTheImage,
                      report::kNotTheImage + std::to_string(saved.width) + "x" + std::to_string(saved.height) +
                          report::kSkipFrame);
    } else if (found.regular) {
        return result;
    }
    result.status = GeometryStatus::kHeldForConfirmation;
    result.reports.push_back(report::kHeldForConfirmation);
    return result;
}

}  // namespace csi2ipl
