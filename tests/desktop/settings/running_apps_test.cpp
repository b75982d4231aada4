// The "In" picker's running applications, read from a real window manager's client list: the
// windows people work in, one entry per application, none of the program's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/desktop_services.h"
#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace ombrel {
namespace {

TEST(RunningApplications, NormalWindowsOfOtherProgramsOncePerApplication) {
    xsession::XSession session;
    ASSERT_TRUE(session.ready()) << session.failure();
    Display* d = session.display();
    constexpr long ours = 4242;
    EXPECT_TRUE(desktop::clientWindowClasses(d, ours).empty());
    struct Client {
        const char* windowClass;
        const char* type;  // none: untyped
        long pid;          // 0: not set
        bool transient;    // a dialog of the first window
    };
    const Client clients[] = {
        {"XTerm", nullptr, 0, false},
        {"Gedit", "_NET_WM_WINDOW_TYPE_NORMAL", 17, false},
        {"XTerm", nullptr, 0, false},
        {"Trayer", "_NET_WM_WINDOW_TYPE_DOCK", 0, false},
        {"Ombrel", "_NET_WM_WINDOW_TYPE_NORMAL", ours, false},
        {"Prefs", "_NET_WM_WINDOW_TYPE_DIALOG", 0, false},
        {"Untyped", nullptr, 0, true},
    };
    const auto set = [d](Window w, const char* name, Atom type, long value) {
        XChangeProperty(d, w, XInternAtom(d, name, False), type, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&value), 1);
    };
    Window first = 0;
    for (const Client& c : clients) {
        const Window w =
            session.createWindow(c.windowClass, c.windowClass, 10, 10, 120, 80, 0, [&](Window w) {
                if (c.type) {
                    set(w, "_NET_WM_WINDOW_TYPE", XA_ATOM,
                        static_cast<long>(XInternAtom(d, c.type, False)));
                }
                if (c.pid != 0) {
                    set(w, "_NET_WM_PID", XA_CARDINAL, c.pid);
                }
                if (c.transient) {
                    XSetTransientForHint(d, w, first);
                }
            });
        ASSERT_NE(w, 0u) << c.windowClass;
        first = first != 0 ? first : w;
    }
    EXPECT_THAT(desktop::clientWindowClasses(d, ours), ::testing::ElementsAre("XTerm", "Gedit"));
    EXPECT_TRUE(desktop::clientWindowClasses(nullptr, ours).empty());
}

}  // namespace
}  // namespace ombrel
