#pragma once

#include "platform/v4l2/v4l2_system_calls.h"

namespace tovrel::platform {

// The kernel's own calls. Any thread; one instance serves the process.
class LinuxV4l2SystemCalls final : public V4l2SystemCalls {
  public:
    int open(const char* path, int flags) override;
    int ioctl(int fd, unsigned long request, void* argument) override;
    void* mmap(size_t length, int protection, int flags, int fd, off_t offset) override;
    int munmap(void* address, size_t length) override;
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override;
    int close(int fd) override;

    static LinuxV4l2SystemCalls& instance();
};

}  // namespace tovrel::platform
