// The twelve system functions: the desktop shell's overviews, lock, display sleep, media keys
// and a middle click, each done through what the desktop already offers.
#include <cstdint>
#include <optional>

#include "actions/action_runner.h"

namespace ombrel {
namespace {

// Control+command+Q locks the screen where no lock program is named.
constexpr KeyCombo lockKeystroke{12, Mods(Mods::control | Mods::command)};

constexpr int64_t centreButton = 2;

}  // namespace

void ActionRunner::runDesktopShell(DesktopShell::Request request) {
    if (shell_.send(request)) {
        return;
    }
    const std::optional<Command>* fallback = nullptr;
    switch (request) {
        case DesktopShell::Request::missionControl:
            fallback = &programs_.missionControlFallback;
            break;
        case DesktopShell::Request::appWindows:
            fallback = &programs_.appWindowsFallback;
            break;
        case DesktopShell::Request::showDesktop:
            fallback = &programs_.showDesktopFallback;
            break;
    }
    if (fallback != nullptr && fallback->has_value()) {
        launchProcess((*fallback)->executable, (*fallback)->arguments);
    }
}

void ActionRunner::runSystem(SystemAction action) {
    switch (action) {
        case SystemAction::missionControl:
            runDesktopShell(DesktopShell::Request::missionControl);
            return;
        case SystemAction::appWindows:
            runDesktopShell(DesktopShell::Request::appWindows);
            return;
        case SystemAction::showDesktop:
            runDesktopShell(DesktopShell::Request::showDesktop);
            return;
        case SystemAction::lockScreen:
            if (programs_.lockScreen) {
                launchProcess(programs_.lockScreen->executable, programs_.lockScreen->arguments);
            } else {
                postKeystroke(lockKeystroke);
            }
            return;
        case SystemAction::sleepDisplay:
            launchProcess(programs_.sleepDisplay.executable, programs_.sleepDisplay.arguments);
            return;
        case SystemAction::playPause:
            poster_.postMediaKey(MediaKey::playPause);
            return;
        case SystemAction::nextTrack:
            poster_.postMediaKey(MediaKey::next);
            return;
        case SystemAction::previousTrack:
            poster_.postMediaKey(MediaKey::previous);
            return;
        case SystemAction::volumeUp:
            poster_.postMediaKey(MediaKey::volumeUp);
            return;
        case SystemAction::volumeDown:
            poster_.postMediaKey(MediaKey::volumeDown);
            return;
        case SystemAction::mute:
            poster_.postMediaKey(MediaKey::mute);
            return;
        case SystemAction::middleClick:
            middleClick();
            return;
    }
}

void ActionRunner::middleClick() {
    poster_.postClick(centreButton, poster_.pointerLocation().value_or(Point{0, 0}));
}

SystemPrograms macPrograms() {
    const std::string missionControl =
        "/System/Applications/Mission Control.app/Contents/MacOS/Mission Control";
    SystemPrograms p;
    p.shell = "/bin/zsh";
    p.shellArguments = {"-lc"};
    p.lockScreen = std::nullopt;
    p.sleepDisplay = Command{"/usr/bin/pmset", {"displaysleepnow"}};
    p.missionControlFallback = Command{missionControl, {}};
    p.appWindowsFallback = Command{missionControl, {"2"}};
    p.showDesktopFallback = Command{missionControl, {"1"}};
    return p;
}

}  // namespace ombrel
