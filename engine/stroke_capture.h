// Pointer drawings: a stroke starts when exactly the draw modifiers are pressed, follows the
// pointer without swallowing anything, and ends when the modifiers change (ready to be matched)
// or a key is pressed (dropped). A state machine fed modifier changes and pointer locations; it
// draws the stroke on its overlay once it is long enough to be meant.
#pragma once

#include <span>
#include <vector>

#include "config/model.h"
#include "placement/geometry.h"
#include "platform/overlays.h"

namespace ombrel {

class StrokeCapture {
  public:
    static constexpr double jitter = 3.0;
    static constexpr double showLength = 12.0;

    explicit StrokeCapture(StrokeOverlay& overlay);

    // The held modifiers changed, with the pointer at `at`. Exactly `drawMods` start a stroke
    // where `allowed` (drawing rules exist and may fire); any other set ends the stroke in
    // progress. True when a stroke ended here: points() holds it until the next one starts.
    bool modifiers(Mods mods, Point at, Mods drawMods, bool allowed);
    // The pointer moved.
    void move(Point to);
    // A key was pressed: the stroke in progress is dropped.
    void cancel();

    [[nodiscard]] bool drawing() const { return drawing_; }
    [[nodiscard]] std::span<const Pt> points() const { return points_; }

  private:
    void end();

    StrokeOverlay& overlay_;
    // The points stay allocated between strokes.
    bool drawing_ = false;
    std::vector<Pt> points_;
    double length_ = 0;
    bool shown_ = false;
};

}  // namespace ombrel
