#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio/audio_ring.h"
#include "audio/monitor_format.h"
#include "platform/audio/audio_endpoint_enumerator.h"
#include "platform/audio/wave_format.h"
#include "platform/system/clock.h"

namespace tovrel::audio {

// The audio monitor: plays captured audio on the default output. The streaming start fills
// monitorFormat and monitorRing and starts the thread (start); the audio callback writes into
// monitorRing while monitorRunning is set; the thread opens the output in shared mode with the
// capture format, tops the device buffer up from the ring every quarter period (25 ms for the
// standard 100 ms) and, when monitorRunning is cleared or the output cannot be opened, closes
// the output, frees the ring and sets monitorFinished as its last act.
// The delay stays bounded: each pass gives the device what the ring holds, up to its free
// space, and never a silent buffer while sound is queued; what the ring keeps beyond that for a
// while is dropped at the least audible place (MonitorDelayControl, MonitorSplicer).
// One monitor per capture manager, which stands for the process. start and stop are called by
// the thread that starts and stops streaming (the GUI thread); monitorRing and the two flags are
// shared with the audio callback and the monitor thread.
class AudioMonitor {
  public:
    static constexpr int64_t kBufferDuration100ns = 1'000'000;  // also the periodicity
    static constexpr uint32_t kStreamFlags =
        0x88100000u;  // AUTOCONVERTPCM | SRC_DEFAULT_QUALITY | RATEADJUST
    static constexpr uint32_t kStopPollMs = 10;

    // `endpoints` may be null (no audio output at all) and must outlive the monitor.
    AudioMonitor(platform::AudioEndpointEnumerator* endpoints, platform::Clock& clock);
    ~AudioMonitor();
    AudioMonitor(const AudioMonitor&) = delete;
    AudioMonitor& operator=(const AudioMonitor&) = delete;

    // The output the next start plays to; null: none. Only while no monitor thread runs.
    void setEndpoints(platform::AudioEndpointEnumerator* endpoints) { endpoints_ = endpoints; }

    // The streaming start's monitor steps: copy the format, stop a monitor still running and
    // wait until it has finished, size the ring at 200 ms, set monitorRunning, start the thread.
    void start(const MonitorFormat& format);
    // The stop sequence's monitor steps: clear monitorRunning and poll every 10 ms until the
    // thread has finished; then join it.
    void stop();

    // The format the device is told: WAVE_FORMAT_EXTENSIBLE with the capture's channels and
    // rate, 24-bit samples in 32-bit containers with 24 valid bits, IEEE float sub-format when
    // the capture is not integer PCM.
    static platform::WaveFormatExtensible declaredFormat(const MonitorFormat& format);

    MonitorFormat monitorFormat;
    AudioRing monitorRing;
    std::atomic<bool> monitorRunning{false};
    std::atomic<bool> monitorFinished{true};

    // Set by the thread once the output is open; for diagnostics and tests.
    uint32_t monitorFrameBytes() const { return monitorFrameBytes_.load(); }
    std::optional<platform::WaveFormatExtensible> deviceFormat() const;
    int64_t period100ns() const { return period100ns_.load(); }

    // The delay from the ring's writer to the speakers as the monitor last measured it, before
    // a pass tops the device up: what the device still has queued plus what waits in the ring,
    // both in device frames. Written once a minute to the debug output while the monitor plays.
    struct Delay {
        uint32_t deviceFrames = 0;
        uint32_t ringFrames = 0;
        uint32_t framesPerSecond = 0;
        double ms() const {
            return framesPerSecond ? (deviceFrames + ringFrames) * 1000.0 / framesPerSecond : 0.0;
        }
    };
    Delay currentDelay() const;
    // Device frames taken out to keep the delay down, since the monitor was made.
    uint64_t framesDropped() const { return framesDropped_.load(); }
    static constexpr uint64_t kDelayReportMs = 60'000;

  private:
    struct Output;
    void AudioMonitorThread();
    bool openOutput(Output& out);
    void playbackLoop(Output& out);
    void closeOutput(Output& out);
    void playSilence(Output& out, uint32_t frames);
    void publishDelay(uint32_t deviceFrames, uint32_t ringFrames, uint32_t framesPerSecond);
    static uint32_t framesToMs(uint64_t frames, uint32_t framesPerSecond);
    void joinThread();

    platform::AudioEndpointEnumerator* endpoints_;
    platform::Clock& clock_;
    std::thread thread_;
    std::atomic<uint32_t> monitorFrameBytes_{0};
    std::atomic<int64_t> period100ns_{0};
    mutable std::mutex formatMutex_;
    std::optional<platform::WaveFormatExtensible> deviceFormat_;
    Delay delay_;
    std::atomic<uint64_t> framesDropped_{0};
};

}  // namespace tovrel::audio
