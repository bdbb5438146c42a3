#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tovrel::sim {

// Faults the simulated video device produces on demand. The frame faults spoil the next frames
// (as many as asked); the stream faults hold until cleared or, for the end of stream and the
// type change, until the stream is started again.
enum class VideoFault : uint8_t {
    CorruptJpeg,      // MJPEG: the frame's header is destroyed, it cannot be read at all
    TruncatedJpeg,    // MJPEG: the frame breaks off after a third of its bytes
    WrongSizeJpeg,    // MJPEG: the frame is half the mode's width and height
    Jpeg420,          // MJPEG: the frame is 4:2:0 instead of 4:2:2
    ShortSample,      // YUY2/NV12: the sample holds half a frame
    MediaTypeChange,  // the device switches to another native mode (the HDMI source changed)
    EndOfStream,      // the device reports the end of its stream
    Stall,            // no frame arrives any more
    Unplug,           // the device is gone: every read fails
};

struct VideoFaultName {
    VideoFault fault;
    std::string_view name;
};

inline constexpr std::array<VideoFaultName, 9> kVideoFaultNames{{
    {VideoFault::CorruptJpeg, "corrupt-jpeg"},
    {VideoFault::TruncatedJpeg, "truncated-jpeg"},
    {VideoFault::WrongSizeJpeg, "wrong-size-jpeg"},
    {VideoFault::Jpeg420, "jpeg-420"},
    {VideoFault::ShortSample, "short-sample"},
    {VideoFault::MediaTypeChange, "media-type-change"},
    {VideoFault::EndOfStream, "end-of-stream"},
    {VideoFault::Stall, "stall"},
    {VideoFault::Unplug, "unplug"},
}};

}  // namespace tovrel::sim
