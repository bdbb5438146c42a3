#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/media/attributes.h"
#include "platform/media/media_source.h"
#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"
#include "platform/media/sample.h"

namespace tovrel::test {

// A media source whose streams deliver exactly the results a test queues, answering misuse (a
// stream it does not have, a null output, a call after Shutdown) as every source must.
// Any thread.
class FakeMediaSource final : public platform::MediaSource {
  public:
    explicit FakeMediaSource(std::vector<std::vector<platform::MediaType>> streams)
        : streams_(std::move(streams)), current_(streams_.size(), 0), queues_(streams_.size()) {}

    platform::HRESULT Stop() override {
        ++stops;
        std::lock_guard lock(mutex_);
        return shutDown_ ? platform::MF_E_SHUTDOWN : platform::S_OK;
    }
    platform::HRESULT Shutdown() override {
        std::lock_guard lock(mutex_);
        ++shutdowns;
        shutDown_ = true;
        wake_.notify_all();
        return platform::S_OK;
    }
    uint32_t streamCount() override { return static_cast<uint32_t>(streams_.size()); }
    platform::HRESULT nativeTypes(uint32_t stream,
                                  std::vector<platform::MediaType>* types) override {
        if (types == nullptr) return platform::E_POINTER;
        if (stream >= streams_.size()) return platform::MF_E_INVALIDSTREAMNUMBER;
        if (platform::FAILED(typesFailure)) return typesFailure;
        *types = streams_.at(stream);
        return platform::S_OK;
    }
    platform::HRESULT currentNativeIndex(uint32_t stream, uint32_t* index) override {
        if (index == nullptr) return platform::E_POINTER;
        if (stream >= streams_.size()) return platform::MF_E_INVALIDSTREAMNUMBER;
        std::lock_guard lock(mutex_);
        *index = current_.at(stream);
        return platform::S_OK;
    }
    platform::HRESULT selectNativeType(uint32_t stream, uint32_t index) override {
        if (stream >= streams_.size()) return platform::MF_E_INVALIDSTREAMNUMBER;
        if (index >= streams_[stream].size()) return platform::MF_E_INVALIDMEDIATYPE;
        std::lock_guard lock(mutex_);
        current_.at(stream) = index;
        selected.push_back(index);
        return platform::S_OK;
    }
    platform::HRESULT startStream(uint32_t stream) override {
        if (stream >= streams_.size()) return platform::MF_E_INVALIDSTREAMNUMBER;
        ++starts;
        std::lock_guard lock(mutex_);
        return shutDown_ ? platform::MF_E_SHUTDOWN : platform::S_OK;
    }
    platform::HRESULT stopStream(uint32_t stream) override {
        if (stream >= streams_.size()) return platform::MF_E_INVALIDSTREAMNUMBER;
        ++streamStops;
        return platform::S_OK;
    }
    platform::HRESULT pullSample(uint32_t stream, uint32_t timeoutMs,
                                 platform::SourceReadResult* result) override {
        if (result == nullptr) return platform::E_POINTER;
        if (stream >= streams_.size()) return platform::MF_E_INVALIDSTREAMNUMBER;
        std::unique_lock lock(mutex_);
        ++pulls;
        cancelled_ = false;
        wake_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return shutDown_ || cancelled_ || !queues_.at(stream).empty(); });
        if (shutDown_) return platform::MF_E_SHUTDOWN;
        if (queues_.at(stream).empty()) return platform::S_FALSE;
        auto [hr, value] = queues_.at(stream).front();
        queues_.at(stream).pop_front();
        *result = value;
        return hr;
    }
    void cancelPull(uint32_t) override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        wake_.notify_all();
    }

    void push(uint32_t stream, platform::SourceReadResult result,
              platform::HRESULT hr = platform::S_OK) {
        std::lock_guard lock(mutex_);
        queues_.at(stream).emplace_back(hr, std::move(result));
        wake_.notify_all();
    }
    void setCurrent(uint32_t stream, uint32_t index) {
        std::lock_guard lock(mutex_);
        current_.at(stream) = index;
    }

    std::atomic<int> stops{0}, shutdowns{0}, starts{0}, streamStops{0}, pulls{0};
    std::vector<uint32_t> selected;
    platform::HRESULT typesFailure = platform::S_OK;

  private:
    std::vector<std::vector<platform::MediaType>> streams_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<uint32_t> current_;
    std::vector<std::deque<std::pair<platform::HRESULT, platform::SourceReadResult>>> queues_;
    bool shutDown_ = false;
    bool cancelled_ = false;
};

inline platform::MediaType videoType(const platform::Guid& subtype, uint32_t width, uint32_t height,
                                     uint32_t numerator, uint32_t denominator) {
    platform::MediaType type;
    type.SetGUID(platform::MF_MT_MAJOR_TYPE, platform::MFMediaType_Video);
    type.SetGUID(platform::MF_MT_SUBTYPE, subtype);
    if (width != 0) platform::MFSetAttributeSize(&type, platform::MF_MT_FRAME_SIZE, width, height);
    if (numerator != 0)
        platform::MFSetAttributeRatio(&type, platform::MF_MT_FRAME_RATE, numerator, denominator);
    return type;
}

inline platform::MediaType pcmType(uint32_t rate, uint32_t channels, uint32_t bits) {
    platform::MediaType type;
    type.SetGUID(platform::MF_MT_MAJOR_TYPE, platform::MFMediaType_Audio);
    type.SetGUID(platform::MF_MT_SUBTYPE, platform::MFAudioFormat_PCM);
    type.SetUINT32(platform::MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    type.SetUINT32(platform::MF_MT_AUDIO_NUM_CHANNELS, channels);
    type.SetUINT32(platform::MF_MT_AUDIO_BITS_PER_SAMPLE, bits);
    type.SetUINT32(platform::MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * bits / 8);
    return type;
}

// A sample with one buffer holding `bytes`.
inline std::shared_ptr<platform::Sample> bytesSample(const std::vector<uint8_t>& bytes,
                                                     int64_t time = 0) {
    std::shared_ptr<platform::Sample> sample;
    platform::MFCreateSample(&sample);
    std::shared_ptr<platform::MediaBuffer> buffer;
    platform::MFCreateMemoryBuffer(static_cast<uint32_t>(bytes.size()), &buffer);
    uint8_t* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), data);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<uint32_t>(bytes.size()));
    sample->AddBuffer(buffer);
    sample->SetSampleTime(time);
    return sample;
}

}  // namespace tovrel::test
