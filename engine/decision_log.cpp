// The verbose log's decision lines.
#include "engine/decision_log.h"

#include <array>
#include <cstdio>

namespace ombrel {
namespace {

std::string point(Point p) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), " at %g,%g", p.x, p.y);
    return text.data();
}

std::string event(const InputEvent& e) {
    std::string line;
    switch (e.kind) {
        case InputKind::keyDown:
            line = "key " + KeyCombo{e.keyCode, e.mods}.label() + " (" + std::to_string(e.keyCode) +
                   ")";
            break;
        case InputKind::modifiersChanged:
            line = "modifiers " + (e.mods.empty() ? std::string("none") : e.mods.glyphs());
            break;
        case InputKind::pointerMoved:
            line = "move" + point(e.location);
            break;
        case InputKind::leftDown:
            line = "left press" + point(e.location);
            break;
        case InputKind::leftDragged:
            line = "left drag" + point(e.location);
            break;
        case InputKind::leftUp:
            line = "left release";
            break;
        case InputKind::buttonDown:
        case InputKind::buttonUp:
            line = std::string("button ") + std::to_string(e.button) +
                   (e.kind == InputKind::buttonDown ? " press" : " release");
            break;
    }
    line += e.autorepeat ? ", repeated" : "";
    line += e.own ? ", the program's own" : "";
    line += e.touchpad ? ", from the touchpad" : "";
    return line;
}

std::string rule(const Rule* ran) {
    if (ran == nullptr) {
        return "";
    }
    return ", ran \u201C" + ran->trigger.label() + " \u2192 " + ran->action.label() + "\u201D" +
           (ran->appBundleID ? " in " + *ran->appBundleID : "");
}

}  // namespace

std::string decisionLine(const InputEvent& e, bool swallowed, const Rule* ran) {
    return event(e) + ": " + (swallowed ? "swallowed" : "passed") + rule(ran);
}

std::string gestureLine(const TrackpadGesture& gesture, const Rule* ran) {
    return "touchpad " + gesture.label() + ": " + (ran != nullptr ? "fired" : "no rule") +
           rule(ran);
}

}  // namespace ombrel
