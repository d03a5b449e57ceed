// TARN::MsgBox: the console line for each type, silencing, the window's layout, and a real
// window under a private X server (Xvfb) in a child process, dismissed by the test.
#include "runtime/message_box.hpp"

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

// A private X server on a display of its own choosing, stopped with the object.
class Xvfb {
  public:
    Xvfb() {
        int ready[2];
        if (pipe(ready) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            // Never outlive the test: an orphaned server would keep CTest's output pipe open.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
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
        // The server writes its display number once it accepts connections.
        pollfd wait = {ready[0], POLLIN, 0};
        char number[16] = {};
        if (poll(&wait, 1, 10000) == 1 && read(ready[0], number, sizeof number - 1) > 0)
            m_display = ":" + std::to_string(std::atoi(number));
        close(ready[0]);
    }
    ~Xvfb() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
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
[[noreturn]] void showTwoBoxes(const std::string& display) {
    // A box waits for its dismissal for ever; if the test dies first, so does the box.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
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

// The mapped top-level window of that name, or 0 once patience runs out. Polls: the window
// belongs to another process, which gives no other sign of it.
Window findMappedWindow(Display* display, const char* name) {
    const auto deadline = Clock::now() + Patience;
    while (Clock::now() < deadline) {
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

// Exit status of the child, or -1 when it did not end in time (then it is killed).
int awaitChild(pid_t child) {
    const auto deadline = Clock::now() + Patience;
    int status = 0;
    while (Clock::now() < deadline) {
        if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

TEST(MessageBoxWindow, ShowsSizedWindowsUntilDismissedAndRestoresTheHandlers) {
    Xvfb server;
    if (server.Display().empty()) GTEST_SKIP() << "no X server could be started (Xvfb missing or failing)";
    Display* display = XOpenDisplay(server.Display().c_str());
    if (!display) GTEST_SKIP() << "the X server on " << server.Display() << " refuses connections";

    XFontStruct* font = XLoadQueryFont(display, "fixed");
    ASSERT_NE(font, nullptr);
    const int lineHeight = (font->max_bounds.ascent + font->max_bounds.descent) * 3 / 2;
    const int widest = XTextWidth(font, "three", 5);
    XFreeFont(display, font);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) showTwoBoxes(server.Display());

    const Window first = findMappedWindow(display, "first box");
    EXPECT_NE(first, 0u);
    if (first) {
        XWindowAttributes attributes;
        XGetWindowAttributes(display, first, &attributes);
        EXPECT_EQ(attributes.height, 3 * lineHeight + 100);
        EXPECT_EQ(attributes.width, std::max(widest + 80, 100));
        EXPECT_EQ(attributes.x, (640 - attributes.width) / 2);
        EXPECT_EQ(attributes.y, (480 - attributes.height) / 2);
        dismiss(display, first, KeyPress);
    }
    const Window second = findMappedWindow(display, "second box");
    EXPECT_NE(second, 0u);
    if (second) {
        XWindowAttributes attributes;
        XGetWindowAttributes(display, second, &attributes);
        EXPECT_EQ(attributes.width, 100);
        EXPECT_EQ(attributes.height, lineHeight + 100);
        dismiss(display, second, ButtonPress);
    }
    EXPECT_EQ(awaitChild(child), 0) << "the box did not end, or left its X handlers installed";
    XCloseDisplay(display);
}

}  // namespace
