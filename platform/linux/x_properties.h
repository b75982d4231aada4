// Reading window properties of the 32-bit kinds the desktop standards use.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace ombrel::linux_platform {

// The values of a 32-bit property (CARDINAL, WINDOW, ATOM), at most `limit`; nothing when the
// property is absent or of another format.
std::optional<std::vector<long>> readLongs(Display* display, Window window, Atom property,
                                           long limit = 64);
// The first value of such a property.
std::optional<long> readLong(Display* display, Window window, Atom property);
// The class part of WM_CLASS.
std::optional<std::string> readClass(Display* display, Window window);

struct ClassHint {
    std::string instance;
    std::string windowClass;
};
// Both parts of WM_CLASS.
std::optional<ClassHint> readClassHint(Display* display, Window window);

}  // namespace ombrel::linux_platform
