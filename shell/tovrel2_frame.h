#pragma once

#include <QMainWindow>
#include <QTimer>

class QMenu;

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/device_discovery.h"
#include "capture/mf_manager.h"
#include "platform/backends/backends.h"
#include "platform/desktop/device_notifications.h"
#include "platform/desktop/power_notifications.h"
#include "recording/recording_controller.h"
#include "shell/command_table.h"
#include "shell/edition.h"
#include "shell/settings_store.h"
#include "shell/subsystem_entry_points.h"

namespace tovrel::shell {

class InsertKeyFilter;
class PreviewPresenter;

// The main window: holds the settings, the box flags, the capture manager and the capture
// devices, and runs the start-up sequence when it is created and the shutdown sequence when it
// closes, each step in its fixed order. It is only a surface for the live picture: every command
// comes from the popup menu and the keys of the command table; its three states are framed,
// borderless on top, and full screen.
// GUI thread only.
class CTovrel2Frame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kCaptionTimerMs = 300;
    // The message the window posts to itself when a box arrived or was removed.
    static constexpr int WM_BOXCHANGE = 1124;
    static constexpr uintptr_t BOX_ARRIVED = 100;
    static constexpr uintptr_t BOX_REMOVED = 102;
    static constexpr uint32_t kBoxSettleMs = 500;

    CTovrel2Frame(platform::Backends& backends, const Edition& edition);
    ~CTovrel2Frame() override;

    // The window-creation handler: returns 0, also when no capture device could be opened.
    int onCreate();
    // The close handler, also reached through the Exit command. Runs once.
    void onClose();

    // Copies the state text, recomputes the mode text and sets the assembled caption.
    void setCaptionState(const std::string& text);
    // One tick of the caption timer.
    void onCaptionTimer();

    platform::HRESULT createAudioCapture();
    platform::HRESULT createVideoCapture(uint32_t requestedFormat);
    int releaseCaptureSources();

    // Brings the window forward, restoring it when minimised (asked by a second copy).
    void bringForward();

    // Runs one command of the table (menu item or key).
    void onCommand(int id);
    // The popup menu as it would be shown now, check marks set (reads the box's audio source).
    std::unique_ptr<QMenu> buildPopupMenu();
    // Reads register 15 of the box: true when it reports Line-In.
    bool boxReportsLineIn();
    // Sends the AudioInput command with the value; nothing when no box is found.
    void sendAudioInput(int value);

    // The window states.
    void toggleFullScreen();
    void leaveFullScreen();
    void toggleCaption();
    void toggleKeepAspect();
    // The size handler: restored and full-screen sizes set the styles and tell the renderer,
    // a minimised window changes nothing.
    enum class SizeType { kRestored, kMaximized, kOther };
    void onSize(SizeType type, int clientWidth, int clientHeight);
    // The hit-test code of a client point for a left press: HTCAPTION (move) or an edge zone.
    int pressCode(int x, int y) const;

    // The commands of the recordings and snapshots (files named after the local time).
    void onRecording(bool screen);
    void onSnapshot(bool screen, int extensionIndex);

    // Capture restart: everything down, then up again on the given mode.
    void tearDownCapture();
    void buildUpCapture(int32_t width, int32_t height, int32_t fps, int32_t format);
    void restartCapture(int32_t width, int32_t height, int32_t fps, int32_t format);

    // Device-interface arrival and removal: true when handled. Posts WM_BOXCHANGE, which runs
    // after this has returned.
    bool onDeviceChange(uint32_t event, const platform::DeviceBroadcastInterface* data);
    // WM_BOXCHANGE: the box was removed (capture down, the last picture stays) or has arrived
    // (capture built up again). Returns 0.
    int onBoxChange(uintptr_t wParam);
    // Sleep, wake and the display's power on machines with modern standby. Always true.
    bool onPowerBroadcast(uint32_t event, const platform::PowerBroadcastSetting* data);

    // The open analyzer window's worker around the restarts; nothing when none is open.
    void stopAnalyzerWorker();
    void restartAnalyzerWorker();

    PreviewPresenter& presenter() { return *presenter_; }

    // The other subsystems' entry points the commands call; empty until they are wired.
    SubsystemEntryPoints entryPoints;

    // Step names of the start-up and shutdown sequences as they run, for diagnostics and tests.
    std::function<void(const char*)> stepObserver;

    // Members with their values before the window exists.
    std::unique_ptr<capture::MFManager> captureManager;
    // The box recording of captureManager, made with it when the backends have a sink writer
    // and let go before it; the recording entry points reach it here.
    std::unique_ptr<recording::RecordingController> recordingController;
    capture::DeviceDiscovery devices;
    uint8_t suspended = 0;
    platform::PowerCapabilities powerCaps;
    void* analyzerDialog = nullptr;  // set while the analyzer window is open
    void* settingsDialog = nullptr;  // set while the Settings window is open
    uint32_t fullScreen = 0;
    uint32_t captionShown = 1;
    uint8_t interfaceMask = 0;
    uint64_t recordStartTick = 0;
    int32_t recordNoticeSent = 0;
    Settings settings;
    int32_t requestedWidth = 0;
    int32_t requestedHeight = 0;
    int32_t requestedFps = 0;
    std::string programName;
    std::string stateText;
    std::string formatText;
    std::string captionText;

    bool shutDown() const { return shutDown_; }
    bool keyboardFilterInstalled() const { return keyFilter_ != nullptr; }
    bool captionTimerActive() const { return captionTimer_.isActive(); }

  protected:
    void customEvent(QEvent* event) override;
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
    // Hands a press of the left button still held to the window manager's move or resize.
    void startSystemDrag();
    void step(const char* name);
    void applyFrameState();
    void updateExposed();
    bool checked(const CommandTable::Command& command, bool lineIn) const;
    void setPreviewCaption();
    void clearBoxFlags();
    void postBoxChange(uintptr_t wParam);
    void suspendPath();
    void resumePath();
    bool captureUp() const;
    void registerNotifications();
    void unregisterNotifications();
    std::string settingsPath() const;

    platform::Backends& backends_;
    const Edition& edition_;
    QTimer captionTimer_;
    InsertKeyFilter* keyFilter_ = nullptr;
    PreviewPresenter* presenter_ = nullptr;
    bool shutDown_ = false;
    // The hit-test code of the press of the left button not yet handed to the window manager;
    // 0 for none.
    int pendingDragCode_ = 0;
};

}  // namespace tovrel::shell
