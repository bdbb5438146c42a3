#include "shell/command_catalogue.h"

#include <Qt>

#include "shell/tovrel2_frame.h"

namespace tovrel::shell {
namespace {

using C = CommandTable;
using enum CommandTable::Id;
using W = CTovrel2Frame;
using Command = C::Command;
using Check = C::Check;

}  // namespace

constinit const std::array<Command, 29> CommandCatalogue::kCommands{{
    {kMotionDetection, "[F1]-Motion Detection", nullptr, Qt::Key_F1, Check::kMotionDetection, 0,
     [](W& w, const Command&) { w.toggleMotionDetection(); }},
    {kRecording, "[F2]-Recording", nullptr, Qt::Key_F2, Check::kRecording, 0,
     [](W& w, const Command&) { w.onRecording(false); }},
    {kSnapshotJpg, "JPG", C::kSnapshotMenu, Qt::Key_F3, Check::kNever, 0,
     [](W& w, const Command& c) { w.onSnapshot(false, c.value); }},
    {kSnapshotPng, "PNG", C::kSnapshotMenu, 0, Check::kNever, 1,
     [](W& w, const Command& c) { w.onSnapshot(false, c.value); }},
    {kSnapshotBmp, "BMP", C::kSnapshotMenu, 0, Check::kNever, 2,
     [](W& w, const Command& c) { w.onSnapshot(false, c.value); }},
    {kScreenRecording, "[F4]-Screen Recording", nullptr, Qt::Key_F4, Check::kScreenRecording, 0,
     [](W& w, const Command&) { w.onRecording(true); }},
    {kScreenSnapshotJpg, "JPG", C::kScreenSnapshotMenu, Qt::Key_F5, Check::kNever, 0,
     [](W& w, const Command& c) { w.onSnapshot(true, c.value); }},
    {kScreenSnapshotPng, "PNG", C::kScreenSnapshotMenu, 0, Check::kNever, 1,
     [](W& w, const Command& c) { w.onSnapshot(true, c.value); }},
    {kScreenSnapshotBmp, "BMP", C::kScreenSnapshotMenu, 0, Check::kNever, 2,
     [](W& w, const Command& c) { w.onSnapshot(true, c.value); }},
    {kMute, "[F6]-Mute", nullptr, Qt::Key_F6, Check::kMonitorMuted, 0,
     [](W& w, const Command&) { w.toggleMute(); }},
    {kAudioAnalyze, "[F7]-Audio Analyze", nullptr, Qt::Key_F7, Check::kNever, 0,
     [](W& w, const Command&) { w.openAnalyzer(); }},
    {kSettings, "[F8]-Settings", nullptr, Qt::Key_F8, Check::kNever, 0,
     [](W& w, const Command&) { w.openSettings(); }},
    {kPreview, "[F9]-Preview", nullptr, Qt::Key_F9, Check::kPreviewVisible, 0,
     [](W& w, const Command&) { w.togglePreview(); }},
    {kFullScreen, "[F]-Full Screen", nullptr, Qt::Key_F, Check::kFullScreen, 0,
     [](W& w, const Command&) { w.toggleFullScreen(); }},
    {kShowCaption, "[H]-Show Caption", nullptr, Qt::Key_H, Check::kCaptionShown, 0,
     [](W& w, const Command&) { w.toggleCaption(); }},
    {kKeepAspectRatio, "Keep Aspect Ratio", nullptr, 0, Check::kKeepAspect, 0,
     [](W& w, const Command&) { w.toggleKeepAspect(); }},
    {kAudioHdmi, "HDMI", C::kAudioSourceMenu, 0, Check::kAudioHdmi, 6,
     [](W& w, const Command& c) { w.setAudioSource(c.value); }},
    {kAudioLineIn, "Line-In", C::kAudioSourceMenu, 0, Check::kAudioLineIn, 5,
     [](W& w, const Command& c) { w.setAudioSource(c.value); }},
    {kQualityLowest, "Lowest", C::kQualityMenu, 0, Check::kQuality, 0,
     [](W& w, const Command& c) { w.settings.settingQuality = c.value; }},
    {kQualityLow, "Low", C::kQualityMenu, 0, Check::kQuality, 1,
     [](W& w, const Command& c) { w.settings.settingQuality = c.value; }},
    {kQualityNormal, "Normal", C::kQualityMenu, 0, Check::kQuality, 2,
     [](W& w, const Command& c) { w.settings.settingQuality = c.value; }},
    {kQualityHigh, "High", C::kQualityMenu, 0, Check::kQuality, 3,
     [](W& w, const Command& c) { w.settings.settingQuality = c.value; }},
    {kQualityHighest, "Highest", C::kQualityMenu, 0, Check::kQuality, 4,
     [](W& w, const Command& c) { w.settings.settingQuality = c.value; }},
    {kVideoAvc, "AVC (H.264)", C::kVideoFormatMenu, 0, Check::kVideoType, 0,
     [](W& w, const Command& c) { w.settings.settingVideoType = c.value; }},
    {kVideoHevc, "HEVC (H.265)", C::kVideoFormatMenu, 0, Check::kVideoType, 1,
     [](W& w, const Command& c) { w.settings.settingVideoType = c.value; }},
    {kAudioAac, "AAC", C::kAudioFormatMenu, 0, Check::kAudioType, 0,
     [](W& w, const Command& c) { w.settings.settingAudioType = c.value; }},
    {kAudioMp3, "MP3", C::kAudioFormatMenu, 0, Check::kAudioType, 1,
     [](W& w, const Command& c) { w.settings.settingAudioType = c.value; }},
    {kPreferHardware, "Prefer Hardware Encoding", nullptr, 0, Check::kHardware, 0,
     [](W& w, const Command&) { w.settings.settingHardware = w.settings.settingHardware ? 0 : 1; }},
    {kExit, "Exit", nullptr, 0, Check::kNever, 0, [](W& w, const Command&) { w.close(); }},
}};

const Command* CommandCatalogue::find(int id) {
    for (const Command& command : kCommands) {
        if (command.id == id) return &command;
    }
    return nullptr;
}

}  // namespace tovrel::shell
