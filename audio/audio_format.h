#pragma once

#include <cstdint>

namespace tovrel::audio {

// The captured audio format, as the current audio type of the capture reader gives it.
// Plain value; written on the GUI thread when capture opens, read by the audio callback.
struct AudioFormat {
    uint32_t samplesPerSecond = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
    uint32_t blockAlign = 0;  // bytes per frame of all channels
    bool isPcm = false;

    // Four seconds of captured audio: (bits / 2) × channels × rate, the division on the
    // unsigned bit count. 0 when the product does not fit a ring's signed 32-bit size.
    int32_t analysisRingBytes() const;
};

}  // namespace tovrel::audio
