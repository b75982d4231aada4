// Pointer drawings: start, follow, show, end.
#include "engine/stroke_capture.h"

#include <cmath>

namespace ombrel {

StrokeCapture::StrokeCapture(StrokeOverlay& overlay) : overlay_(overlay) {
    // One point per 3 points of travel: this covers any ordinary drawing.
    points_.reserve(4096);
}

bool StrokeCapture::modifiers(Mods mods, Point at, Mods drawMods, bool allowed) {
    if (drawing_) {
        if (mods == drawMods) {
            return false;
        }
        end();
        return true;
    }
    // Only the exact set: the draw modifiers plus Shift are a plain modifier chord.
    if (mods != drawMods || !allowed) {
        return false;
    }
    drawing_ = true;
    points_.clear();
    points_.push_back(Pt{at.x, at.y});
    length_ = 0;
    shown_ = false;
    return false;
}

void StrokeCapture::move(Point to) {
    if (!drawing_ || points_.empty()) {
        return;
    }
    const Pt last = points_.back();
    const double step = std::hypot(to.x - last.x, to.y - last.y);
    // Jitter adds nothing.
    if (step <= jitter) {
        return;
    }
    points_.push_back(Pt{to.x, to.y});
    length_ += step;
    if (shown_) {
        overlay_.addPoint(to);
        return;
    }
    // A short flick while pressing modifiers for a shortcut is never shown.
    if (length_ > showLength) {
        shown_ = true;
        overlay_.begin(Point{points_.front().x, points_.front().y});
        for (std::size_t i = 1; i < points_.size(); ++i) {
            overlay_.addPoint(Point{points_[i].x, points_[i].y});
        }
    }
}

void StrokeCapture::cancel() {
    if (drawing_) {
        end();
    }
}

void StrokeCapture::end() {
    drawing_ = false;
    overlay_.hide();
}

}  // namespace ombrel
