// The login item on a freedesktop desktop: the program's entry in the XDG autostart folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/login_item.h"

namespace ombrel::linux_platform {

// A desktop file in the autostart folder: present and not hidden means on.
class XdgAutostartItem final : public LoginItem {
  public:
    XdgAutostartItem(std::filesystem::path file, std::string executable);

    // $XDG_CONFIG_HOME/autostart/ombrel.desktop, else ~/.config/autostart/ombrel.desktop.
    static std::filesystem::path defaultFile();

    [[nodiscard]] bool enabled() const override;
    std::optional<std::string> setEnabled(bool on) override;

    // The entry written for the executable, its path quoted for the Exec key where needed.
    static std::string entryText(const std::string& executable);

    // Whether the executable is an installed one, <prefix>/bin/ombrel beside
    // <prefix>/share/applications/ombrel.desktop, rather than one in a build folder.
    static bool isInstalled(const std::filesystem::path& executable);

    // An entry that is on but starts another program (one left from a build folder) is pointed at
    // this executable; its other lines stay. Answers the error's text when that failed.
    std::optional<std::string> retarget();

  private:
    std::optional<std::string> write(const std::string& text) const;

    std::filesystem::path file_;
    std::string executable_;
};

}  // namespace ombrel::linux_platform
