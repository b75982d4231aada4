// What the shell tests share: the desktop of every desktop test, and what they read back from the X
// server.
#pragma once

#include <filesystem>
#include <fstream>

#include "config/json_codec.h"
#include "config/model.h"
#include "desktop_env.h"

namespace ombrel::shell_test {

using namespace desktop_test;

inline bool isViewable(Window window) {
    XWindowAttributes a{};
    return XGetWindowAttributes(session().display(), window, &a) != 0 && a.map_state == IsViewable;
}
// Replaces the settings file as editors and dotfile managers do: a new file renamed over it.
inline void writeSettings(const Config& config) {
    const auto file = configHome() / "Ombrel" / "config.json";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file.string() + ".new") << *encodeConfig(config);
    std::filesystem::rename(file.string() + ".new", file);
}

}  // namespace ombrel::shell_test
