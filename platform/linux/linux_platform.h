// Every Linux desktop service in one object, built in dependency order on the main thread.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/qt_main_queue.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"
#include "platform/linux/x_window_system.h"

namespace ombrel::linux_platform {

// Create it after the Qt application object: the X connection joins its main loop.
struct LinuxPlatform {
    explicit LinuxPlatform(std::string displayName = {},
                           std::unique_ptr<TouchpadWatch> touchpads = udevTouchpads())
        : x(std::move(displayName)),
          poster(x),
          tap(x, poster),
          windows(x),
          workspace(x),
          shell(x, queue),
          touch(std::move(touchpads)) {}

    XConnection x;
    QtMainQueue queue;
    X11EventPoster poster;
    X11EventTap tap;
    X11WindowSystem windows;
    LinuxWorkspace workspace;
    LinuxDesktopShell shell;
    EvdevMultitouch touch;
    SystemPrograms programs = linuxPrograms();
};

}  // namespace ombrel::linux_platform
