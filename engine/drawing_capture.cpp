// Pointer drawings: a stroke starts when exactly the draw modifiers are pressed, follows the
// pointer without swallowing anything, and is matched and fired when the modifiers change.
#include <cmath>
#include <optional>
#include <utility>

#include "drawing/shape_matcher.h"
#include "engine/engine.h"

namespace ombrel {

void Engine::startStroke(Mods mods, Point at) {
    const Config& config = this->config();
    // Only the exact set: the draw modifiers plus Shift are a plain modifier chord.
    if (mods != config.drawMods || !config.engineEnabled || recording_ ||
        settings_->drawings.empty()) {
        return;
    }
    stroking_ = true;
    stroke_.clear();
    stroke_.push_back(Pt{at.x, at.y});
    strokeLength_ = 0;
    strokeShown_ = false;
    refreshGrabs(false);
}

void Engine::addStrokePoint(Point p) {
    if (!stroking_ || stroke_.empty()) {
        return;
    }
    const Pt last = stroke_.back();
    const double step = std::hypot(p.x - last.x, p.y - last.y);
    // Jitter adds nothing; the stroke keeps at most one point per 3 points of travel.
    if (step <= strokeJitter) {
        return;
    }
    stroke_.push_back(Pt{p.x, p.y});
    strokeLength_ += step;
    // A short flick while pressing modifiers for a shortcut is never shown.
    if (!strokeShown_ && strokeLength_ > strokeShowLength) {
        strokeShown_ = true;
        strokeOverlay_.begin(Point{stroke_.front().x, stroke_.front().y});
        for (std::size_t i = 1; i < stroke_.size(); ++i) {
            strokeOverlay_.addPoint(Point{stroke_[i].x, stroke_[i].y});
        }
        return;
    }
    strokeOverlay_.addPoint(p);
}

void Engine::endStroke() {
    stroking_ = false;
    strokeOverlay_.hide();
    refreshGrabs(false);
}

void Engine::finishStroke(Mods mods) {
    if (mods == config().drawMods) {
        return;
    }
    // The points stay in stroke_ until the next stroke starts.
    endStroke();
    std::optional<Drawing> match = ShapeMatcher::match(stroke_, settings_->drawings);
    if (match) {
        fire(Trigger::drawing(std::move(*match)));
    }
}

}  // namespace ombrel
