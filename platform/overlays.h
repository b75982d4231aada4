// The two on-screen overlays, as the engine drives them.
#pragma once

#include "placement/geometry.h"

namespace ombrel {

// Shows a pointer drawing while it is traced: one window over the union of all displays.
class StrokeOverlay {
  public:
    virtual ~StrokeOverlay() = default;
    // Starts a new path at p (global coordinates) and shows the overlay.
    virtual void begin(Point p) = 0;
    // Extends the path to p; does nothing unless the overlay is shown.
    virtual void addPoint(Point p) = 0;
    virtual void hide() = 0;
};

// Shows where a dragged window will land: the target frame, inset.
class SnapOverlay {
  public:
    virtual ~SnapOverlay() = default;
    // Shows the preview for the target frame; a frame equal to the one shown changes nothing.
    virtual void show(Rect target) = 0;
    virtual void hide() = 0;
};

}  // namespace ombrel
