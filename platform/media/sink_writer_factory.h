#pragma once

#include <memory>
#include <string>

#include "platform/media/attributes.h"
#include "platform/media/sink_writer.h"

namespace tovrel::platform {

// Creates sink writers for a file path (MFCreateSinkWriterFromURL's place; there is no byte
// stream form). The attributes are the writer's (MF_READWRITE_*, MF_SINK_WRITER_*,
// MF_TRANSCODE_CONTAINERTYPE). Any thread.
class SinkWriterFactory {
  public:
    virtual ~SinkWriterFactory() = default;
    virtual HRESULT CreateSinkWriterFromURL(const std::string& path, const Attributes* attributes,
                                            std::unique_ptr<SinkWriter>* sinkWriter) = 0;
};

}  // namespace tovrel::platform
