// Reading a capture file frame by frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// A capture file is a sequence of frames as the decoder takes them: each begins with a
// 64-byte header whose first little-endian 32-bit word is the frame's byte count, header
// included, followed by the frame's CSI-2 packets.
class CaptureFile {
  public:
    static constexpr std::uint32_t HeaderBytes = 64;

    // Opens the file; false with `error` set to one line when it cannot be read.
    bool Open(const std::string& path, std::string& error);

    enum class Result { Frame, End, Truncated, Malformed, ReadError, TooLarge };
    // Reads the next frame into `buffer`, which holds `capacity` bytes, and sets `count` to
    // its byte count: the frame's bytes are read once, straight into the buffer. At the end
    // of the file the answer is End. A last frame shorter than its byte count is Truncated,
    // a count below the header's size Malformed (its problem says how many bytes are left
    // unread), a file that ends early although it held the frame when it was opened (it
    // shrank) ReadError, and a frame larger than `capacity` TooLarge, with nothing read of
    // it: nothing more is read after any of these, and `problem` says what and where. The
    // frame's bytes are never read beyond what the file holds.
    Result Next(unsigned char* buffer, std::size_t capacity, std::uint32_t& count, std::string& problem);
    // The same into `frame`, sized to the frame (for callers without a buffer of their own).
    Result Next(std::vector<unsigned char>& frame, std::string& problem);
    // Steps over the next frame as Next would read it, with the same answers and problems,
    // and gives its byte count instead of its bytes: a first pass that sizes buffers for
    // the largest frame reads only the byte counts.
    Result Skip(std::uint32_t& count, std::string& problem);

    // Bytes consumed so far and the file's size, for progress.
    std::uint64_t Position() const { return m_position; }
    std::uint64_t Size() const { return m_size; }
    // Frames read so far.
    long Frames() const { return m_frames; }

  private:
    // Reads the next frame's byte count and checks the file holds the whole frame; Frame
    // with `count` set and the file at the frame's fifth byte, or the answer that ends
    // the reading.
    Result nextCount(std::uint32_t& count, std::string& problem);
    // The rest of a frame of `count` bytes (nextCount read its first word) into `buffer`,
    // which holds it; Frame, or ReadError.
    Result readFrame(unsigned char* buffer, std::uint32_t count, std::string& problem);
    // Reads `size` bytes; false with `problem` set (and the reading ended) when the file
    // ends first or cannot be read.
    bool read(unsigned char* bytes, std::size_t size, std::string& problem);
    // "frame N at byte P"
    std::string where() const;

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    std::string m_path;
    std::uint64_t m_position = 0;
    std::uint64_t m_size = 0;
    long m_frames = 0;
    bool m_finished = false;
};
