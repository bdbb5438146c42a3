#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tovrel::platform {

constexpr uint32_t DBT_DEVICEARRIVAL = 0x8000;
constexpr uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;

// One device-interface notification's data: the interface name is built as
// "USB#VID_xxxx&PID_xxxx&MI_xx#instance" (upper-case hex, from the USB interface the capture
// node belongs to), so that substring rules written against such names apply unchanged.
struct DeviceBroadcastInterface {
    uint32_t dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::string dbcc_name;
};

// RegisterDeviceNotification's place for the capture devices (video and sound capture
// interfaces): the handler is told each interface's arrival and its complete removal, once per
// interface however many device nodes it has. Interfaces present at registration are not
// announced.
// GUI thread only; the handler runs on the GUI thread, from the event loop.
class DeviceNotifications {
  public:
    // (event, data) as WM_DEVICECHANGE gets them; the answer is the handler's TRUE/FALSE.
    using Handler = std::function<bool(uint32_t event, const DeviceBroadcastInterface* data)>;

    virtual ~DeviceNotifications() = default;
    // False when the platform gives no notifications (the program carries on without them).
    virtual bool registerDeviceNotification(Handler handler) = 0;
    // After it returns the handler is not called again. Safe when not registered.
    virtual void unregisterDeviceNotification() = 0;
};

}  // namespace tovrel::platform
