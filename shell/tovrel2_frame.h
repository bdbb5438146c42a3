#pragma once

#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "capture/device_discovery.h"
#include "capture/mf_manager.h"
#include "platform/backends/backends.h"
#include "shell/edition.h"
#include "shell/settings_store.h"

namespace tovrel::shell {

class InsertKeyFilter;

// The main window: holds the settings, the box flags, the capture manager and the capture
// devices, and runs the start-up sequence when it is created and the shutdown sequence when it
// closes, each step in its fixed order.
// GUI thread only.
class CTovrel2Frame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kCaptionTimerMs = 300;

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

    // Step names of the start-up and shutdown sequences as they run, for diagnostics and tests.
    std::function<void(const char*)> stepObserver;

    // Members with their values before the window exists.
    std::unique_ptr<capture::MFManager> captureManager;
    capture::DeviceDiscovery devices;
    uint8_t suspended = 0;
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
    void closeEvent(QCloseEvent* event) override;

  private:
    void step(const char* name);
    std::string settingsPath() const;

    platform::Backends& backends_;
    const Edition& edition_;
    QTimer captionTimer_;
    InsertKeyFilter* keyFilter_ = nullptr;
    bool shutDown_ = false;
};

}  // namespace tovrel::shell
