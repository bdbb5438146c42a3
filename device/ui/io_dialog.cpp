#include "device/ui/io_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "device/ui/dialog_template.h"
#include "device/ui/io_dialog_layout.h"
#include "device/ui/io_dialog_texts.h"

namespace tovrel::device::ui {
namespace {

using L = IODialogLayout;
using Code = IODialogModel::ScrollCode;

// Results come back on the GUI thread through the application object, which outlives every
// dialog; the model drops those that arrive after it has gone.
void postToGuiThread(std::function<void()> call) {
    QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
}

}  // namespace

CIODialog::CIODialog(BoxOperations& box, SettingsHost host, QWidget* parent)
    : QDialog(parent), model_(box, std::move(host), postToGuiThread) {
    build();
    model_.changed = [this](unsigned what) { refreshView(what); };
    model_.open();
    refreshView(~0u);
    connectControls();
    statusTimer_.setInterval(IODialogModel::kStatusRefreshMs);
    connect(&statusTimer_, &QTimer::timeout, this, [this] { model_.refresh(); });
    statusTimer_.start();
}

CIODialog::~CIODialog() {
    statusTimer_.stop();
    model_.changed = nullptr;
}

void CIODialog::build() {
    DialogTemplate::Built built =
        DialogTemplate::build(*this, IODialogTexts::kTitle, L::kControls, L::kWidth, L::kHeight,
                              IODialogModel::kMaxValue, this);
    controls_ = std::move(built.controls);
    base_ = built.base;
}

QWidget* CIODialog::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void CIODialog::connectControls() {
    for (const L::Bar& b : L::kBars) {
        auto* bar = static_cast<QScrollBar*>(control(b.id));
        DialogTemplate::connectScrollBar(bar, this,
                                         [this, bar](Code code) { scrolled(bar, code); });
    }
    connect(static_cast<QCheckBox*>(control(L::kMute)), &QCheckBox::clicked, this, [this] {
        model_.onMute();
        refreshView(IODialogModel::kValues);
    });
    connect(static_cast<QPushButton*>(control(L::kDefault)), &QPushButton::clicked, this, [this] {
        model_.onDefault();
        refreshView(IODialogModel::kValues);
    });
    auto edit = [this](int id) {
        return static_cast<QLineEdit*>(control(id))->text().toStdString();
    };
    connect(static_cast<QPushButton*>(control(L::kRawSet)), &QPushButton::clicked, this,
            [this, edit] { model_.onRawSet(edit(L::kRawCommand), edit(L::kRawData)); });
    connect(static_cast<QPushButton*>(control(L::kRawGet)), &QPushButton::clicked, this,
            [this, edit] { model_.onRawGet(edit(L::kRawCommand)); });
    connect(static_cast<QPushButton*>(control(L::kResolutionSet)), &QPushButton::clicked, this,
            [this] {
                model_.onResolutionSet(
                    static_cast<QComboBox*>(control(L::kResolutionList))->currentIndex());
                refreshView(IODialogModel::kEnabled);
            });
    for (int32_t id : L::kFormatRadios) {
        connect(static_cast<QRadioButton*>(control(id)), &QRadioButton::clicked, this, [this, id] {
            model_.onFormat(id);
            refreshView(IODialogModel::kEnabled | IODialogModel::kFormats);
        });
    }
}

void CIODialog::scrolled(QScrollBar* bar, IODialogModel::ScrollCode code) {
    const int32_t id = bar->objectName().toInt();
    const int32_t position = model_.onScroll(id, code, bar->sliderPosition());
    // Inside actionTriggered this replaces the move the bar would make by itself.
    bar->setSliderPosition(position);
    for (const L::Bar& b : L::kBars)
        if (b.id == id)
            static_cast<QLabel*>(control(b.valueLabel))
                ->setText(QString::fromStdString(model_.valueText(id)));
}

void CIODialog::refreshView(unsigned what) {
    if (what & IODialogModel::kValues) {
        for (const L::Bar& b : L::kBars) {
            auto* bar = static_cast<QScrollBar*>(control(b.id));
            if (!bar->isSliderDown()) bar->setValue(model_.value(b.id));
            static_cast<QLabel*>(control(b.valueLabel))
                ->setText(QString::fromStdString(model_.valueText(b.id)));
        }
        static_cast<QCheckBox*>(control(L::kMute))->setChecked(model_.muted());
    }
    if (what & IODialogModel::kStatus) {
        for (const L::StatusLabel& s : L::kStatusLabels)
            static_cast<QLabel*>(control(s.id))
                ->setText(QString::fromStdString(model_.statusText(s.id)));
    }
    if (what & IODialogModel::kRawData) {
        static_cast<QLineEdit*>(control(L::kRawData))
            ->setText(QString::fromStdString(model_.rawData()));
    }
    if (what & IODialogModel::kFormats) {
        for (size_t f = 0; f < L::kFormatRadios.size(); ++f)
            static_cast<QRadioButton*>(control(L::kFormatRadios[f]))
                ->setChecked(model_.checkedFormat() == static_cast<int32_t>(f));
        auto* list = static_cast<QComboBox*>(control(L::kResolutionList));
        QSignalBlocker block(list);
        list->clear();
        int32_t position = 0;
        for (const std::string& entry : model_.modeEntries())
            list->insertItem(position++, QString::fromStdString(entry));
        list->setCurrentIndex(model_.selectedMode());
    }
    if (what & IODialogModel::kEnabled) {
        for (const auto& [id, w] : controls_) w->setEnabled(model_.enabled(id));
        if (pendingResult_ && !model_.restarting()) {
            const int result = *pendingResult_;
            pendingResult_.reset();
            done(result);
        }
    }
}

bool CIODialog::eventFilter(QObject* watched, QEvent* event) {
    // The end of a scroll: the button let go over a bar, or its arrow key released.
    auto* bar = qobject_cast<QScrollBar*>(watched);
    if (bar && bar->isEnabled()) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            QMetaObject::invokeMethod(
                this, [this, bar] { scrolled(bar, Code::EndScroll); }, Qt::QueuedConnection);
        } else if (event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool scrollKey = key->key() == Qt::Key_Left || key->key() == Qt::Key_Right ||
                                   key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown ||
                                   key->key() == Qt::Key_Home || key->key() == Qt::Key_End;
            if (scrollKey && !key->isAutoRepeat()) scrolled(bar, Code::EndScroll);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CIODialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A focused button takes Enter; anywhere else Enter is OK, as in any dialog here.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

void CIODialog::done(int result) {
    if (model_.restarting()) {
        pendingResult_ = result;  // the restart holds the capture; close once it is through
        return;
    }
    if (!closed_) {
        closed_ = true;
        statusTimer_.stop();
        model_.close();
    }
    QDialog::done(result);
}

}  // namespace tovrel::device::ui
