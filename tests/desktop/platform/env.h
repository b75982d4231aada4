// What the platform tests share: the desktop of every desktop test, the user's keyboard and mouse,
// and a few window helpers.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "placement/geometry.h"
#include "support/rect_printer.h"
#include "support/temp_dir.h"

// Last: the X session brings Xlib, whose macros collide with names in the headers above.
#include "desktop_env.h"

#include <X11/extensions/XInput.h>

namespace ombrel::platform_test {

using desktop_test::pump;
using desktop_test::pumpUntil;
using desktop_test::session;

// A private folder whose files are named as strings.
struct Folder : test::TempDir {
    [[nodiscard]] std::string operator/(const std::string& name) const { return path() / name; }
};

// The outer frame of a managed window as the server and the window manager describe it.
Rect outer(Window w);
// Sets a 32-bit property (through the session's connection unless another is given); type is an
// atom name.
void setProperty(Window w, const char* name, const char* type, const std::vector<long>& values,
                 Display* d = session().display());
// A dock window reserving the band its _NET_WM_STRUT_PARTIAL describes, if it has one.
Window createDock(int x, int y, int width, int height, const std::vector<long>& strut);

// A master pointer of its own, driven through its XTEST device.
struct Pointer {
    int master = -1;
    XDevice* device = nullptr;
};
// A new master pointer "<name> pointer", with its "<name> XTEST pointer" device.
Pointer addPointer(const char* name);
// The user's mouse: the server's own has too few buttons.
const Pointer& userMouse();

// The user's keyboard and mouse (or another pointer), which the tap tells apart from the XTEST
// devices the program posts through.
void userKey(unsigned keycode, bool down);
void userPointer(int x, int y, const Pointer& p = userMouse());
void userButton(unsigned button, bool down, const Pointer& p = userMouse());
// No key is down and no modifier but the locks is set: nothing was left held.
// No key down, on the server and on every keyboard device.
bool nothingHeld();
// A mouse leaves and comes back.
void devicesComeAndGo();

}  // namespace ombrel::platform_test
