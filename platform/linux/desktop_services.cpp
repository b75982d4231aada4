// What the settings window asks of the desktop.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QStringList>
#include <QUrl>

#include "platform/linux/desktop_services.h"

#include <unistd.h>

#include <algorithm>
#include <set>

#include "config/xdg_dirs.h"
#include "platform/linux/app_catalog.h"
#include "platform/linux/x_properties.h"

namespace ombrel::linux_platform {

namespace {

// A window people work in: typed normal, or untyped and not a dialog of another window.
bool normalApplicationWindow(Display* display, Window window, long ownProcess) {
    if (readLong(display, window, XInternAtom(display, "_NET_WM_PID", True)) == ownProcess) {
        return false;
    }
    const auto types =
        readLongs(display, window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", True));
    if (types && !types->empty()) {
        const auto normal =
            static_cast<long>(XInternAtom(display, "_NET_WM_WINDOW_TYPE_NORMAL", False));
        return std::find(types->begin(), types->end(), normal) != types->end();
    }
    Window owner = 0;
    return XGetTransientForHint(display, window, &owner) == 0;
}

}  // namespace

std::vector<std::string> clientWindowClasses(Display* display, long ownProcess) {
    if (display == nullptr) {
        return {};
    }
    const auto windows = readLongs(display, DefaultRootWindow(display),
                                   XInternAtom(display, "_NET_CLIENT_LIST", True), 4096);
    std::set<std::string> seen;
    std::vector<std::string> ids;
    for (const long w : windows.value_or(std::vector<long>{})) {
        const auto window = static_cast<Window>(w);
        if (!normalApplicationWindow(display, window, ownProcess)) {
            continue;
        }
        if (auto hint = readClassHint(display, window);
            hint && !hint->windowClass.empty() && seen.insert(hint->windowClass).second) {
            ids.push_back(std::move(hint->windowClass));
        }
    }
    return ids;
}

std::vector<std::string> runningApplications() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return clientWindowClasses(x11 ? x11->display() : nullptr, static_cast<long>(getpid()));
}

std::string applicationName(const std::string& identifier) {
    static const AppCatalog catalog(xdg::baseDirs().dataSearchPath());
    return catalog.displayName(identifier);
}

void showInFileManager(const std::filesystem::path& file) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                       "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()}
         << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return;
    }
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

}  // namespace ombrel::linux_platform
