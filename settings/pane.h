// The settings window's panes and the navigation object that remembers the one shown.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "config/model.h"
#include "config/observable.h"

namespace ombrel {

enum class Pane { keyboard, trackpad, mouse, drawings, general };

inline constexpr std::array<Pane, 5> allPanes = {Pane::keyboard, Pane::trackpad, Pane::mouse,
                                                 Pane::drawings, Pane::general};

std::string_view paneTitle(Pane pane);
// The symbol name drawn beside the title in the sidebar.
std::string_view paneSymbol(Pane pane);
// The trigger kind a rule pane lists; nothing for the general pane.
std::optional<Trigger::Kind> paneKind(Pane pane);

// Which pane is shown. One per process, so the window reopens on the pane last shown.
class Nav {
  public:
    static Nav& shared();

    [[nodiscard]] Pane pane() const { return pane_; }
    void setPane(Pane pane);
    [[nodiscard]] Subscription observe(std::function<void(Pane)> observer) {
        return changed_.subscribe(std::move(observer));
    }

  private:
    Pane pane_ = Pane::keyboard;
    Published<Pane> changed_;
};

}  // namespace ombrel
