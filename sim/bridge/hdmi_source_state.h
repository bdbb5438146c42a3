#pragma once

#include <cstdint>

namespace tovrel::sim {

// What the simulated box's HDMI input reports through the status registers: register codes as
// the microcontroller gives them, the voltages as its raw 10-bit readings (6600 mV full scale).
struct HdmiSourceState {
    uint8_t timingIndex = 83;      // "1920x1080p@60"
    uint8_t captureResIndex = 16;  // "1920x1080p@60"
    uint8_t audioRateCode = 2;     // "48k"
    uint8_t audioTypeCode = 8;     // "LPCM"
    uint16_t ddcReading = 776;     // 5001 mV
    uint16_t hpdReading = 772;     // 4975 mV

    static constexpr uint16_t readingForMillivolts(int millivolts) {
        return static_cast<uint16_t>(millivolts * 1024 / 6600);
    }
};

}  // namespace tovrel::sim
