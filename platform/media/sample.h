#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/attributes.h"
#include "platform/media/media_buffer.h"

namespace tovrel::platform {

// One media sample: a presentation time and duration in 100 ns units, attributes
// (MFSampleExtension_*), and one or more buffers that together hold its data. Produced on a
// reader's worker thread and then read by the one callback it is handed to; shared ownership
// lets the producer recycle it once every consumer has let go (see SamplePool).
class Sample : public Attributes {
  public:
    Sample() = default;

    HRESULT SetSampleTime(int64_t time100ns) {
        time100ns_ = time100ns;
        hasTime_ = true;
        return S_OK;
    }
    HRESULT GetSampleTime(int64_t* time100ns) const;
    HRESULT SetSampleDuration(int64_t duration100ns) {
        duration100ns_ = duration100ns;
        hasDuration_ = true;
        return S_OK;
    }
    HRESULT GetSampleDuration(int64_t* duration100ns) const;

    HRESULT AddBuffer(std::shared_ptr<MediaBuffer> buffer);
    HRESULT GetBufferCount(uint32_t* count) const;
    HRESULT GetBufferByIndex(uint32_t index, std::shared_ptr<MediaBuffer>* buffer) const;
    HRESULT RemoveAllBuffers();
    // The data of all buffers as one buffer: the buffer itself when there is one; otherwise a
    // joined copy, kept with the sample so that a recycled sample joins without allocating.
    HRESULT ConvertToContiguousBuffer(std::shared_ptr<MediaBuffer>* buffer);
    // Sum of the current lengths of all buffers.
    HRESULT GetTotalLength(uint32_t* length) const;

    // Forgets time, duration, attributes and buffers, for reuse by a pool.
    void reset();

  private:
    int64_t time100ns_ = 0;
    int64_t duration100ns_ = 0;
    bool hasTime_ = false;
    bool hasDuration_ = false;
    std::vector<std::shared_ptr<MediaBuffer>> buffers_;
    std::shared_ptr<MemoryBuffer> joined_;
};

HRESULT MFCreateSample(std::shared_ptr<Sample>* sample);

}  // namespace tovrel::platform
