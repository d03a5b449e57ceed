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
//     bytes dropped, once `interrupted` answers true (a signal asked the run to stop). It
//     waits in poll(2) on the descriptor and on `wake`, which must turn readable when
//     `interrupted` turns true and stay so (InterruptSignals::WakeDescriptor): a stop that
//     came at any time before or during the wait ends it, without a moment in which it goes
//     unseen. To that end a pipe, FIFO or terminal is written through a second open file
//     description of its own, non-blocking (the descriptor's own, shared with the shell and
//     the other programs on it, stays as it is), and a socket with MSG_DONTWAIT; a regular
//     file (and any other file) is written directly, as it never waits for a reader.
//   - Once `interrupted` answered true, a write takes only what the descriptor takes at
//     once, unless `lastWordsWait` and it is the thread that made the buffer: on the
//     standard error, what the program says as the run ends (why it stopped) is worth a
//     wait, which a second signal ends (by ending the program).
// Callers serialise their use of the buffer, as for any stream.
class DescriptorOutput : public std::streambuf {
  public:
    DescriptorOutput(int descriptor, std::function<bool()> interrupted, int wake, bool lastWordsWait);
    ~DescriptorOutput() override;
    DescriptorOutput(const DescriptorOutput&) = delete;
    DescriptorOutput& operator=(const DescriptorOutput&) = delete;

    bool Failed() const { return m_failed.load(); }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    // How the bytes reach the descriptor.
    enum class Way {
        Reopened,  // through m_writing, a non-blocking description of the same file
        Socket,    // send(2) with MSG_DONTWAIT
        Direct,    // write(2) to the descriptor as it is
    };

    // Writes out what is pending; false once the descriptor failed.
    bool drain();
    // Writes `size` bytes, or drops them when a signal ends the wait; false on a failure.
    bool writeAll(const char* data, std::size_t size);
    // One write of at most `size` bytes, as write(2) answers.
    long writeSome(const char* data, std::size_t size) const;

    const int m_descriptor;
    const std::function<bool()> m_interrupted;
    const int m_wake;
    const bool m_lastWordsWait;
    const std::thread::id m_maker;
    Way m_way = Way::Direct;
    int m_writing = -1;
    std::atomic<bool> m_failed{false};
    std::string m_pending;
};
