// Creates the stand-in user's devices and drives them through XTEST.
#include "user_input.h"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <cstring>
#include <string>

namespace ombrel::platform_test {

namespace {

constexpr const char* masterName = "ombrel-user";

}  // namespace

UserInput::UserInput(Display* display) : display_(display) {
    XIAddMasterInfo add{};
    add.type = XIAddMaster;
    add.name = const_cast<char*>(masterName);
    add.send_core = True;
    add.enable = True;
    XIChangeHierarchy(display_, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&add), 1);
    XSync(display_, False);
    const std::string keyboardName = std::string(masterName) + " XTEST keyboard";
    const std::string pointerName = std::string(masterName) + " XTEST pointer";
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display_, XIAllDevices, &count);
    int keyboardId = -1;
    int pointerId = -1;
    for (int i = 0; i < count; ++i) {
        const std::string name = devices[i].name;
        if (name == std::string(masterName) + " keyboard") {
            masterKeyboard_ = devices[i].deviceid;
        } else if (name == std::string(masterName) + " pointer") {
            masterPointer_ = devices[i].deviceid;
        } else if (name == keyboardName) {
            keyboardId = devices[i].deviceid;
        } else if (name == pointerName) {
            pointerId = devices[i].deviceid;
        }
    }
    XIFreeDeviceInfo(devices);
    if (keyboardId >= 0) {
        keyboard_ = XOpenDevice(display_, static_cast<XID>(keyboardId));
    }
    if (pointerId >= 0) {
        pointer_ = XOpenDevice(display_, static_cast<XID>(pointerId));
    }
}

UserInput::~UserInput() {
    if (keyboard_ != nullptr) {
        XCloseDevice(display_, keyboard_);
    }
    if (pointer_ != nullptr) {
        XCloseDevice(display_, pointer_);
    }
    if (masterKeyboard_ >= 0) {
        XIRemoveMasterInfo remove{};
        remove.type = XIRemoveMaster;
        remove.deviceid = masterKeyboard_;
        remove.return_mode = XIFloating;
        XIChangeHierarchy(display_, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&remove), 1);
    }
    XSync(display_, False);
}

void UserInput::focus(Window window) {
    XISetFocus(display_, masterKeyboard_, window, CurrentTime);
    XSync(display_, False);
}

void UserInput::movePointer(int x, int y) {
    XIWarpPointer(display_, masterPointer_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
    XSync(display_, False);
}

void UserInput::key(unsigned keycode, bool down) {
    XTestFakeDeviceKeyEvent(display_, keyboard_, keycode, down ? True : False, nullptr, 0,
                            CurrentTime);
}

void UserInput::tap(unsigned keycode, std::initializer_list<unsigned> modifiers) {
    for (unsigned m : modifiers) {
        key(m, true);
    }
    key(keycode, true);
    key(keycode, false);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
        key(*it, false);
    }
    flush();
}

void UserInput::button(unsigned button, bool down) {
    XTestFakeDeviceButtonEvent(display_, pointer_, button, down ? True : False, nullptr, 0,
                               CurrentTime);
}

void UserInput::click(unsigned b) {
    button(b, true);
    button(b, false);
    flush();
}

void UserInput::flush() {
    XFlush(display_);
}

}  // namespace ombrel::platform_test
