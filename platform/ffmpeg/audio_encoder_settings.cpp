#include "platform/ffmpeg/audio_encoder_settings.h"

#include "platform/media/mf_guids.h"

namespace tovrel::platform {

HRESULT AudioEncoderSettings::fromTypes(const MediaType& output, const MediaType& input,
                                        AudioEncoderSettings* settings) {
    AudioEncoderSettings s;
    Guid subtype;
    if (FAILED(output.GetGUID(MF_MT_SUBTYPE, &subtype))) return MF_E_INVALIDMEDIATYPE;
    if (subtype == MFAudioFormat_AAC) {
        s.codec = Codec::kAac;
    } else if (subtype == MFAudioFormat_MP3) {
        s.codec = Codec::kMp3;
    } else {
        return MF_E_INVALIDMEDIATYPE;
    }
    if (FAILED(output.GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &s.sampleRate)) ||
        FAILED(output.GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &s.channels)) || s.sampleRate == 0 ||
        s.channels == 0 || s.channels > 2) {
        return MF_E_INVALIDMEDIATYPE;
    }
    // The bit rate in bits, or else from the byte rate the platform's AAC type also carries.
    if (FAILED(output.GetUINT32(MF_MT_AVG_BITRATE, &s.bitRate))) {
        uint32_t bytesPerSecond = 0;
        if (SUCCEEDED(output.GetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, &bytesPerSecond)))
            s.bitRate = bytesPerSecond * 8;
    }

    Guid inputSubtype;
    uint32_t bits = 0;
    if (FAILED(input.GetGUID(MF_MT_SUBTYPE, &inputSubtype)) ||
        FAILED(input.GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &s.inputRate)) ||
        FAILED(input.GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &s.inputChannels)) ||
        FAILED(input.GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)) || s.inputRate == 0 ||
        s.inputChannels == 0 || s.inputChannels > 8) {
        return MF_E_INVALIDMEDIATYPE;
    }
    if (inputSubtype == MFAudioFormat_Float && bits == 32) {
        s.inputFormat = InputFormat::kFloat;
    } else if (inputSubtype == MFAudioFormat_PCM && bits == 16) {
        s.inputFormat = InputFormat::kS16;
    } else if (inputSubtype == MFAudioFormat_PCM && bits == 32) {
        s.inputFormat = InputFormat::kS32;
    } else {
        return MF_E_INVALIDMEDIATYPE;
    }
    *settings = s;
    return S_OK;
}

}  // namespace tovrel::platform
