// Window set-up and X11 facts shared by the stroke and snap overlay windows.
#include "platform/linux/overlays/overlay_window.h"

#include <QGuiApplication>
#include <QWidget>
#include <string>

// Xlib last: its macros (None, Bool, Status) collide with Qt names.
#include <X11/Xlib.h>

namespace ombrel {

bool compositorRunning() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr) {
        return false;
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.c_str(), False);
    return selection != 0 && XGetSelectionOwner(display, selection) != 0;
}

void makeOverlayWindow(QWidget& widget) {
    widget.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                          Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput |
                          Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint);
    widget.setAttribute(Qt::WA_TranslucentBackground);
    widget.setAttribute(Qt::WA_ShowWithoutActivating);
    widget.setAttribute(Qt::WA_TransparentForMouseEvents);
    widget.setFocusPolicy(Qt::NoFocus);
}

void presentOverlay(QWidget& widget) {
    widget.show();
    widget.raise();
}

QRect toScreenRect(const Rect& global) {
    const Rect whole = global.integral();
    return {static_cast<int>(whole.x), static_cast<int>(whole.y), static_cast<int>(whole.width),
            static_cast<int>(whole.height)};
}

}  // namespace ombrel
