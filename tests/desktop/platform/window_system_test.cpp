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
    const Strut widerLeftPanel{{60, 0, 0, 0, 0, 399, 0, 0, 0, 0, 0, 0}};
    const Strut topBarAcrossBoth{{0, 0, 25, 0, 0, 0, 0, 0, 0, 2303, 0, 0}};
    const Strut topBarOfLeftOnly{{0, 0, 30, 0, 0, 0, 0, 0, 0, 1279, 0, 0}};
    // Measured from the root's bottom, which the shorter monitor does not reach.
    const Strut bottomOfShorter{{0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303}};
    const Strut rightPanel{{0, 30, 0, 0, 0, 0, 0, 767, 0, 0, 0, 0}};
    // A band covering a whole monitor belongs to its neighbour.
    const Strut overLeftMonitor{{1310, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    const std::tuple<std::vector<Strut>, Rect, Rect> cases[] = {
        {{}, left, left},
        {{leftPanel}, left, {40, 0, 1240, 800}},
        {{leftPanel}, right, right},
        {{leftPanel, widerLeftPanel}, left, {60, 0, 1220, 800}},
        {{topBarAcrossBoth}, right, {1280, 25, 1024, 743}},
        {{topBarOfLeftOnly}, right, right},
        {{bottomOfShorter}, right, {1280, 0, 1024, 736}},
        {{bottomOfShorter}, left, left},
        {{rightPanel}, right, {1280, 0, 994, 768}},
        {{overLeftMonitor}, left, left},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [struts, monitor, visible] = cases[i];
        EXPECT_EQ(visibleArea(monitor, struts, {2304, 800}), visible) << "case " << i;
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

TEST_F(WindowSystemTest, PlacementsLandOnTheVisibleFrameOfEveryKindOfWindow) {
    // Client-side decorated: no window-manager decorations, a shadow margin inside.
    const Window csd = make(300, 200, [](Window w) {
        setProperty(w, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS", {2, 0, 0, 0, 0});
        setProperty(w, "_GTK_FRAME_EXTENTS", "CARDINAL", {10, 14, 8, 12});
    });
    const Window maximized = make(200, 150);
    const std::string id = std::to_string(maximized);
    ASSERT_EQ(xsession::XSession::run(
                  {"wmctrl", "-i", "-r", id, "-b", "add,maximized_vert,maximized_horz"}),
              0);
    ASSERT_TRUE(pumpUntil([&] { return outer(maximized) == Rect{0, 0, 1280, 800}; }));
    pid_t term = xsession::XSession::start(
        {"xterm", "-class", "OmbrelTerm", "-geometry", "80x24+40+40", "-e", "sleep", "60"});
    const std::unique_ptr<pid_t, void (*)(pid_t*)> stopTerm(
        &term, [](pid_t* p) { xsession::XSession::stop(*p); });
    Window terminal = 0;
    ASSERT_TRUE(pumpUntil(
        [&] {
            terminal = session().activeWindow();
            return readClass(d_, terminal) == std::optional<std::string>("OmbrelTerm");
        },
        10s));

    const Atom vert = XInternAtom(d_, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    const std::pair<Window, Rect> kinds[] = {
        {csd, {10, 8, 14, 12}}, {maximized, {}}, {terminal, {}}};
    for (auto [w, shadow] : kinds) {  // shadow: left, top, right and bottom margins
        SCOPED_TRACE(w);
        ASSERT_TRUE(session().activate(w));
        const auto focused = ws_.focusedWindow();
        ASSERT_EQ(focused, std::optional<WindowRef>(WindowRef{w}));
        XSizeHints hints{};
        long supplied = 0;
        XGetWMNormalHints(d_, w, &hints, &supplied);
        const bool increments = (hints.flags & PResizeInc) != 0;
        for (const Rect target :
             {Rect{0, 0, 640, 800}, Rect{333, 25, 334, 775}, Rect{1280, 384, 512, 384}}) {
            ws_.writeSize(*focused, target.size());
            ws_.writePosition(*focused, target.origin());
            ws_.writeSize(*focused, target.size());
            const Rect f = ws_.frame(*focused).value_or(Rect{});
            EXPECT_EQ(f.origin(), target.origin());
            // A terminal rounds down to whole cells.
            EXPECT_TRUE(f.width <= target.width &&
                        f.width > target.width - (increments ? hints.width_inc : 1))
                << f.width;
            EXPECT_TRUE(f.height <= target.height &&
                        f.height > target.height - (increments ? hints.height_inc : 1))
                << f.height;
            EXPECT_EQ(outer(w),
                      (Rect{f.x - shadow.x, f.y - shadow.y, f.width + shadow.x + shadow.width,
                            f.height + shadow.y + shadow.height}));
            EXPECT_EQ(ws_.position(*focused), f.origin());
        }
        EXPECT_TRUE(pumpUntil([&] {
            const auto state = readLongs(d_, w, XInternAtom(d_, "_NET_WM_STATE", False));
            return !state || std::count(state->begin(), state->end(), long(vert)) == 0;
        }));
    }
    // A window that is gone reads as nothing, and writing to it is harmless.
    XDestroyWindow(d_, csd);
    XSync(d_, False);
    const WindowRef gone{csd};
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
