// The signals a decode run answers itself instead of dying of them.
#pragma once

// While an object lives:
//   - the first SIGINT or SIGTERM is noted instead of ending the process: Received()
//     answers the signal, and the run stops in order (its images whole, its summary
//     printed). The handlers are installed without SA_RESTART: a system call the signal
//     lands in returns EINTR instead of going on waiting. A wait that may begin just after
//     the run looked at Received() (the signal landing in no system call) waits in poll(2)
//     with WakeDescriptor(), which the first signal makes readable: it ends whenever the
//     signal came, before the wait or during it. A second one, of either kind, ends the
//     process at once, as that signal would;
//   - SIGPIPE and SIGXFSZ are ignored: a write to a closed pipe, or past the file-size
//     limit, then fails with EPIPE or EFBIG like any other write, and goes through the
//     ordinary "cannot write" error.
// The previous dispositions come back when it goes. One object at a time.
class InterruptSignals {
  public:
    InterruptSignals();
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // The signal that asked the run to stop, 0 while none came.
    static int Received();
    // The reading end of a pipe that turns readable when Received() turns non-zero, and stays
    // so until the next object is made (-1 when no pipe could be made). It is the same for
    // every object, and may be taken before one is made.
    static int WakeDescriptor();
    // "SIGINT", "SIGTERM", or "a signal" for any other.
    static const char* Name(int signal);
};
