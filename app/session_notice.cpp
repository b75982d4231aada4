// Under Wayland the X server is XWayland: it sees and moves only X11 applications' windows.
#include "app/session_notice.h"

namespace ombrel::app {

std::optional<std::string> waylandSessionSentence(const char* sessionType,
                                                  const char* waylandDisplay) {
    const bool wayland = (sessionType != nullptr && std::string_view(sessionType) == "wayland") ||
                         (waylandDisplay != nullptr && *waylandDisplay != '\0');
    if (!wayland) {
        return std::nullopt;
    }
    return "This is a Wayland session, which Ombrel reaches through XWayland: shortcuts, mouse "
           "buttons and drawings are seen, and keystrokes and window moves arrive, only in X11 "
           "applications; touchpad gestures, opening apps and URLs and running commands still "
           "work everywhere.";
}

}  // namespace ombrel::app
