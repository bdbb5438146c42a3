#include "platform/v4l2/v4l2_media_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/media/mf_guids.h"
#include "platform/v4l2/v4l2_formats.h"

namespace tovrel::platform {

namespace {

constexpr uint32_t kBufferCount = 4;
constexpr uint32_t kPoolDepth = 6;

int xioctl(int fd, unsigned long request, void* arg) {
    int rc;
    do {
        rc = ::ioctl(fd, request, arg);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

HRESULT fromErrno(int error) {
    if (error == ENODEV || error == ENXIO || error == EIO) return MF_E_DEVICE_NOT_CONNECTED;
    return static_cast<HRESULT>(0x80070000u | (static_cast<uint32_t>(error) & 0xFFFF));
}

MediaType makeType(uint32_t pixelFormat, uint32_t width, uint32_t height, uint32_t rateNumerator,
                   uint32_t rateDenominator) {
    MediaType type;
    type.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type.SetGUID(MF_MT_SUBTYPE, subtypeOfPixelFormat(pixelFormat));
    MFSetAttributeSize(&type, MF_MT_FRAME_SIZE, width, height);
    if (rateNumerator != 0 && rateDenominator != 0) {
        MFSetAttributeRatio(&type, MF_MT_FRAME_RATE, rateNumerator, rateDenominator);
    }
    type.SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    if (pixelFormat == V4L2_PIX_FMT_YUYV) type.SetUINT32(MF_MT_DEFAULT_STRIDE, width * 2);
    if (pixelFormat == V4L2_PIX_FMT_NV12) type.SetUINT32(MF_MT_DEFAULT_STRIDE, width);
    return type;
}

// Intervals are seconds per frame; rates are frames per second.
void addIntervals(int fd, uint32_t pixelFormat, uint32_t width, uint32_t height,
                  std::vector<MediaType>* types, std::vector<uint32_t>* formats) {
    v4l2_frmivalenum interval{};
    interval.pixel_format = pixelFormat;
    interval.width = width;
    interval.height = height;
    bool any = false;
    for (interval.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
         ++interval.index) {
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            types->push_back(makeType(pixelFormat, width, height, interval.discrete.denominator,
                                      interval.discrete.numerator));
            formats->push_back(pixelFormat);
            any = true;
        } else {
            // A range: its fastest rate stands for it.
            types->push_back(makeType(pixelFormat, width, height, interval.stepwise.min.denominator,
                                      interval.stepwise.min.numerator));
            formats->push_back(pixelFormat);
            any = true;
            break;
        }
    }
    if (!any) {
        types->push_back(makeType(pixelFormat, width, height, 0, 0));
        formats->push_back(pixelFormat);
    }
}

}  // namespace

HRESULT V4l2MediaSource::enumerateTypes(int fd, std::vector<MediaType>* types,
                                        std::vector<uint32_t>* pixelFormats) {
    types->clear();
    pixelFormats->clear();
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        v4l2_frmsizeenum size{};
        size.pixel_format = format.pixelformat;
        for (size.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                addIntervals(fd, format.pixelformat, size.discrete.width, size.discrete.height,
                             types, pixelFormats);
            } else {
                // A range of sizes: its largest stands for it.
                addIntervals(fd, format.pixelformat, size.stepwise.max_width,
                             size.stepwise.max_height, types, pixelFormats);
                break;
            }
        }
    }
    return S_OK;
}

std::shared_ptr<V4l2MediaSource> V4l2MediaSource::open(const std::string& devicePath,
                                                       HRESULT* result) {
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (result) *result = fromErrno(errno);
        return nullptr;
    }
    std::shared_ptr<V4l2MediaSource> source(new V4l2MediaSource(devicePath, fd));
    enumerateTypes(fd, &source->types_, &source->pixelFormats_);
    // The driver's current format, when it is one of the listed types, is where the stream starts.
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_G_FMT, &current) == 0) {
        for (uint32_t i = 0; i < source->types_.size(); ++i) {
            uint32_t w = 0, h = 0;
            MFGetAttributeSize(&source->types_[i], MF_MT_FRAME_SIZE, &w, &h);
            if (source->pixelFormats_[i] == current.fmt.pix.pixelformat &&
                w == current.fmt.pix.width && h == current.fmt.pix.height) {
                source->nativeIndex_ = i;
                break;
            }
        }
    }
    if (result) *result = S_OK;
    return source;
}

V4l2MediaSource::V4l2MediaSource(std::string devicePath, int fd)
    : devicePath_(std::move(devicePath)), fd_(fd) {
    if (::pipe2(wakePipe_, O_NONBLOCK | O_CLOEXEC) != 0) wakePipe_[0] = wakePipe_[1] = -1;
}

V4l2MediaSource::~V4l2MediaSource() {
    Shutdown();
    for (int& end : wakePipe_) {
        if (end >= 0) ::close(end);
        end = -1;
    }
}

HRESULT V4l2MediaSource::Stop() {
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    stopLocked();
    return S_OK;
}

HRESULT V4l2MediaSource::Shutdown() {
    std::lock_guard lock(mutex_);
    if (shutDown_) return S_OK;
    stopLocked();
    shutDown_ = true;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return S_OK;
}

HRESULT V4l2MediaSource::nativeTypes(uint32_t stream, std::vector<MediaType>* types) {
    if (types == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    *types = types_;
    return S_OK;
}

HRESULT V4l2MediaSource::currentNativeIndex(uint32_t stream, uint32_t* index) {
    if (index == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    *index = nativeIndex_;
    return S_OK;
}

HRESULT V4l2MediaSource::applyFormatLocked(uint32_t index) {
    uint32_t width = 0, height = 0, numerator = 0, denominator = 0;
    MFGetAttributeSize(&types_[index], MF_MT_FRAME_SIZE, &width, &height);
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = width;
    format.fmt.pix.height = height;
    format.fmt.pix.pixelformat = pixelFormats_[index];
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (xioctl(fd_, VIDIOC_S_FMT, &format) < 0) return fromErrno(errno);
    if (SUCCEEDED(
            MFGetAttributeRatio(&types_[index], MF_MT_FRAME_RATE, &numerator, &denominator))) {
        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parameters.parm.capture.timeperframe.numerator = denominator;
        parameters.parm.capture.timeperframe.denominator = numerator;
        // Drivers without rate control refuse it; the size still holds.
        xioctl(fd_, VIDIOC_S_PARM, &parameters);
    }
    formatApplied_ = true;
    return S_OK;
}

HRESULT V4l2MediaSource::selectNativeType(uint32_t stream, uint32_t index) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (index >= types_.size()) return MF_E_INVALIDMEDIATYPE;
    // The format can only change while the queue is idle: a running stream restarts.
    const bool wasStreaming = streaming_;
    if (wasStreaming) stopLocked();
    nativeIndex_ = index;
    HRESULT hr = applyFormatLocked(index);
    if (FAILED(hr)) return hr;
    return wasStreaming ? startLocked() : S_OK;
}

HRESULT V4l2MediaSource::startStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (streaming_) return S_OK;
    return startLocked();
}

HRESULT V4l2MediaSource::startLocked() {
    if (types_.empty()) return MF_E_INVALIDREQUEST;
    if (!formatApplied_) {
        HRESULT hr = applyFormatLocked(nativeIndex_);
        if (FAILED(hr)) return hr;
    }
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_G_FMT, &format) < 0) return fromErrno(errno);

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_REQBUFS, &request) < 0) return fromErrno(errno);
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0) {
            stopLocked();
            return fromErrno(errno);
        }
        void* address = ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                               buffer.m.offset);
        if (address == MAP_FAILED) {
            stopLocked();
            return fromErrno(errno);
        }
        buffers_.push_back({address, buffer.length});
        if (xioctl(fd_, VIDIOC_QBUF, &buffer) < 0) {
            stopLocked();
            return fromErrno(errno);
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_STREAMON, &type) < 0) {
        stopLocked();
        return fromErrno(errno);
    }
    const uint32_t frameBytes = format.fmt.pix.sizeimage != 0
                                    ? format.fmt.pix.sizeimage
                                    : format.fmt.pix.width * format.fmt.pix.height * 2;
    if (!pool_ || pool_->bufferBytes() != frameBytes)
        pool_ = std::make_unique<SamplePool>(frameBytes, 64, kPoolDepth);
    haveFirstStamp_ = false;
    streaming_ = true;
    return S_OK;
}

void V4l2MediaSource::stopLocked() {
    if (fd_ < 0) return;
    if (streaming_) {
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(fd_, VIDIOC_STREAMOFF, &type);
    }
    for (const MappedBuffer& buffer : buffers_) ::munmap(buffer.address, buffer.length);
    if (!buffers_.empty()) {
        v4l2_requestbuffers release{};
        release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        release.memory = V4L2_MEMORY_MMAP;
        xioctl(fd_, VIDIOC_REQBUFS, &release);
    }
    buffers_.clear();
    streaming_ = false;
    if (wakePipe_[1] >= 0) (void)!::write(wakePipe_[1], "x", 1);
}

HRESULT V4l2MediaSource::stopStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    stopLocked();
    return S_OK;
}

void V4l2MediaSource::cancelPull(uint32_t) {
    if (wakePipe_[1] >= 0) (void)!::write(wakePipe_[1], "x", 1);
}

HRESULT V4l2MediaSource::pullSample(uint32_t stream, uint32_t timeoutMs, SourceReadResult* result) {
    if (result == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    *result = SourceReadResult{};
    int fd;
    {
        std::lock_guard lock(mutex_);
        if (shutDown_) return MF_E_SHUTDOWN;
        if (!streaming_) {
            fd = -1;
        } else {
            fd = fd_;
        }
    }
    pollfd waits[2] = {{fd, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    const int ready = ::poll(waits, 2, static_cast<int>(timeoutMs));
    if (waits[1].revents & POLLIN) {
        char drain[16];
        while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
        }
    }
    if (ready <= 0 || fd < 0 || !(waits[0].revents & (POLLIN | POLLERR | POLLHUP))) return S_FALSE;

    std::lock_guard lock(mutex_);
    if (shutDown_) return MF_E_SHUTDOWN;
    if (!streaming_) return S_FALSE;
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_DQBUF, &buffer) < 0) {
        if (errno == EAGAIN) return S_FALSE;
        return fromErrno(errno);
    }
    std::shared_ptr<Sample> sample = pool_ ? pool_->acquire() : nullptr;
    if (sample && buffer.index < buffers_.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
        MemoryBuffer* out = SamplePool::bufferOf(sample);
        uint32_t capacity = 0;
        out->GetMaxLength(&capacity);
        const uint32_t bytes = std::min<uint32_t>(
            {buffer.bytesused, capacity, static_cast<uint32_t>(buffers_[buffer.index].length)});
        std::memcpy(out->data(), buffers_[buffer.index].address, bytes);
        out->SetCurrentLength(bytes);
        const int64_t stamp = static_cast<int64_t>(buffer.timestamp.tv_sec) * 10'000'000 +
                              static_cast<int64_t>(buffer.timestamp.tv_usec) * 10;
        if (!haveFirstStamp_) {
            haveFirstStamp_ = true;
            firstStamp100ns_ = stamp;
        }
        sample->SetSampleTime(stamp - firstStamp100ns_);
        result->timestamp100ns = stamp - firstStamp100ns_;
        result->sample = std::move(sample);
    }
    xioctl(fd_, VIDIOC_QBUF, &buffer);
    return result->sample ? S_OK : S_FALSE;
}

}  // namespace tovrel::platform
