// The desktop's application services: the frontmost application, opening applications and URLs,
// starting programs, and the desktop shell's own window functions.
#pragma once

#include <functional>
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

// The desktop session's own services for the system functions, found at run time: its window
// overviews, media player, sound server, screen locker and display power. Each answers false
// when the desktop offers nothing for it, so the caller can fall back or say so.
class DesktopShell {
  public:
    enum class Request { missionControl, appWindows, showDesktop };
    enum class Player { playPause, next, previous };
    enum class Volume { up, down, mute };
    // Whether the screen was locked; called on the main thread, possibly later.
    using LockDone = std::function<void(bool locked)>;
    virtual ~DesktopShell() = default;
    // Asks the shell; false when the desktop offers no entry point for it.
    virtual bool send(Request request) = 0;
    // Tells the playing player, else the most recently active one.
    virtual bool controlPlayer(Player /*command*/) { return false; }
    // Steps the default output's volume or toggles its mute.
    virtual bool changeVolume(Volume /*change*/) { return false; }
    // Asks whatever can lock the session; false when this shell has no way to try (done is not
    // called then).
    virtual bool lockScreen(const LockDone& /*done*/) { return false; }
    // Switches the displays off once the trigger's keys are up.
    virtual bool sleepDisplay() { return false; }
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
