// TARN::MsgBox: the console line for each type, silencing, the window's layout, and a real
// window under a private X server (Xvfb) in a child process, dismissed by the test.
#include "tarn/runtime/message_box.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

// After GoogleTest: Xlib's macros (None, Bool, Status) would clash with its templates.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Sets SILENT for the test and puts the environment back afterwards.
class SilentMessageBox : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* silent = std::getenv("SILENT");
        m_hadSilent = silent != nullptr;
        if (silent) m_silent = silent;
        setenv("SILENT", "1", 1);
    }
    void TearDown() override {
        if (m_hadSilent)
            setenv("SILENT", m_silent.c_str(), 1);
        else
            unsetenv("SILENT");
    }

  private:
    bool m_hadSilent = false;
    std::string m_silent;
};

TEST_F(SilentMessageBox, ConsoleLineGoesToTheStreamOfItsType) {
    struct Case {
        const char* title;
        const char* text;
        int type;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {"Tarnvel", "disk full", 1, "Warning: Tarnvel: disk full\n", ""},
        {"Tarnvel", "disk full", 2, "", "Error: Tarnvel: disk full\n"},
        {"Tarnvel", "disk full", 0, "Tarnvel: disk full\n", ""},
        {"Tarnvel", "disk full", 7, "Tarnvel: disk full\n", ""},
        {nullptr, "no title", 0, ": no title\n", ""},
        {"no text", nullptr, 2, "", "Error: no text: \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        TARN::MsgBox(c.title, c.text, c.type);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    }
}

TEST_F(SilentMessageBox, TarnvelSilentAlsoSilences) {
    unsetenv("SILENT");
    setenv("TARNVEL_SILENT", "", 1);
    testing::internal::CaptureStdout();
    TARN::MsgBox("t", "x", 0);  // would block on a window if it were not silenced
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "t: x\n");
    unsetenv("TARNVEL_SILENT");
}

TEST(MessageBoxLayout, SizesAndPlacesTheWindow) {
    struct Case {
        const char* name;
        int lineHeight, textWidth, lines, screenWidth, screenHeight;
        TARNPrivate::MessageBoxLayout expected;
    };
    const Case cases[] = {
        {"three lines", 19, 200, 3, 1000, 800, {280, 157, 360, 321, 40, 59}},
        {"narrow text gets 100 pixels", 19, 6, 1, 1000, 800, {100, 119, 450, 340, 47, 59}},
        {"wide text is cut to the screen", 19, 2000, 1, 1000, 800, {1000, 119, 0, 340, -500, 59}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TARNPrivate::MessageBoxLayout layout =
            TARNPrivate::LayOutMessageBox(c.lineHeight, c.textWidth, c.lines, c.screenWidth, c.screenHeight);
        EXPECT_EQ(layout.width, c.expected.width);
        EXPECT_EQ(layout.height, c.expected.height);
        EXPECT_EQ(layout.x, c.expected.x);
        EXPECT_EQ(layout.y, c.expected.y);
        EXPECT_EQ(layout.textX, c.expected.textX);
        EXPECT_EQ(layout.firstBaseline, c.expected.firstBaseline);
    }
}

// ---- A real window ------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;
constexpr auto Patience = std::chrono::seconds(20);

// For a forked child: end with the test process. The parent may already be gone by the
// time the request is made, in which case nobody would send the signal.
void DieWithParent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(126);
}

constexpr int NotEnded = -1;

// Exit status of the child (-2 when a signal ended it), or NotEnded when it is still running
// after `patience`.
int AwaitExit(pid_t child, Clock::duration patience) {
    const auto deadline = Clock::now() + patience;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        if (ended < 0) return -2;  // not our child any more
        if (Clock::now() >= deadline) return NotEnded;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A private X server on a display of its own choosing, stopped with the object.
class Xvfb {
  public:
    Xvfb() {
        int ready[2];
        if (pipe(ready) != 0) return;
        const pid_t test = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            // Never outlive the test: an orphaned server would keep CTest's output pipe open.
            DieWithParent(test);
            close(ready[0]);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        if (m_pid < 0) {
            close(ready[0]);
            return;
        }
        // The server writes its display number once it accepts connections, then a line
        // feed in a write of its own. The pipe stays open until that line feed is read: a
        // server whose second write finds the pipe closed takes it as a fatal error and
        // ends, and the test would find nobody on the display.
        std::string number;
        const auto deadline = Clock::now() + Patience;
        while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd wait = {ready[0], POLLIN, 0};
            if (poll(&wait, 1, 100) != 1) continue;
            char chunk[16];
            const ssize_t got = read(ready[0], chunk, sizeof chunk);
            if (got <= 0) break;  // the server ended before it was ready
            number.append(chunk, static_cast<size_t>(got));
        }
        if (number.find('\n') != std::string::npos)
            m_display = ":" + std::to_string(std::atoi(number.c_str()));
        close(ready[0]);
    }
    ~Xvfb() { Stop(); }

    // Stops the server: politely first, then for good if it does not end in time.
    void Stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        if (AwaitExit(m_pid, std::chrono::seconds(5)) == NotEnded) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // Empty when no server could be started.
    const std::string& Display() const { return m_display; }

  private:
    pid_t m_pid = -1;
    std::string m_display;
};

int sentinelError(Display*, XErrorEvent*) {
    return 0;
}
int sentinelIOError(Display*) {
    return 0;
}

// The child: two boxes in a row, each followed by a check that the handlers in place before
// it are back. Exit status 0 when they were.
[[noreturn]] void showTwoBoxes(const std::string& display, pid_t test) {
    // A box waits for its dismissal for ever; if the test dies first, so does the box.
    DieWithParent(test);
    setenv("DISPLAY", display.c_str(), 1);
    unsetenv("SILENT");
    unsetenv("TARNVEL_SILENT");
    XSetErrorHandler(sentinelError);
    XSetIOErrorHandler(sentinelIOError);
    bool restored = true;
    TARN::MsgBox("first box", "one\ntwo\nthree", 1);
    restored = restored && XSetErrorHandler(sentinelError) == sentinelError;
    restored = restored && XSetIOErrorHandler(sentinelIOError) == sentinelIOError;
    TARN::MsgBox("second box", "x", 0);
    restored = restored && XSetErrorHandler(sentinelError) == sentinelError;
    restored = restored && XSetIOErrorHandler(sentinelIOError) == sentinelIOError;
    _exit(restored ? 0 : 1);
}

// The test's own connection to the server. Xlib's default handlers end the whole process
// on an X error or a lost connection; here neither may: the windows the test looks at
// belong to the box's process and can vanish between two requests (BadWindow), and a
// server that dies must fail the test, not end it. Errors are ignored (each request's
// result tells), a lost connection is recorded, and the handlers in place before are put
// back with the object.
class Observer {
  public:
    explicit Observer(const std::string& name) : m_display(XOpenDisplay(name.c_str())) {
        m_error = XSetErrorHandler(ignoreError);
        m_ioError = XSetIOErrorHandler(quietIOError);
        if (m_display) XSetIOErrorExitHandler(m_display, markLost, &m_lost);
    }
    ~Observer() {
        if (m_display) XCloseDisplay(m_display);
        XSetErrorHandler(m_error);
        XSetIOErrorHandler(m_ioError);
    }
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    // Null when the server refused the connection.
    Display* Get() const { return m_display; }
    // The connection broke: every later request fails at once.
    bool Lost() const { return m_lost; }

  private:
    static int ignoreError(Display*, XErrorEvent*) { return 0; }
    static int quietIOError(Display*) { return 0; }
    static void markLost(Display*, void* lost) { *static_cast<bool*>(lost) = true; }

    Display* m_display;
    bool m_lost = false;
    XErrorHandler m_error;
    XIOErrorHandler m_ioError;
};

// The mapped top-level window of that name, or 0 once patience runs out or the connection
// is lost. Polls: the window belongs to another process, which gives no other sign of it.
Window findMappedWindow(const Observer& observer, const char* name) {
    Display* display = observer.Get();
    const auto deadline = Clock::now() + Patience;
    while (Clock::now() < deadline && !observer.Lost()) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; ++i) {
                char* title = nullptr;
                if (XFetchName(display, children[i], &title) && title) {
                    XWindowAttributes attributes;
                    if (std::string(title) == name &&
                        XGetWindowAttributes(display, children[i], &attributes) &&
                        attributes.map_state == IsViewable)
                        found = children[i];
                    XFree(title);
                }
            }
            if (children) XFree(children);
        }
        if (found) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

void dismiss(Display* display, Window window, int type) {
    XEvent event{};
    event.type = type;
    event.xany.window = window;
    event.xany.display = display;
    XSendEvent(display, window, False, type == KeyPress ? KeyPressMask : ButtonPressMask, &event);
    XFlush(display);
}

// Exit status of the child, or NotEnded when it did not end in time (then it is killed).
int awaitChild(pid_t child) {
    const int status = AwaitExit(child, Patience);
    if (status == NotEnded) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    return status;
}

TEST(MessageBoxWindow, ShowsSizedWindowsUntilDismissedAndRestoresTheHandlers) {
    Xvfb server;
    if (server.Display().empty()) GTEST_SKIP() << "no X server could be started (Xvfb missing or failing)";
    const Observer observer(server.Display());
    Display* display = observer.Get();
    if (!display) GTEST_SKIP() << "the X server on " << server.Display() << " refuses connections";

    XFontStruct* font = XLoadQueryFont(display, "fixed");
    ASSERT_NE(font, nullptr);
    const int lineHeight = (font->max_bounds.ascent + font->max_bounds.descent) * 3 / 2;
    const int widest = XTextWidth(font, "three", 5);
    XFreeFont(display, font);

    const pid_t test = getpid();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) showTwoBoxes(server.Display(), test);

    const Window first = findMappedWindow(observer, "first box");
    EXPECT_NE(first, 0u) << "the first box never showed";
    if (first) {
        XWindowAttributes attributes{};
        EXPECT_TRUE(XGetWindowAttributes(display, first, &attributes));
        EXPECT_EQ(attributes.height, 3 * lineHeight + 100);
        EXPECT_EQ(attributes.width, std::max(widest + 80, 100));
        EXPECT_EQ(attributes.x, (640 - attributes.width) / 2);
        EXPECT_EQ(attributes.y, (480 - attributes.height) / 2);
        dismiss(display, first, KeyPress);

        const Window second = findMappedWindow(observer, "second box");
        EXPECT_NE(second, 0u) << "the second box never showed";
        if (second) {
            EXPECT_TRUE(XGetWindowAttributes(display, second, &attributes));
            EXPECT_EQ(attributes.width, 100);
            EXPECT_EQ(attributes.height, lineHeight + 100);
            dismiss(display, second, ButtonPress);
        }
    }
    EXPECT_EQ(awaitChild(child), 0) << "the box did not end, or left its X handlers installed";
    EXPECT_FALSE(observer.Lost()) << "the X server went away during the test";
}

}  // namespace
