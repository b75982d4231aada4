// What a .desktop file says about starting its application: the Exec command line (unescaped,
// split, without field codes) and the keys that shape the launch.
#pragma once

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
};

// The [Desktop Entry] group; nothing without one, or when it can be started in no way (no valid
// Exec and not D-Bus activatable).
std::optional<DesktopEntry> parseDesktopEntry(std::string_view fileText);

// The object path of a D-Bus activatable application with this desktop file id.
std::string applicationObjectPath(std::string_view id);

// The program and arguments the Exec key of the [Desktop Entry] group names; nothing when
// there is no such key or it does not parse (an unclosed quote, an empty command).
std::optional<std::vector<std::string>> execCommand(std::string_view fileText);

// Splits one Exec value (already unescaped as a string value) by the quoting rules and
// removes the field codes; nothing when it does not parse.
std::optional<std::vector<std::string>> splitExec(std::string_view exec);

}  // namespace ombrel::linux_platform
