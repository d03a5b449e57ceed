// Output straight to a descriptor that takes nothing (a pipe or socket whose reader does not
// read): a stop that comes at any moment ends a write's wait, the bytes dropped; once
// stopping, only the making thread's last words wait; and the descriptor's own open file
// description, which the shell and other programs share, is never made non-blocking.
#include "descriptor_output.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>

#include "interrupt_signals.hpp"
#include "support/program_run.hpp"

namespace {

constexpr auto Deadline = std::chrono::seconds(10);

enum class Kind { Pipe, Socket };

// A pipe or a stream socket pair whose writing end takes nothing more: filled to the brim
// through a non-blocking write of its own, its ends as a program gets them (blocking).
class FullOutput {
  public:
    explicit FullOutput(Kind kind) {
        int ends[2] = {-1, -1};
        if (kind == Kind::Pipe ? pipe(ends) != 0 : socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
            ADD_FAILURE() << "cannot make the output";
            return;
        }
        reading = ends[0];
        writing = ends[1];
        const int flags = fcntl(writing, F_GETFL);
        fcntl(writing, F_SETFL, flags | O_NONBLOCK);
        const std::string block(4096, 'x');
        while (write(writing, block.data(), block.size()) > 0) {
        }
        while (write(writing, "x", 1) > 0) {
        }
        fcntl(writing, F_SETFL, flags);
    }
    ~FullOutput() {
        close(reading);
        close(writing);
    }
    FullOutput(const FullOutput&) = delete;
    FullOutput& operator=(const FullOutput&) = delete;

    // Reads what is there until `done` answers true, at most `deadline`; what was read
    // besides the filling.
    std::string ReadUntil(const std::function<bool()>& done) const {
        const int flags = fcntl(reading, F_GETFL);
        fcntl(reading, F_SETFL, flags | O_NONBLOCK);
        std::string text;
        AwaitCondition([&] {
            char bytes[65536];
            ssize_t count = 0;
            while ((count = read(reading, bytes, sizeof bytes)) > 0)
                text.append(bytes, static_cast<size_t>(count));
            return done();
        });
        fcntl(reading, F_SETFL, flags);
        return text.substr(text.find_first_not_of('x') == std::string::npos ? text.size()
                                                                            : text.find_first_not_of('x'));
    }

    int reading = -1;
    int writing = -1;
};

// The wake of a stop: readable from the moment the stop is noted, as the signal handlers make it.
class Stop {
  public:
    Stop() {
        if (pipe2(m_ends, O_NONBLOCK | O_CLOEXEC) != 0) ADD_FAILURE() << "cannot make the wake pipe";
    }
    ~Stop() {
        close(m_ends[0]);
        close(m_ends[1]);
    }
    Stop(const Stop&) = delete;
    Stop& operator=(const Stop&) = delete;

    void Note() {
        m_noted = true;
        [[maybe_unused]] const ssize_t written = write(m_ends[1], "!", 1);
    }
    bool Noted() const { return m_noted.load(); }
    int Wake() const { return m_ends[0]; }

  private:
    int m_ends[2] = {-1, -1};
    std::atomic<bool> m_noted{false};
};

pid_t ThisThread() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// A signal handled right after the write's look at `interrupted`, before it waits (no
// system call under way, so none returns EINTR): whatever the descriptor and the thread, the
// wait ends, within the deadline, the line dropped and the stream not failed.
TEST(DescriptorOutput, AStopNotedJustAfterTheLookEndsTheWait) {
    struct Case {
        const char* name;
        Kind kind;
        bool lastWordsWait;
        bool otherThread;  // written on a thread other than the one that made the buffer
    };
    const Case cases[] = {
        {"pipe, standard output", Kind::Pipe, false, false},
        {"pipe, standard error", Kind::Pipe, true, false},
        {"socket, standard output", Kind::Socket, false, false},
        {"socket, standard error", Kind::Socket, true, false},
        {"pipe, standard error, written by another thread", Kind::Pipe, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FullOutput output(c.kind);
        Stop stop;
        std::atomic<int> looks{0};
        // The first look answers "not stopping", the signal's handler having run only after
        // it read the flag; every later one sees the stop.
        auto interrupted = [&] {
            if (looks++ > 0) return true;
            stop.Note();
            return false;
        };
        auto writeLine = [&](DescriptorOutput& buffer) {
            std::ostream out(&buffer);
            out << "summary line\n";
            return out.good() && !buffer.Failed();
        };
        std::future<bool> written;
        std::unique_ptr<DescriptorOutput> shared;
        if (c.otherThread) {
            shared =
                std::make_unique<DescriptorOutput>(output.writing, interrupted, stop.Wake(), c.lastWordsWait);
            written = std::async(std::launch::async, [&] { return writeLine(*shared); });
        } else {
            written = std::async(std::launch::async, [&] {
                DescriptorOutput buffer(output.writing, interrupted, stop.Wake(), c.lastWordsWait);
                return writeLine(buffer);
            });
        }
        const bool ended = written.wait_for(Deadline) == std::future_status::ready;
        EXPECT_TRUE(ended) << "the write still waits " << Deadline.count() << " s after the stop (looked "
                           << looks.load() << " times)";
        // A write that waits on is released: the reader reads.
        const std::string read = output.ReadUntil(
            [&] { return written.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        EXPECT_TRUE(written.get()) << "the stream failed";
        if (ended) {
            EXPECT_EQ(read, "") << "the line was written after all";
        }
        EXPECT_TRUE(stop.Noted());
    }
}

// The same with the program's own signal handling: SIGINT handled on the writing thread just
// after its look at Received() found none.
TEST(DescriptorOutput, ASignalHandledJustAfterTheLookEndsTheWait) {
    FullOutput output(Kind::Pipe);
    const InterruptSignals signals;
    std::atomic<int> looks{0};
    auto interrupted = [&] {
        const bool stopping = InterruptSignals::Received() != 0;
        if (looks++ == 0) raise(SIGINT);
        return stopping;
    };
    std::future<bool> written = std::async(std::launch::async, [&] {
        DescriptorOutput buffer(output.writing, interrupted, InterruptSignals::WakeDescriptor(), false);
        std::ostream out(&buffer);
        out << "summary line\n";
        return out.good();
    });
    EXPECT_EQ(written.wait_for(Deadline), std::future_status::ready)
        << "the write still waits " << Deadline.count() << " s after the signal";
    output.ReadUntil([&] { return written.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    EXPECT_TRUE(written.get());
    EXPECT_EQ(InterruptSignals::Received(), SIGINT);
}

// A write begun once the run is stopping: on the thread that made a buffer whose last words
// wait, it waits in poll for the descriptor alone, and the line comes whole when the reader
// reads; elsewhere it gives up at once. The descriptor's own description stays blocking.
TEST(DescriptorOutput, OnceStoppingOnlyTheLastWordsWait) {
    struct Case {
        const char* name;
        bool lastWordsWait;
        bool otherThread;
        bool waits;
    };
    const Case cases[] = {
        {"standard error, the making thread", true, false, true},
        {"standard output, the making thread", false, false, false},
        {"standard error, another thread", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FullOutput output(Kind::Pipe);
        Stop stop;
        stop.Note();
        const auto stopping = [&] { return stop.Noted(); };
        std::atomic<pid_t> writer{0};
        std::unique_ptr<DescriptorOutput> shared;
        if (c.otherThread)
            shared =
                std::make_unique<DescriptorOutput>(output.writing, stopping, stop.Wake(), c.lastWordsWait);
        std::future<bool> written = std::async(std::launch::async, [&] {
            writer = ThisThread();
            std::unique_ptr<DescriptorOutput> own;
            if (!c.otherThread)
                own = std::make_unique<DescriptorOutput>(output.writing, stopping, stop.Wake(),
                                                         c.lastWordsWait);
            std::ostream out(c.otherThread ? shared.get() : own.get());
            out << "tarnhost: stopped\n";
            return out.good();
        });
        if (c.waits) {
            EXPECT_TRUE(AwaitCondition(
                [&] { return writer.load() != 0 && WaitingInPoll(getpid(), 1, writer.load()); }, Deadline))
                << "the last words never waited for the descriptor alone";
            EXPECT_EQ(written.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
        } else {
            EXPECT_EQ(written.wait_for(Deadline), std::future_status::ready) << "it waits";
        }
        const std::string read = output.ReadUntil(
            [&] { return written.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        EXPECT_TRUE(written.get());
        EXPECT_EQ(read, c.waits ? "tarnhost: stopped\n" : "");
        EXPECT_EQ(fcntl(output.writing, F_GETFL) & O_NONBLOCK, 0)
            << "the shared description was made non-blocking";
    }
}

}  // namespace
