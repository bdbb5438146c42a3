#include "platform/audio/memory_audio_device.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace tovrel::platform {

struct MemoryAudioDevice::State {
    Options options;
    Clock* clock = nullptr;
    mutable std::mutex mutex;
    Record record;
    std::vector<uint8_t> played;
    bool alignmentRefused = false;
    uint32_t frameBytes = 0;
    uint32_t rate = 0;
    uint64_t queuedFrames = 0;
    uint64_t lastMs = 0;
    uint64_t carry = 0;  // frames × 1000 not yet played, for rates that are not whole per ms
    std::vector<uint8_t> lent;
    uint32_t lentFrames = 0;
    bool lending = false;

    // Plays what the time since the last look covers. Caller holds `mutex`.
    void advance() {
        if (options.manualConsumption || !record.started || rate == 0) return;
        const uint64_t now = clock->getTickCount64();
        const uint64_t scaled = (now - lastMs) * rate + carry;
        lastMs = now;
        const uint64_t frames = scaled / 1000;
        carry = scaled % 1000;
        if (frames > queuedFrames && queuedFrames > 0) ++record.underruns;
        queuedFrames -= std::min(frames, queuedFrames);
    }
};

namespace {

bool wellFormed(const WaveFormatExtensible& f) {
    if (f.nChannels == 0 || f.nSamplesPerSec == 0 || f.wBitsPerSample == 0) return false;
    if (f.wBitsPerSample % 8 != 0) return false;
    if (f.nBlockAlign != f.nChannels * (f.wBitsPerSample / 8)) return false;
    return f.isFloat() || f.isIntegerPcm();
}

class MemoryRenderClient final : public AudioRenderClient {
  public:
    explicit MemoryRenderClient(std::shared_ptr<MemoryAudioDevice::State> state)
        : state_(std::move(state)) {}

    HRESULT GetBuffer(uint32_t frames, uint8_t** data) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        ++state_->record.getBufferCalls;
        if (!data) return E_POINTER;
        if (state_->lending) return AUDCLNT_E_OUT_OF_ORDER;
        state_->advance();
        if (state_->queuedFrames + frames > state_->record.bufferFrames) {
            return AUDCLNT_E_BUFFER_TOO_LARGE;
        }
        // Fresh garbage each time, so a caller that releases frames it never wrote is caught.
        state_->lent.assign(static_cast<size_t>(frames) * state_->frameBytes + 1, 0xA5);
        state_->lentFrames = frames;
        state_->lending = true;
        *data = state_->lent.data();
        return S_OK;
    }

    HRESULT ReleaseBuffer(uint32_t frames, uint32_t flags) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!state_->lending || frames > state_->lentFrames) return AUDCLNT_E_INVALID_SIZE;
        state_->lending = false;
        // The byte past the lent frames is a guard: a write beyond them is a caller's fault.
        if (state_->lent[static_cast<size_t>(state_->lentFrames) * state_->frameBytes] != 0xA5) {
            return AUDCLNT_E_BUFFER_TOO_LARGE;
        }
        const size_t bytes = static_cast<size_t>(frames) * state_->frameBytes;
        if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
            state_->played.insert(state_->played.end(), bytes, 0);
            state_->record.silentFramesFlagged += frames;
        } else {
            state_->played.insert(state_->played.end(), state_->lent.begin(),
                                  state_->lent.begin() + static_cast<ptrdiff_t>(bytes));
        }
        state_->queuedFrames += frames;
        state_->record.framesReleased += frames;
        return S_OK;
    }

  private:
    std::shared_ptr<MemoryAudioDevice::State> state_;
};

class MemoryAudioClient final : public AudioClient {
  public:
    explicit MemoryAudioClient(std::shared_ptr<MemoryAudioDevice::State> state)
        : state_(std::move(state)) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->record.clientAlive = true;
    }
    ~MemoryAudioClient() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->record.clientAlive = false;
    }

    HRESULT IsFormatSupported(AudioShareMode, const WaveFormatExtensible& format,
                              std::optional<WaveFormatExtensible>* closestMatch) override {
        MemoryAudioDevice::FormatSupport support;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            ++state_->record.isFormatSupportedCalls;
            state_->record.askedFormat = format;
            support = state_->options.formatSupport;
        }
        if (closestMatch) closestMatch->reset();
        if (support) return support(format, closestMatch);
        return wellFormed(format) ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
    }

    HRESULT Initialize(AudioShareMode, uint32_t streamFlags, int64_t duration100ns,
                       int64_t periodicity100ns, const WaveFormatExtensible& format) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        auto& r = state_->record;
        ++r.initializeCalls;
        if (initialized_) return AUDCLNT_E_ALREADY_INITIALIZED;
        if (FAILED(state_->options.initializeResult)) return state_->options.initializeResult;
        if (!wellFormed(format) || duration100ns <= 0) return AUDCLNT_E_UNSUPPORTED_FORMAT;
        const uint32_t frames = static_cast<uint32_t>(
            (duration100ns * static_cast<int64_t>(format.nSamplesPerSec) + 5'000'000) / 10'000'000);
        const uint32_t aligned = state_->options.alignedBufferFrames;
        if (aligned != 0 && frames != aligned) {
            refusedForAlignment_ = true;
            return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
        }
        initialized_ = true;
        r.initializedFormat = format;
        r.initializedFlags = streamFlags;
        r.initializedDuration100ns = duration100ns;
        r.initializedPeriodicity100ns = periodicity100ns;
        r.bufferFrames = frames;
        state_->frameBytes = format.nBlockAlign;
        state_->rate = format.nSamplesPerSec;
        state_->queuedFrames = 0;
        return S_OK;
    }

    HRESULT GetBufferSize(uint32_t* frames) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!frames) return E_POINTER;
        if (refusedForAlignment_ && !initialized_) {
            *frames = state_->options.alignedBufferFrames;
            return S_OK;
        }
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        *frames = state_->record.bufferFrames;
        return S_OK;
    }

    HRESULT GetCurrentPadding(uint32_t* frames) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!frames) return E_POINTER;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        state_->advance();
        *frames = static_cast<uint32_t>(state_->queuedFrames);
        return S_OK;
    }

    HRESULT GetService(std::unique_ptr<AudioRenderClient>* renderClient) override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!renderClient) return E_POINTER;
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (FAILED(state_->options.getServiceResult)) return state_->options.getServiceResult;
        *renderClient = std::make_unique<MemoryRenderClient>(state_);
        return S_OK;
    }

    HRESULT Start() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        if (FAILED(state_->options.startResult)) return state_->options.startResult;
        if (state_->record.started) return AUDCLNT_E_NOT_STOPPED;
        state_->record.started = true;
        state_->lastMs = state_->clock->getTickCount64();
        state_->carry = 0;
        return S_OK;
    }

    HRESULT Stop() override {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
        state_->advance();
        if (state_->record.started) state_->record.stopped = true;
        state_->record.started = false;
        return S_OK;
    }

  private:
    std::shared_ptr<MemoryAudioDevice::State> state_;
    bool initialized_ = false;
    bool refusedForAlignment_ = false;
};

class MemoryAudioEndpoint final : public AudioEndpoint {
  public:
    explicit MemoryAudioEndpoint(std::shared_ptr<MemoryAudioDevice::State> state)
        : state_(std::move(state)) {}

    HRESULT Activate(std::unique_ptr<AudioClient>* client) override {
        if (!client) return E_POINTER;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            ++state_->record.activations;
            if (state_->options.activationFails) return AUDCLNT_E_DEVICE_INVALIDATED;
        }
        *client = std::make_unique<MemoryAudioClient>(state_);
        return S_OK;
    }

  private:
    std::shared_ptr<MemoryAudioDevice::State> state_;
};

class MemoryAudioEndpointEnumerator final : public AudioEndpointEnumerator {
  public:
    explicit MemoryAudioEndpointEnumerator(std::shared_ptr<MemoryAudioDevice::State> state)
        : state_(std::move(state)) {}

    HRESULT GetDefaultAudioEndpoint(std::unique_ptr<AudioEndpoint>* endpoint) override {
        if (!endpoint) return E_POINTER;
        if (!state_->options.present) return E_NOTFOUND;
        *endpoint = std::make_unique<MemoryAudioEndpoint>(state_);
        return S_OK;
    }

  private:
    std::shared_ptr<MemoryAudioDevice::State> state_;
};

}  // namespace

MemoryAudioDevice::MemoryAudioDevice(Options options, Clock& clock)
    : state_(std::make_shared<State>()) {
    state_->options = std::move(options);
    state_->clock = &clock;
}

MemoryAudioDevice::~MemoryAudioDevice() = default;

std::unique_ptr<AudioEndpointEnumerator> MemoryAudioDevice::makeEnumerator() {
    return std::make_unique<MemoryAudioEndpointEnumerator>(state_);
}

void MemoryAudioDevice::consume(uint32_t frames) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->queuedFrames -= std::min<uint64_t>(frames, state_->queuedFrames);
}

MemoryAudioDevice::Record MemoryAudioDevice::record() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->record;
}

std::vector<uint8_t> MemoryAudioDevice::played() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->played;
}

}  // namespace tovrel::platform
