// Window set-up and X11 facts shared by the stroke and snap overlay windows.
#pragma once

#include <QRect>
#include <functional>

#include "placement/geometry.h"

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

// The whole-pixel rectangle that covers a global rectangle. Qt's screen coordinates on X11 are
// root coordinates, as global ones are, so this only rounds outward.
QRect toScreenRect(const Rect& global);

}  // namespace ombrel
