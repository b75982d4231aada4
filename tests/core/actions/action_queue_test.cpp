// The way into the action worker: order, one job per turn of the worker, run requests merged
// while they wait, a cap with the drops counted and logged once the worker has caught up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/action_queue.h"
#include "fakes/fake_platform.h"
#include "platform/log.h"

namespace ombrel {
namespace {

struct Lines : log::Sink {
    std::vector<std::string> notes;
    void note(std::string_view line) override { notes.emplace_back(line); }
    void decision(std::string_view) override {}
    [[nodiscard]] bool wantsDecisions() const override { return false; }
};

struct Worker {
    Worker() { windowSystem.open(1, {10, 10, 300, 200}); }
    // What ran, in order: shell commands by name, desktop requests by number, frames written.
    std::vector<std::string> ran() const {
        std::vector<std::string> out;
        for (const Command& c : workspace.launched) {
            out.push_back(c.arguments.back());
        }
        for (const DesktopShell::Request r : shell.sent) {
            out.push_back("desktop " + std::to_string(static_cast<int>(r)));
        }
        for (const auto& w : windowSystem.writes) {
            out.push_back("frame " + std::to_string(static_cast<int>(w.frameAfter.x)));
        }
        return out;
    }
    fake::FakeTaskQueue turns;
    fake::FakeWindowSystem windowSystem;
    WindowManager windows{windowSystem};
    fake::FakeEventPoster poster;
    fake::FakeWorkspace workspace;
    fake::FakeDesktopShell shell;
    ActionRunner runner{windows, poster, workspace, shell,
                        SystemPrograms{"sh", {"-c"}, {}, {}, {}, {}, {}}};
    ActionQueue queue{turns, runner, windows};
};

// Nothing runs on the caller's thread; the worker runs one job per turn, in order, so that its
// own work comes between two jobs. A request for a name that waits is taken in by it: a burst is
// performed once per answer.
TEST(ActionQueue, OneJobPerTurnWithRequestsMergedWhileTheyWait) {
    Worker w;
    const Action overview = Action::system(SystemAction::missionControl);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(w.queue.request(overview));
    }
    w.queue.perform(overview);  // a binding's action is never merged
    w.queue.request(Action::system(SystemAction::showDesktop));
    w.queue.request(overview);
    std::vector<std::string> between;
    w.turns.post([&] {
        between = w.ran();
        w.queue.request(overview);
    });
    EXPECT_TRUE(w.ran().empty());
    w.turns.runDue();
    EXPECT_EQ(between, std::vector<std::string>{"desktop 0"});
    EXPECT_EQ(w.ran(),
              (std::vector<std::string>{"desktop 0", "desktop 0", "desktop 2", "desktop 0"}));
    EXPECT_EQ(w.queue.dropped(), 0u);
}

TEST(ActionQueue, BeyondTheCapJobsAreDroppedAndLoggedOnceCaughtUp) {
    Lines lines;
    log::Sink* before = log::setSink(&lines);
    Worker w;
    EXPECT_TRUE(w.queue.request(Action::shell("0")));
    for (std::size_t i = 1; i < ActionQueue::capacity + 3; ++i) {
        EXPECT_EQ(w.queue.perform(Action::shell(std::to_string(i))), i < ActionQueue::capacity);
    }
    EXPECT_FALSE(w.queue.setFrame(WindowRef{1}, {0, 0, 100, 100}));
    EXPECT_TRUE(w.queue.request(Action::shell("0"))) << "merged, not dropped";
    EXPECT_FALSE(w.queue.request(Action::shell("1"))) << "an action is not a request";
    EXPECT_EQ(w.queue.dropped(), 5u);
    EXPECT_TRUE(lines.notes.empty()) << "nothing is logged per drop";
    w.turns.runDue();
    EXPECT_EQ(w.ran().size(), ActionQueue::capacity);
    EXPECT_EQ(w.ran().back(), std::to_string(ActionQueue::capacity - 1));
    EXPECT_EQ(lines.notes, std::vector<std::string>{
                               "5 actions were dropped because 64 were already waiting to be "
                               "performed."});
    EXPECT_TRUE(w.queue.setFrame(WindowRef{1}, {40, 10, 300, 200}));
    w.turns.runDue();
    EXPECT_EQ(w.ran().back(), "frame 40");
    EXPECT_EQ(w.windows.placements().size(), 0u) << "a snapped frame is not remembered";
    EXPECT_EQ(lines.notes.size(), 1u);
    log::setSink(before);
}

}  // namespace
}  // namespace ombrel
