// The desktop's application services on Linux: the active window's application, launching
// desktop entries like a launcher, executables and URLs, and the desktop session's services for
// the system functions (overviews, media, volume, lock, display sleep).
#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "platform/linux/bus_names.h"
#include "platform/linux/desktop_entry.h"
#include "platform/linux/display_sleep.h"
#include "platform/linux/mpris_players.h"
#include "platform/linux/screen_locker.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_properties.h"
#include "platform/task_queue.h"
#include "platform/workspace.h"

class QObject;

namespace ombrel::linux_platform {

// Whether a window with this WM_CLASS belongs to the application of a desktop entry: by its
// StartupWMClass when it names one, else by the desktop file's name (its last dotted part too).
bool belongsToEntry(const ClassHint& hint, const std::string& startupWMClass,
                    const std::string& desktopId);

class LinuxWorkspace : public Workspace {
  public:
    explicit LinuxWorkspace(XConnection& connection, BusNames buses = {});
    ~LinuxWorkspace() override;
    LinuxWorkspace(const LinuxWorkspace&) = delete;
    LinuxWorkspace& operator=(const LinuxWorkspace&) = delete;

    // The WM_CLASS class of the active window, read again only after the active window changed.
    std::optional<std::string> frontmostApplicationID() override;
    // A .desktop file: its running application is brought forward, else it is started (in a
    // terminal, in its folder, or over D-Bus, as it says). Any other path is run as a program.
    void openApplication(const std::string& path) override;
    // Hands a URL with a scheme to xdg-open.
    bool openURL(const std::string& text) override;
    void launchProcess(const std::string& executable,
                       const std::vector<std::string>& arguments) override;

  private:
    [[nodiscard]] std::optional<std::string> readFrontmost();
    bool activateRunning(const DesktopEntry& entry, const std::string& id);
    void launch(const DesktopEntry& entry, const std::string& id);
    void launchExec(const DesktopEntry& entry, const std::string& startupId);
    // The X server's time now: what the window manager weighs focus requests by.
    Time serverTime();
    void announceStartup(const DesktopEntry& entry, const std::string& startupId, Time time);

    XConnection& x_;
    BusNames buses_;
    Window own_ = None;  // an unmapped window of ours, for the time and startup messages
    // The frontmost application as last read; empty until read and after every change.
    std::optional<std::optional<std::string>> front_;
    Atom activeAtom_ = None;
    uint64_t launches_ = 0;
    std::list<std::unique_ptr<QObject>> pending_;  // D-Bus activations not answered yet
    std::unique_ptr<QObject> context_;
};

// Show desktop through the window manager; the overviews through KWin or GNOME Shell, media
// through the players, volume through the sound server, locking through the session's lockers
// and display sleep through DPMS.
class LinuxDesktopShell : public DesktopShell {
  public:
    LinuxDesktopShell(XConnection& connection, TaskQueue& queue, BusNames buses = {});
    bool send(Request request) override;
    bool controlPlayer(Player command) override;
    bool changeVolume(Volume change) override;
    bool lockScreen(const LockDone& done) override;
    bool sleepDisplay() override;

  private:
    bool toggleShowingDesktop();
    XConnection& x_;
    BusNames buses_;
    MprisPlayers players_;
    ScreenLocker locker_;
    DisplaySleep sleep_;
};

// The user's login shell with -lc for shell commands, xset to blank where DPMS cannot be asked.
SystemPrograms linuxPrograms();

}  // namespace ombrel::linux_platform
