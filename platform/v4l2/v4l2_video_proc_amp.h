#pragma once

#include <memory>
#include <mutex>

#include "platform/media/video_proc_amp.h"
#include "platform/v4l2/v4l2_node.h"

namespace tovrel::platform {

// The picture controls of a V4L2 capture node: each property is the node's standard control of
// the same name (V4L2_CID_BRIGHTNESS, _CONTRAST, _HUE, _SATURATION, _SHARPNESS), read with
// VIDIOC_QUERYCTRL and VIDIOC_G_CTRL and written with VIDIOC_S_CTRL. A control the driver does
// not know (EINVAL), reports disabled, or that is not a plain integer is E_PROP_ID_UNSUPPORTED.
// Only manual values: V4L2 keeps "automatic" as separate controls, which are not offered here.
//
// Answers as VideoProcAmp lists them; a value outside the control's range is refused before the
// driver sees it. A failing ioctl is logged by the node (device, call, errno text); one the
// device cannot answer (unplugged, busy, refused) is E_FAIL.
// Threads: GUI thread. It shares the media source's lock and node, so a call never races the
// reader's worker; once the source is shut down (the node gone) every call is MF_E_SHUTDOWN.
class V4l2VideoProcAmp final : public VideoProcAmp {
  public:
    V4l2VideoProcAmp(std::mutex& sourceMutex, const std::unique_ptr<V4l2Node>& node)
        : mutex_(sourceMutex), node_(node) {}

    HRESULT GetRange(int32_t property, int32_t* minimum, int32_t* maximum, int32_t* step,
                     int32_t* defaultValue, int32_t* capsFlags) override;
    HRESULT Get(int32_t property, int32_t* value, int32_t* flags) override;
    HRESULT Set(int32_t property, int32_t value, int32_t flags) override;

  private:
    // The control's description, with the node's lock held.
    HRESULT queryLocked(uint32_t controlId, v4l2_queryctrl* query);

    std::mutex& mutex_;
    const std::unique_ptr<V4l2Node>& node_;
};

}  // namespace tovrel::platform
