// Deterministic stand-ins for every desktop service: a manual clock and main queue, and recorders
// for windows, input, workspace, shell, touch devices and overlays.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "placement/geometry.h"
#include "platform/input.h"
#include "platform/multitouch.h"
#include "platform/overlays.h"
#include "platform/task_queue.h"
#include "platform/windows.h"
#include "platform/workspace.h"

namespace ombrel::fake {

// Tasks run only when the test says so; time moves only when the test advances it. Nothing under
// test repeats a task (the input is never polled), so a repeating task is only counted.
class FakeTaskQueue : public TaskQueue {
  public:
    void post(Task task) override { postAfter(0, std::move(task)); }
    void postAfter(double seconds, Task task) override {
        pending_.emplace(std::pair{now_ + seconds, seq_++}, std::move(task));
    }
    void repeatEvery(double /*seconds*/, Task /*task*/) override { ++timers_; }
    [[nodiscard]] double uptime() const override { return now_; }

    // Runs every task that is due now, in time and then posting order, including tasks those
    // tasks post for now.
    void runDue() {
        while (!pending_.empty() && pending_.begin()->first.first <= now_) {
            Task task = std::move(pending_.begin()->second);
            pending_.erase(pending_.begin());
            task();
        }
    }
    // Moves the clock forward, running delayed tasks in time order, each at its time.
    void advance(double seconds) {
        const double end = now_ + seconds;
        while (!pending_.empty() && pending_.begin()->first.first <= end) {
            now_ = std::max(now_, pending_.begin()->first.first);
            runDue();
        }
        now_ = end;
    }
    [[nodiscard]] std::size_t timerCount() const { return timers_; }

  private:
    double now_ = 0;
    uint64_t seq_ = 0;
    std::size_t timers_ = 0;
    std::multimap<std::pair<double, uint64_t>, Task> pending_;  // by time, then posting order
};

// Windows are frames in a map; writes are logged and may be clamped by a minimum size.
class FakeWindowSystem : public WindowSystem {
  public:
    struct Window {
        Rect frame;
        Size minimum;          // the application refuses anything smaller
        bool readable = true;  // position and size can be read
        WindowState state = WindowState::normal;
        Rect normal;  // where leaving the maximized state puts it
    };

    std::optional<WindowRef> focused;
    std::map<uint64_t, Window> windows;
    std::vector<Screen> displays;
    std::vector<std::string> writes;  // "size 400x300", "position 10,25", "maximize", "unmaximize"

    std::optional<WindowRef> focusedWindow() override { return focused; }
    std::optional<Point> position(WindowRef w) override {
        const Window* win = find(w);
        return win != nullptr && win->readable ? std::optional(win->frame.origin()) : std::nullopt;
    }
    std::optional<Size> size(WindowRef w) override {
        const Window* win = find(w);
        return win != nullptr && win->readable ? std::optional(win->frame.size()) : std::nullopt;
    }
    void writeSize(WindowRef w, Size s) override {
        if (Window* win = find(w)) {
            win->frame.width = std::max(s.width, win->minimum.width);
            win->frame.height = std::max(s.height, win->minimum.height);
            writes.push_back("size " + number(s.width) + "x" + number(s.height));
        }
    }
    void writePosition(WindowRef w, Point p) override {
        if (Window* win = find(w)) {
            win->frame.x = p.x;
            win->frame.y = p.y;
            writes.push_back("position " + number(p.x) + "," + number(p.y));
        }
    }
    std::span<const Screen> screens() override { return displays; }
    WindowState state(WindowRef w) override {
        const Window* win = find(w);
        return win != nullptr ? win->state : WindowState::normal;
    }
    // Maximizing fills the visible frame of the display under the window's centre.
    void setMaximized(WindowRef w, bool on) override {
        Window* win = find(w);
        if (win == nullptr || on == (win->state == WindowState::maximized)) {
            return;
        }
        if (on) {
            win->normal = win->frame;
            const Point c{win->frame.midX(), win->frame.midY()};
            auto d = std::find_if(displays.begin(), displays.end(),
                                  [&](const Screen& s) { return s.full.contains(c); });
            win->frame = d != displays.end() ? d->visible : displays.front().visible;
        } else {
            win->frame = win->normal;
        }
        win->state = on ? WindowState::maximized : WindowState::normal;
        writes.emplace_back(on ? "maximize" : "unmaximize");
    }

    // Adds a window and focuses it.
    void open(uint64_t id, Rect frame, Size minimum = {}) {
        windows[id] = Window{frame, minimum, true, WindowState::normal, frame};
        focused = WindowRef{id};
    }
    [[nodiscard]] Rect frameOf(uint64_t id) const { return windows.at(id).frame; }

  private:
    static std::string number(double v) { return (std::ostringstream() << v).str(); }
    Window* find(WindowRef w) {
        auto it = windows.find(w.id);
        return it != windows.end() ? &it->second : nullptr;
    }
};

class FakeEventTap : public EventTap {
  public:
    bool available = false;
    bool installFails = false;
    int installCalls = 0;
    Handler handler;
    std::vector<GrabRequest> grabs;
    TakenGrabs taken;  // what setGrabs answers
    TouchpadDriver driver;

    [[nodiscard]] TouchpadDriver touchpadDriver() const override { return driver; }

    [[nodiscard]] bool inputAvailable() const override { return available; }
    bool install(Handler h) override {
        ++installCalls;
        if (!installFails) {
            handler = std::move(h);
        }
        return !installFails;
    }
    TakenGrabs setGrabs(const GrabRequest& request) override {
        grabs.push_back(request);
        return taken;
    }

    // Delivers an event as the system would; answers the verdict (true: swallowed).
    bool deliver(const InputEvent& event) { return handler ? handler(event) : false; }
};

// Records what was posted as words: "keystroke 40 1", "media 5", "click 2 at 300,200".
class FakeEventPoster : public EventPoster {
  public:
    std::vector<std::string> posted;
    std::optional<Point> pointer = Point{0, 0};

    bool postKeystroke(int64_t keyCode, Mods mods) override {
        posted.push_back("keystroke " + std::to_string(keyCode) + " " +
                         std::to_string(mods.rawValue));
        return true;
    }
    bool postMediaKey(MediaKey key) override {
        posted.push_back("media " + std::to_string(static_cast<int>(key)));
        return true;
    }
    bool postClick(int64_t button, Point at) override {
        posted.push_back("click " + std::to_string(button) + " at " +
                         std::to_string(static_cast<int>(at.x)) + "," +
                         std::to_string(static_cast<int>(at.y)));
        return true;
    }
    std::optional<Point> pointerLocation() override { return pointer; }
};

class FakeWorkspace : public Workspace {
  public:
    std::optional<std::string> frontmost;
    std::vector<std::string> started;  // "run sh [-c] [ls]", "url example.com", "app /a/B.app"
    int frontAsked = 0;                // how often frontmostApplicationID was asked

    std::optional<std::string> frontmostApplicationID() override {
        ++frontAsked;
        return frontmost;
    }
    void openApplication(const std::string& path) override { started.push_back("app " + path); }
    bool openURL(const std::string& text) override {
        // Text with a space does not parse as an address.
        const bool address = !text.empty() && text.find(' ') == std::string::npos;
        if (address) {
            started.push_back("url " + text);
        }
        return address;
    }
    void launchProcess(const std::string& executable,
                       const std::vector<std::string>& arguments) override {
        started.push_back("run " + executable);
        for (const std::string& argument : arguments) {
            started.back() += " [" + argument + "]";
        }
    }
};

class FakeDesktopShell : public DesktopShell {
  public:
    bool available = true;
    // The session's player, sound server and display power; a locker answering `lockAnswer`.
    bool services = false;
    std::optional<bool> lockAnswer;  // none: no way to try
    std::vector<std::string> calls;  // "desktop 0" (a request), "player 0", "volume 2", "lock"
    bool send(Request request) override {
        return record("desktop " + std::to_string(static_cast<int>(request)), available);
    }
    bool controlPlayer(Player p) override {
        return record("player " + std::to_string(static_cast<int>(p)), services);
    }
    bool changeVolume(Volume v) override {
        return record("volume " + std::to_string(static_cast<int>(v)), services);
    }
    bool sleepDisplay() override { return record("sleep", services); }
    bool lockScreen(const LockDone& done) override {
        if (record("lock", lockAnswer.has_value())) {
            done(*lockAnswer);
        }
        return lockAnswer.has_value();
    }

  private:
    bool record(std::string call, bool there) {
        if (there) {
            calls.push_back(std::move(call));
        }
        return there;
    }
};

class FakeMultitouch : public MultitouchSource {
  public:
    std::vector<TouchDevice> devices;
    std::vector<TouchDevice> started;
    std::function<void()> onChange;  // called as the source's own thread would
    bool stopped = false;

    std::vector<TouchDevice> deviceList() override { return devices; }
    void registerFrameCallback(TouchDevice device, FrameCallback callback) override {
        callbacks_[device] = std::move(callback);
    }
    void start(TouchDevice device) override { started.push_back(device); }
    std::vector<std::string> unreadable() override { return {}; }
    void watch(std::function<void()> changed) override { onChange = std::move(changed); }
    void stop() override { stopped = true; }

    // Delivers a frame from a device, as its own thread would.
    void frame(TouchDevice device, std::vector<TouchPoint> touching, double time) {
        callbacks_.at(device)(touching, time);
    }

  private:
    std::map<TouchDevice, FrameCallback> callbacks_;
};

// The path since the last begin; like the real overlay, it takes points only while shown.
class FakeStrokeOverlay : public StrokeOverlay {
  public:
    std::vector<Point> path;
    bool visible = false;
    void begin(Point p) override {
        path = {p};
        visible = true;
    }
    void addPoint(Point p) override {
        if (visible) {
            path.push_back(p);
        }
    }
    void hide() override { visible = false; }
};

class FakeSnapOverlay : public SnapOverlay {
  public:
    std::optional<Rect> shown;
    void show(Rect target) override { shown = target; }
    void hide() override { shown.reset(); }
};

}  // namespace ombrel::fake
