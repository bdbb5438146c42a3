#pragma once

#include <cstdint>

namespace tovrel::audio {

// What the monitor plays: the capture format copied by each streaming start. Before the first
// start it holds 16-bit stereo PCM at 44,100 Hz. Plain value; written by the starting thread
// before the monitor thread starts, then read by it.
struct MonitorFormat {
    uint32_t bitsPerSample = 16;
    uint32_t samplesPerSecond = 44100;
    uint32_t channels = 2;
    bool isPcm = true;

    // 200 ms of audio: ((channels × bits) / 8) × (rate / 5), unsigned integer divisions.
    // 0 when it does not fit a ring's signed 32-bit size.
    int32_t monitorRingBytes() const;
    // Bytes of one frame as the ring carries it: whole bytes per sample, 24-bit samples packed
    // in three bytes.
    uint32_t ringFrameBytes() const { return channels * ((bitsPerSample + 7) / 8); }
};

}  // namespace tovrel::audio
