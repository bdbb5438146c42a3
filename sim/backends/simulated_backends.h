#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/backends/backends.h"
#include "sim/backends/simulated_box.h"

namespace tovrel::sim {

// The backends with the simulated box plugged in: its video, its audio and its USB bridge in
// place of the hardware, its plug and unplug as the device notifications, and sleep and wake
// that a script can send besides the machine's own; the desktop facilities stay real. The box
// refers to the device list and the notifications of this record: it lives as long as they do.
// GUI thread.
struct SimulatedBackends final : platform::Backends {
    std::unique_ptr<SimulatedBox> box;
};

std::unique_ptr<SimulatedBackends> makeSimulatedBackends(
    const std::string& programName = platform::kDefaultProgramName);

// The programs' one option: "--simulate" selects the simulated box, otherwise the Linux backends.
// Unknown arguments are left to the caller (Qt's own options pass through).
class BackendChoice {
  public:
    static bool wantsSimulation(const std::vector<std::string>& arguments);
    static std::unique_ptr<platform::Backends> fromArguments(
        const std::vector<std::string>& arguments,
        const std::string& programName = platform::kDefaultProgramName);
};

}  // namespace tovrel::sim
