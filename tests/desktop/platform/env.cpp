// Starts the shared Qt application and X session of the platform tests.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include "env.h"

#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

namespace ombrel {

void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

}  // namespace ombrel

namespace ombrel::platform_test {

namespace {

// With widgets, as the program has: its overlays are windows.
QApplication& application() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
}

}  // namespace

std::vector<std::vector<std::string>> records(const std::string& file, const std::string& section) {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path() / file);
    std::vector<std::vector<std::string>> out;
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('[') && line.ends_with(']')) {
            inSection = line == "[" + section + "]";
            continue;
        }
        if (!inSection || line.empty() || line.starts_with('#')) {
            continue;
        }
        for (const auto& [escape, c] : {std::pair{"\\n", '\n'}, {"\\r", '\r'}}) {
            for (std::size_t at = 0; (at = line.find(escape, at)) != std::string::npos;) {
                line.replace(at, 2, 1, c);
            }
        }
        auto& fields = out.emplace_back();
        std::size_t at = 0;
        for (std::size_t bar = 0; (bar = line.find(" | ", at)) != std::string::npos; at = bar + 3) {
            fields.push_back(line.substr(at, bar - at));
        }
        fields.push_back(line.substr(at));
    }
    if (out.empty()) {
        throw std::runtime_error("no cases in " + file + " [" + section + "]");
    }
    return out;
}

std::vector<double> numbers(const std::string& field) {
    std::istringstream in(field);
    return {std::istream_iterator<double>(in), std::istream_iterator<double>()};
}

std::vector<Rect> rects(const std::string& field) {
    const std::vector<double> n = numbers(field);
    std::vector<Rect> out;
    for (std::size_t i = 0; i + 4 <= n.size(); i += 4) {
        out.push_back({n[i], n[i + 1], n[i + 2], n[i + 3]});
    }
    return out;
}

int deviceId(const char* name) {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(session().display(), XIAllDevices, &count);
    int id = -1;
    for (int i = 0; i < count; ++i) {
        id = std::string(devices[i].name) == name ? devices[i].deviceid : id;
    }
    XIFreeDeviceInfo(devices);
    return id;
}

XDevice* addPointer(const char* name) {
    XIAddMasterInfo add{XIAddMaster, const_cast<char*>(name), True, True};
    XIChangeHierarchy(session().display(), reinterpret_cast<XIAnyHierarchyChangeInfo*>(&add), 1);
    XSync(session().display(), False);
    const std::string xtest = std::string(name) + " XTEST pointer";
    return XOpenDevice(session().display(), static_cast<XID>(deviceId(xtest.c_str())));
}

namespace {

XDevice* openDevice(const char* name) {
    return XOpenDevice(session().display(), static_cast<XID>(deviceId(name)));
}

// The server's own mouse has too few buttons, so the user's mouse is a master pointer of its
// own, driven through its XTEST device.
struct Mouse {
    int master = -1;
    XDevice* device = nullptr;
};

const Mouse& mouse() {
    static const Mouse m = [] {
        XDevice* device = addPointer("ombrel-user");
        return Mouse{deviceId("ombrel-user pointer"), device};
    }();
    return m;
}

}  // namespace

xsession::XSession& session() {
    // Created before the application, so the Qt loop and every connection see its DISPLAY.
    static xsession::XSession s(xsession::twoMonitors());
    application();
    return s;
}

void pump() {
    application();
    // A short blocking turn, as in the program: events that round trips left in Xlib's queue
    // are handed out when the loop is about to wait.
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
}

bool pumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    return xsession::XSession::waitUntil(cond, timeout, pump);
}

Rect outer(Window w) {
    xsession::Monitor m;
    if (!session().outerFrame(w, m)) {
        return {};
    }
    return {double(m.x), double(m.y), double(m.width), double(m.height)};
}

void setProperty(Window w, const char* name, const char* type, const std::vector<long>& values) {
    Display* d = session().display();
    XChangeProperty(d, w, XInternAtom(d, name, False), XInternAtom(d, type, False), 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
}

Window createDock(int x, int y, int width, int height, const std::array<long, 12>& strut) {
    Display* d = session().display();
    return session().createWindow("dock", "OmbrelDock", x, y, width, height, 0, [&](Window w) {
        const auto dock = static_cast<long>(XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False));
        setProperty(w, "_NET_WM_WINDOW_TYPE", "ATOM", {dock});
        if (strut != std::array<long, 12>{}) {
            setProperty(w, "_NET_WM_STRUT_PARTIAL", "CARDINAL", {strut.begin(), strut.end()});
        }
    });
}

void userKey(unsigned keycode, bool down) {
    static XDevice* const keyboard = openDevice("Xvfb keyboard");
    XTestFakeDeviceKeyEvent(session().display(), keyboard, keycode, down ? True : False, nullptr, 0,
                            CurrentTime);
    XSync(session().display(), False);
}

void userPointer(int x, int y) {
    XIWarpPointer(session().display(), mouse().master, None, DefaultRootWindow(session().display()),
                  0, 0, 0, 0, x, y);
    XSync(session().display(), False);
}

void userButton(unsigned button, bool down) {
    XTestFakeDeviceButtonEvent(session().display(), mouse().device, button, down ? True : False,
                               nullptr, 0, CurrentTime);
    XSync(session().display(), False);
}

void userClick(unsigned button) {
    userButton(button, true);
    userButton(button, false);
}

}  // namespace ombrel::platform_test
