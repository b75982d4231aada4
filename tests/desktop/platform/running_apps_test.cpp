// The "In" picker's running applications, read from a real window manager's client list: the
// windows people work in, one entry per application, none of the program's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/linux/desktop_services.h"

#include <X11/Xutil.h>

#include "env.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;

TEST(RunningApplications, NormalWindowsOfOtherProgramsOncePerApplication) {
    ASSERT_TRUE(session().ready()) << session().failure();
    Display* d = session().display();
    constexpr long ours = 4242;
    // Classes of their own (the session's other windows belong to other tests), the window type
    // (none: untyped), the process (0: not set), and whether it is a dialog of the first window.
    const std::tuple<const char*, const char*, long, bool> clients[] = {
        {"RaTerm", nullptr, 0, false},
        {"RaEdit", "_NET_WM_WINDOW_TYPE_NORMAL", 17, false},
        {"RaTerm", nullptr, 0, false},
        {"RaTray", "_NET_WM_WINDOW_TYPE_DOCK", 0, false},
        {"RaOwn", "_NET_WM_WINDOW_TYPE_NORMAL", ours, false},
        {"RaPrefs", "_NET_WM_WINDOW_TYPE_DIALOG", 0, false},
        {"RaUntyped", nullptr, 0, true},
    };
    std::vector<Window> made;
    for (const auto& [windowClass, type, pid, transient] : clients) {
        const auto properties = [&, type = type, pid = pid, transient = transient](Window w) {
            if (type) {
                setProperty(w, "_NET_WM_WINDOW_TYPE", "ATOM", {long(XInternAtom(d, type, False))});
            }
            if (pid != 0) {
                setProperty(w, "_NET_WM_PID", "CARDINAL", {pid});
            }
            if (transient) {
                XSetTransientForHint(d, w, made.front());
            }
        };
        made.push_back(
            session().createWindow(windowClass, windowClass, 10, 10, 120, 80, 0, properties));
        ASSERT_NE(made.back(), 0u) << windowClass;
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
