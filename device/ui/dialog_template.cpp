#include "device/ui/dialog_template.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "device/ui/io_dialog_texts.h"

namespace tovrel::device::ui {
namespace {

using L = IODialogLayout;
using K = IOControlKind;
using Code = IODialogModel::ScrollCode;

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QRect pixelRect(const IOControlSpec& c, int32_t height, L::BaseUnits base) {
    const int left = L::pixelsX(c.x, base);
    const int top = L::pixelsY(c.y, base);
    return QRect(left, top, L::pixelsX(c.x + c.w, base) - left,
                 L::pixelsY(c.y + height, base) - top);
}

}  // namespace

DialogTemplate::Built DialogTemplate::build(QDialog& dialog, std::string_view title,
                                            std::span<const IOControlSpec> controls, int32_t width,
                                            int32_t height, int32_t scrollBarMaximum,
                                            QObject* scrollBarFilter) {
    Built built;

    dialog.setWindowTitle(text(title));
    dialog.setModal(true);
    QFont font;
    // The dialog font where it exists; otherwise sans faces of the same metrics.
    font.setFamilies({text(IODialogTexts::kFontFamily), "Tahoma", "Nimbus Sans", "Liberation Sans",
                      "Arial", "DejaVu Sans"});
    font.setPointSize(L::kFontPoints);
    // The template was laid out for the dialog font's base units; a face that measures larger
    // here is made smaller until it fits them, so that every caption fits its control and the
    // window keeps the template's proportions.
    const L::BaseUnits wanted{L::kBaseUnitX, L::kBaseUnitY};
    for (int pixels = QFontInfo(font).pixelSize(); pixels > L::kMinimumFontPixels; --pixels) {
        const QFontMetrics m(font);
        const L::BaseUnits measured =
            L::baseUnits(m.horizontalAdvance(text(L::kAverageWidthSample)), m.height());
        if (measured.x <= wanted.x && measured.y <= wanted.y) break;
        font.setPixelSize(pixels - 1);
    }
    dialog.setFont(font);
    built.base = wanted;
    const L::BaseUnits base = built.base;
    dialog.setFixedSize(L::pixelsX(width, base), L::pixelsY(height, base));

    QWidget* previous = nullptr;
    for (const IOControlSpec& c : controls) {
        QWidget* w = nullptr;
        int32_t controlHeight = c.h;
        switch (c.kind) {
            case K::Radio:
            case K::HiddenRadio: {
                auto* r = new QRadioButton(text(c.text), &dialog);
                r->setAutoExclusive(false);  // the window sets the checks
                w = r;
                break;
            }
            case K::DropList: {
                auto* list = new QComboBox(&dialog);
                controlHeight = L::kDropListClosedHeight;
                // The opened list takes the rest of the template's height.
                const int itemPixels = list->fontMetrics().height() + 2;
                list->setMaxVisibleItems(std::max(
                    1, (L::pixelsY(c.h, base) - L::pixelsY(controlHeight, base)) / itemPixels));
                w = list;
                break;
            }
            case K::Button: {
                auto* b = new QPushButton(text(c.text), &dialog);
                b->setAutoDefault(false);
                w = b;
                break;
            }
            case K::Label:
                w = new QLabel(text(c.text), &dialog);
                break;
            case K::CentredLabel: {
                auto* label = new QLabel(text(c.text), &dialog);
                label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
                w = label;
                break;
            }
            case K::ScrollBar: {
                auto* bar = new QScrollBar(Qt::Horizontal, &dialog);
                bar->setRange(0, scrollBarMaximum);
                bar->setSingleStep(1);
                bar->setPageStep(1);
                bar->setFocusPolicy(Qt::StrongFocus);
                if (scrollBarFilter) bar->installEventFilter(scrollBarFilter);
                w = bar;
                break;
            }
            case K::CheckBox:
                w = new QCheckBox(text(c.text), &dialog);
                break;
            case K::GroupBox:
                w = new QGroupBox(text(c.text), &dialog);
                w->lower();
                break;
            case K::Edit:
                w = new QLineEdit(&dialog);
                break;
        }
        w->setGeometry(pixelRect(c, controlHeight, base));
        if (c.kind == K::HiddenRadio) w->hide();
        if (c.id > 0) {
            w->setObjectName(QString::number(c.id));
            built.controls[c.id] = w;
        }
        if (w->focusPolicy() != Qt::NoFocus) {
            if (previous) QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
    return built;
}

void DialogTemplate::connectScrollBar(QScrollBar* bar, QObject* context,
                                      std::function<void(Code)> scrolled) {
    QObject::connect(bar, &QAbstractSlider::actionTriggered, context, [scrolled](int action) {
        switch (action) {
            case QAbstractSlider::SliderSingleStepSub:
                scrolled(Code::LineLeft);
                break;
            case QAbstractSlider::SliderSingleStepAdd:
                scrolled(Code::LineRight);
                break;
            case QAbstractSlider::SliderPageStepSub:
                scrolled(Code::PageLeft);
                break;
            case QAbstractSlider::SliderPageStepAdd:
                scrolled(Code::PageRight);
                break;
            case QAbstractSlider::SliderMove:
                scrolled(Code::ThumbTrack);
                break;
            default:
                scrolled(Code::Other);
                break;
        }
    });
    QObject::connect(bar, &QAbstractSlider::sliderReleased, context,
                     [scrolled] { scrolled(Code::ThumbPosition); });
}

}  // namespace tovrel::device::ui
