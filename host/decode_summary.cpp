#include "decode_summary.hpp"

#include <algorithm>
#include <sstream>

namespace {

constexpr size_t RangesShown = 20;

std::string Frames(const std::vector<long>& frames) {
    return (frames.size() == 1 ? "frame " : "frames ") + FrameRanges(frames);
}

}  // namespace

std::string FrameRanges(const std::vector<long>& frames) {
    std::string text;
    size_t ranges = 0;
    for (size_t i = 0; i < frames.size();) {
        size_t last = i;
        while (last + 1 < frames.size() && frames[last + 1] == frames[last] + 1) ++last;
        if (ranges == RangesShown) {
            text += ", ... " + std::to_string(frames.size() - i) + " more";
            break;
        }
        text += (ranges++ ? ", " : "") + std::to_string(frames[i]);
        if (last > i) text += "-" + std::to_string(frames[last]);
        i = last + 1;
    }
    return text;
}

std::string DecodeSummary(const DecodeOutcome& outcome) {
    std::ostringstream summary;
    summary.precision(3);
    summary << std::fixed << "frames read: " << outcome.framesRead
            << "\nimages published: " << outcome.published
            << "\nframes dropped: " << outcome.framesRead - outcome.published << "\nms per frame: "
            << (outcome.framesRead > 0 ? 1000.0 * outcome.seconds / static_cast<double>(outcome.framesRead)
                                       : 0.0)
            << "\n";

    using Image = DecodeOutcome::Image;
    auto image = [&](long frame) {
        return frame < static_cast<long>(outcome.frameImages.size())
                   ? outcome.frameImages[static_cast<size_t>(frame)]
                   : Image::None;
    };
    long accounted = 0;
    long lastReached = -1;
    for (long frame = 0; frame < outcome.framesRead; ++frame)
        if (image(frame) != Image::None) {
            ++accounted;
            lastReached = frame;
        }
    if (accounted != outcome.imagesTaken) return summary.str();

    std::vector<long> skipped, notWritten, left, notReached, dropped;
    for (long frame = 0; frame < outcome.framesRead; ++frame) {
        switch (image(frame)) {
            case Image::Written:
                break;
            case Image::NotWritten:
                notWritten.push_back(frame);
                break;
            case Image::Left:
                left.push_back(frame);
                break;
            case Image::None:
                if (frame < outcome.skippedAtStart)
                    skipped.push_back(frame);
                else if (outcome.stoppedEarly && frame > lastReached)
                    notReached.push_back(frame);
                else
                    dropped.push_back(frame);
                break;
        }
    }
    if (!skipped.empty())
        summary << Frames(skipped) << " skipped: the decoder skips the first " << outcome.skippedAtStart
                << " frames of a run (--set skip_first_frames=false keeps them)\n";
    if (!dropped.empty()) summary << Frames(dropped) << " dropped by the decoder: its reports say why\n";
    if (!notWritten.empty()) summary << Frames(notWritten) << " decoded, not written: the write failed\n";
    if (!left.empty())
        summary << Frames(left) << " decoded, not written: the run stopped at a failed write\n";
    if (!notReached.empty()) summary << Frames(notReached) << " not written: the run stopped first\n";
    return summary.str();
}
