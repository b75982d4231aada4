// Other applications' windows and the displays on X11: the active window's frame as the user
// sees it, moves through the window manager, and the monitors with their usable areas.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <span>
#include <vector>

#include "platform/linux/x_connection.h"
#include "platform/windows.h"

namespace ombrel::linux_platform {

// Space a panel reserves along the root window's edges (_NET_WM_STRUT_PARTIAL order: left,
// right, top, bottom, then the start and end of each along its edge).
struct Strut {
    std::array<long, 12> values{};
};

// The part of a monitor left once every strut that touches it is taken away.
Rect visibleArea(const Rect& monitor, std::span<const Strut> struts, Size rootSize);

class X11WindowSystem : public WindowSystem {
  public:
    explicit X11WindowSystem(XConnection& connection);

    std::optional<WindowRef> focusedWindow() override;
    std::optional<Point> position(WindowRef window) override;
    std::optional<Size> size(WindowRef window) override;
    void writeSize(WindowRef window, Size size) override;
    void writePosition(WindowRef window, Point origin) override;
    std::span<const Screen> screens() override;

    // The outer frame: what the user sees of the window, decorations included.
    std::optional<Rect> frame(WindowRef window);

    // How long a write waits for the window manager to apply it.
    static constexpr int applyTimeoutMs = 100;
    // A restored window counts as settled after this long without another configure.
    static constexpr int settleMs = 15;

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
    bool maximized(Window window);
    void moveResize(Window window, unsigned flags, long x, long y, long width, long height);
    // True when the window was configured within the time.
    bool waitForConfigure(Window window, int timeoutMs);
    void discardConfigures(Window window);
    void refreshScreens();
    void watch(Window window);
    void onEvent(XEvent& event);

    XConnection& x_;
    std::vector<Screen> screens_;
    std::vector<Strut> struts_;
    bool screensDirty_ = true;
    Window watched_ = None;
    Atom clientListAtom_ = None;
    Atom workAreaAtom_ = None;
};

}  // namespace ombrel::linux_platform
