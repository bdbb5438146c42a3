#include "platform/audio/pulse_capture_endpoints.h"

#include <pulse/pulseaudio.h>

#include <functional>

#include "platform/audio/pulse_capture_enumerator.h"

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

// Connects, starts one operation once the context is ready and waits (bounded) for its answer.
HRESULT runOperation(
    const std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)>& start) {
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) return E_FAIL;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Tovrel");
    if (!context || pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        if (context) pa_context_unref(context);
        pa_mainloop_free(loop);
        return E_FAIL;
    }
    struct Answer {
        bool done = false;
        bool ok = false;
    } answer;
    pa_operation* operation = nullptr;
    for (int rounds = 0; rounds < 2000 && !answer.done; ++rounds) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (!PA_CONTEXT_IS_GOOD(state)) break;
        if (state == PA_CONTEXT_READY && !operation) {
            operation = start(
                context,
                [](pa_context*, int success, void* data) {
                    auto* a = static_cast<Answer*>(data);
                    a->done = true;
                    a->ok = success != 0;
                },
                &answer);
            if (!operation) break;
        }
        pa_mainloop_iterate(loop, 1, nullptr);
    }
    if (operation) pa_operation_unref(operation);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
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
    return runOperation([&](pa_context* c, pa_context_success_cb_t cb, void* data) {
        return pa_context_set_source_volume_by_name(c, source.name.c_str(), &levels, cb, data);
    });
}

HRESULT PulseCaptureEndpoints::SetMute(const std::string& friendlyName, bool mute) {
    Named source;
    if (!findSource(friendlyName, &source)) return E_INVALIDARG;
    return runOperation([&](pa_context* c, pa_context_success_cb_t cb, void* data) {
        return pa_context_set_source_mute_by_name(c, source.name.c_str(), mute ? 1 : 0, cb, data);
    });
}

}  // namespace tovrel::platform
