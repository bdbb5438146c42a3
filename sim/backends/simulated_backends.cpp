#include "sim/backends/simulated_backends.h"

#include <algorithm>

#include "sim/audio/simulated_audio_source.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::sim {

std::unique_ptr<platform::Backends> makeSimulatedBackends() {
    auto backends = platform::makeLinuxBackends();
    backends->name = "simulated";
    backends->simulated = true;
    // Only the simulated box's two devices: no real node or microphone is picked by mistake.
    backends->mediaDevices = std::make_unique<platform::DeviceListEnumerator>();
    backends->mediaDevices->addDevice(
        simulatedAudioEntry(kDefaultBoxModel, SimulatedAudioSource::Pacing::RealTime));
    backends->mediaDevices->addDevice(
        simulatedVideoEntry(kDefaultBoxModel, SimulatedVideoSource::Pacing::RealTime));
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
