#include "sim/backends/simulated_box.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/desktop/udev_device_notifications.h"

namespace tovrel::sim {
namespace {

// The simulated box hangs at the first port of the first bus, as a kernel would name it.
constexpr char kVideoInstance[] = "1-1:1.0";
constexpr char kAudioInstance[] = "1-1:1.2";
constexpr uint8_t kVideoInterface = 0;
constexpr uint8_t kAudioInterface = 2;
constexpr char kAudioFaultPrefix[] = "audio-";
constexpr uint32_t kMaxFaultCount = 100000;
constexpr char kAudioDrift[] = "audio-drift";
constexpr long kMaxDriftPpm = 10000;

std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string faultNames() {
    std::string names;
    for (const VideoFaultName& f : kVideoFaultNames) names += std::string(f.name) + " ";
    for (const AudioFaultName& f : kAudioFaultNames)
        names += kAudioFaultPrefix + std::string(f.name) + " ";
    return names + "clear";
}

bool knownFault(const std::string& name) {
    if (name == "clear") return true;
    for (const VideoFaultName& f : kVideoFaultNames)
        if (f.name == name) return true;
    for (const AudioFaultName& f : kAudioFaultNames)
        if (kAudioFaultPrefix + std::string(f.name) == name) return true;
    return false;
}

}  // namespace

SimulatedBox::SimulatedBox(const BoxModel& model, SimulatedStream::Pacing pacing,
                           platform::DeviceListEnumerator& devices,
                           ScriptedDeviceNotifications& notifications,
                           ScriptedPowerNotifications& power)
    : model_(model),
      pacing_(pacing),
      devices_(devices),
      notifications_(notifications),
      power_(power) {}

std::string SimulatedBox::videoInterfaceName() const {
    return platform::UdevDeviceNotifications::interfaceName(model_.vendorId, model_.productId,
                                                            kVideoInterface, kVideoInstance);
}

std::string SimulatedBox::audioInterfaceName() const {
    return platform::UdevDeviceNotifications::interfaceName(model_.vendorId, model_.productId,
                                                            kAudioInterface, kAudioInstance);
}

void SimulatedBox::addDevices() {
    // Each activation opens a new source; the box remembers the newest to fail it on an unplug
    // and to give it the faults asked for.
    platform::DeviceListEnumerator::Entry audio = simulatedAudioEntry(model_, pacing_, pattern_);
    audio.activation = [inner = audio.activation,
                        sources = sources_](std::shared_ptr<platform::MediaSource>* source) {
        const platform::HRESULT hr = inner(source);
        if (platform::SUCCEEDED(hr))
            sources->audio = std::dynamic_pointer_cast<SimulatedAudioSource>(*source);
        return hr;
    };
    platform::DeviceListEnumerator::Entry video = simulatedVideoEntry(model_, pacing_, pattern_);
    video.activation = [inner = video.activation,
                        sources = sources_](std::shared_ptr<platform::MediaSource>* source) {
        const platform::HRESULT hr = inner(source);
        if (platform::SUCCEEDED(hr))
            sources->video = std::dynamic_pointer_cast<SimulatedVideoSource>(*source);
        return hr;
    };
    devices_.addDevice(std::move(audio));
    devices_.addDevice(std::move(video));
}

void SimulatedBox::attach() {
    if (plugged_) return;
    addDevices();
    plugged_ = true;
    if (bridge_) bridge_->setPlugged(true);
}

void SimulatedBox::attachBridge(std::shared_ptr<SimulatedBridge> bridge) {
    bridge_ = std::move(bridge);
    bridge_->setPlugged(plugged_);
}

bool SimulatedBox::plug(std::string* message) {
    if (plugged_) {
        *message = "the simulated box is plugged in already";
        return false;
    }
    addDevices();
    plugged_ = true;
    if (bridge_) bridge_->setPlugged(true);
    notifications_.announce(platform::DBT_DEVICEARRIVAL, videoInterfaceName());
    notifications_.announce(platform::DBT_DEVICEARRIVAL, audioInterfaceName());
    *message = "plugged in " + std::string(model_.model);
    return true;
}

bool SimulatedBox::unplug(std::string* message) {
    if (!plugged_) {
        *message = "the simulated box is not plugged in";
        return false;
    }
    plugged_ = false;
    if (bridge_) bridge_->setPlugged(false);
    if (auto video = videoSource()) video->injectFault(VideoFault::Unplug);
    if (auto audio = audioSource()) audio->injectFault(AudioFault::Unplug);
    devices_.removeDevice(std::string(model_.videoFriendlyName));
    devices_.removeDevice(std::string(model_.audioFriendlyName));
    notifications_.announce(platform::DBT_DEVICEREMOVECOMPLETE, videoInterfaceName());
    notifications_.announce(platform::DBT_DEVICEREMOVECOMPLETE, audioInterfaceName());
    *message = "unplugged " + std::string(model_.model);
    return true;
}

bool SimulatedBox::fault(const std::string& name, uint32_t count, std::string* message) {
    auto video = videoSource();
    auto audio = audioSource();
    if (name == "clear") {
        if (video) video->clearFaults();
        if (audio) audio->clearFaults();
        *message = "faults cleared";
        return true;
    }
    if (name.starts_with(kAudioFaultPrefix)) {
        const std::string_view audioName =
            std::string_view(name).substr(sizeof kAudioFaultPrefix - 1);
        for (const AudioFaultName& f : kAudioFaultNames) {
            if (f.name != audioName) continue;
            if (!audio) {
                *message = "no capture reads the simulated audio device";
                return false;
            }
            audio->injectFault(f.fault, count);
            *message = "audio fault " + std::string(f.name);
            return true;
        }
    } else {
        for (const VideoFaultName& f : kVideoFaultNames) {
            if (f.name != name) continue;
            if (!video) {
                *message = "no capture reads the simulated video device";
                return false;
            }
            video->injectFault(f.fault, count);
            *message = "video fault " + std::string(f.name);
            return true;
        }
    }
    *message = "unknown fault '" + name + "' (known: " + faultNames() + ")";
    return false;
}

std::string SimulatedBox::command(const std::string& line) {
    const std::vector<std::string> words = wordsOf(line);
    std::string message;
    bool ok = false;
    if (words.size() == 1 && words[0] == "plug") {
        ok = plug(&message);
    } else if (words.size() == 1 && words[0] == "unplug") {
        ok = unplug(&message);
    } else if (words.size() == 1 && words[0] == "sleep") {
        power_.sleep();
        ok = true;
        message = "the computer goes to sleep";
    } else if (words.size() == 1 && words[0] == "wake") {
        power_.wake();
        ok = true;
        message = "the computer wakes up";
    } else if (words.size() >= 2 && words[0] == "fault" && words[1] == kAudioDrift) {
        // The drift is signed and has no default: a clock runs fast or slow by as much as asked.
        char* end = nullptr;
        errno = 0;
        const long ppm = words.size() == 3 ? std::strtol(words[2].c_str(), &end, 10) : 0;
        if (words.size() != 3 || errno != 0 || *end != '\0' || ppm < -kMaxDriftPpm ||
            ppm > kMaxDriftPpm) {
            return "usage: audio-drift takes the ppm, from " + std::to_string(-kMaxDriftPpm) +
                   " to " + std::to_string(kMaxDriftPpm);
        }
        auto audio = audioSource();
        if (!audio) {
            ok = false;
            message = "no capture reads the simulated audio device";
        } else {
            audio->setClockDrift(static_cast<int32_t>(ppm));
            ok = true;
            message = "audio clock " + std::to_string(ppm) + " ppm off";
        }
    } else if ((words.size() == 2 || words.size() == 3) && words[0] == "fault") {
        uint32_t count = 1;
        if (words.size() == 3) {
            char* end = nullptr;
            errno = 0;
            const unsigned long value = std::strtoul(words[2].c_str(), &end, 10);
            if (errno != 0 || *end != '\0' || words[2][0] == '-' || value == 0 ||
                value > kMaxFaultCount) {
                return "usage: the count is a number from 1 to " + std::to_string(kMaxFaultCount);
            }
            count = static_cast<uint32_t>(value);
        }
        if (!knownFault(words[1]))
            return "usage: unknown fault '" + words[1] + "' (known: " + faultNames() + ")";
        ok = fault(words[1], count, &message);
    } else if (words.size() == 2 && words[0] == "pattern" &&
               (words[1] == "sync" || words[1] == "test")) {
        pattern_->setEnabled(words[1] == "sync");
        ok = true;
        message = words[1] == "sync" ? "a white frame and a click once a second"
                                     : "the test picture and tones";
    } else if (!words.empty() && words[0] == "pattern") {
        return "usage: pattern takes sync or test";
    } else {
        return "usage: unknown command '" + line +
               "' (plug, unplug, sleep, wake, fault NAME [COUNT], pattern sync|test)";
    }
    return (ok ? "ok: " : "error: ") + message;
}

}  // namespace tovrel::sim
