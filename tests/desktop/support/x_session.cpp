// Starts and stops the private X session of a desktop test: Xvfb, its monitors and openbox.
#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

extern char** environ;

namespace ombrel::xsession {

namespace {

using namespace std::chrono_literals;

// Openbox with one desktop, no key bindings (they would collide with the grabs under test), and
// the mouse bindings a user relies on: click to focus and raise, drag the title bar to move.
constexpr const char* openboxConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <keyboard></keyboard>
  <mouse>
    <dragThreshold>1</dragThreshold>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Titlebar">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
    </context>
  </mouse>
</openbox_config>
)";

pid_t spawn(const std::vector<std::string>& argv, int keepFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    (void)keepFd;  // inherited as is: only the read end of its pipe is close-on-exec
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

// Waits for the child to end within the timeout; its wait status, or nothing.
bool reap(pid_t pid, std::chrono::milliseconds timeout, int& status) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
}

std::optional<std::vector<long>> cardinals(Display* d, Window w, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 64, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) != Success ||
        data == nullptr) {
        return std::nullopt;
    }
    std::vector<long> out;
    if (format == 32) {
        const long* values = reinterpret_cast<const long*>(data);
        out.assign(values, values + count);
    }
    XFree(data);
    if (type == None) {
        return std::nullopt;
    }
    return out;
}

Window parentOf(Display* d, Window w) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    if (children != nullptr) {
        XFree(children);
    }
    return parent;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

Options twoMonitors() {
    Options o;
    o.monitors = {{0, 0, 1280, 800}, {1280, 0, 1024, 768}};
    return o;
}

XSession::XSession(Options options) : options_(std::move(options)) {
    if (options_.monitors.empty()) {
        failure_ = "no monitor asked for";
        return;
    }
    if (!startServer()) {
        return;
    }
    display_ = XOpenDisplay(displayName_.c_str());
    if (display_ == nullptr) {
        failure_ = "cannot connect to " + displayName_;
        return;
    }
    XSetErrorHandler(ignoreErrors);
    if (options_.monitors.size() > 1 && !splitMonitors()) {
        return;
    }
    if (options_.windowManager) {
        startWindowManager();
    }
}

XSession::~XSession() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
    stop(windowManager_);
    stop(server_);
    if (!configDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(configDir_, ec);
    }
}

bool XSession::startServer() {
    int width = 0;
    int height = 0;
    for (const auto& m : options_.monitors) {
        width = std::max(width, m.x + m.width);
        height = std::max(height, m.y + m.height);
    }
    std::array<int, 2> fds{};
    if (pipe(fds.data()) != 0) {
        failure_ = "pipe failed";
        return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    // -noreset: the monitors set below must survive the moments when no client is connected.
    server_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                     std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                     "tcp", "-noreset", "+extension", "RANDR"},
                    fds[1]);
    close(fds[1]);
    if (server_ < 0) {
        close(fds[0]);
        failure_ = "cannot start Xvfb";
        return false;
    }
    std::string number;
    const auto deadline = Clock::now() + 15s;
    while (Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') {
            break;
        }
        number.push_back(c);
    }
    close(fds[0]);
    if (number.empty()) {
        failure_ = "Xvfb did not report a display";
        return false;
    }
    displayName_ = ":" + number;
    setenv("DISPLAY", displayName_.c_str(), 1);
    return true;
}

bool XSession::splitMonitors() {
    Window root = DefaultRootWindow(display_);
    XRRScreenResources* resources = XRRGetScreenResources(display_, root);
    RROutput output = None;
    if (resources != nullptr && resources->noutput > 0) {
        output = resources->outputs[0];
    }
    for (std::size_t i = 0; i < options_.monitors.size(); ++i) {
        const auto& m = options_.monitors[i];
        // The first monitor takes over the screen's output, which retires the automatic
        // monitor covering the whole screen; the others stand on no output.
        XRRMonitorInfo* info = XRRAllocateMonitor(display_, i == 0 && output != None ? 1 : 0);
        const std::string name = "OMBREL-" + std::to_string(i + 1);
        info->name = XInternAtom(display_, name.c_str(), False);
        info->primary = i == 0 ? True : False;
        info->automatic = False;
        info->x = m.x;
        info->y = m.y;
        info->width = m.width;
        info->height = m.height;
        info->mwidth = m.width / 4;
        info->mheight = m.height / 4;
        if (info->noutput > 0) {
            info->outputs[0] = output;
        }
        XRRSetMonitor(display_, root, info);
        XRRFreeMonitors(info);
    }
    if (resources != nullptr) {
        XRRFreeScreenResources(resources);
    }
    XSync(display_, False);
    int count = 0;
    XRRMonitorInfo* list = XRRGetMonitors(display_, root, True, &count);
    if (list != nullptr) {
        XRRFreeMonitors(list);
    }
    if (count != static_cast<int>(options_.monitors.size())) {
        failure_ = "the server lists " + std::to_string(count) + " monitors";
        return false;
    }
    return true;
}

bool XSession::startWindowManager() {
    std::string dir = (std::filesystem::temp_directory_path() / "ombrel-xsession-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        failure_ = "cannot make a temporary folder";
        return false;
    }
    configDir_ = dir;
    const std::string rc = dir + "/rc.xml";
    {
        std::ofstream out(rc);
        out << openboxConfig;
    }
    windowManager_ = spawn({"openbox", "--sm-disable", "--config-file", rc});
    if (windowManager_ < 0) {
        failure_ = "cannot start openbox";
        return false;
    }
    // The window manager is ready when it frames a probe window, not after some fixed time.
    const Window probe = createWindow("probe", "OmbrelProbe", 10, 10, 50, 50);
    if (probe == 0) {
        failure_ = "openbox did not manage a probe window";
        return false;
    }
    XDestroyWindow(display_, probe);
    XSync(display_, False);
    return true;
}

void XSession::stop(pid_t& pid) {
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGTERM);
    int status = 0;
    if (!reap(pid, 5s, status)) {
        kill(pid, SIGKILL);
        reap(pid, 5s, status);
    }
    pid = -1;
}

Window XSession::createWindow(const std::string& instance, const std::string& windowClass, int x,
                              int y, int width, int height, long eventMask,
                              const std::function<void(Window)>& beforeMap) {
    if (display_ == nullptr) {
        return 0;
    }
    const Window root = DefaultRootWindow(display_);
    XSetWindowAttributes attributes{};
    attributes.event_mask = eventMask | StructureNotifyMask | PropertyChangeMask;
    attributes.background_pixel = WhitePixel(display_, DefaultScreen(display_));
    const Window w = XCreateWindow(display_, root, x, y, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWEventMask | CWBackPixel, &attributes);
    XClassHint hint{const_cast<char*>(instance.c_str()), const_cast<char*>(windowClass.c_str())};
    XSetClassHint(display_, w, &hint);
    XStoreName(display_, w, instance.c_str());
    // Ask to be placed where created, as a user-positioned window.
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = x;
    size.y = y;
    size.width = width;
    size.height = height;
    XSetWMNormalHints(display_, w, &size);
    Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, w, &deleteWindow, 1);
    if (beforeMap) {
        beforeMap(w);
    }
    XMapWindow(display_, w);
    XSync(display_, False);
    if (!options_.windowManager) {
        return w;
    }
    if (!waitManaged(w)) {
        XDestroyWindow(display_, w);
        XSync(display_, False);
        return 0;
    }
    return w;
}

bool XSession::waitManaged(Window window, std::chrono::milliseconds timeout) {
    const Window root = DefaultRootWindow(display_);
    return waitUntil(
        [&] {
            XWindowAttributes a{};
            if (XGetWindowAttributes(display_, window, &a) == 0 || a.map_state != IsViewable) {
                return false;
            }
            const auto extents = cardinals(display_, window, "_NET_FRAME_EXTENTS");
            return extents && extents->size() == 4 && parentOf(display_, window) != root;
        },
        timeout, [&] { XSync(display_, False); });
}

Window XSession::activeWindow() {
    const auto v = cardinals(display_, DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW");
    return v && !v->empty() ? static_cast<Window>((*v)[0]) : 0;
}

bool XSession::activate(Window window, std::chrono::milliseconds timeout) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager: honoured without focus-stealing checks
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(display_);
    return waitUntil([&] { return activeWindow() == window; }, timeout,
                     [&] { XSync(display_, False); });
}

bool XSession::outerFrame(Window window, Monitor& frame) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(display_, window, &a) == 0) {
        return false;
    }
    int rx = 0;
    int ry = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &rx, &ry, &child);
    const auto e = cardinals(display_, window, "_NET_FRAME_EXTENTS");
    const long left = e && e->size() == 4 ? (*e)[0] : 0;
    const long right = e && e->size() == 4 ? (*e)[1] : 0;
    const long top = e && e->size() == 4 ? (*e)[2] : 0;
    const long bottom = e && e->size() == 4 ? (*e)[3] : 0;
    frame = {rx - static_cast<int>(left), ry - static_cast<int>(top),
             a.width + static_cast<int>(left + right), a.height + static_cast<int>(top + bottom)};
    return true;
}

bool XSession::waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout,
                         const std::function<void()>& pump) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (pump) {
            pump();
        }
        if (cond()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
}

pid_t XSession::start(const std::vector<std::string>& argv) {
    return spawn(argv);
}

int XSession::run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    const pid_t pid = spawn(argv);
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    if (!reap(pid, timeout, status)) {
        kill(pid, SIGKILL);
        reap(pid, 5s, status);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace ombrel::xsession
