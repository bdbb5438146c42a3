#pragma once

#include <functional>
#include <memory>

#include "platform/media/attributes.h"
#include "platform/media/media_source.h"

namespace tovrel::platform {

// One enumerated capture device: its attributes (MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME,
// MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, the symbolic link or endpoint id) and the way to open it.
// Owned by the enumeration's caller; GUI thread.
class Activate : public Attributes {
  public:
    using Activation = std::function<HRESULT(std::shared_ptr<MediaSource>*)>;

    explicit Activate(Activation activation) : activation_(std::move(activation)) {}

    // Opens the device as a media source; each call opens it anew.
    HRESULT ActivateObject(std::shared_ptr<MediaSource>* source);
    // The platform's counterpart releases what ActivateObject created; ours holds nothing.
    HRESULT ShutdownObject() { return S_OK; }

  private:
    Activation activation_;
};

}  // namespace tovrel::platform
