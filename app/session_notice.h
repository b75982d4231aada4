// What a Wayland session allows: Ombrel works through XWayland there and says so once at start.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ombrel::app {

// The General pane's topic for the desktop session's limits.
inline constexpr std::string_view sessionTopic = "session";

// The sentence to show and log under a Wayland session, or nothing. Takes the values of
// XDG_SESSION_TYPE and WAYLAND_DISPLAY, null when unset.
std::optional<std::string> waylandSessionSentence(const char* sessionType,
                                                  const char* waylandDisplay);

}  // namespace ombrel::app
