// Window frames, moves and displays against Xvfb with openbox: decorations, client-side
// decorations, maximized windows, resize increments, two monitors and panel struts.
// GoogleTest before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "platform/linux/x_window_system.h"

#include "actions/window_manager.h"

#include <X11/Xutil.h>

#include <memory>
#include <vector>

#include "env.h"
#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;

TEST(WorkAreas, StrutsAndPublishedAreasMakeTheVisibleFrames) {
    for (const auto& c : records("work_areas.cases", "work areas")) {
        SCOPED_TRACE(c[0]);
        WorkAreaSources sources{rects(c[2]), {}, {}};
        if (!c[3].empty()) {
            sources.desktopArea = rects(c[3]).at(0);
        }
        const std::vector<double> struts = numbers(c[4]);
        for (std::size_t i = 0; i + 12 <= struts.size(); i += 12) {
            Strut& s = sources.struts.emplace_back();
            std::copy_n(struts.begin() + std::ptrdiff_t(i), 12, s.values.begin());
        }
        EXPECT_EQ(visibleFrames(rects(c[1]), sources, {2304, 800}), rects(c[5]));
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
    bool wmctrl(Window w, const char* change) {
        return xsession::XSession::run({"wmctrl", "-i", "-r", std::to_string(w), "-b", change}) ==
               0;
    }
    bool stateIs(Window w, WindowState state) {
        return pumpUntil([&] { return ws_.state(WindowRef{w}) == state; });
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
    ASSERT_TRUE(wmctrl(maximized, "add,maximized_vert,maximized_horz"));
    ASSERT_TRUE(stateIs(maximized, WindowState::maximized));
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
        for (const Rect target : {Rect{333, 25, 334, 775}, Rect{1280, 384, 512, 384}}) {
            // Apart: a size alone may be one the window manager gives nothing for.
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
        }
        EXPECT_TRUE(stateIs(w, WindowState::normal));
    }
    // Sizes the window manager cannot give (a terminal's part cells) were not waited for.
    EXPECT_EQ(ws_.timedOutWaits(), 0);
    // A window that is gone reads as nothing, and writing to it is harmless.
    XDestroyWindow(d_, csd);
    XSync(d_, False);
    EXPECT_FALSE(ws_.frame(WindowRef{csd}) || ws_.frame(WindowRef{0}));
    ws_.writeFrame(WindowRef{csd}, {10, 10, 300, 300});
    EXPECT_TRUE(x_.connected());
}

// Primary first, wherever it is; panels shrink the monitor they reach, from the start or later,
// and the areas a desktop publishes are followed.
TEST_F(WindowSystemTest, ScreensFollowThePrimaryPanelsAndPublishedWorkAreas) {
    const Window root = DefaultRootWindow(d_);
    const Rect left{0, 0, 1280, 800};
    const Rect right{1280, 0, 1024, 768};
    const auto visibleAre = [&](Rect primary, Rect other, Rect first = {0, 0, 1280, 800}) {
        XSync(d_, False);
        return pumpUntil([&] {
            auto s = ws_.screens();
            return s.size() == 2 && s[0].full == first && s[0].visible == primary &&
                   s[1].visible == other;
        });
    };
    ASSERT_TRUE(session().makePrimary(1));
    EXPECT_TRUE(visibleAre(right, left, right));
    ASSERT_TRUE(session().makePrimary(0));
    ASSERT_TRUE(visibleAre(left, right));
    // A bottom panel on the shorter monitor and a left panel on the primary one; old-style.
    const Window panels[] = {
        createDock(1280, 736, 1024, 32, {0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303}),
        createDock(0, 0, 48, 800, {48, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0})};
    EXPECT_TRUE(visibleAre({48, 0, 1232, 800}, {1280, 0, 1024, 736}));
    for (const Window w : panels) {
        XDestroyWindow(d_, w);
    }
    EXPECT_TRUE(visibleAre(left, right));
    // GNOME's per-monitor areas, set and taken back.
    const long desktop =
        readLong(d_, root, XInternAtom(d_, "_NET_CURRENT_DESKTOP", False)).value_or(0);
    const std::string gtk = "_GTK_WORKAREAS_D" + std::to_string(desktop);
    setProperty(root, gtk.c_str(), "CARDINAL", {0, 32, 1280, 768, 1280, 0, 1024, 700});
    EXPECT_TRUE(visibleAre({0, 32, 1280, 768}, {1280, 0, 1024, 700}));
    XDeleteProperty(d_, root, XInternAtom(d_, gtk.c_str(), False));
    EXPECT_TRUE(visibleAre(left, right));
    // A dock that starts reserving space later (auto-hide switched off), in the old form along
    // the whole edge, and stops again.
    const Window dock = createDock(1280, 0, 1024, 40, {});
    windows_.push_back(dock);
    ASSERT_TRUE(visibleAre(left, right));
    setProperty(dock, "_NET_WM_STRUT", "CARDINAL", {0, 0, 40, 0});
    EXPECT_TRUE(visibleAre({0, 40, 1280, 760}, {1280, 40, 1024, 728}));
    XDeleteProperty(d_, dock, XInternAtom(d_, "_NET_WM_STRUT", False));
    EXPECT_TRUE(visibleAre(left, right));
}

TEST_F(WindowSystemTest, StatesAreKeptAndRefusedSizesCostNoWait) {
    WindowManager manager(ws_);
    // A window the window manager maximized comes back maximized on the repeat.
    const Window maximized = make(200, 150);
    ASSERT_TRUE(wmctrl(maximized, "add,maximized_vert,maximized_horz"));
    ASSERT_TRUE(stateIs(maximized, WindowState::maximized) && session().activate(maximized));
    manager.apply(WindowAction::leftHalf);
    EXPECT_EQ(outer(maximized), (Rect{0, 0, 640, 800}));
    EXPECT_EQ(ws_.state(WindowRef{maximized}), WindowState::normal);
    manager.apply(WindowAction::leftHalf);
    EXPECT_TRUE(stateIs(maximized, WindowState::maximized));
    EXPECT_EQ(outer(maximized), (Rect{0, 0, 1280, 800}));
    // A fullscreen window is left alone.
    ASSERT_TRUE(wmctrl(maximized, "add,fullscreen"));
    ASSERT_TRUE(stateIs(maximized, WindowState::fullscreen));
    manager.apply(WindowAction::rightHalf);
    EXPECT_EQ(ws_.state(WindowRef{maximized}), WindowState::fullscreen);
    EXPECT_TRUE(manager.placements().empty());
    // A fixed-size window moves without waiting for a size the window manager refuses.
    const Window fixed = make(300, 200, [](Window w) {
        XSizeHints hints{};
        hints.flags = PMinSize | PMaxSize;
        hints.min_width = hints.max_width = 400;
        hints.min_height = hints.max_height = 300;
        XSetWMNormalHints(session().display(), w, &hints);
    });
    ASSERT_TRUE(session().activate(fixed));
    const Rect before = outer(fixed);
    manager.apply(WindowAction::rightHalf);
    EXPECT_EQ(outer(fixed), (Rect{640, 0, before.width, before.height}));
    EXPECT_EQ(ws_.timedOutWaits(), 0);
}

}  // namespace
}  // namespace ombrel::linux_platform
