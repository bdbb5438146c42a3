#pragma once

#include <string>
#include <vector>

#include "platform/media/media_device_enumerator.h"

namespace tovrel::platform {

// The video capture devices of the system: the video4linux nodes udev knows (in node order)
// that can capture video and stream, with the driver's card name as the friendly name and the
// node path as the symbolic link. Answers no audio devices. GUI thread.
class V4l2DeviceEnumerator final : public MediaDeviceEnumerator {
  public:
    struct Node {
        std::string path;
        std::string cardName;
    };

    HRESULT EnumDeviceSources(const Attributes& attributes,
                              std::vector<std::unique_ptr<Activate>>* devices) override;

    // The capture nodes, as the enumeration lists them.
    static std::vector<Node> captureNodes();
};

}  // namespace tovrel::platform
