#include "platform/v4l2/v4l2_node.h"

#include <fcntl.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>

#include "platform/system/debug_output.h"

namespace tovrel::platform {

std::unique_ptr<V4l2Node> V4l2Node::open(V4l2SystemCalls& calls, const std::string& path,
                                         int* error) {
    int fd;
    do {
        fd = calls.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int openError = errno;
        logErrno(path, "open", openError);
        if (error) *error = openError;
        return nullptr;
    }
    std::unique_ptr<V4l2Node> node(new V4l2Node(calls, path, fd));
    if (const int queryError = node->ioctl(VIDIOC_QUERYCAP, &node->capability_, "VIDIOC_QUERYCAP");
        queryError != 0) {
        if (error) *error = queryError;
        return nullptr;
    }
    if (error) *error = 0;
    return node;
}

V4l2Node::V4l2Node(V4l2SystemCalls& calls, std::string path, int fd)
    : calls_(calls), path_(std::move(path)), fd_(fd) {}

V4l2Node::~V4l2Node() {
    // The descriptor is released even when close reports an error; retrying could close a
    // descriptor another thread has opened since.
    if (calls_.close(fd_) != 0) logErrno(path_, "close", errno);
}

bool V4l2Node::canCapture() const {
    const uint32_t caps = (capability_.capabilities & V4L2_CAP_DEVICE_CAPS)
                              ? capability_.device_caps
                              : capability_.capabilities;
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

std::string V4l2Node::cardName() const {
    const char* text = reinterpret_cast<const char*>(capability_.card);
    return std::string(text, strnlen(text, sizeof capability_.card));
}

int V4l2Node::ioctl(unsigned long request, void* argument, const char* name, int expected) {
    int rc;
    do {
        rc = calls_.ioctl(fd_, request, argument);
    } while (rc < 0 && errno == EINTR);
    if (rc >= 0) return 0;
    const int error = errno;
    if (error != expected) logErrno(path_, name, error);
    return error;
}

void* V4l2Node::mmap(size_t length, off_t offset, int* error) {
    void* address = calls_.mmap(length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, offset);
    if (address != MAP_FAILED) return address;
    *error = errno;
    logErrno(path_, "mmap", *error);
    return nullptr;
}

void V4l2Node::munmap(void* address, size_t length) {
    if (calls_.munmap(address, length) != 0) logErrno(path_, "munmap", errno);
}

}  // namespace tovrel::platform
