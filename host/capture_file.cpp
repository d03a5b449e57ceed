#include "capture_file.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

bool CaptureFile::Open(const std::string& path, std::string& error) {
    m_file.reset(std::fopen(path.c_str(), "rb"));
    if (!m_file) {
        error = "cannot read capture " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (fstat(fileno(m_file.get()), &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "cannot read capture " + path + ": not a regular file";
        m_file.reset();
        return false;
    }
    m_path = path;
    m_size = static_cast<std::uint64_t>(status.st_size);
    m_position = 0;
    m_frames = 0;
    m_finished = false;
    return true;
}

CaptureFile::Result CaptureFile::nextCount(std::uint32_t& count, std::string& problem) {
    if (!m_file || m_finished) return Result::End;
    const std::uint64_t left = m_size - m_position;
    if (left == 0) {
        m_finished = true;
        return Result::End;
    }
    const std::string where = "frame " + std::to_string(m_frames) + " at byte " + std::to_string(m_position);
    unsigned char word[4];
    if (left < sizeof word) {
        m_finished = true;
        problem =
            where + " is truncated: " + std::to_string(left) + " bytes left, too few for its byte count";
        return Result::Truncated;
    }
    if (std::fread(word, 1, sizeof word, m_file.get()) != sizeof word) {
        m_finished = true;
        problem = where + " cannot be read: " + std::strerror(errno);
        return Result::ReadError;
    }
    count = static_cast<std::uint32_t>(word[0]) | static_cast<std::uint32_t>(word[1]) << 8 |
            static_cast<std::uint32_t>(word[2]) << 16 | static_cast<std::uint32_t>(word[3]) << 24;
    if (count < HeaderBytes) {
        m_finished = true;
        problem = where + " is malformed: its byte count " + std::to_string(count) + " is below the " +
                  std::to_string(HeaderBytes) + "-byte header";
        return Result::Malformed;
    }
    if (count > left) {
        m_finished = true;
        problem = where + " is truncated: it announces " + std::to_string(count) + " bytes, the file holds " +
                  std::to_string(left);
        return Result::Truncated;
    }
    return Result::Frame;
}

CaptureFile::Result CaptureFile::Next(std::vector<unsigned char>& frame, std::string& problem) {
    frame.clear();
    std::uint32_t count = 0;
    const Result result = nextCount(count, problem);
    if (result != Result::Frame) return result;
    frame.resize(count);
    for (int i = 0; i < 4; ++i) frame[i] = static_cast<unsigned char>(count >> (8 * i));
    if (std::fread(frame.data() + 4, 1, count - 4, m_file.get()) != count - 4) {
        m_finished = true;
        frame.clear();
        problem = "frame " + std::to_string(m_frames) + " at byte " + std::to_string(m_position) +
                  " cannot be read: " + std::strerror(errno);
        return Result::ReadError;
    }
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
        problem = "frame " + std::to_string(m_frames) + " at byte " + std::to_string(m_position) +
                  " cannot be read: " + std::strerror(errno);
        return Result::ReadError;
    }
    m_position += count;
    ++m_frames;
    return Result::Frame;
}
