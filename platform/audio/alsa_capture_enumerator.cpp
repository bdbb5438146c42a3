#include "platform/audio/alsa_capture_enumerator.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

#include "platform/audio/alsa_capture_source.h"
#include "platform/audio/alsa_quiet.h"
#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

// Hinted PCMs that are no capture device of their own.
constexpr std::array<std::string_view, 22> kNotDevices{
    "null",
    "default",
    "pulse",
    "pipewire",
    "jack",
    "oss",
    "upmix",
    "vdownmix",
    "lavrate",
    "lavcrate",
    "samplerate",
    "samplerate_best",
    "samplerate_linear",
    "samplerate_medium",
    "samplerate_order",
    "speexrate",
    "speexrate_best",
    "speexrate_medium",
    "speex",
    "usbstream",
    "a52",
    "dca",
};

// The hint's value, or empty; the text alsa-lib hands out is freed here.
std::string hintOf(const void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    std::string text = value ? value : "";
    std::free(value);
    return text;
}

}  // namespace

std::vector<AlsaCaptureEnumerator::PcmInfo> AlsaCaptureEnumerator::listPcms() {
    quietAlsa();
    std::vector<PcmInfo> cards, others;
    void** hints = nullptr;
    const int err = snd_device_name_hint(-1, "pcm", &hints);
    if (err < 0) {
        logCallFailure("alsa", "snd_device_name_hint", snd_strerror(err));
        return cards;
    }
    for (void** hint = hints; *hint != nullptr; ++hint) {
        const std::string ioid = hintOf(*hint, "IOID");
        if (!ioid.empty() && ioid != "Input") continue;
        PcmInfo pcm;
        pcm.name = hintOf(*hint, "NAME");
        if (pcm.name.empty()) continue;
        const std::string_view base = std::string_view(pcm.name).substr(0, pcm.name.find(':'));
        if (std::find(kNotDevices.begin(), kNotDevices.end(), base) != kNotDevices.end()) continue;
        const std::string description = hintOf(*hint, "DESC");
        pcm.description = description.substr(0, description.find('\n'));
        if (pcm.description.empty()) pcm.description = pcm.name;
        const bool ofACard = pcm.name.find("CARD=") != std::string::npos;
        std::vector<PcmInfo>& list = ofACard ? cards : others;
        const bool seen = std::any_of(list.begin(), list.end(), [&](const PcmInfo& p) {
            return p.description == pcm.description;
        });
        if (!seen) list.push_back(std::move(pcm));
    }
    snd_device_name_free_hint(hints);
    cards.insert(cards.end(), std::make_move_iterator(others.begin()),
                 std::make_move_iterator(others.end()));
    return cards;
}

HRESULT AlsaCaptureEnumerator::EnumDeviceSources(const Attributes& attributes,
                                                 std::vector<std::unique_ptr<Activate>>* devices) {
    if (devices == nullptr) return E_POINTER;
    Guid sourceType;
    HRESULT hr = attributes.GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &sourceType);
    if (FAILED(hr)) return hr;
    if (sourceType != MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID) return S_OK;
    for (PcmInfo& pcm : listPcms()) {
        auto device =
            std::make_unique<Activate>([name = pcm.name](std::shared_ptr<MediaSource>* source) {
                if (source == nullptr) return E_POINTER;
                AlsaCaptureSource::Format format;
                if (!AlsaCaptureSource::probe(name, &format)) return MF_E_DEVICE_NOT_CONNECTED;
                *source = std::make_shared<AlsaCaptureSource>(name, format);
                return S_OK;
            });
        device->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, sourceType);
        device->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, pcm.description);
        device->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, pcm.name);
        devices->push_back(std::move(device));
    }
    return S_OK;
}

}  // namespace tovrel::platform
