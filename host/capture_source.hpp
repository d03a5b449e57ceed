// The host's capture source: a capture file played into a graph, one frame per element.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "capture_file.hpp"
#include "tarn/dataflow/component.hpp"

// Model "capture_source", output "frames" of 8-bit byte streams. Each element carries one
// frame of the capture file named by "path", 64-byte header included, as the decoder takes
// it on its "raw_image" input; frame i is stamped (i + 1) / "frame_rate" seconds, in
// microseconds (frame 0 is not stamped 0: the output would take 0 as "no timestamp" and
// put the engine's time in its place). "limit" (above 0) stops after that many frames.
//
// Birth reads the frames' byte counts first and sizes the elements for the largest frame.
// Each frame is then read once, straight from the file into the element it is published
// in. The decoder scans an element up to its vector size (the frame's byte count); bytes
// past it that an older, larger frame left in the buffer are zeroed all the same, so that
// a reader of the whole buffer never meets an older frame's packets.
//
// A truncated last frame (the file ends inside it) is reported (warning) and skipped, never
// read past. Everything else that ends the reading early sets Failure() and is an error
// report, unless `reportFailures` is false (an owner that says it itself; set it before
// the graph starts): a capture that cannot be read, a malformed byte count (with the bytes
// left unread), a frame too large for an element, a file that shrank or changed while
// being read. Once every frame is written the source waits to die.
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
    bool reportFailures = true;

    // The error that ended the reading early; empty when none.
    std::string Failure() const;
    // The index of the frame stamped `timestamp` (after Birth); -1 for a stamp no frame has.
    long FrameAt(long timestamp) const;

  private:
    // Ends the reading; with `problem` set, as an error (reported, and kept as Failure()).
    void finish(const std::string& problem = {});
    // Zeroes what older frames left past the `count` bytes just read into `buffer`.
    void clearBehind(unsigned char* buffer, std::uint32_t count);

    CaptureFile m_capture;
    std::atomic<double> m_period{0};  // microseconds between frames
    std::uint32_t m_bufferSize = 0;
    // For each element buffer met so far, how far into it bytes of a frame may lie.
    std::vector<std::pair<const unsigned char*, std::uint32_t>> m_written;
    // "limit" ended the frames before the file did.
    bool m_limited = false;
    mutable std::mutex m_failureLock;
    std::string m_failure;
    TARNEvent m_never;
};
