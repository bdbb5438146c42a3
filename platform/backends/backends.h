#pragma once

#include <memory>
#include <string>

#include "platform/audio/audio_endpoint_enumerator.h"
#include "platform/audio/capture_endpoints.h"
#include "platform/audio/loopback_capture.h"
#include "platform/desktop/device_notifications.h"
#include "platform/desktop/execution_state.h"
#include "platform/desktop/message_boxes.h"
#include "platform/desktop/power_notifications.h"
#include "platform/desktop/window_class_marker.h"
#include "platform/imaging/image_encoder_factory.h"
#include "platform/media/device_list_enumerator.h"
#include "platform/media/sink_writer_factory.h"
#include "platform/screen/desktop_duplication.h"
#include "platform/system/clock.h"
#include "platform/system/profile_store.h"
#include "platform/usb/extension_unit_bus.h"

namespace tovrel::platform {

// Everything the programs reach the platform through, chosen once at start-up: the Linux
// backends for real hardware, the simulated box's devices with `--simulate`, or fakes in tests.
// Each facility that joins the platform layer adds its member here; the members are filled by
// makeLinuxBackends() and, for the simulated box, by makeSimulatedBackends() (sim/backends).
// Built and handed over on the GUI thread; each member documents its own threads.
struct Backends {
    virtual ~Backends() = default;

    std::string name;        // "linux", "simulated" or a test's name, for diagnostics
    bool simulated = false;  // the box is the simulated one

    Clock* clock = &SystemClock::instance();
    std::unique_ptr<ProfileStore> profiles;
    std::unique_ptr<MessageBoxes> messageBoxes;
    std::unique_ptr<ExecutionState> executionState;
    std::unique_ptr<WindowClassMarker> windowClassMarker;
    // The capture devices, video and audio (MFEnumDeviceSources goes through it). Each backend
    // adds its devices or its own enumerator; GUI thread.
    std::unique_ptr<DeviceListEnumerator> mediaDevices;
    // The box's extension unit (register access and flash, the vendor library's place): the
    // uvcvideo node or libusb for real boxes, the simulated bridge otherwise. Any thread.
    std::unique_ptr<ExtensionUnitBus> extensionUnits;
    // The default output the audio monitor plays to: ALSA's "default" (the sound server on a
    // desktop) in every choice, the speakers being real; fakes in tests. Monitor thread.
    std::unique_ptr<AudioEndpointEnumerator> audioEndpoints;
    // The capture endpoints whose volume and mute the box controls set: the sound server's
    // sources, the simulated box's own endpoint in memory. Any thread.
    std::unique_ptr<CaptureEndpoints> captureEndpoints;
    // The MP4 writers of the recordings: FFmpeg in every choice (the files are real); the
    // recording double in tests. Any thread.
    std::unique_ptr<SinkWriterFactory> sinkWriters;
    // Arrival and removal of the capture interfaces (udev; the simulated box's plug and unplug),
    // and sleep and wake (logind). Either may be null: the program then runs without them. GUI
    // thread.
    std::unique_ptr<DeviceNotifications> deviceNotifications;
    std::unique_ptr<PowerNotifications> powerNotifications;
    // The still-image encoders of the snapshots: the libraries' in every choice. Any thread.
    std::unique_ptr<ImageEncoderFactory> imageEncoders;
    // The desktop the screen recording and the screen snapshots read: the X server's when a
    // display answers; with `--simulate` and no display, the synthetic desktop; null when there
    // is none. Any thread, one caller at a time per duplication.
    std::unique_ptr<DesktopDuplication> desktop;
    // What the speakers play, for the screen recording's sound: the sound server's default-sink
    // monitor in every choice (the speakers are real). Any thread.
    std::unique_ptr<LoopbackEndpoints> loopback;
};

// The desktop facilities are real in every choice; only the box's devices differ.
// How a program names itself to the session's power manager (its keep-awake and sleep
// inhibitors) unless it says otherwise.
inline constexpr const char* kDefaultProgramName = "Tovrel";

std::unique_ptr<Backends> makeLinuxBackends(const std::string& programName = kDefaultProgramName);
// The same into a given record (a derived one that adds its own members).
void fillLinuxBackends(Backends& into, const std::string& programName = kDefaultProgramName);

}  // namespace tovrel::platform
