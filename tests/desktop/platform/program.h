// The whole program as the composition root builds it, on the test's X display with a settings
// folder of its own and no touchpads (the machine's own pads stay out of the tests), and the
// test's own view of the displays: what the input tests drive in this process and the engine host
// runs in a process of its own. The test's thread is the GUI thread.
#pragma once

#include <filesystem>
#include <string>

#include "app/services.h"
#include "config/store.h"
#include "fakes/fake_touchpads.h"
#include "platform/linux/overlays/snap_overlay.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_window_system.h"

namespace ombrel::platform_test {

struct Program {
    // On $DISPLAY.
    explicit Program(const std::filesystem::path& folder)
        : services({.settingsFolder = folder,
                    .desktop = {.touchpads = pads.watch(), .openTouchpad = pads.opener()}}) {}

    // Starts the input thread; tapInstalled() tells when its grabs hold.
    void start() { services.start(); }
    [[nodiscard]] bool tapInstalled() { return threads.grabsInPlace(); }

    // None at first: the machine's own pads stay out of the tests. Those announced have 5 slots.
    fake::FakeTouchpads pads{{5, {0, 1000}, {0, 1000}, false, true, 0b111110}};
    Services services;
    Store& store = services.store();
    app::Threads& threads = services.threads();
    // The test's own view of the displays.
    linux_platform::XConnection x;
    linux_platform::X11WindowSystem windows{x};
};

// Control+option with Left, Right and Return place the window (Up only in another application),
// K sends itself again, J sends F5, P plays, M clicks the middle button, T places the window;
// the middle button sends F6, back (X button 8) places the window, a rule for the right button.
inline Config inputRules() {
    constexpr Mods co(Mods::control | Mods::option);
    const auto key = [co](int64_t code) { return Trigger::hotkey({code, co}); };
    const auto place = [](WindowAction a) { return Action::window(a); };
    Config config;
    const std::pair<Trigger, Action> rules[] = {
        {key(123), place(WindowAction::leftHalf)},
        {key(124), place(WindowAction::rightHalf)},
        {key(126), place(WindowAction::maximize)},
        {key(36), place(WindowAction::maximize)},
        {key(40), Action::keystroke({40, co})},
        {key(38), Action::keystroke({96, Mods()})},
        {key(35), Action::system(SystemAction::playPause)},
        {key(46), Action::system(SystemAction::middleClick)},
        {key(17), place(WindowAction::leftHalf)},
        {Trigger::mouseButton(2), Action::keystroke({97, Mods()})},
        {Trigger::mouseButton(3), place(WindowAction::rightHalf)},
        {Trigger::mouseButton(1), place(WindowAction::leftHalf)}};
    for (const auto& [trigger, action] : rules) {
        const bool elsewhere = trigger == key(126);
        config.bindings.push_back(
            Rule::make(trigger, action,
                       elsewhere ? std::optional<std::string>("OtherApp") : std::nullopt, true));
    }
    // Down with control in eight mixes: a key bound in that many is grabbed whole.
    for (int64_t more = 0; more < 8; ++more) {
        const Mods mods(Mods::control | ((more & 1) * Mods::option) |
                        ((more & 2) * Mods::shift / 2) | ((more & 4) * Mods::command / 4));
        config.bindings.push_back(Rule::make(Trigger::hotkey({125, mods}),
                                             place(WindowAction::leftHalf), std::nullopt, true));
    }
    return config;
}

}  // namespace ombrel::platform_test
