#include "platform/usb/libusb_bus.h"

#include <libusb.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

struct LibusbBus::Context {
    libusb_context* context = nullptr;
    ~Context() {
        if (context != nullptr) libusb_exit(context);
    }
};

namespace {

std::string deviceName(libusb_device* device) {
    char name[32];
    std::snprintf(name, sizeof name, "usb %03d/%03d", libusb_get_bus_number(device),
                  libusb_get_device_address(device));
    return name;
}

void logFailure(std::string_view device, std::string_view call, int code) {
    logCallFailure(device, call,
                   std::string(libusb_error_name(code)) + " (" + libusb_strerror(code) + ")");
}

class LibusbUnit final : public ExtensionUnit {
  public:
    LibusbUnit(std::shared_ptr<void> context, libusb_device_handle* handle, std::string name)
        : context_(std::move(context)), handle_(handle), name_(std::move(name)) {}
    ~LibusbUnit() override { libusb_close(handle_); }

    int deviceRequest(const DeviceRequest& request) override {
        if (request.wLength > 0 && request.data == nullptr) return kDeviceRequestFailed;
        int result = libusb_control_transfer(handle_, request.bmRequestType, request.bRequest,
                                             request.wValue, request.wIndex, request.data,
                                             request.wLength, LibusbBus::kTransferTimeoutMs);
        if (result < 0) {
            logFailure(name_, "libusb_control_transfer", result);
            return kDeviceRequestFailed;
        }
        return result;
    }

  private:
    std::shared_ptr<void> context_;  // keeps the libusb context alive while the handle is open
    libusb_device_handle* handle_;
    std::string name_;
};

}  // namespace

LibusbBus::LibusbBus() = default;

LibusbBus::~LibusbBus() = default;

std::vector<std::unique_ptr<ExtensionUnit>> LibusbBus::openUnits(uint16_t vendorId,
                                                                 uint16_t productId) {
    return searchUnits(vendorId, productId, {}).units;
}

std::vector<std::unique_ptr<ExtensionUnit>> LibusbBus::openUnits(
    uint16_t vendorId, uint16_t productId, const std::set<std::pair<int, int>>& skipped) {
    return searchUnits(vendorId, productId, skipped).units;
}

UnitSearch LibusbBus::searchUnits(uint16_t vendorId, uint16_t productId) {
    return searchUnits(vendorId, productId, {});
}

UnitSearch LibusbBus::searchUnits(uint16_t vendorId, uint16_t productId,
                                  const std::set<std::pair<int, int>>& skipped) {
    UnitSearch search;
    std::shared_ptr<Context> context;
    {
        // libusb starts its own event thread; only programs that look for a box pay for it.
        std::lock_guard lock(mutex_);
        if (!context_) {
            context_ = std::make_shared<Context>();
            if (int result = libusb_init(&context_->context); result != 0) {
                logFailure("libusb", "libusb_init", result);
                context_->context = nullptr;
            }
        }
        context = context_;
    }
    if (context->context == nullptr) {
        search.busOpened = false;
        return search;
    }
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context->context, &list);
    if (count < 0) {
        logFailure("libusb", "libusb_get_device_list", static_cast<int>(count));
        search.busOpened = false;
        return search;
    }
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        libusb_device_descriptor descriptor{};
        if (int result = libusb_get_device_descriptor(device, &descriptor); result != 0) {
            logFailure(deviceName(device), "libusb_get_device_descriptor", result);
            continue;
        }
        if (descriptor.idVendor != vendorId || descriptor.idProduct != productId) continue;
        if (skipped.count({libusb_get_bus_number(device), libusb_get_device_address(device)}))
            continue;
        libusb_device_handle* handle = nullptr;
        if (int result = libusb_open(device, &handle); result != 0) {
            logFailure(deviceName(device), "libusb_open", result);
            ++search.notClaimed;
            continue;
        }
        search.units.push_back(std::make_unique<LibusbUnit>(context, handle, deviceName(device)));
    }
    libusb_free_device_list(list, 1);
    return search;
}

}  // namespace tovrel::platform
