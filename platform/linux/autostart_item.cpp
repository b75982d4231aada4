// "Open Ombrel at login": the XDG autostart entry of the program, read, written and removed.
#include "platform/linux/autostart_item.h"

#include <sstream>
#include <system_error>
#include <variant>

#include "config/xdg_dirs.h"
#include "platform/linux/desktop_entry.h"
#include "platform/posix/file_io.h"

namespace ombrel::linux_platform {

namespace fs = std::filesystem;

XdgAutostartItem::XdgAutostartItem(fs::path file, std::string executable)
    : file_(std::move(file)), executable_(std::move(executable)) {}

fs::path XdgAutostartItem::defaultFile() {
    return xdg::baseDirs().configHome / "autostart" / "ombrel.desktop";
}

namespace {
std::optional<std::string> readText(const fs::path& file) {
    auto bytes = file_io::readWhole(file);
    auto* text = std::get_if<std::string>(&bytes);
    return text != nullptr ? std::optional<std::string>(std::move(*text)) : std::nullopt;
}

// Present and not hidden; only the main group decides, a Hidden key elsewhere is an action's.
bool isOn(const std::optional<std::string>& text) {
    if (!text) {
        return false;
    }
    const auto entry = parseDesktopEntry(*text);
    return !(entry && entry->hidden);
}

// The Exec key's value that starts the executable with no arguments.
std::string execValue(const std::string& executable) {
    std::string exec = executable;
    if (exec.find_first_of(" \t\"'\\$`") != std::string::npos) {
        std::string quoted = "\"";
        // Quoting escapes with a backslash, and the key's value escapes that backslash again.
        for (char c : executable) {
            if (c == '\\') {
                quoted += R"(\\\\)";
            } else if (c == '"' || c == '`' || c == '$') {
                quoted += R"(\\)";
                quoted += c;
            } else {
                quoted += c;
            }
        }
        exec = quoted + "\"";
    }
    // A literal percent sign must be doubled in Exec.
    std::string escaped;
    for (char c : exec) {
        escaped += c;
        if (c == '%') {
            escaped += '%';
        }
    }
    return escaped;
}
}  // namespace

bool XdgAutostartItem::enabled() const {
    return isOn(readText(file_));
}

std::string XdgAutostartItem::entryText(const std::string& executable) {
    std::ostringstream out;
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Ombrel\n"
        << "Comment=Triggers for windows, apps and commands\n"
        << "Exec=" << execValue(executable) << "\n"
        << "Terminal=false\n"
        << "X-GNOME-Autostart-enabled=true\n";
    return out.str();
}

std::optional<std::string> XdgAutostartItem::setEnabled(bool on) {
    if (!on) {
        std::error_code ec;
        fs::remove(file_, ec);
        if (ec) {
            return ec.message();
        }
        return std::nullopt;
    }
    return write(entryText(executable_));
}

bool XdgAutostartItem::isInstalled(const fs::path& executable) {
    const fs::path bin = executable.parent_path();
    std::error_code ec;
    return bin.filename() == "bin" &&
           fs::is_regular_file(bin.parent_path() / "share" / "applications" / "ombrel.desktop", ec);
}

std::optional<std::string> XdgAutostartItem::retarget() {
    const auto text = readText(file_);
    if (!isOn(text)) {
        return std::nullopt;
    }
    const std::string updated = withEntryValue(*text, "Exec", execValue(executable_));
    return updated != *text ? write(updated) : std::nullopt;
}

std::optional<std::string> XdgAutostartItem::write(const std::string& text) const {
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    if (ec) {
        return ec.message();
    }
    // Never half an entry: the old one stays until the new one is complete.
    if (const auto replaced = file_io::replaceAtomically(file_, text); !replaced) {
        return replaced.error.message();
    }
    return std::nullopt;
}

}  // namespace ombrel::linux_platform
