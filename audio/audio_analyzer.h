#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "audio/audio_format.h"
#include "audio/audio_ring.h"
#include "audio/scope_history.h"
#include "audio/spectrum_bands.h"
#include "audio/stereo_spectrum.h"
#include "platform/system/clock.h"
#include "platform/system/thread_checker.h"

namespace tovrel::audio {

// The analyzer's signal half, with no window: the format copied when the window opened, the
// one-second oscilloscope history, the spectra of the last block, the block size and time
// read-out values, the freeze and trigger flags, and the worker that takes one-second blocks
// from the analysis ring every 10 ms. The transform plan and every buffer are made here, once
// per window.
// Threads: construction, destruction, startWorker and stopWorker on the window's thread (checked
// in debug builds); the worker runs processBlock and the hooks; history, bands and the atomics
// may be read from any thread (withHistory and bands lock).
class AudioAnalyzer {
  public:
    static constexpr int32_t kFullScale = 128;
    static constexpr uint32_t kPollMs = 10;

    // Called on the worker after each block: the band heights of both channels (right empty for
    // one channel), then once the history has taken the block or not. They must not block on
    // the window's thread, which may be joining the worker.
    struct Hooks {
        std::function<void(const SpectrumBands::Heights& left,
                           const std::optional<SpectrumBands::Heights>& right)>
            spectrumReady;
        std::function<void()> blockDone;
    };

    // `ring` and `clock` must outlive the analyzer. A format without a rate, channels or bits
    // (no audio device) gives an analyzer with no history that never starts a worker.
    AudioAnalyzer(const AudioFormat& format, AudioRing& ring, platform::Clock& clock);
    ~AudioAnalyzer();
    AudioAnalyzer(const AudioAnalyzer&) = delete;
    AudioAnalyzer& operator=(const AudioAnalyzer&) = delete;

    int32_t channels() const { return channels_; }
    int32_t rate() const { return rate_; }
    int32_t bits() const { return bits_; }
    int32_t blockAlign() const { return blockAlign_; }
    int32_t fullScale() const { return kFullScale; }
    int32_t historyLength() const { return historyLength_; }
    // One second of capture: bits × channels × rate / 8 bytes; 0 when there is no format.
    int32_t blockBytes() const { return blockBytes_; }
    bool hasFormat() const { return blockBytes_ > 0; }
    int transformLength() const { return spectrum_.transformLength(); }

    // Only while no worker runs.
    void setHooks(Hooks hooks);

    // Unless a worker runs: time value 0, open time now, running 1, start the worker (joining
    // one that has left its loop). False when there is no format to analyse.
    bool startWorker();
    // Clears running and waits for the worker to leave its loop (at most one pass).
    void stopWorker();
    bool running() const { return running_.load() != 0; }

    // One block through the analyzer: both spectra and their bands, the block size and time
    // value, and the history unless frozen. The worker's step; tests and benchmarks call it
    // directly while no worker runs.
    void processBlock(const uint8_t* block, int32_t bytes);

    std::atomic<bool> freeze{false};
    std::atomic<bool> trigger{true};

    int32_t lastBlockSize() const { return lastBlockSize_.load(); }
    // (time of the last block - open time) + 1000 ms; 0 until the first block.
    int32_t timeValue() const { return timeValue_.load(); }
    uint32_t openTime() const { return openTime_.load(); }
    uint64_t blocksProcessed() const { return blocks_.load(); }
    platform::Clock& clock() { return clock_; }

    // Runs `use` with the history held still.
    void withHistory(const std::function<void(const ScopeHistory&)>& use) const;
    SpectrumBands::Heights leftBands() const;
    std::optional<SpectrumBands::Heights> rightBands() const;
    // The spectra of the last block (N + 2 floats each); the worker's, read them only while no
    // worker runs.
    const StereoSpectrum& spectrum() const { return spectrum_; }

  private:
    void workerLoop();
    void process(const uint8_t* block, int32_t bytes, bool live);

    const int32_t channels_;
    const int32_t rate_;
    const int32_t bits_;
    const int32_t blockAlign_;
    const int32_t historyLength_;
    const int32_t blockBytes_;
    AudioRing& ring_;
    platform::Clock& clock_;
    platform::ThreadChecker thread_;

    Hooks hooks_;
    StereoSpectrum spectrum_;
    const SpectrumBands::Rule rule_;
    std::vector<uint8_t> block_;

    mutable std::mutex mutex_;  // history and bands
    ScopeHistory history_;
    SpectrumBands::Heights leftBands_{};
    std::optional<SpectrumBands::Heights> rightBands_;

    std::atomic<int32_t> running_{0};
    std::atomic<int32_t> lastBlockSize_{0};
    std::atomic<int32_t> timeValue_{0};
    std::atomic<uint32_t> openTime_{0};
    std::atomic<uint64_t> blocks_{0};
    std::thread worker_;
};

}  // namespace tovrel::audio
