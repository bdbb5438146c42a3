#pragma once

#include <string>

#include "platform/audio/block_capture_source.h"

struct _snd_pcm;

namespace tovrel::platform {

// One ALSA capture PCM as an audio capture device (see BlockCaptureSource), for a machine
// without a sound server. Integer PCM in the depth, rate and channel count found by probe().
// An overrun (the reader fell behind the card) is recovered and recording goes on; any other
// read error ends the stream.
// Logged through the debug output, with the PCM name and snd_strerror's text: snd_pcm_open
// (-ENOENT unknown PCM, -EBUSY held by another program, -ENODEV card gone), snd_pcm_set_params
// (-EINVAL the format no longer fits), snd_pcm_readi (-EPIPE overrun, recovered; -ESTRPIPE
// suspended, recovered; -ENODEV card unplugged; -EIO).
// Threads: as BlockCaptureSource; probe() on any thread.
class AlsaCaptureSource final : public BlockCaptureSource {
  public:
    struct Format {
        uint32_t rate = 0;
        uint32_t channels = 0;
        uint32_t bits = 0;  // 16, 24 (packed in 3 bytes) or 32
    };
    // Opens the PCM for capture once to choose its format: 16-bit, else 32- or 24-bit integer,
    // stereo or the nearest count, 48 kHz or the nearest rate. False when it does not open or
    // has no integer format.
    static bool probe(const std::string& pcmName, Format* format);

    AlsaCaptureSource(std::string pcmName, Format format);
    ~AlsaCaptureSource() override;

  private:
    bool openRecording() override;
    bool readBlock(uint8_t* target) override;
    void closeRecording() override;

    const std::string pcmName_;
    _snd_pcm* pcm_ = nullptr;  // recording thread
};

}  // namespace tovrel::platform
