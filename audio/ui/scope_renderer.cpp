#include "audio/ui/scope_renderer.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

#include "audio/ui/analyzer_pens.h"

namespace tovrel::audio::ui {
namespace {

QPen pen(uint32_t rgb) {
    QPen p{QColor(QRgb(rgb))};
    p.setWidth(0);
    return p;
}

}  // namespace

void ScopeRenderer::trace(QPainter& painter, const std::vector<ScopePoint>& points,
                          const ScopeWindow::Range& range, int32_t fullScale,
                          const Channel& channel, int32_t height) {
    const int64_t spanX = int64_t{range.last} - range.first;
    // The logical height of half the pane, an integer as the mapping's extent.
    const int64_t spanY = static_cast<int64_t>(fullScale / channel.gain);
    if (spanX <= 0 || spanY == 0 || range.first < 0 ||
        range.last >= static_cast<int32_t>(points.size())) {
        return;
    }
    const double scaleX = static_cast<double>(range.x1 - range.x0) / static_cast<double>(spanX);
    const double scaleY = -static_cast<double>(height / 2) / static_cast<double>(spanY);
    const double zeroY = height / 2 + channel.offset;
    const auto at = [&](int64_t i) {
        const ScopePoint& p = points[static_cast<size_t>(range.first + i)];
        return QPoint(range.x0 + static_cast<int>(std::lround(static_cast<double>(i) * scaleX)),
                      static_cast<int>(std::lround(zeroY + p.y * scaleY)));
    };
    points_.clear();
    if (everyPoint_) {
        points_.reserve(static_cast<size_t>(spanX + 1));
        for (int64_t k = 0; k <= spanX; ++k) points_.push_back(at(k));
        painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
        return;
    }
    // Where many samples share a pixel column, the polyline only runs up and down that column
    // between its lowest and highest point before it leaves for the next one: the column's
    // first point, its extremes in the order they come and its last point draw the same pixels
    // as every point would, with a few points per column instead of hundreds.
    points_.reserve(static_cast<size_t>(
        std::min<int64_t>(spanX + 1, kMaxPointsPerColumn * (int64_t{range.x1} - range.x0 + 1))));
    const auto put = [this](const QPoint& p) {
        if (points_.empty() || points_.back() != p) points_.push_back(p);
    };
    int64_t i = 0;
    while (i <= spanX) {
        const QPoint first = at(i);
        QPoint low = first, high = first, last = first, beforeLastRun = first;
        int64_t lowAt = i, highAt = i, lastRunAt = i;
        int64_t j = i + 1;
        for (; j <= spanX; ++j) {
            const QPoint p = at(j);
            if (p.x() != first.x()) break;
            if (p.y() < low.y()) low = p, lowAt = j;
            if (p.y() > high.y()) high = p, highAt = j;
            if (p.y() != last.y()) beforeLastRun = last, lastRunAt = j;
            last = p;
        }
        put(first);
        const bool lowFirst = lowAt < highAt;
        put(lowFirst ? low : high);
        put(lowFirst ? high : low);
        // Each segment leaves out its last pixel, so an extreme the trace reached and left
        // again before it settled at the same height is drawn only as a segment's start: keep
        // the point that trace went through in between.
        const int64_t secondAt = lowFirst ? highAt : lowAt;
        if (points_.back() == last && secondAt < lastRunAt) points_.push_back(beforeLastRun);
        put(last);
        i = j;
    }
    painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
}

void ScopeRenderer::draw(QImage& image, const ScopeHistory& history, const ScopeWindow::Span& span,
                         int32_t fullScale, const Channel& left, const Channel& right) {
    if (image.isNull() || !history.hasLeft()) return;
    const int w = image.width();
    const int h = image.height();
    image.fill(QColor(QRgb(AnalyzerPens::kBackground)));
    QPainter painter(&image);
    painter.setPen(pen(AnalyzerPens::kGrid));
    painter.drawLine(0, h / 2, w, h / 2);
    for (int i = 0; i <= 10; ++i) {
        const int x = static_cast<int>(i * (w / 10.0));
        const int t = (i == 0 || i == 5 || i == 10) ? h / 15 : h / 30;
        painter.drawLine(x, h / 2 + t, x, h / 2 - t);
    }
    painter.setPen(pen(AnalyzerPens::kLeft));
    for (int r = 0; r < span.rangeCount; ++r) {
        trace(painter, history.left(), span.ranges[static_cast<size_t>(r)], fullScale, left, h);
    }
    if (history.hasRight()) {
        painter.setPen(pen(AnalyzerPens::kRight));
        for (int r = 0; r < span.rangeCount; ++r) {
            trace(painter, history.right(), span.ranges[static_cast<size_t>(r)], fullScale, right,
                  h);
        }
    }
}

}  // namespace tovrel::audio::ui
