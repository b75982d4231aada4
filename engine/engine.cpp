// The input engine: the tap, the per-event decision, the rule dispatch and the grabs the tap must
// hold. The state machines it feeds live in their own files.
#include "engine/engine.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "drawing/shape_matcher.h"
#include "engine/decision_log.h"
#include "platform/log.h"

namespace ombrel {

std::string takenNotice(const std::vector<Trigger>& taken) {
    std::size_t keys = 0;
    for (const Trigger& t : taken) {
        keys += t.asHotkey() != nullptr ? 1 : 0;
    }
    const std::size_t buttons = taken.size() - keys;
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string what;
    if (keys > 0) {
        what = count(keys, "shortcut", "shortcuts");
    }
    if (buttons > 0) {
        what += (what.empty() ? "" : " and ") + count(buttons, "mouse button", "mouse buttons");
    }
    if (what.empty()) {
        return {};
    }
    return what +
           (taken.size() == 1 ? " is taken by another program." : " are taken by other programs.");
}

Engine::Engine(const SettingsFeed& settings, ActionQueue& actions, WindowManager& windows,
               EventTap& tap, Workspace& workspace, TaskQueue& queue, StrokeOverlay& strokeOverlay,
               SnapOverlay& snapOverlay)
    : feed_(settings),
      actions_(actions),
      tap_(tap),
      workspace_(workspace),
      queue_(queue),
      generation_(settings.generation()),
      settings_(settings.load()),
      strokes_(strokeOverlay),
      snapper_(windows, snapOverlay),
      self_(std::make_shared<Engine*>(this)) {
    swallowedButtons_.reserve(8);
    driverClicks_.followRules(settings_->tapFingers, settings_->clickFingers);
}

Engine::~Engine() = default;

void Engine::start() {
    if (started_) {
        return;
    }
    started_ = true;
    // Grabs placed a few at a time report what is taken once they all are.
    tap_.onGrabsPlaced([weak = std::weak_ptr<Engine*>(self_)](const TakenGrabs& taken) {
        if (const auto self = weak.lock()) {
            (*self)->takeTaken(taken);
        }
    });
    refreshGrabs(true);
    checkInput();
}

void Engine::followSettings() {
    const uint64_t generation = feed_.generation();
    if (generation == generation_) {
        return;
    }
    generation_ = generation;
    std::shared_ptr<const SettingsSnapshot> latest = feed_.load();
    if (latest == settings_) {
        return;
    }
    settings_ = std::move(latest);
    driverClicks_.followRules(settings_->tapFingers, settings_->clickFingers);
    if (started_) {
        refreshGrabs(true);
    }
}

void Engine::checkInput() {
    followSettings();
    const bool available = tap_.inputAvailable();
    if (available != inputAvailable_) {
        inputAvailable_ = available;
        notifyState();
    }
    if (inputAvailable_ && !tapInstalled_) {
        installTap();
    } else if (tapInstalled_) {
        // A grab another program held may be free now.
        sendGrabs();
    }
}

void Engine::installTap() {
    // The engine outlives the tap's use of it: both live on the input thread until it ends.
    if (!tap_.install([this](const InputEvent& event) { return handle(event); })) {
        return;
    }
    tapInstalled_ = true;
    grabsSent_ = false;
    refreshGrabs(false);
    notifyState();
}

Subscription Engine::observeState(std::function<void()> observer) {
    return stateChanged_.subscribe(
        [observer = std::move(observer)](const StateChange&) { observer(); });
}

void Engine::notifyState() {
    stateChanged_.publish(StateChange{});
}

void Engine::setRecording(bool recording) {
    if (recording == recording_) {
        return;
    }
    recording_ = recording;
    refreshGrabs(false);
}

bool Engine::handle(const InputEvent& event) {
    now_ = event.time;
    fired_ = nullptr;
    followSettings();
    const bool swallowed = decide(event);
    if (log::decisions()) {
        log::decision(decisionLine(event, swallowed, fired_));
    }
    return swallowed;
}

bool Engine::decide(const InputEvent& event) {
    switch (event.kind) {
        case InputKind::pointerMoved:
            strokes_.move(event.location);
            return false;
        case InputKind::leftDragged: {
            if (swallowLeftUp_) {
                return true;
            }
            strokes_.move(event.location);
            const bool tracking = snapper_.tracking();
            snapper_.drag(event.location, event.time,
                          config().engineEnabled && config().snapEnabled);
            if (snapper_.tracking() != tracking) {
                refreshGrabs(false);
            }
            return false;
        }
        case InputKind::leftDown:
            return handleLeftDown(event);
        case InputKind::leftUp:
            return handleLeftUp();
        case InputKind::keyDown:
            return handleKeyDown(event);
        case InputKind::modifiersChanged:
            return handleModifiers(event);
        case InputKind::buttonDown:
            return handleButtonDown(event);
        case InputKind::buttonUp:
            return handleButtonUp(event);
    }
    return false;
}

bool Engine::handleLeftDown(const InputEvent& event) {
    const int64_t fingers = recognizer_.fingersDown();
    bool taken = false;
    if (event.touchpad && !event.own) {
        taken = touchpadPress(event);
    } else if (fingers >= 3 &&
               fire(Trigger::trackpad(TrackpadGesture{TrackpadGesture::Kind::click, fingers}))) {
        recognizer_.handledAsClick();
        taken = true;
    }
    if (taken) {
        swallowLeftUp_ = true;
        snapper_.cancel();
    } else {
        snapper_.press(event.location);
    }
    refreshGrabs(false);
    return taken;
}

bool Engine::handleLeftUp() {
    if (swallowLeftUp_) {
        swallowLeftUp_ = false;
        return true;
    }
    if (const std::optional<DragSnapper::Snap> snap = snapper_.release()) {
        // Written after the release has reached the application, which otherwise may put the
        // window back where the pointer left it; by the worker, since the window manager may be
        // slow to answer. Nothing goes into the placement memory.
        queue_.postAfter(releaseDelay, [&actions = actions_, snap = *snap] {
            actions.setFrame(snap.window, snap.frame);
        });
    }
    refreshGrabs(false);
    return false;
}

bool Engine::handleKeyDown(const InputEvent& event) {
    // The program's own keystrokes pass unmatched, so one that sends its own trigger cannot loop.
    if (event.own) {
        return false;
    }
    if (strokes_.drawing()) {
        strokes_.cancel();
        refreshGrabs(false);
    }
    if (!settings_->mayBindKey(event.keyCode)) {
        return false;  // most keys typed: bound to nothing, known without a search
    }
    const Trigger trigger = Trigger::hotkey(KeyCombo{event.keyCode, event.mods});
    if (!event.autorepeat) {
        return fire(trigger);
    }
    // Holding a bound shortcut runs its action once; its repeats never reach the application.
    return active() && ruleFor(trigger) != nullptr;
}

bool Engine::handleModifiers(const InputEvent& event) {
    const bool drawing = strokes_.drawing();
    const bool ended = strokes_.modifiers(event.mods, event.location, config().drawMods,
                                          active() && !settings_->drawings.empty());
    if (strokes_.drawing() != drawing) {
        refreshGrabs(false);
    }
    if (ended) {
        if (std::optional<Drawing> match =
                ShapeMatcher::match(strokes_.points(), settings_->drawings)) {
            fire(Trigger::drawing(std::move(*match)));
        }
    }
    return false;
}

bool Engine::handleButtonDown(const InputEvent& event) {
    if (event.touchpad && !event.own && touchpadPress(event)) {
        driverClicks_.pressTaken(event.button);
        return true;
    }
    // Button rules start at the centre button: the left and the right one never fire.
    if (event.own || event.button < 2) {
        return false;
    }
    if (!fire(Trigger::mouseButton(event.button))) {
        return false;
    }
    if (std::find(swallowedButtons_.begin(), swallowedButtons_.end(), event.button) ==
        swallowedButtons_.end()) {
        swallowedButtons_.push_back(event.button);
    }
    return true;
}

bool Engine::handleButtonUp(const InputEvent& event) {
    if (event.touchpad && driverClicks_.release(event.button)) {
        return true;
    }
    const auto it = std::find(swallowedButtons_.begin(), swallowedButtons_.end(), event.button);
    if (it == swallowedButtons_.end()) {
        return false;
    }
    swallowedButtons_.erase(it);
    return true;
}

bool Engine::touchpadPress(const InputEvent& event) {
    const DriverClicks::Plan plan =
        driverClicks_.press(tap_.touchpadDriver(), event.button, recognizer_, event.time);
    if (plan.take) {
        return true;
    }
    using Kind = TrackpadGesture::Kind;
    if ((plan.click > 0 && fire(Trigger::trackpad(TrackpadGesture{Kind::click, plan.click}))) ||
        (plan.tap > 0 && fire(Trigger::trackpad(TrackpadGesture{Kind::tap, plan.tap})))) {
        // The touch sequence that made the click reports no tap, swipe or tip-tap afterwards.
        recognizer_.handledAsClick();
        return true;
    }
    return false;
}

void Engine::touchFrame(std::span<const TouchPoint> touching, double time) {
    now_ = time;
    fired_ = nullptr;
    followSettings();
    if (const std::optional<TrackpadGesture> gesture = recognizer_.feed(touching, time)) {
        if (fire(Trigger::trackpad(*gesture)) && gesture->kind == TrackpadGesture::Kind::tap) {
            tapFired(gesture->fingers);
        }
        if (log::decisions()) {
            log::decision(gestureLine(*gesture, fired_));
        }
    }
    // A click with three or more fingers resting must be swallowable, so the grab follows the
    // finger count.
    refreshGrabs(false);
}

void Engine::tapFired(int64_t fingers) {
    driverClicks_.tapFired(tap_.touchpadDriver(), fingers, now_);
    // The frame's own refresh grabs for the window; this one lets go once it has closed.
    const double closes = now_ + DriverClicks::tapWindow;
    queue_.postAfter(DriverClicks::tapWindow, [weak = std::weak_ptr<Engine*>(self_), closes] {
        if (const auto self = weak.lock()) {
            (*self)->now_ = std::max((*self)->now_, closes);
            (*self)->refreshGrabs(false);
        }
    });
}

const Rule* Engine::ruleFor(const Trigger& trigger) {
    std::optional<std::string> front;
    return settings_->matchingRuleAskingFront(trigger, [&]() -> std::optional<std::string_view> {
        front = workspace_.frontmostApplicationID();
        return front ? std::optional<std::string_view>(*front) : std::nullopt;
    });
}

bool Engine::fire(const Trigger& trigger) {
    if (!active()) {
        return false;
    }
    const Rule* rule = ruleFor(trigger);
    if (rule == nullptr) {
        return false;
    }
    // Never run inside the event decision: the verdict is given first, the action runs on the
    // worker. A dropped action (the worker far behind) still counts as fired: the event was the
    // binding's.
    actions_.perform(rule->action);
    fired_ = rule;
    return true;
}

void Engine::refreshGrabs(bool listsChanged) {
    const Config& config = this->config();
    // With the engine off or the recorder capturing, nothing can fire, so nothing is grabbed and
    // the recorder sees every key.
    const bool active = this->active();
    const int64_t fingers = recognizer_.fingersDown();
    const bool leftPress = active && fingers >= 3 && fingers < 64 &&
                           ((settings_->clickFingers >> fingers) & uint64_t{1}) != 0;
    const bool pointerMotion =
        strokes_.drawing() || (snapper_.tracking() && config.engineEnabled && config.snapEnabled);
    const bool touchpadButtons =
        active && driverClicks_.wantsGrab(tap_.touchpadDriver(), recognizer_, now_);
    const std::optional<Mods> strokeMods =
        active && !settings_->drawings.empty() ? std::optional(config.drawMods) : std::nullopt;

    bool changed = !grabsSent_;
    if (listsChanged || active != grabsActive_) {
        grabsActive_ = active;
        const auto& hotkeys = settings_->hotkeys;
        const auto& buttons = settings_->buttons;
        if (active ? grabs_.hotkeys != hotkeys : !grabs_.hotkeys.empty()) {
            grabs_.hotkeys = active ? hotkeys : std::vector<KeyCombo>{};
            changed = true;
        }
        if (active ? grabs_.buttons != buttons : !grabs_.buttons.empty()) {
            grabs_.buttons = active ? buttons : std::vector<int64_t>{};
            changed = true;
        }
    }
    if (leftPress != grabs_.leftPress || pointerMotion != grabs_.pointerMotion ||
        touchpadButtons != grabs_.touchpadButtons || strokeMods != grabs_.strokeMods) {
        grabs_.leftPress = leftPress;
        grabs_.pointerMotion = pointerMotion;
        grabs_.touchpadButtons = touchpadButtons;
        grabs_.strokeMods = strokeMods;
        changed = true;
    }
    // A grab another program held is tried again whenever the bindings change.
    if (changed || (listsChanged && !taken_.empty())) {
        sendGrabs();
    }
}

void Engine::sendGrabs() {
    grabsSent_ = true;
    takeTaken(tap_.setGrabs(grabs_));
}

void Engine::takeTaken(const TakenGrabs& taken) {
    std::vector<Trigger> triggers;
    for (const KeyCombo& combo : taken.hotkeys) {
        triggers.push_back(Trigger::hotkey(combo));
    }
    for (int64_t button : taken.buttons) {
        triggers.push_back(Trigger::mouseButton(button));
    }
    if (triggers != taken_) {
        taken_ = std::move(triggers);
        if (!taken_.empty()) {
            std::string which;
            for (const Trigger& trigger : taken_) {
                which += (which.empty() ? "" : ", ") + trigger.label();
            }
            log::note("Held by other programs, so they cannot fire: " + which + ".");
        }
        notifyState();
    }
}

}  // namespace ombrel
