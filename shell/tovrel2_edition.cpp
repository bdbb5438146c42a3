#include "shell/tovrel2_edition.h"

#include <array>

#include "device/ui/settings_command.h"
#include "shell/capture_host.h"
#include "shell/command_catalogue.h"
#include "shell/settings_window_context.h"

namespace tovrel::shell {
namespace {

using C = CommandTable;

const C::Command* find(int id) { return CommandCatalogue::find(id); }

// Made at start-up from the catalogue, which is there before any start-up code runs.
const std::array<C::MenuEntry, 29> kMenu{{
    {find(C::kMotionDetection), true},
    {find(C::kRecording), false},
    {find(C::kSnapshotJpg), false},
    {find(C::kSnapshotPng), false},
    {find(C::kSnapshotBmp), true},
    {find(C::kScreenRecording), false},
    {find(C::kScreenSnapshotJpg), false},
    {find(C::kScreenSnapshotPng), false},
    {find(C::kScreenSnapshotBmp), true},
    {find(C::kMute), false},
    {find(C::kAudioAnalyze), false},
    {find(C::kSettings), false},
    {find(C::kPreview), true},
    {find(C::kFullScreen), false},
    {find(C::kShowCaption), true},
    {find(C::kKeepAspectRatio), true},
    {find(C::kAudioHdmi), false},
    {find(C::kAudioLineIn), false},
    {find(C::kQualityLowest), false},
    {find(C::kQualityLow), false},
    {find(C::kQualityNormal), false},
    {find(C::kQualityHigh), false},
    {find(C::kQualityHighest), false},
    {find(C::kVideoAvc), false},
    {find(C::kVideoHevc), false},
    {find(C::kAudioAac), false},
    {find(C::kAudioMp3), false},
    {find(C::kPreferHardware), true},
    {find(C::kExit), false},
}};

// The box's Settings window over the program's register worker and the host's capture.
int openBoxSettings(SettingsWindowContext& context) {
    if (context.box == nullptr) return -1;
    device::ui::SettingsHost settingsHost = context.host.settingsHost();
    settingsHost.settingControl = context.settings.settingControl;
    return device::ui::runSettingsDialog(context.parent, *context.box, std::move(settingsHost),
                                         context.openWindow);
}

}  // namespace

const Edition kTovrel2Edition{
    "Tovrel2",
    "Tovrel2ClassName",
    "TOVREL2",
    "Tovrel2",
    kMenu,
    {.keyboardHook = true, .halfScreenPlacement = true, .boxRegisters = true, .capture = {}},
    &openBoxSettings,
};

}  // namespace tovrel::shell
