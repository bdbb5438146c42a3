#include "sink_recorder.h"

#include <pulse/simple.h>

#include <algorithm>

namespace tovrel::audio {

namespace {
constexpr uint32_t kBlockFrames = 240;  // 5 ms
}

SinkRecorder::SinkRecorder(std::string sourceName) : source_(std::move(sourceName)) {}

SinkRecorder::~SinkRecorder() { stop(); }

bool SinkRecorder::start() {
    pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, 48000, 2};
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = kBlockFrames * 4;
    int error = 0;
    pa_simple* s = pa_simple_new(nullptr, "tovrel-test", PA_STREAM_RECORD, source_.c_str(),
                                 "sink recorder", &sampleFormat, nullptr, &attr, &error);
    if (!s) return false;
    stream_ = s;
    running_ = true;
    thread_ = std::thread([this] { loop(); });
    return true;
}

void SinkRecorder::stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    if (stream_) pa_simple_free(static_cast<pa_simple*>(stream_));
    stream_ = nullptr;
}

void SinkRecorder::loop() {
    auto* s = static_cast<pa_simple*>(stream_);
    std::vector<int16_t> block(kBlockFrames * 2);
    int error = 0;
    while (running_) {
        if (pa_simple_read(s, block.data(), block.size() * 2, &error) < 0) break;
        const auto now = std::chrono::steady_clock::now();
        const pa_usec_t latency = pa_simple_get_latency(s, &error);
        std::lock_guard lock(mutex_);
        samples_.insert(samples_.end(), block.begin(), block.end());
        blocks_.push_back({samples_.size() / 2, now - std::chrono::microseconds(latency)});
    }
}

uint64_t SinkRecorder::frames() const {
    std::lock_guard lock(mutex_);
    return samples_.size() / 2;
}

std::vector<int16_t> SinkRecorder::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::vector<SinkRecorder::Block> SinkRecorder::blocks() const {
    std::lock_guard lock(mutex_);
    return blocks_;
}

std::chrono::steady_clock::time_point SinkRecorder::heardAt(uint64_t frame) const {
    std::lock_guard lock(mutex_);
    auto it = std::lower_bound(blocks_.begin(), blocks_.end(), frame + 1,
                               [](const Block& b, uint64_t f) { return b.endFrame < f; });
    if (it == blocks_.end()) return {};
    return it->heardAt - std::chrono::microseconds((it->endFrame - frame - 1) * 1'000'000 / 48000);
}

}  // namespace tovrel::audio
