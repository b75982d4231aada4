// The desktop's application services on Linux: the active window's application, launching
// desktop entries, executables and URLs, the desktop shell's window overviews, and which system
// programs stand for lock screen and display sleep.
#pragma once

#include "platform/linux/x_connection.h"
#include "platform/workspace.h"

namespace ombrel::linux_platform {

class LinuxWorkspace : public Workspace {
  public:
    explicit LinuxWorkspace(XConnection& connection);

    // The WM_CLASS class of the active window.
    std::optional<std::string> frontmostApplicationID() override;
    // A .desktop file (started from its Exec line, no shell) or an executable file.
    void openApplication(const std::string& path) override;
    // Hands a URL with a scheme to xdg-open.
    bool openURL(const std::string& text) override;
    void launchProcess(const std::string& executable,
                       const std::vector<std::string>& arguments) override;

  private:
    XConnection& x_;
};

// Show desktop through the window manager; the overviews through KWin or GNOME Shell on the
// session bus when one of them runs.
class LinuxDesktopShell : public DesktopShell {
  public:
    explicit LinuxDesktopShell(XConnection& connection);
    bool send(Request request) override;

  private:
    bool toggleShowingDesktop();
    XConnection& x_;
};

// The user's login shell with -lc, loginctl or xdg-screensaver to lock, xset to blank.
SystemPrograms linuxPrograms();

}  // namespace ombrel::linux_platform
