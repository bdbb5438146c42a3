#include "platform/media/sample_pool.h"

namespace tovrel::platform {

SamplePool::SamplePool(uint32_t bufferBytes, uint32_t alignment, uint32_t maxSamples)
    : bufferBytes_(bufferBytes), alignment_(alignment), maxSamples_(maxSamples) {
    samples_.reserve(maxSamples);
}

std::shared_ptr<Sample> SamplePool::acquire() {
    for (auto& entry : samples_) {
        // Only the pool holds the sample and its buffer: every consumer has let go.
        if (entry.sample.use_count() != 1) continue;
        entry.sample->reset();
        if (entry.buffer.use_count() == 1) {
            entry.buffer->SetCurrentLength(0);
            entry.sample->AddBuffer(entry.buffer);
            return entry.sample;
        }
    }
    if (samples_.size() >= maxSamples_) return nullptr;
    Entry entry;
    entry.buffer = std::make_shared<MemoryBuffer>(bufferBytes_, alignment_);
    if (!entry.buffer->valid()) return nullptr;
    entry.sample = std::make_shared<Sample>();
    entry.sample->AddBuffer(entry.buffer);
    samples_.push_back(entry);
    return samples_.back().sample;
}

MemoryBuffer* SamplePool::bufferOf(const std::shared_ptr<Sample>& sample) {
    std::shared_ptr<MediaBuffer> buffer;
    if (!sample || FAILED(sample->GetBufferByIndex(0, &buffer))) return nullptr;
    return static_cast<MemoryBuffer*>(buffer.get());
}

}  // namespace tovrel::platform
