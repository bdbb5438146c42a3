#include "audio/audio_format.h"

#include <limits>

namespace tovrel::audio {

int32_t AudioFormat::analysisRingBytes() const {
    const uint64_t bytes = static_cast<uint64_t>(bitsPerSample / 2) * channels * samplesPerSecond;
    return bytes > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())
               ? 0
               : static_cast<int32_t>(bytes);
}

}  // namespace tovrel::audio
