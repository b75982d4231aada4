// The desktop's application services: the frontmost application, opening applications and URLs,
// starting programs, and the desktop shell's own window functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ombrel {

class Workspace {
  public:
    virtual ~Workspace() = default;
    // Identifier of the frontmost application (bundle identifier, or WM_CLASS class on X11).
    virtual std::optional<std::string> frontmostApplicationID() = 0;
    // Opens the application at the path with default options; never waits, never reports.
    virtual void openApplication(const std::string& path) = 0;
    // Hands a URL to the user's default handler; false when the text does not parse as a URL.
    virtual bool openURL(const std::string& text) = 0;
    // Starts the executable detached, output to the null device; never waits, never reports.
    virtual void launchProcess(const std::string& executable,
                               const std::vector<std::string>& arguments) = 0;
};

// The desktop shell's window-overview functions, found at run time.
class DesktopShell {
  public:
    enum class Request { missionControl, appWindows, showDesktop };
    virtual ~DesktopShell() = default;
    // Asks the shell; false when the desktop offers no entry point for it.
    virtual bool send(Request request) = 0;
};

// A program and its arguments.
struct Command {
    std::string executable;
    std::vector<std::string> arguments;
    friend bool operator==(const Command&, const Command&) = default;
};

// Which system program stands for which function on this platform, kept in one place.
struct SystemPrograms {
    // The shell command action runs `shell` with `shellArguments` followed by the command text.
    std::string shell;
    std::vector<std::string> shellArguments;
    // Locking the screen: a program, or nothing to post control+command+Q instead.
    std::optional<Command> lockScreen;
    Command sleepDisplay;
    // What runs when the desktop shell has no entry point (indexed by DesktopShell::Request).
    std::optional<Command> missionControlFallback;
    std::optional<Command> appWindowsFallback;
    std::optional<Command> showDesktopFallback;
};

}  // namespace ombrel
