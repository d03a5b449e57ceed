#include "capture_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool CaptureFile::Open(const std::string& path, std::string& error) {
    m_file.reset();
    // O_NONBLOCK: opening a FIFO without a writer, or a device, would wait here, before
    // anything could tell it is no capture. A regular file reads the same either way.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        error = "cannot read capture " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "cannot read capture " + path + ": not a regular file";
        close(descriptor);
        return false;
    }
    m_file.reset(fdopen(descriptor, "rb"));
    if (!m_file) {
        error = "cannot read capture " + path + ": " + std::strerror(errno);
        close(descriptor);
        return false;
    }
    // Unbuffered: a frame goes from the file straight into its buffer, not through the
    // stream's buffer first.
    std::setvbuf(m_file.get(), nullptr, _IONBF, 0);
    m_path = path;
    m_size = static_cast<std::uint64_t>(status.st_size);
    m_position = 0;
    m_frames = 0;
    m_finished = false;
    return true;
}

std::string CaptureFile::where() const {
    return "frame " + std::to_string(m_frames) + " at byte " + std::to_string(m_position);
}

bool CaptureFile::read(unsigned char* bytes, std::size_t size, std::string& problem) {
    const std::size_t got = std::fread(bytes, 1, size, m_file.get());
    if (got == size) return true;
    m_finished = true;
    // A short read without an error is the end of the file: it was cut while being read.
    if (std::ferror(m_file.get()))
        problem = where() + " cannot be read: " + std::strerror(errno);
    else
        problem = where() + " cannot be read: the file ends " + std::to_string(size - got) +
                  " bytes before the frame does (it shrank while being read)";
    return false;
}

CaptureFile::Result CaptureFile::nextCount(std::uint32_t& count, std::string& problem) {
    if (!m_file || m_finished) return Result::End;
    const std::uint64_t left = m_size - m_position;
    if (left == 0) {
        m_finished = true;
        return Result::End;
    }
    unsigned char word[4];
    if (left < sizeof word) {
        m_finished = true;
        problem =
            where() + " is truncated: " + std::to_string(left) + " bytes left, too few for its byte count";
        return Result::Truncated;
    }
    if (!read(word, sizeof word, problem)) return Result::ReadError;
    count = static_cast<std::uint32_t>(word[0]) | static_cast<std::uint32_t>(word[1]) << 8 |
            static_cast<std::uint32_t>(word[2]) << 16 | static_cast<std::uint32_t>(word[3]) << 24;
    if (count < HeaderBytes) {
        m_finished = true;
        problem = where() + " is malformed: its byte count " + std::to_string(count) + " is below the " +
                  std::to_string(HeaderBytes) + "-byte header; the " + std::to_string(left) +
                  " bytes from there on are left unread";
        return Result::Malformed;
    }
    if (count > left) {
        m_finished = true;
        problem = where() + " is truncated: it announces " + std::to_string(count) +
                  " bytes, the file holds " + std::to_string(left);
        return Result::Truncated;
    }
    return Result::Frame;
}

CaptureFile::Result CaptureFile::Next(unsigned char* buffer, std::size_t capacity, std::uint32_t& count,
                                      std::string& problem) {
    count = 0;
    const Result result = nextCount(count, problem);
    if (result != Result::Frame) return result;
    if (count > capacity) {
        m_finished = true;
        problem = where() + " holds " + std::to_string(count) + " bytes, more than the " +
                  std::to_string(capacity) + " of its buffer";
        return Result::TooLarge;
    }
    return readFrame(buffer, count, problem);
}

CaptureFile::Result CaptureFile::Next(std::vector<unsigned char>& frame, std::string& problem) {
    frame.clear();
    std::uint32_t count = 0;
    const Result result = nextCount(count, problem);
    if (result != Result::Frame) return result;
    frame.resize(count);
    if (readFrame(frame.data(), count, problem) == Result::Frame) return Result::Frame;
    frame.clear();
    return Result::ReadError;
}

CaptureFile::Result CaptureFile::readFrame(unsigned char* buffer, std::uint32_t count, std::string& problem) {
    for (int i = 0; i < 4; ++i) buffer[i] = static_cast<unsigned char>(count >> (8 * i));
    if (!read(buffer + 4, count - 4, problem)) return Result::ReadError;
    m_position += count;
    ++m_frames;
    return Result::Frame;
}

CaptureFile::Result CaptureFile::Skip(std::uint32_t& count, std::string& problem) {
    count = 0;
    const Result result = nextCount(count, problem);
    if (result != Result::Frame) return result;
    // The whole frame is in the file (nextCount checked it against the size).
    if (std::fseek(m_file.get(), static_cast<long>(m_position + count), SEEK_SET) != 0) {
        m_finished = true;
        problem = where() + " cannot be read: " + std::strerror(errno);
        return Result::ReadError;
    }
    m_position += count;
    ++m_frames;
    return Result::Frame;
}
