// A private X session for desktop tests: Xvfb on a free display, optionally split into two
// monitors, with openbox managing windows, torn down with the object.
// Include Qt and GoogleTest headers before this one: Xlib's macros (None, Bool, Status) clash
// with names in both.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ombrel::xsession {

struct Monitor {
    int x = 0, y = 0, width = 0, height = 0;
};

struct Options {
    // The first monitor is the primary one; one entry means the screen is not split.
    std::vector<Monitor> monitors{{0, 0, 1280, 800}};
};

// Two side-by-side monitors of different heights, the left one primary.
Options twoMonitors();

using Clock = std::chrono::steady_clock;

class XSession {
  public:
    explicit XSession(Options options = {});
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // False when the server or the window manager could not be started; failure() says why.
    [[nodiscard]] bool ready() const { return failure_.empty(); }
    [[nodiscard]] const std::string& failure() const { return failure_; }
    // ":N"; also exported as DISPLAY for this process and every program it starts.
    [[nodiscard]] const std::string& displayName() const { return displayName_; }
    // The session's own connection, for test windows and checks.
    [[nodiscard]] Display* display() const { return display_; }
    [[nodiscard]] const Options& options() const { return options_; }

    // A top-level window with this WM_CLASS, mapped and managed by the window manager: framed,
    // with _NET_FRAME_EXTENTS set. Returns 0 when it was not managed in time.
    // beforeMap may set properties the window manager reads only when it takes the window on.
    Window createWindow(const std::string& instance, const std::string& windowClass, int x, int y,
                        int width, int height, long eventMask = 0,
                        const std::function<void(Window)>& beforeMap = {});
    // Asks the window manager to focus the window and waits until it is the active window.
    bool activate(Window window);
    // The _NET_ACTIVE_WINDOW property of the root, or 0.
    Window activeWindow();
    // The outer frame of a managed window: client geometry in root coordinates plus
    // _NET_FRAME_EXTENTS.
    bool outerFrame(Window window, Monitor& frame);

    // The window manager's process (to pause it as a hung window manager would be), or -1.
    [[nodiscard]] pid_t windowManager() const { return windowManager_; }

    // Makes another of the monitors the primary one (when split); false when xrandr failed.
    bool makePrimary(std::size_t index);

    // Polls cond until it holds or the timeout passes; pump runs between polls (for example to
    // let a Qt loop work). No fixed sleep: polls every millisecond at most.
    static bool waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout,
                          const std::function<void()>& pump = {});
    // Runs a program to completion with output discarded; its exit status, or -1 on failure or
    // when it did not finish within the timeout (it is then killed).
    static int run(const std::vector<std::string>& argv,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Starts a program with its output going to the descriptor given, else discarded; its
    // process id, or -1.
    static pid_t start(const std::vector<std::string>& argv, int output = -1);
    // Starts a program and waits for the first line it prints (an address, a display number);
    // that line without its newline, empty when the program ended first. It goes on running.
    static std::string startForLine(const std::vector<std::string>& argv, pid_t& pid);
    // Waits for a program started above to end within the timeout, pumping meanwhile: its exit
    // status (-1 when a signal ended it), pid then -1; nothing while it still runs.
    static std::optional<int> waitFor(pid_t& pid, std::chrono::milliseconds timeout,
                                      const std::function<void()>& pump = {});
    // Ends a program started above (TERM, then KILL) and reaps it; pid becomes -1.
    static void stop(pid_t& pid);

  private:
    bool fail(std::string why) {
        failure_ = std::move(why);
        return false;
    }
    bool startServer();
    bool splitMonitors(std::size_t primary = 0);
    bool startWindowManager();

    Options options_;
    std::string failure_;
    std::string displayName_;
    Display* display_ = nullptr;
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
};

}  // namespace ombrel::xsession
