// The input engine: the permission poll and the tap, the per-event decision, the rule dispatch
// and the grabs the tap must hold. Drawing capture and drag-to-snap live in their own files.
#include "engine/engine.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

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

Engine::Engine(Store& store, TrackpadMonitor& monitor, ActionQueue& actions, WindowManager& windows,
               EventTap& tap, Workspace& workspace, TaskQueue& queue, StrokeOverlay& strokeOverlay,
               SnapOverlay& snapOverlay)
    : store_(store),
      monitor_(monitor),
      actions_(actions),
      windows_(windows),
      tap_(tap),
      workspace_(workspace),
      queue_(queue),
      strokeOverlay_(strokeOverlay),
      snapOverlay_(snapOverlay),
      settings_(store.snapshot()),
      self_(std::make_shared<Engine*>(this)) {
    // A stroke keeps one point per 3 points of travel; this covers any ordinary drawing.
    stroke_.reserve(4096);
    swallowedButtons_.reserve(8);
    // Runs on the store's thread: it only tells the engine's own thread to look.
    configSubscription_ = store_.observeConfig(
        [&queue = queue_, weak = std::weak_ptr<Engine*>(self_)](const Config&) {
            queue.post([weak] {
                if (const auto self = weak.lock()) {
                    (*self)->followSettings();
                }
            });
        });
}

Engine::~Engine() = default;

void Engine::start() {
    if (started_) {
        return;
    }
    started_ = true;
    const std::weak_ptr<Engine*> weak = self_;
    monitor_.recognizer().onGesture = [weak](const TrackpadGesture& gesture) {
        if (const auto self = weak.lock()) {
            (*self)->followSettings();
            if ((*self)->fire(Trigger::trackpad(gesture)) &&
                gesture.kind == TrackpadGesture::Kind::tap) {
                (*self)->tapFired(gesture.fingers);
            }
        }
    };
    // A click with three or more fingers resting must be swallowable, so the grab follows the
    // finger count.
    monitor_.afterFrame = [weak] {
        if (const auto self = weak.lock()) {
            (*self)->refreshGrabs(false);
        }
    };
    // Grabs placed a few at a time report what is taken once they all are.
    tap_.onGrabsPlaced([weak](const TakenGrabs& taken) {
        if (const auto self = weak.lock()) {
            (*self)->takeTaken(taken);
        }
    });
    settings_ = store_.snapshot();
    driverClicks_.followRules(config());
    refreshGrabs(true);
    pollInput();
    queue_.repeatEvery(inputPollInterval, [weak] {
        if (const auto self = weak.lock()) {
            (*self)->pollInput();
        }
    });
}

void Engine::followSettings() {
    std::shared_ptr<const SettingsSnapshot> latest = store_.snapshot();
    if (latest == settings_) {
        return;
    }
    settings_ = std::move(latest);
    driverClicks_.followRules(config());
    if (started_) {
        refreshGrabs(true);
    }
}

void Engine::pollInput() {
    followSettings();
    const bool available = tap_.inputAvailable();
    if (available != inputAvailable_) {
        inputAvailable_ = available;
        notifyState();
    }
    if (inputAvailable_ && !tapInstalled_) {
        installTap();
    } else if (tapInstalled_) {
        // A grab another program held may be free now, and one held by us may have been lost.
        sendGrabs();
    }
}

void Engine::installTap() {
    if (tapInstalled_) {
        return;
    }
    // The engine lives as long as the process, so the tap may hold it directly.
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
    followSettings();
    switch (event.kind) {
        case InputKind::pointerMoved:
            if (stroking_) {
                addStrokePoint(event.location);
            }
            return false;
        case InputKind::leftDragged:
            if (swallowLeftUp_) {
                return true;
            }
            if (stroking_) {
                addStrokePoint(event.location);
            }
            trackDrag(event.location);
            return false;
        case InputKind::leftDown:
            return handleLeftDown(event);
        case InputKind::leftUp:
            if (swallowLeftUp_) {
                swallowLeftUp_ = false;
                return true;
            }
            releaseDrag();
            return false;
        case InputKind::keyDown:
            return handleKeyDown(event);
        case InputKind::modifiersChanged:
            if (stroking_) {
                finishStroke(event.mods);
            } else {
                startStroke(event.mods, event.location);
            }
            return false;
        case InputKind::buttonDown:
            return handleButtonDown(event);
        case InputKind::buttonUp:
            return handleButtonUp(event);
    }
    return false;
}

bool Engine::handleLeftDown(const InputEvent& event) {
    GestureRecognizer& recognizer = monitor_.recognizer();
    const int64_t fingers = recognizer.fingersDown;
    if (event.touchpad && !event.own) {
        if (touchpadPress(event)) {
            swallowLeftUp_ = true;
            setDragState(DragState::idle);
            return true;
        }
    } else if (fingers >= 3 &&
               fire(Trigger::trackpad(TrackpadGesture{TrackpadGesture::Kind::click, fingers}))) {
        // The touch sequence that made the click reports no tap, swipe or tip-tap afterwards.
        recognizer.fired = true;
        recognizer.tip.reset();
        swallowLeftUp_ = true;
        setDragState(DragState::idle);
        return true;
    }
    downPoint_ = event.location;
    setDragState(DragState::armed);
    return false;
}

bool Engine::handleKeyDown(const InputEvent& event) {
    // The program's own keystrokes pass unmatched, so one that sends its own trigger cannot loop.
    if (event.own) {
        return false;
    }
    if (stroking_) {
        endStroke();
    }
    const Trigger trigger = Trigger::hotkey(KeyCombo{event.keyCode, event.mods});
    if (!event.autorepeat) {
        return fire(trigger);
    }
    // Holding a bound shortcut runs its action once; its repeats never reach the application.
    if (!config().engineEnabled || recording_) {
        return false;
    }
    const std::optional<std::string> front = workspace_.frontmostApplicationID();
    return settings_->matchingRule(
               trigger, front ? std::optional<std::string_view>(*front) : std::nullopt) != nullptr;
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
    GestureRecognizer& recognizer = monitor_.recognizer();
    const DriverClicks::Plan plan =
        driverClicks_.press(tap_.touchpadDriver(), event.button, recognizer, queue_.uptime());
    if (plan.take) {
        return true;
    }
    using Kind = TrackpadGesture::Kind;
    if ((plan.click > 0 && fire(Trigger::trackpad(TrackpadGesture{Kind::click, plan.click}))) ||
        (plan.tap > 0 && fire(Trigger::trackpad(TrackpadGesture{Kind::tap, plan.tap})))) {
        // The touch sequence that made the click reports no tap, swipe or tip-tap afterwards.
        recognizer.fired = true;
        recognizer.tip.reset();
        return true;
    }
    return false;
}

void Engine::tapFired(int64_t fingers) {
    driverClicks_.tapFired(tap_.touchpadDriver(), fingers, queue_.uptime());
    // The frame's own refresh grabs for the window; this one lets go once it has closed.
    const std::weak_ptr<Engine*> weak = self_;
    queue_.postAfter(DriverClicks::tapWindow, [weak] {
        if (const auto self = weak.lock()) {
            (*self)->refreshGrabs(false);
        }
    });
}

bool Engine::fire(const Trigger& trigger) {
    if (!config().engineEnabled || recording_) {
        return false;
    }
    const std::optional<std::string> front = workspace_.frontmostApplicationID();
    const Rule* rule = settings_->matchingRule(
        trigger, front ? std::optional<std::string_view>(*front) : std::nullopt);
    if (rule == nullptr) {
        return false;
    }
    // Never run inside the event decision: the verdict is given first, the action runs on the
    // worker. A dropped action (the worker far behind) still counts as fired: the event was the
    // binding's.
    actions_.perform(rule->action);
    return true;
}

void Engine::refreshGrabs(bool listsChanged) {
    const Config& config = this->config();
    // With the engine off or the recorder capturing, nothing can fire, so nothing is grabbed and
    // the recorder sees every key.
    const bool active = config.engineEnabled && !recording_;
    const int64_t fingers = monitor_.recognizer().fingersDown;
    const bool leftPress = active && fingers >= 3 && fingers < 64 &&
                           ((settings_->clickFingers >> fingers) & uint64_t{1}) != 0;
    const bool dragging = dragState_ == DragState::armed || dragState_ == DragState::probing ||
                          dragState_ == DragState::moving;
    const bool pointerMotion =
        stroking_ || (dragging && config.engineEnabled && config.snapEnabled);
    const bool touchpadButtons =
        active &&
        driverClicks_.wantsGrab(tap_.touchpadDriver(), monitor_.recognizer(), queue_.uptime());

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
        touchpadButtons != grabs_.touchpadButtons) {
        grabs_.leftPress = leftPress;
        grabs_.pointerMotion = pointerMotion;
        grabs_.touchpadButtons = touchpadButtons;
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
        notifyState();
    }
}

}  // namespace ombrel
