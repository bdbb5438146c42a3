#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>

namespace tovrel::platform {

// The system calls the V4L2 backend makes, and nothing else, so that a test can stand in for
// the kernel: the Linux one forwards to the calls of the same name; a test's fake answers them
// itself. Each returns as the system call does (-1, or MAP_FAILED for mmap, with errno set) and
// none retries on EINTR: V4l2Node does that, in one place. The codes the backend meets:
//   open    ENOENT, EACCES, EBUSY (another program streams), ENODEV/ENXIO (unplugged)
//   ioctl   EINVAL (unknown request, or past the end of an enumeration), EAGAIN (VIDIOC_DQBUF
//           with nothing filled on a non-blocking node), EBUSY (VIDIOC_S_FMT or VIDIOC_REQBUFS
//           while buffers are mapped), ENOMEM, EIO, ENODEV (unplugged), EINTR
//   mmap    EINVAL, ENOMEM, ENODEV
//   munmap  EINVAL
//   poll    EINTR, ENOMEM; an unplugged node answers POLLERR or POLLHUP rather than failing
//   close   EINTR, EIO (the descriptor is released all the same)
// Threads: the Linux calls are safe from any thread; a fake says what it allows.
class V4l2SystemCalls {
  public:
    virtual ~V4l2SystemCalls() = default;

    virtual int open(const char* path, int flags) = 0;
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual void* mmap(size_t length, int protection, int flags, int fd, off_t offset) = 0;
    virtual int munmap(void* address, size_t length) = 0;
    virtual int poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
    virtual int close(int fd) = 0;
};

}  // namespace tovrel::platform
