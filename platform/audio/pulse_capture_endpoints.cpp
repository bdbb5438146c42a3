#include "platform/audio/pulse_capture_endpoints.h"

#include <pulse/pulseaudio.h>

#include <functional>
#include <string>

#include "platform/audio/pulse_capture_enumerator.h"
#include "platform/audio/pulse_request.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

struct Named {
    std::string name;
    uint32_t channels = 0;
};

bool findSource(const std::string& friendlyName, Named* found) {
    for (const auto& s : PulseCaptureEnumerator::listSources()) {
        if (s.isMonitor || s.description != friendlyName) continue;
        found->name = s.name;
        found->channels = s.channels;
        return true;
    }
    return false;
}

// One operation with a success answer; a refusal is logged with the server's reason.
HRESULT runOperation(
    const char* what,
    const std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)>& start) {
    struct Answer {
        bool done = false;
        bool ok = false;
        std::string error;
    } answer;
    PulseRequest::run(
        what,
        [&](pa_context* context) {
            return start(
                context,
                [](pa_context* c, int success, void* data) {
                    auto* a = static_cast<Answer*>(data);
                    a->done = true;
                    a->ok = success != 0;
                    if (!a->ok) a->error = pa_strerror(pa_context_errno(c));
                },
                &answer);
        },
        answer.done);
    if (answer.done && !answer.ok) logCallFailure("pulse server", what, answer.error);
    return answer.ok ? S_OK : E_FAIL;
}

}  // namespace

std::vector<std::string> PulseCaptureEndpoints::EnumAudioEndpoints() {
    std::vector<std::string> names;
    for (const auto& s : PulseCaptureEnumerator::listSources())
        if (!s.isMonitor) names.push_back(s.description);
    return names;
}

HRESULT PulseCaptureEndpoints::SetMasterVolumeLevel(const std::string& friendlyName,
                                                    float levelDb) {
    const pa_volume_t volume = pa_sw_volume_from_dB(levelDb);
    if (volume > PA_VOLUME_UI_MAX) return E_INVALIDARG;
    Named source;
    if (!findSource(friendlyName, &source) || source.channels == 0) return E_INVALIDARG;
    pa_cvolume levels;
    pa_cvolume_set(&levels, source.channels, volume);
    return runOperation("pa_context_set_source_volume_by_name",
                        [&](pa_context* c, pa_context_success_cb_t cb, void* data) {
                            return pa_context_set_source_volume_by_name(c, source.name.c_str(),
                                                                        &levels, cb, data);
                        });
}

HRESULT PulseCaptureEndpoints::SetMute(const std::string& friendlyName, bool mute) {
    Named source;
    if (!findSource(friendlyName, &source)) return E_INVALIDARG;
    return runOperation("pa_context_set_source_mute_by_name",
                        [&](pa_context* c, pa_context_success_cb_t cb, void* data) {
                            return pa_context_set_source_mute_by_name(c, source.name.c_str(),
                                                                      mute ? 1 : 0, cb, data);
                        });
}

}  // namespace tovrel::platform
