// The connection and the main loop: a server that goes away leaves every part answering
// "nothing", and tasks posted from anywhere run on the main thread, in order and on time.
#include <gtest/gtest.h>

#include "platform/linux/qt_task_queue.h"
#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"
#include "platform/linux/x_window_system.h"

#include <cstdlib>
#include <memory>
#include <thread>

#include "env.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;
using platform_test::session;

TEST(XConnectionLoss, EveryPartAnswersNothingOnceTheServerIsGone) {
    auto server = std::make_unique<xsession::XSession>();
    setenv("DISPLAY", session().displayName().c_str(), 1);  // the other tests keep the shared one
    ASSERT_TRUE(server->ready()) << server->failure();

    XConnection x(server->displayName());
    ASSERT_TRUE(x.connected());
    int told = 0;
    x.addLostListener([&told] { ++told; });
    X11EventPoster poster(x);
    X11EventTap tap(x, poster);
    X11WindowSystem windows(x);
    ASSERT_TRUE(tap.install([](const InputEvent&) { return true; }));
    tap.setGrabs({{KeyCombo{0, Mods(Mods::command)}}, {2}, true, true, false, {}});
    EXPECT_FALSE(windows.screens().empty());

    server.reset();
    EXPECT_TRUE(pumpUntil([&] { return !x.connected() && told == 1; }));
    EXPECT_FALSE(tap.inputAvailable());
    EXPECT_EQ(tap.unavailableReason(),
              "Shortcuts, mouse buttons and drawings do nothing: there is no connection to the X "
              "server.");
    EXPECT_FALSE(x.reconnect());
    EXPECT_TRUE(tap.setGrabs({}).empty());
    EXPECT_FALSE(windows.focusedWindow() || windows.frame(WindowRef{1}));
    EXPECT_TRUE(windows.screens().empty());
    windows.writeSize(WindowRef{1}, {10, 10});
    EXPECT_FALSE(poster.postKeystroke(0, Mods()) || poster.postMediaKey(MediaKey::mute) ||
                 poster.postClick(2, {1, 1}));
    EXPECT_FALSE(poster.pointerLocation());
    x.dispatchPending();
    EXPECT_EQ(told, 1) << "a loss is told once";
}

TEST(QtTaskQueue, TasksFromAnyThreadRunOnTheMainThreadInOrderAndOnTime) {
    QtTaskQueue queue;
    const double start = queue.uptime();
    std::vector<int> order;
    std::vector<double> delays;
    const auto main = std::this_thread::get_id();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            queue.post([&, i] { order.push_back(std::this_thread::get_id() == main ? i : -1); });
        }
    });
    worker.join();
    // Each delayed task records how long after the start it ran, marked by the delay it asked.
    for (double delay : {0.05, 0.01, -1.0}) {
        queue.postAfter(delay, [&, delay] {
            delays.push_back(queue.uptime() - start >= delay - 1e-3 ? delay : -9);
        });
    }
    int ticks = 0;
    queue.repeatEvery(0.01, [&] { ++ticks; });
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 50 && delays.size() == 3 && ticks >= 3; }));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[std::size_t(i)], i);
    }
    EXPECT_EQ(delays, (std::vector<double>{-1.0, 0.01, 0.05}));
}

}  // namespace
}  // namespace ombrel::linux_platform
