#include "platform/v4l2/v4l2_media_source.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"
#include "platform/v4l2/linux_v4l2_system_calls.h"
#include "platform/v4l2/v4l2_formats.h"

namespace tovrel::platform {

namespace {

constexpr uint32_t kPoolDepth = 6;

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
void addIntervals(V4l2Node& node, uint32_t pixelFormat, uint32_t width, uint32_t height,
                  std::vector<MediaType>* types, std::vector<uint32_t>* formats) {
    v4l2_frmivalenum interval{};
    interval.pixel_format = pixelFormat;
    interval.width = width;
    interval.height = height;
    bool any = false;
    for (interval.index = 0; node.ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &interval,
                                        "VIDIOC_ENUM_FRAMEINTERVALS", EINVAL) == 0;
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

// "1920x1080 YUYV", for the log.
std::string describe(uint32_t pixelFormat, uint32_t width, uint32_t height) {
    std::string text = std::to_string(width) + "x" + std::to_string(height) + " ";
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((pixelFormat >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

}  // namespace

HRESULT V4l2MediaSource::enumerateTypes(V4l2Node& node, std::vector<MediaType>* types,
                                        std::vector<uint32_t>* pixelFormats) {
    types->clear();
    pixelFormats->clear();
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; node.ioctl(VIDIOC_ENUM_FMT, &format, "VIDIOC_ENUM_FMT", EINVAL) == 0;
         ++format.index) {
        v4l2_frmsizeenum size{};
        size.pixel_format = format.pixelformat;
        for (size.index = 0;
             node.ioctl(VIDIOC_ENUM_FRAMESIZES, &size, "VIDIOC_ENUM_FRAMESIZES", EINVAL) == 0;
             ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                addIntervals(node, format.pixelformat, size.discrete.width, size.discrete.height,
                             types, pixelFormats);
            } else {
                // A range of sizes: its largest stands for it.
                addIntervals(node, format.pixelformat, size.stepwise.max_width,
                             size.stepwise.max_height, types, pixelFormats);
                break;
            }
        }
    }
    return S_OK;
}

std::shared_ptr<V4l2MediaSource> V4l2MediaSource::open(const std::string& devicePath,
                                                       HRESULT* result) {
    return open(LinuxV4l2SystemCalls::instance(), devicePath, result);
}

std::shared_ptr<V4l2MediaSource> V4l2MediaSource::open(V4l2SystemCalls& calls,
                                                       const std::string& devicePath,
                                                       HRESULT* result) {
    int error = 0;
    std::unique_ptr<V4l2Node> node = V4l2Node::open(calls, devicePath, &error);
    if (!node) {
        if (result) *result = fromErrno(error);
        return nullptr;
    }
    if (!node->canCapture()) {
        outputDebugString(devicePath + ": no video capture with streaming");
        if (result) *result = MF_E_INVALIDREQUEST;
        return nullptr;
    }
    std::shared_ptr<V4l2MediaSource> source(new V4l2MediaSource(std::move(node)));
    V4l2Node& opened = *source->node_;
    enumerateTypes(opened, &source->types_, &source->pixelFormats_);
    // The driver's current format, when it is one of the listed types, is where the stream starts.
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (opened.ioctl(VIDIOC_G_FMT, &current, "VIDIOC_G_FMT") == 0) {
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

V4l2MediaSource::V4l2MediaSource(std::unique_ptr<V4l2Node> node)
    : devicePath_(node->path()), node_(std::move(node)) {
    if (::pipe2(wakePipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
        logErrno(devicePath_, "pipe2", errno);
        wakePipe_[0] = wakePipe_[1] = -1;
    }
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
    node_.reset();
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
    if (const int error = node_->ioctl(VIDIOC_S_FMT, &format, "VIDIOC_S_FMT"))
        return fromErrno(error);
    // A driver may answer with a format of its own; frames of another size than the type says
    // would be cut or refused one by one downstream, so the type is refused here, once.
    if (!isChosenFormat(format.fmt.pix, index)) {
        outputDebugString(
            devicePath_ + ": VIDIOC_S_FMT answered " +
            describe(format.fmt.pix.pixelformat, format.fmt.pix.width, format.fmt.pix.height) +
            " for " + describe(pixelFormats_[index], width, height));
        return MF_E_INVALIDMEDIATYPE;
    }
    if (SUCCEEDED(
            MFGetAttributeRatio(&types_[index], MF_MT_FRAME_RATE, &numerator, &denominator))) {
        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parameters.parm.capture.timeperframe.numerator = denominator;
        parameters.parm.capture.timeperframe.denominator = numerator;
        // Drivers without rate control refuse it (logged); the size still holds.
        node_->ioctl(VIDIOC_S_PARM, &parameters, "VIDIOC_S_PARM");
    }
    formatApplied_ = true;
    return S_OK;
}

bool V4l2MediaSource::isChosenFormat(const v4l2_pix_format& format, uint32_t index) const {
    uint32_t width = 0, height = 0;
    MFGetAttributeSize(&types_[index], MF_MT_FRAME_SIZE, &width, &height);
    return format.pixelformat == pixelFormats_[index] && format.width == width &&
           format.height == height;
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
    if (const int error = node_->ioctl(VIDIOC_G_FMT, &format, "VIDIOC_G_FMT"))
        return fromErrno(error);
    // The driver's format can change behind our back (the device itself, another program): the
    // session's frames are of the chosen type, so that is put back before streaming again.
    if (!isChosenFormat(format.fmt.pix, nativeIndex_)) {
        uint32_t width = 0, height = 0;
        MFGetAttributeSize(&types_[nativeIndex_], MF_MT_FRAME_SIZE, &width, &height);
        outputDebugString(
            devicePath_ + ": the driver's format " +
            describe(format.fmt.pix.pixelformat, format.fmt.pix.width, format.fmt.pix.height) +
            " is not the chosen " + describe(pixelFormats_[nativeIndex_], width, height));
        HRESULT hr = applyFormatLocked(nativeIndex_);
        if (FAILED(hr)) return hr;
    }

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int error = node_->ioctl(VIDIOC_REQBUFS, &request, "VIDIOC_REQBUFS"))
        return fromErrno(error);
    // The driver grants what its memory allows; with none there is nothing to stream into.
    if (request.count < kBufferCount) {
        outputDebugString(devicePath_ + ": VIDIOC_REQBUFS granted " +
                          std::to_string(request.count) + " of " + std::to_string(kBufferCount) +
                          " buffers");
    }
    if (request.count == 0) return E_OUTOFMEMORY;
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (const int error = node_->ioctl(VIDIOC_QUERYBUF, &buffer, "VIDIOC_QUERYBUF")) {
            stopLocked();
            return fromErrno(error);
        }
        int error = 0;
        void* address = node_->mmap(buffer.length, buffer.m.offset, &error);
        if (address == nullptr) {
            stopLocked();
            return fromErrno(error);
        }
        buffers_.push_back({address, buffer.length});
        if (const int queueError = node_->ioctl(VIDIOC_QBUF, &buffer, "VIDIOC_QBUF")) {
            stopLocked();
            return fromErrno(queueError);
        }
        ++buffersQueued_;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int error = node_->ioctl(VIDIOC_STREAMON, &type, "VIDIOC_STREAMON")) {
        stopLocked();
        return fromErrno(error);
    }
    // No frame can be longer than the buffer it came in, whatever sizeimage or bytesused claim.
    uint32_t frameBytes = 1;
    for (const MappedBuffer& buffer : buffers_)
        frameBytes = std::max(frameBytes, static_cast<uint32_t>(buffer.length));
    if (!pool_ || pool_->bufferBytes() != frameBytes)
        pool_ = std::make_unique<SamplePool>(frameBytes, 64, kPoolDepth);
    haveFirstStamp_ = false;
    streaming_ = true;
    return S_OK;
}

void V4l2MediaSource::stopLocked() {
    if (!node_) return;
    if (streaming_) {
        v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        node_->ioctl(VIDIOC_STREAMOFF, &type, "VIDIOC_STREAMOFF");
    }
    for (const MappedBuffer& buffer : buffers_) node_->munmap(buffer.address, buffer.length);
    if (!buffers_.empty()) {
        v4l2_requestbuffers release{};
        release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        release.memory = V4L2_MEMORY_MMAP;
        node_->ioctl(VIDIOC_REQBUFS, &release, "VIDIOC_REQBUFS");
    }
    buffers_.clear();
    buffersQueued_ = 0;
    streaming_ = false;
    // A restart asks for buffers anew; a node that is gone fails it by itself.
    failure_ = S_OK;
    wake();
}

void V4l2MediaSource::wake() {
    if (wakePipe_[1] >= 0) (void)!::write(wakePipe_[1], "x", 1);
}

HRESULT V4l2MediaSource::stopStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard lock(mutex_);
    stopLocked();
    return S_OK;
}

void V4l2MediaSource::cancelPull(uint32_t) { wake(); }

void V4l2MediaSource::requeueLocked(v4l2_buffer* buffer) {
    if (const int error = node_->ioctl(VIDIOC_QBUF, buffer, "VIDIOC_QBUF")) {
        // The driver keeps streaming into the buffers it still holds; without any, no frame can
        // come, and the stream ends rather than waiting for ever.
        if (buffersQueued_ == 0 || fromErrno(error) == MF_E_DEVICE_NOT_CONNECTED)
            failure_ = fromErrno(error);
        return;
    }
    ++buffersQueued_;
}

HRESULT V4l2MediaSource::pullSample(uint32_t stream, uint32_t timeoutMs, SourceReadResult* result) {
    if (result == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    *result = SourceReadResult{};
    V4l2SystemCalls* calls = nullptr;
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        if (shutDown_) return MF_E_SHUTDOWN;
        if (FAILED(failure_)) return failure_;
        calls = &node_->calls();
        // A node that does not stream answers poll at once: then only the wake pipe is waited on.
        if (streaming_) fd = node_->fd();
    }
    pollfd waits[2] = {{fd, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    const int ready = calls->poll(waits, 2, static_cast<int>(timeoutMs));
    // An interrupted wait answers "nothing yet": the reader pulls again.
    if (ready < 0 && errno != EINTR) logErrno(devicePath_, "poll", errno);
    if (ready > 0 && (waits[1].revents & POLLIN)) {
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
    if (const int error = node_->ioctl(VIDIOC_DQBUF, &buffer, "VIDIOC_DQBUF", EAGAIN)) {
        if (error == EAGAIN) return S_FALSE;
        failure_ = fromErrno(error);
        return failure_;
    }
    --buffersQueued_;
    if (buffer.index >= buffers_.size()) {
        outputDebugString(devicePath_ + ": VIDIOC_DQBUF answered buffer " +
                          std::to_string(buffer.index) + " of " + std::to_string(buffers_.size()));
        ++buffersQueued_;  // not one of ours: nothing to hand back
        return S_FALSE;
    }
    std::shared_ptr<Sample> sample = pool_ ? pool_->acquire() : nullptr;
    if (sample && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
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
        // The kernel's time of the frame is on the monotonic clock the capture's millisecond
        // clock reads: the recording stamps the frame with it instead of its callback's time.
        if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
            sample->SetUINT64(MFSampleExtension_DeviceReferenceSystemTime,
                              static_cast<uint64_t>(stamp));
        result->timestamp100ns = stamp - firstStamp100ns_;
        result->sample = std::move(sample);
    }
    requeueLocked(&buffer);
    return result->sample ? S_OK : S_FALSE;
}

}  // namespace tovrel::platform
