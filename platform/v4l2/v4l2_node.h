#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/v4l2/v4l2_system_calls.h"

namespace tovrel::platform {

// One open video4linux node: the one place the backend opens a node, retries a call the kernel
// interrupted (EINTR), and logs a failing call with the node, the call and errno's text through
// the debug output. The enumeration and the media source both go through it.
// Threads: whoever owns it, one call at a time (the media source serialises them by its lock).
class V4l2Node {
  public:
    // Opens `path` non-blocking and asks for its capabilities. Null when it cannot be opened or
    // does not answer VIDIOC_QUERYCAP; *error then holds the errno.
    static std::unique_ptr<V4l2Node> open(V4l2SystemCalls& calls, const std::string& path,
                                          int* error);
    ~V4l2Node();
    V4l2Node(const V4l2Node&) = delete;
    V4l2Node& operator=(const V4l2Node&) = delete;

    // Video capture with streaming I/O, as this node reports it (a node of a multi-node device
    // answers for itself in device_caps).
    bool canCapture() const;
    // The driver's card name.
    std::string cardName() const;

    // 0 or the errno of the failed call. `name` names the request in the log; a failure with
    // errno `expected` is an answer rather than a fault (EINVAL past the end of an enumeration,
    // EAGAIN from VIDIOC_DQBUF with nothing filled) and is not logged.
    int ioctl(unsigned long request, void* argument, const char* name, int expected = 0);
    // The driver's buffer at `offset`, mapped shared for reading and writing; null on failure,
    // with *error set.
    void* mmap(size_t length, off_t offset, int* error);
    void munmap(void* address, size_t length);
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
    V4l2SystemCalls& calls() const { return calls_; }

  private:
    V4l2Node(V4l2SystemCalls& calls, std::string path, int fd);

    V4l2SystemCalls& calls_;
    const std::string path_;
    const int fd_;
    v4l2_capability capability_{};
};

}  // namespace tovrel::platform
