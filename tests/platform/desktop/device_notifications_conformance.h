#pragma once

// What every device notifications backend must do for the main window, run against each: the
// udev monitor over umockdev's emulated sysfs, and the simulated box's plug and unplug. A backend
// that cannot run here gives its reason and skips.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/desktop/device_notifications.h"

namespace tovrel::platform::testing {

// One backend under test and a capture box to plug into it.
class DeviceBackend {
  public:
    virtual ~DeviceBackend() = default;
    virtual DeviceNotifications& notifications() = 0;
    // The box comes with its capture interfaces (each with every node it has); the names they
    // are announced under.
    virtual std::vector<std::string> plug() = 0;
    // The box goes, all of its nodes.
    virtual void unplug() = 0;
    // Returns once whatever the box did so far has reached the event loop and been handled
    // (delivered or dropped).
    virtual void settle() = 0;
};

struct DeviceCase {
    std::string name;
    // Null with `skipReason` set when the backend cannot run here.
    std::function<std::unique_ptr<DeviceBackend>(std::string& skipReason)> make;
};

class DeviceNotificationsConformance : public ::testing::TestWithParam<DeviceCase> {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<DeviceBackend> backend;
};

// Named in gtest's messages rather than dumped as bytes.
inline void PrintTo(const DeviceCase& param, std::ostream* out) { *out << param.name; }

inline std::string deviceCaseName(const ::testing::TestParamInfo<DeviceCase>& info) {
    return info.param.name;
}

}  // namespace tovrel::platform::testing
