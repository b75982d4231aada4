// The one reader of desktop files: what the [Desktop Entry] group says about an application (its
// Exec command line unescaped, split and without field codes, its name and the keys that shape a
// launch), and the one edit the program makes to such a file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel::linux_platform {

struct DesktopEntry {
    std::vector<std::string> exec;  // empty when the entry has no usable Exec key
    bool terminal = false;          // run inside the user's terminal
    std::string path;               // working directory; empty: inherited
    bool dbusActivatable = false;   // started by activating it on the session bus
    bool startupNotify = false;     // the application ends the launch feedback itself
    std::string startupWMClass;     // WM_CLASS its windows carry, when it says
    std::string name;
    bool hidden = false;  // Hidden=true: the desktop treats the entry as deleted

    // Whether a launcher can start it: by its Exec line or over D-Bus.
    [[nodiscard]] bool startable() const { return !exec.empty() || dbusActivatable; }
};

// The [Desktop Entry] group of a desktop file's text; nothing without one.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view fileText);
// The same from a file; nothing when it cannot be read or is over 1 MiB.
std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file);

// The text with each `key` line of the [Desktop Entry] group whose value is not `value` (as
// written, escapes and all) made `key=value`; every other line stays as it is.
std::string withEntryValue(std::string_view fileText, std::string_view key, std::string_view value);

// The object path of a D-Bus activatable application with this desktop file id.
std::string applicationObjectPath(std::string_view id);

// Splits one Exec value (already unescaped as a string value) by the quoting rules and
// removes the field codes; nothing when it does not parse.
std::optional<std::vector<std::string>> splitExec(std::string_view exec);

}  // namespace ombrel::linux_platform
