#pragma once

#include <QImage>
#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "capture/preview_surface.h"

class QPainter;
class QWidget;

namespace tovrel::shell {

// The main window's side of the preview: the images the renderers draw into, a wake-up from the
// render thread that costs one write() (no allocation, never blocks), and the painting of the
// newest image unscaled at the window's top-left. The window paints black where no picture is.
// clientSize(), paint() and the notifier: GUI thread. exposed() and imageReady(): any thread.
class PreviewPresenter final : public QObject, public capture::PreviewSurface {
    Q_OBJECT
  public:
    explicit PreviewPresenter(QWidget* window);
    ~PreviewPresenter() override;

    ClientSize clientSize() const override;
    bool exposed() const override { return exposed_; }
    capture::PreviewImages& images() override { return images_; }
    void imageReady() override;

    // The window follows its visibility and minimised state here.
    void setExposed(bool exposed) { exposed_ = exposed; }

    // Puts the image on screen into the painter (the window's paint event).
    void paint(QPainter& painter);

    // Frames that reached the screen (counted where they are painted); the benchmark and tests.
    std::atomic<uint64_t> presentedFrames{0};
    // Told the GUI thread's cost of each presented frame in nanoseconds; empty unless measured.
    std::function<void(int64_t)> guiCostObserver;

  private:
    void onWake();
    const QImage* wrapperFor(const capture::PreviewImages::Image& image);

    QWidget* window_;
    capture::PreviewImages images_;
    std::atomic<bool> exposed_{false};
    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::array<QImage, capture::PreviewImages::kImageCount> wrappers_;
};

}  // namespace tovrel::shell
