#include "platform/media/sample.h"

#include <cstring>

namespace tovrel::platform {

HRESULT Sample::GetSampleTime(int64_t* time100ns) const {
    if (time100ns == nullptr) return E_POINTER;
    if (!hasTime_) return MF_E_ATTRIBUTENOTFOUND;
    *time100ns = time100ns_;
    return S_OK;
}

HRESULT Sample::GetSampleDuration(int64_t* duration100ns) const {
    if (duration100ns == nullptr) return E_POINTER;
    if (!hasDuration_) return MF_E_ATTRIBUTENOTFOUND;
    *duration100ns = duration100ns_;
    return S_OK;
}

HRESULT Sample::AddBuffer(std::shared_ptr<MediaBuffer> buffer) {
    if (!buffer) return E_POINTER;
    buffers_.push_back(std::move(buffer));
    return S_OK;
}

HRESULT Sample::GetBufferCount(uint32_t* count) const {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<uint32_t>(buffers_.size());
    return S_OK;
}

HRESULT Sample::GetBufferByIndex(uint32_t index, std::shared_ptr<MediaBuffer>* buffer) const {
    if (buffer == nullptr) return E_POINTER;
    if (index >= buffers_.size()) return E_INVALIDARG;
    *buffer = buffers_[index];
    return S_OK;
}

HRESULT Sample::RemoveAllBuffers() {
    buffers_.clear();
    return S_OK;
}

HRESULT Sample::GetTotalLength(uint32_t* length) const {
    if (length == nullptr) return E_POINTER;
    uint64_t total = 0;
    for (const auto& buffer : buffers_) {
        uint32_t current = 0;
        buffer->GetCurrentLength(&current);
        total += current;
    }
    if (total > UINT32_MAX) return E_UNEXPECTED;
    *length = static_cast<uint32_t>(total);
    return S_OK;
}

HRESULT Sample::ConvertToContiguousBuffer(std::shared_ptr<MediaBuffer>* buffer) {
    if (buffer == nullptr) return E_POINTER;
    if (buffers_.empty()) return E_UNEXPECTED;
    if (buffers_.size() == 1) {
        *buffer = buffers_.front();
        return S_OK;
    }
    uint32_t total = 0;
    HRESULT hr = GetTotalLength(&total);
    if (FAILED(hr)) return hr;
    uint32_t capacity = 0;
    if (joined_) joined_->GetMaxLength(&capacity);
    if (!joined_ || capacity < total) {
        joined_ = std::make_shared<MemoryBuffer>(total, 16);
        if (!joined_->valid()) {
            joined_.reset();
            return E_OUTOFMEMORY;
        }
    }
    uint8_t* out = joined_->data();
    uint32_t offset = 0;
    for (const auto& part : buffers_) {
        uint8_t* data = nullptr;
        uint32_t length = 0;
        if (FAILED(part->Lock(&data, nullptr, &length))) continue;
        if (length > 0) std::memcpy(out + offset, data, length);
        offset += length;
        part->Unlock();
    }
    joined_->SetCurrentLength(offset);
    // The joined buffer replaces the parts, as the platform's sample does.
    buffers_.clear();
    buffers_.push_back(joined_);
    *buffer = joined_;
    return S_OK;
}

void Sample::reset() {
    hasTime_ = hasDuration_ = false;
    time100ns_ = duration100ns_ = 0;
    DeleteAllItems();
    buffers_.clear();
}

HRESULT MFCreateSample(std::shared_ptr<Sample>* sample) {
    if (sample == nullptr) return E_POINTER;
    *sample = std::make_shared<Sample>();
    return S_OK;
}

}  // namespace tovrel::platform
