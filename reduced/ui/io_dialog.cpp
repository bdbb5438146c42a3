#include "reduced/ui/io_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <memory>

#include "device/ui/dialog_template.h"
#include "device/ui/io_dialog_texts.h"
#include "reduced/ui/reduced_dialog_layout.h"

namespace tovrel::reduced::ui {
namespace {

using L = ReducedDialogLayout;
using Code = ReducedDialogModel::ScrollCode;

}  // namespace

CIODialog::CIODialog(ReducedDialogModel::Host host, QWidget* parent)
    : QDialog(parent), model_(std::move(host)) {
    controls_ =
        device::ui::DialogTemplate::build(*this, device::ui::IODialogTexts::kTitle, L::kControls,
                                          L::kWidth, L::kHeight, L::kVolumeMaximum, nullptr)
            .controls;
    model_.open();
    refreshView();
    connectControls();
}

QWidget* CIODialog::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void CIODialog::connectControls() {
    std::vector<int32_t> bars{L::kVolume};
    for (const L::PictureBar& b : L::kPictureBars) bars.push_back(b.id);
    for (int32_t id : bars) {
        auto* bar = static_cast<QScrollBar*>(control(id));
        device::ui::DialogTemplate::connectScrollBar(
            bar, this, [this, bar](Code code) { scrolled(bar, code); });
    }
    connect(static_cast<QCheckBox*>(control(L::kMute)), &QCheckBox::clicked, this, [this] {
        model_.onMute();
        refreshView();
    });
    connect(static_cast<QPushButton*>(control(L::kDefault)), &QPushButton::clicked, this, [this] {
        model_.onDefault();
        refreshView();
    });
    connect(static_cast<QPushButton*>(control(L::kResolutionSet)), &QPushButton::clicked, this,
            [this] {
                model_.onResolutionSet(
                    static_cast<QComboBox*>(control(L::kResolutionList))->currentIndex());
                refreshView();
            });
    for (int32_t id : L::kFormatRadios) {
        connect(static_cast<QRadioButton*>(control(id)), &QRadioButton::clicked, this, [this, id] {
            model_.onFormat(id);
            refreshView();
        });
    }
}

void CIODialog::scrolled(QScrollBar* bar, Code code) {
    const int32_t id = bar->objectName().toInt();
    const int32_t position = model_.onScroll(id, code, bar->sliderPosition());
    // Inside actionTriggered this replaces the move the bar would make by itself.
    bar->setSliderPosition(position);
    const int32_t label = id == L::kVolume ? L::kVolumeValue : [id] {
        for (const L::PictureBar& b : L::kPictureBars)
            if (b.id == id) return b.valueLabel;
        return -1;
    }();
    if (auto* text = qobject_cast<QLabel*>(control(label)))
        text->setText(QString::fromStdString(model_.valueText(id)));
}

void CIODialog::refreshView() {
    const auto show = [this](int32_t barId, int32_t labelId) {
        auto* bar = static_cast<QScrollBar*>(control(barId));
        const auto [lo, hi] = model_.range(barId);
        QSignalBlocker block(bar);
        bar->setRange(lo, hi);
        bar->setValue(model_.value(barId));
        static_cast<QLabel*>(control(labelId))
            ->setText(QString::fromStdString(model_.valueText(barId)));
    };
    for (const L::PictureBar& b : L::kPictureBars) show(b.id, b.valueLabel);
    show(L::kVolume, L::kVolumeValue);
    static_cast<QCheckBox*>(control(L::kMute))->setChecked(model_.muted());
    for (size_t f = 0; f < L::kFormatRadios.size(); ++f)
        static_cast<QRadioButton*>(control(L::kFormatRadios[f]))
            ->setChecked(model_.checkedFormat() == static_cast<int32_t>(f));
    auto* list = static_cast<QComboBox*>(control(L::kResolutionList));
    {
        QSignalBlocker block(list);
        list->clear();
        for (const std::string& entry : model_.modeEntries())
            list->addItem(QString::fromStdString(entry));
        list->setCurrentIndex(model_.selectedMode() < list->count() ? model_.selectedMode() : -1);
    }
    for (const auto& [id, w] : controls_) w->setEnabled(model_.enabled(id));
}

int runReducedSettings(QWidget* parent, ReducedDialogModel::Host host, QDialog*& openSettings) {
    if (openSettings) return -1;
    auto dialog = std::make_unique<CIODialog>(std::move(host), parent);
    openSettings = dialog.get();
    const int result = dialog->exec();
    dialog.reset();
    openSettings = nullptr;
    return result;
}

}  // namespace tovrel::reduced::ui
