#include "sim/video/simulated_video_source.h"

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "imaging/pixel_conversion.h"
#include "platform/media/mf_guids.h"

namespace tovrel::sim {

using namespace platform;

namespace {

constexpr uint32_t kPoolDepth = 6;
constexpr int kJpegQuality = 85;

size_t faultIndex(VideoFault fault) { return static_cast<size_t>(fault); }

const Guid& subtypeOf(SimPixelFormat format) {
    switch (format) {
        case SimPixelFormat::Yuy2:
            return MFVideoFormat_YUY2;
        case SimPixelFormat::Mjpg:
            return MFVideoFormat_MJPG;
        case SimPixelFormat::Nv12:
            return MFVideoFormat_NV12;
    }
    return MFVideoFormat_YUY2;
}

uint32_t frameBytes(const SimVideoMode& mode) {
    switch (mode.format) {
        case SimPixelFormat::Yuy2:
            return mode.width * mode.height * 2;
        case SimPixelFormat::Nv12:
            return mode.width * mode.height * 3 / 2;
        case SimPixelFormat::Mjpg:
            return static_cast<uint32_t>(
                tjBufSize(static_cast<int>(mode.width), static_cast<int>(mode.height), TJSAMP_422));
    }
    return 0;
}

int64_t period100ns(const SimVideoMode& mode) {
    if (mode.rateNumerator == 0) return 10'000'000;
    return static_cast<int64_t>(10'000'000ull * mode.rateDenominator / mode.rateNumerator);
}

// Frame n is due n periods after the start; a reader that fell behind gets the newest frame, as
// from real hardware.
SimulatedStream::Clocking videoClocking(std::span<const SimVideoMode> modes) {
    SimulatedStream::Clocking clocking;
    for (const SimVideoMode& mode : modes) {
        clocking.period100ns.push_back(period100ns(mode));
        clocking.rates.emplace_back(mode.rateNumerator, mode.rateDenominator);
    }
    clocking.lead = 0;
    clocking.backlog = 0;
    clocking.stepsSurviveStart = true;
    return clocking;
}

}  // namespace

std::vector<MediaType> SimulatedVideoSource::nativeTypesOf(std::span<const SimVideoMode> modes) {
    std::vector<MediaType> types;
    types.reserve(modes.size());
    for (const SimVideoMode& mode : modes) {
        MediaType type;
        type.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        type.SetGUID(MF_MT_SUBTYPE, subtypeOf(mode.format));
        MFSetAttributeSize(&type, MF_MT_FRAME_SIZE, mode.width, mode.height);
        MFSetAttributeRatio(&type, MF_MT_FRAME_RATE, mode.rateNumerator, mode.rateDenominator);
        MFSetAttributeRatio(&type, MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
        type.SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
        type.SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
        if (mode.format == SimPixelFormat::Yuy2) {
            type.SetUINT32(MF_MT_DEFAULT_STRIDE, mode.width * 2);
            type.SetUINT32(MF_MT_SAMPLE_SIZE, mode.width * mode.height * 2);
        } else if (mode.format == SimPixelFormat::Nv12) {
            type.SetUINT32(MF_MT_DEFAULT_STRIDE, mode.width);
            type.SetUINT32(MF_MT_SAMPLE_SIZE, mode.width * mode.height * 3 / 2);
        }
        types.push_back(std::move(type));
    }
    return types;
}

SimulatedVideoSource::SimulatedVideoSource(std::span<const SimVideoMode> modes, Pacing pacing,
                                           std::shared_ptr<SimulatedPictureControls> controls,
                                           std::shared_ptr<SyncPattern> pattern)
    : modes_(modes),
      types_(nativeTypesOf(modes)),
      stream_(pacing, videoClocking(modes)),
      controls_(controls
                    ? std::move(controls)
                    : std::make_shared<SimulatedPictureControls>(kDefaultBoxModel.pictureControls)),
      procAmp_(controls_, stream_),
      pattern_(pattern ? std::move(pattern) : std::make_shared<SyncPattern>()) {}

SimulatedVideoSource::~SimulatedVideoSource() {
    if (jpegEncoder_ != nullptr) tjDestroy(static_cast<tjhandle>(jpegEncoder_));
}

HRESULT SimulatedVideoSource::Stop() { return stream_.stop(); }

HRESULT SimulatedVideoSource::Shutdown() { return stream_.shutdown(); }

HRESULT SimulatedVideoSource::nativeTypes(uint32_t stream, std::vector<MediaType>* types) {
    if (types == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    if (FAILED(stream_.usable())) return MF_E_SHUTDOWN;
    *types = types_;
    return S_OK;
}

HRESULT SimulatedVideoSource::currentNativeIndex(uint32_t stream, uint32_t* index) {
    if (index == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    return stream_.currentIndex(index);
}

HRESULT SimulatedVideoSource::selectNativeType(uint32_t stream, uint32_t index) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    return stream_.select(index);
}

HRESULT SimulatedVideoSource::startStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    return stream_.start();
}

HRESULT SimulatedVideoSource::stopStream(uint32_t stream) {
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    stream_.stopStream();
    return S_OK;
}

void SimulatedVideoSource::cancelPull(uint32_t) { stream_.cancel(); }

void SimulatedVideoSource::step(uint32_t frames) { stream_.step(frames); }

void SimulatedVideoSource::injectFault(VideoFault fault, uint32_t frames) {
    switch (fault) {
        case VideoFault::Stall:
            stream_.stall();
            break;
        case VideoFault::Unplug:
            stream_.unplug();
            break;
        case VideoFault::EndOfStream:
            stream_.end();
            break;
        case VideoFault::MediaTypeChange:
            stream_.changeType();
            break;
        default: {
            std::lock_guard lock(mutex_);
            frameFaults_[faultIndex(fault)] += frames;
            break;
        }
    }
}

void SimulatedVideoSource::clearFaults() {
    {
        std::lock_guard lock(mutex_);
        frameFaults_.fill(0);
    }
    stream_.clearFaults();
}

uint64_t SimulatedVideoSource::framesDelivered() const {
    std::lock_guard lock(mutex_);
    return delivered_;
}

bool SimulatedVideoSource::streaming() const { return stream_.streaming(); }

bool SimulatedVideoSource::isShutDown() const { return stream_.isShutDown(); }

uint32_t SimulatedVideoSource::nativeIndex() const { return stream_.nativeIndex(); }

bool SimulatedVideoSource::takeFrameFault(VideoFault fault) {
    uint32_t& count = frameFaults_[faultIndex(fault)];
    if (count == 0) return false;
    --count;
    return true;
}

HRESULT SimulatedVideoSource::pullSample(uint32_t stream, uint32_t timeoutMs,
                                         SourceReadResult* result) {
    if (result == nullptr) return E_POINTER;
    if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
    *result = SourceReadResult{};
    SimulatedStream::Turn turn;
    const HRESULT waited = stream_.awaitTurn(timeoutMs, &turn, &result->streamFlags);
    if (waited != S_OK || result->streamFlags != 0) return waited;
    FrameOrder order{};
    order.mode = modes_[turn.typeIndex];
    order.frameNumber = turn.number;
    order.turn = turn;
    {
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i < order.faults.size(); ++i) {
            order.faults[i] = takeFrameFault(static_cast<VideoFault>(i));
        }
        ++delivered_;
    }
    return produce(order, result);
}

HRESULT SimulatedVideoSource::produce(const FrameOrder& order, SourceReadResult* result) {
    const SimVideoMode& mode = order.mode;
    const uint32_t w = mode.width, h = mode.height;
    if (!picture_ || picture_->width() != w || picture_->height() != h) {
        picture_ = std::make_unique<TestPicture>(w, h);
    }
    const uint32_t bytes = frameBytes(mode);
    if (!pool_ || pool_->bufferBytes() != bytes)
        pool_ = std::make_unique<SamplePool>(bytes, 64, kPoolDepth);
    std::shared_ptr<Sample> sample = pool_->acquire();
    if (!sample) return S_FALSE;  // the reader's consumers hold every frame: this one is lost
    MemoryBuffer* buffer = SamplePool::bufferOf(sample);
    uint8_t* out = buffer->data();

    const int64_t period = period100ns(mode);
    pattern_->setVideoRate(mode.rateNumerator, mode.rateDenominator);
    if (pattern_->enabled() &&
        SyncPattern::flashes(order.turn.boxIndex, mode.rateNumerator, mode.rateDenominator)) {
        // The flash is the same white whatever the picture controls say: it is a measuring mark.
        std::memset(picture_->y(), SyncPattern::kWhiteLuma, static_cast<size_t>(w) * h);
        std::memset(picture_->u(), SyncPattern::kWhiteChroma, static_cast<size_t>(w / 2) * h);
        std::memset(picture_->v(), SyncPattern::kWhiteChroma, static_cast<size_t>(w / 2) * h);
    } else {
        picture_->render(order.frameNumber);
        adjustment_.configure(controls_->ranges(), controls_->values());
        adjustment_.apply(*picture_);
    }
    const uint8_t* planes[3] = {picture_->y(), picture_->u(), picture_->v()};
    const int32_t steps[3] = {static_cast<int32_t>(w), static_cast<int32_t>(w / 2),
                              static_cast<int32_t>(w / 2)};
    const imaging::Size size{static_cast<int32_t>(w), static_cast<int32_t>(h)};
    uint32_t length = 0;
    auto faulty = [&](VideoFault fault) { return order.faults[faultIndex(fault)]; };

    switch (mode.format) {
        case SimPixelFormat::Yuy2:
            imaging::packPlanar422ToYuy2(planes, steps, out, static_cast<int32_t>(w * 2), size);
            length = w * h * 2;
            if (faulty(VideoFault::ShortSample)) length /= 2;
            break;
        case SimPixelFormat::Nv12:
            scratch_.resize(static_cast<size_t>(w) * h * 2);
            imaging::packPlanar422ToYuy2(planes, steps, scratch_.data(),
                                         static_cast<int32_t>(w * 2), size);
            imaging::convertYuy2ToNv12(scratch_.data(), static_cast<int32_t>(w * 2), out,
                                       static_cast<int32_t>(w), out + static_cast<size_t>(w) * h,
                                       static_cast<int32_t>(w), size);
            length = w * h * 3 / 2;
            if (faulty(VideoFault::ShortSample)) length /= 2;
            break;
        case SimPixelFormat::Mjpg: {
            if (jpegEncoder_ == nullptr) jpegEncoder_ = tjInitCompress();
            if (jpegEncoder_ == nullptr) return E_FAIL;
            int encodeW = static_cast<int>(w), encodeH = static_cast<int>(h);
            int sampling = TJSAMP_422;
            int encodeSteps[3] = {steps[0], steps[1], steps[2]};
            if (faulty(VideoFault::WrongSizeJpeg)) {
                encodeW /= 2;
                encodeH /= 2;
            }
            if (faulty(VideoFault::Jpeg420)) {
                // Every second chroma row of the 4:2:2 planes is a 4:2:0 chroma plane.
                sampling = TJSAMP_420;
                encodeSteps[1] *= 2;
                encodeSteps[2] *= 2;
            }
            unsigned char* jpeg = out;
            unsigned long jpegBytes = bytes;
            if (tjCompressFromYUVPlanes(static_cast<tjhandle>(jpegEncoder_), planes, encodeW,
                                        encodeSteps, encodeH, sampling, &jpeg, &jpegBytes,
                                        kJpegQuality, TJFLAG_NOREALLOC | TJFLAG_FASTDCT) != 0) {
                return E_FAIL;
            }
            length = static_cast<uint32_t>(jpegBytes);
            if (faulty(VideoFault::CorruptJpeg))
                std::memset(out, 0, std::min<uint32_t>(length, 256));
            if (faulty(VideoFault::TruncatedJpeg)) length /= 3;
            break;
        }
    }
    buffer->SetCurrentLength(length);
    const int64_t time = order.turn.boxTime100ns;
    sample->SetSampleTime(time);
    sample->SetSampleDuration(period);
    sample->SetUINT32(MFSampleExtension_CleanPoint, 1);
    if (stream_.pacing() == Pacing::RealTime) {
        sample->SetUINT64(
            MFSampleExtension_DeviceReferenceSystemTime,
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      order.turn.due.time_since_epoch())
                                      .count() /
                                  100));
    }
    result->status = S_OK;
    result->timestamp100ns = time;
    result->sample = std::move(sample);
    return S_OK;
}

DeviceListEnumerator::Entry simulatedVideoEntry(const BoxModel& model,
                                                SimulatedVideoSource::Pacing pacing,
                                                std::shared_ptr<SyncPattern> pattern) {
    DeviceListEnumerator::Entry entry;
    entry.kind = DeviceListEnumerator::Kind::Video;
    entry.friendlyName = std::string(model.videoFriendlyName);
    char link[96];
    std::snprintf(link, sizeof link, "sim://USB#VID_%04X&PID_%04X&MI_00#video", model.vendorId,
                  model.productId);
    entry.symbolicLink = link;
    const std::span<const SimVideoMode> modes = model.modes;
    auto controls = std::make_shared<SimulatedPictureControls>(model.pictureControls);
    if (!pattern) pattern = std::make_shared<SyncPattern>();
    entry.activation = [modes, pacing, controls, pattern](std::shared_ptr<MediaSource>* source) {
        *source = std::make_shared<SimulatedVideoSource>(modes, pacing, controls, pattern);
        return S_OK;
    };
    return entry;
}

}  // namespace tovrel::sim
