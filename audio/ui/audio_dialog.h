#pragma once

#include <QDialog>
#include <QTimer>

#include <map>
#include <memory>

#include "audio/audio_format.h"
#include "audio/audio_ring.h"
#include "audio/ui/audio_dialog_model.h"
#include "platform/system/clock.h"

class QCheckBox;
class QLabel;
class QSlider;

namespace tovrel::audio::ui {

class ImagePane;
class SelectionSlider;

// The analyzer window "Audio": the oscilloscope pane with its gain, offset, time-base, freeze,
// trigger and position controls and its read-outs, and the spectrum pane. It is built and
// initialised (worker started) by its constructor and run modally with exec(); OK and Cancel
// (Enter, Esc, the close box) both stop and join the worker before the dialog ends.
// GUI thread only; the worker hands its images over by queued calls.
class CAudioDialog final : public QDialog {
    Q_OBJECT
  public:
    // `ring` and `clock` must outlive the dialog.
    CAudioDialog(const AudioFormat& format, AudioRing& ring, platform::Clock& clock,
                 QWidget* parent = nullptr);
    ~CAudioDialog() override;

    // The control with identifier `id` (1001 ... 1025), or null.
    QWidget* control(int id) const;
    AudioDialogModel& model() { return model_; }
    ImagePane* scopePane() const { return scopePane_; }
    ImagePane* spectrumPane() const { return spectrumPane_; }

    // For capture restarts while the window is open.
    void stopWorker();
    void restartWorker();

    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void build();
    void initialise();
    void connectControls();
    // Draws the scope anew and shows it with the read-outs.
    void redrawScope();
    // Shows the scope the model drew last, with the read-outs.
    void showScope();
    void setText(int id, const std::string& text);

    AudioDialogModel model_;
    std::map<int, QWidget*> controls_;
    ImagePane* scopePane_ = nullptr;
    ImagePane* spectrumPane_ = nullptr;
    SelectionSlider* position_ = nullptr;
    QTimer scopeTimer_;
    bool closed_ = false;
};

}  // namespace tovrel::audio::ui
