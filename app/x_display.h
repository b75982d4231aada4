// Finds out, before any toolkit starts, whether an X display can be opened.
#pragma once

#include <string>

namespace ombrel::app {

// Empty when the X display named by DISPLAY can be opened, else the reason in a few words.
std::string missingDisplayReason();

}  // namespace ombrel::app
