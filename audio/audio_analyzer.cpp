#include "audio/audio_analyzer.h"

#include <cassert>
#include <limits>

namespace tovrel::audio {
namespace {

int32_t asInt(uint32_t v) {
    return v > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ? 0
                                                                          : static_cast<int32_t>(v);
}

int32_t oneSecondBytes(const AudioFormat& f) {
    const int64_t bytes = int64_t{f.bitsPerSample} * f.channels * f.samplesPerSecond / 8;
    // The ring holds four seconds; a second that does not fit a ring's size is no format.
    return bytes > 0 && bytes <= std::numeric_limits<int32_t>::max() / 4
               ? static_cast<int32_t>(bytes)
               : 0;
}

}  // namespace

AudioAnalyzer::AudioAnalyzer(const AudioFormat& format, AudioRing& ring, platform::Clock& clock)
    : channels_(asInt(format.channels)),
      rate_(asInt(format.samplesPerSecond)),
      bits_(asInt(format.bitsPerSample)),
      blockAlign_(asInt(format.blockAlign)),
      historyLength_(oneSecondBytes(format) > 0 ? rate_ : 0),
      blockBytes_(oneSecondBytes(format)),
      ring_(ring),
      clock_(clock),
      spectrum_(blockBytes_ > 0 ? rate_ : 0, channels_, bits_, blockAlign_),
      rule_(SpectrumBands::ruleForRate(rate_)),
      block_(static_cast<size_t>(blockBytes_)),
      history_(historyLength_, channels_, bits_, blockAlign_) {
    if (channels_ == 2) rightBands_.emplace();
}

AudioAnalyzer::~AudioAnalyzer() {
    running_ = 0;
    if (worker_.joinable()) worker_.join();
}

void AudioAnalyzer::setHooks(Hooks hooks) {
    TOVREL_CHECK_THREAD(thread_);
    assert(!running());
    hooks_ = std::move(hooks);
}

bool AudioAnalyzer::startWorker() {
    TOVREL_CHECK_THREAD(thread_);
    if (!hasFormat()) return false;
    if (running()) return true;
    if (worker_.joinable()) worker_.join();
    timeValue_ = 0;
    openTime_ = clock_.timeGetTime();
    running_ = 1;
    worker_ = std::thread([this] { workerLoop(); });
    return true;
}

void AudioAnalyzer::stopWorker() {
    TOVREL_CHECK_THREAD(thread_);
    running_ = 0;
    if (worker_.joinable()) worker_.join();
}

void AudioAnalyzer::workerLoop() {
    while (running_.load() != 0) {
        if (ring_.read(block_.data(), blockBytes_) == blockBytes_) {
            // A worker told to stop keeps the history as it is for the window's last drawing.
            process(block_.data(), blockBytes_, running_.load() == 1);
        }
        clock_.sleep(kPollMs);
    }
}

void AudioAnalyzer::processBlock(const uint8_t* block, int32_t bytes) {
    process(block, bytes, true);
}

void AudioAnalyzer::process(const uint8_t* block, int32_t bytes, bool live) {
    spectrum_.compute(block, bytes);
    const SpectrumBands::Heights left =
        SpectrumBands::heights(spectrum_.left(), spectrum_.spectrumFloats(), rule_);
    std::optional<SpectrumBands::Heights> right;
    if (spectrum_.hasRight()) {
        right = SpectrumBands::heights(spectrum_.right(), spectrum_.spectrumFloats(), rule_);
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
        leftBands_ = left;
        rightBands_ = right;
    }
    if (hooks_.spectrumReady) hooks_.spectrumReady(left, right);

    lastBlockSize_ = bytes;
    timeValue_ = static_cast<int32_t>(clock_.timeGetTime() - openTime_.load()) + 1000;
    if (!freeze.load() && live) {
        std::lock_guard<std::mutex> hold(mutex_);
        history_.append(block, bytes);
    }
    ++blocks_;
    if (hooks_.blockDone) hooks_.blockDone();
}

void AudioAnalyzer::withHistory(const std::function<void(const ScopeHistory&)>& use) const {
    std::lock_guard<std::mutex> hold(mutex_);
    use(history_);
}

SpectrumBands::Heights AudioAnalyzer::leftBands() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return leftBands_;
}

std::optional<SpectrumBands::Heights> AudioAnalyzer::rightBands() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return rightBands_;
}

}  // namespace tovrel::audio
