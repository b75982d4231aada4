// Window frames, moves and displays against Xvfb with openbox: decorations, client-side
// decorations, maximized windows, resize increments, two monitors, panel struts, and the running
// applications the window manager lists.
// GoogleTest before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "platform/linux/x_window_system.h"

#include "actions/window_manager.h"
#include "platform/linux/desktop_services.h"

#include <X11/Xutil.h>

#include <gmock/gmock.h>
#include <memory>
#include <vector>

#include "env.h"
#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;

TEST(VisibleArea, StrutsAndPublishedAreasCountOnlyForTheMonitorTheyReach) {
    const Rect left{0, 0, 1280, 800};
    const Rect right{1280, 0, 1024, 768};
    const Strut leftPanel{{40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0}};
    const Strut widerLeftPanel{{60, 0, 0, 0, 0, 399, 0, 0, 0, 0, 0, 0}};
    const Strut topBarAcrossBoth{{0, 0, 25, 0, 0, 0, 0, 0, 0, 2303, 0, 0}};
    const Strut topBarOfLeftOnly{{0, 0, 30, 0, 0, 0, 0, 0, 0, 1279, 0, 0}};
    // Strut ranges include their end: this one reaches the right monitor's first column.
    const Strut topBarIntoRight{{0, 0, 30, 0, 0, 0, 0, 0, 0, 1280, 0, 0}};
    const Strut topBarOfRightOnly{{0, 0, 20, 0, 0, 0, 0, 0, 1280, 2303, 0, 0}};
    // Measured from the root's bottom, which the shorter monitor does not reach.
    const Strut bottomOfShorter{{0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1280, 2303}};
    const Strut rightPanel{{0, 30, 0, 0, 0, 0, 0, 767, 0, 0, 0, 0}};
    // A band covering a whole monitor belongs to its neighbour.
    const Strut overLeftMonitor{{1310, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    // What the panels reserve, the window manager and the desktop publish, alone and together.
    const std::vector<Rect> both{left, right};
    const std::vector<Rect> one{left};
    // GNOME's top bar on the left monitor, listed after the right one's area.
    const std::vector<Rect> gtk{right, {0, 32, 1280, 768}};
    const Rect topBand{0, 25, 2304, 775};
    const std::tuple<std::vector<Rect>, WorkAreaSources, std::vector<Rect>> cases[] = {
        {both, {}, both},
        {both, {{}, {}, {leftPanel}}, {{40, 0, 1240, 800}, right}},
        {both, {{}, {}, {leftPanel, widerLeftPanel}}, {{60, 0, 1220, 800}, right}},
        {both, {{}, {}, {topBarAcrossBoth}}, {{0, 25, 1280, 775}, {1280, 25, 1024, 743}}},
        {both, {{}, {}, {topBarOfLeftOnly}}, {{0, 30, 1280, 770}, right}},
        {both, {{}, {}, {topBarIntoRight}}, {{0, 30, 1280, 770}, {1280, 30, 1024, 738}}},
        {both, {{}, {}, {topBarOfRightOnly}}, {left, {1280, 20, 1024, 748}}},
        {both, {{}, {}, {rightPanel}}, {left, {1280, 0, 994, 768}}},
        {both, {{}, {}, {overLeftMonitor}}, {left, {1310, 0, 994, 768}}},
        {both, {gtk, {}, {}}, {{0, 32, 1280, 768}, right}},
        {both, {{}, topBand, {}}, {{0, 25, 1280, 775}, {1280, 25, 1024, 743}}},
        {one, {{}, Rect{0, 25, 1280, 775}, {leftPanel}}, {{40, 25, 1240, 775}}},
        // Openbox's union (the bounding box less every strut) would cut the taller monitor by
        // the shorter one's panel: the struts say it per monitor.
        {both, {{}, Rect{0, 0, 2304, 736}, {bottomOfShorter}}, {left, {1280, 0, 1024, 736}}},
        // The window manager's own per-monitor figure wins over the desktop-wide one.
        {both, {{{0, 32, 1280, 768}}, topBand, {}}, {{0, 32, 1280, 768}, {1280, 25, 1024, 743}}},
        {both, {gtk, topBand, {leftPanel}}, {{40, 32, 1240, 768}, right}},
        // Areas that leave nothing of a monitor or fit none are not believed.
        {both, {{}, Rect{1328, 0, 976, 800}, {}}, both},
        {both, {{{0, 30, 2304, 770}}, {}, {}}, both},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [monitors, sources, visible] = cases[i];
        EXPECT_EQ(visibleFrames(monitors, sources, {2304, 800}), visible) << "case " << i;
    }
}

class WindowSystemTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (Window w : windows_) {
            XDestroyWindow(d_, w);
        }
        XSync(d_, False);
    }
    Window make(int x, int y, const std::function<void(Window)>& before = {},
                const char* windowClass = "OmbrelTest") {
        const Window w =
            session().createWindow(windowClass, windowClass, x, y, 400, 300, 0, before);
        windows_.push_back(w);
        return w;
    }

    Display* d_ = session().display();
    XConnection x_;
    X11WindowSystem ws_{x_};
    std::vector<Window> windows_;
};

TEST_F(WindowSystemTest, PlacementsLandOnTheVisibleFrameOfEveryKindOfWindowAndKeepItsState) {
    WindowManager manager(ws_);
    const auto stateIs = [&](Window w, WindowState state) {
        return pumpUntil([&] { return ws_.state(WindowRef{w}) == state; });
    };
    const auto wmctrl = [](Window w, const char* change) {
        return xsession::XSession::run({"wmctrl", "-i", "-r", std::to_string(w), "-b", change});
    };
    // Client-side decorated: no window-manager decorations, a shadow margin inside.
    const Window csd = make(300, 200, [](Window w) {
        setProperty(w, "_MOTIF_WM_HINTS", "_MOTIF_WM_HINTS", {2, 0, 0, 0, 0});
        setProperty(w, "_GTK_FRAME_EXTENTS", "CARDINAL", {10, 14, 8, 12});
    });
    // A window the window manager maximized comes back maximized on the repeat.
    const Window maximized = make(200, 150);
    ASSERT_EQ(wmctrl(maximized, "add,maximized_vert,maximized_horz"), 0);
    ASSERT_TRUE(stateIs(maximized, WindowState::maximized) && session().activate(maximized));
    manager.apply(WindowAction::leftHalf);
    EXPECT_EQ(outer(maximized), (Rect{0, 0, 640, 800}));
    EXPECT_EQ(ws_.state(WindowRef{maximized}), WindowState::normal);
    manager.apply(WindowAction::leftHalf);
    EXPECT_TRUE(stateIs(maximized, WindowState::maximized));
    EXPECT_EQ(outer(maximized), (Rect{0, 0, 1280, 800}));
    pid_t term = xsession::XSession::start(
        {"xterm", "-class", "OmbrelTerm", "-geometry", "80x24+40+40", "-e", "sleep", "60"});
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
        EXPECT_TRUE(pumpUntil([&, w = w] {
            const auto state = readLongs(d_, w, XInternAtom(d_, "_NET_WM_STATE", False));
            return !state || std::count(state->begin(), state->end(), long(vert)) == 0;
        }));
    }
    // A fullscreen window is left alone.
    ASSERT_EQ(wmctrl(maximized, "add,fullscreen"), 0);
    ASSERT_TRUE(stateIs(maximized, WindowState::fullscreen) && session().activate(maximized));
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
    // Sizes the window manager cannot give (a terminal's part cells, a fixed size) were not
    // waited for.
    EXPECT_EQ(ws_.timedOutWaits(), 0);
    // A window that is gone reads as nothing, and writing to it is harmless; found active last,
    // it is not taken for the one active now.
    ASSERT_TRUE(session().activate(csd));
    ASSERT_EQ(ws_.focusedWindow(), std::optional<WindowRef>(WindowRef{csd}));
    XDestroyWindow(d_, csd);
    XSync(d_, False);
    ASSERT_TRUE(session().activate(fixed));
    EXPECT_EQ(ws_.focusedWindow(), std::optional<WindowRef>(WindowRef{fixed}));
    EXPECT_EQ(ws_.frame(WindowRef{fixed}), std::optional<Rect>(outer(fixed)));
    xsession::XSession::stop(term);
    const WindowRef gone{csd};
    EXPECT_FALSE(ws_.frame(gone) || ws_.position(gone) || ws_.size(gone) ||
                 ws_.frame(WindowRef{0}));
    ws_.writeSize(gone, {300, 300});
    ws_.writePosition(gone, {10, 10});
    EXPECT_TRUE(x_.connected());
}

// The "In" picker's running applications, read from the window manager's client list: the
// windows people work in, one entry per application, none of the program's own. Screens: primary
// first; panels shrink the monitor they reach, from the start or later, and the areas a desktop
// publishes are followed.
TEST_F(WindowSystemTest, RunningApplicationsAndScreensFollowTheWindowManagersLists) {
    constexpr long ours = 4242;
    // Class, type (none: untyped), process (0: not set), and whether it is a dialog of the first
    // window. Classes of their own: the session's other windows belong to other tests.
    const std::tuple<const char*, const char*, long, bool> clients[] = {
        {"RaTerm", nullptr, 0, false},
        {"RaEdit", "_NET_WM_WINDOW_TYPE_NORMAL", 17, false},
        {"RaTerm", nullptr, 0, false},
        {"RaTray", "_NET_WM_WINDOW_TYPE_DOCK", 0, false},
        {"RaOwn", "_NET_WM_WINDOW_TYPE_NORMAL", ours, false},
        {"RaPrefs", "_NET_WM_WINDOW_TYPE_DIALOG", 0, false},
        {"RaUntyped", nullptr, 0, true},
    };
    for (const auto& [windowClass, type, pid, transient] : clients) {
        const auto before = [&, type = type, pid = pid, transient = transient](Window w) {
            if (type != nullptr) {
                setProperty(w, "_NET_WM_WINDOW_TYPE", "ATOM",
                            {static_cast<long>(XInternAtom(d_, type, False))});
            }
            if (pid != 0) {
                setProperty(w, "_NET_WM_PID", "CARDINAL", {pid});
            }
            if (transient) {
                XSetTransientForHint(d_, w, windows_.front());
            }
        };
        ASSERT_NE(make(10, 10, before, windowClass), 0U) << windowClass;
    }
    std::vector<std::string> listed = clientWindowClasses(d_, ours);
    std::erase_if(listed, [](const std::string& c) { return !c.starts_with("Ra"); });
    EXPECT_THAT(listed, ::testing::ElementsAre("RaTerm", "RaEdit"));
    EXPECT_TRUE(clientWindowClasses(nullptr, ours).empty());

    const Window root = DefaultRootWindow(d_);
    const Rect full{0, 0, 1280, 800};
    const Rect second{1280, 0, 1024, 768};
    const auto visibleAre = [&](Rect primary, Rect other) {
        XSync(d_, False);
        return pumpUntil([&] {
            auto s = ws_.screens();
            return s.size() == 2 && s[0].full == full && s[0].visible == primary &&
                   s[1].full == second && s[1].visible == other;
        });
    };
    const long desktop =
        readLong(d_, root, XInternAtom(d_, "_NET_CURRENT_DESKTOP", False)).value_or(0);
    const std::string gtk = "_GTK_WORKAREAS_D" + std::to_string(desktop);
    ASSERT_TRUE(visibleAre(full, second));
    // GNOME's per-monitor areas, set and taken back.
    setProperty(root, gtk.c_str(), "CARDINAL", {0, 32, 1280, 768, 1280, 0, 1024, 700});
    EXPECT_TRUE(visibleAre({0, 32, 1280, 768}, {1280, 0, 1024, 700}));
    XDeleteProperty(d_, root, XInternAtom(d_, gtk.c_str(), False));
    EXPECT_TRUE(visibleAre(full, second));
    // A dock that starts reserving space later (auto-hide switched off), and stops again. The
    // window manager, held off by a grab, cannot publish a work area: the dock's change is read.
    windows_.push_back(createDock(1280, 0, 1024, 40, {}));
    ASSERT_TRUE(visibleAre(full, second));
    Display* own = x_.display();
    XGrabServer(own);
    XSync(own, False);
    x_.dispatchPending();
    ws_.screens();  // what came before the grab is read
    const auto withStrut = [&](long top) {
        setProperty(windows_.back(), "_NET_WM_STRUT_PARTIAL", "CARDINAL",
                    {0, 0, top, 0, 0, 0, 0, 0, 1280, 2303, 0, 0}, own);
        XSync(own, False);
        x_.dispatchPending();
        return ws_.screens()[1].visible;
    };
    EXPECT_EQ(withStrut(40), (Rect{1280, 40, 1024, 728}));
    EXPECT_EQ(withStrut(0), second);
    // The old form, without ranges, reserves along the whole edge: the other monitor too.
    XDeleteProperty(own, windows_.back(), XInternAtom(own, "_NET_WM_STRUT_PARTIAL", False));
    setProperty(windows_.back(), "_NET_WM_STRUT", "CARDINAL", {0, 0, 40, 0}, own);
    XSync(own, False);
    x_.dispatchPending();
    EXPECT_EQ(ws_.screens()[0].visible, (Rect{0, 40, 1280, 760}));
    EXPECT_EQ(ws_.screens()[1].visible, (Rect{1280, 40, 1024, 728}));
    XUngrabServer(own);
    XFlush(own);
}

}  // namespace
}  // namespace ombrel::linux_platform
