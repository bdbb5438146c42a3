#include "platform/usb/uvc_node_bus.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

int hexAttribute(udev_device* device, const char* name) {
    const char* text = udev_device_get_sysattr_value(device, name);
    if (text == nullptr) return -1;
    char* end = nullptr;
    long value = std::strtol(text, &end, 16);
    return end == text ? -1 : static_cast<int>(value);
}

int decimalAttribute(udev_device* device, const char* name, int fallback) {
    const char* text = udev_device_get_sysattr_value(device, name);
    if (text == nullptr) return fallback;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    return end == text ? fallback : static_cast<int>(value);
}

int ioctlRetry(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

// One open video node. uvcvideo insists that a query's size equals the control's length; the
// bridge's data control is longer than most writes, so a short SET_CUR is sent padded with the
// zeros the request buffer carries anyway, and a GET_CUR is fetched whole and cut.
class UvcNodeUnit final : public ExtensionUnit {
  public:
    UvcNodeUnit(int fd, std::string devnode) : fd_(fd), devnode_(std::move(devnode)) {}
    ~UvcNodeUnit() override {
        if (::close(fd_) != 0) logErrno(devnode_, "close", errno);
    }

    int deviceRequest(const DeviceRequest& request) override {
        const bool classToInterface = (request.bmRequestType & 0x7F) == 0x21;
        if (!classToInterface) return kDeviceRequestFailed;
        if (request.wLength > 0 && request.data == nullptr) return kDeviceRequestFailed;
        const auto unit = static_cast<uint8_t>(request.wIndex >> 8);
        const auto selector = static_cast<uint8_t>(request.wValue >> 8);
        const uint8_t query = request.bRequest;
        if (query != UVC_SET_CUR && query != UVC_GET_CUR) return kDeviceRequestFailed;

        if (this->query(unit, selector, query, request.wLength, request.data) == 0) {
            return request.wLength;
        }
        // ENOBUFS: the size is not the control's; anything else is a real failure.
        if (errno != ENOBUFS) {
            logErrno(devnode_, "ioctl UVCIOC_CTRL_QUERY", errno);
            return kDeviceRequestFailed;
        }

        int length = controlLength(unit, selector);
        if (length <= 0) return kDeviceRequestFailed;
        std::vector<uint8_t> whole(static_cast<size_t>(length), 0);
        if (query == UVC_SET_CUR) {
            if (length < request.wLength) return kDeviceRequestFailed;
            std::memcpy(whole.data(), request.data, request.wLength);
            if (this->query(unit, selector, query, static_cast<uint16_t>(length), whole.data()) !=
                0) {
                logErrno(devnode_, "ioctl UVCIOC_CTRL_QUERY SET_CUR", errno);
                return kDeviceRequestFailed;
            }
            return request.wLength;
        }
        if (this->query(unit, selector, query, static_cast<uint16_t>(length), whole.data()) != 0) {
            logErrno(devnode_, "ioctl UVCIOC_CTRL_QUERY GET_CUR", errno);
            return kDeviceRequestFailed;
        }
        const int copied = std::min<int>(length, request.wLength);
        std::memcpy(request.data, whole.data(), static_cast<size_t>(copied));
        return copied;
    }

  private:
    int query(uint8_t unit, uint8_t selector, uint8_t code, uint16_t size, uint8_t* data) {
        uvc_xu_control_query q{};
        q.unit = unit;
        q.selector = selector;
        q.query = code;
        q.size = size;
        q.data = data;
        return ioctlRetry(fd_, UVCIOC_CTRL_QUERY, &q);
    }

    int controlLength(uint8_t unit, uint8_t selector) {
        uint8_t length[2] = {0, 0};
        if (query(unit, selector, UVC_GET_LEN, 2, length) != 0) {
            logErrno(devnode_, "ioctl UVCIOC_CTRL_QUERY GET_LEN", errno);
            return -1;
        }
        return length[0] | (length[1] << 8);
    }

    int fd_;
    std::string devnode_;
};

}  // namespace

std::vector<UvcNodeBus::Node> UvcNodeBus::findNodes(uint16_t vendorId, uint16_t productId) const {
    bool listed = true;
    return findNodes(vendorId, productId, listed);
}

std::vector<UvcNodeBus::Node> UvcNodeBus::findNodes(uint16_t vendorId, uint16_t productId,
                                                    bool& listed) const {
    std::vector<Node> nodes;
    listed = false;
    udev* context = udev_new();
    if (context == nullptr) {
        logErrno("udev", "udev_new", errno);
        return nodes;
    }
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate == nullptr) {
        logErrno("udev", "udev_enumerate_new", errno);
        udev_unref(context);
        return nodes;
    }
    // libudev gives negative errno values.
    int result = udev_enumerate_add_match_subsystem(enumerate, "video4linux");
    if (result >= 0) result = udev_enumerate_scan_devices(enumerate);
    if (result < 0) {
        logErrno("udev video4linux", "udev_enumerate_scan_devices", -result);
        udev_enumerate_unref(enumerate);
        udev_unref(context);
        return nodes;
    }
    listed = true;

    // Per USB device (by its sys path), the node with the lowest index.
    struct Candidate {
        Node node;
        int index;
    };
    std::map<std::string, Candidate> byUsbDevice;
    std::vector<std::string> order;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
        udev_device* video = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (video == nullptr) continue;
        udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(video, "usb", "usb_device");
        const char* devnode = udev_device_get_devnode(video);
        if (usb != nullptr && devnode != nullptr && hexAttribute(usb, "idVendor") == vendorId &&
            hexAttribute(usb, "idProduct") == productId) {
            Candidate candidate{
                {devnode, decimalAttribute(usb, "busnum", -1), decimalAttribute(usb, "devnum", -1)},
                decimalAttribute(video, "index", 0)};
            std::string key = udev_device_get_syspath(usb);
            auto it = byUsbDevice.find(key);
            if (it == byUsbDevice.end()) {
                order.push_back(key);
                byUsbDevice.emplace(key, candidate);
            } else if (candidate.index < it->second.index) {
                it->second = candidate;
            }
        }
        udev_device_unref(video);
    }
    udev_enumerate_unref(enumerate);
    udev_unref(context);
    for (const auto& key : order) nodes.push_back(byUsbDevice[key].node);
    return nodes;
}

std::unique_ptr<ExtensionUnit> UvcNodeBus::openNode(const std::string& devnode) {
    int fd = ::open(devnode.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        logErrno(devnode, "open", errno);
        return nullptr;
    }
    return std::make_unique<UvcNodeUnit>(fd, devnode);
}

std::vector<std::unique_ptr<ExtensionUnit>> UvcNodeBus::openUnits(uint16_t vendorId,
                                                                  uint16_t productId) {
    return searchUnits(vendorId, productId).units;
}

UnitSearch UvcNodeBus::searchUnits(uint16_t vendorId, uint16_t productId) {
    UnitSearch search;
    for (const Node& node : findNodes(vendorId, productId, search.busOpened)) {
        if (auto unit = openNode(node.devnode)) {
            search.units.push_back(std::move(unit));
        } else {
            ++search.notClaimed;
        }
    }
    return search;
}

}  // namespace tovrel::platform
