#include "interrupt_signals.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

constexpr int Noted[] = {SIGINT, SIGTERM};
constexpr int Ignored[] = {SIGPIPE, SIGXFSZ};

// Lock-free, so that the handler may store it.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The writing end of the wake pipe, once made.
std::atomic<int> wakeWriting{-1};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction previous[sizeof Noted / sizeof *Noted + sizeof Ignored / sizeof *Ignored];

void Note(int signal) {
    int none = 0;
    if (received.compare_exchange_strong(none, signal)) {
        // After the store: whoever the byte wakes sees the signal. The pipe is non-blocking,
        // and one byte is all it ever needs.
        const int savedErrno = errno;
        const int wake = wakeWriting.load();
        if (wake >= 0) {
            [[maybe_unused]] const ssize_t written = write(wake, "!", 1);
        }
        errno = savedErrno;
        return;
    }
    // A second one: the process ends at once, by this signal (it is delivered again, with
    // its default action, when the handler returns).
    struct sigaction fatal {};
    sigemptyset(&fatal.sa_mask);
    fatal.sa_handler = SIG_DFL;
    sigaction(signal, &fatal, nullptr);
    raise(signal);
}

}  // namespace

InterruptSignals::InterruptSignals() {
    received.store(0);
    // The byte an earlier object's signal left.
    const int wake = WakeDescriptor();
    char byte = 0;
    while (wake >= 0 && read(wake, &byte, 1) == 1) {
    }
    size_t slot = 0;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a system call the signal interrupts returns EINTR rather than waiting
    // on, so that no wait outlasts the first signal unseen.
    action.sa_flags = 0;
    action.sa_handler = Note;
    for (const int signal : Noted) sigaction(signal, &action, &previous[slot++]);
    action.sa_flags = 0;
    action.sa_handler = SIG_IGN;
    for (const int signal : Ignored) sigaction(signal, &action, &previous[slot++]);
}

InterruptSignals::~InterruptSignals() {
    size_t slot = 0;
    for (const int signal : Noted) sigaction(signal, &previous[slot++], nullptr);
    for (const int signal : Ignored) sigaction(signal, &previous[slot++], nullptr);
}

int InterruptSignals::Received() {
    return received.load();
}

int InterruptSignals::WakeDescriptor() {
    static const int reading = [] {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return -1;
        wakeWriting.store(ends[1]);
        return ends[0];
    }();
    return reading;
}

const char* InterruptSignals::Name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "a signal";
    }
}
