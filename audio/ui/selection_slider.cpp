#include "audio/ui/selection_slider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace tovrel::audio::ui {

SelectionSlider::SelectionSlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent) {}

void SelectionSlider::setSelection(int minimum, int maximum) {
    if (minimum == selectionMin_ && maximum == selectionMax_) return;
    selectionMin_ = minimum;
    selectionMax_ = maximum;
    update();
}

void SelectionSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (selectionMax_ <= selectionMin_ || orientation() != Qt::Horizontal) return;
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // Values map to the handle's centre, which travels the groove less one handle width.
    const int span = groove.width() - handle.width();
    auto x = [&](int value) {
        const int v = std::clamp(value, minimum(), maximum());
        return groove.left() + handle.width() / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), v, span, option.upsideDown);
    };
    const int x0 = x(selectionMin_);
    const int x1 = std::max(x(selectionMax_), x0 + 1);
    QPainter painter(this);
    const QColor mark = palette().color(QPalette::Highlight);
    painter.fillRect(QRect(x0, groove.center().y() - 1, x1 - x0 + 1, 3), mark);
    painter.setPen(mark);
    painter.drawLine(x0, groove.top() - 2, x0, groove.top());
    painter.drawLine(x1, groove.top() - 2, x1, groove.top());
}

}  // namespace tovrel::audio::ui
