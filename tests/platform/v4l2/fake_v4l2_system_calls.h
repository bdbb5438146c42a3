#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/v4l2/v4l2_system_calls.h"

namespace tovrel::test {

// A kernel with one video capture node, driven by a test: it answers the V4L2 ioctls from its
// mode list, maps its own buffers, and fills a queued buffer when the test delivers a frame.
// Each open descriptor is a real eventfd whose count is the number of filled buffers, so poll
// waits in the kernel beside the source's wake pipe. Faults on demand: fewer buffers granted,
// a failing requeue, EINTR on any call, and the node vanishing; and a hostile node: capabilities
// of another kind of device, dequeue answers the test rewrites (a bytesused beyond the buffer, an
// index that is no buffer), a format that changes under a running stream. It also keeps integer
// controls
// (VIDIOC_QUERYCTRL, VIDIOC_G_CTRL, VIDIOC_S_CTRL) as a UVC driver does: an unknown id is EINVAL,
// a value outside the range ERANGE, a value between steps is rounded to the nearest step.
// Threads: any; one lock guards the state.
class FakeV4l2SystemCalls final : public platform::V4l2SystemCalls {
  public:
    struct Mode {
        uint32_t pixelFormat;
        uint32_t width, height;
        uint32_t intervalNumerator, intervalDenominator;  // seconds per frame
    };

    struct Control {
        uint32_t id;
        int32_t minimum, maximum, step, defaultValue;
        int32_t value;
        uint32_t flags = 0;  // V4L2_CTRL_FLAG_DISABLED ...
    };

    FakeV4l2SystemCalls(std::string path, std::vector<Mode> modes);
    ~FakeV4l2SystemCalls() override;

    int open(const char* path, int flags) override;
    int ioctl(int fd, unsigned long request, void* argument) override;
    void* mmap(size_t length, int protection, int flags, int fd, off_t offset) override;
    int munmap(void* address, size_t length) override;
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override;
    int close(int fd) override;

    // --- the test's side ---
    // Fills the oldest queued buffer with `bytes` (cut to its length) and marks it done; false
    // when the driver holds no queued buffer (the frame is dropped, as a driver drops it).
    bool deliver(const std::vector<uint8_t>& bytes, int64_t timestampUs, uint32_t flags = 0);
    // The driver grants at most this many buffers.
    void grantAtMost(uint32_t buffers);
    // The next `times` calls of `request` fail with `error` (EINTR is retried by the caller).
    void failIoctl(unsigned long request, int error, uint32_t times = 1);
    // The next poll fails with EINTR.
    void interruptNextPoll();
    // The node's controls (none at first).
    void setControls(std::vector<Control> controls);
    // A control's current value; 0 for one the node does not have.
    int32_t controlValue(uint32_t id) const;
    // Unplugged: every later call on the node fails with ENODEV, poll answers POLLERR.
    void vanish();
    // What VIDIOC_QUERYCAP answers in device_caps (capture with streaming at first).
    void setDeviceCaps(uint32_t deviceCaps);
    // Rewrites the answer of every later successful VIDIOC_DQBUF; an empty function stops it.
    void tamperWithDequeues(std::function<void(v4l2_buffer&)> tamper);
    // The driver switches to `mode` under the running stream: VIDIOC_G_FMT answers it, frames
    // delivered later are of its size (cut to the buffers, which keep theirs).
    void changeFormat(const Mode& mode);
    // VIDIOC_S_FMT answers with the format the driver has, whatever was asked.
    void keepFormat(bool keep);

    // What the backend did.
    uint32_t opens() const;
    uint32_t openDescriptors() const;
    uint32_t ioctlCalls(unsigned long request) const;
    uint32_t mappedBuffers() const;
    uint32_t queuedBuffers() const;
    uint32_t grantedBuffers() const;
    bool streaming() const;
    v4l2_format format() const;

  private:
    struct Buffer {
        std::vector<uint8_t> memory;
        bool mapped = false;
        bool queued = false;
        bool done = false;
        uint32_t bytesUsed = 0;
        uint32_t flags = 0;
        timeval timestamp{};
    };
    bool isNode(int fd) const;
    int fail(int error) const;
    int handle(unsigned long request, void* argument);
    uint32_t frameBytes() const;
    Control* findControl(uint32_t id);

    const std::string path_;
    const std::vector<Mode> modes_;
    mutable std::mutex mutex_;
    std::vector<int> descriptors_;
    uint32_t opens_ = 0;
    std::map<unsigned long, uint32_t> calls_;
    std::map<unsigned long, std::deque<int>> failures_;
    bool interruptPoll_ = false;
    bool vanished_ = false;
    uint32_t deviceCaps_ = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::function<void(v4l2_buffer&)> tamper_;
    bool keepFormat_ = false;
    bool streaming_ = false;
    uint32_t grantLimit_ = 32;
    v4l2_format format_{};
    std::vector<Buffer> buffers_;
    std::deque<uint32_t> queue_;  // queued, in order
    std::deque<uint32_t> done_;   // filled, in order
    std::vector<Control> controls_;
};

}  // namespace tovrel::test
