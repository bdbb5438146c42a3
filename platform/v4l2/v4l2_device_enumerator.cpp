#include "platform/v4l2/v4l2_device_enumerator.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"
#include "platform/v4l2/linux_v4l2_system_calls.h"
#include "platform/v4l2/v4l2_media_source.h"
#include "platform/v4l2/v4l2_node.h"

namespace tovrel::platform {

namespace {

// "/dev/video12" sorts after "/dev/video2".
int nodeNumber(const std::string& path) {
    size_t digits = path.size();
    while (digits > 0 && path[digits - 1] >= '0' && path[digits - 1] <= '9') --digits;
    return digits < path.size() ? std::atoi(path.c_str() + digits) : -1;
}

}  // namespace

std::vector<V4l2DeviceEnumerator::Node> V4l2DeviceEnumerator::captureNodes() {
    std::vector<std::string> paths;
    udev* context = udev_new();
    if (context == nullptr) logErrno("udev", "udev_new", errno);
    if (context != nullptr) {
        if (udev_enumerate* enumerate = udev_enumerate_new(context)) {
            udev_enumerate_add_match_subsystem(enumerate, "video4linux");
            udev_enumerate_scan_devices(enumerate);
            udev_list_entry* entry = nullptr;
            udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
                udev_device* device =
                    udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
                if (device == nullptr) continue;
                if (const char* node = udev_device_get_devnode(device)) paths.emplace_back(node);
                udev_device_unref(device);
            }
            udev_enumerate_unref(enumerate);
        }
        udev_unref(context);
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return nodeNumber(a) != nodeNumber(b) ? nodeNumber(a) < nodeNumber(b) : a < b;
    });
    std::vector<Node> nodes;
    for (const std::string& path : paths) {
        int error = 0;
        std::unique_ptr<V4l2Node> node =
            V4l2Node::open(LinuxV4l2SystemCalls::instance(), path, &error);
        if (node && node->canCapture()) nodes.push_back({path, node->cardName()});
    }
    return nodes;
}

HRESULT V4l2DeviceEnumerator::EnumDeviceSources(const Attributes& attributes,
                                                std::vector<std::unique_ptr<Activate>>* devices) {
    if (devices == nullptr) return E_POINTER;
    Guid sourceType;
    HRESULT hr = attributes.GetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &sourceType);
    if (FAILED(hr)) return hr;
    if (sourceType != MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID) return S_OK;
    for (const Node& node : captureNodes()) {
        const std::string path = node.path;
        auto device = std::make_unique<Activate>([path](std::shared_ptr<MediaSource>* source) {
            HRESULT result = S_OK;
            std::shared_ptr<V4l2MediaSource> opened = V4l2MediaSource::open(path, &result);
            if (!opened) return FAILED(result) ? result : E_FAIL;
            *source = std::move(opened);
            return S_OK;
        });
        device->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, sourceType);
        device->SetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, node.cardName);
        device->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK, node.path);
        devices->push_back(std::move(device));
    }
    return S_OK;
}

}  // namespace tovrel::platform
