// Other applications' windows and the displays on X11: the active window's frame as the user
// sees it, moves through the window manager, and the monitors with their usable areas, kept up
// to date as panels and published work areas change.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/linux/work_areas.h"
#include "platform/linux/x_connection.h"
#include "platform/windows.h"

namespace ombrel::linux_platform {

class X11WindowSystem : public WindowSystem {
  public:
    explicit X11WindowSystem(XConnection& connection);

    std::optional<WindowRef> focusedWindow() override;
    std::optional<Point> position(WindowRef window) override;
    std::optional<Size> size(WindowRef window) override;
    void writeSize(WindowRef window, Size size) override;
    void writePosition(WindowRef window, Point origin) override;
    std::span<const Screen> screens() override;
    WindowState state(WindowRef window) override;
    void setMaximized(WindowRef window, bool maximized) override;

    // The outer frame: what the user sees of the window, decorations included.
    std::optional<Rect> frame(WindowRef window);

    // How long a write waits for the window manager to apply it.
    static constexpr int applyTimeoutMs = 100;
    // A restored window counts as settled after this long without another configure.
    static constexpr int settleMs = 15;

    // How many waits for the window manager ran out without an answer, since creation.
    [[nodiscard]] int timedOutWaits() const { return timedOutWaits_; }

  private:
    struct Geometry {
        Rect client;                         // in root coordinates
        std::array<long, 4> frameExtents{};  // left, right, top, bottom
        std::array<long, 4> gtkExtents{};    // client-side shadow, same order
    };
    std::optional<Geometry> geometry(Window window);
    // Fresh geometry of a window about to be written, restored first if it was maximized.
    std::optional<Geometry> prepare(Window window);
    // Asks the window manager to drop the maximized state; false when it was not maximized.
    bool unmaximize(Window window);
    // Maximized in either direction.
    bool maximized(Window window);
    void changeMaximized(Window window, bool add);
    // Waits until the maximized state is as wanted and the window is quiet again.
    void settle(Window window, bool wantMaximized);
    // The client size the window manager will give for a requested one, by the size hints;
    // nothing when the hints leave it to the window manager's judgement (aspect ratios).
    std::optional<std::array<long, 2>> constrained(Window window, long width, long height);
    void moveResize(Window window, unsigned flags, long x, long y, long width, long height);
    // True when the window was configured within the time.
    bool waitForConfigure(Window window, int timeoutMs);
    void discardConfigures(Window window);
    void refreshScreens();
    WorkAreaSources readWorkAreas(Size rootSize);
    // Adds to the events this connection selects on another client's window.
    void select(Window window, long mask);
    void watch(Window window);
    void onEvent(XEvent& event);

    XConnection& x_;
    std::vector<Screen> screens_;
    bool screensDirty_ = true;
    // Our event masks on other clients' windows (moved windows and panels), forgotten when the
    // window is destroyed.
    std::unordered_map<Window, long> selected_;
    std::unordered_set<Window> panels_;
    int timedOutWaits_ = 0;
    Atom clientListAtom_ = None;
    Atom workAreaAtom_ = None;
    Atom currentDesktopAtom_ = None;
    Atom monitorAreasAtom_ = None;      // _GTK_WORKAREAS_D<current desktop>
    std::array<Atom, 3> panelAtoms_{};  // strut, partial strut, window type
};

}  // namespace ombrel::linux_platform
