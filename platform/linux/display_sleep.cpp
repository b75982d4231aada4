// Waits on the main queue for the trigger's keys to come up, then forces DPMS off.
#include "platform/linux/display_sleep.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

#include <algorithm>
#include <iterator>

namespace ombrel::linux_platform {

DisplaySleep::DisplaySleep(XConnection& connection, TaskQueue& queue, SwitchOff switchOff)
    : x_(connection), queue_(queue), switchOff_(std::move(switchOff)) {}

bool DisplaySleep::capable() {
    if (!x_.connected()) {
        return false;
    }
    int event = 0;
    int error = 0;
    return DPMSQueryExtension(x_.display(), &event, &error) != 0 && DPMSCapable(x_.display()) != 0;
}

bool DisplaySleep::sleep() {
    if (!switchOff_ && !capable()) {
        return false;
    }
    queue_.postAfter(settleSeconds, [this] { check(settleSeconds); });
    return true;
}

bool DisplaySleep::inputHeld() {
    if (!x_.connected()) {
        return false;
    }
    Display* d = x_.display();
    char keys[32] = {};
    XQueryKeymap(d, keys);
    if (std::any_of(std::begin(keys), std::end(keys), [](char k) { return k != 0; })) {
        return true;
    }
    Window root = None;
    Window child = None;
    int rx = 0;
    int ry = 0;
    int wx = 0;
    int wy = 0;
    unsigned int mask = 0;
    XQueryPointer(d, x_.root(), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return (mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask)) != 0;
}

void DisplaySleep::check(double waited) {
    if (inputHeld() && waited < giveUpSeconds) {
        queue_.postAfter(pollSeconds, [this, waited] { check(waited + pollSeconds); });
        return;
    }
    switchOffNow();
}

void DisplaySleep::switchOffNow() {
    if (switchOff_) {
        switchOff_();
        return;
    }
    if (!capable()) {
        return;
    }
    Display* d = x_.display();
    CARD16 level = 0;
    BOOL enabled = False;
    DPMSInfo(d, &level, &enabled);
    // Forcing a level needs power management on, as xset does it.
    if (enabled == False) {
        DPMSEnable(d);
    }
    DPMSForceLevel(d, DPMSModeOff);
    XFlush(d);
}

}  // namespace ombrel::linux_platform
