// The platform tests' user devices and window helpers.
#include "env.h"
#include "typist.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <array>
#include <string>

namespace ombrel::platform_test {

Pointer addPointer(const char* name) {
    XIAddMasterInfo add{XIAddMaster, const_cast<char*>(name), True, True};
    XIChangeHierarchy(session().display(), reinterpret_cast<XIAnyHierarchyChangeInfo*>(&add), 1);
    XSync(session().display(), False);
    Display* d = session().display();
    return {static_cast<int>(xsession::deviceId(d, name + std::string(" pointer"))),
            XOpenDevice(d, xsession::deviceId(d, name + std::string(" XTEST pointer")))};
}

const Pointer& userMouse() {
    static const Pointer m = addPointer("ombrel-user");
    return m;
}

Rect outer(Window w) {
    xsession::Monitor m;
    if (!session().outerFrame(w, m)) {
        return {};
    }
    return {double(m.x), double(m.y), double(m.width), double(m.height)};
}

void setProperty(Window w, const char* name, const char* type, const std::vector<long>& values,
                 Display* d) {
    XChangeProperty(d, w, XInternAtom(d, name, False), XInternAtom(d, type, False), 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
}

Window createDock(int x, int y, int width, int height, const std::vector<long>& strut) {
    Display* d = session().display();
    return session().createWindow("dock", "OmbrelDock", x, y, width, height, 0, [&](Window w) {
        const auto dock = static_cast<long>(XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False));
        setProperty(w, "_NET_WM_WINDOW_TYPE", "ATOM", {dock});
        if (!strut.empty()) {
            setProperty(w, "_NET_WM_STRUT_PARTIAL", "CARDINAL", strut);
        }
    });
}

void userKey(unsigned keycode, bool down) {
    static XDevice* const keyboard = xsession::openKeyboard(session().display());
    XTestFakeDeviceKeyEvent(session().display(), keyboard, keycode, down ? True : False, nullptr, 0,
                            CurrentTime);
    XSync(session().display(), False);
}

void userPointer(int x, int y, const Pointer& p) {
    XIWarpPointer(session().display(), p.master, None, DefaultRootWindow(session().display()), 0, 0,
                  0, 0, x, y);
    XSync(session().display(), False);
}

void userButton(unsigned button, bool down, const Pointer& p) {
    XTestFakeDeviceButtonEvent(session().display(), p.device, button, down ? True : False, nullptr,
                               0, CurrentTime);
    XSync(session().display(), False);
}

bool nothingHeld() {
    Display* d = session().display();
    std::array<char, 32> keys{};
    XQueryKeymap(d, keys.data());
    XkbStateRec state{};
    XkbGetState(d, XkbUseCoreKbd, &state);
    bool held = keys != std::array<char, 32>{} || (state.mods & ~(LockMask | Mod2Mask)) != 0;
    // A key an XTEST keyboard still holds may not show on the server, and drops that device's
    // next press of it.
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(d, XIAllDevices, &count);
    for (int i = 0; i < count && !held; ++i) {
        XDevice* device = devices[i].use == XISlaveKeyboard
                              ? XOpenDevice(d, static_cast<XID>(devices[i].deviceid))
                              : nullptr;
        XDeviceState* keyboard = device != nullptr ? XQueryDeviceState(d, device) : nullptr;
        const XInputClass* c = keyboard != nullptr ? keyboard->data : nullptr;
        for (int k = 0; c != nullptr && k < keyboard->num_classes; ++k) {
            const auto* down = reinterpret_cast<const XKeyState*>(c);
            held |=
                c->c_class == KeyClass && std::any_of(down->keys, down->keys + sizeof(down->keys),
                                                      [](char bits) { return bits != 0; });
            c = reinterpret_cast<const XInputClass*>(reinterpret_cast<const char*>(c) + c->length);
        }
        if (keyboard != nullptr) {
            XFreeDeviceState(keyboard);
        }
        if (device != nullptr) {
            XCloseDevice(d, device);
        }
    }
    XIFreeDeviceInfo(devices);
    return !held;
}

void devicesComeAndGo() {
    // The server's own mouse leaves its master and comes back (removing a master device, the
    // server sometimes crashes).
    Display* d = session().display();
    const auto mouse = static_cast<int>(xsession::deviceId(d, "Xvfb mouse"));
    XIDetachSlaveInfo detach{XIDetachSlave, mouse};
    XIChangeHierarchy(d, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&detach), 1);
    XIAttachSlaveInfo attach{XIAttachSlave, mouse,
                             static_cast<int>(xsession::deviceId(d, "Virtual core pointer"))};
    XIChangeHierarchy(d, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&attach), 1);
    XSync(d, False);
}

}  // namespace ombrel::platform_test
