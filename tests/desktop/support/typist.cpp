// Types on the server's keyboard and watches a window tree for the presses.
#include "typist.h"

#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

#include <algorithm>

#include "x_session.h"

namespace ombrel::xsession {

XID deviceId(Display* d, const std::string& name) {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(d, XIAllDevices, &count);
    XID id = 0;
    for (int i = 0; i < count; ++i) {
        id = devices[i].name == name ? static_cast<XID>(devices[i].deviceid) : id;
    }
    XIFreeDeviceInfo(devices);
    return id;
}

XDevice* openKeyboard(Display* d) {
    const XID id = deviceId(d, "Xvfb keyboard");
    return id != 0 ? XOpenDevice(d, id) : nullptr;
}

Typist::Typist() : display_(XOpenDisplay(nullptr)) {
    if (display_ != nullptr) {
        keyboard_ = openKeyboard(display_);
        // A window opened later (one that takes the focus) is watched from its creation on.
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    }
}

Typist::~Typist() {
    if (display_ != nullptr) {
        if (keyboard_ != nullptr) {
            XCloseDevice(display_, static_cast<XDevice*>(keyboard_));
        }
        XCloseDisplay(display_);
    }
}

unsigned Typist::code(const char* keysymName) const {
    return XKeysymToKeycode(display_, XStringToKeysym(keysymName));
}

void Typist::watch(Window window) {
    // The window may be gone already; that is no error here.
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    std::vector<Window> pending{window};
    while (!pending.empty()) {
        const Window w = pending.back();
        pending.pop_back();
        XSelectInput(display_, w, KeyPressMask);
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display_, w, &root, &parent, &children, &count) != 0) {
            pending.insert(pending.end(), children, children + count);
            XFree(children);
        }
    }
    XSync(display_, False);
    XSetErrorHandler(previous);
}

void Typist::key(unsigned keycode, bool down) {
    XTestFakeDeviceKeyEvent(display_, static_cast<XDevice*>(keyboard_), keycode,
                            down ? True : False, nullptr, 0, CurrentTime);
    XFlush(display_);
}

void Typist::chord(const std::vector<unsigned>& modifiers, unsigned keycode) {
    for (unsigned m : modifiers) {
        key(m, true);
    }
    key(keycode, true);
    key(keycode, false);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        key(*it, false);
    }
}

bool Typist::collect(unsigned keycode) {
    bool found = false;
    while (XPending(display_) > 0) {
        XEvent e;
        XNextEvent(display_, &e);
        if (e.type == KeyPress) {
            seen_.push_back(e.xkey.keycode);
            found = found || e.xkey.keycode == keycode;
        } else if (e.type == CreateNotify) {
            watch(e.xcreatewindow.window);
        }
    }
    return found;
}

bool Typist::arrived(unsigned keycode) {
    collect(0);
    return std::find(seen_.begin(), seen_.end(), keycode) != seen_.end();
}

void Typist::forget() {
    collect(0);
    seen_.clear();
}

std::optional<double> Typist::timedTap(unsigned keycode, std::chrono::milliseconds patience,
                                       const std::function<void()>& pump) {
    const auto sent = Clock::now();
    key(keycode, true);
    key(keycode, false);
    const auto deadline = sent + patience;
    while (Clock::now() < deadline) {
        if (collect(keycode)) {
            return std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
        }
        if (pump) {
            pump();
        }
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        poll(&p, 1, pump ? 1 : 5);
    }
    return std::nullopt;
}

}  // namespace ombrel::xsession
