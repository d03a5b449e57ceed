#include "csi2ipl/frame_check.hpp"

#include "csi2ipl/csi2_packet.hpp"
#include "csi2ipl/decoder_reports.hpp"

namespace csi2ipl {

FrameVerdict CheckFrame(const FrameGeometry& geometry, const uint8_t* data, size_t size, bool frameSizeCheck) {
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
    // The second line (the only one, when there is one) at its own offset; it lies
    // inside the span checked above.
    const uint32_t lineStart = geometry.lines.size() >= 2 ? geometry.lines[1].offset : geometry.lines[0].offset;
    const uint32_t found = LoadWord32(data + lineStart);
    if (found != kPreamble) {
        verdict.status = FrameStatus::kLineWithoutPreamble;
        verdict.reports.push_back(report::kPointerToLineStart + std::to_string(found) + report::kHeaderValue +
                                  std::to_string(kPreamble));
        verdict.reports.push_back(report::kLineWithoutHeader);
    }
    return verdict;
}

}  // namespace csi2ipl
