#pragma once

#include <cstdint>

#include "platform/media/media_type.h"

namespace tovrel::platform {

// What an audio stream's two media types ask of the encoder: the output type gives the codec
// (AAC or MP3), bit rate, rate and channels; the input type gives the PCM the samples carry
// (16-bit or 32-bit integer, or 32-bit float, interleaved). Plain data; any thread.
struct AudioEncoderSettings {
    enum class Codec { kAac, kMp3 };
    enum class InputFormat { kS16, kS32, kFloat };

    Codec codec = Codec::kAac;
    uint32_t bitRate = 0;
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t inputRate = 0;
    uint32_t inputChannels = 0;
    InputFormat inputFormat = InputFormat::kS16;

    // MF_E_INVALIDMEDIATYPE unless the output is AAC or MP3 with a rate and 1 or 2 channels and
    // the input is PCM or float with a rate, a channel count and a sample size this writer reads.
    static HRESULT fromTypes(const MediaType& output, const MediaType& input,
                             AudioEncoderSettings* settings);

    uint32_t inputBytesPerFrame() const {
        return inputChannels * (inputFormat == InputFormat::kS16 ? 2u : 4u);
    }
};

}  // namespace tovrel::platform
