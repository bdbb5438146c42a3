#include "shell/tovrel2_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>

#include "device/box_operations.h"
#include "platform/system/debug_output.h"
#include "platform/system/settings_path.h"
#include "shell/analyzer_participant.h"
#include "shell/caption.h"
#include "shell/insert_key_filter.h"
#include "shell/preview_presenter.h"
#include "shell/recording_entry_points.h"
#include "shell/settings_window_context.h"
#include "shell/shell_texts.h"

namespace tovrel::shell {

CTovrel2Frame::CTovrel2Frame(platform::Backends& backends, const Edition& edition,
                             device::BoxOperations* box)
    : programName(edition.programName),
      backends_(backends),
      edition_(edition),
      box_(edition.features.boxRegisters ? box : nullptr),
      host_(backends, settings, *this, edition.features.capture) {
    setWindowTitle(QString::fromUtf8(edition.programName));
    // The preview paints every pixel (black where no picture is): nothing erases beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMouseTracking(true);  // the sizing cursors of the borderless window
    presenter_ = new PreviewPresenter(this);
    captionTimer_.setInterval(kCaptionTimerMs);
    connect(&captionTimer_, &QTimer::timeout, this, &CTovrel2Frame::onCaptionTimer);
    fillEntryPoints();
}

// A window destroyed without a close (a failed start, the end of a test) runs no shutdown
// sequence, so the settings file stays as it was; the host stops the capture threads.
CTovrel2Frame::~CTovrel2Frame() = default;

void CTovrel2Frame::fillEntryPoints() {
    if (backends_.imageEncoders)
        snapshotWriter_ = std::make_unique<recording::SnapshotWriter>(*backends_.imageEncoders);
    fillRecordingEntryPoints(entryPoints, host_, snapshotWriter_.get());
    entryPoints.OpenAudioAnalyzer = [this](QWidget* parent) {
        AnalyzerParticipant::runAnalyzer(parent, host_, analyzerDialog);
    };
    entryPoints.OpenSettings = [this](QWidget* parent) {
        if (!edition_.settingsWindow) return;
        SettingsWindowContext context{parent, host_, box_, backends_, settings, settingsDialog};
        edition_.settingsWindow(context);
    };
    if (box_ != nullptr) {
        entryPoints.RecordStart = [this] {
            box_->recordStart(host_.devices.registerCapableBox != 0, settingsDialog != nullptr);
        };
        entryPoints.RecordStop = [this] {
            box_->recordStop(host_.devices.registerCapableBox != 0, host_.devices.px40Model != 0,
                             settingsDialog != nullptr);
        };
    }
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

    if (host_.startUp()) {
        setCaptionState(ShellTexts::kStatePreview);
        analyzerDialog = nullptr;
        settingsDialog = nullptr;
        if (edition_.features.keyboardHook) {
            step("installKeyboardFilter");
            keyFilter_ = new InsertKeyFilter(this);
            qApp->installEventFilter(keyFilter_);
        }
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

    step("stopCaptionTimer");
    captionTimer_.stop();
    backends_.clock->sleep(500);

    if (edition_.features.keyboardHook) {
        step("removeKeyboardFilter");
        if (keyFilter_) {
            qApp->removeEventFilter(keyFilter_);
            delete keyFilter_;
            keyFilter_ = nullptr;
        }
    }

    host_.shutDown();

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

// --- what the capture host asks of the window ---

void CTovrel2Frame::deviceMissing(const char* text) {
    backends_.messageBoxes->show(this, text, programName, platform::MessageIcon::Error);
}

capture::PreviewSurface* CTovrel2Frame::previewSurface() { return presenter_; }

void CTovrel2Frame::finishRecordings() {
    capture::MFManager* m = host_.captureManager.get();
    if (m == nullptr) return;
    const bool running = m->recording || m->screenRecording;
    if (m->recording && entryPoints.StopRecording) entryPoints.StopRecording();
    if (m->screenRecording && entryPoints.StopScreenRecording) entryPoints.StopScreenRecording();
    // A recording cut by an unplug or a sleep has ended: the caption stops saying it runs, as
    // after the user's own stop.
    if (running && !shutDown_) setPreviewCaption();
}

void CTovrel2Frame::captureRebuilt() {
    // A window that started without a box has no caption timer yet; a recording started on the
    // box that came later needs it for its elapsed time and the box's notice.
    if (!captionTimer_.isActive()) captionTimer_.start();
    setPreviewCaption();
}

// --- the caption ---

void CTovrel2Frame::setCaptionState(const std::string& text) {
    const capture::MFManager* m = host_.captureManager.get();
    stateText = Caption::limit(text);
    const uint32_t width = m ? m->width : 0;
    const uint32_t height = m ? m->height : 0;
    const double rate = m ? static_cast<double>(m->frameRate) : 0.0;
    formatText = Caption::limit(Caption::modeText(width, height, rate));
    captionText = Caption::compose(programName, stateText, formatText);
    setWindowTitle(QString::fromStdString(captionText));
}

void CTovrel2Frame::setPreviewCaption() {
    const bool visible = host_.captureManager && host_.captureManager->previewVisible;
    setCaptionState(visible ? ShellTexts::kStatePreview : "");
}

void CTovrel2Frame::onCaptionTimer() {
    const capture::MFManager* m = host_.captureManager.get();
    if (!m) return;
    const bool screen = m->screenRecording;
    const bool box = m->recording;
    if (!screen && !box) return;
    if (stopRecordingThatCannotWrite(screen)) return;
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

static bool maximisedOnly(Qt::WindowStates states) {
    return (states & Qt::WindowMaximized) && !(states & Qt::WindowFullScreen);
}

void CTovrel2Frame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    // A maximise made by the window manager (a double-click on the title bar, a desktop
    // shortcut) becomes what the window's own maximise is: no frame, the whole screen. Asked
    // for once this change is through, as the window manager is still applying its own.
    if (maximisedOnly(windowState())) {
        QTimer::singleShot(0, this, [this] {
            if (maximisedOnly(windowState())) showFullScreen();
        });
    }
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
    if (host_.captureManager) {
        host_.captureManager->resizeRenderer(static_cast<uint32_t>(std::max(clientWidth, 0)),
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
    host_.restartCapture(host_.requestedWidth, host_.requestedHeight, host_.requestedFps,
                         host_.devices.videoFormat);
}

}  // namespace tovrel::shell
