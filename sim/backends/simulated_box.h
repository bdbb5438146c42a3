#pragma once

#include <memory>
#include <string>

#include "platform/media/device_list_enumerator.h"
#include "sim/audio/simulated_audio_source.h"
#include "sim/backends/scripted_device_notifications.h"
#include "sim/backends/scripted_power_notifications.h"
#include "sim/box/box_model.h"
#include "sim/bridge/simulated_bridge.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::sim {

// The simulated box as something a user can unplug and plug in again while a program runs,
// with the computer's sleep and wake and the box's faults on demand. Unplugging does what the
// hardware does: the running sources fail every read, the two capture devices leave the device
// list, the USB bridge (when one is attached) stops answering, and the video interface's removal
// is announced, then the audio interface's; plugging in puts the devices and the bridge back and
// announces the video interface, then the audio interface.
//
// command() takes the lines of `tovrelctl --simulate`: "plug", "unplug", "sleep", "wake",
// "fault NAME [COUNT]" (NAME a video fault, "audio-" and an audio fault, or "clear"),
// "pattern sync|test" (the sync pattern on both devices, or the test picture and tones) and answers
// "ok: ...", "error: ..." (the box's state did not allow it) or "usage: ..." (a malformed line).
// GUI thread only (the device list's activations, which record the sources, run there too).
class SimulatedBox {
  public:
    SimulatedBox(const BoxModel& model, SimulatedStream::Pacing pacing,
                 platform::DeviceListEnumerator& devices,
                 ScriptedDeviceNotifications& notifications, ScriptedPowerNotifications& power);

    // Adds the box's two devices to the device list, without announcing them (the box is
    // plugged in when the program starts).
    void attach();
    // The box's USB bridge, which answers register requests only while the box is plugged in.
    void attachBridge(std::shared_ptr<SimulatedBridge> bridge);

    std::string command(const std::string& line);
    bool plug(std::string* message);
    bool unplug(std::string* message);
    bool fault(const std::string& name, uint32_t count, std::string* message);
    // The pattern both devices show and play, running captures included.
    SyncPattern& syncPattern() const { return *pattern_; }

    bool plugged() const { return plugged_; }
    const BoxModel& model() const { return model_; }
    std::string videoInterfaceName() const;
    std::string audioInterfaceName() const;
    // The sources the running capture reads, null when none is open.
    std::shared_ptr<SimulatedVideoSource> videoSource() const { return sources_->video.lock(); }
    std::shared_ptr<SimulatedAudioSource> audioSource() const { return sources_->audio.lock(); }

  private:
    struct Sources {
        std::weak_ptr<SimulatedVideoSource> video;
        std::weak_ptr<SimulatedAudioSource> audio;
    };
    void addDevices();

    const BoxModel& model_;
    const SimulatedStream::Pacing pacing_;
    platform::DeviceListEnumerator& devices_;
    ScriptedDeviceNotifications& notifications_;
    ScriptedPowerNotifications& power_;
    std::shared_ptr<Sources> sources_ = std::make_shared<Sources>();
    std::shared_ptr<SimulatedBridge> bridge_;
    const std::shared_ptr<SyncPattern> pattern_ = std::make_shared<SyncPattern>();
    bool plugged_ = false;
};

}  // namespace tovrel::sim
