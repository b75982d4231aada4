// The input engine: the permission poll and the tap, the per-event decision, the rule dispatch
// and the grabs the tap must hold. Drawing capture and drag-to-snap live in their own files.
#include "engine/engine.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

namespace ombrel {
namespace {

bool sameCombo(const KeyCombo& a, const KeyCombo& b) {
    return a == b;
}
bool comboBefore(const KeyCombo& a, const KeyCombo& b) {
    return a.keyCode != b.keyCode ? a.keyCode < b.keyCode : a.mods.rawValue < b.mods.rawValue;
}

}  // namespace

Mods modsFromFlags(uint64_t flags) {
    Mods mods;
    if ((flags & eventflags::command) != 0) {
        mods.insert(Mods::command);
    }
    if ((flags & eventflags::option) != 0) {
        mods.insert(Mods::option);
    }
    if ((flags & eventflags::control) != 0) {
        mods.insert(Mods::control);
    }
    if ((flags & eventflags::shift) != 0) {
        mods.insert(Mods::shift);
    }
    return mods;
}

Engine::Engine(Store& store, TrackpadMonitor& monitor, ActionRunner& runner, WindowManager& windows,
               EventTap& tap, Workspace& workspace, MainQueue& queue, StrokeOverlay& strokeOverlay,
               SnapOverlay& snapOverlay)
    : store_(store),
      monitor_(monitor),
      runner_(runner),
      windows_(windows),
      tap_(tap),
      workspace_(workspace),
      queue_(queue),
      strokeOverlay_(strokeOverlay),
      snapOverlay_(snapOverlay),
      self_(std::make_shared<Engine*>(this)) {
    // A stroke keeps one point per 3 points of travel; this covers any ordinary drawing.
    stroke_.reserve(4096);
    swallowedButtons_.reserve(8);
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
            (*self)->fire(Trigger::trackpad(gesture));
        }
    };
    // A click with three or more fingers resting must be swallowable, so the grab follows the
    // finger count.
    monitor_.afterFrame = [weak] {
        if (const auto self = weak.lock()) {
            (*self)->refreshGrabs(false);
        }
    };
    configSubscription_ = store_.observeConfig([this](const Config& config) {
        rebuildGrabLists(config);
        refreshGrabs(config, true);
    });
    rebuildGrabLists(store_.config());
    refreshGrabs(store_.config(), true);

    monitor_.start();
    pollPermission();
    queue_.repeatEvery(permissionPollInterval, [weak] {
        if (const auto self = weak.lock()) {
            (*self)->pollPermission();
        }
    });
}

void Engine::pollPermission() {
    const bool nowTrusted = tap_.trusted();
    if (nowTrusted != trusted_) {
        trusted_ = nowTrusted;
        notifyState();
    }
    if (trusted_ && !tapInstalled_) {
        installTap();
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
    switch (event.type) {
        case EventType::mouseMoved:
            if (stroking_) {
                addStrokePoint(event.location);
            }
            return false;
        case EventType::leftMouseDragged:
            if (swallowLeftUp_) {
                return true;
            }
            if (stroking_) {
                addStrokePoint(event.location);
            }
            trackDrag(event.location);
            return false;
        case EventType::leftMouseDown:
            return handleLeftDown(event);
        case EventType::leftMouseUp:
            if (swallowLeftUp_) {
                swallowLeftUp_ = false;
                return true;
            }
            releaseDrag();
            return false;
        case EventType::keyDown:
            return handleKeyDown(event);
        case EventType::flagsChanged:
            if (stroking_) {
                finishStroke(modsFromFlags(event.flags));
            } else {
                startStroke(modsFromFlags(event.flags), event.location);
            }
            return false;
        case EventType::otherMouseDown:
            return handleOtherDown(event);
        case EventType::otherMouseUp:
            return handleOtherUp(event);
        case EventType::tapDisabledByTimeout:
        case EventType::tapDisabledByUserInput:
            if (tapInstalled_) {
                tap_.reenable();
            }
            return false;
    }
    return false;
}

bool Engine::handleLeftDown(const InputEvent& event) {
    GestureRecognizer& recognizer = monitor_.recognizer();
    const int64_t fingers = recognizer.fingersDown;
    if (fingers >= 3 &&
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
    if (event.sourceUserData == syntheticEventMarker) {
        return false;
    }
    if (stroking_) {
        endStroke();
    }
    const Trigger trigger = Trigger::hotkey(KeyCombo{event.keyCode, modsFromFlags(event.flags)});
    if (!event.autorepeat) {
        return fire(trigger);
    }
    // Holding a bound shortcut runs its action once; its repeats never reach the application.
    const Config& config = store_.config();
    if (!config.engineEnabled || recording_) {
        return false;
    }
    const std::optional<std::string> front = workspace_.frontmostApplicationID();
    return store_.matchingRule(
               trigger, front ? std::optional<std::string_view>(*front) : std::nullopt) != nullptr;
}

bool Engine::handleOtherDown(const InputEvent& event) {
    if (event.sourceUserData == syntheticEventMarker) {
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

bool Engine::handleOtherUp(const InputEvent& event) {
    const auto it = std::find(swallowedButtons_.begin(), swallowedButtons_.end(), event.button);
    if (it == swallowedButtons_.end()) {
        return false;
    }
    swallowedButtons_.erase(it);
    return true;
}

bool Engine::fire(const Trigger& trigger) {
    const Config& config = store_.config();
    if (!config.engineEnabled || recording_) {
        return false;
    }
    const std::optional<std::string> front = workspace_.frontmostApplicationID();
    const Rule* rule = store_.matchingRule(
        trigger, front ? std::optional<std::string_view>(*front) : std::nullopt);
    if (rule == nullptr) {
        return false;
    }
    // Never run inside the event decision: the verdict is given first, the action runs after.
    queue_.post([&runner = runner_, action = rule->action] { runner.run(action); });
    return true;
}

void Engine::rebuildGrabLists(const Config& config) {
    hotkeys_.clear();
    buttons_.clear();
    clickFingers_ = 0;
    for (const Rule& rule : config.bindings) {
        if (!rule.enabled) {
            continue;
        }
        if (const KeyCombo* combo = rule.trigger.asHotkey()) {
            hotkeys_.push_back(*combo);
        } else if (const int64_t* button = rule.trigger.asMouseButton()) {
            buttons_.push_back(*button);
        } else if (const TrackpadGesture* gesture = rule.trigger.asTrackpad()) {
            if (gesture->kind == TrackpadGesture::Kind::click && gesture->fingers >= 0 &&
                gesture->fingers < 64) {
                clickFingers_ |= uint64_t{1} << gesture->fingers;
            }
        }
    }
    std::sort(hotkeys_.begin(), hotkeys_.end(), comboBefore);
    hotkeys_.erase(std::unique(hotkeys_.begin(), hotkeys_.end(), sameCombo), hotkeys_.end());
    std::sort(buttons_.begin(), buttons_.end());
    buttons_.erase(std::unique(buttons_.begin(), buttons_.end()), buttons_.end());
}

void Engine::refreshGrabs(bool listsChanged) {
    refreshGrabs(store_.config(), listsChanged);
}

void Engine::refreshGrabs(const Config& config, bool listsChanged) {
    // With the engine off or the recorder capturing, nothing can fire, so nothing is grabbed and
    // the recorder sees every key.
    const bool active = config.engineEnabled && !recording_;
    const int64_t fingers = monitor_.recognizer().fingersDown;
    const bool leftPress =
        active && fingers >= 3 && fingers < 64 && ((clickFingers_ >> fingers) & uint64_t{1}) != 0;
    const bool dragging = dragState_ == DragState::armed || dragState_ == DragState::probing ||
                          dragState_ == DragState::moving;
    const bool pointerMotion =
        stroking_ || (dragging && config.engineEnabled && config.snapEnabled);

    bool changed = !grabsSent_;
    if (listsChanged || active != grabsActive_) {
        grabsActive_ = active;
        if (active ? grabs_.hotkeys != hotkeys_ : !grabs_.hotkeys.empty()) {
            grabs_.hotkeys = active ? hotkeys_ : std::vector<KeyCombo>{};
            changed = true;
        }
        if (active ? grabs_.buttons != buttons_ : !grabs_.buttons.empty()) {
            grabs_.buttons = active ? buttons_ : std::vector<int64_t>{};
            changed = true;
        }
    }
    if (leftPress != grabs_.leftPress || pointerMotion != grabs_.pointerMotion) {
        grabs_.leftPress = leftPress;
        grabs_.pointerMotion = pointerMotion;
        changed = true;
    }
    if (changed) {
        grabsSent_ = true;
        tap_.setGrabs(grabs_);
    }
}

}  // namespace ombrel
