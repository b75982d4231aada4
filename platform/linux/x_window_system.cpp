// Reads and moves the active window through the window manager, and lists the monitors.
#include "platform/linux/x_window_system.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {

namespace {

// _NET_MOVERESIZE_WINDOW flag bits and the "from a tool" source indication.
constexpr unsigned moveX = 1U << 8;
constexpr unsigned moveY = 1U << 9;
constexpr unsigned resizeWidth = 1U << 10;
constexpr unsigned resizeHeight = 1U << 11;
constexpr long sourceTool = 2;

// xcb hands replies out in memory of its own, released with free().
struct FreeReply {
    void operator()(void* reply) const {
        std::free(reply);  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
    }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

// The 32-bit items of a property reply, as longs; empty for another format. Signed, as Xlib reads
// the size hints (the other properties read here never reach 2^31).
std::vector<long> items(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 32) {
        return {};
    }
    const auto* data = static_cast<const int32_t*>(xcb_get_property_value(reply));
    const auto count = static_cast<std::size_t>(xcb_get_property_value_length(reply)) / 4;
    return {data, data + count};
}

// WM_SIZE_HINTS as Xlib reads it: 18 items, or 15 in the old form without base size.
constexpr long hintItems = 18;
constexpr long oldHintItems = 15;

}  // namespace

X11WindowSystem::X11WindowSystem(XConnection& connection) : x_(connection) {
    auto select = [this] {
        x_.selectRootInput(PropertyChangeMask | StructureNotifyMask);
        if (x_.connected() && x_.randrEventBase() >= 0) {
            XRRSelectInput(
                x_.display(), x_.root(),
                RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
        }
        screensDirty_ = true;
        selected_.clear();
        panels_.clear();
        lastFocused_ = None;
        clientListAtom_ = x_.atom("_NET_CLIENT_LIST");
        workAreaAtom_ = x_.atom("_NET_WORKAREA");
        currentDesktopAtom_ = x_.atom("_NET_CURRENT_DESKTOP");
        monitorAreasAtom_ = x_.atom("_GTK_WORKAREAS_D0");
        panelAtoms_ = {x_.atom("_NET_WM_STRUT"), x_.atom("_NET_WM_STRUT_PARTIAL"),
                       x_.atom("_NET_WM_WINDOW_TYPE")};
    };
    select();
    x_.addConnectedListener(select);
    x_.addListener([this](XEvent& e) { onEvent(e); });
}

void X11WindowSystem::onEvent(XEvent& e) {
    if (e.xany.window == x_.root()) {
        // Panels come and go with the client list; the published work areas and the desktop
        // they are read for change the visible frames too.
        const Atom a = e.type == PropertyNotify ? e.xproperty.atom : None;
        const bool layout = a != None && (a == clientListAtom_ || a == workAreaAtom_ ||
                                          a == currentDesktopAtom_ || a == monitorAreasAtom_);
        if (layout || e.type == ConfigureNotify) {
            screensDirty_ = true;
        }
    } else if (e.type == PropertyNotify && panels_.contains(e.xproperty.window)) {
        // A panel changed its struts (auto-hide switched, moved to another edge).
        const Atom a = e.xproperty.atom;
        screensDirty_ |= std::find(panelAtoms_.begin(), panelAtoms_.end(), a) != panelAtoms_.end();
    } else if (e.type == DestroyNotify && e.xdestroywindow.window == e.xdestroywindow.event) {
        selected_.erase(e.xdestroywindow.window);
        screensDirty_ |= panels_.erase(e.xdestroywindow.window) > 0;
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
    // The active window is most often the one asked about last time: its geometry is asked for
    // along with the active window, so that a move usually takes one trip before it writes.
    xcb_connection_t* c = XGetXCBConnection(x_.display());
    const xcb_atom_t activeAtom = x_.atom("_NET_ACTIVE_WINDOW");
    const auto activeCookie = xcb_get_property(c, 0, static_cast<xcb_window_t>(x_.root()),
                                               activeAtom, XCB_ATOM_ANY, 0, 1);
    std::optional<Requests> guess;
    if (lastFocused_ != None) {
        guess = request(lastFocused_);
    }
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, activeCookie, nullptr));
    const auto v = items(reply.get());
    const auto window = v.empty() ? Window{None} : static_cast<Window>(v.front());
    std::optional<Geometry> g;
    if (guess) {
        auto guessed = collect(*guess);  // its answers are taken whether it was right or not
        if (window == lastFocused_) {
            g = guessed;
        }
    }
    lastFocused_ = window;
    if (window == None) {
        return std::nullopt;
    }
    if (g) {
        remember(window, *g);
    } else if (g = geometry(window); !g) {
        return std::nullopt;
    }
    return WindowRef{static_cast<uint64_t>(window)};
}

std::optional<X11WindowSystem::Geometry> X11WindowSystem::geometry(Window window) {
    if (!x_.connected() || window == None) {
        return std::nullopt;
    }
    const unsigned long next = NextRequest(x_.display());
    const auto now = std::chrono::steady_clock::now();
    if (recent_ && recent_->window == window && recent_->nextRequest == next &&
        now - recent_->at <= reuseReading) {
        return recent_->geometry;
    }
    auto g = read(window);
    recent_.reset();
    if (g) {
        remember(window, *g);
    }
    return g;
}

void X11WindowSystem::remember(Window window, const Geometry& g) {
    // Xlib learns of the requests made through xcb when it next looks at the connection; let it
    // now, so that the count below moves only with requests made after the reading.
    XEventsQueued(x_.display(), QueuedAfterReading);
    recent_ = Recent{window, g, NextRequest(x_.display()), std::chrono::steady_clock::now()};
}

std::optional<X11WindowSystem::Geometry> X11WindowSystem::read(Window window) {
    if (!x_.connected()) {
        return std::nullopt;
    }
    return collect(request(window));
}

X11WindowSystem::Requests X11WindowSystem::request(Window window) {
    // Atoms first: a name not asked before costs a trip of its own, once.
    Requests r;
    const xcb_atom_t extentsAtom = x_.atom("_NET_FRAME_EXTENTS");
    const xcb_atom_t gtkAtom = x_.atom("_GTK_FRAME_EXTENTS");
    const xcb_atom_t stateAtom = x_.atom("_NET_WM_STATE");
    r.vert = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_VERT"));
    r.horz = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    r.full = static_cast<long>(x_.atom("_NET_WM_STATE_FULLSCREEN"));
    // Every request goes out before the first answer is awaited: one trip for all of them.
    xcb_connection_t* c = XGetXCBConnection(x_.display());
    const auto w = static_cast<xcb_window_t>(window);
    const auto root = static_cast<xcb_window_t>(x_.root());
    r.translate = xcb_translate_coordinates(c, w, root, 0, 0).sequence;
    r.geometry = xcb_get_geometry(c, w).sequence;
    r.extents = xcb_get_property(c, 0, w, extentsAtom, XCB_ATOM_ANY, 0, 4).sequence;
    r.gtk = xcb_get_property(c, 0, w, gtkAtom, XCB_ATOM_ANY, 0, 4).sequence;
    r.state = xcb_get_property(c, 0, w, stateAtom, XCB_ATOM_ANY, 0, 64).sequence;
    r.hints =
        xcb_get_property(c, 0, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, hintItems)
            .sequence;
    return r;
}

std::optional<X11WindowSystem::Geometry> X11WindowSystem::collect(const Requests& r) {
    xcb_connection_t* c = XGetXCBConnection(x_.display());
    // Every answer is collected, errors too, so none is left behind in the connection.
    xcb_generic_error_t* e = nullptr;
    bool failed = false;
    auto check = [&] {
        failed |= e != nullptr;
        Reply<xcb_generic_error_t> release(e);
        e = nullptr;
    };
    const Reply<xcb_translate_coordinates_reply_t> translated(
        xcb_translate_coordinates_reply(c, {r.translate}, &e));
    check();
    const Reply<xcb_get_geometry_reply_t> shape(xcb_get_geometry_reply(c, {r.geometry}, &e));
    check();
    const Reply<xcb_get_property_reply_t> extents(xcb_get_property_reply(c, {r.extents}, &e));
    check();
    const Reply<xcb_get_property_reply_t> gtk(xcb_get_property_reply(c, {r.gtk}, &e));
    check();
    const Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(c, {r.state}, &e));
    check();
    const Reply<xcb_get_property_reply_t> hints(xcb_get_property_reply(c, {r.hints}, &e));
    check();
    if (failed || !translated || !shape || translated->same_screen == 0) {
        return std::nullopt;
    }
    Geometry g;
    g.client = {static_cast<double>(translated->dst_x), static_cast<double>(translated->dst_y),
                static_cast<double>(shape->width), static_cast<double>(shape->height)};
    if (const auto v = items(extents.get()); v.size() == 4) {
        std::copy(v.begin(), v.end(), g.frameExtents.begin());
    }
    if (const auto v = items(gtk.get()); v.size() == 4) {
        std::copy(v.begin(), v.end(), g.gtkExtents.begin());
    }
    const auto states = items(state.get());
    const auto has = [&](long atom) {
        return std::find(states.begin(), states.end(), atom) != states.end();
    };
    g.maximizedEitherWay = has(r.vert) || has(r.horz);
    g.state = has(r.full)                  ? WindowState::fullscreen
              : has(r.vert) && has(r.horz) ? WindowState::maximized
                                           : WindowState::normal;
    if (const auto v = items(hints.get());
        hints && hints->type == XCB_ATOM_WM_SIZE_HINTS && std::ssize(v) >= oldHintItems) {
        SizeHints h;
        h.flags = v[0];
        if (std::ssize(v) < hintItems) {
            h.flags &= ~(PBaseSize | PWinGravity);
        }
        h.min = {v[5], v[6]};
        h.max = {v[7], v[8]};
        h.increment = {v[9], v[10]};
        h.base = std::ssize(v) >= hintItems ? std::array{v[15], v[16]} : std::array{0L, 0L};
        g.hints = h;
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
    // Every window moved tells us of its configures, and of its end, when the entry is dropped.
    // Selected on every move, since a new window may have the id of one that closed.
    const long mask = (selected_[window] |= StructureNotifyMask);
    XSelectInput(x_.display(), window, mask);
    if (g->maximizedEitherWay) {
        changeMaximized(window, false);
        settle(window, false, NextRequest(x_.display()) - 1);
        g = geometry(window);
    }
    return g;
}

void X11WindowSystem::settle(Window window, bool wantMaximized, unsigned long serial) {
    // The frame extents change with the state, and the window manager may configure the window
    // more than once on the way: measure once it has the state and is quiet.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(2 * applyTimeoutMs);
    const auto maximized = [&] {
        const auto g = read(window);
        return g && g->maximizedEitherWay;
    };
    while (maximized() != wantMaximized && Clock::now() < deadline && x_.connected()) {
        if (!waitForConfigure(window, serial, applyTimeoutMs)) {
            ++timedOutWaits_;
            return;  // the window manager refused
        }
    }
    while (Clock::now() < deadline && waitForConfigure(window, serial, settleMs)) {
    }
}

WindowState X11WindowSystem::state(WindowRef ref) {
    const auto g = geometry(static_cast<Window>(ref.id));
    return g ? g->state : WindowState::normal;
}

void X11WindowSystem::setMaximized(WindowRef ref, bool on) {
    const auto window = static_cast<Window>(ref.id);
    const auto g = geometry(window);
    if (!g || (g->state == WindowState::maximized) == on) {
        return;
    }
    const long mask = (selected_[window] |= StructureNotifyMask);
    XSelectInput(x_.display(), window, mask);
    changeMaximized(window, on);
    settle(window, on, NextRequest(x_.display()) - 1);
}

void X11WindowSystem::writeSize(WindowRef ref, Size size) {
    write(static_cast<Window>(ref.id), std::nullopt, size);
}

void X11WindowSystem::writePosition(WindowRef ref, Point origin) {
    write(static_cast<Window>(ref.id), origin, std::nullopt);
}

void X11WindowSystem::writeFrame(WindowRef ref, const Rect& frame) {
    write(static_cast<Window>(ref.id), frame.origin(), frame.size());
}

void X11WindowSystem::write(Window window, std::optional<Point> origin, std::optional<Size> size) {
    if ((origin && (!std::isfinite(origin->x) || !std::isfinite(origin->y))) ||
        (size && (!std::isfinite(size->width) || !std::isfinite(size->height)))) {
        return;
    }
    const auto g = prepare(window);
    if (!g) {
        return;
    }
    const auto& f = g->frameExtents;
    const auto& c = g->gtkExtents;
    unsigned flags = 0;
    long x = 0;
    long y = 0;
    if (origin) {
        // North-west gravity places the outer frame's corner, whatever border the client asked
        // for when it was mapped (static gravity would count that border, which the window
        // manager has since removed); a client-side shadow lies outside what the user sees as
        // the frame.
        x = std::lround(origin->x) - c[0];
        y = std::lround(origin->y) - c[2];
        if (x != std::lround(g->client.x) - f[0] || y != std::lround(g->client.y) - f[2]) {
            flags |= moveX | moveY;
        }
    }
    long width = 0;
    long height = 0;
    if (size) {
        width = std::max(1L, std::lround(size->width) - (f[0] + f[1]) + (c[0] + c[1]));
        height = std::max(1L, std::lround(size->height) - (f[2] + f[3]) + (c[2] + c[3]));
        // A size the window manager would not change (a fixed-size window, a terminal's whole
        // cells) gets no answer: asking would only wait for one.
        const auto given = constrained(g->hints, width, height).value_or(std::array{width, height});
        if (given[0] != std::lround(g->client.width) || given[1] != std::lround(g->client.height)) {
            flags |= resizeWidth | resizeHeight;
        }
    }
    if (flags != 0) {
        moveResize(window, flags, x, y, width, height);
    }
}

std::optional<std::array<long, 2>> X11WindowSystem::constrained(
    const std::optional<SizeHints>& hints, long width, long height) {
    if (!hints) {
        return std::array{width, height};
    }
    const SizeHints& h = *hints;
    if ((h.flags & PAspect) != 0) {
        return std::nullopt;
    }
    // The ICCCM rules as window managers apply them: the minimum and maximum, then whole
    // increments above the base size (each standing in for the other when missing).
    const bool hasBase = (h.flags & PBaseSize) != 0;
    const bool hasMin = (h.flags & PMinSize) != 0;
    const std::array<long, 2> base{hasBase ? h.base[0] : (hasMin ? h.min[0] : 0),
                                   hasBase ? h.base[1] : (hasMin ? h.min[1] : 0)};
    const std::array<long, 2> min{hasMin ? h.min[0] : base[0], hasMin ? h.min[1] : base[1]};
    const bool hasMax = (h.flags & PMaxSize) != 0;
    const bool hasInc = (h.flags & PResizeInc) != 0;
    const std::array<long, 2> max{hasMax && h.max[0] > 0 ? h.max[0] : width,
                                  hasMax && h.max[1] > 0 ? h.max[1] : height};
    const std::array<long, 2> inc{hasInc && h.increment[0] > 0 ? h.increment[0] : 1,
                                  hasInc && h.increment[1] > 0 ? h.increment[1] : 1};
    std::array<long, 2> out{width, height};
    for (std::size_t i = 0; i < 2; ++i) {
        out[i] = std::max(std::min(out[i], max[i]), min[i]);
        out[i] = base[i] + (out[i] - base[i]) / inc[i] * inc[i];
        out[i] = std::max(out[i], 1L);
    }
    return out;
}

void X11WindowSystem::select(Window window, long mask) {
    long& selected = selected_[window];
    if ((selected & mask) != mask) {
        selected |= mask;
        XSelectInput(x_.display(), window, selected);
    }
}

void X11WindowSystem::changeMaximized(Window window, bool add) {
    const auto vert = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_VERT"));
    const auto horz = static_cast<long>(x_.atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = x_.atom("_NET_WM_STATE");
    e.xclient.format = 32;
    e.xclient.data.l[0] = add ? 1 : 0;
    e.xclient.data.l[1] = vert;
    e.xclient.data.l[2] = horz;
    e.xclient.data.l[3] = sourceTool;
    XSendEvent(x_.display(), x_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    XFlush(x_.display());
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
    XSendEvent(x_.display(), x_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    XFlush(x_.display());
    if (!waitForConfigure(window, NextRequest(x_.display()) - 1, applyTimeoutMs)) {
        ++timedOutWaits_;
    }
}

bool X11WindowSystem::waitForConfigure(Window window, unsigned long serial, int timeoutMs) {
    // The read-back right after a write must see what the window manager made of it; wait for
    // the window to be configured, but never long. Notices of earlier changes carry an earlier
    // serial and do not pass for the answer.
    Display* d = x_.display();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    XEvent e;
    while (x_.connected()) {
        while (XCheckTypedWindowEvent(d, window, ConfigureNotify, &e)) {
            if (e.xconfigure.serial >= serial) {
                return true;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return false;
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
    const Size rootSize{static_cast<double>(rootWidth), static_cast<double>(rootHeight)};

    std::vector<Rect> monitors;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(d, root, True, &count);
    for (const bool primary : {true, false}) {
        for (int i = 0; i < count; ++i) {
            if ((info[i].primary != 0) == primary) {
                monitors.push_back({static_cast<double>(info[i].x), static_cast<double>(info[i].y),
                                    static_cast<double>(info[i].width),
                                    static_cast<double>(info[i].height)});
            }
        }
    }
    if (info != nullptr) {
        XRRFreeMonitors(info);
    }
    if (monitors.empty() && rootWidth > 0 && rootHeight > 0) {
        monitors.push_back({0, 0, rootSize.width, rootSize.height});
    }
    const auto visible = visibleFrames(monitors, readWorkAreas(rootSize), rootSize);
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        screens_.push_back({monitors[i], visible[i]});
    }
}

WorkAreaSources X11WindowSystem::readWorkAreas(Size rootSize) {
    Display* d = x_.display();
    const Window root = x_.root();
    WorkAreaSources sources;
    const long desktop = std::max(0L, readLong(d, root, currentDesktopAtom_).value_or(0));
    monitorAreasAtom_ = x_.atom(("_GTK_WORKAREAS_D" + std::to_string(desktop)).c_str());
    auto rects = [](const std::vector<long>& v, std::size_t first, std::size_t count) {
        std::vector<Rect> out;
        for (std::size_t i = first; i + 4 <= v.size() && out.size() < count; i += 4) {
            out.push_back({static_cast<double>(v[i]), static_cast<double>(v[i + 1]),
                           static_cast<double>(v[i + 2]), static_cast<double>(v[i + 3])});
        }
        return out;
    };
    if (auto v = readLongs(d, root, monitorAreasAtom_, 4L * 64)) {
        sources.monitorAreas = rects(*v, 0, 64);
    }
    if (auto v = readLongs(d, root, workAreaAtom_, 4L * 64)) {
        if (auto r = rects(*v, 4 * static_cast<std::size_t>(desktop), 1); !r.empty()) {
            sources.desktopArea = r.front();
        }
    }

    // Panels: dock windows, and any client that reserves space. Docks are watched even without
    // struts, since one may reserve space later (auto-hide switched off).
    panels_.clear();
    const auto dockType = static_cast<long>(x_.atom("_NET_WM_WINDOW_TYPE_DOCK"));
    if (auto clients = readLongs(d, root, clientListAtom_, 4096)) {
        XConnection::ErrorTrap trap(x_);
        for (long client : *clients) {
            const auto w = static_cast<Window>(client);
            const auto type = readLongs(d, w, panelAtoms_[2], 16);
            const bool dock =
                type && std::find(type->begin(), type->end(), dockType) != type->end();
            bool reserves = true;
            if (auto p = readLongs(d, w, panelAtoms_[1], 12); p && p->size() == 12) {
                Strut s;
                std::copy(p->begin(), p->end(), s.values.begin());
                sources.struts.push_back(s);
            } else if (auto p = readLongs(d, w, panelAtoms_[0], 4); p && p->size() == 4) {
                // The old form reserves along the whole edge.
                const auto w1 = static_cast<long>(rootSize.width) - 1;
                const auto h1 = static_cast<long>(rootSize.height) - 1;
                sources.struts.push_back(
                    Strut{{(*p)[0], (*p)[1], (*p)[2], (*p)[3], 0, h1, 0, h1, 0, w1, 0, w1}});
            } else {
                reserves = false;
            }
            if (dock || reserves) {
                panels_.insert(w);
                select(w, PropertyChangeMask | StructureNotifyMask);
            }
        }
        trap.failed();
    }
    return sources;
}

}  // namespace ombrel::linux_platform
