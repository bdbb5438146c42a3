#include "tests/platform/v4l2/fake_v4l2_system_calls.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tovrel::test {

namespace {
constexpr int kOffsetShift = 12;  // buffer i is mapped at offset i << 12, as a page per buffer

void drain(int fd) {
    uint64_t count = 0;
    while (::read(fd, &count, sizeof count) > 0) {
    }
}
}  // namespace

FakeV4l2SystemCalls::FakeV4l2SystemCalls(std::string path, std::vector<Mode> modes)
    : path_(std::move(path)), modes_(std::move(modes)) {
    format_.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!modes_.empty()) {
        format_.fmt.pix.pixelformat = modes_[0].pixelFormat;
        format_.fmt.pix.width = modes_[0].width;
        format_.fmt.pix.height = modes_[0].height;
        format_.fmt.pix.sizeimage = frameBytes();
    }
}

FakeV4l2SystemCalls::~FakeV4l2SystemCalls() {
    for (int fd : descriptors_) ::close(fd);
}

uint32_t FakeV4l2SystemCalls::frameBytes() const {
    const v4l2_pix_format& pix = format_.fmt.pix;
    if (pix.pixelformat == V4L2_PIX_FMT_NV12) return pix.width * pix.height * 3 / 2;
    return pix.width * pix.height * 2;
}

bool FakeV4l2SystemCalls::isNode(int fd) const {
    return std::find(descriptors_.begin(), descriptors_.end(), fd) != descriptors_.end();
}

int FakeV4l2SystemCalls::fail(int error) const {
    errno = error;
    return -1;
}

int FakeV4l2SystemCalls::open(const char* path, int) {
    std::lock_guard lock(mutex_);
    ++opens_;
    if (path_ != path) return fail(ENOENT);
    if (vanished_) return fail(ENODEV);
    // Semaphore mode: one read takes one filled buffer's count.
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC | EFD_SEMAPHORE);
    if (fd < 0) return -1;
    descriptors_.push_back(fd);
    return fd;
}

int FakeV4l2SystemCalls::close(int fd) {
    std::lock_guard lock(mutex_);
    auto it = std::find(descriptors_.begin(), descriptors_.end(), fd);
    if (it == descriptors_.end()) return fail(EBADF);
    descriptors_.erase(it);
    ::close(fd);
    return 0;
}

int FakeV4l2SystemCalls::ioctl(int fd, unsigned long request, void* argument) {
    std::lock_guard lock(mutex_);
    if (!isNode(fd)) return fail(EBADF);
    ++calls_[request];
    if (auto it = failures_.find(request); it != failures_.end() && !it->second.empty()) {
        const int error = it->second.front();
        it->second.pop_front();
        return fail(error);
    }
    if (vanished_) return fail(ENODEV);
    const int rc = handle(request, argument);
    if (rc == 0 && request == VIDIOC_DQBUF) {
        uint64_t one = 0;
        (void)!::read(fd, &one, sizeof one);
    }
    return rc;
}

int FakeV4l2SystemCalls::handle(unsigned long request, void* argument) {
    switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* capability = static_cast<v4l2_capability*>(argument);
            *capability = v4l2_capability{};
            std::strncpy(reinterpret_cast<char*>(capability->card), "Fake Capture",
                         sizeof capability->card - 1);
            capability->device_caps = deviceCaps_;
            capability->capabilities = capability->device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            auto* description = static_cast<v4l2_fmtdesc*>(argument);
            std::vector<uint32_t> formats;
            for (const Mode& mode : modes_) {
                if (std::find(formats.begin(), formats.end(), mode.pixelFormat) == formats.end())
                    formats.push_back(mode.pixelFormat);
            }
            if (description->index >= formats.size()) return fail(EINVAL);
            description->pixelformat = formats[description->index];
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* size = static_cast<v4l2_frmsizeenum*>(argument);
            std::vector<std::pair<uint32_t, uint32_t>> sizes;
            for (const Mode& mode : modes_) {
                const std::pair<uint32_t, uint32_t> s{mode.width, mode.height};
                if (mode.pixelFormat == size->pixel_format &&
                    std::find(sizes.begin(), sizes.end(), s) == sizes.end())
                    sizes.push_back(s);
            }
            if (size->index >= sizes.size()) return fail(EINVAL);
            size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            size->discrete.width = sizes[size->index].first;
            size->discrete.height = sizes[size->index].second;
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto* interval = static_cast<v4l2_frmivalenum*>(argument);
            uint32_t index = 0;
            for (const Mode& mode : modes_) {
                if (mode.pixelFormat != interval->pixel_format || mode.width != interval->width ||
                    mode.height != interval->height)
                    continue;
                if (index++ == interval->index) {
                    interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
                    interval->discrete.numerator = mode.intervalNumerator;
                    interval->discrete.denominator = mode.intervalDenominator;
                    return 0;
                }
            }
            return fail(EINVAL);
        }
        case VIDIOC_G_FMT:
            *static_cast<v4l2_format*>(argument) = format_;
            return 0;
        case VIDIOC_S_FMT: {
            if (!buffers_.empty()) return fail(EBUSY);
            auto* wanted = static_cast<v4l2_format*>(argument);
            if (keepFormat_) {
                *wanted = format_;
                return 0;
            }
            const Mode* chosen = modes_.empty() ? nullptr : &modes_[0];
            for (const Mode& mode : modes_) {
                if (mode.pixelFormat == wanted->fmt.pix.pixelformat &&
                    mode.width == wanted->fmt.pix.width && mode.height == wanted->fmt.pix.height) {
                    chosen = &mode;
                    break;
                }
            }
            if (chosen == nullptr) return fail(EINVAL);
            format_.fmt.pix.pixelformat = chosen->pixelFormat;
            format_.fmt.pix.width = chosen->width;
            format_.fmt.pix.height = chosen->height;
            format_.fmt.pix.sizeimage = frameBytes();
            *wanted = format_;
            return 0;
        }
        case VIDIOC_S_PARM:
            return 0;
        case VIDIOC_REQBUFS: {
            auto* request = static_cast<v4l2_requestbuffers*>(argument);
            if (streaming_) return fail(EBUSY);
            for (const Buffer& buffer : buffers_) {
                if (buffer.mapped) return fail(EBUSY);
            }
            buffers_.clear();
            queue_.clear();
            done_.clear();
            request->count = std::min(request->count, grantLimit_);
            buffers_.resize(request->count);
            for (Buffer& buffer : buffers_) buffer.memory.assign(frameBytes(), 0);
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto* buffer = static_cast<v4l2_buffer*>(argument);
            if (buffer->index >= buffers_.size()) return fail(EINVAL);
            buffer->length = static_cast<uint32_t>(buffers_[buffer->index].memory.size());
            buffer->m.offset = buffer->index << kOffsetShift;
            return 0;
        }
        case VIDIOC_QBUF: {
            auto* buffer = static_cast<v4l2_buffer*>(argument);
            if (buffer->index >= buffers_.size()) return fail(EINVAL);
            Buffer& held = buffers_[buffer->index];
            if (held.queued || held.done) return fail(EINVAL);
            held.queued = true;
            queue_.push_back(buffer->index);
            return 0;
        }
        case VIDIOC_DQBUF: {
            auto* buffer = static_cast<v4l2_buffer*>(argument);
            if (!streaming_) return fail(EINVAL);
            if (done_.empty()) return fail(EAGAIN);
            const uint32_t index = done_.front();
            done_.pop_front();
            Buffer& held = buffers_[index];
            held.done = false;
            buffer->index = index;
            buffer->bytesused = held.bytesUsed;
            buffer->flags = held.flags;
            buffer->timestamp = held.timestamp;
            buffer->length = static_cast<uint32_t>(held.memory.size());
            if (tamper_) tamper_(*buffer);
            return 0;
        }
        case VIDIOC_STREAMON:
            if (buffers_.empty()) return fail(EINVAL);
            streaming_ = true;
            return 0;
        case VIDIOC_STREAMOFF:
            streaming_ = false;
            for (Buffer& buffer : buffers_) buffer.queued = buffer.done = false;
            queue_.clear();
            done_.clear();
            for (int fd : descriptors_) drain(fd);
            return 0;
        case VIDIOC_QUERYCTRL: {
            auto* query = static_cast<v4l2_queryctrl*>(argument);
            const Control* control = findControl(query->id);
            if (control == nullptr) return fail(EINVAL);
            const uint32_t id = query->id;
            *query = v4l2_queryctrl{};
            query->id = id;
            query->type = V4L2_CTRL_TYPE_INTEGER;
            query->minimum = control->minimum;
            query->maximum = control->maximum;
            query->step = control->step;
            query->default_value = control->defaultValue;
            query->flags = control->flags;
            return 0;
        }
        case VIDIOC_G_CTRL: {
            auto* wanted = static_cast<v4l2_control*>(argument);
            const Control* control = findControl(wanted->id);
            if (control == nullptr || (control->flags & V4L2_CTRL_FLAG_DISABLED))
                return fail(EINVAL);
            wanted->value = control->value;
            return 0;
        }
        case VIDIOC_S_CTRL: {
            auto* wanted = static_cast<v4l2_control*>(argument);
            Control* control = findControl(wanted->id);
            if (control == nullptr || (control->flags & V4L2_CTRL_FLAG_DISABLED))
                return fail(EINVAL);
            if (wanted->value < control->minimum || wanted->value > control->maximum)
                return fail(ERANGE);
            const int32_t step = std::max(1, control->step);
            const int32_t steps = (wanted->value - control->minimum + step / 2) / step;
            control->value = std::min(control->maximum, control->minimum + steps * step);
            wanted->value = control->value;
            return 0;
        }
        default:
            return fail(ENOTTY);
    }
}

void* FakeV4l2SystemCalls::mmap(size_t length, int, int, int fd, off_t offset) {
    std::lock_guard lock(mutex_);
    if (!isNode(fd)) {
        errno = EBADF;
        return MAP_FAILED;
    }
    const size_t index = static_cast<size_t>(offset) >> kOffsetShift;
    if (vanished_ || index >= buffers_.size() || length > buffers_[index].memory.size()) {
        errno = vanished_ ? ENODEV : EINVAL;
        return MAP_FAILED;
    }
    buffers_[index].mapped = true;
    return buffers_[index].memory.data();
}

int FakeV4l2SystemCalls::munmap(void* address, size_t) {
    std::lock_guard lock(mutex_);
    for (Buffer& buffer : buffers_) {
        if (buffer.memory.data() == address && buffer.mapped) {
            buffer.mapped = false;
            return 0;
        }
    }
    return fail(EINVAL);
}

int FakeV4l2SystemCalls::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    {
        std::lock_guard lock(mutex_);
        if (interruptPoll_) {
            interruptPoll_ = false;
            return fail(EINTR);
        }
    }
    int ready = ::poll(fds, count, timeoutMs);
    std::lock_guard lock(mutex_);
    if (ready < 0 || !vanished_) return ready;
    // An unplugged node reports an error condition to every waiter.
    ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
        if (isNode(fds[i].fd)) fds[i].revents |= POLLERR | POLLHUP;
        if (fds[i].revents != 0) ++ready;
    }
    return ready;
}

bool FakeV4l2SystemCalls::deliver(const std::vector<uint8_t>& bytes, int64_t timestampUs,
                                  uint32_t flags) {
    std::lock_guard lock(mutex_);
    if (!streaming_ || queue_.empty()) return false;
    const uint32_t index = queue_.front();
    queue_.pop_front();
    Buffer& buffer = buffers_[index];
    buffer.queued = false;
    buffer.done = true;
    buffer.bytesUsed = static_cast<uint32_t>(std::min(bytes.size(), buffer.memory.size()));
    std::copy_n(bytes.begin(), buffer.bytesUsed, buffer.memory.begin());
    buffer.flags = flags;
    buffer.timestamp.tv_sec = timestampUs / 1'000'000;
    buffer.timestamp.tv_usec = timestampUs % 1'000'000;
    done_.push_back(index);
    const uint64_t one = 1;
    for (int fd : descriptors_) (void)!::write(fd, &one, sizeof one);
    return true;
}

FakeV4l2SystemCalls::Control* FakeV4l2SystemCalls::findControl(uint32_t id) {
    for (Control& control : controls_) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

void FakeV4l2SystemCalls::setControls(std::vector<Control> controls) {
    std::lock_guard lock(mutex_);
    controls_ = std::move(controls);
}

int32_t FakeV4l2SystemCalls::controlValue(uint32_t id) const {
    std::lock_guard lock(mutex_);
    for (const Control& control : controls_) {
        if (control.id == id) return control.value;
    }
    return 0;
}

void FakeV4l2SystemCalls::grantAtMost(uint32_t buffers) {
    std::lock_guard lock(mutex_);
    grantLimit_ = buffers;
}

void FakeV4l2SystemCalls::failIoctl(unsigned long request, int error, uint32_t times) {
    std::lock_guard lock(mutex_);
    for (uint32_t i = 0; i < times; ++i) failures_[request].push_back(error);
}

void FakeV4l2SystemCalls::interruptNextPoll() {
    std::lock_guard lock(mutex_);
    interruptPoll_ = true;
}

void FakeV4l2SystemCalls::vanish() {
    std::lock_guard lock(mutex_);
    vanished_ = true;
    // Wakes a waiting poll so that it sees the error condition.
    const uint64_t one = 1;
    for (int fd : descriptors_) (void)!::write(fd, &one, sizeof one);
}

void FakeV4l2SystemCalls::setDeviceCaps(uint32_t deviceCaps) {
    std::lock_guard lock(mutex_);
    deviceCaps_ = deviceCaps;
}

void FakeV4l2SystemCalls::tamperWithDequeues(std::function<void(v4l2_buffer&)> tamper) {
    std::lock_guard lock(mutex_);
    tamper_ = std::move(tamper);
}

void FakeV4l2SystemCalls::changeFormat(const Mode& mode) {
    std::lock_guard lock(mutex_);
    format_.fmt.pix.pixelformat = mode.pixelFormat;
    format_.fmt.pix.width = mode.width;
    format_.fmt.pix.height = mode.height;
    format_.fmt.pix.sizeimage = frameBytes();
}

void FakeV4l2SystemCalls::keepFormat(bool keep) {
    std::lock_guard lock(mutex_);
    keepFormat_ = keep;
}

uint32_t FakeV4l2SystemCalls::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

uint32_t FakeV4l2SystemCalls::openDescriptors() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(descriptors_.size());
}

uint32_t FakeV4l2SystemCalls::ioctlCalls(unsigned long request) const {
    std::lock_guard lock(mutex_);
    auto it = calls_.find(request);
    return it == calls_.end() ? 0 : it->second;
}

uint32_t FakeV4l2SystemCalls::mappedBuffers() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(
        std::count_if(buffers_.begin(), buffers_.end(), [](const Buffer& b) { return b.mapped; }));
}

uint32_t FakeV4l2SystemCalls::queuedBuffers() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(queue_.size());
}

uint32_t FakeV4l2SystemCalls::grantedBuffers() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(buffers_.size());
}

bool FakeV4l2SystemCalls::streaming() const {
    std::lock_guard lock(mutex_);
    return streaming_;
}

v4l2_format FakeV4l2SystemCalls::format() const {
    std::lock_guard lock(mutex_);
    return format_;
}

}  // namespace tovrel::test
