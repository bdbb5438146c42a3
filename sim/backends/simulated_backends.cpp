#include "sim/backends/simulated_backends.h"

#include <algorithm>

namespace tovrel::sim {

std::unique_ptr<platform::Backends> makeSimulatedBackends() {
    auto backends = platform::makeLinuxBackends();
    backends->name = "simulated";
    backends->simulated = true;
    return backends;
}

bool BackendChoice::wantsSimulation(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "--simulate") != arguments.end();
}

std::unique_ptr<platform::Backends> BackendChoice::fromArguments(
    const std::vector<std::string>& arguments) {
    return wantsSimulation(arguments) ? makeSimulatedBackends() : platform::makeLinuxBackends();
}

}  // namespace tovrel::sim
