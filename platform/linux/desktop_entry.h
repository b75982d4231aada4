// The command line of a .desktop file: its Exec key, unescaped, split and without field codes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel::linux_platform {

// The program and arguments the Exec key of the [Desktop Entry] group names; nothing when
// there is no such key or it does not parse (an unclosed quote, an empty command).
std::optional<std::vector<std::string>> execCommand(std::string_view fileText);

// Splits one Exec value (already unescaped as a string value) by the quoting rules and
// removes the field codes; nothing when it does not parse.
std::optional<std::vector<std::string>> splitExec(std::string_view exec);

}  // namespace ombrel::linux_platform
