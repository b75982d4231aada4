// A server that goes away: every part notices, answers "nothing", and nothing crashes.
#include <gtest/gtest.h>

#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"
#include "platform/linux/x_window_system.h"

#include <cstdlib>
#include <memory>

#include "desktop_env.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;
using platform_test::session;

TEST(XConnectionLoss, EveryPartAnswersNothingOnceTheServerIsGone) {
    ASSERT_TRUE(session().ready());
    const std::string shared = session().displayName();
    xsession::Options options;
    options.windowManager = false;
    auto server = std::make_unique<xsession::XSession>(options);
    setenv("DISPLAY", shared.c_str(), 1);  // the other tests keep the shared session
    ASSERT_TRUE(server->ready()) << server->failure();

    XConnection x(server->displayName());
    ASSERT_TRUE(x.connected());
    X11EventTap tap(x);
    X11WindowSystem windows(x);
    X11EventPoster poster(x);
    int seen = 0;
    ASSERT_TRUE(tap.install([&](const InputEvent&) {
        ++seen;
        return true;
    }));
    tap.setGrabs({{KeyCombo{0, Mods(Mods::command)}}, {2}, true, true});
    EXPECT_FALSE(windows.screens().empty());

    server.reset();
    EXPECT_TRUE(pumpUntil([&] { return !x.connected(); }));
    EXPECT_FALSE(tap.trusted());  // tries to connect again, and cannot
    EXPECT_FALSE(x.reconnect());
    tap.reenable();
    tap.setGrabs({});
    EXPECT_FALSE(windows.focusedWindow());
    EXPECT_TRUE(windows.screens().empty());
    EXPECT_FALSE(windows.frame(WindowRef{1}));
    windows.writeSize(WindowRef{1}, {10, 10});
    EXPECT_FALSE(poster.postKey(0, true, 0, syntheticEventMarker));
    EXPECT_FALSE(poster.postMouseButton(2, true, {1, 1}, syntheticEventMarker));
    EXPECT_FALSE(poster.pointerLocation());
}

}  // namespace
}  // namespace ombrel::linux_platform
