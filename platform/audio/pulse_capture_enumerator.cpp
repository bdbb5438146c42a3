#include "platform/audio/pulse_capture_enumerator.h"

#include <pulse/pulseaudio.h>

#include "platform/audio/pulse_capture_source.h"
#include "platform/audio/pulse_request.h"
#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"

namespace tovrel::platform {

std::vector<PulseCaptureEnumerator::SourceInfo> PulseCaptureEnumerator::listSources(
    bool* serverAnswered) {
    struct Listing {
        std::vector<SourceInfo> sources;
        bool done = false;
    } listing;
    const PulseRequest::Outcome outcome = PulseRequest::run(
        "pa_context_get_source_info_list",
        [&listing](pa_context* context) {
            return pa_context_get_source_info_list(
                context,
                [](pa_context*, const pa_source_info* info, int eol, void* data) {
                    auto* l = static_cast<Listing*>(data);
                    if (eol != 0) {
                        l->done = true;
                        return;
                    }
                    SourceInfo s;
                    s.name = info->name ? info->name : "";
                    s.description = info->description ? info->description : s.name;
                    s.rate = info->sample_spec.rate;
                    s.channels = info->sample_spec.channels;
                    s.format = info->sample_spec.format;
                    s.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
                    l->sources.push_back(std::move(s));
                },
                &listing);
        },
        listing.done);
    if (serverAnswered) *serverAnswered = outcome != PulseRequest::Outcome::NoServer;
    return std::move(listing.sources);
}

HRESULT PulseCaptureEnumerator::EnumDeviceSources(const Attributes& attributes,
                                                  std::vector<std::unique_ptr<Activate>>* devices) {
    if (devices == nullptr) return E_POINTER;
    Guid sourceType;
    HRESULT hr = attributes.GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &sourceType);
    if (FAILED(hr)) return hr;
    if (sourceType != MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID) return S_OK;
    for (const SourceInfo& s : listSources(&serverAnswered_)) {
        if (s.isMonitor || s.channels == 0 || s.rate == 0) continue;
        auto device =
            std::make_unique<Activate>([name = s.name, rate = s.rate, channels = s.channels,
                                        format = s.format](std::shared_ptr<MediaSource>* source) {
                if (source == nullptr) return E_POINTER;
                *source = std::make_shared<PulseCaptureSource>(name, rate, channels, format);
                return S_OK;
            });
        device->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, sourceType);
        device->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, s.description);
        device->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, s.name);
        devices->push_back(std::move(device));
    }
    return S_OK;
}

}  // namespace tovrel::platform
