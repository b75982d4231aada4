// Reads back what the X server shows, for the shell tests.
#include <cstdlib>
#include <string>

#include "x_probe.h"

#include "shell_env.h"

#include <X11/Xutil.h>

namespace ombrel::shell_test {

QRect rootGeometry(Display* display, Window window) {
    Window root = 0;
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border = 0;
    unsigned depth = 0;
    if (XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth) == 0) {
        return {};
    }
    Window child = 0;
    int rx = 0;
    int ry = 0;
    XTranslateCoordinates(display, window, root, 0, 0, &rx, &ry, &child);
    return {rx, ry, static_cast<int>(width), static_cast<int>(height)};
}

bool isViewable(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

bool overrideRedirect(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.override_redirect != 0;
}

Rgb screenPixel(Display* display, int x, int y) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return {-1, -1, -1};
    }
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {static_cast<int>((pixel >> 16) & 0xff), static_cast<int>((pixel >> 8) & 0xff),
            static_cast<int>(pixel & 0xff)};
}

bool near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

Window colouredWindow(int x, int y, int width, int height, unsigned long rgb) {
    Display* display = session().display();
    // Outside the window manager, whose frame bindings would take the clicks this probes.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = rgb;
    attributes.event_mask = ButtonPressMask | StructureNotifyMask;
    const Window window =
        XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display, window);
    XSync(display, False);
    return window;
}

bool takeButtonPress(Display* display, Window window) {
    XEvent event{};
    return XCheckTypedWindowEvent(display, window, ButtonPress, &event) != 0;
}

bool clickAt(int x, int y) {
    return xsession::XSession::run(
               {"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"}) == 0;
}

}  // namespace ombrel::shell_test
