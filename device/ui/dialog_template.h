#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string_view>

#include "device/ui/io_dialog_layout.h"
#include "device/ui/io_dialog_model.h"

class QDialog;
class QObject;
class QScrollBar;
class QWidget;

namespace tovrel::device::ui {

// Builds a settings window from its template in dialog units: the dialog font fitted to the
// template's base units, the fixed size, every control at its rectangle in tab order, and the
// horizontal scroll bars' moves told as the scroll codes of a scroll message. Both programs'
// Settings windows are made this way. GUI thread only.
class DialogTemplate {
  public:
    struct Built {
        std::map<int, QWidget*> controls;  // by identifier, the ones that have one
        IODialogLayout::BaseUnits base;
    };

    // Scroll bars get `scrollBarFilter` as their event filter (for the end of a scroll).
    static Built build(QDialog& dialog, std::string_view title,
                       std::span<const IOControlSpec> controls, int32_t width, int32_t height,
                       int32_t scrollBarMaximum, QObject* scrollBarFilter);

    // Calls `scrolled` with the scroll code of each move of `bar` (inside actionTriggered, so
    // that setting the bar's slider position there replaces the move the bar would make), and
    // with ThumbPosition when the thumb is let go.
    static void connectScrollBar(QScrollBar* bar, QObject* context,
                                 std::function<void(IODialogModel::ScrollCode)> scrolled);
};

}  // namespace tovrel::device::ui
