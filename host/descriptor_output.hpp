// A program's standard output or error written straight to its file descriptor, for a run
// that must neither hang on an output nobody reads nor miss that it was closed.
#pragma once

#include <atomic>
#include <functional>
#include <streambuf>
#include <string>
#include <thread>

// A stream buffer over a file descriptor: what is put is written with write(2) at each end
// of line and each flush (and every 4 KiB without either), so that a line said as a run
// ends goes out then, while the program's signal handling is still in place.
//   - A write that fails (a closed pipe: EPIPE with SIGPIPE ignored; a full disk) fails the
//     stream, and Failed() says so from any thread; nothing more is written.
//   - A write that waits for the descriptor (a pipe whose reader does not read) ends, its
//     bytes dropped, as soon as `interrupted` answers true (a signal asked the run to stop)
//     while it waits: on the thread that made the buffer, the signal's EINTR ends the write
//     itself; other threads wait by polling and look at `interrupted`, and once it answers
//     true they write only what the descriptor takes without waiting, so that no thread of a
//     stopping run is held by its output. The making thread's writes begun after the signal
//     do the same, unless `lastWordsWait`: on the standard error, what the program says as
//     the run ends (why it stopped) is worth a wait, which a second signal ends.
// Callers serialise their use of the buffer, as for any stream.
class DescriptorOutput : public std::streambuf {
  public:
    DescriptorOutput(int descriptor, std::function<bool()> interrupted, bool lastWordsWait);
    ~DescriptorOutput() override;
    DescriptorOutput(const DescriptorOutput&) = delete;
    DescriptorOutput& operator=(const DescriptorOutput&) = delete;

    bool Failed() const { return m_failed.load(); }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    // Writes out what is pending; false once the descriptor failed.
    bool drain();
    // Writes `size` bytes, or drops them when a signal ends the wait; false on a failure.
    bool writeAll(const char* data, std::size_t size);

    const int m_descriptor;
    const std::function<bool()> m_interrupted;
    const bool m_lastWordsWait;
    const std::thread::id m_maker;
    std::atomic<bool> m_failed{false};
    std::string m_pending;
};
