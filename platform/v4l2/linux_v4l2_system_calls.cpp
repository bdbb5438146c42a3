#include "platform/v4l2/linux_v4l2_system_calls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace tovrel::platform {

int LinuxV4l2SystemCalls::open(const char* path, int flags) { return ::open(path, flags); }

int LinuxV4l2SystemCalls::ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

void* LinuxV4l2SystemCalls::mmap(size_t length, int protection, int flags, int fd, off_t offset) {
    return ::mmap(nullptr, length, protection, flags, fd, offset);
}

int LinuxV4l2SystemCalls::munmap(void* address, size_t length) { return ::munmap(address, length); }

int LinuxV4l2SystemCalls::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

int LinuxV4l2SystemCalls::close(int fd) { return ::close(fd); }

LinuxV4l2SystemCalls& LinuxV4l2SystemCalls::instance() {
    static LinuxV4l2SystemCalls calls;
    return calls;
}

}  // namespace tovrel::platform
