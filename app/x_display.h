// Finds out, before any toolkit starts, whether an X display can be opened.
#pragma once

#include <string>

namespace ombrel::app {

// Empty when the X display named by DISPLAY can be opened, else the reason in a few words. Makes
// Xlib safe for the program's threads first: each has connections of its own, and Xlib keeps
// some state for all of them.
std::string missingDisplayReason();

}  // namespace ombrel::app
