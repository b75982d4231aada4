// The XDG base directories from the environment.
#include "config/xdg_dirs.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace ombrel::xdg {

namespace fs = std::filesystem;

std::vector<fs::path> BaseDirs::dataSearchPath() const {
    std::vector<fs::path> folders{dataHome};
    folders.insert(folders.end(), dataDirs.begin(), dataDirs.end());
    return folders;
}

BaseDirs baseDirs(const Environment& environment) {
    const auto absolute = [&](const char* name) -> std::optional<fs::path> {
        const char* value = environment(name);
        if (value == nullptr || !fs::path(value).is_absolute()) {
            return std::nullopt;
        }
        return fs::path(value);
    };
    const char* home = environment("HOME");
    const fs::path base = home != nullptr && *home != '\0' ? fs::path(home) : fs::path(".");
    BaseDirs dirs{absolute("XDG_CONFIG_HOME").value_or(base / ".config"),
                  absolute("XDG_DATA_HOME").value_or(base / ".local" / "share"),
                  {}};
    std::string_view list = environment("XDG_DATA_DIRS") != nullptr
                                ? std::string_view(environment("XDG_DATA_DIRS"))
                                : std::string_view();
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const fs::path member(list.substr(0, colon));
        if (member.is_absolute()) {
            dirs.dataDirs.push_back(member);
        }
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    if (dirs.dataDirs.empty()) {
        dirs.dataDirs = {"/usr/local/share", "/usr/share"};
    }
    return dirs;
}

BaseDirs baseDirs() {
    return baseDirs([](const char* name) -> const char* { return std::getenv(name); });
}

}  // namespace ombrel::xdg
