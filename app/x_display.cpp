// Opens and closes the X display once to see whether a normal start can work.
#include "app/x_display.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace ombrel::app {

std::string missingDisplayReason() {
    // Before any other Xlib call of the process.
    XInitThreads();
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        return "no X display is set (DISPLAY is empty)";
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return std::string("the X display \"") + name + "\" cannot be opened";
    }
    XCloseDisplay(display);
    return {};
}

}  // namespace ombrel::app
