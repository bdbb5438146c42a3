#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/backends/backends.h"

namespace tovrel::sim {

// The backends with the simulated box plugged in: its video, its audio and its USB bridge in
// place of the hardware; the desktop facilities stay real. GUI thread.
std::unique_ptr<platform::Backends> makeSimulatedBackends();

// The programs' one option: "--simulate" selects the simulated box, otherwise the Linux backends.
// Unknown arguments are left to the caller (Qt's own options pass through).
class BackendChoice {
  public:
    static bool wantsSimulation(const std::vector<std::string>& arguments);
    static std::unique_ptr<platform::Backends> fromArguments(
        const std::vector<std::string>& arguments);
};

}  // namespace tovrel::sim
