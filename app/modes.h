// The command-line modes beyond the choice itself. The ombrel executable runs the self-check and
// the run request without Qt; the icon and the tray application live in the user-interface
// library, loaded only for them.
#pragma once

#include <string>

#include "app/command_line.h"

namespace ombrel::app {

// Posts the run request for the name on the session bus and returns 0, whatever happens.
int sendRunRequest(const std::string& name);

// Loads the user-interface library and runs the mode there (a normal start or the icon).
int runUserInterface(int argc, char** argv, const LaunchMode& mode);

// In the user-interface library:
// Renders the 1024 × 1024 application icon to a PNG file at the path: 0 on success, 1 on any
// failure, with nothing left at the path then.
int makeIcon(int argc, char** argv, const std::string& path);

// Starts the tray application and runs its event loop until it is asked to quit. Without an X
// display it prints one line saying so and returns 1.
int normalStart(int argc, char** argv);

}  // namespace ombrel::app
