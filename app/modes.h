// The one-shot command-line modes that need Qt, and the normal start of the tray application.
#pragma once

#include <string>

namespace ombrel::app {

// Posts the run request for the name on the session bus and returns 0, whatever happens.
int sendRunRequest(int argc, char** argv, const std::string& name);

// Renders the 1024 × 1024 application icon to a PNG file at the path: 0 on success, 1 on any
// failure, with nothing left at the path then.
int makeIcon(int argc, char** argv, const std::string& path);

// Starts the tray application and runs its event loop until it is asked to quit. Without an X
// display it prints one line saying so and returns 1.
int normalStart(int argc, char** argv);

}  // namespace ombrel::app
