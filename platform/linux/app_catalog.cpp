// Names of applications from their desktop entries.
#include "platform/linux/app_catalog.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "platform/linux/desktop_entry.h"

namespace ombrel::linux_platform {

namespace fs = std::filesystem;

namespace {
std::string lower(std::string s) {
    std::ranges::transform(s, s.begin(), [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return s;
}
}  // namespace

AppCatalog::AppCatalog(const std::vector<fs::path>& dataDirs) {
    // The same file name in an earlier folder hides the later one, as desktops do.
    std::set<std::string> seen;
    for (const auto& dir : dataDirs) {
        std::error_code ec;
        std::vector<fs::path> files;
        for (fs::recursive_directory_iterator it(dir / "applications", ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->path().extension() == ".desktop") {
                files.push_back(it->path());
            }
        }
        std::ranges::sort(files);
        for (const auto& file : files) {
            if (!seen.insert(file.filename().string()).second) {
                continue;
            }
            if (auto entry = readDesktopEntry(file); entry && !entry->name.empty()) {
                entries_.push_back({file.stem().string(), std::move(entry->startupWMClass),
                                    std::move(entry->name)});
            }
        }
    }
}

std::optional<std::string> AppCatalog::nameFor(const std::string& identifier) const {
    if (identifier.empty()) {
        return std::nullopt;
    }
    const std::string id = lower(identifier);
    for (const Entry& e : entries_) {
        if (!e.wmClass.empty() && lower(e.wmClass) == id) {
            return e.name;
        }
    }
    for (const Entry& e : entries_) {
        if (lower(e.file) == id) {
            return e.name;
        }
    }
    return std::nullopt;
}

}  // namespace ombrel::linux_platform
