#include "audio/ui/audio_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>

#include "audio/analyzer_texts.h"
#include "audio/ui/audio_dialog_layout.h"
#include "audio/ui/image_pane.h"
#include "audio/ui/selection_slider.h"

namespace tovrel::audio::ui {
namespace {

using L = AudioDialogLayout;
using Side = AudioDialogModel::Side;

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QRect pixelRect(const ControlSpec& c) {
    const int left = L::pixelsX(c.x);
    const int top = L::pixelsY(c.y);
    return QRect(left, top, L::pixelsX(c.x + c.w) - left, L::pixelsY(c.y + c.h) - top);
}

QLabel* label(QWidget* parent, const ControlSpec& c) {
    auto* l = new QLabel(text(c.text), parent);
    if (c.kind != ControlKind::Label) l->setAlignment(Qt::AlignCenter);
    if (c.kind == ControlKind::SunkenLabel) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

void setUp(QSlider* slider, const AudioDialogModel::SliderSetup& s) {
    slider->setRange(s.minimum, s.maximum);
    slider->setValue(s.position);
}

}  // namespace

CAudioDialog::CAudioDialog(const AudioFormat& format, AudioRing& ring, platform::Clock& clock,
                           QWidget* parent)
    : QDialog(parent), model_(format, ring, clock) {
    build();
    initialise();
}

CAudioDialog::~CAudioDialog() { model_.close(); }

void CAudioDialog::build() {
    setWindowTitle(text(AnalyzerTexts::kTitle));
    setModal(true);
    QFont font;
    // The dialog font where it exists; otherwise sans faces of the same metrics.
    font.setFamilies({text(AnalyzerTexts::kFontFamily), "Tahoma", "Nimbus Sans", "Liberation Sans",
                      "Arial", "DejaVu Sans"});
    font.setPointSize(L::kFontPoints);
    setFont(font);
    setFixedSize(L::pixelsX(L::kWidth), L::pixelsY(L::kHeight));

    for (const ControlSpec& c : L::kControls) {
        QWidget* w = nullptr;
        switch (c.kind) {
            case ControlKind::SunkenLabel:
            case ControlKind::CentredLabel:
            case ControlKind::Label:
                w = label(this, c);
                break;
            case ControlKind::GroupBox:
                w = new QGroupBox(text(c.text), this);
                break;
            case ControlKind::VerticalSlider: {
                auto* s = new QSlider(Qt::Vertical, this);
                s->setTickPosition(QSlider::NoTicks);
                // Minimum at the top, and the up key moves the thumb up.
                s->setInvertedAppearance(true);
                s->setInvertedControls(true);
                w = s;
                break;
            }
            case ControlKind::PositionSlider:
                position_ = new SelectionSlider(Qt::Horizontal, this);
                position_->setTickPosition(QSlider::NoTicks);
                w = position_;
                break;
            case ControlKind::ImagePane: {
                auto* pane = new ImagePane(this);
                (c.id == L::kScopePane ? scopePane_ : spectrumPane_) = pane;
                w = pane;
                break;
            }
            case ControlKind::CheckBox:
                w = new QCheckBox(text(c.text), this);
                break;
        }
        w->setGeometry(pixelRect(c));
        if (c.id > 0) {
            w->setObjectName(QString::number(c.id));
            controls_[c.id] = w;
        }
    }
}

QWidget* CAudioDialog::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void CAudioDialog::setText(int id, const std::string& t) {
    if (auto* l = qobject_cast<QLabel*>(control(id))) l->setText(QString::fromStdString(t));
}

void CAudioDialog::initialise() {
    // The worker's hand-overs run on this thread; the worker is joined before the dialog goes,
    // and a call still queued for a deleted dialog is dropped with it.
    model_.spectrumReady = [this](const QImage& image) {
        QMetaObject::invokeMethod(
            this, [this, image] { spectrumPane_->setImage(image); }, Qt::QueuedConnection);
    };
    model_.blockArrived = [this] {
        QMetaObject::invokeMethod(
            this, [this] { redrawScope(); }, Qt::QueuedConnection);
    };
    model_.open(scopePane_->size(), spectrumPane_->size());

    setUp(static_cast<QSlider*>(control(L::kLeftGain)), model_.gainSlider(Side::Left));
    setUp(static_cast<QSlider*>(control(L::kRightGain)), model_.gainSlider(Side::Right));
    setUp(static_cast<QSlider*>(control(L::kLeftOffset)), model_.offsetSlider(Side::Left));
    setUp(static_cast<QSlider*>(control(L::kRightOffset)), model_.offsetSlider(Side::Right));
    setUp(static_cast<QSlider*>(control(L::kTimeBase)), model_.timeBaseSlider());
    setUp(position_, model_.positionSlider());
    setText(L::kLeftGainLabel, model_.gainLabel(Side::Left));
    setText(L::kRightGainLabel, model_.gainLabel(Side::Right));
    setText(L::kLeftOffsetLabel, model_.offsetLabel(Side::Left));
    setText(L::kRightOffsetLabel, model_.offsetLabel(Side::Right));
    setText(L::kTimeBaseLabel, model_.timeBaseLabel());
    setText(L::kFormat, model_.formatText());
    static_cast<QCheckBox*>(control(L::kFreeze))->setChecked(model_.freeze());
    static_cast<QCheckBox*>(control(L::kTrigger))->setChecked(model_.trigger());
    scopePane_->setImage(model_.scopeImage());
    connectControls();

    connect(&scopeTimer_, &QTimer::timeout, this, [this] { redrawScope(); });
    scopeTimer_.start(AudioDialogModel::kScopeRefreshMs);
}

void CAudioDialog::connectControls() {
    auto slider = [this](int id) { return static_cast<QSlider*>(control(id)); };
    auto onSlider = [this, slider](int id, auto handle) {
        connect(slider(id), &QSlider::valueChanged, this, [this, handle](int p) {
            handle(p);
            showScope();
        });
    };
    onSlider(L::kLeftGain, [this](int p) {
        model_.onGain(Side::Left, p);
        setText(L::kLeftGainLabel, model_.gainLabel(Side::Left));
    });
    onSlider(L::kRightGain, [this](int p) {
        model_.onGain(Side::Right, p);
        setText(L::kRightGainLabel, model_.gainLabel(Side::Right));
    });
    onSlider(L::kLeftOffset, [this](int p) {
        model_.onOffset(Side::Left, p);
        setText(L::kLeftOffsetLabel, model_.offsetLabel(Side::Left));
    });
    onSlider(L::kRightOffset, [this](int p) {
        model_.onOffset(Side::Right, p);
        setText(L::kRightOffsetLabel, model_.offsetLabel(Side::Right));
    });
    onSlider(L::kTimeBase, [this](int p) {
        model_.onTimeBase(p);
        setText(L::kTimeBaseLabel, model_.timeBaseLabel());
    });
    onSlider(L::kPosition, [this](int p) { model_.onPosition(p); });
    auto onCheck = [this](int id, auto handle) {
        connect(static_cast<QCheckBox*>(control(id)), &QCheckBox::toggled, this,
                [this, handle](bool on) {
                    handle(on);
                    showScope();
                });
    };
    onCheck(L::kFreeze, [this](bool on) { model_.onFreeze(on); });
    onCheck(L::kTrigger, [this](bool on) { model_.onTrigger(on); });
}

void CAudioDialog::redrawScope() {
    if (closed_) return;
    model_.redrawScope();
    showScope();
}

void CAudioDialog::showScope() {
    scopePane_->setImage(model_.scopeImage());
    setText(L::kBufferSize, model_.bufferSizeText());
    setText(L::kDelta, model_.deltaText());
    setText(L::kStartTime, model_.startTimeText());
    setText(L::kEndTime, model_.endTimeText());
    const AudioDialogModel::Selection s = model_.selection();
    position_->setSelection(s.minimum, s.maximum);
}

void CAudioDialog::stopWorker() { model_.stopWorker(); }

void CAudioDialog::restartWorker() { model_.restartWorker(); }

void CAudioDialog::done(int result) {
    if (!closed_) {
        closed_ = true;
        scopeTimer_.stop();
        model_.close();
    }
    QDialog::done(result);
}

void CAudioDialog::keyPressEvent(QKeyEvent* event) {
    // Enter is OK even with no button to press, as in any dialog of the system.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tovrel::audio::ui
