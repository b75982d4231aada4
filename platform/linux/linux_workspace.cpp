// Opens applications and URLs, starts programs and asks the desktop session for its services.
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QObject>
#include <QUrl>
#include <QVariantMap>

#include "platform/linux/dbus_calls.h"
#include "platform/linux/linux_workspace.h"

#include <X11/Xatom.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "platform/linux/detached_process.h"
#include "platform/linux/pulse_volume.h"

namespace ombrel::linux_platform {

namespace {

bool endsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix.data(), suffix.size()) == 0;
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// A value in a startup-notification message: quoted, with quotes and backslashes escaped.
std::string quotedValue(std::string_view value) {
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// The focus request of a pager or tool, which window managers honour.
constexpr long sourceTool = 2;

// An application started over D-Bus may take this long to come up and answer.
constexpr int activationTimeoutMs = 25000;

}  // namespace

bool belongsToEntry(const ClassHint& hint, const std::string& startupWMClass,
                    const std::string& desktopId) {
    if (!startupWMClass.empty()) {
        return hint.windowClass == startupWMClass || hint.instance == startupWMClass;
    }
    const std::string id = lower(desktopId);
    const std::size_t dot = id.rfind('.');
    const std::string last = dot == std::string::npos ? id : id.substr(dot + 1);
    for (const std::string& part : {lower(hint.windowClass), lower(hint.instance)}) {
        if (!part.empty() && (part == id || part == last)) {
            return true;
        }
    }
    return false;
}

LinuxWorkspace::LinuxWorkspace(XConnection& connection, BusNames buses)
    : x_(connection), buses_(std::move(buses)), context_(std::make_unique<QObject>()) {
    activeAtom_ = x_.atom("_NET_ACTIVE_WINDOW");
    x_.addConnectedListener([this] {
        own_ = None;
        front_.reset();
        activeAtom_ = x_.atom("_NET_ACTIVE_WINDOW");
    });
    // The window manager announces every change of the active window on the root: the
    // frontmost application is read again only after one.
    x_.selectRootInput(PropertyChangeMask);
    x_.addListener([this](XEvent& e) {
        if (e.type == PropertyNotify && e.xproperty.window == x_.root() &&
            e.xproperty.atom == activeAtom_) {
            front_.reset();
        }
    });
}

LinuxWorkspace::~LinuxWorkspace() {
    if (own_ != None && x_.connected()) {
        XDestroyWindow(x_.display(), own_);
    }
}

std::optional<std::string> LinuxWorkspace::frontmostApplicationID() {
    if (!x_.connected()) {
        return std::nullopt;
    }
    if (!front_) {
        front_ = readFrontmost();
    }
    return *front_;
}

std::optional<std::string> LinuxWorkspace::readFrontmost() {
    const auto active = readLong(x_.display(), x_.root(), activeAtom_);
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
    if (!endsWith(path, ".desktop")) {
        startDetached(path, {});
        return;
    }
    const auto entry = readDesktopEntry(path);
    if (!entry || !entry->startable()) {
        return;
    }
    // The desktop file id: its name without the extension.
    std::string id = path.substr(path.rfind('/') + 1);
    id.resize(id.size() - std::strlen(".desktop"));
    if (!activateRunning(*entry, id)) {
        launch(*entry, id);
    }
}

bool LinuxWorkspace::activateRunning(const DesktopEntry& entry, const std::string& id) {
    if (!x_.connected()) {
        return false;
    }
    Display* d = x_.display();
    auto clients = readLongs(d, x_.root(), x_.atom("_NET_CLIENT_LIST_STACKING"), 4096);
    if (!clients) {
        clients = readLongs(d, x_.root(), x_.atom("_NET_CLIENT_LIST"), 4096);
    }
    if (!clients) {
        return false;
    }
    XConnection::ErrorTrap trap(x_);
    Window found = None;
    // The topmost window of the application is the one the user saw last.
    for (auto it = clients->rbegin(); it != clients->rend() && found == None; ++it) {
        const auto hint = readClassHint(d, static_cast<Window>(*it));
        if (hint && belongsToEntry(*hint, entry.startupWMClass, id)) {
            found = static_cast<Window>(*it);
        }
    }
    if (trap.failed() || found == None) {
        return false;
    }
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = found;
    e.xclient.message_type = x_.atom("_NET_ACTIVE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = sourceTool;
    e.xclient.data.l[1] = static_cast<long>(serverTime());
    e.xclient.data.l[2] = readLong(d, x_.root(), x_.atom("_NET_ACTIVE_WINDOW")).value_or(0);
    XSendEvent(d, x_.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d);
    return true;
}

void LinuxWorkspace::launch(const DesktopEntry& entry, const std::string& id) {
    // The id carries the time of the user's request, so the window manager gives the new
    // window the focus (focus-stealing prevention lets through only what the user asked for).
    const Time time = serverTime();
    const std::string startupId = "ombrel-" + std::to_string(getpid()) + "-" +
                                  std::to_string(++launches_) + "_TIME" + std::to_string(time);
    if (entry.startupNotify) {
        announceStartup(entry, startupId, time);
    }
    const QDBusConnection bus = sessionBus(buses_.session);
    if (!entry.dbusActivatable || !bus.isConnected()) {
        launchExec(entry, startupId);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromStdString(id), QString::fromStdString(applicationObjectPath(id)),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
    call << QVariantMap{{QStringLiteral("desktop-startup-id"), QString::fromStdString(startupId)}};
    // Nothing waits for the application to come up; should it not answer, its Exec line runs.
    auto& watcher = pending_.emplace_back(
        std::make_unique<QDBusPendingCallWatcher>(bus.asyncCall(call, activationTimeoutMs)));
    auto* w = static_cast<QDBusPendingCallWatcher*>(watcher.get());
    QObject::connect(w, &QDBusPendingCallWatcher::finished, context_.get(),
                     [this, w, entry, startupId] {
                         if (w->isError() && !entry.exec.empty()) {
                             launchExec(entry, startupId);
                         }
                         auto it = std::find_if(pending_.begin(), pending_.end(),
                                                [w](const auto& p) { return p.get() == w; });
                         if (it != pending_.end()) {
                             it->release()->deleteLater();  // not from inside its own signal
                             pending_.erase(it);
                         }
                     });
}

void LinuxWorkspace::launchExec(const DesktopEntry& entry, const std::string& startupId) {
    if (entry.exec.empty()) {
        return;
    }
    std::vector<std::string> command = entry.exec;
    if (entry.terminal) {
        // Debian's terminal alternative takes the command after -e, as xterm does.
        const std::string terminal =
            findExecutable("x-terminal-emulator") ? "x-terminal-emulator" : "xterm";
        command.insert(command.begin(), {terminal, "-e"});
    }
    LaunchOptions options;
    options.workingDirectory = entry.path;
    options.environment = {"DESKTOP_STARTUP_ID=" + startupId};
    startDetached(command.front(),
                  std::vector<std::string>(std::next(command.begin()), command.end()), options);
}

Time LinuxWorkspace::serverTime() {
    if (!x_.connected()) {
        return CurrentTime;
    }
    Display* d = x_.display();
    if (own_ == None) {
        XSetWindowAttributes attributes{};
        attributes.event_mask = PropertyChangeMask;
        own_ = XCreateWindow(d, x_.root(), -1, -1, 1, 1, 0, CopyFromParent, InputOnly,
                             CopyFromParent, CWEventMask, &attributes);
    }
    // An empty append changes nothing but is answered with a property notice that carries the
    // server's time; it is in the queue once the round trip is over.
    XChangeProperty(d, own_, x_.atom("_OMBREL_TIME"), XA_STRING, 8, PropModeAppend, nullptr, 0);
    XSync(d, False);
    XEvent e;
    Time time = CurrentTime;
    while (XCheckTypedWindowEvent(d, own_, PropertyNotify, &e)) {
        time = e.xproperty.time;
    }
    return time;
}

void LinuxWorkspace::announceStartup(const DesktopEntry& entry, const std::string& startupId,
                                     Time time) {
    if (!x_.connected() || own_ == None || entry.exec.empty()) {
        return;
    }
    Display* d = x_.display();
    // The startup-notification message, in 20-byte client messages to the root window.
    std::string message =
        "new: ID=" + quotedValue(startupId) +
        " NAME=" + quotedValue(entry.name.empty() ? entry.exec.front() : entry.name) +
        " SCREEN=" + std::to_string(DefaultScreen(d)) + " BIN=" + quotedValue(entry.exec.front()) +
        " TIMESTAMP=" + std::to_string(time);
    message.push_back('\0');
    const Atom begin = x_.atom("_NET_STARTUP_INFO_BEGIN");
    const Atom more = x_.atom("_NET_STARTUP_INFO");
    for (std::size_t at = 0; at < message.size(); at += 20) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = own_;
        e.xclient.message_type = at == 0 ? begin : more;
        e.xclient.format = 8;
        const std::size_t n = std::min<std::size_t>(20, message.size() - at);
        std::memcpy(e.xclient.data.b, message.data() + at, n);
        XSendEvent(d, x_.root(), False, PropertyChangeMask, &e);
    }
    XFlush(d);
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

LinuxDesktopShell::LinuxDesktopShell(XConnection& connection, TaskQueue& queue, BusNames buses)
    : x_(connection),
      buses_(std::move(buses)),
      players_(buses_.session),
      locker_(buses_),
      sleep_(connection, queue) {}

bool LinuxDesktopShell::send(Request request) {
    if (request == Request::showDesktop) {
        return toggleShowingDesktop();
    }
    const QDBusConnection bus = sessionBus(buses_.session);
    if (hasOwner(bus, QStringLiteral("org.kde.KWin")) &&
        hasOwner(bus, QStringLiteral("org.kde.kglobalaccel"))) {
        // KWin's own shortcuts: the overview of all windows, and the windows of the active
        // window's application.
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/kwin"),
            QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("invokeShortcut"));
        call << (request == Request::missionControl ? QStringLiteral("Overview")
                                                    : QStringLiteral("ExposeClass"));
        return answered(callShort(bus, call));
    }
    const QString shell = QStringLiteral("org.gnome.Shell");
    const QString path = QStringLiteral("/org/gnome/Shell");
    if (hasOwner(bus, shell)) {
        // GNOME Shell's overview shows every window and the application's alike; the key that
        // opened it closes it again.
        const auto active = property(bus, shell, path, shell, QStringLiteral("OverviewActive"));
        if (!active) {
            return false;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            shell, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        call << shell << QStringLiteral("OverviewActive")
             << QVariant::fromValue(QDBusVariant(!active->toBool()));
        return answered(callShort(bus, call));
    }
    return false;
}

bool LinuxDesktopShell::controlPlayer(Player command) {
    return players_.send(command);
}

bool LinuxDesktopShell::changeVolume(Volume change) {
    return linux_platform::changeVolume(change);
}

bool LinuxDesktopShell::lockScreen(const LockDone& done) {
    locker_.lock(done);
    return true;
}

bool LinuxDesktopShell::sleepDisplay() {
    return sleep_.sleep();
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
    // The desktop shell locks (and says when nothing could); no program stands in for it.
    p.lockScreen = std::nullopt;
    p.sleepDisplay = Command{"xset", {"dpms", "force", "off"}};
    return p;
}

}  // namespace ombrel::linux_platform
