#include "sim/audio/simulated_audio_source.h"

#include <cmath>
#include <cstdio>

#include "platform/media/mf_guids.h"

namespace tovrel::sim {

using namespace platform;

namespace {

constexpr uint32_t kPoolDepth = 16;
constexpr int64_t kSample100ns = 100'000;  // 10 ms
constexpr uint64_t kBacklogSamples = 100;  // a second of buffered audio, the newest included

SimulatedStream::Clocking audioClocking() {
    SimulatedStream::Clocking clocking;
    clocking.period100ns = {kSample100ns, kSample100ns};  // both native rates
    clocking.lead = 1;  // a sample is complete once its 10 ms have passed
    clocking.backlog = kBacklogSamples - 1;
    clocking.stepsSurviveStart = false;
    return clocking;
}

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

SimulatedAudioSource::SimulatedAudioSource(Pacing pacing, Signal signal,
                                           std::shared_ptr<SyncPattern> pattern)
    : signal_(signal),
      pattern_(pattern ? std::move(pattern) : std::make_shared<SyncPattern>()),
      types_(nativeTypes()),
      stream_(pacing, audioClocking()) {}

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

HRESULT SimulatedAudioSource::Stop() { return stream_.stop(); }

HRESULT SimulatedAudioSource::Shutdown() { return stream_.shutdown(); }

HRESULT SimulatedAudioSource::nativeTypes(uint32_t stream, std::vector<MediaType>* types) {
    if (types == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (FAILED(stream_.usable())) return MF_E_SHUTDOWN;
    *types = types_;
    return S_OK;
}

HRESULT SimulatedAudioSource::currentNativeIndex(uint32_t stream, uint32_t* index) {
    if (index == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    return stream_.currentIndex(index);
}

HRESULT SimulatedAudioSource::selectNativeType(uint32_t stream, uint32_t index) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    return stream_.select(index);
}

HRESULT SimulatedAudioSource::startStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    return stream_.start();
}

HRESULT SimulatedAudioSource::stopStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    stream_.stopStream();
    return S_OK;
}

void SimulatedAudioSource::cancelPull(uint32_t) { stream_.cancel(); }

void SimulatedAudioSource::step(uint32_t samples) { stream_.step(samples); }

void SimulatedAudioSource::injectFault(AudioFault fault, uint32_t samples) {
    switch (fault) {
        case AudioFault::MissingSample: {
            std::lock_guard lock(mutex_);
            missing_ += samples;
            break;
        }
        case AudioFault::MediaTypeChange:
            stream_.changeType();
            break;
        case AudioFault::EndOfStream:
            stream_.end();
            break;
        case AudioFault::Stall:
            stream_.stall();
            break;
        case AudioFault::Unplug:
            stream_.unplug();
            break;
        case AudioFault::Drift:
            stream_.setClockDrift(static_cast<int32_t>(samples));
            break;
    }
}

void SimulatedAudioSource::setClockDrift(int32_t ppm) { stream_.setClockDrift(ppm); }

void SimulatedAudioSource::clearFaults() {
    {
        std::lock_guard lock(mutex_);
        missing_ = 0;
    }
    stream_.clearFaults();
}

uint64_t SimulatedAudioSource::samplesDelivered() const {
    std::lock_guard lock(mutex_);
    return delivered_;
}

uint64_t SimulatedAudioSource::samplesLost() const {
    std::lock_guard lock(mutex_);
    return missed_ + stream_.lost();
}

bool SimulatedAudioSource::streaming() const { return stream_.streaming(); }

bool SimulatedAudioSource::isShutDown() const { return stream_.isShutDown(); }

std::chrono::steady_clock::time_point SimulatedAudioSource::streamStartTime() const {
    return stream_.startTime();
}

HRESULT SimulatedAudioSource::pullSample(uint32_t stream, uint32_t timeoutMs,
                                         SourceReadResult* result) {
    if (result == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    *result = SourceReadResult{};
    SimulatedStream::Turn turn;
    const HRESULT waited = stream_.awaitTurn(timeoutMs, &turn, &result->streamFlags);
    if (waited != S_OK || result->streamFlags != 0) return waited;
    const uint32_t rate = turn.typeIndex == 0 ? kSampleRate : kAlternateRate;
    {
        std::lock_guard lock(mutex_);
        if (missing_ > 0) {
            --missing_;
            ++missed_;
            result->timestamp100ns = turn.boxTime100ns;
            return S_OK;  // completed without a sample
        }
        ++delivered_;
    }
    return produce(turn, rate, result);
}

HRESULT SimulatedAudioSource::produce(const SimulatedStream::Turn& turn, uint32_t rate,
                                      SourceReadResult* result) {
    const uint64_t sampleNumber = turn.number;
    const uint32_t frames = framesPerSample(rate);
    const uint32_t bytes = frames * kChannels * 2;
    if (!pool_ || pool_->bufferBytes() != bytes)
        pool_ = std::make_unique<SamplePool>(bytes, 16, kPoolDepth);
    std::shared_ptr<Sample> sample = pool_->acquire();
    if (!sample) return S_FALSE;  // every sample still held downstream: this one is lost
    MemoryBuffer* buffer = SamplePool::bufferOf(sample);
    auto* out = reinterpret_cast<int16_t*>(buffer->data());
    const uint64_t first = sampleNumber * frames;
    if (pattern_->enabled()) {
        // Where each frame falls on the box's clock, in frames: a drifting clock's frames are
        // not the box's.
        const double boxFrame = static_cast<double>(turn.boxTime100ns) * rate / 1e7;
        const double step = turn.periodNs * rate / 1e9 / frames;
        for (uint32_t i = 0; i < frames; ++i) {
            const auto at = static_cast<uint64_t>(std::llround(boxFrame + i * step));
            const auto value =
                static_cast<int16_t>(std::lround(32767.0 * pattern_->clickAt(at, rate)));
            out[2 * i] = value;
            out[2 * i + 1] = value;
        }
    } else {
        for (uint32_t i = 0; i < frames; ++i) {
            out[2 * i] = sampleValue(first + i, 0, rate);
            out[2 * i + 1] = sampleValue(first + i, 1, rate);
        }
    }
    buffer->SetCurrentLength(bytes);
    const int64_t time = turn.boxTime100ns;
    sample->SetSampleTime(time);
    sample->SetSampleDuration(kSample100ns);
    if (stream_.pacing() == Pacing::RealTime) {
        // The box's clock is the monotonic clock: the sample began there when its first frame
        // was captured.
        sample->SetUINT64(MFSampleExtension_DeviceReferenceSystemTime,
                          static_cast<uint64_t>(turn.boxTime100ns));
    }
    result->status = S_OK;
    result->timestamp100ns = time;
    result->sample = std::move(sample);
    return S_OK;
}

DeviceListEnumerator::Entry simulatedAudioEntry(const BoxModel& model,
                                                SimulatedAudioSource::Pacing pacing,
                                                std::shared_ptr<SyncPattern> pattern) {
    DeviceListEnumerator::Entry entry;
    entry.kind = DeviceListEnumerator::Kind::Audio;
    entry.friendlyName = std::string(model.audioFriendlyName);
    char id[96];
    std::snprintf(id, sizeof id, "sim://USB#VID_%04X&PID_%04X&MI_02#audio", model.vendorId,
                  model.productId);
    entry.symbolicLink = id;
    if (!pattern) pattern = std::make_shared<SyncPattern>();
    entry.activation = [pacing, pattern](std::shared_ptr<MediaSource>* source) {
        *source =
            std::make_shared<SimulatedAudioSource>(pacing, SimulatedAudioSource::Signal{}, pattern);
        return S_OK;
    };
    return entry;
}

}  // namespace tovrel::sim
