// The desktop services the settings window uses when nobody supplies others.
#include "settings/desktop_services.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStringList>
#include <set>

#include "settings/app_catalog.h"

// Xlib last: its macros collide with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ombrel::desktop {

std::vector<std::string> runningApplicationIDs() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return clientWindowClasses(x11 ? x11->display() : nullptr);
}

std::vector<std::string> clientWindowClasses(Display* display) {
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
        if (XGetClassHint(display, windows[i], &hint) != 0) {
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
