// Where the parts of the trigger glyphs go: the key caps of a shortcut, the finger marks of a
// gesture tile and the stroke of a drawing thumbnail. Painting follows these exactly.
#pragma once

#include <string>
#include <vector>

#include "config/model.h"

namespace ombrel {

inline constexpr double tileWidth = 52;
inline constexpr double tileHeight = 34;
// More marks than this do not fit a tile; hand-edited counts are drawn capped.
inline constexpr int64_t mostFingerMarks = 6;

// One cap per modifier present, in the order ⌃ ⌥ ⇧ ⌘, then the key's name.
std::vector<std::string> keyCapTexts(const KeyCombo& combo);

struct FingerMark {
    enum class Shape { dot, ring, capsule };
    // Which way a swipe capsule's gradient runs, from faint to full accent.
    enum class Fade { none, towardTop, towardBottom, towardLeft, towardRight };
    Shape shape = Shape::dot;
    Fade fade = Fade::none;
    double x = 0;  // top-left corner, in tile coordinates
    double y = 0;
    double width = 0;
    double height = 0;
};

// The marks inside a tile of the given size, centred as one row, 3 points apart.
std::vector<FingerMark> trackpadMarks(const TrackpadGesture& gesture, double width = tileWidth,
                                      double height = tileHeight);

// A stored drawing's points placed in a box: centre plus 0.7 of the shorter side per unit.
std::vector<Pt> glyphPoints(const std::vector<Pt>& stored, double width, double height);

}  // namespace ombrel
