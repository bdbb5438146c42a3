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

// What a source's own entry tells about its volume.
struct SourceState {
    pa_volume_t volume = PA_VOLUME_NORM;
    bool muted = false;
};

// Reads the non-monitor source described as `friendlyName` from one listing, so that the name
// and the state come from the same moment.
HRESULT readSource(const std::string& friendlyName, SourceState* state) {
    struct Listing {
        const std::string* wanted;
        SourceState state;
        bool found = false;
        bool done = false;
    } listing{&friendlyName, {}, false, false};
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
                    const char* description = info->description ? info->description : info->name;
                    if (l->found || info->monitor_of_sink != PA_INVALID_INDEX ||
                        description == nullptr || *l->wanted != description)
                        return;
                    l->found = true;
                    l->state.volume = pa_cvolume_max(&info->volume);
                    l->state.muted = info->mute != 0;
                },
                &listing);
        },
        listing.done);
    if (outcome == PulseRequest::Outcome::NoServer) return E_INVALIDARG;
    if (!listing.done) return E_FAIL;
    if (!listing.found) return E_INVALIDARG;
    *state = listing.state;
    return S_OK;
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
    if (!(levelDb >= kMinimumLevelDb && levelDb <= kMaximumLevelDb)) return E_INVALIDARG;
    pa_volume_t volume = pa_sw_volume_from_dB(levelDb);
    while (pa_sw_volume_to_dB(volume) < levelDb) ++volume;
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

HRESULT PulseCaptureEndpoints::GetVolumeRange(const std::string& friendlyName, float* minimumDb,
                                              float* maximumDb, float* incrementDb) {
    if (!minimumDb || !maximumDb || !incrementDb) return E_POINTER;
    SourceState state;
    if (const HRESULT hr = readSource(friendlyName, &state); FAILED(hr)) return hr;
    *minimumDb = kMinimumLevelDb;
    *maximumDb = kMaximumLevelDb;
    *incrementDb = static_cast<float>(pa_sw_volume_to_dB(PA_VOLUME_NORM + 1));
    return S_OK;
}

HRESULT PulseCaptureEndpoints::GetMasterVolumeLevel(const std::string& friendlyName,
                                                    float* levelDb) {
    if (!levelDb) return E_POINTER;
    SourceState state;
    if (const HRESULT hr = readSource(friendlyName, &state); FAILED(hr)) return hr;
    // Silence is minus infinity in decibels, which no caller's arithmetic survives.
    const pa_volume_t volume = state.volume == PA_VOLUME_MUTED ? 1 : state.volume;
    *levelDb = static_cast<float>(pa_sw_volume_to_dB(volume));
    return S_OK;
}

HRESULT PulseCaptureEndpoints::GetMute(const std::string& friendlyName, bool* mute) {
    if (!mute) return E_POINTER;
    SourceState state;
    if (const HRESULT hr = readSource(friendlyName, &state); FAILED(hr)) return hr;
    *mute = state.muted;
    return S_OK;
}

}  // namespace tovrel::platform
