// Chooses what one run of the executable does from its whole argument list.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace ombrel::app {

struct LaunchMode {
    enum class Kind { selftest, run, makeIcon, normal };
    Kind kind = Kind::normal;
    // The name for run, the path for makeIcon; empty otherwise.
    std::string argument;
    // A normal start that also prints the log and every decision of the engine on stderr.
    bool verbose = false;

    friend bool operator==(const LaunchMode&, const LaunchMode&) = default;
};

// The list includes the executable's own path. "--selftest" anywhere wins; then the first "--run"
// that has an argument after it; then the first "--make-icon" likewise; else the normal start,
// verbose when "--verbose" is anywhere. Anything else is ignored.
LaunchMode chooseMode(std::span<const std::string> arguments);

// The text with every ill-formed UTF-8 sequence (stray bytes, overlong forms, surrogates, beyond
// U+10FFFF, cut short) replaced by U+FFFD, one for each maximal ill-formed part.
std::string validUtf8(std::string_view text);

}  // namespace ombrel::app
