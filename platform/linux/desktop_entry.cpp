// Reads desktop entries by the desktop-entry rules for groups, escapes, quoting and field codes.
#include "platform/linux/desktop_entry.h"

#include <variant>

#include "platform/posix/file_io.h"

namespace ombrel::linux_platform {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

// Calls each(raw, key, value) for every key line of the [Desktop Entry] group and each(raw, {}, {})
// for every other line, raw with its line end, key and value trimmed and value still escaped.
// Answers whether the file has that group.
template <class Each>
bool forEachLine(std::string_view text, Each&& each) {
    bool inEntry = false;
    bool seenEntry = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = end == std::string_view::npos ? text : text.substr(0, end + 1);
        text.remove_prefix(raw.size());
        const std::string_view line = trim(raw);
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            seenEntry |= inEntry;
        }
        const std::size_t eq = line.find('=');
        if (!inEntry || line.starts_with('#') || eq == std::string_view::npos) {
            each(raw, std::string_view(), std::string_view());
            continue;
        }
        each(raw, trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return seenEntry;
}

// The escapes of a string value: \s \n \t \r \\ (others are kept as written, backslash and all,
// for the quoting rules to see).
std::string unescapeValue(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out.push_back(v[i]);
            continue;
        }
        const char next = v[i + 1];
        switch (next) {
            case 's':
                out.push_back(' ');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case '\\':
                out.push_back('\\');
                break;
            default:
                out.push_back('\\');
                out.push_back(next);
                break;
        }
        ++i;
    }
    return out;
}

// Removes field codes from an unquoted argument and turns %% into %; hadCode says whether a
// code was removed. Nothing for a lone % at the end, which is not valid.
std::optional<std::string> dropFieldCodes(const std::string& arg, bool& hadCode) {
    std::string out;
    hadCode = false;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] != '%') {
            out.push_back(arg[i]);
            continue;
        }
        if (i + 1 == arg.size()) {
            return std::nullopt;
        }
        if (arg[++i] == '%') {
            out.push_back('%');
        } else {
            hadCode = true;  // %f %F %u %U %i %c %k and the deprecated ones: nothing to fill in
        }
    }
    return out;
}

}  // namespace

std::optional<std::vector<std::string>> splitExec(std::string_view exec) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    bool quotedArg = false;
    auto finish = [&]() -> bool {
        if (!inArg) {
            return true;
        }
        if (quotedArg) {
            // Quoted arguments are taken literally: field codes are not expanded inside them.
            args.push_back(current);
        } else {
            bool hadCode = false;
            auto cleaned = dropFieldCodes(current, hadCode);
            if (!cleaned) {
                return false;
            }
            // An argument that was nothing but field codes goes away entirely.
            if (!(hadCode && cleaned->empty())) {
                args.push_back(*cleaned);
            }
        }
        current.clear();
        inArg = false;
        quotedArg = false;
        return true;
    };
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (!finish()) {
                return std::nullopt;
            }
            continue;
        }
        if (c == '"') {
            inArg = true;
            quotedArg = true;
            bool closed = false;
            for (++i; i < exec.size(); ++i) {
                const char q = exec[i];
                if (q == '\\' && i + 1 < exec.size() &&
                    (exec[i + 1] == '"' || exec[i + 1] == '`' || exec[i + 1] == '$' ||
                     exec[i + 1] == '\\')) {
                    current.push_back(exec[++i]);
                } else if (q == '"') {
                    closed = true;
                    break;
                } else {
                    current.push_back(q);
                }
            }
            if (!closed) {
                return std::nullopt;
            }
            continue;
        }
        inArg = true;
        current.push_back(c);
    }
    if (!finish() || args.empty() || args.front().empty()) {
        return std::nullopt;
    }
    return args;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
    DesktopEntry entry;
    const bool seenEntry = forEachLine(
        text, [&entry](std::string_view, std::string_view key, std::string_view escaped) {
            const std::string value = unescapeValue(escaped);
            if (key == "Exec") {
                entry.exec = splitExec(value).value_or(std::vector<std::string>{});
            } else if (key == "Terminal") {
                entry.terminal = value == "true";
            } else if (key == "Path") {
                entry.path = value;
            } else if (key == "DBusActivatable") {
                entry.dbusActivatable = value == "true";
            } else if (key == "StartupNotify") {
                entry.startupNotify = value == "true";
            } else if (key == "StartupWMClass") {
                entry.startupWMClass = value;
            } else if (key == "Name") {
                entry.name = value;
            } else if (key == "Hidden") {
                entry.hidden = value == "true";
            }
        });
    if (!seenEntry) {
        return std::nullopt;
    }
    return entry;
}

std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file) {
    const auto bytes = file_io::readWhole(file, std::size_t{1} << 20);
    if (const auto* text = std::get_if<std::string>(&bytes)) {
        return parseDesktopEntry(*text);
    }
    return std::nullopt;
}

std::string withEntryValue(std::string_view text, std::string_view key, std::string_view value) {
    std::string out;
    out.reserve(text.size());
    forEachLine(text, [&](std::string_view raw, std::string_view k, std::string_view v) {
        if (k != key || v == value) {
            out += raw;
            return;
        }
        out.append(key).append("=").append(value);
        if (raw.ends_with('\n')) {
            out += '\n';
        }
    });
    return out;
}

std::string applicationObjectPath(std::string_view id) {
    std::string path = "/";
    for (const char c : id) {
        path.push_back(c == '.' ? '/' : c == '-' ? '_' : c);
    }
    return path;
}

}  // namespace ombrel::linux_platform
