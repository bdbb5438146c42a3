#include "shell/tovrel2_frame.h"

#include <QApplication>
#include <QCloseEvent>

#include "platform/system/debug_output.h"
#include "platform/system/settings_path.h"
#include "shell/caption.h"
#include "shell/insert_key_filter.h"
#include "shell/shell_texts.h"

namespace tovrel::shell {

CTovrel2Frame::CTovrel2Frame(platform::Backends& backends, const Edition& edition)
    : devices(backends.mediaDevices.get()),
      programName(edition.programName),
      backends_(backends),
      edition_(edition) {
    setWindowTitle(QString::fromUtf8(edition.programName));
    // The window class paints a black background wherever no picture is drawn.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    captionTimer_.setInterval(kCaptionTimerMs);
    connect(&captionTimer_, &QTimer::timeout, this, &CTovrel2Frame::onCaptionTimer);
}

CTovrel2Frame::~CTovrel2Frame() {
    // A window destroyed without a close (a failed start, the end of a test) runs no shutdown
    // sequence, so the settings file stays as it was; only no capture thread may outlive it.
    if (shutDown_) return;
    if (captureManager) {
        if (captureManager->streaming) captureManager->stopStreaming(*backends_.clock);
        captureManager->closeSession();
        captureManager.reset();
    }
    releaseCaptureSources();
}

void CTovrel2Frame::step(const char* name) {
    if (stepObserver) stepObserver(name);
}

std::string CTovrel2Frame::settingsPath() const {
    auto path = platform::SettingsPath::inWorkingDirectory(ShellTexts::kSettingsFileName);
    if (!path) {
        platform::outputDebugString("settings: working directory path too long, settings not kept");
        return std::string();
    }
    return *path;
}

int CTovrel2Frame::onCreate() {
    step("readSettings");
    if (std::string path = settingsPath(); !path.empty()) {
        SettingsStore(*backends_.profiles, edition_.settingsSection).read(path, settings);
    }

    step("createCaptureManager");
    interfaceMask = 0;
    captureManager = std::make_unique<capture::MFManager>();
    captureManager->audioMonitor.setEndpoints(backends_.audioEndpoints.get());

    step("createAudioCapture");
    platform::HRESULT hr = createAudioCapture();
    if (platform::SUCCEEDED(hr)) {
        step("createVideoCapture");
        hr = createVideoCapture(kFormatNone);
    }
    if (platform::SUCCEEDED(hr)) {
        step("openSession");
        // No preview surface yet: the session runs and the render thread presents nothing.
        captureManager->openSession(nullptr, devices.audioSource, devices.videoSource,
                                    devices.usb3Bridge != 0, settings.settingAspectRatio != 0, 0, 0,
                                    0, 0);
        step("startStreaming");
        captureManager->startStreaming();
        setCaptionState(ShellTexts::kStatePreview);
        analyzerDialog = nullptr;
        settingsDialog = nullptr;
        step("installKeyboardFilter");
        keyFilter_ = new InsertKeyFilter(this);
        qApp->installEventFilter(keyFilter_);
        step("startCaptionTimer");
        captionTimer_.start();
    }

    step("keepAwake");
    backends_.executionState->setThreadExecutionState(platform::ES_CONTINUOUS |
                                                      platform::ES_SYSTEM_REQUIRED);
    return 0;
}

void CTovrel2Frame::onClose() {
    if (shutDown_) return;
    shutDown_ = true;
    platform::Clock& clock = *backends_.clock;

    step("stopCaptionTimer");
    captionTimer_.stop();
    clock.sleep(500);

    step("removeKeyboardFilter");
    if (keyFilter_) {
        qApp->removeEventFilter(keyFilter_);
        delete keyFilter_;
        keyFilter_ = nullptr;
    }

    if (captureManager) {
        if (captureManager->streaming) {
            step("stopStreaming");
            captureManager->stopStreaming(clock);
        }
        clock.sleep(100);

        step("closeSession");
        captureManager->closeSession();
        captureManager.reset();
    }
    clock.sleep(100);

    step("releaseCaptureSources");
    releaseCaptureSources();

    step("writeSettings");
    if (std::string path = settingsPath(); !path.empty()) {
        SettingsStore(*backends_.profiles, edition_.settingsSection).write(path, settings);
    }

    step("endKeepAwake");
    backends_.executionState->setThreadExecutionState(platform::ES_CONTINUOUS);
}

void CTovrel2Frame::closeEvent(QCloseEvent* event) {
    onClose();
    event->accept();
}

platform::HRESULT CTovrel2Frame::createAudioCapture() {
    platform::HRESULT hr = devices.createAudioCapture();
    if (platform::FAILED(hr)) {
        backends_.messageBoxes->show(this, ShellTexts::kNoAudioDevice, programName,
                                     platform::MessageIcon::Error);
    }
    return hr;
}

platform::HRESULT CTovrel2Frame::createVideoCapture(uint32_t requestedFormat) {
    platform::HRESULT hr = devices.createVideoCapture(requestedFormat);
    if (platform::FAILED(hr)) {
        backends_.messageBoxes->show(this, ShellTexts::kNoVideoDevice, programName,
                                     platform::MessageIcon::Error);
    }
    return hr;
}

int CTovrel2Frame::releaseCaptureSources() { return devices.releaseCaptureSources(); }

void CTovrel2Frame::setCaptionState(const std::string& text) {
    stateText = Caption::limit(text);
    const uint32_t width = captureManager ? captureManager->width : 0;
    const uint32_t height = captureManager ? captureManager->height : 0;
    const double rate = captureManager ? static_cast<double>(captureManager->frameRate) : 0.0;
    formatText = Caption::limit(Caption::modeText(width, height, rate));
    captionText = Caption::compose(programName, stateText, formatText);
    setWindowTitle(QString::fromStdString(captionText));
}

void CTovrel2Frame::onCaptionTimer() {
    if (!captureManager) return;
    const bool screen = captureManager->screenRecording;
    const bool box = captureManager->recording;
    if (!screen && !box) return;
    // The mode text is not recomputed: it changes only with a restart.
    stateText = Caption::elapsedState(screen, backends_.clock->getTickCount64() - recordStartTick);
    captionText = Caption::compose(programName, stateText, formatText);
    setWindowTitle(QString::fromStdString(captionText));
}

void CTovrel2Frame::bringForward() {
    platform::outputDebugString("another copy was started: bringing the window forward");
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

}  // namespace tovrel::shell
