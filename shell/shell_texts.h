#pragma once

namespace tovrel::shell {

// The shell's own texts, each written once here.
struct ShellTexts {
    static constexpr char kSettingsFileName[] = "setting.ini";

    static constexpr char kVersionMessage[] = "You need at least Windows 10.";
    static constexpr char kVersionCaption[] = "Version Not Supported";
    static constexpr char kNoAudioDevice[] = "Cannot create the audio capture device";
    static constexpr char kNoVideoDevice[] = "Cannot create the video capture device";

    static constexpr char kStatePreview[] = "Preview";
    static constexpr char kStateCapture[] = "Capture";
    static constexpr char kStateCaptureScreen[] = "Capture Screen";
    static constexpr char kStateCaptureElapsed[] = "Capture(%02d:%02d:%02d)";
    static constexpr char kStateCaptureScreenElapsed[] = "Capture Screen(%02d:%02d:%02d)";

    static constexpr char kRecordingExtension[] = ".mp4";
    static constexpr const char* kSnapshotExtensions[3] = {".jpg", ".png", ".bmp"};

    static constexpr char kCaptionFormat[] = "%s-%s-%s";
    // The rate goes in as text with two decimals and a decimal point in every locale.
    static constexpr char kModeFormat[] = "%dx%dp@%s";
    static constexpr int kModeRateDecimals = 2;

    // The power handler's debug output.
    static constexpr char kPowerSuspending[] =
        "++WM_POWERBROADCAST++ Stopping both preview & record stream.\n";
    static constexpr char kPowerSuspended[] =
        "++WM_POWERBROADCAST++ streams stopped, capture engine destroyed.\n";
    static constexpr char kPowerResuming[] =
        "++WM_POWERBROADCAST++ Reinitializing capture engine.\n";
    static constexpr char kPowerOtherFormat[] = "++WM_POWERBROADCAST++ (wParam=%u,lParam=%u)\n";

    // What the keyboard filter writes when Insert is released.
    static constexpr char kInsertReleased[] = "1";
};

}  // namespace tovrel::shell
