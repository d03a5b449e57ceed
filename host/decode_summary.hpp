// What "tarnhost decode" says at the end of a run: the counts, and which frames gave no
// image and why.
#pragma once

#include <string>
#include <vector>

struct DecodeOutcome {
    long framesRead = 0;
    long published = 0;
    double seconds = 0;
    // By frame index: whether the frame's image was written. Frames past its end were not.
    std::vector<bool> framePublished;
    // The decoder drops this many frames at the start of a run (0: none).
    long skippedAtStart = 0;
    // The run stopped before every frame read was through the decoder (interrupted, or an
    // error ended it).
    bool stoppedEarly = false;
};

// "frames read: N\nimages published: M\nframes dropped: D\nms per frame: X\n", then, for
// the frames read that gave no image, a line per reason with the frames by index ("frames
// 0-9, 12"): skipped by the decoder at the start of the run; not through the decoder when
// the run stopped early (those after the last image); dropped by the decoder, whose reports
// say why. The reasons are left out when `framePublished` does not account for every image
// (a decoder that does not carry the frames' timestamps over).
std::string DecodeSummary(const DecodeOutcome& outcome);

// Frame indices in increasing order as ranges: "0-9, 12, 15-17"; past 20 ranges, the rest
// are counted (", ... 42 more").
std::string FrameRanges(const std::vector<long>& frames);
