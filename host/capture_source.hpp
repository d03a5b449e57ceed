// The host's capture source: a capture file played into a graph, one frame per element.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "capture_file.hpp"
#include "dataflow/component.hpp"

// Model "capture_source", output "frames" of 8-bit byte streams. Each element carries one
// frame of the capture file named by "path", 64-byte header included, as the decoder takes
// it on its "raw_image" input; frame i is stamped (i + 1) / "frame_rate" seconds, in
// microseconds (frame 0 is not stamped 0: the output would take 0 as "no timestamp" and
// put the engine's time in its place). "limit" (above 0) stops after that many frames.
//
// Birth reads the frames' byte counts first and sizes the elements for the largest frame:
// the decoder scans an element up to its buffer size, so a smaller frame has the rest of
// its buffer zeroed rather than left holding an older frame's packets. A truncated or
// malformed last frame is reported (warning) and skipped, never read past; a capture that
// cannot be read is an error report. Once every frame is written the source waits to die.
//
// The counters may be read from any thread while the graph runs.
class CaptureSource : public TARNComponent {
  public:
    // The model, also declared to this program's registry (HostGraph::AddProgramModels).
    static TARNComponentDefinition& Definition();
    static constexpr const char* Model = "capture_source";

    CaptureSource(const char* name, TARNComponentDefinition& definition);
    void Birth() override;
    void Core() override;

    // Frames the capture holds (whole ones, within "limit"), known after Birth.
    std::atomic<long> framesInCapture{0};
    // Frames written on "frames" so far.
    std::atomic<long> framesSent{0};
    // Set once the last frame is written, or the reading ended early.
    std::atomic<bool> finished{false};

  private:
    void finish();

    CaptureFile m_capture;
    std::vector<unsigned char> m_frame;
    double m_period = 0;  // microseconds between frames
    std::uint32_t m_bufferSize = 0;
    // "limit" ended the frames before the file did.
    bool m_limited = false;
    TARNEvent m_never;
};
