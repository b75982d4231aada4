// The "In" picker's running applications, read from a real window manager's client list: the
// windows people work in, one entry per application, none of the program's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/linux/desktop_services.h"

#include <X11/Xutil.h>

#include <algorithm>

#include "env.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::session;
using platform_test::setProperty;

TEST(RunningApplications, NormalWindowsOfOtherProgramsOncePerApplication) {
    Display* d = session().display();
    constexpr long ours = 4242;
    struct Client {
        const char* windowClass;
        const char* type;  // none: untyped
        long pid;          // 0: not set
        bool transient;    // a dialog of the first window
    };
    // Classes of their own: the session's other windows belong to other tests.
    const Client clients[] = {
        {"RaTerm", nullptr, 0, false},
        {"RaEdit", "_NET_WM_WINDOW_TYPE_NORMAL", 17, false},
        {"RaTerm", nullptr, 0, false},
        {"RaTray", "_NET_WM_WINDOW_TYPE_DOCK", 0, false},
        {"RaOwn", "_NET_WM_WINDOW_TYPE_NORMAL", ours, false},
        {"RaPrefs", "_NET_WM_WINDOW_TYPE_DIALOG", 0, false},
        {"RaUntyped", nullptr, 0, true},
    };
    std::vector<Window> made;
    for (const Client& c : clients) {
        const Window w =
            session().createWindow(c.windowClass, c.windowClass, 10, 10, 120, 80, 0, [&](Window w) {
                if (c.type) {
                    setProperty(w, "_NET_WM_WINDOW_TYPE", "ATOM",
                                {static_cast<long>(XInternAtom(d, c.type, False))});
                }
                if (c.pid != 0) {
                    setProperty(w, "_NET_WM_PID", "CARDINAL", {c.pid});
                }
                if (c.transient) {
                    XSetTransientForHint(d, w, made.front());
                }
            });
        ASSERT_NE(w, 0u) << c.windowClass;
        made.push_back(w);
    }
    std::vector<std::string> listed = clientWindowClasses(d, ours);
    std::erase_if(listed, [](const std::string& c) { return !c.starts_with("Ra"); });
    EXPECT_THAT(listed, ::testing::ElementsAre("RaTerm", "RaEdit"));
    EXPECT_TRUE(clientWindowClasses(nullptr, ours).empty());
    for (const Window w : made) {
        XDestroyWindow(d, w);
    }
    XSync(d, False);
}

}  // namespace
}  // namespace ombrel::linux_platform
