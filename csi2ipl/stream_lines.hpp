#pragma once
// The lines of a stream, learnt from its frames. A geometry taken from one frame cannot be
// told from a damaged one by that frame alone, nor by a second frame that disagrees with
// it: a third one decides. The first frame with lines is decoded at them; until a later
// frame agrees with the stored lines, each frame is measured on its own (the geometry
// pass) and compared with them. Once a frame has agreed, each frame is checked at the
// stream's lines (CheckFrame); one that fails the check is measured, and decoded at its
// own lines when they end as the stream's do. Lines as one frame's own pass found them are
// checked at every line until a frame has its lines at the same offsets.
//
// A frame whose lines disagree with the stream's, whether two frames have agreed on those
// or not, is kept, bytes and all, unpublished. The next frame agrees with the stream's
// lines (the kept frame is dropped), or with the kept frame's (its lines become the
// stream's and it is published late, under its own timestamp), or with neither (it is kept
// instead). So two damaged frames that agree on lines they lost hold the run for no longer
// than the next two clean frames take, and a change of image is followed a frame late.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "csi2ipl/frame_geometry.hpp"

namespace csi2ipl {

// Why the lines `found` in a frame are not those of `stored` (both from ready geometry
// passes of one stream's type): another image (width, height, format, word count), or a
// line packet that ends otherwise (LineEndingOutOfPlace). Empty when they agree. A packet
// after the last line in one frame and not in the other is no disagreement.
std::string Disagreement(const FrameGeometry& stored, const FrameGeometry& found);

// The lines of two agreeing frames, as the stream keeps them: those of `newer` (a frame of
// `newerSize` bytes, the one decoded at them), the header of `older`, the larger of their
// frame-size words (newer's only when its data holds as many bytes as it says: a damaged
// word is not kept; the stream drops one of a frame it stores or keeps), and what `older`
// shows of how the lines end that `newer` lacks (a packet after the last line, where it
// stands in line with `newer`'s lines), so that a frame that lacked it weakens no later
// check.
FrameGeometry AgreedLines(const FrameGeometry& older, FrameGeometry newer, size_t newerSize);

// A frame whose lines disagree with the stored ones, waiting for the next frame to decide.
struct KeptFrame {
    FrameGeometry geometry;  // its own lines
    std::vector<uint8_t> bytes;
    long timestamp = 0;
    std::string disagreement;  // why its lines are not the stored ones
};

class StreamLines {
  public:
    enum class Phase {
        kNoLines,    // no frame has given a geometry yet
        kLearning,   // lines of one frame, with a kept frame or without
        kConfirmed,  // lines two frames agreed on, with a kept frame or without
    };

    // What to do with a frame, in this order.
    struct Step {
        std::vector<std::string> reports;  // level 0
        // The kept frame, to decode at its own lines and publish under its own timestamp,
        // before this frame: its lines are the stream's now.
        std::optional<KeptFrame> keptToPublish;
        bool decodeThis = false;      // at Lines()
        double countTypeSeconds = 0;  // spent counting lines (CSI2CountType)
    };

    // A new run: nothing learnt, nothing kept.
    void Restart();
    Phase CurrentPhase() const { return phase; }
    // The frame waiting for the next one to decide, or null.
    const KeptFrame* Kept() const { return kept ? &*kept : nullptr; }
    // The stream's lines: a ready geometry outside kNoLines.
    const FrameGeometry& Lines() const { return lines; }

    // The next frame of the stream. The request's types, depth limit and decode type are
    // used for the first geometry; later frames are measured for the stream's. The
    // frame-size check applies once the lines are confirmed.
    Step Take(const uint8_t* data, size_t size, long timestamp, const GeometryRequest& request,
              bool frameSizeCheck);

  private:
    Step TakeFirst(const uint8_t* data, size_t size, const GeometryRequest& request);
    Step Learn(const uint8_t* data, size_t size, long timestamp, const GeometryRequest& request);
    Step Check(const uint8_t* data, size_t size, long timestamp, const GeometryRequest& request,
               bool frameSizeCheck);
    // A measured frame against the stream's lines and the kept frame: it is decoded at its
    // own lines when it agrees with either, else kept. `whyMeasured` (the check's reports)
    // is reported only for a frame that is kept.
    void Judge(FrameGeometry found, const uint8_t* data, size_t size, long timestamp, Step& step,
               std::vector<std::string> whyMeasured = {});
    // The geometry pass on a frame, for the stream's types.
    GeometryResult Measure(const uint8_t* data, size_t size, GeometryRequest request) const;

    Phase phase = Phase::kNoLines;
    FrameGeometry lines;
    // Confirmed lines found at their offsets in two frames: a frame is checked at its first
    // two lines and its last.
    bool offsetsSeenTwice = false;
    std::optional<KeptFrame> kept;
};

}  // namespace csi2ipl
