#include "audio/ui/image_pane.h"

#include <QPainter>

namespace tovrel::audio::ui {

ImagePane::ImagePane(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void ImagePane::setImage(const QImage& image) {
    image_ = image;
    update();
}

void ImagePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!image_.isNull()) painter.drawImage(0, 0, image_);
}

}  // namespace tovrel::audio::ui
