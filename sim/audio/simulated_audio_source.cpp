#include "sim/audio/simulated_audio_source.h"

#include <cmath>
#include <cstdio>

#include "platform/media/mf_guids.h"

namespace tovrel::sim {

using namespace platform;

namespace {

constexpr uint32_t kPoolDepth = 16;
constexpr int64_t kSample100ns = 100'000;  // 10 ms
constexpr uint64_t kBacklogSamples = 100;  // a second of buffered audio

MediaType pcmType(uint32_t rate) {
    MediaType type;
    type.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    type.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    type.SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    type.SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, SimulatedAudioSource::kChannels);
    type.SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, SimulatedAudioSource::kBitsPerSample);
    type.SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, SimulatedAudioSource::kChannels * 2);
    type.SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, SimulatedAudioSource::kChannels * 2 * rate);
    type.SetUINT32(MF_MT_AUDIO_VALID_BITS_PER_SAMPLE, SimulatedAudioSource::kBitsPerSample);
    type.SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    return type;
}

uint32_t framesPerSample(uint32_t rate) { return rate / 100; }

}  // namespace

std::vector<MediaType> SimulatedAudioSource::nativeTypes() {
    return {pcmType(kSampleRate), pcmType(kAlternateRate)};
}

SimulatedAudioSource::SimulatedAudioSource(Pacing pacing)
    : SimulatedAudioSource(pacing, Signal{}) {}

SimulatedAudioSource::SimulatedAudioSource(Pacing pacing, Signal signal)
    : pacing_(pacing), signal_(signal), types_(nativeTypes()) {}

SimulatedAudioSource::~SimulatedAudioSource() = default;

int16_t SimulatedAudioSource::sampleValue(uint64_t frame, uint32_t channel, uint32_t rate) const {
    if (signal_.burstPeriodMs > 0) {
        const uint64_t periodFrames = static_cast<uint64_t>(signal_.burstPeriodMs) * rate / 1000;
        const uint64_t onFrames = static_cast<uint64_t>(signal_.burstOnMs) * rate / 1000;
        if (periodFrames > 0 && frame % periodFrames >= onFrames) return 0;
    }
    const double hz = channel == 0 ? signal_.leftHz : signal_.rightHz;
    // The phase from the frame number modulo the tone's period keeps long streams exact.
    const double cycles = std::fmod(static_cast<double>(frame) * hz / rate, 1.0);
    return static_cast<int16_t>(
        std::lround(signal_.amplitude * 32767.0 * std::sin(2.0 * M_PI * cycles)));
}

HRESULT SimulatedAudioSource::Stop() {
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    running_ = false;
    wake_.notify_all();
    return S_OK;
}

HRESULT SimulatedAudioSource::Shutdown() {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    running_ = false;
    wake_.notify_all();
    return S_OK;
}

HRESULT SimulatedAudioSource::nativeTypes(uint32_t stream, std::vector<MediaType>* types) {
    if (types == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    *types = types_;
    return S_OK;
}

HRESULT SimulatedAudioSource::currentNativeIndex(uint32_t stream, uint32_t* index) {
    if (index == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    *index = nativeIndex_;
    return S_OK;
}

HRESULT SimulatedAudioSource::selectNativeType(uint32_t stream, uint32_t index) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (index >= types_.size()) return MF_E_INVALIDMEDIATYPE;
    if (index != nativeIndex_) {
        nativeIndex_ = index;
        sampleNumber_ = 0;
        startTime_ = std::chrono::steady_clock::now();
    }
    return S_OK;
}

HRESULT SimulatedAudioSource::startStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (unplugged_) return MF_E_DEVICE_NOT_CONNECTED;
    if (!running_) {
        running_ = true;
        ended_ = false;
        typeChangePending_ = false;
        sampleNumber_ = 0;
        released_ = 0;
        startTime_ = std::chrono::steady_clock::now();
    }
    return S_OK;
}

HRESULT SimulatedAudioSource::stopStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    running_ = false;
    wake_.notify_all();
    return S_OK;
}

void SimulatedAudioSource::cancelPull(uint32_t) {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    wake_.notify_all();
}

void SimulatedAudioSource::step(uint32_t samples) {
    std::lock_guard lock(mutex_);
    released_ += samples;
    wake_.notify_all();
}

void SimulatedAudioSource::injectFault(AudioFault fault, uint32_t samples) {
    std::lock_guard lock(mutex_);
    switch (fault) {
        case AudioFault::MissingSample:
            missing_ += samples;
            break;
        case AudioFault::MediaTypeChange:
            typeChangePending_ = true;
            break;
        case AudioFault::EndOfStream:
            ended_ = true;
            break;
        case AudioFault::Stall:
            stalled_ = true;
            break;
        case AudioFault::Unplug:
            unplugged_ = true;
            break;
    }
    wake_.notify_all();
}

void SimulatedAudioSource::clearFaults() {
    std::lock_guard lock(mutex_);
    stalled_ = unplugged_ = ended_ = typeChangePending_ = false;
    missing_ = 0;
    wake_.notify_all();
}

uint64_t SimulatedAudioSource::samplesDelivered() const {
    std::lock_guard lock(mutex_);
    return delivered_;
}

uint64_t SimulatedAudioSource::samplesLost() const {
    std::lock_guard lock(mutex_);
    return lost_;
}

bool SimulatedAudioSource::streaming() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool SimulatedAudioSource::isShutDown() const {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

std::chrono::steady_clock::time_point SimulatedAudioSource::streamStartTime() const {
    std::lock_guard lock(mutex_);
    return startTime_;
}

HRESULT SimulatedAudioSource::pullSample(uint32_t stream, uint32_t timeoutMs,
                                         SourceReadResult* result) {
    if (result == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    *result = SourceReadResult{};
    uint64_t number = 0;
    uint32_t rate = kSampleRate;
    {
        std::unique_lock lock(mutex_);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        cancelled_ = false;
        for (;;) {
            if (shutDown_) return MF_E_SHUTDOWN;
            if (unplugged_) return MF_E_DEVICE_NOT_CONNECTED;
            if (running_ && !stalled_) {
                if (ended_) {
                    result->streamFlags = MF_SOURCE_READERF_ENDOFSTREAM;
                    return S_OK;
                }
                if (typeChangePending_) {
                    typeChangePending_ = false;
                    nativeIndex_ = (nativeIndex_ + 1) % static_cast<uint32_t>(types_.size());
                    sampleNumber_ = 0;
                    startTime_ = std::chrono::steady_clock::now();
                    result->streamFlags = MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED;
                    return S_OK;
                }
                if (pacing_ == Pacing::Stepped) {
                    if (released_ > 0) {
                        --released_;
                        break;
                    }
                } else {
                    const auto elapsed = std::chrono::steady_clock::now() - startTime_;
                    const uint64_t complete = static_cast<uint64_t>(
                        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() /
                        10'000);
                    if (complete > sampleNumber_) {
                        if (complete - sampleNumber_ > kBacklogSamples) {
                            lost_ += complete - sampleNumber_ - kBacklogSamples;
                            sampleNumber_ = complete - kBacklogSamples;
                        }
                        break;
                    }
                    const auto due =
                        startTime_ +
                        std::chrono::microseconds(static_cast<int64_t>(sampleNumber_ + 1) * 10'000);
                    if (due <= deadline) {
                        wake_.wait_until(lock, due, [&] {
                            return cancelled_ || shutDown_ || unplugged_ || stalled_;
                        });
                        if (cancelled_) return S_FALSE;
                        continue;
                    }
                }
            }
            if (cancelled_ || std::chrono::steady_clock::now() >= deadline) return S_FALSE;
            wake_.wait_until(lock, deadline);
        }
        number = sampleNumber_++;
        rate = nativeIndex_ == 0 ? kSampleRate : kAlternateRate;
        if (missing_ > 0) {
            --missing_;
            ++lost_;
            result->timestamp100ns = static_cast<int64_t>(number) * kSample100ns;
            return S_OK;  // completed without a sample
        }
        ++delivered_;
    }
    return produce(number, rate, result);
}

HRESULT SimulatedAudioSource::produce(uint64_t sampleNumber, uint32_t rate,
                                      SourceReadResult* result) {
    const uint32_t frames = framesPerSample(rate);
    const uint32_t bytes = frames * kChannels * 2;
    if (!pool_ || pool_->bufferBytes() != bytes)
        pool_ = std::make_unique<SamplePool>(bytes, 16, kPoolDepth);
    std::shared_ptr<Sample> sample = pool_->acquire();
    if (!sample) return S_FALSE;  // every sample still held downstream: this one is lost
    MemoryBuffer* buffer = SamplePool::bufferOf(sample);
    auto* out = reinterpret_cast<int16_t*>(buffer->data());
    const uint64_t first = sampleNumber * frames;
    for (uint32_t i = 0; i < frames; ++i) {
        out[2 * i] = sampleValue(first + i, 0, rate);
        out[2 * i + 1] = sampleValue(first + i, 1, rate);
    }
    buffer->SetCurrentLength(bytes);
    const int64_t time = static_cast<int64_t>(sampleNumber) * kSample100ns;
    sample->SetSampleTime(time);
    sample->SetSampleDuration(kSample100ns);
    result->status = S_OK;
    result->timestamp100ns = time;
    result->sample = std::move(sample);
    return S_OK;
}

DeviceListEnumerator::Entry simulatedAudioEntry(const BoxModel& model,
                                                SimulatedAudioSource::Pacing pacing) {
    DeviceListEnumerator::Entry entry;
    entry.kind = DeviceListEnumerator::Kind::Audio;
    entry.friendlyName = std::string(model.audioFriendlyName);
    char id[96];
    std::snprintf(id, sizeof id, "sim://USB#VID_%04X&PID_%04X&MI_02#audio", model.vendorId,
                  model.productId);
    entry.symbolicLink = id;
    entry.activation = [pacing](std::shared_ptr<MediaSource>* source) {
        *source = std::make_shared<SimulatedAudioSource>(pacing);
        return S_OK;
    };
    return entry;
}

}  // namespace tovrel::sim
