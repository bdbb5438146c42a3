#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media/device_list_enumerator.h"
#include "platform/media/media_source.h"
#include "platform/media/sample_pool.h"
#include "sim/audio/audio_fault.h"
#include "sim/box/box_model.h"
#include "sim/box/simulated_stream.h"
#include "sim/box/sync_pattern.h"

namespace tovrel::sim {

// The simulated box's audio capture device: one audio stream of 16-bit stereo PCM at 48 kHz in
// 10 ms samples (480 frames), a different tone on each channel, with 100 ns time stamps on the
// box's clock, which the video device shares (stepped: counted from the stream start). Its second
// native format (44.1 kHz) is what a type change switches to.
//
// The signal can be gated into bursts (the tones on for burstOnMs of every burstPeriodMs,
// silence between) so that a listener can tell when a given moment arrives; frame n of the
// stream is always the same.
//
// Sync pattern: while the box's SyncPattern is on, the sound is silent but for its clicks, each
// starting at the instant of a white frame of the box's picture on the box's clock.
//
// In real time every sample carries MFSampleExtension_DeviceReferenceSystemTime, the moment its
// first frame was captured on the system's monotonic clock (which is the box's clock).
//
// Pacing: RealTime completes each sample once its 10 ms have passed since the stream start, and,
// like a device's buffer, hands a reader that fell behind the samples it missed (at most one
// second of them; older ones are lost); Stepped delivers exactly the samples released by step().
//
// Threads: the MediaSource calls as documented there (pullSample on the reader's worker);
// step, injectFault, clearFaults and the accessors from any thread.
class SimulatedAudioSource final : public platform::MediaSource {
  public:
    using Pacing = SimulatedStream::Pacing;
    struct Signal {
        double leftHz = 440.0;
        double rightHz = 1000.0;
        double amplitude = 0.25;  // of full scale: −12 dBFS
        uint32_t burstOnMs = 0;   // 0: a continuous tone
        uint32_t burstPeriodMs = 0;
    };

    static constexpr uint32_t kSampleRate = 48000;
    static constexpr uint32_t kChannels = 2;
    static constexpr uint32_t kBitsPerSample = 16;
    static constexpr uint32_t kFramesPerSample = 480;  // 10 ms
    static constexpr uint32_t kAlternateRate = 44100;

    explicit SimulatedAudioSource(Pacing pacing = Pacing::RealTime);
    SimulatedAudioSource(Pacing pacing, Signal signal,
                         std::shared_ptr<SyncPattern> pattern = nullptr);
    ~SimulatedAudioSource() override;

    static std::vector<platform::MediaType> nativeTypes();
    // The 16-bit value of `channel` at frame `frame` of the stream, at `rate`, with the sync
    // pattern off.
    int16_t sampleValue(uint64_t frame, uint32_t channel, uint32_t rate = kSampleRate) const;
    SyncPattern& syncPattern() const { return *pattern_; }

    platform::HRESULT Stop() override;
    platform::HRESULT Shutdown() override;

    uint32_t streamCount() override { return 1; }
    platform::HRESULT nativeTypes(uint32_t stream,
                                  std::vector<platform::MediaType>* types) override;
    platform::HRESULT currentNativeIndex(uint32_t stream, uint32_t* index) override;
    platform::HRESULT selectNativeType(uint32_t stream, uint32_t index) override;
    platform::HRESULT startStream(uint32_t stream) override;
    platform::HRESULT stopStream(uint32_t stream) override;
    platform::HRESULT pullSample(uint32_t stream, uint32_t timeoutMs,
                                 platform::SourceReadResult* result) override;
    void cancelPull(uint32_t stream) override;

    void step(uint32_t samples = 1);
    void injectFault(AudioFault fault, uint32_t samples = 1);
    // The device's clock runs `ppm` parts per million fast (negative: slow) from the next sample
    // on, as a real box's does against the computer's; clearFaults sets it right.
    void setClockDrift(int32_t ppm);
    void clearFaults();

    uint64_t samplesDelivered() const;
    uint64_t samplesLost() const;
    bool streaming() const;
    bool isShutDown() const;
    // When frame 0 of the running stream was (RealTime): frame n is "captured" at this time plus
    // n / rate. For measuring the delay of what follows.
    std::chrono::steady_clock::time_point streamStartTime() const;

  private:
    platform::HRESULT produce(const SimulatedStream::Turn& turn, uint32_t rate,
                              platform::SourceReadResult* result);

    const Signal signal_;
    const std::shared_ptr<SyncPattern> pattern_;
    const std::vector<platform::MediaType> types_;
    SimulatedStream stream_;

    // The faults of single samples and the counters.
    mutable std::mutex mutex_;
    uint32_t missing_ = 0;
    uint64_t missed_ = 0;
    uint64_t delivered_ = 0;

    std::unique_ptr<platform::SamplePool> pool_;  // the reader's worker thread only
};

// The audio device entry of a simulated box for a DeviceListEnumerator: each activation opens a
// new source, on the box's sync pattern (a fresh one, off, when none is given).
platform::DeviceListEnumerator::Entry simulatedAudioEntry(
    const BoxModel& model, SimulatedAudioSource::Pacing pacing,
    std::shared_ptr<SyncPattern> pattern = nullptr);

}  // namespace tovrel::sim
