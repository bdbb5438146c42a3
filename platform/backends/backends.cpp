#include "platform/backends/backends.h"

#include "platform/audio/alsa_audio_endpoint_enumerator.h"
#include "platform/audio/audio_capture_enumerator.h"
#include "platform/audio/pulse_capture_endpoints.h"
#include "platform/audio/pulse_loopback_endpoints.h"
#include "platform/desktop/logind_power_notifications.h"
#include "platform/desktop/udev_device_notifications.h"
#include "platform/ffmpeg/ffmpeg_sink_writer_factory.h"
#include "platform/imaging/library_image_encoders.h"
#include "platform/screen/x11_desktop.h"
#include "platform/system/ini_file_store.h"
#include "platform/usb/linux_extension_unit_bus.h"
#include "platform/v4l2/v4l2_device_enumerator.h"

namespace tovrel::platform {

std::unique_ptr<Backends> makeLinuxBackends(const std::string& programName) {
    auto backends = std::make_unique<Backends>();
    fillLinuxBackends(*backends, programName);
    return backends;
}

void fillLinuxBackends(Backends& into, const std::string& programName) {
    Backends* backends = &into;
    backends->name = "linux";
    backends->profiles = std::make_unique<IniFileStore>();
    backends->messageBoxes = std::make_unique<QtMessageBoxes>();
    backends->executionState = makeLogindExecutionState(programName.c_str());
    backends->windowClassMarker = makeLocalSocketMarker();
    backends->mediaDevices = std::make_unique<DeviceListEnumerator>();
    backends->mediaDevices->addEnumerator(std::make_unique<AudioCaptureEnumerator>());
    backends->mediaDevices->addEnumerator(std::make_unique<V4l2DeviceEnumerator>());
    backends->extensionUnits = makeLinuxExtensionUnitBus();
    backends->audioEndpoints = std::make_unique<AlsaAudioEndpointEnumerator>();
    backends->captureEndpoints = std::make_unique<PulseCaptureEndpoints>();
    backends->sinkWriters = std::make_unique<FfmpegSinkWriterFactory>();
    backends->imageEncoders = std::make_unique<LibraryImageEncoders>();
    backends->deviceNotifications = makeUdevDeviceNotifications();
    backends->powerNotifications = makeLogindPowerNotifications(programName.c_str());
    backends->desktop = X11Desktop::open();
    backends->loopback = std::make_unique<PulseLoopbackEndpoints>();
}

}  // namespace tovrel::platform
