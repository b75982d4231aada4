// The input engine: decides for every tapped event whether it fires a binding and whether it is
// swallowed, and dispatches every trigger to its rule. It owns small state machines for what
// spans several events: the gesture recognizer (touchpad frames), drawing capture, drag-to-snap
// and the touchpad driver's own clicks. It is created on the store's thread and from then on runs
// on the thread of the queue it is given (the input thread): it reads the settings through the
// feed it is given, takes the time of each event from the event, hands every action to the action
// queue and waits for nothing but its tap and its window reads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "actions/action_queue.h"
#include "actions/window_manager.h"
#include "config/model.h"
#include "config/observable.h"
#include "config/settings_snapshot.h"
#include "engine/drag_snapper.h"
#include "engine/driver_clicks.h"
#include "engine/stroke_capture.h"
#include "placement/geometry.h"
#include "platform/input.h"
#include "platform/overlays.h"
#include "platform/task_queue.h"
#include "platform/touch_point.h"
#include "platform/workspace.h"
#include "trackpad/gesture_recognizer.h"

namespace ombrel {

// The sentence the General pane shows for triggers another program holds; empty for none.
[[nodiscard]] std::string takenNotice(const std::vector<Trigger>& taken);

class Engine {
  public:
    // How long after a left release a snapped frame is written.
    static constexpr double releaseDelay = 0.03;

    // The window manager is only read (the focused window and displays for drag-to-snap); the
    // workspace only asked for the frontmost application, and only when a rule for the trigger
    // is scoped to one.
    Engine(const SettingsFeed& settings, ActionQueue& actions, WindowManager& windows,
           EventTap& tap, Workspace& workspace, TaskQueue& queue, StrokeOverlay& strokeOverlay,
           SnapOverlay& snapOverlay);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine();

    // Installs the tap when input is available and places the grabs. Later calls do nothing.
    // Nothing polls: X11 has no permission to wait for, a lost connection is told by the caller
    // (checkInput), and the tap itself asks again for grabs another program held.
    void start();
    // Takes on the feed's latest settings (grabs included); every decision does so by itself,
    // this makes the grabs follow an edit before the next event. Call it after every change.
    void followSettings();
    // Looks again whether input is available (the connection may have gone), installs the tap
    // once it is, and asks again for the grabs another program held.
    void checkInput();

    // The verdict on one event: true swallows it. Never runs an action.
    bool handle(const InputEvent& event);
    // One touchpad frame: the touching contacts and the frame's time on the engine's clock.
    void touchFrame(std::span<const TouchPoint> touching, double time);
    // Looks up the rule for the trigger and queues its action; true when one was queued.
    bool fire(const Trigger& trigger);

    // State shown by the settings window.
    [[nodiscard]] bool inputAvailable() const { return inputAvailable_; }
    [[nodiscard]] bool tapInstalled() const { return tapInstalled_; }
    // Triggers of enabled rules that another program holds, so they cannot fire.
    [[nodiscard]] const std::vector<Trigger>& takenTriggers() const { return taken_; }
    // Called whenever inputAvailable, tapInstalled or takenTriggers changes.
    [[nodiscard]] Subscription observeState(std::function<void()> observer);

    // While the shortcut recorder captures a combination nothing fires.
    void setRecording(bool recording);
    [[nodiscard]] bool recording() const { return recording_; }

    [[nodiscard]] bool strokeInProgress() const { return strokes_.drawing(); }
    [[nodiscard]] DragSnapper::State dragState() const { return snapper_.state(); }
    [[nodiscard]] const GestureRecognizer& touch() const { return recognizer_; }

  private:
    struct StateChange {};

    void notifyState();
    void installTap();

    bool decide(const InputEvent& event);
    bool handleLeftDown(const InputEvent& event);
    bool handleLeftUp();
    bool handleKeyDown(const InputEvent& event);
    bool handleModifiers(const InputEvent& event);
    bool handleButtonDown(const InputEvent& event);
    bool handleButtonUp(const InputEvent& event);
    // A press from the touchpad's own device that runs a rule or belongs to a touch that did.
    bool touchpadPress(const InputEvent& event);
    void tapFired(int64_t fingers);
    // The rule for the trigger now, asking for the frontmost application only when needed.
    [[nodiscard]] const Rule* ruleFor(const Trigger& trigger);

    [[nodiscard]] const Config& config() const { return settings_->config; }
    [[nodiscard]] bool active() const { return config().engineEnabled && !recording_; }

    // Grabs: the lists follow the settings, the flags follow the engine's state; the tap is told
    // only when the request changed.
    void refreshGrabs(bool listsChanged);
    void sendGrabs();
    void takeTaken(const TakenGrabs& taken);

    const SettingsFeed& feed_;
    ActionQueue& actions_;
    EventTap& tap_;
    Workspace& workspace_;
    TaskQueue& queue_;

    // The feed's publications counted when last looked at (before the load: a later one is
    // looked at again), and the settings this engine decides by.
    uint64_t generation_ = 0;
    std::shared_ptr<const SettingsSnapshot> settings_;
    // The time of the latest event, frame or timer, on the engine's clock.
    double now_ = 0;
    bool started_ = false;
    bool inputAvailable_ = false;
    bool tapInstalled_ = false;
    bool recording_ = false;
    Published<StateChange> stateChanged_;

    GestureRecognizer recognizer_;
    StrokeCapture strokes_;
    DragSnapper snapper_;
    // The clicks the touchpad's driver makes of the touches the recognizer sees.
    DriverClicks driverClicks_;
    // Buttons whose press fired a rule; their release is swallowed too.
    std::vector<int64_t> swallowedButtons_;
    bool swallowLeftUp_ = false;
    // The rule the event being decided fired, for the decision log.
    const Rule* fired_ = nullptr;

    GrabRequest grabs_;  // what the tap was last told
    std::vector<Trigger> taken_;
    bool grabsSent_ = false;
    bool grabsActive_ = false;

    // Lets timers and the tap's reports outlive the engine harmlessly.
    std::shared_ptr<Engine*> self_;
};

}  // namespace ombrel
