// Reads and moves the active window through the window manager, and lists the monitors.
#include "platform/linux/x_window_system.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {

namespace {

// _NET_MOVERESIZE_WINDOW flag bits and the "from a tool" source indication.
constexpr unsigned moveX = 1U << 8;
constexpr unsigned moveY = 1U << 9;
constexpr unsigned resizeWidth = 1U << 10;
constexpr unsigned resizeHeight = 1U << 11;
constexpr long sourceTool = 2;

bool overlaps(long start, long end, double min, double max) {
    // Strut ranges include their end; rectangles exclude their maximum edge.
    return static_cast<double>(start) < max && static_cast<double>(end) >= min;
}

}  // namespace

Rect visibleArea(const Rect& monitor, std::span<const Strut> struts, Size rootSize) {
    double minX = monitor.minX();
    double minY = monitor.minY();
    double maxX = monitor.maxX();
    double maxY = monitor.maxY();
    for (const auto& strut : struts) {
        const auto& s = strut.values;
        // A reserved band counts for the monitor in which its inner edge falls; struts are
        // measured from the root window's edges, so a band covering a whole monitor belongs to
        // a neighbour.
        const auto left = static_cast<double>(s[0]);
        if (s[0] > 0 && left > monitor.minX() && left < monitor.maxX() &&
            overlaps(s[4], s[5], monitor.minY(), monitor.maxY())) {
            minX = std::max(minX, left);
        }
        const double right = rootSize.width - static_cast<double>(s[1]);
        if (s[1] > 0 && right > monitor.minX() && right < monitor.maxX() &&
            overlaps(s[6], s[7], monitor.minY(), monitor.maxY())) {
            maxX = std::min(maxX, right);
        }
        const auto top = static_cast<double>(s[2]);
        if (s[2] > 0 && top > monitor.minY() && top < monitor.maxY() &&
            overlaps(s[8], s[9], monitor.minX(), monitor.maxX())) {
            minY = std::max(minY, top);
        }
        const double bottom = rootSize.height - static_cast<double>(s[3]);
        if (s[3] > 0 && bottom > monitor.minY() && bottom < monitor.maxY() &&
            overlaps(s[10], s[11], monitor.minX(), monitor.maxX())) {
            maxY = std::min(maxY, bottom);
        }
    }
    return {minX, minY, std::max(0.0, maxX - minX), std::max(0.0, maxY - minY)};
}

X11WindowSystem::X11WindowSystem(XConnection& connection) : x_(connection) {
    auto select = [this] {
        x_.selectRootInput(PropertyChangeMask | StructureNotifyMask);
        if (x_.connected() && x_.randrEventBase() >= 0) {
            XRRSelectInput(
                x_.display(), x_.root(),
                RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
        }
        screensDirty_ = true;
        watched_ = None;
        clientListAtom_ = x_.atom("_NET_CLIENT_LIST");
        workAreaAtom_ = x_.atom("_NET_WORKAREA");
    };
    select();
    x_.addConnectedListener(select);
    x_.addListener([this](XEvent& e) { onEvent(e); });
}

void X11WindowSystem::onEvent(XEvent& e) {
    if (e.xany.window == x_.root()) {
        // Panels come and go with the client list; struts changes move the work area.
        const bool layout = e.type == PropertyNotify && (e.xproperty.atom == clientListAtom_ ||
                                                         e.xproperty.atom == workAreaAtom_);
        if (layout || e.type == ConfigureNotify) {
            screensDirty_ = true;
        }
    }
    const int base = x_.randrEventBase();
    if (base >= 0 && e.type >= base && e.type <= base + RRNotify) {
        if (e.type == base + RRScreenChangeNotify) {
            XRRUpdateConfiguration(&e);
        }
        screensDirty_ = true;
    }
}

std::optional<WindowRef> X11WindowSystem::focusedWindow() {
    if (!x_.connected()) {
        return std::nullopt;
    }
    const auto active = readLong(x_.display(), x_.root(), x_.atom("_NET_ACTIVE_WINDOW"));
    if (!active || *active == 0) {
        return std::nullopt;
    }
    const auto window = static_cast<Window>(*active);
    if (!geometry(window)) {
        return std::nullopt;
    }
    return WindowRef{static_cast<uint64_t>(window)};
}

std::optional<X11WindowSystem::Geometry> X11WindowSystem::geometry(Window window) {
    if (!x_.connected() || window == None) {
        return std::nullopt;
    }
    Display* d = x_.display();
    XConnection::ErrorTrap trap(x_);
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(d, window, &attributes) == 0) {
        return std::nullopt;
    }
    int rx = 0;
    int ry = 0;
    Window child = None;
    if (XTranslateCoordinates(d, window, x_.root(), 0, 0, &rx, &ry, &child) == 0) {
        return std::nullopt;
    }
    Geometry g;
    g.client = {static_cast<double>(rx), static_cast<double>(ry),
                static_cast<double>(attributes.width), static_cast<double>(attributes.height)};
    if (auto e = readLongs(d, window, x_.atom("_NET_FRAME_EXTENTS"), 4); e && e->size() == 4) {
        std::copy(e->begin(), e->end(), g.frameExtents.begin());
    }
    if (auto e = readLongs(d, window, x_.atom("_GTK_FRAME_EXTENTS"), 4); e && e->size() == 4) {
        std::copy(e->begin(), e->end(), g.gtkExtents.begin());
    }
    if (trap.failed()) {
        return std::nullopt;
    }
    return g;
}

std::optional<Rect> X11WindowSystem::frame(WindowRef window) {
    const auto g = geometry(static_cast<Window>(window.id));
    if (!g) {
        return std::nullopt;
    }
    const auto& f = g->frameExtents;
    const auto& c = g->gtkExtents;
    const auto d = [](long v) { return static_cast<double>(v); };
    return Rect{g->client.x - d(f[0]) + d(c[0]), g->client.y - d(f[2]) + d(c[2]),
                g->client.width + d(f[0] + f[1]) - d(c[0] + c[1]),
                g->client.height + d(f[2] + f[3]) - d(c[2] + c[3])};
}

std::optional<Point> X11WindowSystem::position(WindowRef window) {
    const auto f = frame(window);
    return f ? std::optional<Point>(f->origin()) : std::nullopt;
}

std::optional<Size> X11WindowSystem::size(WindowRef window) {
    const auto f = frame(window);
    return f ? std::optional<Size>(f->size()) : std::nullopt;
}

std::optional<X11WindowSystem::Geometry> X11WindowSystem::prepare(Window window) {
    auto g = geometry(window);
    if (!g) {
        return std::nullopt;
    }
    watch(window);
    if (unmaximize(window)) {
        // The frame extents change with the state, and the window manager may configure the
        // window more than once on the way back: measure once it is restored and quiet.
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(2 * applyTimeoutMs);
        while (maximized(window) && Clock::now() < deadline) {
            waitForConfigure(window, applyTimeoutMs);
        }
        while (Clock::now() < deadline && waitForConfigure(window, settleMs)) {
        }
        g = geometry(window);
    }
    return g;
}

void X11WindowSystem::writeSize(WindowRef ref, Size size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) {
        return;
    }
    const auto window = static_cast<Window>(ref.id);
    const auto g = prepare(window);
    if (!g) {
        return;
    }
    const auto& f = g->frameExtents;
    const auto& c = g->gtkExtents;
    const long width = std::max(1L, std::lround(size.width) - (f[0] + f[1]) + (c[0] + c[1]));
    const long height = std::max(1L, std::lround(size.height) - (f[2] + f[3]) + (c[2] + c[3]));
    if (width == std::lround(g->client.width) && height == std::lround(g->client.height)) {
        return;
    }
    moveResize(window, resizeWidth | resizeHeight, 0, 0, width, height);
}

void X11WindowSystem::writePosition(WindowRef ref, Point origin) {
    if (!std::isfinite(origin.x) || !std::isfinite(origin.y)) {
        return;
    }
    const auto window = static_cast<Window>(ref.id);
    const auto g = prepare(window);
    if (!g) {
        return;
    }
    // North-west gravity places the outer frame's corner, whatever border the client asked
    // for when it was mapped (static gravity would count that border, which the window manager
    // has since removed); a client-side shadow lies outside what the user sees as the frame.
    const long x = std::lround(origin.x) - g->gtkExtents[0];
    const long y = std::lround(origin.y) - g->gtkExtents[2];
    if (x == std::lround(g->client.x) - g->frameExtents[0] &&
        y == std::lround(g->client.y) - g->frameExtents[2]) {
        return;
    }
    moveResize(window, moveX | moveY, x, y, 0, 0);
}

void X11WindowSystem::watch(Window window) {
    if (watched_ != window) {
        XSelectInput(x_.display(), window, StructureNotifyMask);
        watched_ = window;
    }
}

bool X11WindowSystem::maximized(Window window) {
    auto state = readLongs(x_.display(), window, x_.atom("_NET_WM_STATE"));
    const auto vert = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_VERT"));
    const auto horz = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    return state && (std::find(state->begin(), state->end(), vert) != state->end() ||
                     std::find(state->begin(), state->end(), horz) != state->end());
}

bool X11WindowSystem::unmaximize(Window window) {
    if (!maximized(window)) {
        return false;
    }
    const auto vert = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_VERT"));
    const auto horz = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = x_.atom("_NET_WM_STATE");
    e.xclient.format = 32;
    e.xclient.data.l[0] = 0;  // remove
    e.xclient.data.l[1] = vert;
    e.xclient.data.l[2] = horz;
    e.xclient.data.l[3] = sourceTool;
    XSendEvent(x_.display(), x_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    return true;
}

void X11WindowSystem::moveResize(Window window, unsigned flags, long x, long y, long width,
                                 long height) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = x_.atom("_NET_MOVERESIZE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(NorthWestGravity | flags) | (sourceTool << 12);
    e.xclient.data.l[1] = x;
    e.xclient.data.l[2] = y;
    e.xclient.data.l[3] = width;
    e.xclient.data.l[4] = height;
    discardConfigures(window);
    XSendEvent(x_.display(), x_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    waitForConfigure(window, applyTimeoutMs);
}

bool X11WindowSystem::waitForConfigure(Window window, int timeoutMs) {
    // The read-back right after a write must see what the window manager made of it; wait for
    // the window to be configured, but never long.
    Display* d = x_.display();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    XEvent e;
    bool configured = false;
    while (!configured && x_.connected()) {
        if (XCheckTypedWindowEvent(d, window, ConfigureNotify, &e)) {
            configured = true;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    if (configured && x_.connected()) {
        // The window manager may configure twice (the real and the synthetic notice).
        XSync(d, False);
        while (XCheckTypedWindowEvent(d, window, ConfigureNotify, &e)) {
        }
    }
    return configured;
}

void X11WindowSystem::discardConfigures(Window window) {
    // Notices of earlier changes must not pass for the answer to the next request.
    Display* d = x_.display();
    XSync(d, False);
    XEvent e;
    while (XCheckTypedWindowEvent(d, window, ConfigureNotify, &e)) {
    }
}

std::span<const Screen> X11WindowSystem::screens() {
    if (!x_.connected()) {
        screensDirty_ = true;  // whatever comes back on a new connection is read afresh
        return {};
    }
    if (screensDirty_) {
        refreshScreens();
    }
    return screens_;
}

void X11WindowSystem::refreshScreens() {
    screensDirty_ = false;
    screens_.clear();
    if (!x_.connected() || x_.randrEventBase() < 0) {
        return;
    }
    Display* d = x_.display();
    Window root = x_.root();
    Window rootReturn = None;
    int rx = 0;
    int ry = 0;
    unsigned int rootWidth = 0;
    unsigned int rootHeight = 0;
    unsigned int border = 0;
    unsigned int depth = 0;
    XGetGeometry(d, root, &rootReturn, &rx, &ry, &rootWidth, &rootHeight, &border, &depth);

    struts_.clear();
    if (auto clients = readLongs(d, root, x_.atom("_NET_CLIENT_LIST"), 4096)) {
        XConnection::ErrorTrap trap(x_);
        for (long client : *clients) {
            const auto w = static_cast<Window>(client);
            if (auto p = readLongs(d, w, x_.atom("_NET_WM_STRUT_PARTIAL"), 12);
                p && p->size() == 12) {
                Strut s;
                std::copy(p->begin(), p->end(), s.values.begin());
                struts_.push_back(s);
            } else if (auto p = readLongs(d, w, x_.atom("_NET_WM_STRUT"), 4); p && p->size() == 4) {
                // The old form reserves along the whole edge.
                const long w1 = static_cast<long>(rootWidth) - 1;
                const long h1 = static_cast<long>(rootHeight) - 1;
                struts_.push_back(
                    Strut{{(*p)[0], (*p)[1], (*p)[2], (*p)[3], 0, h1, 0, h1, 0, w1, 0, w1}});
            }
        }
        trap.failed();
    }

    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(d, root, True, &count);
    const Size rootSize{static_cast<double>(rootWidth), static_cast<double>(rootHeight)};
    auto add = [&](const XRRMonitorInfo& m) {
        const Rect full{static_cast<double>(m.x), static_cast<double>(m.y),
                        static_cast<double>(m.width), static_cast<double>(m.height)};
        screens_.push_back({full, visibleArea(full, struts_, rootSize)});
    };
    for (int i = 0; i < count; ++i) {
        if (monitors[i].primary) {
            add(monitors[i]);
        }
    }
    for (int i = 0; i < count; ++i) {
        if (!monitors[i].primary) {
            add(monitors[i]);
        }
    }
    if (monitors != nullptr) {
        XRRFreeMonitors(monitors);
    }
    if (screens_.empty() && rootWidth > 0 && rootHeight > 0) {
        const Rect full{0, 0, rootSize.width, rootSize.height};
        screens_.push_back({full, visibleArea(full, struts_, rootSize)});
    }
}

}  // namespace ombrel::linux_platform
