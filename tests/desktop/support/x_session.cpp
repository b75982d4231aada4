// Starts and stops the private X session of a desktop test: Xvfb, its monitors and openbox.
#include "x_session.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <tuple>

extern char** environ;

namespace ombrel::xsession {

namespace {

using namespace std::chrono_literals;

// A 32-bit property as longs; empty when absent.
std::vector<long> cardinals(Display* d, Window w, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 64, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32) {
        const long* values = reinterpret_cast<const long*>(data);
        out.assign(values, values + count);
    }
    XFree(data);
    return out;
}

// Mapped by the window manager, which sets the frame extents once it has framed the window.
bool isManaged(Display* d, Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable &&
           cardinals(d, w, "_NET_FRAME_EXTENTS").size() == 4;
}

}  // namespace

pid_t XSession::start(const std::vector<std::string>& argv, int output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, output >= 0 ? output : STDIN_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

std::string XSession::startForLine(const std::vector<std::string>& argv, pid_t& pid) {
    std::array<int, 2> fds{};
    std::string line;
    pid = -1;
    if (pipe2(fds.data(), O_CLOEXEC) != 0) {
        return line;
    }
    pid = start(argv, fds[1]);
    close(fds[1]);
    char c = 0;
    while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    close(fds[0]);
    return line;
}

Options twoMonitors() {
    return {{{0, 0, 1280, 800}, {1280, 0, 1024, 768}}};
}

XSession::XSession(Options options) : options_(std::move(options)) {
    if (startServer() && (options_.monitors.size() == 1 || splitMonitors())) {
        startWindowManager();
    }
}

XSession::~XSession() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
    stop(windowManager_);
    stop(server_);
}

bool XSession::startServer() {
    int width = 0;
    int height = 0;
    for (const auto& m : options_.monitors) {
        width = std::max(width, m.x + m.width);
        height = std::max(height, m.y + m.height);
    }
    // -displayfd: Xvfb prints its display number once it listens, or ends when it fails.
    // -noreset: the monitors set below must survive the moments when no client is connected.
    const std::string number =
        startForLine({"Xvfb", "-displayfd", "1", "-screen", "0",
                      std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                      "tcp", "-noreset", "+extension", "RANDR"},
                     server_);
    if (number.empty()) {
        return fail("Xvfb did not start or report a display");
    }
    displayName_ = ":" + number;
    setenv("DISPLAY", displayName_.c_str(), 1);
    display_ = XOpenDisplay(displayName_.c_str());
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    return display_ != nullptr || fail("cannot connect to " + displayName_);
}

bool XSession::makePrimary(std::size_t index) {
    // A monitor cannot be changed in place: all go, then all come back.
    for (std::size_t i = 0; i < options_.monitors.size(); ++i) {
        run({"xrandr", "--delmonitor", "OMBREL-" + std::to_string(i + 1)});
    }
    return splitMonitors(index);
}

bool XSession::splitMonitors(std::size_t primary) {
    for (std::size_t i = 0; i < options_.monitors.size(); ++i) {
        const auto& m = options_.monitors[i];
        const std::string geometry = std::to_string(m.width) + "/" + std::to_string(m.width / 4) +
                                     "x" + std::to_string(m.height) + "/" +
                                     std::to_string(m.height / 4) + "+" + std::to_string(m.x) +
                                     "+" + std::to_string(m.y);
        // The first monitor takes over the screen's output, which retires the automatic monitor
        // covering the whole screen; the others stand on no output. One is primary (*).
        if (run({"xrandr", "--setmonitor",
                 (i == primary ? "*OMBREL-" : "OMBREL-") + std::to_string(i + 1), geometry,
                 i == 0 ? "screen" : "none"}) != 0) {
            return fail("xrandr could not set monitor " + std::to_string(i + 1));
        }
    }
    int count = 0;
    XRRFreeMonitors(XRRGetMonitors(display_, DefaultRootWindow(display_), True, &count));
    if (count != static_cast<int>(options_.monitors.size())) {
        return fail("the server lists " + std::to_string(count) + " monitors");
    }
    return true;
}

bool XSession::startWindowManager() {
    // The configuration beside this file says why it is as it is.
    windowManager_ = start({"openbox", "--sm-disable", "--config-file", OMBREL_OPENBOX_CONFIG});
    // The window manager is ready when it frames a probe window, not after some fixed time.
    const Window probe =
        windowManager_ > 0 ? createWindow("probe", "OmbrelProbe", 10, 10, 50, 50) : 0;
    if (probe == 0) {
        return fail("openbox did not start or manage a probe window");
    }
    XDestroyWindow(display_, probe);
    XSync(display_, False);
    return true;
}

std::optional<int> XSession::waitFor(pid_t& pid, std::chrono::milliseconds timeout,
                                     const std::function<void()>& pump) {
    int status = 0;
    pid_t r = 0;
    const auto ended = [&] {
        r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno != EINTR);
    };
    if (pid <= 0 || !waitUntil(ended, timeout, pump)) {
        return std::nullopt;
    }
    pid = -1;
    return r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void XSession::stop(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (!waitFor(pid, 5s)) {
            kill(pid, SIGKILL);
            waitFor(pid, 5s);
        }
    }
    pid = -1;
}

Window XSession::createWindow(const std::string& instance, const std::string& windowClass, int x,
                              int y, int width, int height, long eventMask,
                              const std::function<void(Window)>& beforeMap) {
    if (display_ == nullptr) {
        return 0;
    }
    XSetWindowAttributes attributes{};
    attributes.event_mask = eventMask | StructureNotifyMask | PropertyChangeMask;
    attributes.background_pixel = WhitePixel(display_, DefaultScreen(display_));
    const Window w =
        XCreateWindow(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWEventMask | CWBackPixel, &attributes);
    XClassHint hint{const_cast<char*>(instance.c_str()), const_cast<char*>(windowClass.c_str())};
    XSetClassHint(display_, w, &hint);
    XStoreName(display_, w, instance.c_str());
    // Ask to be placed where created, as a user-positioned window.
    XSizeHints size{};
    size.flags = USPosition | USSize;
    std::tie(size.x, size.y, size.width, size.height) = std::tie(x, y, width, height);
    XSetWMNormalHints(display_, w, &size);
    if (beforeMap) {
        beforeMap(w);
    }
    XMapWindow(display_, w);
    XSync(display_, False);
    const bool managed =
        waitUntil([&] { return isManaged(display_, w); }, 5s, [&] { XSync(display_, False); });
    if (!managed) {
        XDestroyWindow(display_, w);
        XSync(display_, False);
    }
    return managed ? w : 0;
}

Window XSession::activeWindow() {
    const auto v = cardinals(display_, DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW");
    return v.empty() ? 0 : static_cast<Window>(v[0]);
}

bool XSession::activate(Window window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager: honoured without focus-stealing checks
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
    return waitUntil([&] { return activeWindow() == window; }, 3s, [&] { XSync(display_, False); });
}

bool XSession::outerFrame(Window window, Monitor& frame) {
    XWindowAttributes a{};
    int rx = 0;
    int ry = 0;
    Window child = 0;
    if (XGetWindowAttributes(display_, window, &a) == 0 ||
        !XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &rx, &ry,
                               &child)) {
        return false;
    }
    auto e = cardinals(display_, window, "_NET_FRAME_EXTENTS");
    e.resize(4, 0);  // left, right, top, bottom
    frame = {rx - int(e[0]), ry - int(e[2]), a.width + int(e[0] + e[1]),
             a.height + int(e[2] + e[3])};
    return true;
}

bool XSession::waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout,
                         const std::function<void()>& pump) {
    for (const auto deadline = Clock::now() + timeout;; std::this_thread::sleep_for(1ms)) {
        if (pump) {
            pump();
        }
        const bool met = cond();
        if (met || Clock::now() >= deadline) {
            return met;
        }
    }
}

int XSession::run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    pid_t pid = start(argv);
    const auto status = waitFor(pid, timeout);
    stop(pid);  // when it did not end in time
    return status.value_or(-1);
}

}  // namespace ombrel::xsession
