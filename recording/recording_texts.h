#pragma once

#include <string_view>

namespace tovrel::recording {

// The recording's own texts, all for the debug output.
struct RecordingTexts {
    static constexpr std::string_view kWriterNotCreated =
        "Recording: the sink writer was not created";
    static constexpr std::string_view kVideoStreamFailed =
        "Recording: the video stream was not configured";
    static constexpr std::string_view kAudioStreamFailed =
        "Recording: the audio stream was not configured";
    static constexpr std::string_view kBeginWritingFailed = "Recording: BeginWriting failed";
    static constexpr std::string_view kFinalizeFailed = "Recording: Finalize failed";
    static constexpr std::string_view kFramesNotHandedOver =
        "Recording: video frames dropped before the writer (no free buffer):";
    static constexpr std::string_view kSnapshotNoFrame = "Snapshot: no frame has been shown yet";
    static constexpr std::string_view kSnapshotFailed = "Snapshot: encoding failed";
};

}  // namespace tovrel::recording
