// Other applications' windows and the displays on X11: the active window's frame as the user
// sees it, moves through the window manager, and the monitors with their usable areas, kept up
// to date as panels and published work areas change.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <chrono>
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
    // The outer frame: what the user sees of the window, decorations included.
    std::optional<Rect> frame(WindowRef window) override;
    void writeSize(WindowRef window, Size size) override;
    void writePosition(WindowRef window, Point origin) override;
    // One request for both, answered by one configure.
    void writeFrame(WindowRef window, const Rect& frame) override;
    std::span<const Screen> screens() override;
    WindowState state(WindowRef window) override;
    void setMaximized(WindowRef window, bool maximized) override;

    // How long a write waits for the window manager to apply it.
    static constexpr int applyTimeoutMs = 100;
    // A restored window counts as settled after this long without another configure.
    static constexpr int settleMs = 15;

    // A reading is reused by the next question about the same window when nothing was asked of
    // the server in between and it is at most this old: the move that follows a read of the
    // focused window needs no second trip.
    static constexpr std::chrono::milliseconds reuseReading{2};

    // How many waits for the window manager ran out without an answer, since creation.
    [[nodiscard]] int timedOutWaits() const { return timedOutWaits_; }

  private:
    // WM_NORMAL_HINTS as far as window managers apply them to sizes.
    struct SizeHints {
        long flags = 0;
        std::array<long, 2> min{}, max{}, increment{}, base{};
    };
    // Everything a move needs to know of a window, read in one trip to the server.
    struct Geometry {
        Rect client;                         // in root coordinates
        std::array<long, 4> frameExtents{};  // left, right, top, bottom
        std::array<long, 4> gtkExtents{};    // client-side shadow, same order
        WindowState state = WindowState::normal;
        bool maximizedEitherWay = false;
        std::optional<SizeHints> hints;
    };
    // The geometry, from the recent reading where that may be reused.
    std::optional<Geometry> geometry(Window window);
    std::optional<Geometry> read(Window window);
    // A reading in two halves, so that other requests may share its trip: the requests sent,
    // then their answers collected (each one, whatever the outcome).
    struct Requests {
        unsigned translate = 0, geometry = 0, extents = 0, gtk = 0, state = 0, hints = 0;
        long vert = 0, horz = 0, full = 0;  // the states' atoms
    };
    Requests request(Window window);
    std::optional<Geometry> collect(const Requests& requests);
    // Keeps a reading for reuse (see reuseReading).
    void remember(Window window, const Geometry& g);
    // The geometry of a window about to be written, restored first if it was maximized.
    std::optional<Geometry> prepare(Window window);
    // Writes what is given and waits for the window manager to apply it; skips what it would
    // not change.
    void write(Window window, std::optional<Point> origin, std::optional<Size> size);
    void changeMaximized(Window window, bool add);
    // Waits until the maximized state is as wanted and the window is quiet again; serial is that
    // of the request that changed it.
    void settle(Window window, bool wantMaximized, unsigned long serial);
    // The client size the window manager will give for a requested one, by the size hints;
    // nothing when the hints leave it to the window manager's judgement (aspect ratios).
    static std::optional<std::array<long, 2>> constrained(const std::optional<SizeHints>& hints,
                                                          long width, long height);
    void moveResize(Window window, unsigned flags, long x, long y, long width, long height);
    // True when the window was configured, by a request at or after the serial, within the time.
    bool waitForConfigure(Window window, unsigned long serial, int timeoutMs);
    void refreshScreens();
    WorkAreaSources readWorkAreas(Size rootSize);
    // Adds to the events this connection selects on another client's window.
    void select(Window window, long mask);
    void onEvent(XEvent& event);

    XConnection& x_;
    std::vector<Screen> screens_;
    bool screensDirty_ = true;
    // Our event masks on other clients' windows (moved windows and panels), forgotten when the
    // window is destroyed.
    std::unordered_map<Window, long> selected_;
    std::unordered_set<Window> panels_;
    struct Recent {
        Window window = None;
        Geometry geometry;
        unsigned long nextRequest = 0;
        std::chrono::steady_clock::time_point at;
    };
    std::optional<Recent> recent_;
    Window lastFocused_ = None;  // the active window when last asked
    int timedOutWaits_ = 0;
    Atom clientListAtom_ = None;
    Atom workAreaAtom_ = None;
    Atom currentDesktopAtom_ = None;
    Atom monitorAreasAtom_ = None;      // _GTK_WORKAREAS_D<current desktop>
    std::array<Atom, 3> panelAtoms_{};  // strut, partial strut, window type
};

}  // namespace ombrel::linux_platform
