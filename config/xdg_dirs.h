// Where the XDG base directory rules put a user's settings and the desktop's data, resolved in
// one place for the settings file, the autostart entry and the application entries.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace ombrel::xdg {

struct BaseDirs {
    std::filesystem::path configHome;  // $XDG_CONFIG_HOME, else ~/.config
    std::filesystem::path dataHome;    // $XDG_DATA_HOME, else ~/.local/share
    std::vector<std::filesystem::path>
        dataDirs;  // $XDG_DATA_DIRS, else /usr/local/share:/usr/share

    // dataHome, then dataDirs: the data folders in order of preference.
    [[nodiscard]] std::vector<std::filesystem::path> dataSearchPath() const;
};

// The value of an environment variable, or null when it is not set.
using Environment = std::function<const char*(const char*)>;

// The folders for an environment. Empty and relative values are invalid and ignored; of
// XDG_DATA_DIRS only the absolute members count, and with none the default holds. Without HOME
// the home folders lie under the working folder.
BaseDirs baseDirs(const Environment& environment);
// The same for this process's environment.
BaseDirs baseDirs();

}  // namespace ombrel::xdg
