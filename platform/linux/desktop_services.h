// What the settings window asks of the desktop: the running applications from the window
// manager's client list, the names of applications and a file shown in the file manager.
#pragma once

#include <X11/Xlib.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ombrel::linux_platform {

// Distinct WM_CLASS classes of the window manager's normal application windows (no docks,
// panels, dialogs or desktop), in its list order, leaving out the windows of process ownProcess.
std::vector<std::string> clientWindowClasses(Display* display, long ownProcess);
// The same on the application's own X connection, without its own windows; empty without X11.
std::vector<std::string> runningApplications();
// Name of an application from its desktop entry, else the identifier; entries are read once.
std::string applicationName(const std::string& identifier);
// Selects the file in a file-manager window (FileManager1 over D-Bus), else opens its folder.
void showInFileManager(const std::filesystem::path& file);

}  // namespace ombrel::linux_platform
