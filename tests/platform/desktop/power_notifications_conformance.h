#pragma once

// What every power notifications backend must do for the main window, run against each: logind
// over the test components' mock, and the simulated box's scripted sleep and wake. A backend that
// cannot run here gives its reason and skips.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "platform/desktop/power_notifications.h"

namespace tovrel::platform::testing {

// One backend under test and the means to make its machine sleep and wake.
class PowerBackend {
  public:
    virtual ~PowerBackend() = default;
    virtual PowerNotifications& power() = 0;
    // The machine announces its sleep (true) or its wake (false), as the platform does.
    virtual void announce(bool suspend) = 0;
    // Returns once whatever was announced so far has reached the event loop and been handled
    // (delivered or dropped).
    virtual void settle() = 0;
};

struct PowerCase {
    std::string name;
    // Null with `skipReason` set when the backend cannot run here.
    std::function<std::unique_ptr<PowerBackend>(std::string& skipReason)> make;
};

class PowerNotificationsConformance : public ::testing::TestWithParam<PowerCase> {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<PowerBackend> backend;
};

// Named in gtest's messages rather than dumped as bytes.
inline void PrintTo(const PowerCase& param, std::ostream* out) { *out << param.name; }

inline std::string powerCaseName(const ::testing::TestParamInfo<PowerCase>& info) {
    return info.param.name;
}

}  // namespace tovrel::platform::testing
