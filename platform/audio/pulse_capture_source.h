#pragma once

#include <string>

#include "platform/audio/block_capture_source.h"

struct pa_simple;

namespace tovrel::platform {

// One sound-server source as an audio capture device (see BlockCaptureSource): integer PCM at
// the source's rate and channel count, in the source's own depth when it is 16-, 24- or 32-bit
// integer and 16-bit otherwise. A float source (a desktop's usual monitor or virtual source) is
// thus converted by the server, because the capture asks for PCM and the reader converts no
// audio.
// Logged through the debug output: pa_simple_new and pa_simple_read failing, with the source
// name and pa_strerror's text ("No such entity" for a source that went, "Connection
// terminated" for a server that ended).
// Threads: as BlockCaptureSource.
class PulseCaptureSource final : public BlockCaptureSource {
  public:
    // `format` is a pa_sample_format_t.
    PulseCaptureSource(std::string sourceName, uint32_t rate, uint32_t channels, int format);
    ~PulseCaptureSource() override;

  private:
    bool openRecording() override;
    bool readBlock(uint8_t* target) override;
    void closeRecording() override;

    const std::string sourceName_;
    const int paFormat_;
    pa_simple* stream_ = nullptr;  // recording thread
};

}  // namespace tovrel::platform
