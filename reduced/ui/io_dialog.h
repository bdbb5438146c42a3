#pragma once

#include <QDialog>

#include <map>

#include "device/ui/io_dialog_layout.h"
#include "reduced/ui/reduced_dialog_model.h"

class QScrollBar;

namespace tovrel::reduced::ui {

// The reduced program's Settings window "Settings": the format buttons and the resolution list,
// the video device's picture bars, the capture endpoint's volume and mute, and Default, laid out
// from its template in dialog units. No timer: it shows what the device gave when it opened and
// what the window itself changed. Run modally with exec().
// GUI thread only.
class CIODialog final : public QDialog {
    Q_OBJECT
  public:
    CIODialog(ReducedDialogModel::Host host, QWidget* parent = nullptr);

    // The control with identifier `id`, or null.
    QWidget* control(int id) const;
    ReducedDialogModel& model() { return model_; }

  private:
    void connectControls();
    void refreshView();
    void scrolled(QScrollBar* bar, ReducedDialogModel::ScrollCode code);

    ReducedDialogModel model_;
    std::map<int, QWidget*> controls_;
};

// The [F8]-Settings command's entry: unless `openSettings` holds a window already, runs one
// modally over `host`, recording it in `openSettings` while it runs. Answers its result, or -1.
int runReducedSettings(QWidget* parent, ReducedDialogModel::Host host, QDialog*& openSettings);

}  // namespace tovrel::reduced::ui
