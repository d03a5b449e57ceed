// What "tarnhost decode" says at the end of a run: the counts, and which frames gave no
// image and why.
#pragma once

#include <string>
#include <vector>

struct DecodeOutcome {
    // What the image sink did with a frame's image, by frame index.
    enum class Image : unsigned char {
        None,        // it never got one
        Written,     // its files are whole
        NotWritten,  // its write failed
        Left,        // taken after the sink had stopped writing (a failed write before it)
    };

    long framesRead = 0;
    // Images written whole.
    long published = 0;
    // Images the sink took, whatever became of them.
    long imagesTaken = 0;
    double seconds = 0;
    // By frame index. Frames past its end got no image.
    std::vector<Image> frameImages;
    // The decoder drops this many frames at the start of a run (0: none).
    long skippedAtStart = 0;
    // The run stopped before every frame read was through the decoder (interrupted, or an
    // error ended it).
    bool stoppedEarly = false;
};

// "frames read: N\nimages published: M\nframes dropped: D\nms per frame: X\n", then, for
// the frames read that gave no image, a line per reason with the frames by index ("frames
// 0-9, 12"): skipped by the decoder at the start of the run; decoded but their write failed;
// decoded but left unwritten after a failed write; not written when the run stopped early
// (those after the last one the sink got); dropped by the decoder, whose reports say why
// (the sink got a later frame, or the run went to its end). The reasons are left out when
// `frameImages` does not account for every image taken (a decoder that does not carry the
// frames' timestamps over).
std::string DecodeSummary(const DecodeOutcome& outcome);

// Frame indices in increasing order as ranges: "0-9, 12, 15-17"; past 20 ranges, the rest
// are counted (", ... 42 more").
std::string FrameRanges(const std::vector<long>& frames);
