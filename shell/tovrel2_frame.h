#pragma once

#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/backends/backends.h"
#include "recording/snapshot_writer.h"
#include "shell/capture_host.h"
#include "shell/capture_host_observer.h"
#include "shell/edition.h"
#include "shell/settings_store.h"
#include "shell/subsystem_entry_points.h"

namespace tovrel::audio::ui {
class CAudioDialog;
}
namespace tovrel::device {
class BoxOperations;
}

class QDialog;
class QMenu;

namespace tovrel::shell {

class InsertKeyFilter;
class PreviewPresenter;

// The main window: holds the settings and the caption, runs the window's part of the start-up
// and shutdown sequences (its capture steps are the capture host's), and is a surface for the
// live picture. Every command comes from the popup menu and the keys of its edition's menu; its
// three states are framed, borderless on top, and full screen.
// GUI thread only.
class CTovrel2Frame : public QMainWindow, private CaptureHostObserver {
    Q_OBJECT
  public:
    static constexpr int kCaptionTimerMs = 300;
    // How long the menu waits for the box to say its audio source before it shows the last one.
    static constexpr uint32_t kAudioSourceWaitMs = 250;

    // `box`: the program's register access, null without one (no notices, no audio source).
    CTovrel2Frame(platform::Backends& backends, const Edition& edition,
                  device::BoxOperations* box = nullptr);
    ~CTovrel2Frame() override;

    // The window-creation handler: returns 0, also when no capture device could be opened.
    int onCreate();
    // The close handler, also reached through the Exit command. Runs once.
    void onClose();

    // Copies the state text, recomputes the mode text and sets the assembled caption.
    void setCaptionState(const std::string& text);
    // One tick of the caption timer.
    void onCaptionTimer();

    // Brings the window forward, restoring it when minimised (asked by a second copy).
    void bringForward();

    // Runs one command of the edition's menu (menu item or key); others do nothing.
    void onCommand(int id);
    // The popup menu as it would be shown now, check marks set (asks the box's audio source).
    std::unique_ptr<QMenu> buildPopupMenu();

    // What the commands do.
    void toggleMotionDetection();
    void onRecording(bool screen);
    // Ends the running recording as the user's stop would when its file can take nothing more.
    bool stopRecordingThatCannotWrite(bool screen);
    void onSnapshot(bool screen, int extensionIndex);
    void toggleMute();
    void openAnalyzer();
    void openSettings();
    void togglePreview();
    void toggleFullScreen();
    void leaveFullScreen();
    void toggleCaption();
    void toggleKeepAspect();
    // Sends the AudioInput command with the value, behind the register work already queued.
    void setAudioSource(int value);

    // The size handler: restored and full-screen sizes set the styles and tell the renderer,
    // a minimised window changes nothing.
    enum class SizeType { kRestored, kMaximized, kOther };
    void onSize(SizeType type, int clientWidth, int clientHeight);
    // The hit-test code of a client point for a left press: HTCAPTION (move) or an edge zone.
    int pressCode(int x, int y) const;

    PreviewPresenter& presenter() { return *presenter_; }
    CaptureHost& host() { return host_; }
    const Edition& edition() const { return edition_; }

    // The other subsystems' entry points the commands call. The window fills those its edition
    // has; a command whose entry point is empty does nothing at all (no caption change, no
    // flag), so the menu never claims work that did not happen. Tests replace them.
    SubsystemEntryPoints entryPoints;

    std::function<void(const char*)> stepObserver;  // each step's name as it begins (tests)

    // Members with their values before the window exists.
    audio::ui::CAudioDialog* analyzerDialog = nullptr;  // the open analyzer window
    QDialog* settingsDialog = nullptr;                  // the open Settings window
    uint32_t fullScreen = 0;
    uint32_t captionShown = 1;
    uint64_t recordStartTick = 0;
    int32_t recordNoticeSent = 0;
    Settings settings;
    std::string programName;
    std::string stateText;
    std::string formatText;
    std::string captionText;

    bool shutDown() const { return shutDown_; }
    bool keyboardFilterInstalled() const { return keyFilter_ != nullptr; }
    bool captionTimerActive() const { return captionTimer_.isActive(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // CaptureHostObserver
    void captureStep(const char* name) override { step(name); }
    void deviceMissing(const char* text) override;
    capture::PreviewSurface* previewSurface() override;
    void finishRecordings() override;
    void captureRebuilt() override;

    void fillEntryPoints();
    // Hands a press of the left button still held to the window manager's move or resize.
    void startSystemDrag();
    void step(const char* name);
    void applyFrameState();
    void updateExposed();
    bool checked(const CommandTable::Command& command, bool lineIn) const;
    void setPreviewCaption();
    std::string settingsPath() const;

    platform::Backends& backends_;
    const Edition& edition_;
    device::BoxOperations* box_;
    // Encodes the snapshots off this thread; made when the backends have image encoders.
    std::unique_ptr<recording::SnapshotWriter> snapshotWriter_;
    QTimer captionTimer_;
    InsertKeyFilter* keyFilter_ = nullptr;
    PreviewPresenter* presenter_ = nullptr;
    bool shutDown_ = false;
    // The hit-test code of the press of the left button not yet handed to the window manager;
    // 0 for none.
    int pendingDragCode_ = 0;
    // Declared last: made after everything it calls back into, gone before it.
    CaptureHost host_;
};

}  // namespace tovrel::shell
