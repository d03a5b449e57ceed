// The signals a decode run answers itself instead of dying of them.
#pragma once

// While an object lives:
//   - SIGINT and SIGTERM are noted instead of ending the process: Received() answers the
//     signal, and the run stops in order (its images whole, its summary printed). A second
//     one of the same signal ends the process as the signal would;
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
    // "SIGINT", "SIGTERM", or "a signal" for any other.
    static const char* Name(int signal);
};
