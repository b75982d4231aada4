// The running program's threads, what each owns and everything that crosses between them.
//
// GUI thread (Qt's main thread): the tray and its menu, the settings window, the settings store
// (every change, hand edits adopted from disk), the overlays, the touchpad devices as they come
// and go, and run requests as the bus delivers them.
//
// Save thread (SaveThread, made with the store in app/services.cpp): encodes and writes the
// settings file, one value at a time, so a long list never holds the window up.
//
// Input thread (InputLoop): its own X connection with the event tap, the poster (every XTEST event
// the program sends goes out here, in the order the tap's ledger expects), the frontmost
// application and read-only window queries for drag-to-snap; the engine with its decisions,
// drawing capture, drag-to-snap and the gesture recognizer. It waits in poll() on that
// connection and its own wake-up, and for nothing but the X server's replies to its own
// requests, so a grabbed key is answered whatever the other threads do. Grabs are placed a few
// at a time between its turns: thousands of rules never hold the events up for long.
//
// Action worker (QtThread): its own X connection, the window manager with its placement memory
// and read-backs, the desktop shell (bus calls bounded at a few hundred milliseconds, the screen
// locker, display sleep), launches. It performs the ActionQueue's jobs one at a time.
//
// What crosses, always as a copy handed to the receiving thread's queue or through an object made
// for crossing:
//   GUI -> input:    a settings change (the engine then loads the store's snapshot, an immutable
//                    value behind an atomic pointer; every decision loads it anyway), recording
//                    on and off from the shortcut recorder, "check input now".
//   input -> GUI:    the engine's state (input available, tap installed, taken triggers, why
//                    input is missing) into InputState; the overlays' drawing commands.
//   input -> worker: fired actions and the snapped frame, through the ActionQueue (bounded).
//   GUI -> worker:   run requests, through the ActionQueue (merged by name, bounded).
//   worker -> input: keystrokes, media keys and clicks to post.
//   worker -> GUI:   sentences for the General pane (Notices, which locks briefly).
//   GUI -> save:     the snapshot to write (the last of those assigned meanwhile); the outcome
//                    comes back to the GUI's queue.
//   touchpad reader thread -> input: frames; -> GUI: devices that came or went.
// The store's thread never waits for the others; the input thread never waits for the worker or
// the GUI; the worker may wait for the window manager and the bus, which is why it exists.
//
// Stopping: the input thread ends first, then the worker (after the job it is running; bus calls
// and window manager waits are bounded); whatever is still queued is dropped. Objects of the two
// threads are destroyed once their thread has ended, and the touchpad reader before the queue it
// posts to. The store writes its last value before the program ends (Services::stop).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "actions/action_queue.h"
#include "config/model.h"
#include "config/observable.h"
#include "platform/input.h"
#include "platform/linux/bus_names.h"
#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/udev_touchpads.h"
#include "platform/overlays.h"
#include "platform/task_queue.h"

namespace ombrel {
class Engine;
class Notices;
class Store;
class TrackpadMonitor;
class WindowManager;
}  // namespace ombrel

namespace ombrel::linux_platform {
class X11EventTap;
}  // namespace ombrel::linux_platform

namespace ombrel::app {

// The engine's state as the GUI thread sees it: a copy the input thread replaces whenever the
// engine's changes, and the recorder's pause sent the other way. GUI thread only.
class InputState {
  public:
    struct Values {
        bool inputAvailable = false;
        bool tapInstalled = false;
        std::vector<Trigger> taken;
        std::string unavailableReason;  // empty while input is available
        TouchpadDriver touchpadDriver;  // as the tap last read it
        friend bool operator==(const Values&, const Values&) = default;
    };

    [[nodiscard]] bool inputAvailable() const { return values_.inputAvailable; }
    [[nodiscard]] bool tapInstalled() const { return values_.tapInstalled; }
    [[nodiscard]] std::vector<Trigger> takenTriggers() const { return values_.taken; }
    [[nodiscard]] const std::string& unavailableReason() const { return values_.unavailableReason; }
    [[nodiscard]] const TouchpadDriver& touchpadDriver() const { return values_.touchpadDriver; }
    // Called after every change of the values.
    [[nodiscard]] Subscription observeState(std::function<void()> observer);
    void setRecording(bool recording);
    [[nodiscard]] bool recording() const { return recording_; }

  private:
    friend class Threads;
    void update(Values values);

    Values values_;
    bool recording_ = false;
    std::function<void(bool)> sendRecording_;
    Published<int> changed_;
};

// The machine the threads run on: the X display (empty: $DISPLAY), the touchpads (no watch: udev's;
// no opener: libevdev) and the D-Bus connections (empty names: the user's buses). Tests give
// their own.
struct Desktop {
    std::string display{};
    std::unique_ptr<linux_platform::TouchpadWatch> touchpads{};
    linux_platform::DeviceOpener openTouchpad{};
    linux_platform::BusNames buses{};
};

class Threads {
  public:
    // What the GUI thread lends: its queue, the store, the overlays the engine drives, and where
    // sentences for the General pane go (may be null).
    struct Gui {
        Store& store;
        TaskQueue& queue;
        StrokeOverlay& strokeOverlay;
        SnapOverlay& snapOverlay;
        Notices* notices = nullptr;
    };

    // Create it on the GUI thread, after the Qt application. Starts the worker at once; the input
    // thread starts with start().
    explicit Threads(Gui gui, Desktop desktop = {});
    // Stops first.
    ~Threads();
    Threads(const Threads&) = delete;
    Threads& operator=(const Threads&) = delete;

    // Starts the touchpads, then the input thread with the engine on it.
    void start();
    // Ends the input thread, then the worker; later calls do nothing.
    void stop();

    [[nodiscard]] InputState& state() { return state_; }
    // Where run requests go (any thread).
    [[nodiscard]] ActionQueue& actions();
    // The banner's button: check for input again at once.
    void recheckInput();
    [[nodiscard]] TrackpadMonitor& monitor();

    // The worker's window manager and the input thread's engine, on their own threads; these run
    // the function there and return when it has run (tests and benchmarks).
    void onWorker(const std::function<void(WindowManager&)>& work);
    void onInput(const std::function<void(Engine&)>& work);
    void onTap(const std::function<void(linux_platform::X11EventTap&)>& work);
    // Whether the tap is installed and every grab asked for is in place, as the input thread
    // knows it now (tests and benchmarks).
    [[nodiscard]] bool grabsInPlace();

  private:
    struct Input;
    struct Worker;
    struct Relays;
    void publishState();

    Gui gui_;
    std::string displayName_;
    linux_platform::BusNames buses_;
    std::unique_ptr<Input> input_;
    std::unique_ptr<Worker> worker_;
    std::unique_ptr<ActionQueue> actions_;
    std::unique_ptr<Relays> relays_;
    InputState state_;
    std::unique_ptr<Engine> engine_;
    Subscription engineState_;
    Subscription settingsChanged_;
    bool stopped_ = false;
    // Expires with the object, so work queued for the GUI thread sees that it has gone.
    std::shared_ptr<Threads*> self_ = std::make_shared<Threads*>(this);
};

}  // namespace ombrel::app
