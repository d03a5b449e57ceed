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

// Bytes of a frame the lines need: to each line's last pixel byte, and to the last line's
// footer, as much of it as `ends` says the frame held.
uint64_t RequiredSpan(const DataFormat& format, uint32_t width, const PacketList& lines,
                      const LineEnds& ends) {
    uint64_t span = 0;
    for (const PacketItem& line : lines)
        span = std::max(span, uint64_t{line.offset} + kPacketHeaderBytes +
                                  PayloadBytesRead(format, width, line.WordCount()));
    return std::max(span, lines.back().PayloadEnd() + ends.lastFooterBytes);
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
    LineEnds ends = MeasureLineEnds(data, size, scan.lines);
    if (ends.cutShort)
        return Refuse(std::move(result), GeometryStatus::kCutShortLine,
                      report::kCutShortLine + std::to_string(*ends.cutShort) + report::kSkipFrame);

    geometry.startOffset = request.startOffset;
    geometry.firstLineOffset = scan.lines.front().offset;
    geometry.lineLength = scan.lineLength;
    geometry.evenlySpaced = EvenlySpaced(scan.lines, scan.lineLength);
    geometry.requiredSpan = RequiredSpan(*format, geometry.width, scan.lines, ends);
    geometry.around = MapPacketsAroundLines(data, size, request.startOffset, scan.lines, ends);
    geometry.ends = std::move(ends);
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

}  // namespace csi2ipl
