#include "interrupt_signals.hpp"

#include <signal.h>

#include <atomic>
#include <cstring>

namespace {

constexpr int Noted[] = {SIGINT, SIGTERM};
constexpr int Ignored[] = {SIGPIPE, SIGXFSZ};

// Lock-free, so that the handler may store it.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction previous[sizeof Noted / sizeof *Noted + sizeof Ignored / sizeof *Ignored];

void Note(int signal) {
    int none = 0;
    if (received.compare_exchange_strong(none, signal)) return;
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
