#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/media/media_device_enumerator.h"

namespace tovrel::platform {

// An enumerator over a list of fixed device entries followed by the devices of other
// enumerators, in the order they were added. This is how the backends combine the video nodes
// with the audio sources, and how the simulated box and tests plug in their devices.
// Built on the GUI thread; its entries' activation functions run there too.
class DeviceListEnumerator final : public MediaDeviceEnumerator {
  public:
    enum class Kind { Video, Audio };
    struct Entry {
        Kind kind = Kind::Video;
        std::string friendlyName;
        std::string symbolicLink;  // video: the node; audio: the endpoint id
        Activate::Activation activation;
        // When set, the friendly name cannot be read (a device whose properties fail).
        bool nameUnreadable = false;
    };

    void addDevice(Entry entry);
    void addEnumerator(std::unique_ptr<MediaDeviceEnumerator> enumerator);
    // Removes the fixed entries with this friendly name (a simulated unplug).
    void removeDevice(const std::string& friendlyName);

    HRESULT EnumDeviceSources(const Attributes& attributes,
                              std::vector<std::unique_ptr<Activate>>* devices) override;

  private:
    struct Slot {
        std::unique_ptr<Entry> entry;
        std::unique_ptr<MediaDeviceEnumerator> enumerator;
    };
    std::vector<Slot> slots_;
};

}  // namespace tovrel::platform
