// One window move on a real X server with openbox: the program's whole WindowManager::apply
// against a bare client that finds the active window, sends _NET_MOVERESIZE_WINDOW and waits for
// the window to be configured. "round_trips" counts the times each had to wait for a reply.
#include <benchmark/benchmark.h>

// Qt before Xlib, whose macros clash with Qt's names.
#include <QCoreApplication>

#include <dlfcn.h>
#include <poll.h>

#include <chrono>
#include <cstring>

#include "actions/window_manager.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_properties.h"
#include "platform/linux/x_window_system.h"
#include "x_session.h"

namespace {

// libxcb polls before it writes requests out and when it waits for answers; a wait after a write
// is one trip to the server and back (further waits before the next write are the rest of the
// answers trickling in). Our own waits for the window manager call poll() too, but not from
// libxcb.
long xcbWaits = 0;
bool xcbWrote = false;

}  // namespace

extern "C" int poll(pollfd* fds, nfds_t count, int timeout) {
    using Poll = int (*)(pollfd*, nfds_t, int);
    static const auto real = reinterpret_cast<Poll>(dlsym(RTLD_NEXT, "poll"));
    Dl_info caller{};
    if (count == 1 && dladdr(__builtin_return_address(0), &caller) != 0 &&
        caller.dli_fname != nullptr && std::strstr(caller.dli_fname, "libxcb") != nullptr) {
        if ((fds[0].events & POLLOUT) != 0) {
            xcbWrote = true;
        } else if (xcbWrote) {
            xcbWrote = false;
            ++xcbWaits;
        }
    }
    return real(fds, count, timeout);
}

namespace ombrel {
namespace {

using namespace std::chrono_literals;

// One session and one managed, focused window for every benchmark of the run.
struct Desk {
    xsession::XSession session;
    Window window = 0;
    Desk() {
        if (session.ready()) {
            window = session.createWindow("target", "Target", 300, 200, 400, 300);
            if (window != 0 && !session.activate(window)) {
                window = 0;
            }
        }
    }
};

Desk& desk() {
    static Desk d;
    return d;
}

// Waits, without blocking inside Xlib, for a ConfigureNotify of the window caused by a request
// at or after the serial.
bool waitConfigured(Display* d, Window w, unsigned long serial) {
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    XEvent e;
    while (std::chrono::steady_clock::now() < deadline) {
        while (XCheckTypedWindowEvent(d, w, ConfigureNotify, &e)) {
            if (e.xconfigure.serial >= serial) {
                return true;
            }
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, 10);
    }
    return false;
}

void BareMoveResize(benchmark::State& state) {
    const Window target = desk().window;
    if (target == 0) {
        state.SkipWithError(desk().session.failure().c_str());
        return;
    }
    Display* d = XOpenDisplay(desk().session.displayName().c_str());
    const Window root = DefaultRootWindow(d);
    const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    const Atom moveResize = XInternAtom(d, "_NET_MOVERESIZE_WINDOW", False);
    XSelectInput(d, target, StructureNotifyMask);
    XSync(d, False);
    bool left = true;
    int timeouts = 0;
    const long waitsBefore = xcbWaits;
    for (auto _ : state) {
        const auto window = linux_platform::readLong(d, root, active);
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = static_cast<Window>(window.value_or(0));
        e.xclient.message_type = moveResize;
        e.xclient.format = 32;
        // North-west gravity, x, y, width and height given, from a tool.
        e.xclient.data.l[0] = NorthWestGravity | (0xF << 8) | (2 << 12);
        e.xclient.data.l[1] = left ? 0 : 640;
        e.xclient.data.l[2] = 0;
        e.xclient.data.l[3] = 600;
        e.xclient.data.l[4] = 760;
        const unsigned long serial = NextRequest(d);
        XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(d);
        timeouts += waitConfigured(d, target, serial) ? 0 : 1;
        left = !left;
    }
    state.counters["round_trips"] = benchmark::Counter(static_cast<double>(xcbWaits - waitsBefore),
                                                       benchmark::Counter::kAvgIterations);
    state.counters["timeouts"] = timeouts;
    XCloseDisplay(d);
}
BENCHMARK(BareMoveResize)->Unit(benchmark::kMicrosecond);

void WindowManagerApply(benchmark::State& state) {
    const Window target = desk().window;
    if (target == 0) {
        state.SkipWithError(desk().session.failure().c_str());
        return;
    }
    linux_platform::XConnection x;
    linux_platform::X11WindowSystem windows(x);
    WindowManager manager(windows);
    // The displays are read once and then kept until they change: not part of a move.
    windows.screens();
    bool left = true;
    const long waitsBefore = xcbWaits;
    for (auto _ : state) {
        manager.apply(left ? WindowAction::leftHalf : WindowAction::rightHalf);
        x.dispatchPending();
        left = !left;
    }
    state.counters["round_trips"] = benchmark::Counter(static_cast<double>(xcbWaits - waitsBefore),
                                                       benchmark::Counter::kAvgIterations);
    state.counters["timeouts"] = windows.timedOutWaits();
    if (manager.placements().empty()) {
        state.SkipWithError("the window was not moved");
    }
}
BENCHMARK(WindowManagerApply)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ombrel

int main(int argc, char** argv) {
    // The X connection hooks into Qt's loop, which needs an application object.
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
