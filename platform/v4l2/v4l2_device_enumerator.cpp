#include "platform/v4l2/v4l2_device_enumerator.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/media/mf_guids.h"
#include "platform/v4l2/v4l2_media_source.h"

namespace tovrel::platform {

namespace {

// "/dev/video12" sorts after "/dev/video2".
int nodeNumber(const std::string& path) {
    size_t digits = path.size();
    while (digits > 0 && path[digits - 1] >= '0' && path[digits - 1] <= '9') --digits;
    return digits < path.size() ? std::atoi(path.c_str() + digits) : -1;
}

bool queryCapture(const std::string& path, std::string* card) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    v4l2_capability capability{};
    int rc;
    do {
        rc = ::ioctl(fd, VIDIOC_QUERYCAP, &capability);
    } while (rc < 0 && errno == EINTR);
    ::close(fd);
    if (rc < 0) return false;
    // A node of a multi-node device reports its own capabilities in device_caps.
    const uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                              ? capability.device_caps
                              : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) return false;
    const char* text = reinterpret_cast<const char*>(capability.card);
    *card = std::string(text, strnlen(text, sizeof capability.card));
    return true;
}

}  // namespace

std::vector<V4l2DeviceEnumerator::Node> V4l2DeviceEnumerator::captureNodes() {
    std::vector<std::string> paths;
    if (udev* context = udev_new()) {
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
        Node node{path, {}};
        if (queryCapture(path, &node.cardName)) nodes.push_back(std::move(node));
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
