// The stroke overlay: one window over the union of all displays that shows a pointer drawing
// while it is traced.
#pragma once

#include <memory>

#include "platform/linux/overlays/overlay_window.h"
#include "platform/overlays.h"
#include "platform/windows.h"

class QWidget;

namespace ombrel {

class QtStrokeOverlay final : public StrokeOverlay {
  public:
    static constexpr double lineWidth = 5;
    static constexpr double glowOpacity = 0.7;
    static constexpr double glowRadius = 6;

    explicit QtStrokeOverlay(WindowSystem& windows,
                             CompositorProbe compositing = compositorRunning);
    ~QtStrokeOverlay() override;
    QtStrokeOverlay(const QtStrokeOverlay&) = delete;
    QtStrokeOverlay& operator=(const QtStrokeOverlay&) = delete;

    void begin(Point p) override;
    void addPoint(Point p) override;
    void hide() override;

    // The overlay window once a stroke has been shown, else null.
    [[nodiscard]] QWidget* window() const;
    [[nodiscard]] bool visible() const { return visible_; }

  private:
    class Panel;

    WindowSystem& windows_;
    CompositorProbe compositing_;
    std::unique_ptr<Panel> panel_;
    Point origin_;  // global top-left corner of the area the window covers
    bool visible_ = false;
};

}  // namespace ombrel
