#pragma once

#include <QDialog>
#include <QTimer>

#include <map>
#include <optional>

#include "device/box_operations.h"
#include "device/ui/io_dialog_layout.h"
#include "device/ui/io_dialog_model.h"
#include "device/ui/settings_host.h"

class QScrollBar;

namespace tovrel::device::ui {

// The Settings window "Settings": the format buttons and the resolution list, the picture,
// volume and mute controls with Default, the raw register controls and the box's status, laid
// out from the template in dialog units. It initialises itself in its constructor and is run
// modally with exec(); Enter, Esc and the close box end it (a capture restart on its way is let
// finish first). The status is read once a second, never on this thread.
// GUI thread only.
class CIODialog final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kStatusTimerId = 1;

    // `box` outlives the dialog.
    CIODialog(BoxOperations& box, SettingsHost host, QWidget* parent = nullptr);
    ~CIODialog() override;

    // The control with identifier `id`, or null.
    QWidget* control(int id) const;
    IODialogModel& model() { return model_; }
    // The font's dialog base units the layout was made with.
    IODialogLayout::BaseUnits baseUnits() const { return base_; }

    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void connectControls();
    // Brings the widgets in line with the model for the parts in `what`.
    void refreshView(unsigned what);
    void scrolled(QScrollBar* bar, IODialogModel::ScrollCode code);

    IODialogModel model_;
    std::map<int, QWidget*> controls_;
    IODialogLayout::BaseUnits base_;
    QTimer statusTimer_;
    std::optional<int> pendingResult_;  // a close asked for while a restart runs
    bool closed_ = false;
};

}  // namespace tovrel::device::ui
