// Asks the lockers of the common desktops in turn, each call bounded by a short timeout.
#include "platform/linux/screen_locker.h"

#include <unistd.h>
#include <QDBusObjectPath>
#include <QObject>
#include <QProcess>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>

#include "platform/linux/dbus_calls.h"
#include "platform/linux/detached_process.h"

namespace ombrel::linux_platform {

namespace {

// Programs that lock when logind asks the session to (process names as the kernel keeps them,
// at most 15 characters).
constexpr std::array<std::string_view, 8> logindListeners = {
    "xss-lock",        "light-locker",    "xfce4-screensav", "gnome-screensav",
    "cinnamon-screen", "mate-screensave", "systemd-lock-ha", "ksmserver",
};

const QString login1 = QStringLiteral("org.freedesktop.login1");

}  // namespace

struct ScreenLocker::Parts {
    explicit Parts(const BusNames& buses)
        : session(sessionBus(buses.session)), system(systemBus(buses.system)) {}
    QDBusConnection session;
    QDBusConnection system;
    std::list<std::unique_ptr<QProcess>> running;
    // Goes first, so processes still running when the locker ends answer nobody.
    QObject context;
};

ScreenLocker::ScreenLocker(const BusNames& buses) : parts_(std::make_unique<Parts>(buses)) {}

ScreenLocker::~ScreenLocker() = default;

bool ScreenLocker::logindListenerRunning(std::string_view procFolder) {
    std::error_code error;
    const uid_t me = getuid();
    for (const auto& entry : std::filesystem::directory_iterator(procFolder, error)) {
        std::ifstream in(entry.path() / "comm");
        std::string name;
        if (!std::getline(in, name)) {
            continue;
        }
        const bool listener = std::find(logindListeners.begin(), logindListeners.end(), name) !=
                              logindListeners.end();
        struct stat st {};
        if (listener && stat(entry.path().c_str(), &st) == 0 && st.st_uid == me) {
            return true;
        }
    }
    return false;
}

bool ScreenLocker::askScreensavers() {
    // KDE and Xfce answer the freedesktop name (KDE on either path), GNOME Shell its own.
    const std::array<std::array<const char*, 3>, 3> lockers = {{
        {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
         "org.freedesktop.ScreenSaver"},
        {"org.freedesktop.ScreenSaver", "/ScreenSaver", "org.freedesktop.ScreenSaver"},
        {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
    }};
    for (const auto& [service, path, interface] : lockers) {
        const QString name = QString::fromLatin1(service);
        if (!hasOwner(parts_->session, name)) {
            continue;
        }
        const QDBusMessage call =
            QDBusMessage::createMethodCall(name, QString::fromLatin1(path),
                                           QString::fromLatin1(interface), QStringLiteral("Lock"));
        if (answered(callShort(parts_->session, call))) {
            return true;
        }
    }
    return false;
}

bool ScreenLocker::askLogind() {
    if (!logindListenerRunning() || !hasOwner(parts_->system, login1)) {
        return false;
    }
    QDBusMessage find = QDBusMessage::createMethodCall(
        login1, QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetSessionByPID"));
    find << static_cast<uint>(getpid());
    QDBusMessage reply = callShort(parts_->system, find);
    if (!answered(reply) || reply.arguments().isEmpty()) {
        // A program started outside the session (a service) still belongs to the user's one.
        const char* id = std::getenv("XDG_SESSION_ID");
        if (id == nullptr) {
            return false;
        }
        find = QDBusMessage::createMethodCall(login1, QStringLiteral("/org/freedesktop/login1"),
                                              QStringLiteral("org.freedesktop.login1.Manager"),
                                              QStringLiteral("GetSession"));
        find << QString::fromLocal8Bit(id);
        reply = callShort(parts_->system, find);
        if (!answered(reply) || reply.arguments().isEmpty()) {
            return false;
        }
    }
    const QString path = reply.arguments().front().value<QDBusObjectPath>().path();
    const QDBusMessage lock = QDBusMessage::createMethodCall(
        login1, path, QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Lock"));
    return !path.isEmpty() && answered(callShort(parts_->system, lock));
}

void ScreenLocker::lock(const DesktopShell::LockDone& done) {
    if (askScreensavers() || askLogind()) {
        done(true);
        return;
    }
    const auto tool = findExecutable("xdg-screensaver");
    if (!tool) {
        done(false);
        return;
    }
    // It finds the desktop's locker by itself and says by its status whether one locked; the
    // main thread does not wait for it.
    auto& process = parts_->running.emplace_back(std::make_unique<QProcess>());
    QProcess* p = process.get();
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    auto finish = [this, p, done](bool locked) {
        done(locked);
        auto it = std::find_if(parts_->running.begin(), parts_->running.end(),
                               [p](const auto& q) { return q.get() == p; });
        if (it != parts_->running.end()) {
            it->release()->deleteLater();  // not from inside its own signal
            parts_->running.erase(it);
        }
    };
    QObject::connect(p, &QProcess::finished, &parts_->context,
                     [finish](int code, QProcess::ExitStatus status) {
                         finish(status == QProcess::NormalExit && code == 0);
                     });
    QObject::connect(p, &QProcess::errorOccurred, &parts_->context,
                     [finish](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             finish(false);
                         }
                     });
    p->start(QString::fromStdString(*tool), {QStringLiteral("lock")});
}

}  // namespace ombrel::linux_platform
