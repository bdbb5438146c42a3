#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrel::testing {

// What ffprobe, an independent reader, says about a media file. Test helper; any thread.
struct ProbedStream {
    std::string codecType;  // "video", "audio"
    std::string codecName;  // "h264", "hevc", "aac", "mp3"
    std::string codecTag;   // "avc1", "hvc1", "mp4a", ...
    std::string profile;
    int level = 0;
    int width = 0;
    int height = 0;
    double frameRate = 0;      // average: frames over duration
    double baseFrameRate = 0;  // the rate the stream declares (r_frame_rate)
    int sampleRate = 0;
    int channels = 0;
    double startTime = 0;
    double duration = 0;
};

struct ProbedFile {
    bool readable = false;
    std::string formatName;
    double duration = 0;
    std::vector<ProbedStream> streams;
    std::string errors;  // what ffprobe printed at level "error"

    const ProbedStream* stream(const std::string& type) const;
};

struct ProbedVideoFrames {
    int decoded = 0;             // frames decoded (every packet was decoded)
    std::vector<int> keyFrames;  // indices, in presentation order, of the key frames
    uint64_t packetBytes = 0;    // sum of the video packets' sizes
    double lastFrameEnd = 0;     // presentation time after the last frame, seconds
    std::string errors;
};

ProbedFile probeFile(const std::string& path);
// Decodes every video frame (slow on long files).
ProbedVideoFrames probeVideoFrames(const std::string& path);

}  // namespace tovrel::testing
