#include "audio/monitor_format.h"

#include <limits>

namespace tovrel::audio {

int32_t MonitorFormat::monitorRingBytes() const {
    const uint64_t bytes =
        static_cast<uint64_t>((static_cast<uint64_t>(channels) * bitsPerSample) / 8) *
        (samplesPerSecond / 5);
    return bytes > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())
               ? 0
               : static_cast<int32_t>(bytes);
}

}  // namespace tovrel::audio
