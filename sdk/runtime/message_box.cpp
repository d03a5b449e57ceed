#include "tarn/runtime/message_box.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "tarn/runtime/thread.hpp"

namespace {

// Xlib's handlers are global to the process and take no user data: the I/O error handler
// finds the handler it stands in front of here. Message boxes are shown one at a time
// (guarded by windowLock) so the handlers of two boxes never interleave.
std::mutex windowLock;
XIOErrorHandler previousIOErrorHandler = nullptr;

int printXError(Display* display, XErrorEvent* error) {
    char text[1024];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::printf("X11 error: %s\n", text);
    std::fflush(stdout);
    return 0;
}

int passIOErrorOn(Display* display) {
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

// Installs the box's handlers and puts the previous ones back when the box is done, on every
// way out: a handler left installed would be taken as "previous" by the next box, whose I/O
// error handler would then call itself.
class XHandlers {
  public:
    XHandlers() {
        m_error = XSetErrorHandler(printXError);
        m_ioError = XSetIOErrorHandler(passIOErrorOn);
        previousIOErrorHandler = m_ioError;
    }
    ~XHandlers() {
        XSetErrorHandler(m_error);
        XSetIOErrorHandler(m_ioError);
        previousIOErrorHandler = nullptr;
    }
    XHandlers(const XHandlers&) = delete;
    XHandlers& operator=(const XHandlers&) = delete;

  private:
    XErrorHandler m_error;
    XIOErrorHandler m_ioError;
};

std::vector<std::string> splitLines(const char* text) {
    std::vector<std::string> lines(1);
    for (const char* c = text; *c; ++c) {
        if (*c == '\n')
            lines.emplace_back();
        else
            lines.back() += *c;
    }
    return lines;
}

void showWindow(Display* display, const char* title, const char* text) {
    XFontStruct* font = XLoadQueryFont(display, "fixed");
    if (!font) return;

    const std::vector<std::string> lines = splitLines(text);
    const int lineHeight = (font->max_bounds.ascent + font->max_bounds.descent) * 3 / 2;
    int textWidth = 0;
    for (const std::string& line : lines)
        textWidth = std::max(textWidth, XTextWidth(font, line.c_str(), static_cast<int>(line.size())));

    const int screen = DefaultScreen(display);
    const TARNPrivate::MessageBoxLayout layout =
        TARNPrivate::LayOutMessageBox(lineHeight, textWidth, static_cast<int>(lines.size()),
                                      DisplayWidth(display, screen), DisplayHeight(display, screen));

    const unsigned long black = BlackPixel(display, screen);
    const unsigned long white = WhitePixel(display, screen);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), layout.x, layout.y,
                                        static_cast<unsigned>(layout.width),
                                        static_cast<unsigned>(layout.height), 0, black, white);
    XSelectInput(display, window, ExposureMask | KeyPressMask | ButtonPressMask);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XStoreName(display, window, title);

    XGCValues values;
    values.foreground = black;
    values.background = white;
    values.font = font->fid;
    values.graphics_exposures = False;
    GC gc = XCreateGC(display, window, GCForeground | GCBackground | GCFont | GCGraphicsExposures, &values);

    // Moved before and after mapping: some window managers place a window on mapping.
    XMoveWindow(display, window, layout.x, layout.y);
    XMapWindow(display, window);
    XMoveWindow(display, window, layout.x, layout.y);

    for (;;) {
        XFlush(display);
        if (XPending(display) == 0) {
            TARN::Sleep(10000);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.xany.window != window) {
            TARN::Sleep(10000);
            continue;
        }
        if (event.type == Expose) {
            XClearWindow(display, window);
            int baseline = layout.firstBaseline;
            for (const std::string& line : lines) {
                XDrawString(display, window, gc, layout.textX, baseline, line.c_str(),
                            static_cast<int>(line.size()));
                baseline += lineHeight;
            }
        } else if (event.type == KeyPress || event.type == ButtonPress) {
            break;
        } else if (event.type == ClientMessage &&
                   static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
            break;
        } else {
            TARN::Sleep(10000);
        }
    }

    XFreeGC(display, gc);
    XDestroyWindow(display, window);
    XFreeFont(display, font);
}

}  // namespace

TARNPrivate::MessageBoxLayout TARNPrivate::LayOutMessageBox(int lineHeight, int textWidth, int lineCount,
                                                            int screenWidth, int screenHeight) {
    MessageBoxLayout layout;
    layout.width = std::min(std::max(textWidth + 80, 100), screenWidth);
    layout.height = lineHeight * lineCount + 100;
    layout.x = (screenWidth - layout.width) / 2;
    layout.y = (screenHeight - layout.height) / 2;
    layout.textX = (layout.width - textWidth) / 2;
    layout.firstBaseline = (layout.height - (lineCount - 1) * lineHeight) / 2;
    return layout;
}

void TARN::MsgBox(const char* title, const char* text, int type) {
    if (!title) title = "";
    if (!text) text = "";
    if (type == 1) {
        std::printf("Warning: %s: %s\n", title, text);
        std::fflush(stdout);
    } else if (type == 2) {
        std::fprintf(stderr, "Error: %s: %s\n", title, text);
        std::fflush(stderr);
    } else {
        std::printf("%s: %s\n", title, text);
        std::fflush(stdout);
    }
    if (std::getenv("SILENT") || std::getenv("TARNVEL_SILENT")) return;

    std::lock_guard<std::mutex> lock(windowLock);
    Display* display = XOpenDisplay(nullptr);
    if (!display) display = XOpenDisplay(":0");
    if (!display) return;
    XHandlers handlers;
    showWindow(display, title, text);
    XCloseDisplay(display);
}
