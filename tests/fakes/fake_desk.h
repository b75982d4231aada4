// The action side of the program wired to fakes: the window manager, the runner and the queue into
// it, with one list of everything they did. The engine's tests drive it through the engine.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "actions/action_queue.h"
#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/notices.h"
#include "fakes/fake_platform.h"

namespace ombrel::fake {

// Window 1 is focused on the given displays (by default one with a menu bar); the application
// refuses sizes under its minimum.
struct Desk {
    explicit Desk(Rect frame = {100, 100, 400, 300},
                  std::vector<Screen> displays = {{{0, 0, 1440, 900}, {0, 25, 1440, 875}}},
                  Size min = {}, SystemPrograms programs = {"sh", {"-c"}, {}, {}, {}, {}, {}})
        : runner{manager, poster, workspace, shell, std::move(programs)} {
        system.displays = std::move(displays);
        system.open(1, frame, min);
        runner.setNotices(&notices);
    }
    // One entry per effect: posted events, the desktop shell's calls, started programs and opened
    // addresses and applications, window writes, and the notices.
    [[nodiscard]] std::vector<std::string> effects() const {
        std::vector<std::string> out;
        for (const auto* log : {&poster.posted, &shell.calls, &workspace.started, &system.writes}) {
            out.insert(out.end(), log->begin(), log->end());
        }
        for (const Notice& n : notices.current()) {
            out.push_back("notice " + n.topic + (n.text.empty() ? " empty" : ""));
        }
        return out;
    }

    FakeTaskQueue turns;  // the main queue, the action worker's included
    FakeWindowSystem system;
    WindowManager manager{system};
    FakeEventPoster poster;
    FakeWorkspace workspace;
    FakeDesktopShell shell;
    Notices notices;
    ActionRunner runner;
    ActionQueue queue{turns, runner, manager};
};

}  // namespace ombrel::fake
