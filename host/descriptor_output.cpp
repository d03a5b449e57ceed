#include "descriptor_output.hpp"

#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// How often a thread that waits for the descriptor looks whether the run is stopping.
constexpr int PollMilliseconds = 20;

// What is kept at most before it is written, when no line ends.
constexpr std::size_t BufferBytes = 4096;

}  // namespace

DescriptorOutput::DescriptorOutput(int descriptor, std::function<bool()> interrupted, bool lastWordsWait)
    : m_descriptor(descriptor),
      m_interrupted(std::move(interrupted)),
      m_lastWordsWait(lastWordsWait),
      m_maker(std::this_thread::get_id()) {}

DescriptorOutput::~DescriptorOutput() {
    drain();
}

// No put area: every character comes here or to xsputn, which write out each whole line.
DescriptorOutput::int_type DescriptorOutput::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char text = traits_type::to_char_type(c);
    return xsputn(&text, 1) == 1 ? c : traits_type::eof();
}

std::streamsize DescriptorOutput::xsputn(const char* text, std::streamsize count) {
    if (m_failed.load()) return 0;
    m_pending.append(text, static_cast<std::size_t>(count));
    const bool wholeLine = std::memchr(text, '\n', static_cast<std::size_t>(count)) != nullptr;
    if ((wholeLine || m_pending.size() >= BufferBytes) && !drain()) return 0;
    return count;
}

int DescriptorOutput::sync() {
    return drain() ? 0 : -1;
}

bool DescriptorOutput::drain() {
    std::string bytes;
    bytes.swap(m_pending);
    if (m_failed.load()) return false;
    return writeAll(bytes.data(), bytes.size());
}

bool DescriptorOutput::writeAll(const char* data, std::size_t size) {
    auto interrupted = [this] { return m_interrupted && m_interrupted(); };
    const bool stoppingBefore = interrupted();
    // The making thread waits in its write, which the signal interrupts; the others, and the
    // making thread once the run is stopping unless its last words wait, poll.
    const bool maker = std::this_thread::get_id() == m_maker && !(stoppingBefore && !m_lastWordsWait);
    // Polling, a signal that came at any time ends the wait; in the write, one that comes
    // while it waits.
    auto givesUp = [&] { return (!maker || !stoppingBefore) && interrupted(); };
    auto ready = [this](int timeout) {
        pollfd descriptor{m_descriptor, POLLOUT, 0};
        return poll(&descriptor, 1, timeout);
    };
    auto fail = [this] {
        m_failed = true;
        return false;
    };
    while (size > 0) {
        if (!maker) {
            int polled = 0;
            while ((polled = ready(givesUp() ? 0 : PollMilliseconds)) <= 0) {
                if (polled < 0 && errno != EINTR) return fail();
                if (givesUp()) return true;
            }
        }
        // Once a pipe is ready it takes PIPE_BUF bytes without waiting.
        const ssize_t written =
            write(m_descriptor, data, maker ? size : std::min<std::size_t>(size, PIPE_BUF));
        if (written >= 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
            // Cut short by the signal.
            if (maker && size > 0 && givesUp()) return true;
        } else if (errno == EINTR) {
            if (givesUp()) return true;
        } else if (errno == EAGAIN) {
            // A descriptor left non-blocking by whoever opened it: the making thread waits
            // here, the others in their poll above.
            if (maker && ready(-1) < 0 && errno != EINTR) return fail();
            if (givesUp()) return true;
        } else {
            return fail();
        }
    }
    return true;
}
