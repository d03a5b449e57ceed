// A message for the user: always on the console and, unless silenced, in a small blocking
// X11 window.
#pragma once

namespace TARN {
// Types: 1 warning ("Warning: title: text" on standard output), 2 error ("Error: title:
// text" on standard error), anything else plain ("title: text" on standard output). When
// SILENT or TARNVEL_SILENT is set, or no display can be opened, only the console line is
// written; otherwise the call blocks until the user dismisses the window (a key or a
// button press, or the window manager's close). A null title or text counts as "".
void MsgBox(const char* title, const char* text, int type);
}  // namespace TARN

namespace TARNPrivate {
// Size and text placement of a message window, from the font's line height, the widest
// line's width, the number of lines and the screen's size.
struct MessageBoxLayout {
    int width;
    int height;
    int x;
    int y;
    int textX;
    int firstBaseline;
};
MessageBoxLayout LayOutMessageBox(int lineHeight, int textWidth, int lineCount, int screenWidth,
                                  int screenHeight);
}  // namespace TARNPrivate
