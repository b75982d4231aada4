// The area of the editor in which the shape of a drawing trigger is sketched in one stroke.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "config/model.h"

namespace ombrel {

class PlainButton;

// The stroke's rules, apart from the widget: a new drag replaces the old stroke.
class StrokeRecorder {
  public:
    explicit StrokeRecorder(std::vector<Pt>& points) : points_(points) {}
    void dragChanged(Pt location);
    void dragEnded() { drawing_ = false; }
    void clear() { points_.clear(); }
    [[nodiscard]] bool drawing() const { return drawing_; }

  private:
    std::vector<Pt>& points_;
    bool drawing_ = false;
};

class DrawingCanvas : public QWidget {
  public:
    // The points belong to the caller; onChange runs after every change of them.
    DrawingCanvas(std::vector<Pt>& points, std::function<void()> onChange);
    [[nodiscard]] PlainButton* clearButton() const { return clear_; }
    [[nodiscard]] QWidget* surface() const;
    // Shows the points anew after the caller changed them.
    void refresh();

  private:
    class Surface;
    std::vector<Pt>& points_;
    StrokeRecorder stroke_;
    std::function<void()> onChange_;
    Surface* surface_ = nullptr;
    PlainButton* clear_ = nullptr;
};

}  // namespace ombrel
