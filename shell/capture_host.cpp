#include "shell/capture_host.h"

#include <algorithm>
#include <cstdio>

#include "platform/system/debug_output.h"
#include "shell/box_interfaces.h"
#include "shell/capture_host_observer.h"
#include "shell/capture_participant.h"
#include "shell/shell_texts.h"

namespace tovrel::shell {

CaptureHost::CaptureHost(platform::Backends& backends, const Settings& settings,
                         CaptureHostObserver& observer, const capture::CaptureRules& rules)
    : devices(backends.mediaDevices.get()),
      backends_(backends),
      rules_(rules),
      settings_(settings),
      observer_(observer) {
    devices.rules = rules;
}

CaptureHost::~CaptureHost() {
    unregisterNotifications();
    if (shutDown_ || !captureManager) return;
    // A recording still running is finalised while its reads still run.
    if (recordingController && captureManager->recording) recordingController->StopRecording();
    screenRecorder.reset();
    if (captureManager->streaming) captureManager->stopStreaming(*backends_.clock);
    recordingController.reset();
    captureManager->closeSession();
    captureManager.reset();
    // The devices go with `devices`.
}

void CaptureHost::step(const char* name) { observer_.captureStep(name); }

bool CaptureHost::startUp() {
    TOVREL_CHECK_THREAD(thread_);
    registerNotifications();

    step("createCaptureManager");
    interfaceMask = 0;
    captureManager = std::make_unique<capture::MFManager>(*backends_.clock);
    captureManager->nv12Catalogued = rules_.nv12;
    captureManager->audioMonitor.setEndpoints(backends_.audioEndpoints.get());
    if (backends_.sinkWriters) {
        recordingController = std::make_unique<recording::RecordingController>(
            *captureManager, *backends_.sinkWriters);
        if (rules_.desktop) {
            screenRecorder = std::make_unique<recording::ScreenRecorder>(
                *captureManager, *backends_.sinkWriters, backends_.desktop.get(),
                backends_.loopback.get(), backends_.imageEncoders.get());
        }
    }

    step("createAudioCapture");
    if (platform::FAILED(createAudioCapture())) return false;
    step("createVideoCapture");
    if (platform::FAILED(createVideoCapture(capture::kFormatNone))) return false;
    openSessionAndStream(0, 0, 0, 0);
    return true;
}

void CaptureHost::shutDown() {
    TOVREL_CHECK_THREAD(thread_);
    if (shutDown_) return;
    shutDown_ = true;
    platform::Clock& clock = *backends_.clock;
    // A window still open over the session (a close by a signal reaches a modal analyzer) stops
    // reading what is about to go.
    stopParticipants();
    if (captureManager) {
        stopRecordingsAndStreaming();
        clock.sleep(100);

        step("closeSession");
        screenRecorder.reset();
        recordingController.reset();
        captureManager->closeSession();
        captureManager.reset();
    }
    clock.sleep(100);

    step("releaseCaptureSources");
    releaseCaptureSources();

    step("unregisterNotifications");
    unregisterNotifications();
}

platform::HRESULT CaptureHost::createAudioCapture() {
    const platform::HRESULT hr = devices.createAudioCapture();
    if (platform::FAILED(hr)) observer_.deviceMissing(ShellTexts::kNoAudioDevice);
    return hr;
}

platform::HRESULT CaptureHost::createVideoCapture(uint32_t requestedFormat) {
    const platform::HRESULT hr = devices.createVideoCapture(requestedFormat);
    if (platform::FAILED(hr)) observer_.deviceMissing(ShellTexts::kNoVideoDevice);
    return hr;
}

int CaptureHost::releaseCaptureSources() { return devices.releaseCaptureSources(); }

device::ui::SettingsHost CaptureHost::settingsHost() {
    device::ui::SettingsHost host;
    host.capture = [this] {
        device::ui::SettingsHost::Capture c;
        if (const capture::MFManager* m = captureManager.get()) {
            c.modes[0].assign(m->yuy2Modes.begin(), m->yuy2Modes.begin() + m->yuy2ModeCount);
            c.modes[1].assign(m->mjpgModes.begin(), m->mjpgModes.begin() + m->mjpgModeCount);
            c.modes[2].assign(m->nv12Modes.begin(), m->nv12Modes.begin() + m->nv12ModeCount);
            c.width = m->width;
            c.height = m->height;
            c.frameRate = m->frameRate;
        }
        c.firstIndices = devices.firstIndices;
        c.videoFormat = devices.videoFormat;
        return c;
    };
    host.restartCapture = [this](int32_t w, int32_t h, int32_t fps, int32_t format) {
        restartCapture(w, h, fps, format);
    };
    return host;
}

void CaptureHost::openSessionAndStream(int32_t width, int32_t height, int32_t fps, int32_t format) {
    if (!captureManager) return;
    step("openSession");
    captureManager->openSession(observer_.previewSurface(), devices.audioSource,
                                devices.videoSource, devices.usb3Bridge != 0,
                                settings_.settingAspectRatio != 0, width, height, fps, format);
    step("startStreaming");
    captureManager->startStreaming();
}

void CaptureHost::stopRecordingsAndStreaming() {
    // A recording is finished while its frames still flow, before anything it writes from is
    // stopped.
    step("stopRecordings");
    observer_.finishRecordings();
    if (captureManager->streaming) {
        step("stopStreaming");
        captureManager->stopStreaming(*backends_.clock);
    }
}

void CaptureHost::tearDownCapture() {
    TOVREL_CHECK_THREAD(thread_);
    platform::Clock& clock = *backends_.clock;
    step("tearDownCapture");
    if (captureManager) stopRecordingsAndStreaming();
    clock.sleep(100);
    step("closeSession");
    if (captureManager) captureManager->closeSession();
    clock.sleep(100);
    step("releaseCaptureSources");
    releaseCaptureSources();
}

void CaptureHost::buildUpCapture(int32_t width, int32_t height, int32_t fps, int32_t format) {
    TOVREL_CHECK_THREAD(thread_);
    step("buildUpCapture");
    createAudioCapture();
    createVideoCapture(capture::kFormatNone);
    openSessionAndStream(width, height, fps, format);
}

void CaptureHost::restartCapture(int32_t width, int32_t height, int32_t fps, int32_t format) {
    TOVREL_CHECK_THREAD(thread_);
    platform::Clock& clock = *backends_.clock;
    clearBoxFlags();
    clock.sleep(100);
    tearDownCapture();
    clock.sleep(100);
    createAudioCapture();
    createVideoCapture(static_cast<uint32_t>(format));
    requestedWidth = width;
    requestedHeight = height;
    requestedFps = fps;
    openSessionAndStream(width, height, fps, format);
    if (captureManager) {
        const capture::PreviewSurface::ClientSize client = observer_.previewSurface()->clientSize();
        captureManager->resizeRenderer(static_cast<uint32_t>(std::max(client.width, 0)),
                                       static_cast<uint32_t>(std::max(client.height, 0)));
    }
    observer_.captureRebuilt();
}

// --- hot-plug and power ---

void CaptureHost::clearBoxFlags() {
    devices.registerCapableBox = 0;
    devices.px40Model = 0;
    devices.usb3Bridge = 0;
}

void CaptureHost::addParticipant(CaptureParticipant& participant) {
    participants_.push_back(&participant);
}

void CaptureHost::removeParticipant(CaptureParticipant& participant) {
    participants_.erase(std::remove(participants_.begin(), participants_.end(), &participant),
                        participants_.end());
}

void CaptureHost::stopParticipants() {
    for (CaptureParticipant* participant : participants_) participant->captureStopping();
}

void CaptureHost::startParticipants() {
    for (CaptureParticipant* participant : participants_) participant->captureStarted();
}

void CaptureHost::registerNotifications() {
    step("registerDeviceNotifications");
    if (backends_.deviceNotifications) {
        backends_.deviceNotifications->registerDeviceNotification(
            [this](uint32_t event, const platform::DeviceBroadcastInterface* data) {
                return onDeviceChange(event, data);
            });
    }
    step("registerPowerNotifications");
    powerCaps = platform::PowerCapabilities{};
    if (backends_.powerNotifications) {
        backends_.powerNotifications->registerPowerNotification(
            [this](uint32_t event, const platform::PowerBroadcastSetting* data) {
                onPowerBroadcast(event, data);
            });
        powerCaps = backends_.powerNotifications->getPwrCapabilities();
    }
}

void CaptureHost::unregisterNotifications() {
    if (backends_.deviceNotifications)
        backends_.deviceNotifications->unregisterDeviceNotification();
    if (backends_.powerNotifications) backends_.powerNotifications->unregisterPowerNotification();
}

void CaptureHost::postBoxChange(uintptr_t wParam) {
    // Queued to this object: it runs after the notification has returned, and not at all once
    // the host is gone.
    QMetaObject::invokeMethod(
        this, [this, wParam] { onBoxChange(wParam); }, Qt::QueuedConnection);
}

bool CaptureHost::onDeviceChange(uint32_t event, const platform::DeviceBroadcastInterface* data) {
    TOVREL_CHECK_THREAD(thread_);
    if (data == nullptr || data->dbcc_devicetype != platform::DBT_DEVTYP_DEVICEINTERFACE)
        return false;
    platform::outputDebugString(data->dbcc_name);
    const std::string_view name = data->dbcc_name;
    if (event == platform::DBT_DEVICEARRIVAL) {
        interfaceMask |= BoxInterfaces::bitsIn(name, BoxInterfaces::kFirstFamily);
        if (interfaceMask == BoxInterfaces::kFirstFamily) postBoxChange(BOX_ARRIVED);
        interfaceMask |= BoxInterfaces::bitsIn(name, BoxInterfaces::kSecondFamily);
        if (interfaceMask == BoxInterfaces::kSecondFamily) postBoxChange(BOX_ARRIVED);
        return true;
    }
    if (event == platform::DBT_DEVICEREMOVECOMPLETE) {
        if (BoxInterfaces::bitsIn(name, BoxInterfaces::kVideo)) postBoxChange(BOX_REMOVED);
        if (BoxInterfaces::bitsIn(name, BoxInterfaces::kSecondVideo)) postBoxChange(BOX_REMOVED);
        return true;
    }
    return false;
}

int CaptureHost::onBoxChange(uintptr_t wParam) {
    TOVREL_CHECK_THREAD(thread_);
    // After the shutdown nothing may come up again.
    if (shutDown_) return 0;
    platform::Clock& clock = *backends_.clock;
    if (wParam == BOX_REMOVED) {
        step("boxRemoved");
        clearBoxFlags();
        stopParticipants();
        tearDownCapture();
        interfaceMask = 0;
    } else if (wParam == BOX_ARRIVED) {
        step("boxArrived");
        clearBoxFlags();
        stopParticipants();
        clock.sleep(kBoxSettleMs);
        tearDownCapture();
        clock.sleep(kBoxSettleMs);
        buildUpCapture(0, 0, 0, 0);
        startParticipants();
        observer_.captureRebuilt();
    }
    return 0;
}

bool CaptureHost::captureUp() const {
    return (captureManager && (captureManager->streaming || captureManager->sessionOpen)) ||
           devices.videoSource || devices.audioSource;
}

void CaptureHost::suspendPath() {
    step("suspend");
    platform::outputDebugString(ShellTexts::kPowerSuspending);
    suspended = 1;
    stopParticipants();
    tearDownCapture();
    platform::outputDebugString(ShellTexts::kPowerSuspended);
}

void CaptureHost::resumePath() {
    step("resume");
    platform::outputDebugString(ShellTexts::kPowerResuming);
    suspended = 0;
    // A resume may find capture running (a display-on event rebuilt it, or the sleep never
    // came): building up over it would replace the devices and the session under the running
    // threads.
    if (captureUp()) {
        stopParticipants();
        tearDownCapture();
    }
    buildUpCapture(0, 0, 0, 0);
    startParticipants();
    observer_.captureRebuilt();
}

bool CaptureHost::onPowerBroadcast(uint32_t event, const platform::PowerBroadcastSetting* data) {
    TOVREL_CHECK_THREAD(thread_);
    if (shutDown_) return true;
    switch (event) {
        case platform::PBT_APMSUSPEND:
            suspendPath();
            break;
        case platform::PBT_APMRESUMEAUTOMATIC:
            resumePath();
            break;
        case platform::PBT_POWERSETTINGCHANGE:
            if (data != nullptr && powerCaps.AoAc &&
                data->PowerSetting == platform::GUID_MONITOR_POWER_ON) {
                if (data->Data == 0 && !suspended) {
                    suspendPath();
                } else if (data->Data != 0 && suspended) {
                    resumePath();
                }
            }
            break;
        default: {
            char text[96];
            std::snprintf(text, sizeof text, ShellTexts::kPowerOtherFormat, event,
                          static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
            platform::outputDebugString(text);
            break;
        }
    }
    return true;
}

}  // namespace tovrel::shell
