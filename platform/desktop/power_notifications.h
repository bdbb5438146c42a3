#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace tovrel::platform {

constexpr uint32_t PBT_APMSUSPEND = 4;
constexpr uint32_t PBT_APMRESUMEAUTOMATIC = 18;
constexpr uint32_t PBT_POWERSETTINGCHANGE = 0x8013;

struct PowerSettingGuid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};
    friend constexpr bool operator==(const PowerSettingGuid&, const PowerSettingGuid&) = default;
};

// {02731015-4510-4526-99E6-E5A17EBD1AEA}
inline constexpr PowerSettingGuid GUID_MONITOR_POWER_ON{
    0x02731015, 0x4510, 0x4526, {0x99, 0xE6, 0xE5, 0xA1, 0x7E, 0xBD, 0x1A, 0xEA}};

// A power-setting change's data: the setting, the length of its data and its first data word.
struct PowerBroadcastSetting {
    PowerSettingGuid PowerSetting;
    uint32_t DataLength = sizeof(uint32_t);
    uint32_t Data = 0;
};

// The one member of the system's power capabilities that is read: whether the machine uses
// modern standby, where switching the display off stands for sleep.
struct PowerCapabilities {
    bool AoAc = false;
};

// The power notifications of the main window: sleep, wake and (on machines with modern standby)
// the display's power. A backend that can hold the machine's sleep back does so while it is
// registered, and lets the machine sleep only once the handler has returned from the suspend
// event, so that whatever the handler finishes (a recording) is complete before the sleep.
// GUI thread only; the handler runs on the GUI thread, from the event loop.
class PowerNotifications {
  public:
    // (event, data) as WM_POWERBROADCAST gets them; data is null except for a setting change.
    using Handler = std::function<void(uint32_t event, const PowerBroadcastSetting* data)>;

    virtual ~PowerNotifications() = default;
    // False when the platform gives no power notifications.
    virtual bool registerPowerNotification(Handler handler) = 0;
    // After it returns the handler is not called again and sleep is no longer held back.
    virtual void unregisterPowerNotification() = 0;
    virtual PowerCapabilities getPwrCapabilities() const = 0;
};

}  // namespace tovrel::platform
