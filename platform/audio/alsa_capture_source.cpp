#include "platform/audio/alsa_capture_source.h"

#include <alsa/asoundlib.h>

#include <array>

#include "platform/audio/alsa_quiet.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

struct Depth {
    snd_pcm_format_t format;
    uint32_t bits;
};
// In the order they are tried: 16-bit first, what the analyzer and the monitor read natively.
constexpr std::array<Depth, 3> kDepths{{
    {SND_PCM_FORMAT_S16_LE, 16},
    {SND_PCM_FORMAT_S32_LE, 32},
    {SND_PCM_FORMAT_S24_3LE, 24},
}};
constexpr unsigned kPreferredRate = 48000;
constexpr unsigned kPreferredChannels = 2;
constexpr unsigned kLatencyUs = 100'000;

snd_pcm_format_t formatOf(uint32_t bits) {
    for (const Depth& d : kDepths)
        if (d.bits == bits) return d.format;
    return SND_PCM_FORMAT_S16_LE;
}

void logAlsa(const std::string& pcm, const char* call, int error) {
    logCallFailure(pcm, call, snd_strerror(error));
}

}  // namespace

bool AlsaCaptureSource::probe(const std::string& pcmName, Format* format) {
    if (format == nullptr) return false;
    quietAlsa();
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) {
        logAlsa(pcmName, "snd_pcm_open", err);
        return false;
    }
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    bool found = false;
    err = snd_pcm_hw_params_any(pcm, params);
    if (err < 0) {
        logAlsa(pcmName, "snd_pcm_hw_params_any", err);
    } else {
        for (const Depth& d : kDepths) {
            if (snd_pcm_hw_params_test_format(pcm, params, d.format) == 0) {
                found = snd_pcm_hw_params_set_format(pcm, params, d.format) == 0;
                format->bits = d.bits;
                break;
            }
        }
        unsigned channels = kPreferredChannels;
        unsigned rate = kPreferredRate;
        if (found) {
            err = snd_pcm_hw_params_set_channels_near(pcm, params, &channels);
            if (err < 0) logAlsa(pcmName, "snd_pcm_hw_params_set_channels_near", err);
            found = err >= 0;
        }
        if (found) {
            err = snd_pcm_hw_params_set_rate_near(pcm, params, &rate, nullptr);
            if (err < 0) logAlsa(pcmName, "snd_pcm_hw_params_set_rate_near", err);
            found = err >= 0;
        }
        if (!found && err >= 0)
            logCallFailure(pcmName, "snd_pcm_hw_params_test_format", "no integer format");
        format->channels = channels;
        format->rate = rate;
    }
    snd_pcm_close(pcm);
    return found && format->channels > 0 && format->rate > 0;
}

AlsaCaptureSource::AlsaCaptureSource(std::string pcmName, Format format)
    : BlockCaptureSource(format.rate, format.channels, format.bits), pcmName_(std::move(pcmName)) {}

AlsaCaptureSource::~AlsaCaptureSource() { Shutdown(); }

bool AlsaCaptureSource::openRecording() {
    quietAlsa();
    int err = snd_pcm_open(&pcm_, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, 0);
    if (err < 0) {
        logAlsa(pcmName_, "snd_pcm_open", err);
        pcm_ = nullptr;
        return false;
    }
    err = snd_pcm_set_params(pcm_, formatOf(bitsPerSample()), SND_PCM_ACCESS_RW_INTERLEAVED,
                             channels(), rate(), 1, kLatencyUs);
    if (err < 0) {
        logAlsa(pcmName_, "snd_pcm_set_params", err);
        closeRecording();
        return false;
    }
    return true;
}

bool AlsaCaptureSource::readBlock(uint8_t* target) {
    const uint32_t frameBytes = channels() * (bitsPerSample() / 8);
    snd_pcm_uframes_t done = 0;
    while (done < blockFrames()) {
        const snd_pcm_sframes_t got =
            snd_pcm_readi(pcm_, target + done * frameBytes, blockFrames() - done);
        if (got >= 0) {
            done += static_cast<snd_pcm_uframes_t>(got);
            continue;
        }
        const int err = static_cast<int>(got);
        logAlsa(pcmName_, "snd_pcm_readi", err);
        // An overrun, a suspend or a signal: the stream is prepared again and goes on.
        const int recovered = snd_pcm_recover(pcm_, err, 1);
        if (recovered < 0) {
            logAlsa(pcmName_, "snd_pcm_recover", recovered);
            return false;
        }
    }
    return true;
}

void AlsaCaptureSource::closeRecording() {
    if (pcm_) {
        const int err = snd_pcm_close(pcm_);
        if (err < 0) logAlsa(pcmName_, "snd_pcm_close", err);
    }
    pcm_ = nullptr;
}

}  // namespace tovrel::platform
