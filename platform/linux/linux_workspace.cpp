// Opens applications and URLs, starts programs and asks the desktop for its overviews.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QUrl>

#include "platform/linux/linux_workspace.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/linux/desktop_entry.h"
#include "platform/linux/detached_process.h"
#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {

namespace {

constexpr std::size_t maxDesktopFileSize = 1 << 20;

bool endsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix.data(), suffix.size()) == 0;
}

std::optional<std::string> readSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text;
    text.resize(maxDesktopFileSize + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    if (n > maxDesktopFileSize) {
        return std::nullopt;
    }
    text.resize(n);
    return text;
}

}  // namespace

LinuxWorkspace::LinuxWorkspace(XConnection& connection) : x_(connection) {}

std::optional<std::string> LinuxWorkspace::frontmostApplicationID() {
    if (!x_.connected()) {
        return std::nullopt;
    }
    const auto active = readLong(x_.display(), x_.root(), x_.atom("_NET_ACTIVE_WINDOW"));
    if (!active || *active == 0) {
        return std::nullopt;
    }
    XConnection::ErrorTrap trap(x_);
    auto id = readClass(x_.display(), static_cast<Window>(*active));
    if (trap.failed()) {
        return std::nullopt;
    }
    return id;
}

void LinuxWorkspace::openApplication(const std::string& path) {
    if (endsWith(path, ".desktop")) {
        const auto text = readSmallFile(path);
        if (!text) {
            return;
        }
        const auto command = execCommand(*text);
        if (!command) {
            return;
        }
        startDetached(command->front(),
                      std::vector<std::string>(std::next(command->begin()), command->end()));
        return;
    }
    startDetached(path, {});
}

bool LinuxWorkspace::openURL(const std::string& text) {
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return false;
    }
    // The encoded form cannot start an option of xdg-open, nor hold a space or a newline.
    const std::string encoded = url.toString(QUrl::FullyEncoded).toStdString();
    if (encoded.empty() || encoded.front() == '-') {
        return false;
    }
    startDetached("xdg-open", {encoded});
    return true;
}

void LinuxWorkspace::launchProcess(const std::string& executable,
                                   const std::vector<std::string>& arguments) {
    startDetached(executable, arguments);
}

LinuxDesktopShell::LinuxDesktopShell(XConnection& connection) : x_(connection) {}

bool LinuxDesktopShell::send(Request request) {
    if (request == Request::showDesktop) {
        return toggleShowingDesktop();
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return false;
    }
    auto registered = [&](const char* name) {
        const auto reply = bus.interface()->isServiceRegistered(QString::fromLatin1(name));
        return reply.isValid() && reply.value();
    };
    if (registered("org.kde.KWin") && registered("org.kde.kglobalaccel")) {
        // KWin's own shortcuts: the overview of all windows, and the windows of the active
        // window's application.
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/kwin"),
            QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("invokeShortcut"));
        call << (request == Request::missionControl ? QStringLiteral("Overview")
                                                    : QStringLiteral("ExposeClass"));
        return bus.send(call);
    }
    if (registered("org.gnome.Shell") && request == Request::missionControl) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        call << QStringLiteral("org.gnome.Shell") << QStringLiteral("OverviewActive")
             << QVariant::fromValue(QDBusVariant(true));
        return bus.send(call);
    }
    return false;
}

bool LinuxDesktopShell::toggleShowingDesktop() {
    if (!x_.connected()) {
        return false;
    }
    Display* d = x_.display();
    const Atom showing = x_.atom("_NET_SHOWING_DESKTOP");
    const auto supported = readLongs(d, x_.root(), x_.atom("_NET_SUPPORTED"), 1024);
    if (!supported || std::find(supported->begin(), supported->end(), static_cast<long>(showing)) ==
                          supported->end()) {
        return false;
    }
    const bool shown = readLong(d, x_.root(), showing).value_or(0) != 0;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = x_.root();
    e.xclient.message_type = showing;
    e.xclient.format = 32;
    e.xclient.data.l[0] = shown ? 0 : 1;
    XSendEvent(d, x_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d);
    return true;
}

SystemPrograms linuxPrograms() {
    SystemPrograms p;
    p.shell = "/bin/sh";
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_shell != nullptr &&
                                                 user->pw_shell[0] == '/' &&
                                                 access(user->pw_shell, X_OK) == 0) {
        p.shell = user->pw_shell;
    }
    p.shellArguments = {"-lc"};
    p.lockScreen = Command{"/bin/sh", {"-c", "loginctl lock-session || xdg-screensaver lock"}};
    p.sleepDisplay = Command{"xset", {"dpms", "force", "off"}};
    return p;
}

}  // namespace ombrel::linux_platform
