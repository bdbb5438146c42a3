#pragma once

#include <QImage>
#include <QWidget>

namespace tovrel::audio::ui {

// A black pane that shows the last image it was given, unscaled, from its top-left corner.
// GUI thread only.
class ImagePane final : public QWidget {
    Q_OBJECT
  public:
    explicit ImagePane(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage image_;
};

}  // namespace tovrel::audio::ui
