// Builds the input thread and the action worker around the engine and the actions, and the small
// objects through which work crosses between the threads.
#include "app/threads.h"

#include <mutex>
#include <utility>
#include <variant>

#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/notices.h"
#include "config/store.h"
#include "engine/engine.h"
#include "platform/log.h"
#include "trackpad/trackpad_monitor.h"
// After the core: Xlib's macros clash with names there.
#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/input_loop.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/qt_task_queue.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"
#include "platform/linux/x_window_system.h"

namespace ombrel::app {

using namespace linux_platform;

namespace {

// The worker's poster: every post is made by the input thread's poster, so that all of the
// program's XTEST events leave through one connection in the order its ledger records them. The
// pointer is read through the worker's own connection.
class RelayedPoster final : public EventPoster {
  public:
    RelayedPoster(TaskQueue& input, X11EventPoster& poster, XConnection& own)
        : input_(input), poster_(poster), own_(own) {}

    bool postKeystroke(int64_t keyCode, Mods mods) override {
        input_.post([&p = poster_, keyCode, mods] { p.postKeystroke(keyCode, mods); });
        return true;
    }
    bool postMediaKey(MediaKey key) override {
        input_.post([&p = poster_, key] { p.postMediaKey(key); });
        return true;
    }
    bool postClick(int64_t button, Point at) override {
        input_.post([&p = poster_, button, at] { p.postClick(button, at); });
        return true;
    }
    std::optional<Point> pointerLocation() override { return queryPointer(own_); }

  private:
    TaskQueue& input_;
    X11EventPoster& poster_;
    XConnection& own_;
};

}  // namespace

// The input thread's objects. Made and destroyed on the GUI thread while the loop does not run.
struct Threads::Input {
    Input(const std::string& display, Threads& threads, std::unique_ptr<TouchpadWatch> touchpads,
          DeviceOpener openTouchpad)
        : x(display, XConnection::Reader::owner),
          loop(x),
          poster(x),
          tap(x, poster),
          windows(x),
          workspace(x),
          manager(windows),
          touch(touchpads ? std::move(touchpads) : udevTouchpads(),
                openTouchpad ? std::move(openTouchpad) : DeviceOpener(openEvdev)),
          monitor(touch, loop, threads.gui_.queue, threads.gui_.notices) {}

    XConnection x;
    InputLoop loop;
    X11EventPoster poster;
    X11EventTap tap;
    X11WindowSystem windows;   // read only: drag-to-snap's focused window and displays
    LinuxWorkspace workspace;  // asked only for the frontmost application
    WindowManager manager;
    EvdevMultitouch touch;
    // Destroyed before the loop it posts frames to; it stops the touchpad reader first.
    TrackpadMonitor monitor;
};

// The worker's objects, made and destroyed on the worker's thread.
struct Threads::Worker {
    struct Parts {
        Parts(const std::string& display, TaskQueue& queue, Input& input, const BusNames& buses)
            : x(display),
              windows(x),
              workspace(x, buses),
              shell(x, queue, buses),
              manager(windows),
              poster(input.loop, input.poster, x),
              runner(manager, poster, workspace, shell, linuxPrograms()) {}
        XConnection x;
        X11WindowSystem windows;
        LinuxWorkspace workspace;
        LinuxDesktopShell shell;
        WindowManager manager;
        RelayedPoster poster;
        ActionRunner runner;
    };
    QtThread thread{"ombrel-actions"};
    std::unique_ptr<Parts> parts;
};

// The engine's overlays as the input thread drives them: commands are collected under a short
// lock and carried out by one task on the GUI thread, however many points a fast stroke adds
// before that task runs.
struct Threads::Relays {
    struct Command {
        enum class Kind { begin, add, hideStroke, show, hideSnap };
        Kind kind;
        Point point;
        Rect frame;
    };

    Relays(TaskQueue& gui, StrokeOverlay& stroke, SnapOverlay& snap)
        : gui_(gui), stroke_(stroke), snap_(snap) {
        pending_.reserve(1024);
        running_.reserve(1024);
    }

    struct Stroke final : StrokeOverlay {
        explicit Stroke(Relays& r) : relays(r) {}
        void begin(Point p) override { relays.add({Command::Kind::begin, p, {}}); }
        void addPoint(Point p) override { relays.add({Command::Kind::add, p, {}}); }
        void hide() override { relays.add({Command::Kind::hideStroke, {}, {}}); }
        Relays& relays;
    };
    struct Snap final : SnapOverlay {
        explicit Snap(Relays& r) : relays(r) {}
        void show(Rect target) override { relays.add({Command::Kind::show, {}, target}); }
        void hide() override { relays.add({Command::Kind::hideSnap, {}, {}}); }
        Relays& relays;
    };

    void add(const Command& command) {
        {
            const std::lock_guard lock(mutex_);
            pending_.push_back(command);
            if (scheduled_) {
                return;
            }
            scheduled_ = true;
        }
        gui_.post([weak = std::weak_ptr(self_)] {
            if (const auto self = weak.lock()) {
                (*self)->carryOut();
            }
        });
    }

    void carryOut() {
        {
            const std::lock_guard lock(mutex_);
            running_.swap(pending_);
            scheduled_ = false;
        }
        for (const Command& c : running_) {
            switch (c.kind) {
                case Command::Kind::begin:
                    stroke_.begin(c.point);
                    break;
                case Command::Kind::add:
                    stroke_.addPoint(c.point);
                    break;
                case Command::Kind::hideStroke:
                    stroke_.hide();
                    break;
                case Command::Kind::show:
                    snap_.show(c.frame);
                    break;
                case Command::Kind::hideSnap:
                    snap_.hide();
                    break;
            }
        }
        running_.clear();
    }

    TaskQueue& gui_;
    StrokeOverlay& stroke_;
    SnapOverlay& snap_;
    std::mutex mutex_;
    std::vector<Command> pending_;
    std::vector<Command> running_;  // GUI thread only
    bool scheduled_ = false;
    Stroke stroke{*this};
    Snap snap{*this};
    std::shared_ptr<Relays*> self_ = std::make_shared<Relays*>(this);
};

Subscription InputState::observeState(std::function<void()> observer) {
    return changed_.subscribe([o = std::move(observer)](const int&) { o(); });
}

void InputState::setRecording(bool recording) {
    recording_ = recording;
    if (sendRecording_) {
        sendRecording_(recording);
    }
}

void InputState::update(Values values) {
    if (values != values_) {
        values_ = std::move(values);
        changed_.publish(0);
    }
}

Threads::Threads(Gui gui, Desktop desktop)
    : gui_(gui), displayName_(std::move(desktop.display)), buses_(std::move(desktop.buses)) {
    input_ = std::make_unique<Input>(displayName_, *this, std::move(desktop.touchpads),
                                     std::move(desktop.openTouchpad));
    worker_ = std::make_unique<Worker>();
    Worker& worker = *worker_;
    Input& input = *input_;
    worker.thread.start(
        [&worker, &input, this] {
            worker.parts =
                std::make_unique<Worker::Parts>(displayName_, worker.thread, input, buses_);
            worker.parts->runner.setNotices(gui_.notices);
        },
        [&worker] { worker.parts.reset(); });
    actions_ =
        std::make_unique<ActionQueue>(worker.thread, worker.parts->runner, worker.parts->manager);
    relays_ = std::make_unique<Relays>(gui_.queue, gui_.strokeOverlay, gui_.snapOverlay);
    engine_ = std::make_unique<Engine>(gui_.store.feed(), *actions_, input.manager, input.tap,
                                       input.workspace, input.loop, relays_->stroke, relays_->snap);
    // Subscribed before the input thread runs; called there from then on.
    engineState_ = engine_->observeState([this] { publishState(); });
    input.monitor.setFrameHandler([this](std::span<const TouchPoint> touching, double time) {
        engine_->touchFrame(touching, time);
    });
    // A change made on the GUI thread is looked at on the input thread.
    settingsChanged_ = gui_.store.observeConfig(
        [this](const Config&) { input_->loop.post([this] { engine_->followSettings(); }); });
    // Read on the input thread, said on the GUI thread with the rules in force there.
    input.tap.observeTouchpadDriver([this] { publishState(); });
    // Logged once; the engine then reports input as missing.
    input.x.addLostListener([this] {
        log::note(
            "The connection to the X server was lost: shortcuts, mouse buttons and drawings do "
            "nothing from now on.");
        engine_->checkInput();
    });
    state_.sendRecording_ = [this](bool on) {
        input_->loop.post([this, on] { engine_->setRecording(on); });
    };
}

Threads::~Threads() {
    stop();
    // The engine first: it holds the tap and the action queue.
    settingsChanged_.reset();
    engineState_.reset();
    engine_.reset();
    relays_.reset();
    actions_.reset();
    worker_.reset();
    input_.reset();
}

void Threads::start() {
    // What the input connection offers is known already; the engine's answer follows.
    state_.update({input_->tap.inputAvailable(), false, {}, input_->tap.unavailableReason(), {}});
    input_->monitor.start();
    input_->loop.post([this] {
        engine_->start();
        publishState();
    });
    input_->loop.start();
}

void Threads::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    input_->loop.stop();
    worker_->thread.stop();
}

ActionQueue& Threads::actions() {
    return *actions_;
}

TrackpadMonitor& Threads::monitor() {
    return input_->monitor;
}

void Threads::recheckInput() {
    input_->loop.post([this] { engine_->checkInput(); });
}

void Threads::onWorker(const std::function<void(WindowManager&)>& work) {
    worker_->thread.runAndWait([&] {
        if (worker_->parts) {
            work(worker_->parts->manager);
        }
    });
}

void Threads::onInput(const std::function<void(Engine&)>& work) {
    input_->loop.runAndWait([&] { work(*engine_); });
}

void Threads::onTap(const std::function<void(X11EventTap&)>& work) {
    input_->loop.runAndWait([&] { work(input_->tap); });
}

bool Threads::grabsInPlace() {
    bool ready = false;
    input_->loop.runAndWait(
        [&] { ready = engine_->tapInstalled() && !input_->tap.placingGrabs(); });
    return ready;
}

void Threads::publishState() {
    // On the input thread: a copy goes to the GUI thread.
    InputState::Values values{engine_->inputAvailable(), engine_->tapInstalled(),
                              engine_->takenTriggers(), input_->tap.unavailableReason(),
                              input_->tap.touchpadDriver()};
    gui_.queue.post([weak = std::weak_ptr(self_), values = std::move(values)]() mutable {
        if (const auto self = weak.lock()) {
            (*self)->state_.update(std::move(values));
        }
    });
}

}  // namespace ombrel::app
