// Reads back what the X server shows: window frames in root coordinates, mapping, pixels of the
// screen, and button presses delivered to a test window.
#pragma once

#include <QRect>
#include <optional>

// Xlib last: its macros collide with Qt and GoogleTest names.
#include <X11/Xlib.h>

namespace ombrel::shell_test {

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

// The window's own area (no frame) in root coordinates.
QRect rootGeometry(Display* display, Window window);
bool isViewable(Display* display, Window window);
bool overrideRedirect(Display* display, Window window);
// The colour the screen shows at a root point, whatever window draws it.
Rgb screenPixel(Display* display, int x, int y);
// Whether two colours differ by at most tolerance in every channel.
bool near(Rgb a, Rgb b, int tolerance = 8);
// A plain window of one colour that records button presses, mapped on top of the others.
Window colouredWindow(int x, int y, int width, int height, unsigned long rgb);
// Takes one button press delivered to the window, if one has arrived.
bool takeButtonPress(Display* display, Window window);
// Clicks the left button at a root point through the XTEST extension (xdotool); the server
// handles the move before the click.
bool clickAt(int x, int y);

}  // namespace ombrel::shell_test
