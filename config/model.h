// The bindings model: plain values that every other part of Ombrel passes around.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ombrel {

// A set of modifier keys as bits of one integer. Any integer is kept as is; only four bits mean
// something, and matching always compares the whole integer.
struct Mods {
    int64_t rawValue = 0;

    static constexpr int64_t command = 1;
    static constexpr int64_t option = 2;
    static constexpr int64_t control = 4;
    static constexpr int64_t shift = 8;

    constexpr Mods() = default;
    constexpr explicit Mods(int64_t raw) : rawValue(raw) {}

    [[nodiscard]] constexpr bool empty() const { return rawValue == 0; }
    [[nodiscard]] constexpr bool contains(int64_t bits) const { return (rawValue & bits) == bits; }
    [[nodiscard]] constexpr Mods unite(Mods o) const { return Mods(rawValue | o.rawValue); }
    [[nodiscard]] constexpr Mods intersect(Mods o) const { return Mods(rawValue & o.rawValue); }
    constexpr void insert(int64_t bits) { rawValue |= bits; }
    constexpr void remove(int64_t bits) { rawValue &= ~bits; }

    // The glyphs of the members present, always in the order ⌃ ⌥ ⇧ ⌘, no separator.
    [[nodiscard]] std::string glyphs() const;

    friend constexpr bool operator==(Mods, Mods) = default;
};

struct KeyCombo {
    int64_t keyCode = 0;
    Mods mods;

    [[nodiscard]] std::string label() const;
    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;
};

struct TrackpadGesture {
    enum class Kind {
        tap,
        swipeUp,
        swipeDown,
        swipeLeft,
        swipeRight,
        click,
        tipTapLeft,
        tipTapRight
    };
    static constexpr std::array<Kind, 8> allKinds = {
        Kind::tap,        Kind::swipeUp, Kind::swipeDown,  Kind::swipeLeft,
        Kind::swipeRight, Kind::click,   Kind::tipTapLeft, Kind::tipTapRight};

    Kind kind = Kind::tap;
    int64_t fingers = 0;

    [[nodiscard]] std::string label() const;
    friend bool operator==(const TrackpadGesture&, const TrackpadGesture&) = default;
};

struct Pt {
    double x = 0;
    double y = 0;
    friend bool operator==(const Pt&, const Pt&) = default;
};

struct Drawing {
    std::string name;
    std::vector<Pt> points;
    friend bool operator==(const Drawing&, const Drawing&) = default;
};

enum class WindowAction {
    leftHalf,
    rightHalf,
    topHalf,
    bottomHalf,
    topLeft,
    topRight,
    bottomLeft,
    bottomRight,
    leftThird,
    centerThird,
    rightThird,
    leftTwoThirds,
    rightTwoThirds,
    maximize,
    center,
    nextDisplay,
};
inline constexpr std::array<WindowAction, 16> allWindowActions = {
    WindowAction::leftHalf,       WindowAction::rightHalf,   WindowAction::topHalf,
    WindowAction::bottomHalf,     WindowAction::topLeft,     WindowAction::topRight,
    WindowAction::bottomLeft,     WindowAction::bottomRight, WindowAction::leftThird,
    WindowAction::centerThird,    WindowAction::rightThird,  WindowAction::leftTwoThirds,
    WindowAction::rightTwoThirds, WindowAction::maximize,    WindowAction::center,
    WindowAction::nextDisplay};

enum class SystemAction {
    missionControl,
    appWindows,
    showDesktop,
    lockScreen,
    sleepDisplay,
    playPause,
    nextTrack,
    previousTrack,
    volumeUp,
    volumeDown,
    mute,
    middleClick,
};
inline constexpr std::array<SystemAction, 12> allSystemActions = {
    SystemAction::missionControl, SystemAction::appWindows,    SystemAction::showDesktop,
    SystemAction::lockScreen,     SystemAction::sleepDisplay,  SystemAction::playPause,
    SystemAction::nextTrack,      SystemAction::previousTrack, SystemAction::volumeUp,
    SystemAction::volumeDown,     SystemAction::mute,          SystemAction::middleClick};

// Raw values (the case names) and their inverse; an unknown string gives nothing.
std::string_view rawValue(TrackpadGesture::Kind kind);
std::string_view rawValue(WindowAction action);
std::string_view rawValue(SystemAction action);
std::optional<TrackpadGesture::Kind> gestureKindFromRaw(std::string_view raw);
std::optional<WindowAction> windowActionFromRaw(std::string_view raw);
std::optional<SystemAction> systemActionFromRaw(std::string_view raw);

std::string_view label(WindowAction action);
std::string_view label(SystemAction action);

// The name of a virtual key code, from the fixed 76-entry table, else "Key <code>".
std::string keyName(int64_t keyCode);
// "Middle button", "Button 4 (back)", "Button 5 (forward)", else "Button <n+1>".
std::string mouseButtonLabel(int64_t button);

// What fires a rule: one case with its payload.
struct Trigger {
    enum class Kind { hotkey, trackpad, mouse, drawing };
    struct MouseButton {
        int64_t button = 0;
        friend bool operator==(const MouseButton&, const MouseButton&) = default;
    };
    using Payload = std::variant<KeyCombo, TrackpadGesture, MouseButton, Drawing>;

    Payload payload;

    static Trigger hotkey(KeyCombo combo) { return {combo}; }
    static Trigger trackpad(TrackpadGesture gesture) { return {gesture}; }
    static Trigger mouseButton(int64_t button) { return {MouseButton{button}}; }
    static Trigger drawing(Drawing drawing) { return {std::move(drawing)}; }

    [[nodiscard]] Kind kind() const { return static_cast<Kind>(payload.index()); }
    [[nodiscard]] std::string label() const;

    // Typed access; nullptr when the trigger is another case.
    [[nodiscard]] const KeyCombo* asHotkey() const { return std::get_if<KeyCombo>(&payload); }
    [[nodiscard]] const TrackpadGesture* asTrackpad() const {
        return std::get_if<TrackpadGesture>(&payload);
    }
    [[nodiscard]] const int64_t* asMouseButton() const {
        const auto* b = std::get_if<MouseButton>(&payload);
        return b ? &b->button : nullptr;
    }
    [[nodiscard]] const Drawing* asDrawing() const { return std::get_if<Drawing>(&payload); }

    friend bool operator==(const Trigger&, const Trigger&) = default;
};

// What a rule does: one case with its payload.
struct Action {
    enum class Kind { window, system, keystroke, launchApp, openURL, shell };
    static constexpr std::array<Kind, 6> allKinds = {
        Kind::window, Kind::system, Kind::keystroke, Kind::launchApp, Kind::openURL, Kind::shell};
    struct LaunchApp {
        std::string path;
        friend bool operator==(const LaunchApp&, const LaunchApp&) = default;
    };
    struct OpenURL {
        std::string text;
        friend bool operator==(const OpenURL&, const OpenURL&) = default;
    };
    struct Shell {
        std::string command;
        friend bool operator==(const Shell&, const Shell&) = default;
    };
    using Payload = std::variant<WindowAction, SystemAction, KeyCombo, LaunchApp, OpenURL, Shell>;

    Payload payload;

    static Action window(WindowAction a) { return {a}; }
    static Action system(SystemAction a) { return {a}; }
    static Action keystroke(KeyCombo combo) { return {combo}; }
    static Action launchApp(std::string path) { return {LaunchApp{std::move(path)}}; }
    static Action openURL(std::string text) { return {OpenURL{std::move(text)}}; }
    static Action shell(std::string command) { return {Shell{std::move(command)}}; }

    [[nodiscard]] Kind kind() const { return static_cast<Kind>(payload.index()); }
    [[nodiscard]] std::string label() const;

    friend bool operator==(const Action&, const Action&) = default;
};

std::string_view rawValue(Action::Kind kind);
std::optional<Action::Kind> actionKindFromRaw(std::string_view raw);

// A 128-bit rule identity, written as 36 upper-case characters.
struct Uuid {
    std::array<uint8_t, 16> bytes{};

    static Uuid random();
    // Case-insensitive; nothing for anything but the 8-4-4-4-12 hexadecimal form.
    static std::optional<Uuid> parse(std::string_view text);
    [[nodiscard]] std::string string() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

struct Rule {
    Uuid id;
    Trigger trigger;
    Action action;
    std::optional<std::string> appBundleID;
    bool enabled = true;

    // A new rule with a fresh random id.
    static Rule make(Trigger trigger, Action action, std::optional<std::string> appBundleID,
                     bool enabled);

    friend bool operator==(const Rule&, const Rule&) = default;
};

struct Config {
    bool engineEnabled = true;
    bool snapEnabled = true;
    Mods drawMods{Mods::control | Mods::option};
    std::vector<Rule> bindings;

    // The starter set: ten rules, each with a fresh id.
    static Config starter();

    friend bool operator==(const Config&, const Config&) = default;
};

// Hashing follows equality, field by field.
std::size_t hashValue(const Trigger& trigger);
std::size_t hashValue(const Action& action);
std::size_t hashValue(const Rule& rule);

}  // namespace ombrel

template <>
struct std::hash<ombrel::Trigger> {
    std::size_t operator()(const ombrel::Trigger& t) const { return ombrel::hashValue(t); }
};
template <>
struct std::hash<ombrel::Action> {
    std::size_t operator()(const ombrel::Action& a) const { return ombrel::hashValue(a); }
};
template <>
struct std::hash<ombrel::Rule> {
    std::size_t operator()(const ombrel::Rule& r) const { return ombrel::hashValue(r); }
};
