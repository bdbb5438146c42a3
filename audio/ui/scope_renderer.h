#pragma once

#include <QImage>
#include <QPoint>

#include <cstdint>
#include <vector>

#include "audio/scope_history.h"
#include "audio/scope_window.h"

namespace tovrel::audio::ui {

// Draws the oscilloscope pane: black, the middle line with 11 ticks (longer at both edges and
// the centre), then the shown window of each channel's history, left then right. A history
// value of fullScale / gain lies half the pane above the channel's zero line, which a positive
// offset moves down.
// One renderer per thread; it keeps its point buffer between drawings.
class ScopeRenderer {
  public:
    struct Channel {
        double gain = 1.0;
        int32_t offset = 0;
    };

    void draw(QImage& image, const ScopeHistory& history, const ScopeWindow::Span& span,
              int32_t fullScale, const Channel& left, const Channel& right);

    // At most this many points reach the polyline for each pixel column.
    static constexpr int64_t kMaxPointsPerColumn = 4;
    // The plain path that hands every history point to the polyline: the reference the tests
    // and the benchmark hold the column reduction against.
    void setEveryPoint(bool everyPoint) { everyPoint_ = everyPoint; }

  private:
    void trace(QPainter& painter, const std::vector<ScopePoint>& points,
               const ScopeWindow::Range& range, int32_t fullScale, const Channel& channel,
               int32_t height);

    std::vector<QPoint> points_;
    bool everyPoint_ = false;
};

}  // namespace tovrel::audio::ui
