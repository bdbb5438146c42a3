#include "platform/usb/libusb_bus.h"

#include <libusb.h>

#include <mutex>

namespace tovrel::platform {

struct LibusbBus::Context {
    libusb_context* context = nullptr;
    ~Context() {
        if (context != nullptr) libusb_exit(context);
    }
};

namespace {

class LibusbUnit final : public ExtensionUnit {
  public:
    LibusbUnit(std::shared_ptr<void> context, libusb_device_handle* handle)
        : context_(std::move(context)), handle_(handle) {}
    ~LibusbUnit() override { libusb_close(handle_); }

    int deviceRequest(const DeviceRequest& request) override {
        if (request.wLength > 0 && request.data == nullptr) return kDeviceRequestFailed;
        int result = libusb_control_transfer(handle_, request.bmRequestType, request.bRequest,
                                             request.wValue, request.wIndex, request.data,
                                             request.wLength, LibusbBus::kTransferTimeoutMs);
        return result < 0 ? kDeviceRequestFailed : result;
    }

  private:
    std::shared_ptr<void> context_;  // keeps the libusb context alive while the handle is open
    libusb_device_handle* handle_;
};

}  // namespace

LibusbBus::LibusbBus() = default;

LibusbBus::~LibusbBus() = default;

std::vector<std::unique_ptr<ExtensionUnit>> LibusbBus::openUnits(uint16_t vendorId,
                                                                 uint16_t productId) {
    return openUnits(vendorId, productId, {});
}

std::vector<std::unique_ptr<ExtensionUnit>> LibusbBus::openUnits(
    uint16_t vendorId, uint16_t productId, const std::set<std::pair<int, int>>& skipped) {
    std::vector<std::unique_ptr<ExtensionUnit>> units;
    std::shared_ptr<Context> context;
    {
        // libusb starts its own event thread; only programs that look for a box pay for it.
        std::lock_guard lock(mutex_);
        if (!context_) {
            context_ = std::make_shared<Context>();
            if (libusb_init(&context_->context) != 0) context_->context = nullptr;
        }
        context = context_;
    }
    if (context->context == nullptr) return units;
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context->context, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0) continue;
        if (descriptor.idVendor != vendorId || descriptor.idProduct != productId) continue;
        if (skipped.count({libusb_get_bus_number(device), libusb_get_device_address(device)}))
            continue;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(device, &handle) != 0) continue;
        units.push_back(std::make_unique<LibusbUnit>(context, handle));
    }
    if (list != nullptr) libusb_free_device_list(list, 1);
    return units;
}

}  // namespace tovrel::platform
