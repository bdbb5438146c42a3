#include "sim/backends/simulated_backends.h"

#include <algorithm>

#include "platform/audio/memory_capture_endpoints.h"
#include "sim/audio/simulated_audio_source.h"
#include "sim/box/box_model.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "sim/screen/synthetic_desktop.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::sim {

std::unique_ptr<SimulatedBackends> makeSimulatedBackends(const std::string& programName) {
    auto backends = std::make_unique<SimulatedBackends>();
    platform::fillLinuxBackends(*backends, programName);
    backends->name = "simulated";
    backends->simulated = true;
    // Only the simulated box's two devices: no real node or microphone is picked by mistake. A
    // real box's udev events would restart capture on the simulated one: only the simulated
    // box's plug and unplug are announced.
    backends->mediaDevices = std::make_unique<platform::DeviceListEnumerator>();
    auto notifications = std::make_unique<ScriptedDeviceNotifications>();
    auto power =
        std::make_unique<ScriptedPowerNotifications>(std::move(backends->powerNotifications));
    backends->box =
        std::make_unique<SimulatedBox>(kDefaultBoxModel, SimulatedStream::Pacing::RealTime,
                                       *backends->mediaDevices, *notifications, *power);
    backends->box->attach();
    backends->deviceNotifications = std::move(notifications);
    backends->powerNotifications = std::move(power);
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
    auto bridge = std::make_shared<SimulatedBridge>(*backends->clock, bridgeConfig);
    backends->box->attachBridge(bridge);
    backends->extensionUnits = std::make_unique<SimulatedExtensionUnitBus>(std::move(bridge));
    // The desktop stays real where there is one; a machine without a display records a desktop
    // of its own, so that the screen commands can still be tried.
    if (!backends->desktop) backends->desktop = std::make_unique<SyntheticDesktop>();
    return backends;
}

bool BackendChoice::wantsSimulation(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "--simulate") != arguments.end();
}

std::unique_ptr<platform::Backends> BackendChoice::fromArguments(
    const std::vector<std::string>& arguments, const std::string& programName) {
    if (wantsSimulation(arguments)) return makeSimulatedBackends(programName);
    return platform::makeLinuxBackends(programName);
}

}  // namespace tovrel::sim
