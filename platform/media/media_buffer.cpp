#include "platform/media/media_buffer.h"

#include "platform/system/debug_output.h"

#include <cerrno>
#include <cstdlib>
#include <new>

namespace tovrel::platform {

MemoryBuffer::MemoryBuffer(uint32_t maxLength, uint32_t alignment) : maxLength_(maxLength) {
    if (maxLength == 0) return;
    size_t align = alignment < sizeof(void*) ? sizeof(void*) : alignment;
    size_t rounded = (static_cast<size_t>(maxLength) + align - 1) / align * align;
    data_ = static_cast<uint8_t*>(std::aligned_alloc(align, rounded));
    if (data_ == nullptr) {
        logErrno("media buffer", "aligned_alloc", errno);
        maxLength_ = 0;
    }
}

MemoryBuffer::~MemoryBuffer() { std::free(data_); }

HRESULT MemoryBuffer::Lock(uint8_t** data, uint32_t* maxLength, uint32_t* currentLength) {
    if (data == nullptr) return E_POINTER;
    ++lockCount_;
    *data = data_;
    if (maxLength != nullptr) *maxLength = maxLength_;
    if (currentLength != nullptr) *currentLength = currentLength_;
    return S_OK;
}

HRESULT MemoryBuffer::Unlock() {
    if (lockCount_ == 0) return E_UNEXPECTED;
    --lockCount_;
    return S_OK;
}

HRESULT MemoryBuffer::GetCurrentLength(uint32_t* length) const {
    if (length == nullptr) return E_POINTER;
    *length = currentLength_;
    return S_OK;
}

HRESULT MemoryBuffer::SetCurrentLength(uint32_t length) {
    if (length > maxLength_) return E_INVALIDARG;
    currentLength_ = length;
    return S_OK;
}

HRESULT MemoryBuffer::GetMaxLength(uint32_t* length) const {
    if (length == nullptr) return E_POINTER;
    *length = maxLength_;
    return S_OK;
}

HRESULT MFCreateAlignedMemoryBuffer(uint32_t maxLength, uint32_t alignment,
                                    std::shared_ptr<MediaBuffer>* buffer) {
    if (buffer == nullptr) return E_POINTER;
    auto created =
        std::shared_ptr<MemoryBuffer>(new (std::nothrow) MemoryBuffer(maxLength, alignment));
    if (!created || !created->valid()) return E_OUTOFMEMORY;
    *buffer = std::move(created);
    return S_OK;
}

HRESULT MFCreateMemoryBuffer(uint32_t maxLength, std::shared_ptr<MediaBuffer>* buffer) {
    return MFCreateAlignedMemoryBuffer(maxLength, 16, buffer);
}

}  // namespace tovrel::platform
