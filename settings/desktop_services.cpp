// The desktop services the settings window uses when nobody supplies others.
#include "settings/desktop_services.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <set>

#include "settings/app_catalog.h"

// Xlib last: its macros collide with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

namespace ombrel::desktop {

std::vector<std::string> runningApplicationIDs() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return clientWindowClasses(x11 ? x11->display() : nullptr, static_cast<long>(getpid()));
}

namespace {

// The 32-bit items of a window property, or nothing when it is not set.
std::optional<std::vector<unsigned long>> property(Display* display, Window window, Atom name,
                                                   Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (name == 0 ||
        XGetWindowProperty(display, window, name, 0, 64, False, type, &actual, &format, &count,
                           &after, &data) != Success ||
        data == nullptr) {
        return std::nullopt;
    }
    std::vector<unsigned long> items;
    if (format == 32) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        items.assign(values, values + count);
    }
    XFree(data);
    return items;
}

// A window people work in: typed normal, or untyped and not a dialog of another window.
bool normalApplicationWindow(Display* display, Window window, long ownProcess) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (const auto pid = property(display, window, pidAtom, XA_CARDINAL);
        pid && !pid->empty() && static_cast<long>(pid->front()) == ownProcess) {
        return false;
    }
    const Atom typeAtom = XInternAtom(display, "_NET_WM_WINDOW_TYPE", True);
    const Atom normal = XInternAtom(display, "_NET_WM_WINDOW_TYPE_NORMAL", False);
    if (const auto types = property(display, window, typeAtom, XA_ATOM); types && !types->empty()) {
        return std::find(types->begin(), types->end(), normal) != types->end();
    }
    Window owner = 0;
    return XGetTransientForHint(display, window, &owner) == 0;
}

}  // namespace

std::vector<std::string> clientWindowClasses(Display* display, long ownProcess) {
    if (!display) {
        return {};
    }
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", True);
    if (clientList == 0) {
        return {};
    }
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), clientList, 0, 4096, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) != Success ||
        !data) {
        return {};
    }
    std::set<std::string> seen;
    std::vector<std::string> ids;
    const auto* windows = reinterpret_cast<const Window*>(data);
    for (unsigned long i = 0; i < count && format == 32; ++i) {
        XClassHint hint{};
        if (normalApplicationWindow(display, windows[i], ownProcess) &&
            XGetClassHint(display, windows[i], &hint) != 0) {
            if (hint.res_class && *hint.res_class && seen.insert(hint.res_class).second) {
                ids.emplace_back(hint.res_class);
            }
            if (hint.res_name) {
                XFree(hint.res_name);
            }
            if (hint.res_class) {
                XFree(hint.res_class);
            }
        }
    }
    XFree(data);
    return ids;
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

void openUrlIfHandled(const QUrl& url) {
    if (url.scheme().isEmpty()) {
        return;
    }
    QProcess query;
    query.start("xdg-mime", {"query", "default", "x-scheme-handler/" + url.scheme()});
    if (!query.waitForFinished(1500) || query.exitCode() != 0 ||
        query.readAllStandardOutput().trimmed().isEmpty()) {
        return;
    }
    QDesktopServices::openUrl(url);
}

std::string applicationName(const std::string& identifier) {
    static const AppCatalog catalog(AppCatalog::defaultDataDirs());
    return catalog.displayName(identifier);
}

}  // namespace ombrel::desktop
