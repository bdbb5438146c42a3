#pragma once

#include <QWidget>
#include <array>

#include "panel/app_delegate.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

namespace tovrel::panel {

// The panel's one window: status texts, the six sliders with their values, mute, the audio
// source, defaults, the two firmware buttons that F1 shows, and the update's progress. Renders
// the delegate's state after every action and refresh; a 1 s timer drives the refresh.
// GUI thread only.
class PanelWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit PanelWindow(AppDelegate& delegate, QWidget* parent = nullptr);

    void render();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    AppDelegate& delegate_;
    std::array<QLabel*, device::BoxStatus::kFieldCount> status_{};
    std::array<QSlider*, PanelState::kSliderCount> sliders_{};
    std::array<QLabel*, PanelState::kSliderCount> values_{};
    QCheckBox* mute_ = nullptr;
    QRadioButton* hdmi_ = nullptr;
    QRadioButton* lineIn_ = nullptr;
    QPushButton* defaults_ = nullptr;
    QPushButton* windows_ = nullptr;
    QPushButton* mac_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* message_ = nullptr;
};

}  // namespace tovrel::panel
