// The input engine: decides for every tapped event whether it fires a binding and whether it is
// swallowed, dispatches every trigger to its rule, captures pointer drawings and snaps dragged
// windows. It is created on the store's thread and from then on runs on the thread of the queue
// it is given (the input thread): it reads the settings through the store's snapshot, hands every
// action to the action queue and waits for nothing but its tap and its window reads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "actions/action_queue.h"
#include "actions/window_manager.h"
#include "config/model.h"
#include "config/observable.h"
#include "config/store.h"
#include "engine/driver_clicks.h"
#include "platform/geometry.h"
#include "platform/input.h"
#include "platform/overlays.h"
#include "platform/task_queue.h"
#include "platform/windows.h"
#include "platform/workspace.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel {

// The sentence the General pane shows for triggers another program holds; empty for none.
[[nodiscard]] std::string takenNotice(const std::vector<Trigger>& taken);

class Engine {
  public:
    enum class DragState { idle, armed, probing, moving, ignored };

    static constexpr double inputPollInterval = 2.0;
    // Drawing capture.
    static constexpr double strokeJitter = 3.0;
    static constexpr double strokeShowLength = 12.0;
    // Drag-to-snap.
    static constexpr double armingDistance = 8.0;
    static constexpr double probePeriod = 1.5;
    static constexpr double probeInterval = 0.04;
    static constexpr double releaseDelay = 0.03;

    // The window manager is only read (the focused window and displays for drag-to-snap); the
    // workspace only asked for the frontmost application.
    Engine(Store& store, TrackpadMonitor& monitor, ActionQueue& actions, WindowManager& windows,
           EventTap& tap, Workspace& workspace, TaskQueue& queue, StrokeOverlay& strokeOverlay,
           SnapOverlay& snapOverlay);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine();

    // Connects the touchpad's gestures, checks that input is available, installs the tap once it
    // is and checks again every 2 seconds from then on. Later calls do nothing.
    void start();
    // Takes on the store's latest settings (grabs included); every decision does so by itself,
    // this makes the grabs follow an edit before the next event. The store's changes are posted
    // here by themselves.
    void followSettings();
    // Creates the tap; a failure changes nothing and the next poll tries again.
    void installTap();
    // One check now (the timer's step): updates inputAvailable, installs the tap once, and asks
    // again for the grabs another program held.
    void pollInput();

    // The verdict on one event: true swallows it. Never runs an action.
    bool handle(const InputEvent& event);
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

    // Drawing capture.
    void addStrokePoint(Point p);
    void endStroke();
    void finishStroke(Mods mods);
    [[nodiscard]] bool strokeInProgress() const { return stroking_; }

    // Drag-to-snap.
    void trackDrag(Point p);
    void releaseDrag();
    [[nodiscard]] DragState dragState() const { return dragState_; }
    [[nodiscard]] const std::optional<Rect>& pendingSnap() const { return pendingSnap_; }

  private:
    struct StateChange {};

    void notifyState();

    bool handleLeftDown(const InputEvent& event);
    bool handleKeyDown(const InputEvent& event);
    bool handleButtonDown(const InputEvent& event);
    bool handleButtonUp(const InputEvent& event);
    // A press from the touchpad's own device that runs a rule or belongs to a touch that did.
    bool touchpadPress(const InputEvent& event);
    void tapFired(int64_t fingers);

    [[nodiscard]] const Config& config() const { return settings_->config; }
    void startStroke(Mods mods, Point at);
    void probe(double now);
    void zoneStep(Point p);
    void setDragState(DragState state);

    // Grabs: the lists follow the settings, the flags follow the engine's state; the tap is told
    // only when the request changed.
    void refreshGrabs(bool listsChanged);
    void sendGrabs();
    void takeTaken(const TakenGrabs& taken);

    Store& store_;
    TrackpadMonitor& monitor_;
    ActionQueue& actions_;
    WindowManager& windows_;
    EventTap& tap_;
    Workspace& workspace_;
    TaskQueue& queue_;
    StrokeOverlay& strokeOverlay_;
    SnapOverlay& snapOverlay_;

    // The settings this engine decides by; replaced when the store has newer ones.
    std::shared_ptr<const SettingsSnapshot> settings_;
    bool started_ = false;
    bool inputAvailable_ = false;
    bool tapInstalled_ = false;
    bool recording_ = false;
    Published<StateChange> stateChanged_;

    // Buttons whose press fired a rule; their release is swallowed too.
    std::vector<int64_t> swallowedButtons_;
    bool swallowLeftUp_ = false;
    // The clicks the touchpad's driver makes of the touches the recognizer sees.
    DriverClicks driverClicks_;

    DragState dragState_ = DragState::idle;
    Point downPoint_;
    std::optional<WindowRef> dragWindow_;
    Rect startFrame_;
    double probeDeadline_ = 0;
    double lastProbe_ = 0;
    std::optional<Rect> pendingSnap_;

    // The points stay allocated between strokes; stroking_ says whether a drawing is in progress.
    bool stroking_ = false;
    std::vector<Pt> stroke_;
    double strokeLength_ = 0;
    bool strokeShown_ = false;

    GrabRequest grabs_;  // what the tap was last told
    std::vector<Trigger> taken_;
    bool grabsSent_ = false;
    bool grabsActive_ = false;

    // Lets timer ticks, touchpad callbacks and the store's notices outlive the engine harmlessly.
    std::shared_ptr<Engine*> self_;
    Subscription configSubscription_;
};

}  // namespace ombrel
