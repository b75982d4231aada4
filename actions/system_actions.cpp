// The twelve system functions: the desktop shell's overviews, lock, display sleep, media keys
// and a middle click, each done through what the desktop already offers.
#include <cstdint>
#include <optional>

#include "actions/action_runner.h"
#include "config/notices.h"

namespace ombrel {
namespace {

// Control+command+Q locks the screen where no lock program is named.
constexpr KeyCombo lockKeystroke{12, Mods(Mods::control | Mods::command)};

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
        postKeystroke(lockKeystroke);
    }
}

// The desktop's player and sound server first; the media keys only where neither answers.
void ActionRunner::media(DesktopShell::Player command, MediaKey key) {
    if (!shell_.controlPlayer(command)) {
        poster_.postMediaKey(key);
    }
}

void ActionRunner::volume(DesktopShell::Volume change, MediaKey key) {
    if (!shell_.changeVolume(change)) {
        poster_.postMediaKey(key);
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
            media(DesktopShell::Player::playPause, MediaKey::playPause);
            return;
        case SystemAction::nextTrack:
            media(DesktopShell::Player::next, MediaKey::next);
            return;
        case SystemAction::previousTrack:
            media(DesktopShell::Player::previous, MediaKey::previous);
            return;
        case SystemAction::volumeUp:
            volume(DesktopShell::Volume::up, MediaKey::volumeUp);
            return;
        case SystemAction::volumeDown:
            volume(DesktopShell::Volume::down, MediaKey::volumeDown);
            return;
        case SystemAction::mute:
            volume(DesktopShell::Volume::mute, MediaKey::mute);
            return;
        case SystemAction::middleClick:
            middleClick();
            return;
    }
}

void ActionRunner::middleClick() {
    poster_.postClick(centreButton, poster_.pointerLocation().value_or(Point{0, 0}));
}

}  // namespace ombrel
