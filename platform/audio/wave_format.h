#pragma once

#include <cstdint>

#include "platform/media/guid.h"

namespace tovrel::platform {

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// The extensible format's sub-formats carry the plain format tags in the platform's GUID pattern.
constexpr Guid KSDATAFORMAT_SUBTYPE_PCM = numberGuid(WAVE_FORMAT_PCM);
constexpr Guid KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = numberGuid(WAVE_FORMAT_IEEE_FLOAT);

// A playback format as the output device is told it: interleaved frames of `nChannels` samples,
// each in a container of `wBitsPerSample` bits of which the top `wValidBitsPerSample` are used
// (24 valid bits in a 32-bit container sit in its three high bytes). Plain value; any thread.
struct WaveFormatExtensible {
    uint16_t wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 22;
    struct {
        uint16_t wValidBitsPerSample = 0;
    } Samples;
    uint32_t dwChannelMask = 0;
    Guid SubFormat = KSDATAFORMAT_SUBTYPE_PCM;

    // True for IEEE float samples, by sub-format or by the plain tag.
    bool isFloat() const {
        return wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
               (wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    }
    bool isIntegerPcm() const {
        return wFormatTag == WAVE_FORMAT_PCM ||
               (wFormatTag == WAVE_FORMAT_EXTENSIBLE && SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
    }
    uint16_t validBits() const {
        return wFormatTag == WAVE_FORMAT_EXTENSIBLE && Samples.wValidBitsPerSample != 0
                   ? Samples.wValidBitsPerSample
                   : wBitsPerSample;
    }
};

}  // namespace tovrel::platform
