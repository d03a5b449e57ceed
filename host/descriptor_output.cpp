#include "descriptor_output.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// What is kept at most before it is written, when no line ends.
constexpr std::size_t BufferBytes = 4096;

}  // namespace

DescriptorOutput::DescriptorOutput(int descriptor, std::function<bool()> interrupted, int wake,
                                   bool lastWordsWait)
    : m_descriptor(descriptor),
      m_interrupted(std::move(interrupted)),
      m_wake(wake),
      m_lastWordsWait(lastWordsWait),
      m_maker(std::this_thread::get_id()) {
    struct stat file {};
    if (fstat(descriptor, &file) != 0) return;
    if (S_ISSOCK(file.st_mode)) {
        m_way = Way::Socket;
    } else if (S_ISFIFO(file.st_mode) || isatty(descriptor)) {
        // Opened anew through /proc, the same pipe or terminal gets a description of its own,
        // whose O_NONBLOCK nobody else sees. Where that is refused (a pipe without a reader,
        // whose writes fail at once anyway; a file of another user), it is written directly.
        const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
        m_writing = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_writing >= 0) m_way = Way::Reopened;
    }
}

DescriptorOutput::~DescriptorOutput() {
    drain();
    if (m_writing >= 0) close(m_writing);
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

long DescriptorOutput::writeSome(const char* data, std::size_t size) const {
    switch (m_way) {
        case Way::Reopened:
            return write(m_writing, data, size);
        case Way::Socket:
            return send(m_descriptor, data, size, MSG_DONTWAIT);
        case Way::Direct:
            break;
    }
    return write(m_descriptor, data, size);
}

bool DescriptorOutput::writeAll(const char* data, std::size_t size) {
    auto interrupted = [this] { return m_interrupted && m_interrupted(); };
    const bool stoppingBefore = interrupted();
    // Begun once the run is stopping: the making thread's last words wait for the descriptor
    // (and for it alone: the wake stays readable); any other write gives up when it would wait.
    const bool lastWords = stoppingBefore && m_lastWordsWait && std::this_thread::get_id() == m_maker;
    auto fail = [this] {
        m_failed = true;
        return false;
    };
    while (size > 0) {
        const long written = writeSome(data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
            continue;
        }
        if (written == 0) return fail();
        if (errno == EINTR) {
            // A direct write the signal cut short.
            if (!lastWords && interrupted()) return true;
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) return fail();
        // The descriptor takes nothing now (or a direct one was left non-blocking by whoever
        // opened it).
        if (stoppingBefore && !lastWords) return true;
        // A stop that came since the look above has made the wake readable: the poll returns
        // at once.
        pollfd waits[] = {{m_descriptor, POLLOUT, 0}, {m_wake, POLLIN, 0}};
        if (poll(waits, lastWords ? 1 : 2, -1) < 0 && errno != EINTR) return fail();
        if (!lastWords && interrupted()) return true;
    }
    return true;
}
