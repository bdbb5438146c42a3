#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/system/hresult.h"

namespace tovrel::platform {

// A block of sample data. Lock gives its address, its capacity and the length in use; every
// Lock is paired with an Unlock. Buffers are filled by the producer before they are handed out
// and read by the consumer afterwards, never both at once: the caller's thread.
class MediaBuffer {
  public:
    virtual ~MediaBuffer() = default;

    virtual HRESULT Lock(uint8_t** data, uint32_t* maxLength, uint32_t* currentLength) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetCurrentLength(uint32_t* length) const = 0;
    virtual HRESULT SetCurrentLength(uint32_t length) = 0;
    virtual HRESULT GetMaxLength(uint32_t* length) const = 0;
};

// A buffer in heap memory, aligned as asked (the frame paths use 16 or 64 bytes).
class MemoryBuffer final : public MediaBuffer {
  public:
    MemoryBuffer(uint32_t maxLength, uint32_t alignment);
    ~MemoryBuffer() override;
    MemoryBuffer(const MemoryBuffer&) = delete;
    MemoryBuffer& operator=(const MemoryBuffer&) = delete;

    HRESULT Lock(uint8_t** data, uint32_t* maxLength, uint32_t* currentLength) override;
    HRESULT Unlock() override;
    HRESULT GetCurrentLength(uint32_t* length) const override;
    HRESULT SetCurrentLength(uint32_t length) override;
    HRESULT GetMaxLength(uint32_t* length) const override;

    // Direct access for producers that own the buffer.
    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    bool valid() const { return data_ != nullptr || maxLength_ == 0; }

  private:
    uint8_t* data_ = nullptr;
    uint32_t maxLength_ = 0;
    uint32_t currentLength_ = 0;
    int lockCount_ = 0;
};

HRESULT MFCreateMemoryBuffer(uint32_t maxLength, std::shared_ptr<MediaBuffer>* buffer);
HRESULT MFCreateAlignedMemoryBuffer(uint32_t maxLength, uint32_t alignment,
                                    std::shared_ptr<MediaBuffer>* buffer);

}  // namespace tovrel::platform
