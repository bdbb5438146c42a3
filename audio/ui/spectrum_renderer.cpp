#include "audio/ui/spectrum_renderer.h"

#include <QPainter>
#include <QPen>

#include <array>

#include "audio/ui/analyzer_pens.h"

namespace tovrel::audio::ui {
namespace {

QPen pen(uint32_t rgb) {
    QPen p{QColor(QRgb(rgb))};
    p.setWidth(0);
    return p;
}

void trace(QPainter& painter, const SpectrumBands::Heights& heights, int32_t baseY, float d) {
    std::array<QPoint, SpectrumBands::kBandCount + 1> points;
    points[0] = QPoint(0, baseY);
    for (int j = 1; j <= SpectrumBands::kBandCount; ++j) {
        const int x = static_cast<int>(d) + static_cast<int>(static_cast<float>(j - 1) * d);
        points[static_cast<size_t>(j)] = QPoint(x, baseY - heights[static_cast<size_t>(j - 1)]);
    }
    painter.drawPolyline(points.data(), static_cast<int>(points.size()));
}

}  // namespace

void SpectrumRenderer::draw(QImage& image, const SpectrumBands::Heights& left,
                            const std::optional<SpectrumBands::Heights>& right) {
    if (image.isNull()) return;
    const int w = image.width();
    const int h = image.height();
    image.fill(QColor(QRgb(AnalyzerPens::kBackground)));
    QPainter painter(&image);
    painter.setPen(pen(AnalyzerPens::kGrid));
    painter.drawLine(0, h / 2, w, h / 2);
    for (int i = 0; i <= 20; ++i) {
        const int x = static_cast<int>(i * (w / 20.0));
        painter.drawLine(x, h / 2 + h / 2, x, h / 2 - h / 2);
    }
    const float d = static_cast<float>(w) / 200.0f;
    painter.setPen(pen(AnalyzerPens::kLeft));
    trace(painter, left, h / 2, d);
    if (right) {
        // The bottom row rather than the row below the pane, so that silence still shows.
        painter.setPen(pen(AnalyzerPens::kRight));
        trace(painter, *right, h - 1, d);
    }
}

}  // namespace tovrel::audio::ui
