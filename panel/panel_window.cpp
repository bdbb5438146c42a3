#include "panel/panel_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "panel/panel_texts.h"

namespace tovrel::panel {

namespace {

constexpr std::array<const char*, PanelState::kSliderCount> kSliderCaptions{
    "Brightness", "Contrast", "Hue", "Saturation", "Sharpness", "Volume"};

}  // namespace

PanelWindow::PanelWindow(AppDelegate& delegate, QWidget* parent)
    : QWidget(parent), delegate_(delegate) {
    setWindowTitle(kWindowTitle);
    auto* layout = new QVBoxLayout(this);

    auto* statusBox = new QGroupBox(kStatusCaption, this);
    auto* statusGrid = new QGridLayout(statusBox);
    int row = 0;
    for (const auto& field : device::BoxStatus::kFields) {
        statusGrid->addWidget(
            new QLabel(QString::fromUtf8(field.label.data(), static_cast<int>(field.label.size()))),
            row, 0);
        status_[field.field] = new QLabel(QString(), statusBox);
        statusGrid->addWidget(status_[field.field], row++, 1);
    }
    layout->addWidget(statusBox);

    auto* controls = new QGroupBox(kControlsCaption, this);
    auto* grid = new QGridLayout(controls);
    for (size_t s = 0; s < PanelState::kSliderCount; ++s) {
        grid->addWidget(new QLabel(kSliderCaptions[s]), static_cast<int>(s), 0);
        auto* slider = new QSlider(Qt::Horizontal, controls);
        slider->setRange(0, 255);
        slider->setTracking(false);  // one command write per release, not per pixel dragged
        slider->setMinimumWidth(220);
        sliders_[s] = slider;
        values_[s] = new QLabel(controls);
        values_[s]->setMinimumWidth(60);
        grid->addWidget(slider, static_cast<int>(s), 1);
        grid->addWidget(values_[s], static_cast<int>(s), 2);
        connect(slider, &QSlider::valueChanged, this, [this, s](int value) {
            delegate_.sliderMoved(static_cast<PanelState::Slider>(s), value);
            render();
        });
    }
    mute_ = new QCheckBox(kMuteCaption, controls);
    grid->addWidget(mute_, 6, 0);
    connect(mute_, &QCheckBox::clicked, this, [this](bool on) {
        delegate_.muteClick(on);
        render();
    });
    hdmi_ = new QRadioButton(kLogHdmi.data(), controls);
    lineIn_ = new QRadioButton(kLogLineIn.data(), controls);
    auto* source = new QButtonGroup(this);
    source->addButton(hdmi_, 0);
    source->addButton(lineIn_, 1);
    grid->addWidget(hdmi_, 7, 0);
    grid->addWidget(lineIn_, 7, 1);
    connect(source, &QButtonGroup::idClicked, this, [this](int tag) {
        delegate_.changeSource(tag);
        render();
    });
    defaults_ = new QPushButton(kDefaultCaption, controls);
    grid->addWidget(defaults_, 8, 0);
    connect(defaults_, &QPushButton::clicked, this, [this] {
        delegate_.defaultClick();
        render();
    });
    layout->addWidget(controls);

    auto* firmware = new QHBoxLayout;
    windows_ = new QPushButton(kWindowsCaption, this);
    mac_ = new QPushButton(kMacCaption, this);
    firmware->addWidget(windows_);
    firmware->addWidget(mac_);
    layout->addLayout(firmware);
    connect(windows_, &QPushButton::clicked, this, [this] {
        delegate_.ConfigureWindowsClick();
        render();
    });
    connect(mac_, &QPushButton::clicked, this, [this] {
        delegate_.ConfigureMacClick();
        render();
    });
    progress_ = new QProgressBar(this);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    layout->addWidget(progress_);
    layout->addWidget(message_);

    QPointer<PanelWindow> self(this);
    delegate_.setThreadHandoff(
        [self](std::function<void()> call) {
            // Dropped when the window is gone: Qt discards calls queued to a destroyed context.
            QMetaObject::invokeMethod(self.data(), std::move(call), Qt::QueuedConnection);
        },
        [this] { render(); });

    delegate_.applicationDidFinishLaunching();
    qApp->installEventFilter(this);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        delegate_.update();
        render();
    });
    timer->start(1000);
    render();
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
        delegate_.keyDown(AppDelegate::kKeyCodeF1);
        render();
    }
    return QWidget::eventFilter(watched, event);  // passed on unchanged
}

void PanelWindow::closeEvent(QCloseEvent* event) {
    // Quitting mid-update would leave a half-written flash.
    if (delegate_.state().updating) {
        message_->setText(kWaitForUpdate);
        event->ignore();
        return;
    }
    event->accept();
}

void PanelWindow::render() {
    const PanelState& s = delegate_.state();
    const bool controls = s.deviceControlsEnabled && !s.updating;
    for (size_t f = 0; f < status_.size(); ++f)
        status_[f]->setText(QString::fromStdString(s.status.texts[f]));
    for (size_t i = 0; i < PanelState::kSliderCount; ++i) {
        QSignalBlocker block(sliders_[i]);
        sliders_[i]->setValue(s.sliders[i]);
        sliders_[i]->setEnabled(controls);
        values_[i]->setText(QString::fromStdString(s.sliderLabels[i]));
    }
    {
        QSignalBlocker block(mute_);
        mute_->setChecked(s.muted);
    }
    hdmi_->setChecked(s.hdmiOn);
    lineIn_->setChecked(s.lineInOn);
    for (QWidget* w : std::initializer_list<QWidget*>{mute_, hdmi_, lineIn_, defaults_})
        w->setEnabled(controls);
    windows_->setVisible(s.firmwareButtonsVisible);
    mac_->setVisible(s.firmwareButtonsVisible);
    windows_->setEnabled(s.windowsButtonEnabled && !s.updating);
    mac_->setEnabled(s.macButtonEnabled && !s.updating);
    progress_->setVisible(s.updating || s.progressTotal > 0);
    progress_->setRange(0, s.progressTotal ? static_cast<int>(s.progressTotal) : 0);
    progress_->setValue(static_cast<int>(s.progressDone));
    progress_->setFormat(QString::fromStdString(s.progressText) + " %p%");
    message_->setText(QString::fromStdString(s.message));
}

}  // namespace tovrel::panel
