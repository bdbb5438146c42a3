#include "shell/tovrel2_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <cstdio>
#include <map>

#include "device/register_map.h"
#include "device/register_transport.h"
#include "platform/system/debug_output.h"
#include "platform/system/settings_path.h"
#include "shell/box_interfaces.h"
#include "shell/caption.h"
#include "shell/edge_zones.h"
#include "shell/insert_key_filter.h"
#include "shell/output_files.h"
#include "shell/preview_presenter.h"
#include "shell/shell_texts.h"

namespace tovrel::shell {
namespace {

// WM_BOXCHANGE with its wParam, posted to the window's own queue.
class BoxChangeEvent final : public QEvent {
  public:
    explicit BoxChangeEvent(uintptr_t wParam)
        : QEvent(static_cast<QEvent::Type>(CTovrel2Frame::WM_BOXCHANGE)), wParam(wParam) {}
    const uintptr_t wParam;
};

}  // namespace

CTovrel2Frame::CTovrel2Frame(platform::Backends& backends, const Edition& edition)
    : devices(backends.mediaDevices.get()),
      programName(edition.programName),
      backends_(backends),
      edition_(edition) {
    setWindowTitle(QString::fromUtf8(edition.programName));
    // The preview paints every pixel (black where no picture is): nothing erases beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);  // the sizing cursors of the borderless window
    presenter_ = new PreviewPresenter(this);
    captionTimer_.setInterval(kCaptionTimerMs);
    connect(&captionTimer_, &QTimer::timeout, this, &CTovrel2Frame::onCaptionTimer);
}

CTovrel2Frame::~CTovrel2Frame() {
    // A window destroyed without a close (a failed start, the end of a test) runs no shutdown
    // sequence, so the settings file stays as it was; only no capture thread may outlive it.
    unregisterNotifications();
    if (shutDown_) return;
    if (captureManager) {
        // A recording still running is finalised while its reads still run.
        if (recordingController && captureManager->recording) recordingController->StopRecording();
        if (captureManager->streaming) captureManager->stopStreaming(*backends_.clock);
        recordingController.reset();
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

    registerNotifications();

    step("createCaptureManager");
    interfaceMask = 0;
    captureManager = std::make_unique<capture::MFManager>(*backends_.clock);
    captureManager->audioMonitor.setEndpoints(backends_.audioEndpoints.get());
    if (backends_.sinkWriters) {
        recordingController = std::make_unique<recording::RecordingController>(
            *captureManager, *backends_.sinkWriters);
    }

    step("createAudioCapture");
    platform::HRESULT hr = createAudioCapture();
    if (platform::SUCCEEDED(hr)) {
        step("createVideoCapture");
        hr = createVideoCapture(capture::kFormatNone);
    }
    if (platform::SUCCEEDED(hr)) {
        step("openSession");
        captureManager->openSession(presenter_, devices.audioSource, devices.videoSource,
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
        step("stopRecordings");
        if (captureManager->recording && entryPoints.StopRecording) entryPoints.StopRecording();
        if (captureManager->screenRecording && entryPoints.StopScreenRecording)
            entryPoints.StopScreenRecording();
        if (captureManager->streaming) {
            step("stopStreaming");
            captureManager->stopStreaming(clock);
        }
        clock.sleep(100);

        step("closeSession");
        recordingController.reset();
        captureManager->closeSession();
        captureManager.reset();
    }
    clock.sleep(100);

    step("releaseCaptureSources");
    releaseCaptureSources();

    step("unregisterNotifications");
    unregisterNotifications();

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
    // The box is told once per recording that one runs.
    if (recordNoticeSent == 0 && entryPoints.RecordStart) {
        entryPoints.RecordStart();
        recordNoticeSent = 1;
    }
}

void CTovrel2Frame::bringForward() {
    platform::outputDebugString("another copy was started: bringing the window forward");
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

// --- painting and the window states ---

void CTovrel2Frame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    presenter_->paint(painter);
}

void CTovrel2Frame::updateExposed() { presenter_->setExposed(isVisible() && !isMinimized()); }

void CTovrel2Frame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    updateExposed();
}

void CTovrel2Frame::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    updateExposed();
}

static CTovrel2Frame::SizeType sizeTypeOf(Qt::WindowStates states) {
    if (states & Qt::WindowMinimized) return CTovrel2Frame::SizeType::kOther;
    if (states & (Qt::WindowFullScreen | Qt::WindowMaximized))
        return CTovrel2Frame::SizeType::kMaximized;
    return CTovrel2Frame::SizeType::kRestored;
}

void CTovrel2Frame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const QSize pixels = size() * devicePixelRatio();
    onSize(sizeTypeOf(windowState()), pixels.width(), pixels.height());
}

void CTovrel2Frame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    updateExposed();
    const QSize pixels = size() * devicePixelRatio();
    onSize(sizeTypeOf(windowState()), pixels.width(), pixels.height());
}

void CTovrel2Frame::applyFrameState() {
    Qt::WindowFlags wanted = windowFlags();
    if (captionShown) {
        wanted &= ~(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    } else {
        wanted |= Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    }
    if (wanted == windowFlags()) return;
    const bool visible = isVisible();
    const QRect client = geometry();
    // Changing the frame recreates the native window; keep the client area where it was.
    setWindowFlags(wanted);
    setGeometry(client);
    if (visible) show();
}

void CTovrel2Frame::onSize(SizeType type, int clientWidth, int clientHeight) {
    if (type == SizeType::kOther) return;  // a minimised window keeps its renderer
    if (type == SizeType::kRestored) {
        applyFrameState();
        fullScreen = 0;
    } else {
        fullScreen = 1;
    }
    if (captureManager) {
        captureManager->resizeRenderer(static_cast<uint32_t>(std::max(clientWidth, 0)),
                                       static_cast<uint32_t>(std::max(clientHeight, 0)));
    }
}

void CTovrel2Frame::toggleFullScreen() {
    if (fullScreen) {
        showNormal();
    } else {
        showFullScreen();
    }
    fullScreen = fullScreen ? 0 : 1;
}

void CTovrel2Frame::leaveFullScreen() {
    if (!fullScreen) return;
    showNormal();
    fullScreen = 0;
}

void CTovrel2Frame::toggleCaption() {
    if (fullScreen) return;
    captionShown = captionShown ? 0 : 1;
    applyFrameState();
}

void CTovrel2Frame::toggleKeepAspect() {
    settings.settingAspectRatio = settings.settingAspectRatio != 0 ? 0 : 1;
    restartCapture(requestedWidth, requestedHeight, requestedFps, devices.videoFormat);
}

int CTovrel2Frame::pressCode(int x, int y) const {
    if (captionShown || fullScreen) return EdgeZones::kCaption;
    const EdgeZones::Zone* zone = EdgeZones::find(x, y, 0, 0, width(), height());
    return zone ? zone->code : EdgeZones::kCaption;
}

void CTovrel2Frame::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        std::unique_ptr<QMenu> menu = buildPopupMenu();
        QAction* chosen = menu->exec(QCursor::pos());
        if (chosen != nullptr) onCommand(chosen->data().toInt());
        return;
    }
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr && !fullScreen) {
        // The window manager's move or resize grabs the pointer until the button comes up. Asked
        // for after the release of a quick click (a busy event loop hands over the press late),
        // the grab outlasts the click and swallows the second press of a double-click. So the
        // request waits until the events already queued are through: a release among them
        // cancels it, and a button still down starts it from the pressed spot.
        const QPoint at = event->position().toPoint();
        pendingDragCode_ = pressCode(at.x(), at.y());
        QTimer::singleShot(0, this, &CTovrel2Frame::startSystemDrag);
    }
    QMainWindow::mousePressEvent(event);
}

void CTovrel2Frame::startSystemDrag() {
    const int code = pendingDragCode_;
    pendingDragCode_ = 0;
    if (code == 0 || windowHandle() == nullptr || fullScreen) return;
    if (code == EdgeZones::kCaption) {
        windowHandle()->startSystemMove();
        return;
    }
    for (const EdgeZones::Zone& zone : EdgeZones::kZones) {
        if (zone.code == code) windowHandle()->startSystemResize(zone.edges);
    }
}

void CTovrel2Frame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pendingDragCode_ = 0;
    QMainWindow::mouseReleaseEvent(event);
}

void CTovrel2Frame::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double-click on the picture is a double-click on a title bar: full screen and back.
    if (event->button() == Qt::LeftButton) {
        pendingDragCode_ = 0;
        toggleFullScreen();
    }
    QMainWindow::mouseDoubleClickEvent(event);
}

void CTovrel2Frame::mouseMoveEvent(QMouseEvent* event) {
    if (!captionShown && !fullScreen && event->buttons() == Qt::NoButton) {
        const QPoint at = event->position().toPoint();
        const EdgeZones::Zone* zone = EdgeZones::find(at.x(), at.y(), 0, 0, width(), height());
        if (zone) {
            setCursor(zone->cursor);
        } else {
            unsetCursor();
        }
    } else if (event->buttons() == Qt::NoButton) {
        unsetCursor();
    }
    QMainWindow::mouseMoveEvent(event);
}

void CTovrel2Frame::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        leaveFullScreen();
    } else if (const CommandTable::Command* command = CommandTable::forKey(event->key())) {
        onCommand(command->id);
    }
    QMainWindow::keyPressEvent(event);
}

// --- the command table ---

bool CTovrel2Frame::checked(const CommandTable::Command& command, bool lineIn) const {
    using Check = CommandTable::Check;
    const capture::MFManager* m = captureManager.get();
    switch (command.check) {
        case Check::kNever:
            return false;
        case Check::kMotionDetection:
            return m && m->motionDetection;
        case Check::kRecording:
            return m && m->recording;
        case Check::kScreenRecording:
            return m && m->screenRecording;
        case Check::kMonitorMuted:
            return m && m->monitorMuted != 0;
        case Check::kPreviewVisible:
            return m && m->previewVisible;
        case Check::kFullScreen:
            return fullScreen != 0;
        case Check::kCaptionShown:
            return captionShown != 0;
        case Check::kKeepAspect:
            return settings.settingAspectRatio != 0;
        case Check::kAudioHdmi:
            return !lineIn;
        case Check::kAudioLineIn:
            return lineIn;
        case Check::kQuality:
            return settings.settingQuality == command.value;
        case Check::kVideoType:
            return settings.settingVideoType == command.value;
        case Check::kAudioType:
            return settings.settingAudioType == command.value;
        case Check::kHardware:
            return settings.settingHardware != 0;
    }
    return false;
}

std::unique_ptr<QMenu> CTovrel2Frame::buildPopupMenu() {
    const bool lineIn = boxReportsLineIn();
    auto menu = std::make_unique<QMenu>(this);
    QMenu* sub = nullptr;
    const char* subName = nullptr;
    for (const CommandTable::Command& command : CommandTable::kCommands) {
        if (command.submenu != subName) {
            subName = command.submenu;
            sub = subName ? menu->addMenu(QString::fromUtf8(subName)) : nullptr;
        }
        QMenu* into = sub ? sub : menu.get();
        QAction* action = into->addAction(QString::fromUtf8(command.text));
        action->setData(command.id);
        if (command.check != CommandTable::Check::kNever) {
            action->setCheckable(true);
            action->setChecked(checked(command, lineIn));
        }
        if (command.separatorAfter) menu->addSeparator();
    }
    return menu;
}

bool CTovrel2Frame::boxReportsLineIn() {
    if (!backends_.extensionUnits) return false;
    device::KelmUvcLibrary library(*backends_.extensionUnits);
    device::RegisterTransport transport(library, *backends_.clock);
    auto session = transport.IdentifyDevice();
    bool lineIn = false;
    uint8_t value = 0;
    if (transport.usable() && transport.ReadReg(device::Reg::AudioInput, value))
        lineIn = value == device::kAudioInputLineIn;
    transport.CloseDeviceSession(std::move(session));
    return lineIn;
}

void CTovrel2Frame::sendAudioInput(int value) {
    if (!backends_.extensionUnits) return;
    device::KelmUvcLibrary library(*backends_.extensionUnits);
    device::RegisterTransport transport(library, *backends_.clock);
    auto session = transport.IdentifyDevice();
    if (transport.usable()) transport.WriteReg(device::Reg::AudioInput, value);
    transport.CloseDeviceSession(std::move(session));
}

void CTovrel2Frame::setPreviewCaption() {
    const bool visible = captureManager && captureManager->previewVisible;
    setCaptionState(visible ? ShellTexts::kStatePreview : "");
}

void CTovrel2Frame::onCommand(int id) {
    using C = CommandTable;
    const C::Command* command = C::find(id);
    if (command == nullptr) return;
    capture::MFManager* m = captureManager.get();
    switch (id) {
        case C::kMotionDetection:
            if (m) m->motionDetection = !m->motionDetection;
            break;
        case C::kRecording:
            onRecording(false);
            break;
        case C::kScreenRecording:
            onRecording(true);
            break;
        case C::kSnapshotJpg:
        case C::kSnapshotPng:
        case C::kSnapshotBmp:
            onSnapshot(false, command->value);
            break;
        case C::kScreenSnapshotJpg:
        case C::kScreenSnapshotPng:
        case C::kScreenSnapshotBmp:
            onSnapshot(true, command->value);
            break;
        case C::kMute:
            if (m) m->monitorMuted = m->monitorMuted ? 0 : 1;
            break;
        case C::kAudioAnalyze:
            if (analyzerDialog == nullptr && entryPoints.OpenAudioAnalyzer) {
                analyzerDialog = this;  // marks the window open until it returns
                entryPoints.OpenAudioAnalyzer(this);
                analyzerDialog = nullptr;
            }
            break;
        case C::kSettings:
            if (settingsDialog == nullptr && entryPoints.OpenSettings) {
                settingsDialog = this;
                entryPoints.OpenSettings(this);
                settingsDialog = nullptr;
            }
            break;
        case C::kPreview:
            if (m) {
                m->previewVisible = !m->previewVisible;
                if (m->recording) {
                    setCaptionState(ShellTexts::kStateCapture);
                } else {
                    setPreviewCaption();
                }
            }
            break;
        case C::kFullScreen:
            toggleFullScreen();
            break;
        case C::kShowCaption:
            toggleCaption();
            break;
        case C::kKeepAspectRatio:
            toggleKeepAspect();
            break;
        case C::kAudioHdmi:
        case C::kAudioLineIn:
            sendAudioInput(command->value);
            break;
        case C::kQualityLowest:
        case C::kQualityLow:
        case C::kQualityNormal:
        case C::kQualityHigh:
        case C::kQualityHighest:
            settings.settingQuality = command->value;
            break;
        case C::kVideoAvc:
        case C::kVideoHevc:
            settings.settingVideoType = command->value;
            break;
        case C::kAudioAac:
        case C::kAudioMp3:
            settings.settingAudioType = command->value;
            break;
        case C::kPreferHardware:
            settings.settingHardware = settings.settingHardware ? 0 : 1;
            break;
        case C::kExit:
            close();
            break;
        default:
            break;
    }
}

// --- recordings and snapshots ---

// The box and the screen recording differ only in their entry points, the flag that says they
// run, their debug name and the caption state; they exclude each other.
void CTovrel2Frame::onRecording(bool screen) {
    capture::MFManager* m = captureManager.get();
    if (m == nullptr || (screen ? m->recording : m->screenRecording)) return;
    const std::string what = screen ? "screen recording" : "recording";
    if (screen ? m->screenRecording : m->recording) {
        const auto& stop = screen ? entryPoints.StopScreenRecording : entryPoints.StopRecording;
        if (stop) stop();
        setPreviewCaption();
        if (entryPoints.RecordStop) entryPoints.RecordStop();
        return;
    }
    const auto& start = screen ? entryPoints.StartScreenRecording : entryPoints.StartRecording;
    if (!start) {
        platform::outputDebugString(what + ": not available in this build");
        return;
    }
    std::optional<std::string> name =
        OutputFiles::forNow(OutputFiles::Folder::kVideos, ShellTexts::kRecordingExtension);
    if (!name) return;
    recordNoticeSent = 0;
    const platform::HRESULT hr = start(*name, settings.settingQuality, settings.settingVideoType,
                                       settings.settingAudioType, settings.settingHardware != 0);
    if (platform::FAILED(hr)) {
        // Saying "Capture" over a recording that never started would hide the failure.
        platform::outputDebugString(what + ": the start failed for " + *name);
        return;
    }
    setCaptionState(screen ? ShellTexts::kStateCaptureScreen : ShellTexts::kStateCapture);
    recordStartTick = backends_.clock->getTickCount64();
}

void CTovrel2Frame::onSnapshot(bool screen, int extensionIndex) {
    const auto& take = screen ? entryPoints.TakeScreenSnapshot : entryPoints.TakeSnapshot;
    if (!take) {
        platform::outputDebugString("snapshot: not available in this build");
        return;
    }
    if (extensionIndex < 0 || extensionIndex >= 3) return;
    std::optional<std::string> name = OutputFiles::forNow(
        OutputFiles::Folder::kPictures, ShellTexts::kSnapshotExtensions[extensionIndex]);
    if (name) take(*name);
}

// --- capture restart ---

void CTovrel2Frame::tearDownCapture() {
    platform::Clock& clock = *backends_.clock;
    step("tearDownCapture");
    if (captureManager) {
        // A recording is finished while its frames still flow, before anything it writes from
        // is stopped.
        step("stopRecordings");
        if (captureManager->recording && entryPoints.StopRecording) entryPoints.StopRecording();
        if (captureManager->screenRecording && entryPoints.StopScreenRecording)
            entryPoints.StopScreenRecording();
        if (captureManager->streaming) {
            step("stopStreaming");
            captureManager->stopStreaming(clock);
        }
    }
    clock.sleep(100);
    step("closeSession");
    if (captureManager) captureManager->closeSession();
    clock.sleep(100);
    step("releaseCaptureSources");
    releaseCaptureSources();
}

void CTovrel2Frame::buildUpCapture(int32_t width, int32_t height, int32_t fps, int32_t format) {
    step("buildUpCapture");
    createAudioCapture();
    createVideoCapture(capture::kFormatNone);
    if (!captureManager) return;
    step("openSession");
    captureManager->openSession(presenter_, devices.audioSource, devices.videoSource,
                                devices.usb3Bridge != 0, settings.settingAspectRatio != 0, width,
                                height, fps, format);
    step("startStreaming");
    captureManager->startStreaming();
    // A window that started without a box has no caption timer yet; a recording started on the
    // box that arrived later needs it for its elapsed time and the box's notice.
    if (!captionTimer_.isActive()) captionTimer_.start();
}

void CTovrel2Frame::restartCapture(int32_t width, int32_t height, int32_t fps, int32_t format) {
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
    if (captureManager) {
        captureManager->openSession(presenter_, devices.audioSource, devices.videoSource,
                                    devices.usb3Bridge != 0, settings.settingAspectRatio != 0,
                                    width, height, fps, format);
        captureManager->startStreaming();
        const capture::PreviewSurface::ClientSize client = presenter_->clientSize();
        captureManager->resizeRenderer(static_cast<uint32_t>(client.width),
                                       static_cast<uint32_t>(client.height));
    }
    setPreviewCaption();
}

// --- hot-plug and power ---

void CTovrel2Frame::clearBoxFlags() {
    devices.registerCapableBox = 0;
    devices.px40Model = 0;
    devices.usb3Bridge = 0;
}

void CTovrel2Frame::registerNotifications() {
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

void CTovrel2Frame::unregisterNotifications() {
    if (backends_.deviceNotifications)
        backends_.deviceNotifications->unregisterDeviceNotification();
    if (backends_.powerNotifications) backends_.powerNotifications->unregisterPowerNotification();
}

void CTovrel2Frame::postBoxChange(uintptr_t wParam) {
    QCoreApplication::postEvent(this, new BoxChangeEvent(wParam));
}

void CTovrel2Frame::customEvent(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_BOXCHANGE)) {
        onBoxChange(static_cast<BoxChangeEvent*>(event)->wParam);
        return;
    }
    QMainWindow::customEvent(event);
}

bool CTovrel2Frame::onDeviceChange(uint32_t event, const platform::DeviceBroadcastInterface* data) {
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

int CTovrel2Frame::onBoxChange(uintptr_t wParam) {
    // After the shutdown nothing may come up again.
    if (shutDown_) return 0;
    platform::Clock& clock = *backends_.clock;
    if (wParam == BOX_REMOVED) {
        step("boxRemoved");
        clearBoxFlags();
        stopAnalyzerWorker();
        tearDownCapture();
        interfaceMask = 0;
    } else if (wParam == BOX_ARRIVED) {
        step("boxArrived");
        clearBoxFlags();
        stopAnalyzerWorker();
        clock.sleep(kBoxSettleMs);
        tearDownCapture();
        clock.sleep(kBoxSettleMs);
        buildUpCapture(0, 0, 0, 0);
        restartAnalyzerWorker();
        setPreviewCaption();
    }
    return 0;
}

bool CTovrel2Frame::captureUp() const {
    return (captureManager && (captureManager->streaming || captureManager->sessionOpen)) ||
           devices.videoSource || devices.audioSource;
}

void CTovrel2Frame::suspendPath() {
    step("suspend");
    platform::outputDebugString(ShellTexts::kPowerSuspending);
    suspended = 1;
    stopAnalyzerWorker();
    tearDownCapture();
    platform::outputDebugString(ShellTexts::kPowerSuspended);
}

void CTovrel2Frame::resumePath() {
    step("resume");
    platform::outputDebugString(ShellTexts::kPowerResuming);
    suspended = 0;
    // A resume may find capture running (a display-on event rebuilt it, or the sleep never
    // came): building up over it would replace the devices and the session under the running
    // threads.
    if (captureUp()) {
        stopAnalyzerWorker();
        tearDownCapture();
    }
    buildUpCapture(0, 0, 0, 0);
    restartAnalyzerWorker();
    setPreviewCaption();
}

bool CTovrel2Frame::onPowerBroadcast(uint32_t event, const platform::PowerBroadcastSetting* data) {
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

void CTovrel2Frame::stopAnalyzerWorker() {
    if (analyzerDialog != nullptr && entryPoints.StopAnalyzerWorker)
        entryPoints.StopAnalyzerWorker();
}

void CTovrel2Frame::restartAnalyzerWorker() {
    if (analyzerDialog != nullptr && entryPoints.RestartAnalyzerWorker)
        entryPoints.RestartAnalyzerWorker();
}

}  // namespace tovrel::shell
