// Where the parts of the trigger glyphs go.
#include "settings/glyph_layout.h"

#include <algorithm>

namespace ombrel {

std::vector<std::string> keyCapTexts(const KeyCombo& combo) {
    std::vector<std::string> caps;
    const Mods m = combo.mods;
    if (m.contains(Mods::control)) {
        caps.emplace_back("⌃");
    }
    if (m.contains(Mods::option)) {
        caps.emplace_back("⌥");
    }
    if (m.contains(Mods::shift)) {
        caps.emplace_back("⇧");
    }
    if (m.contains(Mods::command)) {
        caps.emplace_back("⌘");
    }
    caps.push_back(keyName(combo.keyCode));
    return caps;
}

std::vector<FingerMark> trackpadMarks(const TrackpadGesture& gesture, double width, double height) {
    using K = TrackpadGesture::Kind;
    using Shape = FingerMark::Shape;
    using Fade = FingerMark::Fade;
    std::vector<FingerMark> marks;
    const auto add = [&](Shape shape, Fade fade, double w, double h) {
        marks.push_back(FingerMark{shape, fade, 0, 0, w, h});
    };
    const auto fingers = std::clamp<int64_t>(gesture.fingers, 0, mostFingerMarks);
    switch (gesture.kind) {
        case K::tap:
        case K::click:
            for (int64_t i = 0; i < fingers; ++i) {
                add(Shape::dot, Fade::none, 6, 6);
            }
            break;
        case K::swipeUp:
        case K::swipeDown:
            for (int64_t i = 0; i < fingers; ++i) {
                add(Shape::capsule,
                    gesture.kind == K::swipeUp ? Fade::towardTop : Fade::towardBottom, 5, 18);
            }
            break;
        case K::swipeLeft:
        case K::swipeRight:
            for (int64_t i = 0; i < fingers; ++i) {
                add(Shape::capsule,
                    gesture.kind == K::swipeLeft ? Fade::towardLeft : Fade::towardRight, 7, 5);
            }
            break;
        case K::tipTapLeft:
            add(Shape::dot, Fade::none, 6, 6);
            add(Shape::ring, Fade::none, 7, 7);
            break;
        case K::tipTapRight:
            add(Shape::ring, Fade::none, 7, 7);
            add(Shape::dot, Fade::none, 6, 6);
            break;
    }
    constexpr double gap = 3;
    double total = 0;
    for (const auto& m : marks) {
        total += m.width;
    }
    if (!marks.empty()) {
        total += gap * static_cast<double>(marks.size() - 1);
    }
    double x = (width - total) / 2;
    for (auto& m : marks) {
        m.x = x;
        m.y = (height - m.height) / 2;
        x += m.width + gap;
    }
    return marks;
}

std::vector<Pt> glyphPoints(const std::vector<Pt>& stored, double width, double height) {
    const double s = 0.7 * std::min(width, height);
    std::vector<Pt> out;
    out.reserve(stored.size());
    for (const Pt& p : stored) {
        out.push_back({width / 2 + s * p.x, height / 2 + s * p.y});
    }
    return out;
}

}  // namespace ombrel
