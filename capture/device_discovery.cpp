#include "capture/device_discovery.h"

#include <string>
#include <vector>

#include "capture/device_names.h"
#include "capture/media_type_scan.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"

namespace tovrel::capture {

using namespace platform;

namespace {

bool containsAny(const std::string& name, auto words) {
    for (std::string_view word : words) {
        if (name.find(word) != std::string::npos) return true;
    }
    return false;
}

bool isBoxVideoName(const std::string& name) {
    for (std::string_view known : kBoxVideoNames) {
        if (name == known) return true;
    }
    return false;
}

HRESULT enumerate(DeviceListEnumerator* enumerator, const Guid& sourceType,
                  std::vector<std::unique_ptr<Activate>>* devices) {
    if (!enumerator) return E_UNEXPECTED;
    std::unique_ptr<Attributes> attributes;
    HRESULT hr = MFCreateAttributes(&attributes, 1);
    if (FAILED(hr)) return hr;
    hr = attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, sourceType);
    if (FAILED(hr)) return hr;
    return MFEnumDeviceSources(*enumerator, *attributes, devices);
}

}  // namespace

HRESULT DeviceDiscovery::createAudioCapture() {
    px40Model = 0;
    usb3Bridge = 0;
    registerCapableBox = 0;

    std::vector<std::unique_ptr<Activate>> devices;
    HRESULT hr = enumerate(enumerator_, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID, &devices);
    if (FAILED(hr)) return hr;

    size_t candidate = kNoIndex;
    for (size_t i = 0; i < devices.size(); ++i) {
        std::string name;
        // A device whose name cannot be read ends the scan: the ones after it are not looked at.
        if (FAILED(devices[i]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name)))
            break;
        outputDebugString(name);
        if (containsAny(name, kRegisterCapableAudioWords)) {
            candidate = i;
            if (rules.boxModelFlags) {
                registerCapableBox = 1;
                if (name.find(kPx40AudioWord) != std::string::npos) px40Model = 1;
            }
        }
        if (containsAny(name, kUsb3BridgeAudioWords)) {
            usb3Bridge = 1;
            candidate = i;
        }
    }
    if (devices.empty()) return E_UNEXPECTED;
    if (candidate == kNoIndex && !rules.firstDeviceFallback) return E_FAIL;

    Activate& chosen = *devices[candidate == kNoIndex ? 0 : candidate];
    std::shared_ptr<MediaSource> source;
    hr = chosen.ActivateObject(&source);
    if (SUCCEEDED(hr)) {
        // Only the result matters: an audio source has none of the video formats.
        FirstFormatIndices ignored = firstIndices;
        hr = scanMediaTypes(*source, &ignored);
    }
    if (SUCCEEDED(hr)) {
        audioSource = source;
    } else {
        if (source) source->Shutdown();
        releaseCaptureSources();
    }
    return hr;
}

HRESULT DeviceDiscovery::createVideoCapture(uint32_t requestedFormat) {
    std::vector<std::unique_ptr<Activate>> devices;
    HRESULT hr = enumerate(enumerator_, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID, &devices);
    if (FAILED(hr)) return hr;

    size_t candidate = kNoIndex;
    for (size_t i = 0; i < devices.size(); ++i) {
        std::string name;
        if (FAILED(devices[i]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name)))
            break;
        outputDebugString(name);
        if (isBoxVideoName(name)) candidate = i;
    }
    if (devices.empty()) return E_UNEXPECTED;
    if (candidate == kNoIndex && !rules.firstDeviceFallback) return E_FAIL;

    Activate& chosen = *devices[candidate == kNoIndex ? 0 : candidate];
    std::shared_ptr<MediaSource> source;
    hr = chosen.ActivateObject(&source);
    if (SUCCEEDED(hr)) {
        firstIndices = FirstFormatIndices{};
        hr = scanMediaTypes(*source, &firstIndices);
        if (!rules.nv12) firstIndices.firstNv12Index = kNoIndex;
    }
    if (FAILED(hr)) {
        if (source) source->Shutdown();
        releaseCaptureSources();
        return hr;
    }
    videoFormat = chooseVideoFormat(static_cast<int32_t>(requestedFormat), firstIndices);
    if (rules.pictureControls) pictureControls.read(source->videoProcAmp());
    videoSource = source;
    return S_OK;
}

int DeviceDiscovery::releaseCaptureSources() {
    for (std::shared_ptr<MediaSource>* source : {&videoSource, &audioSource}) {
        if (*source) {
            (*source)->Stop();
            (*source)->Shutdown();
            source->reset();
        }
    }
    return 0;
}

}  // namespace tovrel::capture
