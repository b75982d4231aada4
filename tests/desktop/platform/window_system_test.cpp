// Window frames, moves and displays against Xvfb with openbox: decorations, client-side
// decorations, maximized windows, resize increments, two monitors and panel struts.
// GoogleTest before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "platform/linux/x_window_system.h"

#include <X11/Xutil.h>

#include <memory>
#include <vector>

#include "env.h"
#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;

TEST(VisibleArea, StrutsCountOnlyForTheMonitorTheyReach) {
    const Rect left{0, 0, 1280, 800};
    const Rect right{1280, 0, 1024, 768};
    const Strut leftPanel{{40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0}};
    const Strut bottomOfShorter{{0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303}};
    struct Case {
        const char* name;
        std::vector<Strut> struts;
        Rect monitor;
        Rect visible;
    };
    const std::vector<Case> cases = {
        {"no strut", {}, left, left},
        {"left panel", {leftPanel}, left, {40, 0, 1240, 800}},
        {"left panel seen from the other monitor", {leftPanel}, right, right},
        {"top bar across both",
         {{{0, 0, 25, 0, 0, 0, 0, 0, 0, 2303, 0, 0}}},
         right,
         {1280, 25, 1024, 743}},
        {"bottom of the shorter monitor, from the root's bottom",
         {bottomOfShorter},
         right,
         {1280, 0, 1024, 736}},
        {"the same band misses the left monitor", {bottomOfShorter}, left, left},
        {"right panel", {{{0, 30, 0, 0, 0, 0, 0, 767, 0, 0, 0, 0}}}, right, {1280, 0, 994, 768}},
        {"band covering a whole monitor belongs to its neighbour",
         {{{1310, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
         left,
         left},
        {"two panels on one edge: the wider wins",
         {leftPanel, {{60, 0, 0, 0, 0, 399, 0, 0, 0, 0, 0, 0}}},
         left,
         {60, 0, 1220, 800}},
        {"range outside the monitor", {{{0, 0, 30, 0, 0, 0, 0, 0, 0, 1279, 0, 0}}}, right, right},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(visibleArea(c.monitor, c.struts, {2304, 800}), c.visible) << c.name;
    }
}

class WindowSystemTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(session().ready()) << session().failure(); }
    void TearDown() override {
        for (Window w : windows_) {
            XDestroyWindow(d_, w);
        }
        XSync(d_, False);
    }
    Window make(int x, int y, const std::function<void(Window)>& before = {}) {
        const Window w =
            session().createWindow("ombreltest", "OmbrelTest", x, y, 400, 300, 0, before);
        windows_.push_back(w);
        return w;
    }

    Display* d_ = session().display();
    XConnection x_;
    X11WindowSystem ws_{x_};
    std::vector<Window> windows_;
};

// A client-side decorated window: no window-manager decorations, a shadow margin inside.
void clientSideDecorated(Window w) {
    setProperty(w, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS", {2, 0, 0, 0, 0});
    setProperty(w, "_GTK_FRAME_EXTENTS", "CARDINAL", {10, 14, 8, 12});
}

void maximize(Display* d, Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // add
    e.xclient.data.l[1] = long(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False));
    e.xclient.data.l[2] = long(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
}

TEST_F(WindowSystemTest, PlacementsLandOnTheVisibleFrameOfEveryKindOfWindow) {
    pid_t term = -1;
    const std::unique_ptr<pid_t, void (*)(pid_t*)> stopTerm(
        &term, [](pid_t* p) { xsession::XSession::stop(*p); });
    struct Kind {
        const char* name;
        std::function<Window()> make;
        Rect shadow;  // left, top, right, bottom margins the client draws outside its frame
    };
    const Kind kinds[] = {
        {"decorated", [&] { return make(100, 100); }, {}},
        {"client-side decorated",
         [&] { return make(300, 200, clientSideDecorated); },
         {10, 8, 14, 12}},
        {"maximized",
         [&] {
             const Window w = make(200, 150);
             maximize(d_, w);
             return pumpUntil([&] { return outer(w) == Rect{0, 0, 1280, 800}; }) ? w : 0;
         },
         {}},
        {"terminal with resize increments",
         [&] {
             term = xsession::XSession::start({"xterm", "-class", "OmbrelTerm", "-geometry",
                                               "80x24+40+40", "-e", "sleep", "60"});
             Window w = 0;
             pumpUntil(
                 [&] {
                     const Window a = session().activeWindow();
                     w = readClass(d_, a) == std::optional<std::string>("OmbrelTerm") ? a : 0;
                     return w != 0;
                 },
                 10s);
             return w;
         },
         {}},
    };
    const Rect targets[] = {
        {0, 0, 640, 800}, {333, 25, 334, 775}, {1280, 384, 512, 384}, {1080, 100, 400, 300}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const Window w = kind.make();
        ASSERT_NE(w, 0U);
        ASSERT_TRUE(session().activate(w));
        const auto focused = ws_.focusedWindow();
        ASSERT_EQ(focused, std::optional<WindowRef>(WindowRef{w}));
        XSizeHints hints{};
        long supplied = 0;
        XGetWMNormalHints(d_, w, &hints, &supplied);
        const double incW = hints.flags & PResizeInc ? hints.width_inc : 1;
        const double incH = hints.flags & PResizeInc ? hints.height_inc : 1;
        for (const Rect& target : targets) {
            ws_.writeSize(*focused, target.size());
            ws_.writePosition(*focused, target.origin());
            ws_.writeSize(*focused, target.size());
            const auto f = ws_.frame(*focused);
            ASSERT_TRUE(f.has_value());
            EXPECT_EQ(f->origin(), target.origin());
            EXPECT_TRUE(f->width <= target.width && f->width > target.width - incW) << f->width;
            EXPECT_TRUE(f->height <= target.height && f->height > target.height - incH)
                << f->height;
            const Rect& s = kind.shadow;
            EXPECT_EQ(outer(w), (Rect{f->x - s.x, f->y - s.y, f->width + s.x + s.width,
                                      f->height + s.y + s.height}));
            EXPECT_EQ(ws_.position(*focused), f->origin());
        }
        const Atom vert = XInternAtom(d_, "_NET_WM_STATE_MAXIMIZED_VERT", False);
        EXPECT_TRUE(pumpUntil([&] {
            const auto state = readLongs(d_, w, XInternAtom(d_, "_NET_WM_STATE", False));
            return !state || std::count(state->begin(), state->end(), long(vert)) == 0;
        }));
    }
    // A window that is gone reads as nothing, and writing to it is harmless.
    const WindowRef gone{windows_.front()};
    XDestroyWindow(d_, windows_.front());
    XSync(d_, False);
    EXPECT_FALSE(ws_.frame(gone) || ws_.position(gone) || ws_.size(gone) ||
                 ws_.frame(WindowRef{0}));
    ws_.writeSize(gone, {300, 300});
    ws_.writePosition(gone, {10, 10});
    EXPECT_TRUE(x_.connected());
}

TEST_F(WindowSystemTest, ScreensArePrimaryFirstAndPanelsShrinkTheirMonitor) {
    const auto screensAre = [&](Rect primary, Rect second) {
        return pumpUntil([&] {
            auto s = ws_.screens();
            return s.size() == 2 && s[0].full == Rect{0, 0, 1280, 800} && s[0].visible == primary &&
                   s[1].full == Rect{1280, 0, 1024, 768} && s[1].visible == second;
        });
    };
    EXPECT_TRUE(screensAre({0, 0, 1280, 800}, {1280, 0, 1024, 768}));
    // A bottom panel on the shorter monitor and a left panel on the primary one.
    windows_.push_back(
        createDock(1280, 736, 1024, 32, {0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303}));
    windows_.push_back(createDock(0, 0, 48, 800, {48, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(screensAre({48, 0, 1232, 800}, {1280, 0, 1024, 736}));
    // Asking again without a change hands back the same storage.
    EXPECT_EQ(ws_.screens().data(), ws_.screens().data());
    TearDown();
    windows_.clear();
    EXPECT_TRUE(screensAre({0, 0, 1280, 800}, {1280, 0, 1024, 768}));
}

}  // namespace
}  // namespace ombrel::linux_platform
