// The desktop services the settings window uses when nobody supplies others: the running
// applications from the window manager's client list, the file manager, URL handlers and names
// of applications.
#pragma once

#include <QUrl>
#include <filesystem>
#include <string>
#include <vector>

struct _XDisplay;  // Xlib's Display

namespace ombrel::desktop {

// Distinct WM_CLASS classes of the window manager's normal application windows (no docks,
// panels, dialogs or desktop), in its list order, leaving out the windows of process ownProcess.
std::vector<std::string> clientWindowClasses(_XDisplay* display, long ownProcess);
// The same on the application's own X connection, without its own windows; empty without X11.
std::vector<std::string> runningApplicationIDs();
// Selects the file in a file-manager window (FileManager1 over D-Bus), else opens its folder.
void showInFileManager(const std::filesystem::path& file);
// Opens the URL when the desktop has a handler for its scheme; nothing otherwise.
void openUrlIfHandled(const QUrl& url);
// Name of an application from its desktop entry, else the identifier; entries are read once.
std::string applicationName(const std::string& identifier);

}  // namespace ombrel::desktop
