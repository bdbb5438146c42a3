#include <QMenu>

#include <cstdio>

#include "device/box_operations.h"
#include "device/register_map.h"
#include "platform/system/debug_output.h"
#include "shell/output_files.h"
#include "shell/shell_texts.h"
#include "shell/tovrel2_frame.h"

// The main window's commands: the popup menu of its edition, the check marks, and what each
// command does.
namespace tovrel::shell {

// --- the commands ---

bool CTovrel2Frame::checked(const CommandTable::Command& command, bool lineIn) const {
    using Check = CommandTable::Check;
    const capture::MFManager* m = host_.captureManager.get();
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
    bool lineIn = false;
    if (box_ != nullptr && edition_.offers(CommandTable::kAudioLineIn)) {
        lineIn =
            box_->readAudioSource(kAudioSourceWaitMs) == device::BoxControls::AudioSource::LineIn;
    }
    auto menu = std::make_unique<QMenu>(this);
    QMenu* sub = nullptr;
    const char* subName = nullptr;
    for (const CommandTable::MenuEntry& entry : edition_.menu) {
        const CommandTable::Command* command = entry.command;
        if (command->submenu != subName) {
            subName = command->submenu;
            sub = subName ? menu->addMenu(QString::fromUtf8(subName)) : nullptr;
        }
        QMenu* into = sub ? sub : menu.get();
        QAction* action = into->addAction(QString::fromUtf8(command->text));
        action->setData(command->id);
        if (command->check != CommandTable::Check::kNever) {
            action->setCheckable(true);
            action->setChecked(checked(*command, lineIn));
        }
        if (entry.separatorAfter) menu->addSeparator();
    }
    return menu;
}

void CTovrel2Frame::onCommand(int id) {
    if (const CommandTable::Command* command = edition_.command(id))
        command->action(*this, *command);
}

void CTovrel2Frame::toggleMotionDetection() {
    if (capture::MFManager* m = host_.captureManager.get())
        m->motionDetection = !m->motionDetection;
}

void CTovrel2Frame::toggleMute() {
    if (capture::MFManager* m = host_.captureManager.get())
        m->monitorMuted = m->monitorMuted ? 0 : 1;
}

void CTovrel2Frame::openAnalyzer() {
    if (analyzerDialog == nullptr && entryPoints.OpenAudioAnalyzer)
        entryPoints.OpenAudioAnalyzer(this);
}

void CTovrel2Frame::openSettings() {
    if (settingsDialog == nullptr && entryPoints.OpenSettings) entryPoints.OpenSettings(this);
}

void CTovrel2Frame::togglePreview() {
    capture::MFManager* m = host_.captureManager.get();
    if (m == nullptr) return;
    m->previewVisible = !m->previewVisible;
    if (m->recording) {
        setCaptionState(ShellTexts::kStateCapture);
    } else {
        setPreviewCaption();
    }
}

void CTovrel2Frame::setAudioSource(int value) {
    if (box_ == nullptr) return;
    box_->setAudioSource(value == device::kAudioInputLineIn
                             ? device::BoxControls::AudioSource::LineIn
                             : device::BoxControls::AudioSource::Hdmi);
}

// --- recordings and snapshots ---

// The box and the screen recording differ only in their entry points, the flag that says they
// run, their debug name and the caption state; they exclude each other.
void CTovrel2Frame::onRecording(bool screen) {
    capture::MFManager* m = host_.captureManager.get();
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

// A recording whose file no longer grows (a full disk, its folder removed) ends as the user's
// own stop ends it: "Capture" over a file that takes nothing would hide the failure.
bool CTovrel2Frame::stopRecordingThatCannotWrite(bool screen) {
    const auto& writeFailure =
        screen ? entryPoints.ScreenRecordingWriteFailure : entryPoints.RecordingWriteFailure;
    const platform::HRESULT hr = writeFailure ? writeFailure() : platform::S_OK;
    if (!platform::FAILED(hr)) return false;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    platform::outputDebugString(std::string(screen ? "screen recording" : "recording") +
                                ": its file can no longer be written (" + code +
                                "): the recording stops");
    onRecording(screen);
    return true;
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

}  // namespace tovrel::shell
