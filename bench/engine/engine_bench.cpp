// Cost of one event decision: a pointer move with no drawing, a key-down that fires with many
// rules, and a drag while a window is being moved.
#include <benchmark/benchmark.h>

#include "actions/action_queue.h"
#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/settings_snapshot.h"
#include "engine/engine.h"
#include "fakes/fake_platform.h"

namespace ombrel {
namespace {

// Drops every task, so queued actions do not pile up over millions of iterations.
class DiscardQueue : public TaskQueue {
  public:
    void post(Task) override {}
    void postAfter(double, Task) override {}
    void repeatEvery(double, Task) override {}
    [[nodiscard]] double uptime() const override { return now; }
    double now = 0;
};

// Overlays that draw nothing and keep no log.
class NullStrokeOverlay : public StrokeOverlay {
  public:
    void begin(Point) override {}
    void addPoint(Point) override {}
    void hide() override {}
};
class NullSnapOverlay : public SnapOverlay {
  public:
    void show(Rect) override {}
    void hide() override {}
};

struct Rig {
    explicit Rig(Config config) : settings(SettingsSnapshot::of(std::move(config))) {
        windowSystem.displays = {Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
        tap.available = true;
        engine.start();
    }

    SettingsFeed settings;
    DiscardQueue queue;
    fake::FakeWindowSystem windowSystem;
    WindowManager windows{windowSystem};
    fake::FakeEventPoster poster;
    fake::FakeWorkspace workspace;
    fake::FakeDesktopShell shell;
    ActionRunner runner{windows, poster, workspace, shell, SystemPrograms{}};
    ActionQueue actions{queue, runner, windows};
    fake::FakeEventTap tap;
    NullStrokeOverlay strokeOverlay;
    NullSnapOverlay snapOverlay;
    Engine engine{settings, actions, windows, tap, workspace, queue, strokeOverlay, snapOverlay};
};

void MouseMovedNoStroke(benchmark::State& state) {
    Rig rig(Config::starter());
    InputEvent event;
    event.kind = InputKind::pointerMoved;
    event.location = {400, 300};
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.engine.handle(event));
        event.location.x += 1;
    }
}
BENCHMARK(MouseMovedNoStroke);

// The bound rule is the last of n, so the lookup walks the whole list.
void KeyDownFires(benchmark::State& state) {
    const auto n = static_cast<int64_t>(state.range(0));
    Config config;
    for (int64_t i = 0; i < n; ++i) {
        config.bindings.push_back(
            Rule::make(Trigger::hotkey(KeyCombo{1000 + i, Mods(Mods::command)}),
                       Action::window(WindowAction::leftHalf), std::nullopt, true));
    }
    Rig rig(std::move(config));
    rig.workspace.frontmost = "org.example.editor";
    InputEvent event;
    event.kind = InputKind::keyDown;
    event.keyCode = 1000 + n - 1;
    event.mods = Mods(Mods::command);
    for (auto _ : state) {
        if (!rig.engine.handle(event)) {
            state.SkipWithError("the key did not fire");
            break;
        }
    }
}
BENCHMARK(KeyDownFires)->Arg(10)->Arg(1000)->Arg(100000);

// A key no rule is bound to, with n rules of which every third is scoped to an application: the
// verdict asks for no frontmost application.
void KeyDownUnbound(benchmark::State& state) {
    const auto n = static_cast<int64_t>(state.range(0));
    Config config;
    for (int64_t i = 0; i < n; ++i) {
        config.bindings.push_back(Rule::make(
            Trigger::hotkey(KeyCombo{1000 + i, Mods(i % 16)}),
            Action::window(WindowAction::leftHalf),
            i % 3 == 0 ? std::optional<std::string>("org.example.app") : std::nullopt, true));
    }
    Rig rig(std::move(config));
    InputEvent event;
    event.kind = InputKind::keyDown;
    event.keyCode = 111;  // F12
    for (auto _ : state) {
        if (rig.engine.handle(event)) {
            state.SkipWithError("the key was swallowed");
            break;
        }
    }
    state.counters["front_asked"] = static_cast<double>(rig.workspace.frontAsked);
}
BENCHMARK(KeyDownUnbound)->Arg(10)->Arg(100000);

void DragWhileMoving(benchmark::State& state) {
    Rig rig(Config::starter());
    rig.windowSystem.open(1, {300, 300, 400, 300});
    auto event = [](InputKind kind, double x, double y, double time = 0) {
        InputEvent e;
        e.kind = kind;
        e.location = {x, y};
        e.time = time;
        return e;
    };
    rig.engine.handle(event(InputKind::leftDown, 400, 310));
    rig.engine.handle(event(InputKind::leftDragged, 420, 320));
    rig.windowSystem.windows[1].frame.x = 320;
    rig.engine.handle(event(InputKind::leftDragged, 440, 330, 0.05));
    if (rig.engine.dragState() != DragSnapper::State::moving) {
        state.SkipWithError("the drag did not reach moving");
        return;
    }
    // Alternates between the left strip and mid-screen: a zone, then none.
    InputEvent inZone = event(InputKind::leftDragged, 2, 450, 0.06);
    InputEvent outside = event(InputKind::leftDragged, 700, 450, 0.06);
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.engine.handle(flip ? inZone : outside));
        flip = !flip;
    }
}
BENCHMARK(DragWhileMoving);

}  // namespace
}  // namespace ombrel
