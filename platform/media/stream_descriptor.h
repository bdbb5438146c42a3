#pragma once

#include <cstdint>

#include "platform/media/media_type_handler.h"

namespace tovrel::platform {

// One stream of a media source: its identifier and its native types. Owned by its
// PresentationDescriptor; the caller's thread.
class StreamDescriptor {
  public:
    StreamDescriptor(uint32_t identifier, MediaTypeHandler handler)
        : identifier_(identifier), handler_(std::move(handler)) {}

    HRESULT GetStreamIdentifier(uint32_t* identifier) const;
    // The handler lives as long as this descriptor.
    HRESULT GetMediaTypeHandler(const MediaTypeHandler** handler) const;

  private:
    uint32_t identifier_;
    MediaTypeHandler handler_;
};

}  // namespace tovrel::platform
