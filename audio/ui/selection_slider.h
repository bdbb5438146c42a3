#pragma once

#include <QSlider>

namespace tovrel::audio::ui {

// A trackbar that also marks a selection range along its groove: the part of the history the
// scope shows while it scrolls by itself. An empty range (minimum = maximum) marks nothing.
// GUI thread only.
class SelectionSlider final : public QSlider {
    Q_OBJECT
  public:
    explicit SelectionSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    void setSelection(int minimum, int maximum);
    int selectionMinimum() const { return selectionMin_; }
    int selectionMaximum() const { return selectionMax_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int selectionMin_ = 0;
    int selectionMax_ = 0;
};

}  // namespace tovrel::audio::ui
