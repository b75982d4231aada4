// Window set-up and X11 facts shared by the stroke and snap overlay windows.
#pragma once

#include <QPoint>
#include <QRect>
#include <functional>
#include <optional>

#include "platform/geometry.h"

class QWidget;

namespace ombrel {

// Answers whether translucent pixels blend with what lies below right now.
using CompositorProbe = std::function<bool()>;

// Whether a compositing manager owns _NET_WM_CM_S<n> for the default screen. Without one an ARGB
// window shows its transparent pixels as black, so the overlays must shape themselves instead.
bool compositorRunning();

// Makes a top-level widget an overlay: outside the window manager (no frame that would take
// clicks, present on every workspace), above other windows, transparent for input, never focused,
// translucent where a compositor allows it.
void makeOverlayWindow(QWidget& widget);

// Maps and raises without activating. An override-redirect window is above others only when its
// owner raises it, so every show raises.
void presentOverlay(QWidget& widget);

// Qt screen coordinates of the origin of global display coordinates (the primary display's
// top-left corner); nothing when there is no display.
std::optional<QPoint> globalOrigin();

// The whole-pixel rectangle, in Qt screen coordinates, that covers a global rectangle.
QRect toScreenRect(const Rect& global, QPoint origin);

}  // namespace ombrel
