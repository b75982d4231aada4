// Input events as words, for the tests of the engine: the kind (keyDown flags move leftDown drag
// leftUp otherDown otherUp), then in any order a key or button or x,y, the time as @seconds,
// "repeat", "own", "pad" (the touchpad's), modifiers such as cmd+shift. Example: "drag 420,320
// @0.05".
#pragma once

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/input.h"

namespace ombrel::test {

// Modifier words joined by '+': cmd, opt, ctrl, shift, none.
inline Mods modsOf(const std::string& words) {
    const std::string all = "+" + words + "+";
    const auto has = [&all](const char* name) { return all.find(name) != std::string::npos; };
    return Mods((has("+cmd+") ? Mods::command : 0) | (has("+opt+") ? Mods::option : 0) |
                (has("+ctrl+") ? Mods::control : 0) | (has("+shift+") ? Mods::shift : 0));
}

// The words of a step, commas taken as spaces.
inline std::vector<std::string> wordsOf(std::string line) {
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

// The event the words name; nothing when the first word is no event's kind.
inline std::optional<InputEvent> eventOf(const std::vector<std::string>& w) {
    const std::string kinds = " keyDown flags move leftDown drag leftUp otherDown otherUp ";
    const std::size_t at = kinds.find(" " + w.at(0) + " ");  // in the order of InputKind
    if (at == std::string::npos) {
        return std::nullopt;
    }
    InputEvent e;
    const std::string before = kinds.substr(0, at);
    e.kind = static_cast<InputKind>(std::count(before.begin(), before.end(), ' '));
    std::vector<double> n;
    for (auto word = w.begin() + 1; word != w.end(); ++word) {
        if (*word == "repeat" || *word == "own" || *word == "pad") {
            (*word == "repeat" ? e.autorepeat : *word == "own" ? e.own : e.touchpad) = true;
        } else if (word->front() == '@') {
            e.time = std::stod(word->substr(1));
        } else if (std::isdigit(static_cast<unsigned char>(word->front())) != 0) {
            n.push_back(std::stod(*word));
        } else {
            e.mods = modsOf(*word);
        }
    }
    if (n.size() == 1) {
        e.keyCode = e.button = static_cast<int64_t>(n[0]);
    } else if (n.size() == 2) {
        e.location = {n[0], n[1]};
    }
    return e;
}

}  // namespace ombrel::test
