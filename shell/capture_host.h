#pragma once

#include <QObject>

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/device_discovery.h"
#include "capture/mf_manager.h"
#include "device/ui/settings_host.h"
#include "platform/backends/backends.h"
#include "platform/desktop/device_notifications.h"
#include "platform/desktop/power_notifications.h"
#include "platform/system/hresult.h"
#include "platform/system/thread_checker.h"
#include "recording/recording_controller.h"
#include "recording/screen_recorder.h"
#include "shell/settings_store.h"

namespace tovrel::shell {

class CaptureHostObserver;
class CaptureParticipant;

// The capture lifecycle of the main window, without the window: owns the capture manager, the
// box recording, the two capture devices and the notification registrations, and carries out
// start-up's and shutdown's capture steps, the teardown, the build-up, the restart with a new
// mode, and the reactions to a box arriving or leaving and to sleep, wake and the display's power,
// each in its fixed order with its waits. The window hears of it through its observer; the
// parts that must follow a teardown and a build-up register as participants.
// GUI thread only (checked in debug builds); the notifications arrive there too.
class CaptureHost final : public QObject {
  public:
    // The message a box arrival or removal posts, run once the notification has returned.
    static constexpr int WM_BOXCHANGE = 1124;
    static constexpr uintptr_t BOX_ARRIVED = 100;
    static constexpr uintptr_t BOX_REMOVED = 102;
    static constexpr uint32_t kBoxSettleMs = 500;

    // `settings` (the window's) and `observer` outlive the host; `rules` are the edition's.
    CaptureHost(platform::Backends& backends, const Settings& settings,
                CaptureHostObserver& observer, const capture::CaptureRules& rules = {});
    // Without a shutDown() (a failed start, the end of a test) only the capture threads are
    // stopped: a recording is finalised, nothing is written.
    ~CaptureHost() override;
    CaptureHost(const CaptureHost&) = delete;
    CaptureHost& operator=(const CaptureHost&) = delete;

    // Start-up's capture steps: the notifications, the capture manager, the audio and then the
    // video device, the session and streaming. True when streaming runs; false when a device
    // could not be opened (its message shown), and capture then waits for a box to arrive.
    bool startUp();
    // Shutdown's capture steps: recordings finished, streaming stopped, session closed, capture
    // manager destroyed, devices released, notifications unregistered. Runs once; afterwards no
    // notification brings capture up again.
    void shutDown();

    // Everything down: recordings, streaming, session, devices.
    void tearDownCapture();
    // Devices, session and streaming on the given mode; 0 means the device's default.
    void buildUpCapture(int32_t width, int32_t height, int32_t fps, int32_t format);
    // Down and up again on the given mode, which is kept for later restarts.
    void restartCapture(int32_t width, int32_t height, int32_t fps, int32_t format);

    // Device-interface arrival and removal: true when handled. Posts WM_BOXCHANGE.
    bool onDeviceChange(uint32_t event, const platform::DeviceBroadcastInterface* data);
    // WM_BOXCHANGE: the box was removed (capture down, the last picture stays) or has arrived
    // (capture built up again). Returns 0.
    int onBoxChange(uintptr_t wParam);
    // Sleep, wake and the display's power on machines with modern standby. Always true.
    bool onPowerBroadcast(uint32_t event, const platform::PowerBroadcastSetting* data);

    // The participant stays registered until removed; it must outlive its registration.
    void addParticipant(CaptureParticipant& participant);
    void removeParticipant(CaptureParticipant& participant);

    // What a Settings window needs of the capture: the catalogue and the running mode as they
    // are when asked, and the restart with a new mode.
    device::ui::SettingsHost settingsHost();

    // The device openings, each showing its message when it fails.
    platform::HRESULT createAudioCapture();
    platform::HRESULT createVideoCapture(uint32_t requestedFormat);
    int releaseCaptureSources();

    std::unique_ptr<capture::MFManager> captureManager;
    // The box recording of captureManager, made with it when the backends have a sink writer
    // and let go before it.
    std::unique_ptr<recording::RecordingController> recordingController;
    // The desktop's recording and snapshots beside it, made and let go with it; it shares the
    // manager's writer, so it goes before the manager does.
    std::unique_ptr<recording::ScreenRecorder> screenRecorder;
    capture::DeviceDiscovery devices;
    uint8_t suspended = 0;
    platform::PowerCapabilities powerCaps;
    uint8_t interfaceMask = 0;
    int32_t requestedWidth = 0;
    int32_t requestedHeight = 0;
    int32_t requestedFps = 0;

  private:
    void step(const char* name);
    // The recordings finished, then streaming stopped; the capture manager exists.
    void stopRecordingsAndStreaming();
    void openSessionAndStream(int32_t width, int32_t height, int32_t fps, int32_t format);
    void clearBoxFlags();
    void postBoxChange(uintptr_t wParam);
    void suspendPath();
    void resumePath();
    bool captureUp() const;
    void stopParticipants();
    void startParticipants();
    void registerNotifications();
    void unregisterNotifications();

    platform::Backends& backends_;
    const capture::CaptureRules rules_;
    const Settings& settings_;
    CaptureHostObserver& observer_;
    std::vector<CaptureParticipant*> participants_;
    bool shutDown_ = false;
    platform::ThreadChecker thread_;
};

}  // namespace tovrel::shell
