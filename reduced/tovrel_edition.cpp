#include "reduced/tovrel_edition.h"

#include <array>

#include "reduced/ui/endpoint_volume.h"
#include "reduced/ui/io_dialog.h"
#include "shell/capture_host.h"
#include "shell/command_catalogue.h"
#include "shell/settings_window_context.h"

namespace tovrel::reduced {
namespace {

using shell::CommandCatalogue;
using shell::CommandTable;
using shell::SettingsWindowContext;

using C = CommandTable;

const C::Command* find(int id) { return CommandCatalogue::find(id); }

// Made at start-up from the catalogue, which is there before any start-up code runs.
const std::array<C::MenuEntry, 20> kMenu{{
    {find(C::kRecording), false},      {find(C::kSnapshotJpg), false},
    {find(C::kSnapshotPng), false},    {find(C::kSnapshotBmp), true},
    {find(C::kSettings), false},       {find(C::kPreview), true},
    {find(C::kFullScreen), false},     {find(C::kShowCaption), true},
    {find(C::kKeepAspectRatio), true}, {find(C::kQualityLowest), false},
    {find(C::kQualityLow), false},     {find(C::kQualityNormal), false},
    {find(C::kQualityHigh), false},    {find(C::kQualityHighest), false},
    {find(C::kVideoAvc), false},       {find(C::kVideoHevc), false},
    {find(C::kAudioAac), false},       {find(C::kAudioMp3), false},
    {find(C::kPreferHardware), true},  {find(C::kExit), false},
}};

int openDeviceSettings(SettingsWindowContext& context) {
    reduced::ui::EndpointVolume volume(context.backends.captureEndpoints.get());
    shell::CaptureHost& host = context.host;
    reduced::ui::ReducedDialogModel::Host windowHost;
    windowHost.capture = host.settingsHost();
    windowHost.pictureControls = &host.devices.pictureControls;
    windowHost.videoProcAmp = [&host]() -> platform::VideoProcAmp* {
        return host.devices.videoSource ? host.devices.videoSource->videoProcAmp() : nullptr;
    };
    windowHost.volume = &volume;
    return reduced::ui::runReducedSettings(context.parent, std::move(windowHost),
                                           context.openWindow);
}

}  // namespace

const shell::Edition kTovrelEdition{
    "Tovrel",
    "TovrelClassName",
    "TOVREL",
    "Tovrel",
    kMenu,
    {.keyboardHook = false,
     .halfScreenPlacement = false,
     .boxRegisters = false,
     .capture = {.firstDeviceFallback = false,
                 .boxModelFlags = false,
                 .nv12 = false,
                 .pictureControls = true,
                 .desktop = false}},
    &openDeviceSettings,
};

}  // namespace tovrel::reduced
