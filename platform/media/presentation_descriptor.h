#pragma once

#include <cstdint>
#include <vector>

#include "platform/media/stream_descriptor.h"

namespace tovrel::platform {

// A snapshot of a media source's streams, as CreatePresentationDescriptor hands it out. The
// caller owns it; the caller's thread.
class PresentationDescriptor {
  public:
    void addStream(StreamDescriptor stream, bool selected);

    HRESULT GetStreamDescriptorCount(uint32_t* count) const;
    // The descriptor lives as long as this presentation descriptor.
    HRESULT GetStreamDescriptorByIndex(uint32_t index, bool* selected,
                                       const StreamDescriptor** descriptor) const;

  private:
    std::vector<StreamDescriptor> streams_;
    std::vector<bool> selected_;
};

}  // namespace tovrel::platform
