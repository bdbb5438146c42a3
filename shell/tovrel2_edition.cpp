#include "shell/tovrel2_edition.h"

#include <array>

#include "capture/mf_manager.h"
#include "device/ui/settings_command.h"
#include "shell/capture_host.h"
#include "shell/settings_window_context.h"

namespace tovrel::shell {
namespace {

using C = CommandTable;

constexpr std::array<C::MenuEntry, 29> kMenu{{
    {C::kMotionDetection, true},
    {C::kRecording, false},
    {C::kSnapshotJpg, false},
    {C::kSnapshotPng, false},
    {C::kSnapshotBmp, true},
    {C::kScreenRecording, false},
    {C::kScreenSnapshotJpg, false},
    {C::kScreenSnapshotPng, false},
    {C::kScreenSnapshotBmp, true},
    {C::kMute, false},
    {C::kAudioAnalyze, false},
    {C::kSettings, false},
    {C::kPreview, true},
    {C::kFullScreen, false},
    {C::kShowCaption, true},
    {C::kKeepAspectRatio, true},
    {C::kAudioHdmi, false},
    {C::kAudioLineIn, false},
    {C::kQualityLowest, false},
    {C::kQualityLow, false},
    {C::kQualityNormal, false},
    {C::kQualityHigh, false},
    {C::kQualityHighest, false},
    {C::kVideoAvc, false},
    {C::kVideoHevc, false},
    {C::kAudioAac, false},
    {C::kAudioMp3, false},
    {C::kPreferHardware, true},
    {C::kExit, false},
}};

// The box's Settings window over the program's register worker and the host's capture.
int openBoxSettings(SettingsWindowContext& context) {
    if (context.box == nullptr) return -1;
    CaptureHost& host = context.host;
    device::ui::SettingsHost settingsHost;
    settingsHost.capture = [&host] {
        device::ui::SettingsHost::Capture c;
        if (const capture::MFManager* m = host.captureManager.get()) {
            c.modes[0].assign(m->yuy2Modes.begin(), m->yuy2Modes.begin() + m->yuy2ModeCount);
            c.modes[1].assign(m->mjpgModes.begin(), m->mjpgModes.begin() + m->mjpgModeCount);
            c.modes[2].assign(m->nv12Modes.begin(), m->nv12Modes.begin() + m->nv12ModeCount);
            c.width = m->width;
            c.height = m->height;
            c.frameRate = m->frameRate;
        }
        c.firstIndices = host.devices.firstIndices;
        c.videoFormat = host.devices.videoFormat;
        return c;
    };
    settingsHost.restartCapture = [&host](int32_t w, int32_t h, int32_t fps, int32_t format) {
        host.restartCapture(w, h, fps, format);
    };
    settingsHost.settingControl = context.settings.settingControl;
    return device::ui::runSettingsDialog(context.parent, *context.box, std::move(settingsHost),
                                         context.openWindow);
}

}  // namespace

constinit const Edition kTovrel2Edition{
    "Tovrel2",
    "Tovrel2ClassName",
    "TOVREL2",
    "Tovrel2",
    kMenu,
    {.keyboardHook = true, .halfScreenPlacement = true, .boxRegisters = true},
    &openBoxSettings,
};

}  // namespace tovrel::shell
