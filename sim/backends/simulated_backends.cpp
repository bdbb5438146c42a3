#include "sim/backends/simulated_backends.h"

#include <algorithm>

#include "platform/audio/memory_capture_endpoints.h"
#include "sim/audio/simulated_audio_source.h"
#include "sim/box/box_model.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
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
    // The box's capture endpoint lives with it; the real sources are not touched.
    auto endpoints = std::make_unique<platform::MemoryCaptureEndpoints>();
    endpoints->add(std::string(kDefaultBoxModel.audioFriendlyName));
    backends->captureEndpoints = std::move(endpoints);
    // The bridge answers under the box's ids; a model without a microcontroller lends the ids
    // of the first one that has one, so the register tools always find the simulated box.
    const BoxModel* registerModel = &kDefaultBoxModel;
    for (const BoxModel& model : kBoxModels) {
        if (registerModel->registerCapable) break;
        if (model.registerCapable) registerModel = &model;
    }
    SimulatedBridge::Config bridgeConfig;
    bridgeConfig.vendorId = registerModel->vendorId;
    bridgeConfig.productId = registerModel->productId;
    backends->extensionUnits = std::make_unique<SimulatedExtensionUnitBus>(
        std::make_shared<SimulatedBridge>(*backends->clock, bridgeConfig));
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
