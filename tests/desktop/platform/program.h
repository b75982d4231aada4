// The whole program minus its windows on the real backend, with overlays as recorders: what the
// input tests drive in this process and the engine host runs in a process of its own.
#pragma once

#include <filesystem>
#include <memory>

#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/store.h"
#include "engine/engine.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_touchpads.h"
#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/qt_main_queue.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"
#include "platform/linux/x_window_system.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel::platform_test {

// Every Linux desktop service, built in dependency order after the Qt application object.
struct Backend {
    Backend(std::unique_ptr<linux_platform::TouchpadWatch> touchpads,
            linux_platform::DeviceOpener open)
        : poster(x),
          tap(x, poster),
          windows(x),
          workspace(x),
          shell(x, queue),
          touch(std::move(touchpads), std::move(open)) {}

    linux_platform::XConnection x;
    linux_platform::QtMainQueue queue;
    linux_platform::X11EventPoster poster;
    linux_platform::X11EventTap tap;
    linux_platform::X11WindowSystem windows;
    linux_platform::LinuxWorkspace workspace;
    linux_platform::LinuxDesktopShell shell;
    linux_platform::EvdevMultitouch touch;
    SystemPrograms programs = linux_platform::linuxPrograms();
};

struct Program {
    explicit Program(const std::filesystem::path& folder)
        : store(folder),
          platform(pads.watch(), pads.opener()),
          manager(platform.windows),
          runner(manager, platform.poster, platform.workspace, platform.shell, platform.programs),
          monitor(platform.touch, platform.queue),
          engine(store, monitor, runner, manager, platform.tap, platform.workspace, platform.queue,
                 stroke, snap) {}

    // None at first: the machine's own pads stay out of the tests. Those announced have 5 slots.
    fake::FakeTouchpads pads{{5, {0, 1000}, {0, 1000}, false, true, 0b111110}};
    Store store;
    Backend platform;
    WindowManager manager;
    ActionRunner runner;
    TrackpadMonitor monitor;
    fake::FakeStrokeOverlay stroke;
    fake::FakeSnapOverlay snap;
    Engine engine;
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
    return config;
}

}  // namespace ombrel::platform_test
