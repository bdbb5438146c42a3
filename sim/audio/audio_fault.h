#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tovrel::sim {

// Faults the simulated audio device produces on demand. MissingSample applies to the next
// samples (as many as asked); the others hold until cleared or, for the type change and the end
// of stream, until the stream is started again.
enum class AudioFault : uint8_t {
    MissingSample,    // a read completes without a sample (the device lost one)
    MediaTypeChange,  // the device switches to its other native format (the HDMI source changed)
    EndOfStream,      // the device reports the end of its stream
    Stall,            // no sample arrives any more
    Unplug,           // the device is gone: every read fails
    Drift,            // the device's clock runs the given ppm fast (the count; clear ends it)
};

struct AudioFaultName {
    AudioFault fault;
    std::string_view name;
};

inline constexpr std::array<AudioFaultName, 6> kAudioFaultNames{{
    {AudioFault::MissingSample, "missing-sample"},
    {AudioFault::MediaTypeChange, "media-type-change"},
    {AudioFault::EndOfStream, "end-of-stream"},
    {AudioFault::Stall, "stall"},
    {AudioFault::Unplug, "unplug"},
    {AudioFault::Drift, "drift"},
}};

}  // namespace tovrel::sim
