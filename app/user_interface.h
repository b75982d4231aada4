// The one entry of the user-interface library (Qt Widgets and all that the tray application
// needs), which the ombrel executable opens on demand.
#pragma once

extern "C" {

// Renders the icon to iconPath when it is not null, else starts the tray application; verbose
// also prints the log on standard error. The result is the process's exit status.
using OmbrelUserInterfaceMain = int (*)(int argc, char** argv, const char* iconPath, int verbose);
}

namespace ombrel::app {

inline constexpr const char* userInterfaceEntry = "ombrel_user_interface_main";

}  // namespace ombrel::app
