// The settings window's panes and the navigation object that remembers the one shown.
#include "settings/pane.h"

namespace ombrel {

std::string_view paneTitle(Pane pane) {
    switch (pane) {
        case Pane::keyboard:
            return "Keyboard";
        case Pane::trackpad:
            return "Trackpad";
        case Pane::mouse:
            return "Mouse";
        case Pane::drawings:
            return "Drawings";
        case Pane::general:
            return "General";
    }
    return "";
}

std::string_view paneSymbol(Pane pane) {
    switch (pane) {
        case Pane::keyboard:
            return "keyboard";
        case Pane::trackpad:
            return "hand.tap";
        case Pane::mouse:
            return "computermouse";
        case Pane::drawings:
            return "scribble.variable";
        case Pane::general:
            return "gearshape";
    }
    return "";
}

std::optional<Trigger::Kind> paneKind(Pane pane) {
    switch (pane) {
        case Pane::keyboard:
            return Trigger::Kind::hotkey;
        case Pane::trackpad:
            return Trigger::Kind::trackpad;
        case Pane::mouse:
            return Trigger::Kind::mouse;
        case Pane::drawings:
            return Trigger::Kind::drawing;
        case Pane::general:
            return std::nullopt;
    }
    return std::nullopt;
}

Nav& Nav::shared() {
    static Nav nav;
    return nav;
}

void Nav::setPane(Pane pane) {
    if (pane == pane_) {
        return;
    }
    pane_ = pane;
    changed_.publish(pane_);
}

}  // namespace ombrel
