#pragma once

#include <Qt>

#include <array>
#include <cstdint>

namespace tovrel::shell {

// Every command of the popup menu and the keys, in menu order: the menu, the key handler and the
// tests are all built from this table. Pure data; any thread.
struct CommandTable {
    enum Id : int {
        kMotionDetection = 40001,
        kRecording = 40002,
        kScreenRecording = 40004,
        kMute = 40006,
        kAudioAnalyze = 40007,
        kSettings = 40008,
        kPreview = 40009,
        kFullScreen = 40010,
        kShowCaption = 40011,
        kSnapshotJpg = 40012,
        kSnapshotPng = 40013,
        kSnapshotBmp = 40014,
        kScreenSnapshotJpg = 40015,
        kScreenSnapshotPng = 40016,
        kScreenSnapshotBmp = 40017,
        kQualityLow = 40025,
        kQualityNormal = 40026,
        kQualityHigh = 40027,
        kAudioHdmi = 40029,
        kAudioLineIn = 40030,
        kVideoAvc = 40034,
        kVideoHevc = 40035,
        kQualityLowest = 40036,
        kQualityHighest = 40037,
        kAudioAac = 40039,
        kAudioMp3 = 40040,
        kKeepAspectRatio = 40041,
        kExit = 40042,
        kPreferHardware = 40043,
    };

    // What decides an item's check mark.
    enum class Check : uint8_t {
        kNever,
        kMotionDetection,
        kRecording,
        kScreenRecording,
        kMonitorMuted,
        kPreviewVisible,
        kFullScreen,
        kCaptionShown,
        kKeepAspect,
        kAudioHdmi,    // the box reports a source other than Line-In (or cannot be read)
        kAudioLineIn,  // the box reports Line-In
        kQuality,      // settingQuality == value
        kVideoType,    // settingVideoType == value
        kAudioType,    // settingAudioType == value
        kHardware,
    };

    struct Command {
        int id;
        const char* text;
        const char* submenu;  // null at the top level
        int key;              // Qt::Key, 0 for none
        Check check;
        int value;            // the setting's value, the snapshot's extension index
        bool separatorAfter;  // after this item, or after its submenu when it is the last one
    };

    static constexpr char kSnapshotMenu[] = "[F3]-Snapshot";
    static constexpr char kScreenSnapshotMenu[] = "[F5]-Screen Snapshot";
    static constexpr char kAudioSourceMenu[] = "Audio Source";
    static constexpr char kQualityMenu[] = "Encoding Quality";
    static constexpr char kVideoFormatMenu[] = "Video Encoding Format";
    static constexpr char kAudioFormatMenu[] = "Audio Encoding Format";

    static constexpr std::array<Command, 29> kCommands{{
        {kMotionDetection, "[F1]-Motion Detection", nullptr, Qt::Key_F1, Check::kMotionDetection, 0,
         true},
        {kRecording, "[F2]-Recording", nullptr, Qt::Key_F2, Check::kRecording, 0, false},
        {kSnapshotJpg, "JPG", kSnapshotMenu, Qt::Key_F3, Check::kNever, 0, false},
        {kSnapshotPng, "PNG", kSnapshotMenu, 0, Check::kNever, 1, false},
        {kSnapshotBmp, "BMP", kSnapshotMenu, 0, Check::kNever, 2, true},
        {kScreenRecording, "[F4]-Screen Recording", nullptr, Qt::Key_F4, Check::kScreenRecording, 0,
         false},
        {kScreenSnapshotJpg, "JPG", kScreenSnapshotMenu, Qt::Key_F5, Check::kNever, 0, false},
        {kScreenSnapshotPng, "PNG", kScreenSnapshotMenu, 0, Check::kNever, 1, false},
        {kScreenSnapshotBmp, "BMP", kScreenSnapshotMenu, 0, Check::kNever, 2, true},
        {kMute, "[F6]-Mute", nullptr, Qt::Key_F6, Check::kMonitorMuted, 0, false},
        {kAudioAnalyze, "[F7]-Audio Analyze", nullptr, Qt::Key_F7, Check::kNever, 0, false},
        {kSettings, "[F8]-Settings", nullptr, Qt::Key_F8, Check::kNever, 0, false},
        {kPreview, "[F9]-Preview", nullptr, Qt::Key_F9, Check::kPreviewVisible, 0, true},
        {kFullScreen, "[F]-Full Screen", nullptr, Qt::Key_F, Check::kFullScreen, 0, false},
        {kShowCaption, "[H]-Show Caption", nullptr, Qt::Key_H, Check::kCaptionShown, 0, true},
        {kKeepAspectRatio, "Keep Aspect Ratio", nullptr, 0, Check::kKeepAspect, 0, true},
        {kAudioHdmi, "HDMI", kAudioSourceMenu, 0, Check::kAudioHdmi, 6, false},
        {kAudioLineIn, "Line-In", kAudioSourceMenu, 0, Check::kAudioLineIn, 5, false},
        {kQualityLowest, "Lowest", kQualityMenu, 0, Check::kQuality, 0, false},
        {kQualityLow, "Low", kQualityMenu, 0, Check::kQuality, 1, false},
        {kQualityNormal, "Normal", kQualityMenu, 0, Check::kQuality, 2, false},
        {kQualityHigh, "High", kQualityMenu, 0, Check::kQuality, 3, false},
        {kQualityHighest, "Highest", kQualityMenu, 0, Check::kQuality, 4, false},
        {kVideoAvc, "AVC (H.264)", kVideoFormatMenu, 0, Check::kVideoType, 0, false},
        {kVideoHevc, "HEVC (H.265)", kVideoFormatMenu, 0, Check::kVideoType, 1, false},
        {kAudioAac, "AAC", kAudioFormatMenu, 0, Check::kAudioType, 0, false},
        {kAudioMp3, "MP3", kAudioFormatMenu, 0, Check::kAudioType, 1, false},
        {kPreferHardware, "Prefer Hardware Encoding", nullptr, 0, Check::kHardware, 0, true},
        {kExit, "Exit", nullptr, 0, Check::kNever, 0, false},
    }};

    // The command a key runs, or null (Esc is not a command: it only leaves full screen).
    static constexpr const Command* forKey(int key) {
        for (const Command& command : kCommands) {
            if (command.key != 0 && command.key == key) return &command;
        }
        return nullptr;
    }

    static constexpr const Command* find(int id) {
        for (const Command& command : kCommands) {
            if (command.id == id) return &command;
        }
        return nullptr;
    }
};

}  // namespace tovrel::shell
