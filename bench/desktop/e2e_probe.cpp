// The measuring half of bench/end_to_end.sh, on the display in DISPLAY:
//   e2e_probe config PATH N            writes a settings file with the starter set grown to N rules
//   e2e_probe race N A... -- B...      runs A and B alternately N times each; median µs of each
//   e2e_probe await T0 SECONDS TITLE PID
//                                      waits for a mapped window titled TITLE; prints the
//                                      milliseconds since T0 (date +%s%N) and the peak RSS of PID
//                                      in kB ("timeout" and the RSS when none came)
//   e2e_probe close TITLE              asks the window manager to close the window titled TITLE and
//                                      waits (at most 5 s) until it is gone from the screen
//   e2e_probe keys N [shift]           taps an unbound key (F12), or Shift, N times into a window
//                                      of its own
//   e2e_probe listen                   reads every key press and release, as little as a program
//                                      can do with them; until killed (the floor for keys)
//   e2e_probe moves N key|bare         moves a window of its own N times, by the starter shortcuts
//                                      Ctrl+Alt+Left/Right or by _NET_MOVERESIZE_WINDOW itself;
//                                      prints "median-µs timeouts"
//   e2e_probe hotkey                   moves the active window to the left or right half on
//                                      Ctrl+Alt+Left/Right, as little as a hotkey tool can do:
//                                      one read of the active window, one request; until killed
//                                      (the floor for shortcut moves)
//   e2e_probe hotkey blind             the same without the read: the active window is kept from
//                                      its change notices (the least any shortcut move can do)
// Keys come from the server's keyboard device, as a person's would (XTEST's own device is where
// programs post, and ombrel lets that through).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/json_codec.h"
#include "config/model.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

double micros(std::chrono::nanoseconds d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

pid_t spawn(const Args& argv, bool quiet) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        std::vector<char*> raw;
        for (const auto& a : argv) {
            raw.push_back(const_cast<char*>(a.c_str()));
        }
        raw.push_back(nullptr);
        execvp(raw[0], raw.data());
        _exit(127);
    }
    return pid;
}

int writeConfig(const std::string& path, long count) {
    ombrel::Config config = ombrel::Config::starter();
    for (long i = static_cast<long>(config.bindings.size()); i < count; ++i) {
        // Keys no keyboard has, some scoped to an application: listed, never fired.
        std::optional<std::string> scope;
        if (i % 3 == 0) {
            scope = "org.example.app" + std::to_string(i % 7);
        }
        config.bindings.push_back(ombrel::Rule::make(
            ombrel::Trigger::hotkey({1000 + i, ombrel::Mods(i % 16)}),
            ombrel::Action::window(ombrel::WindowAction::leftHalf), scope, i % 5 != 0));
    }
    std::ofstream(path) << *ombrel::encodeConfig(config);
    return 0;
}

int race(long runs, const Args& a, const Args& b) {
    std::vector<double> ta;
    std::vector<double> tb;
    for (long i = 0; i < runs; ++i) {
        for (auto* pair : {&a, &b}) {
            const auto start = Clock::now();
            int status = 0;
            waitpid(spawn(*pair, true), &status, 0);
            (pair == &a ? ta : tb).push_back(micros(Clock::now() - start));
        }
    }
    std::printf("%.0f %.0f\n", median(ta), median(tb));
    return 0;
}

std::optional<std::string> windowName(Display* d, Window w) {
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<std::string> name;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 256, False, utf8, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr && type == utf8) {
        name.emplace(reinterpret_cast<char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return name;
}

// The mapped managed window titled so, if any.
std::optional<Window> titledWindow(Display* d, const std::string& title) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_CLIENT_LIST", False), 0,
                           4096, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) != Success ||
        data == nullptr) {
        return false;
    }
    const auto* windows = reinterpret_cast<const Window*>(data);
    std::optional<Window> found;
    for (unsigned long i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (windowName(d, windows[i]) == title &&
            XGetWindowAttributes(d, windows[i], &attributes) != 0 &&
            attributes.map_state == IsViewable) {
            found = windows[i];
        }
    }
    XFree(data);
    return found;
}

bool titledWindowMapped(Display* d, const std::string& title) {
    return titledWindow(d, title).has_value();
}

// Closed the way a user closes it, through the window manager, so the program sees a close.
int closeWindow(Display* d, const std::string& title) {
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const auto w = titledWindow(d, title);
    if (!w) {
        return 1;
    }
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = *w;
    e.xclient.message_type = XInternAtom(d, "_NET_CLOSE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[1] = 2;  // from a pager
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    XSync(d, False);
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        if (!titledWindowMapped(d, title)) {
            return 0;
        }
        std::this_thread::sleep_for(2ms);
    }
    return 1;
}

long peakRssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

int await(Display* d, long long startNs, double seconds, const std::string& title, pid_t pid) {
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // windows may vanish meanwhile
    const auto start = std::chrono::system_clock::time_point(std::chrono::nanoseconds(startNs));
    const auto deadline = start + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::duration<double>(seconds));
    while (std::chrono::system_clock::now() < deadline) {
        if (titledWindowMapped(d, title)) {
            const double ms = micros(std::chrono::system_clock::now() - start) / 1000;
            std::printf("%.0f %ld\n", ms, peakRssKb(pid));
            return 0;
        }
        if (kill(pid, 0) != 0) {
            std::printf("exited %ld\n", 0L);
            return 1;
        }
        std::this_thread::sleep_for(2ms);
    }
    std::printf("timeout %ld\n", peakRssKb(pid));
    return 1;
}

// The X server's own keyboard, opened once.
XDevice* keyboard(Display* d) {
    static XDevice* const device = [d]() -> XDevice* {
        int count = 0;
        XDeviceInfo* list = XListInputDevices(d, &count);
        XID id = 0;
        for (int i = 0; i < count; ++i) {
            if (std::string(list[i].name) == "Xvfb keyboard") {
                id = list[i].id;
            }
        }
        XFreeDeviceList(list);
        return id != 0 ? XOpenDevice(d, id) : nullptr;
    }();
    return device;
}

void tap(Display* d, KeySym key, bool down) {
    XTestFakeDeviceKeyEvent(d, keyboard(d), XKeysymToKeycode(d, key), down ? True : False, nullptr,
                            0, CurrentTime);
}

// The window _NET_ACTIVE_WINDOW names, or None.
Window activeWindow(Display* d) {
    Atom type = None;
    int format = 0;
    unsigned long n = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_ACTIVE_WINDOW", False), 0, 1,
                       False, XA_WINDOW, &type, &format, &n, &after, &data);
    const Window w = data != nullptr && n == 1 ? *reinterpret_cast<Window*>(data) : None;
    if (data != nullptr) {
        XFree(data);
    }
    return w;
}

// Asks the window manager for the left (x 0) or the right (x 640) half of the screen, as a pager.
void askForHalf(Display* d, Window w, long x) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "_NET_MOVERESIZE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = NorthWestGravity | (0xF << 8) | (2 << 12);
    e.xclient.data.l[1] = x;
    e.xclient.data.l[2] = 0;
    e.xclient.data.l[3] = 600;
    e.xclient.data.l[4] = 760;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
}

// A managed window of the probe's own, made the active window.
Window ownWindow(Display* d) {
    const Window root = DefaultRootWindow(d);
    XSetWindowAttributes attributes{};
    attributes.event_mask = StructureNotifyMask;
    const Window w = XCreateWindow(d, root, 300, 200, 400, 300, 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWEventMask, &attributes);
    XStoreName(d, w, "e2e probe");
    XMapWindow(d, w);
    XSync(d, False);
    const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    for (int i = 0; i < 2000; ++i) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = active;
        e.xclient.format = 32;
        e.xclient.data.l[0] = 2;  // from a pager: no focus-stealing prevention
        XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(d, False);
        if (activeWindow(d) == w) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    return w;
}

int keys(Display* d, long count, KeySym key) {
    const Window w = ownWindow(d);
    for (long i = 0; i < count; ++i) {
        tap(d, key, true);
        tap(d, key, false);
        XSync(d, False);
        std::this_thread::sleep_for(2ms);
    }
    XDestroyWindow(d, w);
    XSync(d, False);
    return 0;
}

// The least a program that sees every key can do: raw events on the root, one wait, then every
// event read is handed out.
int listen(Display* d) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (XQueryExtension(d, "XInputExtension", &opcode, &event, &error) == 0) {
        return 1;
    }
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    XISetMask(bits.data(), XI_RawKeyPress);
    XISetMask(bits.data(), XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
    XFlush(d);
    unsigned long keys = 0;  // looked at, as any listener would
    for (;;) {
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        if (poll(&p, 1, -1) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) {
            return keys > 0 ? 0 : 1;  // the server has gone
        }
        XEventsQueued(d, QueuedAfterFlush);
        while (XEventsQueued(d, QueuedAlready) > 0) {
            XEvent e;
            XNextEvent(d, &e);
            if (XGetEventData(d, &e.xcookie)) {
                keys += static_cast<const XIRawEvent*>(e.xcookie.data)->detail != 0 ? 1 : 0;
                XFreeEventData(d, &e.xcookie);
            }
        }
    }
}

bool waitConfigured(Display* d, Window w, unsigned long serial) {
    const auto deadline = Clock::now() + 1s;
    XEvent e;
    while (Clock::now() < deadline) {
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

int moves(Display* d, long count, bool byKey) {
    const Window w = ownWindow(d);
    std::vector<double> times;
    int timeouts = 0;
    for (long i = 0; i < count; ++i) {
        const bool left = i % 2 == 0;
        if (byKey) {
            tap(d, XK_Control_L, true);
            tap(d, XK_Alt_L, true);
            XSync(d, False);
        }
        const auto start = Clock::now();
        const unsigned long serial = NextRequest(d);
        if (byKey) {
            tap(d, left ? XK_Left : XK_Right, true);
            tap(d, left ? XK_Left : XK_Right, false);
        } else {
            askForHalf(d, w, left ? 0 : 640);
        }
        XFlush(d);
        if (waitConfigured(d, w, serial)) {
            times.push_back(micros(Clock::now() - start));
        } else {
            ++timeouts;
        }
        if (byKey) {
            tap(d, XK_Alt_L, false);
            tap(d, XK_Control_L, false);
            XSync(d, False);
        }
        // Lets the window manager's late notices arrive before the next move starts.
        std::this_thread::sleep_for(5ms);
    }
    XDestroyWindow(d, w);
    XSync(d, False);
    std::printf("%.0f %d\n", median(times), timeouts);
    return 0;
}

// The least a hotkey tool can do for a shortcut move: a grab that never freezes the keyboard,
// one read of the active window (none when blind), one request. Lock keys are left out: Xvfb
// starts with none on.
int hotkey(Display* d, bool blind) {
    const Window root = DefaultRootWindow(d);
    const Atom activeAtom = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    Window active = None;
    if (blind) {
        XSelectInput(d, root, PropertyChangeMask);
        active = activeWindow(d);
    }
    const KeyCode left = XKeysymToKeycode(d, XK_Left);
    const KeyCode right = XKeysymToKeycode(d, XK_Right);
    for (const KeyCode key : {left, right}) {
        XGrabKey(d, key, ControlMask | Mod1Mask, root, False, GrabModeAsync, GrabModeAsync);
    }
    XSync(d, False);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == PropertyNotify && e.xproperty.atom == activeAtom) {
            active = activeWindow(d);
        }
        if (e.type != KeyPress) {
            continue;
        }
        if (const Window w = blind ? active : activeWindow(d); w != None) {
            askForHalf(d, w, e.xkey.keycode == left ? 0 : 640);
            XFlush(d);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const Args args(argv + 1, argv + argc);
    const auto usage = [] {
        std::fprintf(stderr, "usage: see the head of bench/desktop/e2e_probe.cpp\n");
        return 2;
    };
    if (args.size() == 3 && args[0] == "config") {
        return writeConfig(args[1], std::stol(args[2]));
    }
    if (args.size() >= 2 && args[0] == "race") {
        const auto split = std::find(args.begin() + 2, args.end(), "--");
        if (split == args.end()) {
            return usage();
        }
        return race(std::stol(args[1]), Args(args.begin() + 2, split), Args(split + 1, args.end()));
    }
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "e2e_probe: no X display\n");
        return 2;
    }
    if (args.size() == 5 && args[0] == "await") {
        return await(d, std::stoll(args[1]), std::stod(args[2]), args[3],
                     static_cast<pid_t>(std::stol(args[4])));
    }
    if (args.size() == 2 && args[0] == "close") {
        return closeWindow(d, args[1]);
    }
    if (!args.empty() && args.size() <= 2 && args[0] == "hotkey") {
        return hotkey(d, args.size() == 2 && args[1] == "blind");
    }
    if ((args.size() == 2 || args.size() == 3) && args[0] == "keys") {
        return keys(d, std::stol(args[1]),
                    args.size() == 3 && args[2] == "shift" ? XK_Shift_L : XK_F12);
    }
    if (args.size() == 1 && args[0] == "listen") {
        return listen(d);
    }
    if (args.size() == 3 && args[0] == "moves") {
        return moves(d, std::stol(args[1]), args[2] == "key");
    }
    return usage();
}
