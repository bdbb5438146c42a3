#pragma once

#include <cstdint>

namespace tovrel::shell {

class CTovrel2Frame;

// What the commands of the popup menu and the keys are made of: their identifiers, the rules of
// their check marks and the record of one command. Each edition lists the commands it offers, in
// menu order, with the action each runs; the menu, the key handler and the tests are all built
// from that list. Pure data; any thread.
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

    struct Command;
    // What a command does: one entry point of its subsystem, reached through the main window.
    using Action = void (*)(CTovrel2Frame& window, const Command& command);

    struct Command {
        int id;
        const char* text;
        const char* submenu;  // null at the top level
        int key;              // Qt::Key, 0 for none
        Check check;
        int value;  // the setting's value, the snapshot's extension index
        Action action;
    };

    // One item of an edition's menu.
    struct MenuEntry {
        const Command* command;
        bool separatorAfter;  // after this item, or after its submenu when it is the last one
    };

    static constexpr char kSnapshotMenu[] = "[F3]-Snapshot";
    static constexpr char kScreenSnapshotMenu[] = "[F5]-Screen Snapshot";
    static constexpr char kAudioSourceMenu[] = "Audio Source";
    static constexpr char kQualityMenu[] = "Encoding Quality";
    static constexpr char kVideoFormatMenu[] = "Video Encoding Format";
    static constexpr char kAudioFormatMenu[] = "Audio Encoding Format";
};

}  // namespace tovrel::shell
