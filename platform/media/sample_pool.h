#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/sample.h"

namespace tovrel::platform {

// Samples of one fixed-capacity buffer each, recycled once every consumer has released them,
// so that a stream of frames allocates only while the pool grows to the depth the consumers
// actually hold. Owned and called by one producer thread.
class SamplePool {
  public:
    SamplePool(uint32_t bufferBytes, uint32_t alignment, uint32_t maxSamples);

    // A sample with no attributes, no time and one buffer of `bufferBytes` capacity and length
    // 0; null when all `maxSamples` samples are still held by consumers.
    std::shared_ptr<Sample> acquire();
    // The buffer of a sample that acquire() returned, for the producer to fill.
    static MemoryBuffer* bufferOf(const std::shared_ptr<Sample>& sample);

    uint32_t bufferBytes() const { return bufferBytes_; }
    size_t size() const { return samples_.size(); }

  private:
    struct Entry {
        std::shared_ptr<Sample> sample;
        std::shared_ptr<MemoryBuffer> buffer;
    };
    uint32_t bufferBytes_;
    uint32_t alignment_;
    uint32_t maxSamples_;
    std::vector<Entry> samples_;
};

}  // namespace tovrel::platform
