#include "shell/preview_presenter.h"

#include <QPainter>
#include <QWidget>

#include <chrono>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tovrel::shell {

PreviewPresenter::PreviewPresenter(QWidget* window) : QObject(window), window_(window) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &PreviewPresenter::onWake);
    }
}

PreviewPresenter::~PreviewPresenter() {
    delete notifier_;
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

capture::PreviewSurface::ClientSize PreviewPresenter::clientSize() const {
    const QSize size = window_->size() * window_->devicePixelRatio();
    return ClientSize{size.width(), size.height()};
}

void PreviewPresenter::imageReady() {
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    // A full counter (never in practice) only means the GUI thread is already due to wake.
    [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void PreviewPresenter::onWake() {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t got = ::read(wakeFd_, &count, sizeof count);
    const auto start = std::chrono::steady_clock::now();
    // Paint at once rather than queueing an update: the picture reaches the screen in this turn.
    window_->repaint();
    if (guiCostObserver) {
        guiCostObserver(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count());
    }
}

const QImage* PreviewPresenter::wrapperFor(const capture::PreviewImages::Image& image) {
    QImage& wrapper = wrappers_[image.index];
    if (wrapper.constBits() != image.bgra || wrapper.width() != image.width ||
        wrapper.height() != image.height) {
        // Rebuilt only when the images were reserved anew (a resize), never per frame.
        wrapper = QImage(image.bgra, image.width, image.height, image.stride, QImage::Format_RGB32);
    }
    return &wrapper;
}

void PreviewPresenter::paint(QPainter& painter) {
    bool fresh = false;
    const capture::PreviewImages::Image* image = images_.takeNewest(&fresh);
    const QRect client = window_->rect();
    if (image == nullptr || image->bgra == nullptr) {
        painter.fillRect(client, Qt::black);
        return;
    }
    const QImage* picture = wrapperFor(*image);
    painter.drawImage(QPoint(0, 0), *picture);
    const qreal ratio = window_->devicePixelRatio();
    const int shownWidth = static_cast<int>(image->width / ratio);
    const int shownHeight = static_cast<int>(image->height / ratio);
    if (shownWidth < client.width())
        painter.fillRect(QRect(shownWidth, 0, client.width() - shownWidth, client.height()),
                         Qt::black);
    if (shownHeight < client.height())
        painter.fillRect(QRect(0, shownHeight, client.width(), client.height() - shownHeight),
                         Qt::black);
    if (fresh) ++presentedFrames;
}

}  // namespace tovrel::shell
