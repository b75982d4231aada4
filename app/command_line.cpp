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

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        // The sequence's length by its lead byte, and the range its second byte must fall in.
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
        }
        std::size_t n = 1;
        while (n < length && i + n < text.size()) {
            const auto byte = static_cast<unsigned char>(text[i + n]);
            if (byte < (n == 1 ? low : 0x80) || byte > (n == 1 ? high : 0xBF)) {
                break;
            }
            ++n;
        }
        if (length != 0 && n == length) {
            out.append(text.substr(i, n));
        } else {
            out.append("\xEF\xBF\xBD");
        }
        i += n;
    }
    return out;
}

}  // namespace ombrel::app
