#pragma once

#include "platform/ffmpeg/encoder_backend.h"
#include "platform/media/sink_writer_factory.h"

namespace tovrel::platform {

// Creates FFmpeg sink writers. The file is created (or truncated) at once, so a path that cannot
// be written fails the creation with the system's reason (E_ACCESSDENIED, the path-not-found or
// disk-full codes, E_FAIL otherwise). Writer attributes read:
// MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS (hardware encoders first),
// MF_SINK_WRITER_DISABLE_THROTTLING (drop rather than wait when the encoder is behind) and
// MF_TRANSCODE_CONTAINERTYPE (MPEG-4 only; absent means MPEG-4). libavcodec's own log goes to the
// debug output. Any thread.
class FfmpegSinkWriterFactory final : public SinkWriterFactory {
  public:
    explicit FfmpegSinkWriterFactory(EncoderBackend& backend = EncoderBackend::system());

    HRESULT CreateSinkWriterFromURL(const std::string& path, const Attributes* attributes,
                                    std::unique_ptr<SinkWriter>* sinkWriter) override;

  private:
    EncoderBackend& backend_;
};

}  // namespace tovrel::platform
