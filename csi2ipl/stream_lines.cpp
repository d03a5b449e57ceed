#include "csi2ipl/stream_lines.hpp"

#include <algorithm>
#include <climits>
#include <iterator>
#include <utility>

#include "csi2ipl/decoder_reports.hpp"
#include "csi2ipl/frame_check.hpp"

namespace csi2ipl {

namespace {

std::string KeptFrameDropped(const KeptFrame& frame) {
    return report::kKeptFrame + std::to_string(frame.timestamp) + report::kKeptFrameDropped +
           frame.disagreement + report::kSkipFrame;
}

// A frame-size word larger than the frame's data is damaged: 0 keeps none.
void DropADamagedWord(FrameGeometry& geometry, size_t size) {
    if (geometry.frameSizeWord > size) geometry.frameSizeWord = 0;
}

bool SameOffsets(const PacketList& a, const PacketList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const PacketItem& x, const PacketItem& y) { return x.offset == y.offset; });
}

}  // namespace

std::string Disagreement(const FrameGeometry& stored, const FrameGeometry& found) {
    if (found.width != stored.width || found.height != stored.height || found.depth != stored.depth ||
        found.channels != stored.channels)
        return report::kNotTheImage + std::to_string(stored.width) + "x" + std::to_string(stored.height);
    // Lines of one width may differ in word count (a group's worth of bytes that makes no
    // pixel): their packets end elsewhere.
    const std::optional<uint32_t> outOfPlace =
        found.firstWordCount != stored.firstWordCount
            ? std::optional<uint32_t>(found.lines.front().offset)
            : LineEndingOutOfPlace(stored.ends, found.ends, found.lines);
    if (outOfPlace) return report::kLineOutOfPlace + std::to_string(*outOfPlace) + report::kLineOutOfPlaceEnd;
    return {};
}

FrameGeometry AgreedLines(const FrameGeometry& older, FrameGeometry newer, size_t newerSize) {
    DropADamagedWord(newer, newerSize);
    newer.frameSizeWord = std::max(newer.frameSizeWord, older.frameSizeWord);
    newer.frameHeader = older.frameHeader;
    // A packet after the last line that this frame lacks is looked for in the next ones,
    // where it stands as a frame's packet must where the other frame had none: behind the
    // lines' room, give or take whole words (LineEndingOutOfPlace). Elsewhere, one frame
    // alone put it there, and the older frame may have been damaged inside its last line.
    LineEnds& ends = newer.ends;
    if (ends.packetAfterLines == 0 && older.ends.packetAfterLines != 0 &&
        !LineEndingOutOfPlace(ends, older.ends, older.lines)) {
        const uint64_t at = newer.lines.back().PayloadEnd() + older.ends.roomAfterLastLine;
        if (at < UINT32_MAX) {
            ends.packetAfterLines = static_cast<uint32_t>(at);
            ends.roomAfterLastLine = older.ends.roomAfterLastLine;
        }
    }
    return newer;
}

void StreamLines::Restart() {
    phase = Phase::kNoLines;
    lines = FrameGeometry{};
    offsetsSeenTwice = false;
    kept.reset();
}

StreamLines::Step StreamLines::Take(const uint8_t* data, size_t size, long timestamp,
                                    const GeometryRequest& request, bool frameSizeCheck) {
    switch (phase) {
        case Phase::kNoLines:
            return TakeFirst(data, size, request);
        case Phase::kLearning:
            return Learn(data, size, timestamp, request);
        case Phase::kConfirmed:
            break;
    }
    return Check(data, size, timestamp, request, frameSizeCheck);
}

StreamLines::Step StreamLines::TakeFirst(const uint8_t* data, size_t size, const GeometryRequest& request) {
    Step step;
    GeometryResult result = ComputeGeometry(data, size, request);
    step.countTypeSeconds = result.countTypeSeconds;
    step.reports = std::move(result.reports);
    if (!result.Ready()) return step;
    lines = std::move(result.geometry);
    DropADamagedWord(lines, size);
    phase = Phase::kLearning;
    step.decodeThis = true;
    return step;
}

StreamLines::Step StreamLines::Learn(const uint8_t* data, size_t size, long timestamp,
                                     const GeometryRequest& request) {
    Step step;
    GeometryResult result = Measure(data, size, request);
    step.countTypeSeconds = result.countTypeSeconds;
    // A frame that shows damage of its own is dropped; a kept frame waits on.
    step.reports = std::move(result.reports);
    if (!result.Ready()) return step;
    Judge(std::move(result.geometry), data, size, timestamp, step);
    return step;
}

StreamLines::Step StreamLines::Check(const uint8_t* data, size_t size, long timestamp,
                                     const GeometryRequest& request, bool frameSizeCheck) {
    Step step;
    FrameVerdict verdict = CheckFrame(lines, data, size, frameSizeCheck,
                                      offsetsSeenTwice ? LineCheck::kFirstTwoAndLast : LineCheck::kEveryLine);
    if (verdict.Decodable()) {
        // It agrees with the stream's lines: a kept frame that did not is dropped.
        if (kept) step.reports.push_back(KeptFrameDropped(*kept));
        kept.reset();
        offsetsSeenTwice = true;
        step.decodeThis = true;
        return step;
    }
    step.reports = std::move(verdict.reports);
    if (!verdict.WorthMeasuring()) return step;
    // The frame's own lines may make the stream's image all the same, moved together (a
    // byte lost or gained in front of the first line) or with a larger frame-size word; or
    // make another one, which the next frame may agree with.
    GeometryResult result = Measure(data, size, request);
    step.countTypeSeconds = result.countTypeSeconds;
    // Why its lines were not taken, after why they were looked at: the check alone says
    // only where the stream's lines are not.
    if (!result.Ready()) {
        if (!result.reports.empty()) step.reports.push_back(std::move(result.reports.back()));
        return step;
    }
    std::vector<std::string> whyMeasured = std::move(step.reports);
    step.reports = std::move(result.reports);
    Judge(std::move(result.geometry), data, size, timestamp, step, std::move(whyMeasured));
    return step;
}

void StreamLines::Judge(FrameGeometry found, const uint8_t* data, size_t size, long timestamp, Step& step,
                        std::vector<std::string> whyMeasured) {
    std::string fromStored = Disagreement(lines, found);
    if (fromStored.empty()) {
        if (kept) step.reports.push_back(KeptFrameDropped(*kept));
        kept.reset();
        offsetsSeenTwice = SameOffsets(lines.lines, found.lines);
        lines = AgreedLines(lines, std::move(found), size);
        phase = Phase::kConfirmed;
        step.decodeThis = true;
        return;
    }
    if (kept && Disagreement(kept->geometry, found).empty()) {
        step.reports.push_back(report::kKeptFrame + std::to_string(kept->timestamp) + report::kKeptFrameLinesTaken);
        offsetsSeenTwice = SameOffsets(kept->geometry.lines, found.lines);
        lines = AgreedLines(kept->geometry, std::move(found), size);
        step.keptToPublish = std::move(kept);
        kept.reset();
        phase = Phase::kConfirmed;
        step.decodeThis = true;
        return;
    }
    // Not published: why it was measured comes first.
    step.reports.insert(step.reports.begin(), std::make_move_iterator(whyMeasured.begin()),
                        std::make_move_iterator(whyMeasured.end()));
    if (kept) step.reports.push_back(KeptFrameDropped(*kept));
    step.reports.push_back((phase == Phase::kConfirmed ? report::kFrameKeptAgainstAgreed : report::kFrameKept) +
                           fromStored);
    DropADamagedWord(found, size);
    kept = KeptFrame{std::move(found), std::vector<uint8_t>(data, data + size), timestamp, std::move(fromStored)};
}

GeometryResult StreamLines::Measure(const uint8_t* data, size_t size, GeometryRequest request) const {
    // The stream's type is known by now: the lines are counted for it, not detected again.
    request.targetType = lines.searchType;
    request.decodeType = lines.decodeType;
    request.limitTo8 = lines.limitTo8;
    return ComputeGeometry(data, size, request);
}

}  // namespace csi2ipl
