#pragma once

#include <string>
#include <vector>

#include "platform/media/media_device_enumerator.h"

namespace tovrel::platform {

// The audio capture devices of the sound server: every PulseAudio (or PipeWire-Pulse) source
// that is not a sink's monitor, in the server's order, named by its description (what the
// desktop shows, e.g. "Norvik USB Audio Device Analog Stereo"), with the source name as the
// endpoint id. Activating one opens a PulseCaptureSource in the source's own sample format.
// A missing server lists no device. GUI thread.
class PulseCaptureEnumerator final : public MediaDeviceEnumerator {
  public:
    struct SourceInfo {
        std::string name;
        std::string description;
        uint32_t rate = 0;
        uint32_t channels = 0;
        int format = 0;  // pa_sample_format_t
        bool isMonitor = false;
    };

    // Every source of the server, monitors included; empty when there is no server, which
    // `serverAnswered` (when given) tells apart from a server without sources.
    static std::vector<SourceInfo> listSources(bool* serverAnswered = nullptr);

    HRESULT EnumDeviceSources(const Attributes& attributes,
                              std::vector<std::unique_ptr<Activate>>* devices) override;
    // Whether a server answered the last EnumDeviceSources (true before the first).
    bool serverAnswered() const { return serverAnswered_; }

  private:
    bool serverAnswered_ = true;
};

}  // namespace tovrel::platform
