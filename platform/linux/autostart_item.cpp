// "Open Ombrel at login": the XDG autostart entry of the program, read, written and removed.
#include "platform/linux/autostart_item.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace ombrel::linux_platform {

namespace fs = std::filesystem;

XdgAutostartItem::XdgAutostartItem(fs::path file, std::string executable)
    : file_(std::move(file)), executable_(std::move(executable)) {}

fs::path XdgAutostartItem::defaultFile() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = fs::path(home) / ".config";
    } else {
        base = fs::temp_directory_path();
    }
    return base / "autostart" / "ombrel.desktop";
}

namespace {
std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}
}  // namespace

bool XdgAutostartItem::enabled() const {
    std::ifstream in(file_);
    if (!in) {
        return false;
    }
    // Only the main group decides; a Hidden key elsewhere belongs to an action.
    bool inMain = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.starts_with('[')) {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (inMain && eq != std::string::npos && trimmed(line.substr(0, eq)) == "Hidden" &&
            trimmed(line.substr(eq + 1)) == "true") {
            return false;
        }
    }
    return true;
}

namespace {
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
    if (!enabled()) {
        return std::nullopt;
    }
    std::ifstream in(file_);
    const std::string wanted = "Exec=" + execValue(executable_);
    std::string text;
    bool inMain = false;
    bool changed = false;
    std::string line;
    while (std::getline(in, line)) {
        const std::string bare = trimmed(line);
        if (bare.starts_with('[')) {
            inMain = bare == "[Desktop Entry]";
        } else if (inMain && bare.starts_with("Exec") && trimmed(bare.substr(4)).starts_with('=') &&
                   bare != wanted) {
            line = wanted;
            changed = true;
        }
        text += line + "\n";
    }
    return changed ? write(text) : std::nullopt;
}

std::optional<std::string> XdgAutostartItem::write(const std::string& text) const {
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    if (ec) {
        return ec.message();
    }
    // Written beside the target and renamed, so a failed write never leaves half an entry.
    fs::path temp = file_;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) {
            return std::string("The autostart entry could not be written.");
        }
        out << text;
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temp, ec);
            return std::string("The autostart entry could not be written.");
        }
    }
    fs::rename(temp, file_, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return ec.message();
    }
    return std::nullopt;
}

}  // namespace ombrel::linux_platform
