// Names of applications from their desktop entries, found by the identifier that the window
// system gives a running application (its WM_CLASS class).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrel::linux_platform {

class AppCatalog {
  public:
    // Reads the "applications" folders under the given data folders, earlier folders first.
    explicit AppCatalog(const std::vector<std::filesystem::path>& dataDirs);

    // The entry's name whose StartupWMClass or file name matches the identifier, ignoring case;
    // nothing when no entry matches.
    [[nodiscard]] std::optional<std::string> nameFor(const std::string& identifier) const;
    // The name, or the identifier itself.
    [[nodiscard]] std::string displayName(const std::string& identifier) const {
        return nameFor(identifier).value_or(identifier);
    }

  private:
    struct Entry {
        std::string file;     // file name without ".desktop"
        std::string wmClass;  // StartupWMClass, may be empty
        std::string name;     // Name
    };
    std::vector<Entry> entries_;
};

}  // namespace ombrel::linux_platform
