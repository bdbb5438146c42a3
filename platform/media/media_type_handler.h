#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/media_type.h"

namespace tovrel::platform {

// The list of native types of one stream, in the device's order, as a stream descriptor
// presents it. Owned by its StreamDescriptor; the caller's thread.
class MediaTypeHandler {
  public:
    MediaTypeHandler() = default;
    explicit MediaTypeHandler(std::vector<MediaType> types) : types_(std::move(types)) {}

    HRESULT GetMediaTypeCount(uint32_t* count) const;
    HRESULT GetMediaTypeByIndex(uint32_t index, std::unique_ptr<MediaType>* type) const;
    HRESULT GetMajorType(Guid* majorType) const;

    const std::vector<MediaType>& types() const { return types_; }

  private:
    std::vector<MediaType> types_;
};

}  // namespace tovrel::platform
