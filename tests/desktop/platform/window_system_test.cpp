// Window frames, moves and displays against Xvfb with openbox: decorations, client-side
// decorations, maximized windows, resize increments, two monitors and panel struts.
// GoogleTest before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "platform/linux/x_window_system.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <memory>
#include <vector>

#include "desktop_env.h"
#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;
using platform_test::session;
using namespace std::chrono_literals;

Rect toRect(const xsession::Monitor& m) {
    return {double(m.x), double(m.y), double(m.width), double(m.height)};
}

Strut strut(std::array<long, 12> v) {
    return Strut{v};
}

TEST(VisibleArea, StrutsCountOnlyForTheMonitorTheyReach) {
    const Size root{2304, 800};
    const Rect left{0, 0, 1280, 800};
    const Rect right{1280, 0, 1024, 768};
    struct Case {
        const char* name;
        std::vector<Strut> struts;
        Rect monitor;
        Rect visible;
    };
    const std::vector<Case> cases = {
        {"no strut", {}, left, left},
        {"left panel", {strut({40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0})}, left, {40, 0, 1240, 800}},
        {"left panel seen from the other monitor",
         {strut({40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0})},
         right,
         right},
        {"top bar across both",
         {strut({0, 0, 25, 0, 0, 0, 0, 0, 0, 2303, 0, 0})},
         right,
         {1280, 25, 1024, 743}},
        {"bottom panel of the shorter monitor, measured from the root's bottom",
         {strut({0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303})},
         right,
         {1280, 0, 1024, 736}},
        {"same panel does not touch the left monitor",
         {strut({0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303})},
         left,
         left},
        {"right panel",
         {strut({0, 30, 0, 0, 0, 0, 0, 767, 0, 0, 0, 0})},
         right,
         {1280, 0, 994, 768}},
        {"band covering a whole monitor belongs to its neighbour",
         {strut({1310, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
         left,
         left},
        {"two panels on one edge: the wider wins",
         {strut({40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0}),
          strut({60, 0, 0, 0, 0, 399, 0, 0, 0, 0, 0, 0})},
         left,
         {60, 0, 1220, 800}},
        {"range outside the monitor",
         {strut({0, 0, 30, 0, 0, 0, 0, 0, 0, 1279, 0, 0})},
         right,
         right},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(visibleArea(c.monitor, c.struts, root), c.visible) << c.name;
    }
}

class WindowSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        x_ = std::make_unique<XConnection>();
        ASSERT_TRUE(x_->connected());
        ws_ = std::make_unique<X11WindowSystem>(*x_);
    }
    void TearDown() override {
        for (Window w : windows_) {
            XDestroyWindow(session().display(), w);
        }
        XSync(session().display(), False);
    }

    Window makeWindow(int x, int y, int w, int h, const std::function<void(Window)>& before = {}) {
        const Window window =
            session().createWindow("ombreltest", "OmbrelTest", x, y, w, h, 0, before);
        if (window != 0) {
            windows_.push_back(window);
        }
        return window;
    }

    void place(WindowRef w, const Rect& r) {
        ws_->writeSize(w, r.size());
        ws_->writePosition(w, r.origin());
        ws_->writeSize(w, r.size());
    }

    Rect outer(Window w) {
        xsession::Monitor m;
        EXPECT_TRUE(session().outerFrame(w, m));
        return toRect(m);
    }

    std::unique_ptr<XConnection> x_;
    std::unique_ptr<X11WindowSystem> ws_;
    std::vector<Window> windows_;
};

TEST_F(WindowSystemTest, FocusedWindowIsTheActiveClient) {
    const Window a = makeWindow(50, 60, 300, 200);
    const Window b = makeWindow(400, 60, 300, 200);
    ASSERT_NE(a, 0U);
    ASSERT_NE(b, 0U);
    // Openbox focuses a new window on its own; let that settle before switching.
    ASSERT_TRUE(pumpUntil([&] { return session().activeWindow() == b; }));
    for (Window w : {a, b, a}) {
        ASSERT_TRUE(session().activate(w));
        const auto focused = ws_->focusedWindow();
        ASSERT_TRUE(focused.has_value());
        EXPECT_EQ(focused->id, w);
        EXPECT_EQ(ws_->frame(*focused), outer(w));
    }
}

TEST_F(WindowSystemTest, PlacementsLandExactlyOnTheOuterFrame) {
    const Window w = makeWindow(100, 100, 400, 300);
    ASSERT_NE(w, 0U);
    ASSERT_TRUE(session().activate(w));
    const WindowRef ref{w};
    const std::vector<Rect> targets = {
        {0, 0, 640, 800},             // left half of the primary monitor
        {640, 0, 640, 800},           // right half
        {0, 400, 640, 400},           // bottom-left quarter
        {333, 25, 334, 775},          // odd sizes and offsets
        {1280, 0, 512, 768},          // second monitor, left half
        {1792, 384, 512, 384},        // second monitor, bottom-right quarter
        {100, 100, 400, 300},         // back to a small window
        {1280 - 200, 100, 400, 300},  // across the boundary between monitors
    };
    for (const auto& target : targets) {
        place(ref, target);
        EXPECT_EQ(ws_->frame(ref), target);
        EXPECT_EQ(outer(w), target);
        EXPECT_EQ(ws_->position(ref), target.origin());
        EXPECT_EQ(ws_->size(ref), target.size());
    }
}

TEST_F(WindowSystemTest, MaximizedWindowIsRestoredThenPlaced) {
    Display* d = session().display();
    const Window w = makeWindow(200, 150, 400, 300);
    ASSERT_NE(w, 0U);
    ASSERT_TRUE(session().activate(w));
    const Atom state = XInternAtom(d, "_NET_WM_STATE", False);
    const Atom vert = XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    const Atom horz = XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
    auto maximized = [&] {
        auto v = readLongs(d, w, state);
        return v && std::find(v->begin(), v->end(), long(vert)) != v->end();
    };
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = state;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // add
    e.xclient.data.l[1] = long(vert);
    e.xclient.data.l[2] = long(horz);
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    XFlush(d);
    ASSERT_TRUE(pumpUntil(maximized));
    ASSERT_TRUE(pumpUntil([&] { return outer(w) == Rect{0, 0, 1280, 800}; }));

    const Rect target{0, 0, 640, 800};
    place(WindowRef{w}, target);
    EXPECT_EQ(ws_->frame(WindowRef{w}), target);
    EXPECT_TRUE(pumpUntil([&] { return !maximized(); }));
    EXPECT_EQ(outer(w), target);
}

TEST_F(WindowSystemTest, ClientSideDecoratedWindowLandsWithoutItsShadow) {
    Display* d = session().display();
    // A client-side decorated window: no window-manager decorations, a shadow margin inside.
    const long shadow[4] = {10, 14, 8, 12};
    const Window w = makeWindow(300, 200, 400, 300, [&](Window window) {
        const long motif[5] = {2, 0, 0, 0, 0};  // decorations flag, no decorations
        const Atom hints = XInternAtom(d, "_MOTIF_WM_HINTS", False);
        XChangeProperty(d, window, hints, hints, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(motif), 5);
        XChangeProperty(d, window, XInternAtom(d, "_GTK_FRAME_EXTENTS", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(shadow), 4);
    });
    ASSERT_NE(w, 0U);
    ASSERT_TRUE(session().activate(w));
    auto client = [&] {
        XWindowAttributes a{};
        XGetWindowAttributes(d, w, &a);
        int rx = 0;
        int ry = 0;
        Window child = 0;
        XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &rx, &ry, &child);
        return Rect{double(rx), double(ry), double(a.width), double(a.height)};
    };
    ASSERT_EQ(outer(w), client()) << "openbox should not decorate it";
    const Rect before = client();
    EXPECT_EQ(ws_->frame(WindowRef{w}),
              (Rect{before.x + 10, before.y + 8, before.width - 24, before.height - 20}));

    for (const Rect target : {Rect{0, 0, 640, 800}, Rect{1280, 0, 512, 384}}) {
        place(WindowRef{w}, target);
        EXPECT_EQ(ws_->frame(WindowRef{w}), target);
        EXPECT_EQ(client(),
                  (Rect{target.x - 10, target.y - 8, target.width + 24, target.height + 20}));
    }
}

TEST_F(WindowSystemTest, TerminalRoundsToItsIncrementsAndTheReadBackSaysSo) {
    pid_t term = xsession::XSession::start(
        {"xterm", "-class", "OmbrelTerm", "-geometry", "80x24+40+40", "-e", "sleep", "60"});
    ASSERT_GT(term, 0);
    Display* d = session().display();
    Window w = 0;
    const bool found = pumpUntil(
        [&] {
            const Window a = session().activeWindow();
            if (a != 0 && readClass(d, a) == std::optional<std::string>("OmbrelTerm")) {
                w = a;
            }
            return w != 0;
        },
        10s);
    if (!found) {
        xsession::XSession::stop(term);
        FAIL() << "xterm did not show up";
    }
    XSizeHints hints{};
    long supplied = 0;
    XGetWMNormalHints(d, w, &hints, &supplied);
    ASSERT_TRUE(hints.flags & PResizeInc);
    ASSERT_GT(hints.width_inc, 1);
    ASSERT_GT(hints.height_inc, 1);

    for (const Rect target : {Rect{0, 0, 640, 800}, Rect{1280, 384, 512, 384}}) {
        place(WindowRef{w}, target);
        const auto f = ws_->frame(WindowRef{w});
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->origin(), target.origin());
        EXPECT_LE(f->width, target.width);
        EXPECT_GT(f->width, target.width - hints.width_inc);
        EXPECT_LE(f->height, target.height);
        EXPECT_GT(f->height, target.height - hints.height_inc);
        EXPECT_EQ(*f, outer(w));
    }
    xsession::XSession::stop(term);
}

TEST_F(WindowSystemTest, ScreensArePrimaryFirstAndPanelsShrinkTheirMonitor) {
    const auto& monitors = session().options().monitors;
    ASSERT_EQ(monitors.size(), 2U);
    auto screens = ws_->screens();
    ASSERT_EQ(screens.size(), 2U);
    EXPECT_EQ(screens[0].full, toRect(monitors[0]));
    EXPECT_EQ(screens[1].full, toRect(monitors[1]));
    EXPECT_EQ(screens[0].visible, screens[0].full);
    EXPECT_EQ(screens[1].visible, screens[1].full);

    Display* d = session().display();
    auto dock = [&](std::array<long, 12> partial) {
        return [d, partial](Window window) {
            const Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
            XChangeProperty(d, window, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
            XChangeProperty(d, window, XInternAtom(d, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL,
                            32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(partial.data()), 12);
        };
    };
    // A bottom panel on the shorter monitor and a left panel on the primary one.
    ASSERT_NE(makeWindow(1280, 736, 1024, 32, dock({0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303})),
              0U);
    ASSERT_NE(makeWindow(0, 0, 48, 800, dock({48, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0})), 0U);
    const Rect primaryVisible{48, 0, 1232, 800};
    const Rect secondVisible{1280, 0, 1024, 736};
    EXPECT_TRUE(pumpUntil([&] {
        auto s = ws_->screens();
        return s.size() == 2 && s[0].visible == primaryVisible && s[1].visible == secondVisible;
    })) << ::testing::PrintToString(ws_->screens()[0].visible)
        << ::testing::PrintToString(ws_->screens()[1].visible);
    // Asking again without a change hands back the same storage.
    const auto* first = ws_->screens().data();
    EXPECT_EQ(ws_->screens().data(), first);

    for (Window w : windows_) {
        XDestroyWindow(d, w);
    }
    windows_.clear();
    XSync(d, False);
    EXPECT_TRUE(pumpUntil([&] {
        auto s = ws_->screens();
        return s.size() == 2 && s[0].visible == s[0].full && s[1].visible == s[1].full;
    }));
}

TEST_F(WindowSystemTest, VanishedWindowReadsAsNothingAndWritesAreHarmless) {
    const Window w = makeWindow(100, 100, 200, 150);
    ASSERT_NE(w, 0U);
    XDestroyWindow(session().display(), w);
    XSync(session().display(), False);
    windows_.clear();
    const WindowRef ref{w};
    EXPECT_FALSE(ws_->frame(ref));
    EXPECT_FALSE(ws_->position(ref));
    EXPECT_FALSE(ws_->size(ref));
    ws_->writeSize(ref, {300, 300});
    ws_->writePosition(ref, {10, 10});
    EXPECT_TRUE(x_->connected());
    EXPECT_FALSE(ws_->frame(WindowRef{0}));
}

}  // namespace
}  // namespace ombrel::linux_platform
