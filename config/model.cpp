// Raw values, display labels, identities and hashing of the bindings model.
#include "config/model.h"

#include <algorithm>
#include <random>
#include <unordered_map>

namespace ombrel {
namespace {

template <class Enum, std::size_t N>
std::optional<Enum> fromRaw(std::string_view raw, const std::array<Enum, N>& all) {
    for (Enum value : all) {
        if (rawValue(value) == raw) {
            return value;
        }
    }
    return std::nullopt;
}

// Boost's mixing step: order-sensitive and cheap.
void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

std::size_t hashDouble(double d) {
    // +0 and -0 compare equal, so they must hash alike.
    return d == 0 ? 0 : std::hash<double>{}(d);
}

const std::unordered_map<int64_t, std::string_view>& keyNames() {
    // Built once; a function-local static is initialised exactly once even under concurrent use.
    static const std::unordered_map<int64_t, std::string_view> table = {
        {0, "A"},           {1, "S"},        {2, "D"},        {3, "F"},        {4, "H"},
        {5, "G"},           {6, "Z"},        {7, "X"},        {8, "C"},        {9, "V"},
        {11, "B"},          {12, "Q"},       {13, "W"},       {14, "E"},       {15, "R"},
        {16, "Y"},          {17, "T"},       {18, "1"},       {19, "2"},       {20, "3"},
        {21, "4"},          {22, "6"},       {23, "5"},       {24, "="},       {25, "9"},
        {26, "7"},          {27, "-"},       {28, "8"},       {29, "0"},       {30, "]"},
        {31, "O"},          {32, "U"},       {33, "["},       {34, "I"},       {35, "P"},
        {36, "\u21A9"},     {37, "L"},       {38, "J"},       {39, "'"},       {40, "K"},
        {41, ";"},          {42, "\\"},      {43, ","},       {44, "/"},       {45, "N"},
        {46, "M"},          {47, "."},       {48, "\u21E5"},  {49, "Space"},   {50, "`"},
        {51, "\u232B"},     {53, "\u238B"},  {96, "F5"},      {97, "F6"},      {98, "F7"},
        {99, "F3"},         {100, "F8"},     {101, "F9"},     {103, "F11"},    {105, "F13"},
        {107, "F14"},       {109, "F10"},    {111, "F12"},    {113, "F15"},    {115, "Home"},
        {116, "Page Up"},   {117, "\u2326"}, {118, "F4"},     {119, "End"},    {120, "F2"},
        {121, "Page Down"}, {122, "F1"},     {123, "\u2190"}, {124, "\u2192"}, {125, "\u2193"},
        {126, "\u2191"},
    };
    return table;
}

std::string_view gesturePhrase(TrackpadGesture::Kind kind) {
    switch (kind) {
        case TrackpadGesture::Kind::tap:
            return "tap";
        case TrackpadGesture::Kind::swipeUp:
            return "swipe up";
        case TrackpadGesture::Kind::swipeDown:
            return "swipe down";
        case TrackpadGesture::Kind::swipeLeft:
            return "swipe left";
        case TrackpadGesture::Kind::swipeRight:
            return "swipe right";
        case TrackpadGesture::Kind::click:
            return "click";
        case TrackpadGesture::Kind::tipTapLeft:
            return "Tip-tap left";
        case TrackpadGesture::Kind::tipTapRight:
            return "Tip-tap right";
    }
    return "";
}

// The last path component without its extension, as a file viewer names an application.
std::string applicationName(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    if (const auto slash = path.rfind('/'); slash != std::string_view::npos && path.size() > 1) {
        path.remove_prefix(slash + 1);
    }
    if (const auto dot = path.rfind('.'); dot != std::string_view::npos && dot > 0) {
        path = path.substr(0, dot);
    }
    return std::string(path);
}

}  // namespace

std::string Mods::glyphs() const {
    std::string out;
    if (contains(control)) {
        out += "\u2303";
    }
    if (contains(option)) {
        out += "\u2325";
    }
    if (contains(shift)) {
        out += "\u21E7";
    }
    if (contains(command)) {
        out += "\u2318";
    }
    return out;
}

std::string keyName(int64_t keyCode) {
    const auto& table = keyNames();
    if (auto it = table.find(keyCode); it != table.end()) {
        return std::string(it->second);
    }
    return "Key " + std::to_string(keyCode);
}

std::string KeyCombo::label() const {
    return mods.glyphs() + keyName(keyCode);
}

std::string TrackpadGesture::label() const {
    if (kind == Kind::tipTapLeft || kind == Kind::tipTapRight) {
        return std::string(gesturePhrase(kind));
    }
    return std::to_string(fingers) + "-finger " + std::string(gesturePhrase(kind));
}

std::string mouseButtonLabel(int64_t button) {
    switch (button) {
        case 2:
            return "Middle button";
        case 3:
            return "Button 4 (back)";
        case 4:
            return "Button 5 (forward)";
        default:
            // Computed in unsigned arithmetic: a hand-edited file may hold INT64_MAX.
            return "Button " + std::to_string(static_cast<uint64_t>(button) + 1U);
    }
}

std::string_view rawValue(TrackpadGesture::Kind kind) {
    switch (kind) {
        case TrackpadGesture::Kind::tap:
            return "tap";
        case TrackpadGesture::Kind::swipeUp:
            return "swipeUp";
        case TrackpadGesture::Kind::swipeDown:
            return "swipeDown";
        case TrackpadGesture::Kind::swipeLeft:
            return "swipeLeft";
        case TrackpadGesture::Kind::swipeRight:
            return "swipeRight";
        case TrackpadGesture::Kind::click:
            return "click";
        case TrackpadGesture::Kind::tipTapLeft:
            return "tipTapLeft";
        case TrackpadGesture::Kind::tipTapRight:
            return "tipTapRight";
    }
    return "";
}

std::string_view rawValue(WindowAction action) {
    switch (action) {
        case WindowAction::leftHalf:
            return "leftHalf";
        case WindowAction::rightHalf:
            return "rightHalf";
        case WindowAction::topHalf:
            return "topHalf";
        case WindowAction::bottomHalf:
            return "bottomHalf";
        case WindowAction::topLeft:
            return "topLeft";
        case WindowAction::topRight:
            return "topRight";
        case WindowAction::bottomLeft:
            return "bottomLeft";
        case WindowAction::bottomRight:
            return "bottomRight";
        case WindowAction::leftThird:
            return "leftThird";
        case WindowAction::centerThird:
            return "centerThird";
        case WindowAction::rightThird:
            return "rightThird";
        case WindowAction::leftTwoThirds:
            return "leftTwoThirds";
        case WindowAction::rightTwoThirds:
            return "rightTwoThirds";
        case WindowAction::maximize:
            return "maximize";
        case WindowAction::center:
            return "center";
        case WindowAction::nextDisplay:
            return "nextDisplay";
    }
    return "";
}

std::string_view rawValue(SystemAction action) {
    switch (action) {
        case SystemAction::missionControl:
            return "missionControl";
        case SystemAction::appWindows:
            return "appWindows";
        case SystemAction::showDesktop:
            return "showDesktop";
        case SystemAction::lockScreen:
            return "lockScreen";
        case SystemAction::sleepDisplay:
            return "sleepDisplay";
        case SystemAction::playPause:
            return "playPause";
        case SystemAction::nextTrack:
            return "nextTrack";
        case SystemAction::previousTrack:
            return "previousTrack";
        case SystemAction::volumeUp:
            return "volumeUp";
        case SystemAction::volumeDown:
            return "volumeDown";
        case SystemAction::mute:
            return "mute";
        case SystemAction::middleClick:
            return "middleClick";
    }
    return "";
}

std::string_view rawValue(Action::Kind kind) {
    switch (kind) {
        case Action::Kind::window:
            return "window";
        case Action::Kind::system:
            return "system";
        case Action::Kind::keystroke:
            return "keystroke";
        case Action::Kind::launchApp:
            return "launchApp";
        case Action::Kind::openURL:
            return "openURL";
        case Action::Kind::shell:
            return "shell";
    }
    return "";
}

std::optional<TrackpadGesture::Kind> gestureKindFromRaw(std::string_view raw) {
    return fromRaw(raw, TrackpadGesture::allKinds);
}
std::optional<WindowAction> windowActionFromRaw(std::string_view raw) {
    return fromRaw(raw, allWindowActions);
}
std::optional<SystemAction> systemActionFromRaw(std::string_view raw) {
    return fromRaw(raw, allSystemActions);
}
std::optional<Action::Kind> actionKindFromRaw(std::string_view raw) {
    return fromRaw(raw, Action::allKinds);
}

std::string_view label(WindowAction action) {
    switch (action) {
        case WindowAction::leftHalf:
            return "Left half";
        case WindowAction::rightHalf:
            return "Right half";
        case WindowAction::topHalf:
            return "Top half";
        case WindowAction::bottomHalf:
            return "Bottom half";
        case WindowAction::topLeft:
            return "Top-left quarter";
        case WindowAction::topRight:
            return "Top-right quarter";
        case WindowAction::bottomLeft:
            return "Bottom-left quarter";
        case WindowAction::bottomRight:
            return "Bottom-right quarter";
        case WindowAction::leftThird:
            return "Left third";
        case WindowAction::centerThird:
            return "Center third";
        case WindowAction::rightThird:
            return "Right third";
        case WindowAction::leftTwoThirds:
            return "Left two thirds";
        case WindowAction::rightTwoThirds:
            return "Right two thirds";
        case WindowAction::maximize:
            return "Maximize";
        case WindowAction::center:
            return "Center";
        case WindowAction::nextDisplay:
            return "Move to next display";
    }
    return "";
}

std::string_view label(SystemAction action) {
    switch (action) {
        case SystemAction::missionControl:
            return "Mission Control";
        case SystemAction::appWindows:
            return "Show app windows";
        case SystemAction::showDesktop:
            return "Show desktop";
        case SystemAction::lockScreen:
            return "Lock screen";
        case SystemAction::sleepDisplay:
            return "Sleep display";
        case SystemAction::playPause:
            return "Play / pause";
        case SystemAction::nextTrack:
            return "Next track";
        case SystemAction::previousTrack:
            return "Previous track";
        case SystemAction::volumeUp:
            return "Volume up";
        case SystemAction::volumeDown:
            return "Volume down";
        case SystemAction::mute:
            return "Mute";
        case SystemAction::middleClick:
            return "Middle click";
    }
    return "";
}

std::string Trigger::label() const {
    switch (kind()) {
        case Kind::hotkey:
            return asHotkey()->label();
        case Kind::trackpad:
            return asTrackpad()->label();
        case Kind::mouse:
            return mouseButtonLabel(*asMouseButton());
        case Kind::drawing:
            return asDrawing()->name.empty() ? std::string("Drawing") : asDrawing()->name;
    }
    return "";
}

std::string Action::label() const {
    return std::visit(
        [](const auto& p) -> std::string {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, WindowAction>) {
                return "Window: " + std::string(ombrel::label(p));
            } else if constexpr (std::is_same_v<T, SystemAction>) {
                return std::string(ombrel::label(p));
            } else if constexpr (std::is_same_v<T, KeyCombo>) {
                return "Press " + p.label();
            } else if constexpr (std::is_same_v<T, LaunchApp>) {
                return "Open " + applicationName(p.path);
            } else if constexpr (std::is_same_v<T, OpenURL>) {
                return "Open " + p.text;
            } else {
                return "Run: " + p.command;
            }
        },
        payload);
}

Uuid Uuid::random() {
    std::random_device device;
    Uuid id;
    for (std::size_t i = 0; i < id.bytes.size(); i += 4) {
        const uint32_t word = device();
        for (std::size_t j = 0; j < 4; ++j) {
            id.bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
        }
    }
    // Version 4, variant 1: a random UUID by the usual form.
    id.bytes[6] = static_cast<uint8_t>((id.bytes[6] & 0x0F) | 0x40);
    id.bytes[8] = static_cast<uint8_t>((id.bytes[8] & 0x3F) | 0x80);
    return id;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
        text[23] != '-') {
        return std::nullopt;
    }
    // Read for every rule of a settings file: a table per character, no branch per digit.
    static constexpr auto value = [] {
        std::array<uint8_t, 256> table{};
        table.fill(0x10);  // not a digit
        for (char c = '0'; c <= '9'; ++c) {
            table[static_cast<unsigned char>(c)] = static_cast<uint8_t>(c - '0');
        }
        for (char c = 'a'; c <= 'f'; ++c) {
            table[static_cast<unsigned char>(c)] = static_cast<uint8_t>(c - 'a' + 10);
            table[static_cast<unsigned char>(c - 'a' + 'A')] = static_cast<uint8_t>(c - 'a' + 10);
        }
        return table;
    }();
    // Where each byte's two digits begin.
    static constexpr std::array<uint8_t, 16> at = {0,  2,  4,  6,  9,  11, 14, 16,
                                                   19, 21, 24, 26, 28, 30, 32, 34};
    Uuid id;
    unsigned invalid = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        const uint8_t high = value[static_cast<unsigned char>(text[at[i]])];
        const uint8_t low = value[static_cast<unsigned char>(text[at[i] + 1U])];
        invalid |= high | low;
        id.bytes[i] = static_cast<uint8_t>((high << 4) | (low & 0x0F));
    }
    if ((invalid & 0x10) != 0) {
        return std::nullopt;
    }
    return id;
}

std::string Uuid::string() const {
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out += '-';
        }
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

Rule Rule::make(Trigger trigger, Action action, std::optional<std::string> appBundleID,
                bool enabled) {
    return Rule{Uuid::random(), std::move(trigger), std::move(action), std::move(appBundleID),
                enabled};
}

Config Config::starter() {
    const Mods controlOption{Mods::control | Mods::option};
    auto key = [&](int64_t code, WindowAction action) {
        return Rule::make(Trigger::hotkey({code, controlOption}), Action::window(action),
                          std::nullopt, true);
    };
    auto tap = [](int64_t fingers, Action action) {
        return Rule::make(Trigger::trackpad({TrackpadGesture::Kind::tap, fingers}),
                          std::move(action), std::nullopt, true);
    };
    Config config;
    config.engineEnabled = true;
    config.snapEnabled = true;
    config.drawMods = controlOption;
    config.bindings = {
        key(123, WindowAction::leftHalf),
        key(124, WindowAction::rightHalf),
        key(126, WindowAction::topHalf),
        key(125, WindowAction::bottomHalf),
        key(36, WindowAction::maximize),
        key(8, WindowAction::center),
        tap(3, Action::system(SystemAction::middleClick)),
        tap(4, Action::window(WindowAction::maximize)),
        tap(5, Action::system(SystemAction::playPause)),
        Rule::make(Trigger::mouseButton(3), Action::system(SystemAction::missionControl),
                   std::nullopt, false),
    };
    return config;
}

std::size_t hashValue(const Trigger& trigger) {
    std::size_t seed = trigger.payload.index();
    std::visit(
        [&](const auto& p) {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, KeyCombo>) {
                combine(seed, std::hash<int64_t>{}(p.keyCode));
                combine(seed, std::hash<int64_t>{}(p.mods.rawValue));
            } else if constexpr (std::is_same_v<T, TrackpadGesture>) {
                combine(seed, static_cast<std::size_t>(p.kind));
                combine(seed, std::hash<int64_t>{}(p.fingers));
            } else if constexpr (std::is_same_v<T, Trigger::MouseButton>) {
                combine(seed, std::hash<int64_t>{}(p.button));
            } else {
                combine(seed, std::hash<std::string>{}(p.name));
                for (const Pt& pt : p.points) {
                    combine(seed, hashDouble(pt.x));
                    combine(seed, hashDouble(pt.y));
                }
            }
        },
        trigger.payload);
    return seed;
}

std::size_t hashValue(const Action& action) {
    std::size_t seed = action.payload.index();
    std::visit(
        [&](const auto& p) {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, WindowAction> || std::is_same_v<T, SystemAction>) {
                combine(seed, static_cast<std::size_t>(p));
            } else if constexpr (std::is_same_v<T, KeyCombo>) {
                combine(seed, std::hash<int64_t>{}(p.keyCode));
                combine(seed, std::hash<int64_t>{}(p.mods.rawValue));
            } else if constexpr (std::is_same_v<T, Action::LaunchApp>) {
                combine(seed, std::hash<std::string>{}(p.path));
            } else if constexpr (std::is_same_v<T, Action::OpenURL>) {
                combine(seed, std::hash<std::string>{}(p.text));
            } else {
                combine(seed, std::hash<std::string>{}(p.command));
            }
        },
        action.payload);
    return seed;
}

std::size_t hashValue(const Rule& rule) {
    std::size_t seed = 0;
    for (uint8_t b : rule.id.bytes) {
        combine(seed, b);
    }
    combine(seed, hashValue(rule.trigger));
    combine(seed, hashValue(rule.action));
    combine(seed, rule.appBundleID ? std::hash<std::string>{}(*rule.appBundleID) + 1 : 0);
    combine(seed, rule.enabled ? 1 : 0);
    return seed;
}

}  // namespace ombrel
