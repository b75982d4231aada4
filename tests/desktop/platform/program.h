// The whole program as the composition root builds it, on the test's X display with a settings
// folder of its own and no touchpads (the machine's own pads stay out of the tests), and the
// test's own view of the displays: what the input tests drive in this process and the engine host
// runs in a process of its own. The test's thread is the GUI thread.
#pragma once

#include <filesystem>
#include <string>

#include "app/services.h"
#include "config/json_codec.h"
#include "config/store.h"
#include "fakes/fake_touchpads.h"
#include "platform/linux/overlays/snap_overlay.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_window_system.h"
#include "support/temp_dir.h"

namespace ombrel::platform_test {

struct Program {
    // An empty display name is $DISPLAY.
    explicit Program(const std::filesystem::path& folder, const std::string& display = {})
        : services({.settingsFolder = folder,
                    .desktop = {.display = display,
                                .touchpads = pads.watch(),
                                .openTouchpad = pads.opener()}}),
          x(display) {}

    // Starts the input thread; tapInstalled() tells when its grabs hold.
    void start() { services.start(); }
    [[nodiscard]] bool tapInstalled() { return threads.grabsInPlace(); }
    // The target the snap preview shows now, if any.
    [[nodiscard]] const std::optional<Rect>& snapShown() { return services.snapOverlay().shown(); }

    // None at first: the machine's own pads stay out of the tests. Those announced have 5 slots.
    fake::FakeTouchpads pads{{5, {0, 1000}, {0, 1000}, false, true, 0b111110}};
    Services services;
    Store& store = services.store();
    app::Threads& threads = services.threads();
    // The test's own view of the displays.
    linux_platform::XConnection x;
    linux_platform::X11WindowSystem windows{x};
};

// The rules of the input tests, in the settings file's own form (input_rules.json next to the
// tests): control+option with Left, Right and Return place the window (Up only in another
// application), K sends itself again, J sends F5, S sends control+shift+A, P plays, M clicks the
// middle button, T places the window; the middle button sends F6, back (X button 8) places the
// window, a rule for the right button; a three-finger tap runs a command.
inline Config inputRules() {
    const auto file = std::filesystem::path(__FILE__).parent_path() / "input_rules.json";
    return std::get<Config>(decodeConfig(test::readFile(file)));
}

}  // namespace ombrel::platform_test
