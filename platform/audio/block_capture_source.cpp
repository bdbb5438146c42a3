#include "platform/audio/block_capture_source.h"

#include <chrono>
#include <vector>

#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"

namespace tovrel::platform {
namespace {

constexpr size_t kQueueBlocks = 100;  // one second of 10 ms blocks
constexpr uint32_t kPoolDepth = kQueueBlocks + 16;

}  // namespace

BlockCaptureSource::BlockCaptureSource(uint32_t rate, uint32_t channels, uint32_t bits)
    : rate_(rate),
      channels_(channels),
      bits_(bits),
      blockFrames_(rate / 100 > 0 ? rate / 100 : 1) {}

BlockCaptureSource::~BlockCaptureSource() { Shutdown(); }

HRESULT BlockCaptureSource::Stop() {
    stopRecording();
    std::lock_guard lock(mutex_);
    return shutDown_ ? MF_E_SHUTDOWN : S_OK;
}

HRESULT BlockCaptureSource::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
    }
    stopRecording();
    return S_OK;
}

HRESULT BlockCaptureSource::nativeTypes(uint32_t stream, std::vector<MediaType>* types) {
    if (types == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    MediaType type;
    const uint32_t blockAlign = channels_ * (bits_ / 8);
    type.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    type.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    type.SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate_);
    type.SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels_);
    type.SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits_);
    type.SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, blockAlign);
    type.SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, blockAlign * rate_);
    type.SetUINT32(MF_MT_AUDIO_VALID_BITS_PER_SAMPLE, bits_);
    type.SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    types->assign(1, std::move(type));
    return S_OK;
}

HRESULT BlockCaptureSource::currentNativeIndex(uint32_t stream, uint32_t* index) {
    if (index == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    *index = 0;
    return S_OK;
}

HRESULT BlockCaptureSource::selectNativeType(uint32_t stream, uint32_t index) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    return index == 0 ? S_OK : MF_E_INVALIDMEDIATYPE;
}

HRESULT BlockCaptureSource::startStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (running_) return S_OK;
    if (recorder_.joinable()) return MF_E_INVALIDREQUEST;  // still winding down: try again
    running_ = true;
    failure_ = S_OK;
    queue_.clear();
    recorder_ = std::thread([this] { recordLoop(); });
    return S_OK;
}

HRESULT BlockCaptureSource::stopStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    stopRecording();
    return S_OK;
}

void BlockCaptureSource::stopRecording() {
    std::thread recorder;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        queue_.clear();
        wake_.notify_all();
        recorder.swap(recorder_);
    }
    // The recorder notices within one 10 ms block.
    if (recorder.joinable()) recorder.join();
}

void BlockCaptureSource::cancelPull(uint32_t) {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    wake_.notify_all();
}

void BlockCaptureSource::recordLoop() {
    if (!openRecording()) {
        std::lock_guard lock(mutex_);
        failure_ = MF_E_DEVICE_NOT_CONNECTED;
        wake_.notify_all();
        return;
    }
    const uint32_t bytes = blockBytes();
    if (!pool_ || pool_->bufferBytes() != bytes) {
        pool_ = std::make_unique<SamplePool>(bytes, 16, kPoolDepth);
    }
    uint64_t frames = 0;
    std::vector<uint8_t> spare(bytes);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!running_) break;
        }
        std::shared_ptr<Sample> sample = pool_->acquire();
        uint8_t* target = sample ? SamplePool::bufferOf(sample)->data() : spare.data();
        if (!readBlock(target)) {
            std::lock_guard lock(mutex_);
            failure_ = MF_E_DEVICE_NOT_CONNECTED;
            wake_.notify_all();
            break;
        }
        const int64_t time = static_cast<int64_t>(frames * 10'000'000ull / rate_);
        frames += blockFrames_;
        if (!sample) continue;  // every buffer still held downstream: this block is lost
        SamplePool::bufferOf(sample)->SetCurrentLength(bytes);
        sample->SetSampleTime(time);
        sample->SetSampleDuration(static_cast<int64_t>(blockFrames_ * 10'000'000ull / rate_));
        std::lock_guard lock(mutex_);
        if (queue_.size() >= kQueueBlocks) queue_.pop_front();
        queue_.push_back({std::move(sample), time});
        wake_.notify_all();
    }
    closeRecording();
}

HRESULT BlockCaptureSource::pullSample(uint32_t stream, uint32_t timeoutMs,
                                       SourceReadResult* result) {
    if (result == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    *result = SourceReadResult{};
    std::unique_lock lock(mutex_);
    cancelled_ = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (shutDown_) return MF_E_SHUTDOWN;
        if (!queue_.empty()) {
            Block block = std::move(queue_.front());
            queue_.pop_front();
            result->status = S_OK;
            result->timestamp100ns = block.time100ns;
            result->sample = std::move(block.sample);
            return S_OK;
        }
        if (FAILED(failure_)) return failure_;
        if (cancelled_) return S_FALSE;
        if (wake_.wait_until(lock, deadline) == std::cv_status::timeout && queue_.empty()) {
            return FAILED(failure_) ? failure_ : S_FALSE;
        }
    }
}

}  // namespace tovrel::platform
