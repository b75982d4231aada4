// The twelve system functions: the desktop shell's overviews, lock, display sleep, media keys
// and a middle click, each done through what the desktop already offers.
#include <cstdint>
#include <optional>

#include "actions/action_runner.h"
#include "config/notices.h"

namespace ombrel {
namespace {

// Auxiliary (media) key numbers of the HID system.
constexpr int64_t auxSoundUp = 0;
constexpr int64_t auxSoundDown = 1;
constexpr int64_t auxMute = 7;
constexpr int64_t auxPlay = 16;
constexpr int64_t auxNext = 17;
constexpr int64_t auxPrevious = 18;

// A system-defined event of the auxiliary-control-buttons subtype; bits 8 to 15 of data1 hold
// the key state (0x0A pressed, 0x0B released).
constexpr int64_t auxSubtype = 8;
constexpr uint64_t auxPressed = 0xA00;
constexpr uint64_t auxReleased = 0xB00;

// Control+command+Q locks the screen where no lock program is named.
constexpr int64_t keyQ = 12;
constexpr uint64_t lockFlags = eventflags::control | eventflags::command;

constexpr int64_t centreButton = 2;

constexpr const char* lockTopic = "lockScreen";
constexpr const char* overviewTopic = "overview";
constexpr const char* noLocker =
    "Lock screen did nothing: no screen locker answered on this desktop.";
constexpr const char* noOverview =
    "Mission Control and application windows do nothing: this desktop offers no window "
    "overview.";

}  // namespace

void ActionRunner::say(const char* topic, const char* text) {
    if (notices_ != nullptr) {
        notices_->set(topic, text);
    }
}

void ActionRunner::runDesktopShell(DesktopShell::Request request) {
    const bool overview = request != DesktopShell::Request::showDesktop;
    if (shell_.send(request)) {
        if (overview) {
            say(overviewTopic, "");
        }
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
    } else if (overview) {
        say(overviewTopic, noOverview);
    }
}

void ActionRunner::lockScreen() {
    // Only a locker that answered counts: a request nobody acts on must not pass for a lock.
    if (shell_.lockScreen([this](bool locked) { say(lockTopic, locked ? "" : noLocker); })) {
        return;
    }
    if (programs_.lockScreen) {
        launchProcess(programs_.lockScreen->executable, programs_.lockScreen->arguments);
    } else {
        postKeyPair(keyQ, lockFlags);
    }
}

// The desktop's player and sound server first; the media keys only where neither answers.
void ActionRunner::media(DesktopShell::Player command, int64_t key) {
    if (!shell_.controlPlayer(command)) {
        postAuxKey(key);
    }
}

void ActionRunner::volume(DesktopShell::Volume change, int64_t key) {
    if (!shell_.changeVolume(change)) {
        postAuxKey(key);
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
            lockScreen();
            return;
        case SystemAction::sleepDisplay:
            if (!shell_.sleepDisplay()) {
                launchProcess(programs_.sleepDisplay.executable, programs_.sleepDisplay.arguments);
            }
            return;
        case SystemAction::playPause:
            media(DesktopShell::Player::playPause, auxPlay);
            return;
        case SystemAction::nextTrack:
            media(DesktopShell::Player::next, auxNext);
            return;
        case SystemAction::previousTrack:
            media(DesktopShell::Player::previous, auxPrevious);
            return;
        case SystemAction::volumeUp:
            volume(DesktopShell::Volume::up, auxSoundUp);
            return;
        case SystemAction::volumeDown:
            volume(DesktopShell::Volume::down, auxSoundDown);
            return;
        case SystemAction::mute:
            volume(DesktopShell::Volume::mute, auxMute);
            return;
        case SystemAction::middleClick:
            middleClick();
            return;
    }
}

void ActionRunner::postAuxKey(int64_t key) {
    for (const uint64_t state : {auxPressed, auxReleased}) {
        poster_.postAux(AuxEvent{state, auxSubtype, (key << 16) | static_cast<int64_t>(state), -1});
    }
}

void ActionRunner::middleClick() {
    const Point at = poster_.pointerLocation().value_or(Point{0, 0});
    poster_.postMouseButton(centreButton, true, at, syntheticEventMarker);
    poster_.postMouseButton(centreButton, false, at, syntheticEventMarker);
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
