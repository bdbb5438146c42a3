#pragma once

// A umockdev test bed holding one emulated capture box: its USB device (for libusb), and
// optionally its video node (for uvcvideo's control query). Both answer the extension-unit
// requests through a simulated bridge, so the real backends can be driven end to end.
// The handlers run on umockdev's own thread; the bridge is thread-safe and the request log is
// locked.

#include <umockdev.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/bridge/simulated_bridge.h"

namespace tovrel::platform::testing {

struct WireRecord {
    uint8_t bmRequestType;
    uint8_t bRequest;
    uint16_t wValue;
    uint16_t wIndex;
    uint16_t wLength;
};

class UmockdevBed {
  public:
    struct Options {
        uint16_t vendorId = 0x7B30;
        uint16_t productId = 0x4E11;
        bool videoNode = false;
        // The node answers only queries of the control's whole length (as uvcvideo checks), and
        // GET_LEN: 30 for control 1, 256 for control 2.
        bool strictLengths = false;
    };

    UmockdevBed(std::shared_ptr<sim::SimulatedBridge> bridge, Options options);
    ~UmockdevBed();

    // umockdev_in_mock_environment() misses the wrapper's bare library name, so look ourselves.
    static bool available() {
        const char* preload = std::getenv("LD_PRELOAD");
        return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
    }

    std::vector<WireRecord> usbRequests() const;
    std::vector<WireRecord> nodeQueries() const;  // as the equivalent device request
    int unhandledIoctls() const;

  private:
    static gboolean onUsbIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    static gboolean onNodeIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);

    std::shared_ptr<sim::SimulatedBridge> bridge_;
    Options options_;
    UMockdevTestbed* bed_ = nullptr;
    UMockdevIoctlBase* usbHandler_ = nullptr;
    UMockdevIoctlBase* nodeHandler_ = nullptr;

    mutable std::mutex mutex_;
    std::vector<UMockdevIoctlData*> pendingUrbs_;
    std::vector<WireRecord> usbRequests_;
    std::vector<WireRecord> nodeQueries_;
    int unhandled_ = 0;
};

}  // namespace tovrel::platform::testing
