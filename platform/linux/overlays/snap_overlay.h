// The snap overlay: a floating rectangle that previews where a dragged window will land.
#pragma once

#include <memory>
#include <optional>

#include "platform/linux/overlays/overlay_window.h"
#include "platform/overlays.h"

class QWidget;

namespace ombrel {

class QtSnapOverlay final : public SnapOverlay {
  public:
    static constexpr double inset = 6;
    static constexpr double fillOpacity = 0.22;
    static constexpr double borderOpacity = 0.85;
    static constexpr double borderWidth = 2;
    static constexpr double cornerRadius = 8;

    explicit QtSnapOverlay(CompositorProbe compositing = compositorRunning);
    ~QtSnapOverlay() override;
    QtSnapOverlay(const QtSnapOverlay&) = delete;
    QtSnapOverlay& operator=(const QtSnapOverlay&) = delete;

    void show(Rect target) override;
    void hide() override;

    // The preview window once a target has been shown, else null.
    [[nodiscard]] QWidget* window() const;
    // The target frame previewed now (before the inset).
    [[nodiscard]] const std::optional<Rect>& shown() const { return shown_; }

  private:
    class Panel;

    CompositorProbe compositing_;
    std::unique_ptr<Panel> panel_;
    std::optional<Rect> shown_;
};

}  // namespace ombrel
