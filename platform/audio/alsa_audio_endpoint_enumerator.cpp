#include "platform/audio/alsa_audio_endpoint_enumerator.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/audio/alsa_quiet.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

HRESULT fromErrno(int err) {
    if (err == -ENOENT || err == -ENODEV) return E_NOTFOUND;
    if (err == -EINVAL) return E_INVALIDARG;
    if (err == -ENOMEM) return E_OUTOFMEMORY;
    return AUDCLNT_E_DEVICE_INVALIDATED;
}

// The ALSA sample format that holds `f`'s samples exactly; UNKNOWN when there is none.
snd_pcm_format_t alsaFormatOf(const WaveFormatExtensible& f) {
    if (f.nChannels == 0 || f.wBitsPerSample == 0 ||
        f.nBlockAlign != f.nChannels * (f.wBitsPerSample / 8)) {
        return SND_PCM_FORMAT_UNKNOWN;
    }
    if (f.isFloat()) {
        if (f.wBitsPerSample == 32) return SND_PCM_FORMAT_FLOAT_LE;
        if (f.wBitsPerSample == 64) return SND_PCM_FORMAT_FLOAT64_LE;
        return SND_PCM_FORMAT_UNKNOWN;
    }
    if (!f.isIntegerPcm()) return SND_PCM_FORMAT_UNKNOWN;
    switch (f.wBitsPerSample) {
        case 8:
            return SND_PCM_FORMAT_U8;
        case 16:
            return SND_PCM_FORMAT_S16_LE;
        case 24:
            return SND_PCM_FORMAT_S24_3LE;
        // Fewer valid bits sit in the high bytes with zeros below: as 32-bit samples they play
        // right.
        case 32:
            return SND_PCM_FORMAT_S32_LE;
        default:
            return SND_PCM_FORMAT_UNKNOWN;
    }
}

WaveFormatExtensible waveFormatOf(snd_pcm_format_t format, uint32_t channels, uint32_t rate) {
    WaveFormatExtensible f;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    switch (format) {
        case SND_PCM_FORMAT_U8:
            f.wBitsPerSample = 8;
            break;
        case SND_PCM_FORMAT_S24_3LE:
            f.wBitsPerSample = 24;
            break;
        case SND_PCM_FORMAT_S32_LE:
            f.wBitsPerSample = 32;
            break;
        case SND_PCM_FORMAT_FLOAT_LE:
            f.wBitsPerSample = 32;
            f.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
            break;
        default:
            f.wBitsPerSample = 16;
            break;
    }
    f.Samples.wValidBitsPerSample = f.wBitsPerSample;
    f.nBlockAlign = static_cast<uint16_t>(channels * (f.wBitsPerSample / 8));
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    return f;
}

// One open PCM and the stream state its client and render client share.
struct Pcm {
    std::string name;
    snd_pcm_t* handle = nullptr;
    bool started = false;
    uint32_t bufferFrames = 0;
    uint32_t frameBytes = 0;
    // Frames released before Start that were held back (see queue()).
    std::vector<uint8_t> pending;

    ~Pcm() {
        if (handle) {
            check("snd_pcm_drop", snd_pcm_drop(handle));
            check("snd_pcm_close", snd_pcm_close(handle));
        }
    }

    // Logs a failed call with the PCM's name and ALSA's text; answers `result` unchanged.
    template <typename Result>
    Result check(const char* call, Result result) const {
        if (result < 0) logCallFailure(name, call, snd_strerror(static_cast<int>(result)));
        return result;
    }

    uint32_t pendingFrames() const {
        return frameBytes ? static_cast<uint32_t>(pending.size() / frameBytes) : 0;
    }

    // Writes frames that fit the free room (non-blocking); answers the frames written or an
    // error. A stream that ran dry is prepared again once.
    snd_pcm_sframes_t write(const uint8_t* data, uint32_t frames) {
        uint32_t done = 0;
        bool recovered = false;
        while (done < frames) {
            snd_pcm_sframes_t n = snd_pcm_writei(
                handle, data + static_cast<size_t>(done) * frameBytes, frames - done);
            if (n == -EPIPE && !recovered) {
                recovered = true;
                if (check("snd_pcm_prepare", snd_pcm_prepare(handle)) < 0) return n;
                continue;
            }
            if (n == -EAGAIN) break;  // more than the free room; the rest is dropped
            if (n < 0) return check("snd_pcm_writei", n);
            done += static_cast<uint32_t>(n);
        }
        return done;
    }

    // Queues frames; starts a stream that should run but does not (just started, or prepared
    // again after running dry). The sound server's ALSA plugin loses track of a buffer that is
    // completely full when the stream starts (it takes the whole of it as played at once, and
    // lets a second buffer's worth be written on top), so a stream never starts with more than
    // half a buffer queued: the rest follows right after the start, or waits in `pending` until
    // Start when it comes before it.
    snd_pcm_sframes_t queue(const uint8_t* data, uint32_t frames) {
        if (snd_pcm_state(handle) != SND_PCM_STATE_PREPARED) return write(data, frames);
        const snd_pcm_sframes_t avail = check("snd_pcm_avail", snd_pcm_avail(handle));
        const uint32_t queued = avail >= 0 && static_cast<uint32_t>(avail) < bufferFrames
                                    ? bufferFrames - static_cast<uint32_t>(avail)
                                    : 0;
        const uint32_t half = bufferFrames / 2;
        const uint32_t first = std::min(frames, queued < half ? half - queued : 0);
        snd_pcm_sframes_t n = write(data, first);
        if (n < 0) return n;
        const uint8_t* rest = data + static_cast<size_t>(first) * frameBytes;
        const uint32_t restFrames = frames - first;
        if (!started) {
            pending.insert(pending.end(), rest,
                           rest + static_cast<size_t>(restFrames) * frameBytes);
            return frames;
        }
        if (first > 0) check("snd_pcm_start", snd_pcm_start(handle));
        snd_pcm_sframes_t m = write(rest, restFrames);
        if (first == 0 && m > 0) check("snd_pcm_start", snd_pcm_start(handle));
        return m < 0 ? m : n + m;
    }
};

class AlsaRenderClient final : public AudioRenderClient {
  public:
    explicit AlsaRenderClient(std::shared_ptr<Pcm> pcm)
        : pcm_(std::move(pcm)),
          staging_(static_cast<size_t>(pcm_->bufferFrames) * pcm_->frameBytes) {}

    HRESULT GetBuffer(uint32_t frames, uint8_t** data) override {
        if (!data) return E_POINTER;
        if (lent_) return AUDCLNT_E_OUT_OF_ORDER;
        if (frames > pcm_->bufferFrames) return AUDCLNT_E_BUFFER_TOO_LARGE;
        lent_ = true;
        lentFrames_ = frames;
        *data = staging_.data();
        return S_OK;
    }

    HRESULT ReleaseBuffer(uint32_t frames, uint32_t flags) override {
        if (!lent_ || frames > lentFrames_) return AUDCLNT_E_INVALID_SIZE;
        lent_ = false;
        if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
            std::memset(staging_.data(), 0, static_cast<size_t>(frames) * pcm_->frameBytes);
        }
        const snd_pcm_sframes_t n = pcm_->queue(staging_.data(), frames);
        return n < 0 ? fromErrno(static_cast<int>(n)) : S_OK;
    }

  private:
    std::shared_ptr<Pcm> pcm_;
    std::vector<uint8_t> staging_;
    bool lent_ = false;
    uint32_t lentFrames_ = 0;
};

class AlsaAudioClient final : public AudioClient {
  public:
    explicit AlsaAudioClient(std::shared_ptr<Pcm> pcm) : pcm_(std::move(pcm)) {}

    HRESULT IsFormatSupported(AudioShareMode, const WaveFormatExtensible& format,
                              std::optional<WaveFormatExtensible>* closestMatch) override {
        if (closestMatch) closestMatch->reset();
        snd_pcm_t* pcm = pcm_->handle;
        snd_pcm_hw_params_t* hw;
        snd_pcm_hw_params_alloca(&hw);
        if (snd_pcm_hw_params_any(pcm, hw) < 0) return AUDCLNT_E_DEVICE_INVALIDATED;
        if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0) {
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        }
        const snd_pcm_format_t wanted = alsaFormatOf(format);
        const bool exact = wanted != SND_PCM_FORMAT_UNKNOWN &&
                           snd_pcm_hw_params_test_format(pcm, hw, wanted) == 0 &&
                           snd_pcm_hw_params_test_channels(pcm, hw, format.nChannels) == 0 &&
                           snd_pcm_hw_params_test_rate(pcm, hw, format.nSamplesPerSec, 0) == 0;
        if (exact) {
            // Each may be fine alone and not together: set them for real.
            snd_pcm_hw_params_t* both;
            snd_pcm_hw_params_alloca(&both);
            snd_pcm_hw_params_copy(both, hw);
            if (snd_pcm_hw_params_set_format(pcm, both, wanted) == 0 &&
                snd_pcm_hw_params_set_channels(pcm, both, format.nChannels) == 0 &&
                snd_pcm_hw_params_set_rate(pcm, both, format.nSamplesPerSec, 0) == 0) {
                return S_OK;
            }
        }
        if (closestMatch) {
            snd_pcm_format_t chosen = SND_PCM_FORMAT_UNKNOWN;
            const snd_pcm_format_t order[] = {wanted,
                                              SND_PCM_FORMAT_S16_LE,
                                              SND_PCM_FORMAT_FLOAT_LE,
                                              SND_PCM_FORMAT_S32_LE,
                                              SND_PCM_FORMAT_S24_3LE,
                                              SND_PCM_FORMAT_U8};
            for (snd_pcm_format_t f : order) {
                if (f != SND_PCM_FORMAT_UNKNOWN && snd_pcm_hw_params_set_format(pcm, hw, f) == 0) {
                    chosen = f;
                    break;
                }
            }
            unsigned channels = std::max<unsigned>(format.nChannels, 1);
            unsigned rate = std::max<unsigned>(format.nSamplesPerSec, 1);
            if (chosen != SND_PCM_FORMAT_UNKNOWN &&
                snd_pcm_hw_params_set_channels_near(pcm, hw, &channels) == 0 &&
                snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr) == 0) {
                *closestMatch = waveFormatOf(chosen, channels, rate);
            }
        }
        return AUDCLNT_E_UNSUPPORTED_FORMAT;
    }

    HRESULT Initialize(AudioShareMode, uint32_t, int64_t duration100ns, int64_t,
                       const WaveFormatExtensible& format) override {
        if (initialized_) return AUDCLNT_E_ALREADY_INITIALIZED;
        const snd_pcm_format_t wanted = alsaFormatOf(format);
        if (wanted == SND_PCM_FORMAT_UNKNOWN || duration100ns <= 0) {
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        }
        snd_pcm_t* pcm = pcm_->handle;
        snd_pcm_hw_params_t* hw;
        snd_pcm_hw_params_alloca(&hw);
        if (pcm_->check("snd_pcm_hw_params_any", snd_pcm_hw_params_any(pcm, hw)) < 0)
            return AUDCLNT_E_DEVICE_INVALIDATED;
        if (pcm_->check("snd_pcm_hw_params_set_access",
                        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
            pcm_->check("snd_pcm_hw_params_set_format",
                        snd_pcm_hw_params_set_format(pcm, hw, wanted)) < 0 ||
            pcm_->check("snd_pcm_hw_params_set_channels",
                        snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels)) < 0 ||
            pcm_->check("snd_pcm_hw_params_set_rate",
                        snd_pcm_hw_params_set_rate(pcm, hw, format.nSamplesPerSec, 0)) < 0) {
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        }
        unsigned bufferUs = static_cast<unsigned>(duration100ns / 10);
        unsigned periodUs = bufferUs / 4;
        // Near values: a device that cannot come near keeps its own, which the buffer size
        // read back below reports.
        pcm_->check("snd_pcm_hw_params_set_buffer_time_near",
                    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, nullptr));
        pcm_->check("snd_pcm_hw_params_set_period_time_near",
                    snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, nullptr));
        int err = pcm_->check("snd_pcm_hw_params", snd_pcm_hw_params(pcm, hw));
        if (err < 0) return fromErrno(err);
        snd_pcm_uframes_t bufferFrames = 0;
        err = pcm_->check("snd_pcm_hw_params_get_buffer_size",
                          snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames));
        if (err < 0 || bufferFrames == 0) return AUDCLNT_E_DEVICE_INVALIDATED;

        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        err = pcm_->check("snd_pcm_sw_params_current", snd_pcm_sw_params_current(pcm, sw));
        if (err < 0) return fromErrno(err);
        // Only Start starts the stream, as with the platform's client.
        snd_pcm_uframes_t boundary = 0;
        err = pcm_->check("snd_pcm_sw_params_get_boundary",
                          snd_pcm_sw_params_get_boundary(sw, &boundary));
        if (err >= 0)
            err = pcm_->check("snd_pcm_sw_params_set_start_threshold",
                              snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary));
        if (err >= 0)
            err = pcm_->check("snd_pcm_sw_params_set_avail_min",
                              snd_pcm_sw_params_set_avail_min(pcm, sw, 1));
        if (err >= 0) err = pcm_->check("snd_pcm_sw_params", snd_pcm_sw_params(pcm, sw));
        if (err < 0) return fromErrno(err);
        if (pcm_->check("snd_pcm_prepare", snd_pcm_prepare(pcm)) < 0)
            return AUDCLNT_E_DEVICE_INVALIDATED;

        pcm_->bufferFrames = static_cast<uint32_t>(bufferFrames);
        pcm_->frameBytes = format.nBlockAlign;
        pcm_->pending.clear();
        initialized_ = true;
        return S_OK;
    }

    HRESULT GetBufferSize(uint32_t* frames) override {
        if (!frames) return E_POINTER;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        *frames = pcm_->bufferFrames;
        return S_OK;
    }

    HRESULT GetCurrentPadding(uint32_t* frames) override {
        if (!frames) return E_POINTER;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        snd_pcm_t* pcm = pcm_->handle;
        snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
        if (avail == -EPIPE) {
            // Played dry: nothing is queued any more.
            pcm_->check("snd_pcm_prepare", snd_pcm_prepare(pcm));
            *frames = 0;
            return S_OK;
        }
        if (pcm_->check("snd_pcm_avail", avail) < 0) return fromErrno(static_cast<int>(avail));
        const uint32_t buffer = pcm_->bufferFrames;
        const auto free =
            std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), buffer);
        *frames = std::min(buffer, buffer - static_cast<uint32_t>(free) + pcm_->pendingFrames());
        return S_OK;
    }

    HRESULT GetService(std::unique_ptr<AudioRenderClient>* renderClient) override {
        if (!renderClient) return E_POINTER;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        *renderClient = std::make_unique<AlsaRenderClient>(pcm_);
        return S_OK;
    }

    HRESULT Start() override {
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (pcm_->started) return AUDCLNT_E_NOT_STOPPED;
        snd_pcm_t* pcm = pcm_->handle;
        if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED)
            pcm_->check("snd_pcm_prepare", snd_pcm_prepare(pcm));
        pcm_->started = true;
        // An empty stream starts with its first frames (ReleaseBuffer).
        snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
        if (avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) < pcm_->bufferFrames) {
            int err = pcm_->check("snd_pcm_start", snd_pcm_start(pcm));
            if (err < 0) {
                pcm_->started = false;
                return fromErrno(err);
            }
        }
        if (!pcm_->pending.empty()) {
            std::vector<uint8_t> pending;
            pending.swap(pcm_->pending);
            const snd_pcm_sframes_t n = pcm_->queue(
                pending.data(), static_cast<uint32_t>(pending.size() / pcm_->frameBytes));
            if (n < 0) return fromErrno(static_cast<int>(n));
        }
        return S_OK;
    }

    HRESULT Stop() override {
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        pcm_->started = false;
        pcm_->pending.clear();
        pcm_->check("snd_pcm_drop", snd_pcm_drop(pcm_->handle));
        pcm_->check("snd_pcm_prepare", snd_pcm_prepare(pcm_->handle));
        return S_OK;
    }

  private:
    std::shared_ptr<Pcm> pcm_;
    bool initialized_ = false;
};

class AlsaAudioEndpoint final : public AudioEndpoint {
  public:
    AlsaAudioEndpoint(std::string name, std::shared_ptr<Pcm> probe)
        : name_(std::move(name)), probe_(std::move(probe)) {}

    HRESULT Activate(std::unique_ptr<AudioClient>* client) override {
        if (!client) return E_POINTER;
        std::shared_ptr<Pcm> pcm = std::move(probe_);
        if (!pcm) {
            pcm = std::make_shared<Pcm>();
            pcm->name = name_;
            int err =
                pcm->check("snd_pcm_open", snd_pcm_open(&pcm->handle, name_.c_str(),
                                                        SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK));
            if (err < 0) {
                pcm->handle = nullptr;
                return fromErrno(err);
            }
        }
        *client = std::make_unique<AlsaAudioClient>(std::move(pcm));
        return S_OK;
    }

  private:
    std::string name_;
    std::shared_ptr<Pcm> probe_;  // the PCM opened to find the device, handed to the first client
};

}  // namespace

HRESULT AlsaAudioEndpointEnumerator::GetDefaultAudioEndpoint(
    std::unique_ptr<AudioEndpoint>* endpoint) {
    if (!endpoint) return E_POINTER;
    quietAlsa();
    auto pcm = std::make_shared<Pcm>();
    pcm->name = pcmName_;
    int err = pcm->check("snd_pcm_open", snd_pcm_open(&pcm->handle, pcmName_.c_str(),
                                                      SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK));
    if (err < 0) {
        pcm->handle = nullptr;
        return E_NOTFOUND;
    }
    *endpoint = std::make_unique<AlsaAudioEndpoint>(pcmName_, std::move(pcm));
    return S_OK;
}

}  // namespace tovrel::platform
