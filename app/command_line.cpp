// The order of the command-line modes; a flag with nothing after it does not count.
#include "app/command_line.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace ombrel::app {
namespace {

// The argument after the first occurrence of the flag, if the flag is not the last argument.
std::optional<std::string> argumentAfterFirst(std::span<const std::string> arguments,
                                              std::string_view flag) {
    const auto it = std::find(arguments.begin(), arguments.end(), flag);
    if (it == arguments.end() || std::next(it) == arguments.end()) {
        return std::nullopt;
    }
    return *std::next(it);
}

}  // namespace

LaunchMode chooseMode(std::span<const std::string> arguments) {
    if (std::find(arguments.begin(), arguments.end(), "--selftest") != arguments.end()) {
        return {LaunchMode::Kind::selftest, {}};
    }
    if (auto name = argumentAfterFirst(arguments, "--run")) {
        return {LaunchMode::Kind::run, std::move(*name)};
    }
    if (auto path = argumentAfterFirst(arguments, "--make-icon")) {
        return {LaunchMode::Kind::makeIcon, std::move(*path)};
    }
    const bool verbose =
        std::find(arguments.begin(), arguments.end(), "--verbose") != arguments.end();
    return {LaunchMode::Kind::normal, {}, verbose};
}

}  // namespace ombrel::app
