#pragma once

#include <cstdint>
#include <memory>

#include "platform/media/sample.h"

namespace tovrel::platform {

// The asynchronous reader's callback (MF_SOURCE_READER_ASYNC_CALLBACK). Called on the reader's
// worker thread, one call at a time per reader; it may call ReadSample on the same reader to
// ask for the next sample. Shared by the reader and whoever created it.
class SourceReaderCallback {
  public:
    virtual ~SourceReaderCallback() = default;

    // One completed ReadSample: `sample` may be null (flags or a failure `status`).
    virtual HRESULT OnReadSample(HRESULT status, uint32_t streamIndex, uint32_t streamFlags,
                                 int64_t timestamp, const std::shared_ptr<Sample>& sample) = 0;
    // A Flush of `streamIndex` has completed; its pending read was dropped.
    virtual HRESULT OnFlush(uint32_t streamIndex) = 0;
    virtual HRESULT OnEvent(uint32_t streamIndex, uint32_t eventType) = 0;
};

}  // namespace tovrel::platform
