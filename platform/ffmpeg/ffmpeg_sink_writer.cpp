#include "platform/ffmpeg/ffmpeg_sink_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/ffmpeg/ffmpeg_texts.h"
#include "platform/ffmpeg/frame_grid.h"
#include "platform/ffmpeg/video_encoder_candidates.h"
#include "platform/media/mf_guids.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;  // sample times are in 100 ns
// The video streams' time base: fine enough for the capture's own time stamps, which need not
// be whole frames apart.
constexpr AVRational kVideoTimeBase{1, 90'000};
// A fragment ends at every key frame and after one second at most; the interleaver may hold a
// stream's packets back for no longer than that while it waits for the other stream.
constexpr const char* kMovFlags = "frag_keyframe+empty_moov+default_base_moof";
constexpr const char* kFragmentDurationUs = "1000000";
constexpr int64_t kMaxInterleaveDeltaUs = 1'000'000;
// The file is pushed to the disk at most this often, so that a power loss costs no more than
// about a second either.
constexpr int64_t kSyncIntervalMs = 1000;
constexpr int kIoBufferBytes = 64 * 1024;
// An audio gap longer than this (samples dropped or lost by the source) is filled with silence
// so that the sound stays in step with the picture.
constexpr int64_t kAudioGapToleranceMs = 100;
constexpr int64_t kMaxSilenceFillSeconds = 10;
// A constant-rate stream's time base holds every slot exactly and is about this fine, so that
// the first frame keeps its own time to within a few microseconds.
constexpr int64_t kGridTicksPerSecond = 90'000;
// A gap in the frames longer than this is not filled with repeats.
constexpr int64_t kMaxRepeatSeconds = 1;
// Sound that came before the first frame waits for it, a second at most.
constexpr size_t kMaxWaitingAudioItems = 100;
// The steering of the sound (steerAudio): the error is smoothed over a second, corrected by half
// a second plus its integral, and the rate changes by a tenth of a percent at most, far below
// what an ear hears as pitch.
constexpr double kSteeringTau = 1.0;
constexpr double kSteeringP = 0.5;
constexpr double kSteeringI = 0.05;
constexpr double kMaxSteeringPpm = 1000;
constexpr int kSteeringDistanceSeconds = 10;

// The rate model: peaks up to one and a half times the average, over a two-second buffer.
constexpr AVRational kPeakToAverage{3, 2};
constexpr int64_t kBufferSeconds = 2;

// The software encoders' speed settings: the fastest that keep the profile asked for, so that
// 1080p60 H.264 and 1080p30 HEVC keep up on two cores beside the preview (bench/ffmpeg).
constexpr const char* kX264Preset = "superfast";
constexpr const char* kX265Preset = "ultrafast";

std::string errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

void logAv(std::string_view what, std::string_view call, int error) {
    logCallFailure(std::string(FfmpegTexts::kDevice) + " " + std::string(what), call,
                   errorText(error));
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* h264ProfileName(uint32_t profile) {
    switch (profile) {
        case 66:
            return "baseline";
        case 77:
            return "main";
        default:
            return "high";
    }
}

int h264AvProfile(uint32_t profile) {
    switch (profile) {
        case 66:
            return FF_PROFILE_H264_CONSTRAINED_BASELINE;
        case 77:
            return FF_PROFILE_H264_MAIN;
        default:
            return FF_PROFILE_H264_HIGH;
    }
}

AVSampleFormat interleavedFormatOf(AudioEncoderSettings::InputFormat format) {
    switch (format) {
        case AudioEncoderSettings::InputFormat::kS32:
            return AV_SAMPLE_FMT_S32;
        case AudioEncoderSettings::InputFormat::kFloat:
            return AV_SAMPLE_FMT_FLT;
        default:
            return AV_SAMPLE_FMT_S16;
    }
}

}  // namespace

struct FfmpegSinkWriter::Stream {
    MediaType output;
    MediaType input;
    bool hasInput = false;
    bool video = false;
    VideoEncoderSettings videoSettings;
    AudioEncoderSettings audioSettings;

    const AVCodec* codec = nullptr;
    AVCodecContext* context = nullptr;
    AVStream* avStream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    uint64_t queued = 0;      // video frames or audio frames waiting in the queue
    uint64_t queueLimit = 0;  // the most of them the queue holds

    // Video.
    AVBufferRef* hardwareDevice = nullptr;
    AVFrame* hardwareFrame = nullptr;
    int64_t lastPts = INT64_MIN;
    int64_t nominalDuration = 0;  // one frame in the encoder's time base
    // Constant frame rate: the grid's rate (0 without one), its slots and their first pts.
    uint32_t gridNumerator = 0;
    uint32_t gridDenominator = 1;
    std::unique_ptr<FrameGrid> grid;
    int64_t gridOriginPts = 0;
    double phaseSum = 0;  // of the frames' times less their slots' (100 ns)
    uint64_t phaseCount = 0;
    bool havePicture = false;  // `frame` holds the last frame sent

    // Audio.
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    bool anchored = false;
    int64_t nextPts = 0;  // the time of the next sample put into the fifo, in samples
    // The steering of the sound's rate (steerAudio): the smoothed error in samples, its integral
    // in sample-seconds and the compensation set last.
    double steeringError = 0;
    double steeringSum = 0;
    int steeringDelta = 0;

    ~Stream() {
        av_frame_free(&frame);
        av_frame_free(&hardwareFrame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
        av_buffer_unref(&hardwareDevice);
        swr_free(&resampler);
        if (fifo != nullptr) av_audio_fifo_free(fifo);
    }
};

FfmpegSinkWriter::FfmpegSinkWriter(std::string path, int fd, bool created, Options options)
    : path_(std::move(path)), fd_(fd), created_(created), options_(options) {}

FfmpegSinkWriter::~FfmpegSinkWriter() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            aborting_ = true;
            finishing_ = true;
        }
        work_.notify_all();
        room_.notify_all();
        thread_.join();
    }
    if (io_ != nullptr) {
        avio_flush(io_);
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (format_ != nullptr) {
        format_->pb = nullptr;
        avformat_free_context(format_);
    }
    streams_.clear();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    // A writer that never wrote its header leaves no empty file behind.
    if (created_ && !headerWritten_) ::unlink(path_.c_str());
}

HRESULT FfmpegSinkWriter::AddStream(const MediaType& targetMediaType, uint32_t* streamIndex) {
    if (begun_) return MF_E_INVALIDREQUEST;
    if (streamIndex == nullptr) return E_POINTER;
    auto stream = std::make_unique<Stream>();
    Guid major;
    if (FAILED(targetMediaType.GetMajorType(&major))) return MF_E_INVALIDMEDIATYPE;
    if (major == MFMediaType_Video) {
        stream->video = true;
    } else if (major != MFMediaType_Audio) {
        return MF_E_INVALIDMEDIATYPE;
    }
    Guid subtype;
    if (FAILED(targetMediaType.GetGUID(MF_MT_SUBTYPE, &subtype))) return MF_E_INVALIDMEDIATYPE;
    const bool known = stream->video
                           ? (subtype == MFVideoFormat_H264 || subtype == MFVideoFormat_HEVC)
                           : (subtype == MFAudioFormat_AAC || subtype == MFAudioFormat_MP3);
    if (!known) return MF_E_INVALIDMEDIATYPE;
    stream->output = targetMediaType;
    streams_.push_back(std::move(stream));
    *streamIndex = static_cast<uint32_t>(streams_.size() - 1);
    return S_OK;
}

HRESULT FfmpegSinkWriter::SetInputMediaType(uint32_t streamIndex, const MediaType& inputMediaType,
                                            const Attributes* encodingParameters) {
    if (begun_) return MF_E_INVALIDREQUEST;
    if (streamIndex >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
    Stream& stream = *streams_[streamIndex];
    const HRESULT hr =
        stream.video
            ? VideoEncoderSettings::fromTypes(stream.output, inputMediaType, &stream.videoSettings)
            : AudioEncoderSettings::fromTypes(stream.output, inputMediaType, &stream.audioSettings);
    if (FAILED(hr)) return hr;
    stream.input = inputMediaType;
    stream.hasInput = true;
    uint32_t numerator = 0, denominator = 0;
    if (stream.video && encodingParameters != nullptr &&
        SUCCEEDED(
            MFGetAttributeRatio(encodingParameters, MF_MT_FRAME_RATE, &numerator, &denominator)) &&
        numerator > 0 && denominator > 0) {
        stream.gridNumerator = numerator;
        stream.gridDenominator = denominator;
    }
    return S_OK;
}

HRESULT FfmpegSinkWriter::openVideoEncoder(Stream& stream) {
    const VideoEncoderSettings& s = stream.videoSettings;
    EncoderBackend& backend = *options_.backend;
    const bool hevc = s.codec == VideoEncoderSettings::Codec::kHevc;
    for (const VideoEncoderCandidate& candidate :
         videoEncoderCandidates(s.codec, options_.preferHardware)) {
        const std::string name(candidate.name);
        auto refuse = [&](std::string_view why) {
            outputDebugString(std::string(FfmpegTexts::kDevice) + ": " +
                              std::string(FfmpegTexts::kEncoderUnavailable) + " " + name + " (" +
                              std::string(why) + ")");
        };
        const AVCodec* codec = backend.findEncoder(name);
        if (codec == nullptr) {
            refuse("not in this libavcodec");
            continue;
        }
        AVBufferRef* device = nullptr;
        if (candidate.kind == VideoEncoderCandidate::Kind::kVaapi) {
            const int error = backend.createHardwareDevice(&device, AV_HWDEVICE_TYPE_VAAPI);
            if (error < 0) {
                refuse("no VAAPI device: " + errorText(error));
                continue;
            }
        }
        AVCodecContext* c = avcodec_alloc_context3(codec);
        if (c == nullptr) {
            av_buffer_unref(&device);
            return E_OUTOFMEMORY;
        }
        c->width = static_cast<int>(s.width);
        c->height = static_cast<int>(s.height);
        c->time_base = kVideoTimeBase;
        if (stream.gridNumerator > 0) {
            // 1/(rate numerator · n): a period of the grid is exactly denominator · n ticks.
            const int64_t n =
                (kGridTicksPerSecond + stream.gridNumerator - 1) / stream.gridNumerator;
            c->time_base = AVRational{1, static_cast<int>(stream.gridNumerator * n)};
        }
        c->framerate = AVRational{static_cast<int>(s.frameRateNumerator),
                                  static_cast<int>(s.frameRateDenominator)};
        c->sample_aspect_ratio = AVRational{1, 1};
        c->bit_rate = s.averageBitRate;
        // The average is kept over seconds, not only over the whole file: without a buffer
        // model the encoders overshoot by half on the first seconds of a detailed picture.
        c->rc_max_rate =
            static_cast<int64_t>(s.averageBitRate) * kPeakToAverage.num / kPeakToAverage.den;
        c->rc_buffer_size = static_cast<int>(
            std::min<int64_t>(INT32_MAX, static_cast<int64_t>(s.averageBitRate) * kBufferSeconds));
        if (s.gopSize > 0) {
            c->gop_size = static_cast<int>(s.gopSize);
            c->keyint_min = static_cast<int>(s.gopSize);
        }
        // No B-frames, as the platform's encoders write by default: every frame is shown in
        // the order it is decoded, so both streams of a fragmented file (which has no edit list
        // to hide a reordering delay) start at 0, and the encoder holds fewer frames back.
        c->max_b_frames = 0;
        c->level = s.level > 0 ? s.bitstreamLevel() : FF_LEVEL_UNKNOWN;
        c->color_range = AVCOL_RANGE_MPEG;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

        AVDictionary* options = nullptr;
        switch (candidate.kind) {
            case VideoEncoderCandidate::Kind::kVaapi: {
                c->pix_fmt = AV_PIX_FMT_VAAPI;
                c->profile = hevc ? FF_PROFILE_HEVC_MAIN : h264AvProfile(s.profile);
                AVBufferRef* frames = av_hwframe_ctx_alloc(device);
                if (frames != nullptr) {
                    auto* fc = reinterpret_cast<AVHWFramesContext*>(frames->data);
                    fc->format = AV_PIX_FMT_VAAPI;
                    fc->sw_format = AV_PIX_FMT_NV12;
                    fc->width = c->width;
                    fc->height = c->height;
                    fc->initial_pool_size = 16;
                    if (av_hwframe_ctx_init(frames) >= 0) c->hw_frames_ctx = av_buffer_ref(frames);
                    av_buffer_unref(&frames);
                }
                break;
            }
            case VideoEncoderCandidate::Kind::kNvenc:
                c->pix_fmt = AV_PIX_FMT_NV12;
                av_dict_set(&options, "profile", hevc ? "main" : h264ProfileName(s.profile), 0);
                if (s.level > 0) av_dict_set_int(&options, "level", s.bitstreamLevel(), 0);
                if (s.lowLatency) av_dict_set(&options, "zerolatency", "1", 0);
                break;
            case VideoEncoderCandidate::Kind::kSoftware:
                if (hevc) {
                    // x265 takes planar 4:2:0 only.
                    c->pix_fmt = AV_PIX_FMT_YUV420P;
                    av_dict_set(&options, "preset", kX265Preset, 0);
                    av_dict_set(&options, "profile", "main", 0);
                    std::string params = "log-level=error:scenecut=0:open-gop=0:bframes=0";
                    params += ":vbv-maxrate=" + std::to_string(c->rc_max_rate / 1000) +
                              ":vbv-bufsize=" + std::to_string(c->rc_buffer_size / 1000);
                    if (s.level > 0) {
                        const int idc = s.x265LevelIdc();
                        params += ":level-idc=" + std::to_string(idc / 10) + "." +
                                  std::to_string(idc % 10);
                    }
                    av_dict_set(&options, "x265-params", params.c_str(), 0);
                } else {
                    c->pix_fmt = AV_PIX_FMT_NV12;
                    av_dict_set(&options, "preset", kX264Preset, 0);
                    av_dict_set(&options, "profile", h264ProfileName(s.profile), 0);
                    av_dict_set(&options, "x264-params", "scenecut=0:open-gop=0:bframes=0", 0);
                }
                if (s.lowLatency) av_dict_set(&options, "tune", "zerolatency", 0);
                break;
        }
        if (candidate.kind == VideoEncoderCandidate::Kind::kVaapi && c->hw_frames_ctx == nullptr) {
            refuse("no VAAPI frames");
            av_dict_free(&options);
            avcodec_free_context(&c);
            av_buffer_unref(&device);
            continue;
        }
        const int error = backend.openEncoder(c, codec, &options);
        av_dict_free(&options);
        if (error < 0) {
            refuse(errorText(error));
            avcodec_free_context(&c);
            av_buffer_unref(&device);
            continue;
        }
        stream.codec = codec;
        stream.context = c;
        stream.hardwareDevice = device;
        outputDebugString(std::string(FfmpegTexts::kDevice) + ": " +
                          std::string(FfmpegTexts::kEncoderChosen) + " " + name + " for " + path_);
        std::lock_guard lock(mutex_);
        statistics_.videoEncoder = name;
        return S_OK;
    }
    outputDebugString(std::string(FfmpegTexts::kDevice) + ": " +
                      std::string(FfmpegTexts::kNoVideoEncoder));
    return MF_E_TOPO_CODEC_NOT_FOUND;
}

HRESULT FfmpegSinkWriter::openAudioEncoder(Stream& stream) {
    const AudioEncoderSettings& s = stream.audioSettings;
    const std::string name = s.codec == AudioEncoderSettings::Codec::kAac ? "aac" : "libmp3lame";
    const AVCodec* codec = options_.backend->findEncoder(name);
    if (codec == nullptr) {
        outputDebugString(std::string(FfmpegTexts::kDevice) + ": " +
                          std::string(FfmpegTexts::kNoAudioEncoder) + " (" + name + ")");
        return MF_E_TOPO_CODEC_NOT_FOUND;
    }
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (c == nullptr) return E_OUTOFMEMORY;
    stream.codec = codec;
    stream.context = c;
    c->sample_rate = static_cast<int>(s.sampleRate);
    av_channel_layout_default(&c->ch_layout, static_cast<int>(s.channels));
    c->bit_rate = s.bitRate;
    c->time_base = AVRational{1, c->sample_rate};
    // Planar float when the encoder takes it (both do), else its first format.
    c->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE;
         ++f) {
        if (*f == AV_SAMPLE_FMT_FLTP) c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    }
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int error = options_.backend->openEncoder(c, codec, nullptr);
    if (error < 0) {
        logAv(name, "avcodec_open2", error);
        return MF_E_TOPO_CODEC_NOT_FOUND;
    }
    AVChannelLayout inLayout;
    av_channel_layout_default(&inLayout, static_cast<int>(s.inputChannels));
    error = swr_alloc_set_opts2(&stream.resampler, &c->ch_layout, c->sample_fmt, c->sample_rate,
                                &inLayout, interleavedFormatOf(s.inputFormat),
                                static_cast<int>(s.inputRate), 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    if (error >= 0) error = swr_init(stream.resampler);
    if (error < 0) {
        logAv(name, "swr_init", error);
        return E_FAIL;
    }
    const int frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    stream.fifo = av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, frameSize * 8);
    if (stream.fifo == nullptr) return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT FfmpegSinkWriter::BeginWriting() {
    if (begun_ || streams_.empty()) return MF_E_INVALIDREQUEST;
    for (const auto& stream : streams_) {
        if (!stream->hasInput) return MF_E_INVALIDREQUEST;
    }
    int error = avformat_alloc_output_context2(&format_, nullptr, "mp4", path_.c_str());
    if (error < 0 || format_ == nullptr) {
        logAv(path_, "avformat_alloc_output_context2", error);
        return E_FAIL;
    }
    for (auto& stream : streams_) {
        const HRESULT hr = stream->video ? openVideoEncoder(*stream) : openAudioEncoder(*stream);
        if (FAILED(hr)) return hr;
        Stream& s = *stream;
        s.frame = av_frame_alloc();
        s.packet = av_packet_alloc();
        if (s.frame == nullptr || s.packet == nullptr) return E_OUTOFMEMORY;
        s.avStream = avformat_new_stream(format_, nullptr);
        if (s.avStream == nullptr) return E_OUTOFMEMORY;
        avcodec_parameters_from_context(s.avStream->codecpar, s.context);
        s.avStream->time_base = s.context->time_base;
        if (s.video) {
            const VideoEncoderSettings& v = s.videoSettings;
            s.avStream->avg_frame_rate = s.context->framerate;
            s.avStream->sample_aspect_ratio = s.context->sample_aspect_ratio;
            // Players on every platform look for HEVC in MP4 under "hvc1".
            if (v.codec == VideoEncoderSettings::Codec::kHevc)
                s.avStream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
            s.nominalDuration = av_rescale_q(v.frameDuration100ns(), AVRational{1, kTicksPerSecond},
                                             s.context->time_base);
            if (s.gridNumerator > 0) {
                s.nominalDuration = static_cast<int64_t>(s.gridDenominator) *
                                    s.context->time_base.den / s.gridNumerator;
                zeroKnown_ = false;
                s.grid = std::make_unique<FrameGrid>(
                    s.gridNumerator, s.gridDenominator,
                    kMaxRepeatSeconds * s.gridNumerator / s.gridDenominator);
            }
            s.queueLimit = std::max<uint64_t>(8, static_cast<uint64_t>(options_.queueSeconds) *
                                                     v.frameRateNumerator / v.frameRateDenominator);
            s.frame->format =
                s.context->pix_fmt == AV_PIX_FMT_VAAPI ? AV_PIX_FMT_NV12 : s.context->pix_fmt;
            s.frame->width = s.context->width;
            s.frame->height = s.context->height;
            if (s.context->hw_frames_ctx != nullptr) s.hardwareFrame = av_frame_alloc();
        } else {
            s.queueLimit = static_cast<uint64_t>(options_.queueSeconds) * s.audioSettings.inputRate;
        }
    }

    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr) return E_OUTOFMEMORY;
    io_ = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr,
                             &FfmpegSinkWriter::writeToFile, &FfmpegSinkWriter::seekInFile);
    if (io_ == nullptr) {
        av_free(buffer);
        return E_OUTOFMEMORY;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    format_->max_interleave_delta = kMaxInterleaveDeltaUs;
    AVDictionary* muxerOptions = nullptr;
    av_dict_set(&muxerOptions, "movflags", kMovFlags, 0);
    av_dict_set(&muxerOptions, "frag_duration", kFragmentDurationUs, 0);
    error = avformat_write_header(format_, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (error < 0) {
        logAv(path_, "avformat_write_header", error);
        return E_FAIL;
    }
    avio_flush(io_);
    if (statistics().writeFailed) return E_FAIL;
    headerWritten_ = true;
    begun_ = true;
    lastSyncMs_ = nowMs();
    thread_ = std::thread([this] { encoderLoop(); });
    return S_OK;
}

HRESULT FfmpegSinkWriter::WriteSample(uint32_t streamIndex, const std::shared_ptr<Sample>& sample) {
    if (!begun_) return MF_E_INVALIDREQUEST;
    if (streamIndex >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
    if (!sample) return E_POINTER;
    Stream& stream = *streams_[streamIndex];
    Item item;
    item.streamIndex = streamIndex;
    if (FAILED(sample->GetSampleTime(&item.time100ns))) return E_INVALIDARG;
    uint64_t units = 1;
    if (stream.video) {
        const VideoEncoderSettings& v = stream.videoSettings;
        uint32_t length = 0;
        sample->GetTotalLength(&length);
        if (static_cast<uint64_t>(length) <
            static_cast<uint64_t>(v.lumaStride) * v.height * 3 / 2) {
            return E_INVALIDARG;
        }
        item.video = sample;
    } else {
        // Audio is copied: the capture reuses its samples, and they are small.
        std::shared_ptr<MediaBuffer> buffer;
        uint8_t* data = nullptr;
        uint32_t length = 0;
        if (FAILED(sample->ConvertToContiguousBuffer(&buffer)) ||
            FAILED(buffer->Lock(&data, nullptr, &length))) {
            return E_INVALIDARG;
        }
        const uint32_t frameBytes = stream.audioSettings.inputBytesPerFrame();
        length -= length % frameBytes;
        item.audio.assign(data, data + length);
        buffer->Unlock();
        units = length / frameBytes;
        if (units == 0) return S_OK;
    }

    std::unique_lock lock(mutex_);
    if (finishing_) return MF_E_INVALIDREQUEST;
    if (stream.queued + units > stream.queueLimit) {
        if (options_.throttlingDisabled) {
            if (stream.video) {
                ++statistics_.videoFramesDropped;
            } else {
                statistics_.audioSamplesDropped += units;
            }
            return MF_E_NOTACCEPTING;
        }
        room_.wait(lock, [&] { return finishing_ || stream.queued + units <= stream.queueLimit; });
        if (finishing_) return MF_E_INVALIDREQUEST;
    }
    stream.queued += units;
    (stream.video ? videoQueue_ : audioQueue_).push_back(std::move(item));
    lock.unlock();
    work_.notify_one();
    return S_OK;
}

void FfmpegSinkWriter::encoderLoop() {
    for (;;) {
        Item item;
        {
            std::unique_lock lock(mutex_);
            const auto idle = [&] { return audioQueue_.empty() && videoQueue_.empty(); };
            work_.wait(lock, [&] { return !idle() || finishing_; });
            if (aborting_ || (idle() && finishing_)) break;
            std::deque<Item>& from = audioQueue_.empty() ? videoQueue_ : audioQueue_;
            item = std::move(from.front());
            from.pop_front();
        }
        Stream& stream = *streams_[item.streamIndex];
        const uint64_t units =
            stream.video ? 1 : item.audio.size() / stream.audioSettings.inputBytesPerFrame();
        if (stream.video) {
            encodeVideo(stream, item);
        } else if (!zeroKnown_) {
            // The sound waits for the first frame, which fixes the file's 0.
            waitingAudio_.push_back(std::move(item));
            if (waitingAudio_.size() > kMaxWaitingAudioItems) startTimeline(0);
        } else {
            encodeAudio(stream, item);
        }
        {
            std::lock_guard lock(mutex_);
            stream.queued -= units;
        }
        room_.notify_all();
    }
    bool aborting = false;
    {
        std::lock_guard lock(mutex_);
        aborting = aborting_;
    }
    if (aborting) return;
    if (!zeroKnown_) startTimeline(0);  // no frame ever came
    for (auto& stream : streams_) {
        if (!stream->video) encodeAudioFrames(*stream, true);
        drain(*stream);
    }
    const int error = av_write_trailer(format_);
    if (error < 0) logAv(path_, "av_write_trailer", error);
    avio_flush(io_);
    if (::fdatasync(fd_) != 0 && errno != EINVAL) logErrno(path_, "fdatasync", errno);
}

void FfmpegSinkWriter::encodeVideo(Stream& stream, Item& item) {
    const VideoEncoderSettings& v = stream.videoSettings;
    FrameGrid::Placement placement;
    if (stream.grid) {
        const bool first = !stream.grid->started();
        placement = stream.grid->place(item.time100ns);
        if (first) {
            // The first frame is the file's 0; the sound is placed against it.
            stream.gridOriginPts = 0;
            startTimeline(stream.grid->originTime());
        }
        if (placement.dropped) {
            std::lock_guard lock(mutex_);
            ++statistics_.videoFramesOffGrid;
            return;
        }
        // Where the frames' own times lie against their slots, on average: the first frame's
        // stamp alone (whole milliseconds) may be up to one off, and the sound follows this.
        const double slotTime = static_cast<double>(stream.grid->originTime()) +
                                static_cast<double>(placement.slot) * kTicksPerSecond *
                                    stream.gridDenominator / stream.gridNumerator;
        stream.phaseSum += static_cast<double>(item.time100ns) - slotTime;
        ++stream.phaseCount;
        videoPhase100ns_ = stream.phaseSum / static_cast<double>(stream.phaseCount);
        // The slots a lost frame left empty show the frame before, still in `frame`.
        for (int64_t k = 0; stream.havePicture && k < placement.repeatCount; ++k) {
            if (!sendPicture(stream, stream.gridOriginPts +
                                         (placement.repeatFirst + k) * stream.nominalDuration))
                break;
            std::lock_guard lock(mutex_);
            ++statistics_.videoFramesRepeated;
        }
    }
    std::shared_ptr<MediaBuffer> buffer;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (FAILED(item.video->ConvertToContiguousBuffer(&buffer)) ||
        FAILED(buffer->Lock(&data, nullptr, &length))) {
        return;
    }
    AVFrame* frame = stream.frame;
    int error =
        frame->data[0] == nullptr ? av_frame_get_buffer(frame, 0) : av_frame_make_writable(frame);
    if (error < 0) {
        buffer->Unlock();
        logAv("video", "av_frame_get_buffer", error);
        return;
    }
    const size_t stride = static_cast<size_t>(v.lumaStride);
    const uint8_t* luma = data;
    const uint8_t* chroma = data + stride * v.height;
    for (uint32_t y = 0; y < v.height; ++y)
        std::memcpy(frame->data[0] + y * static_cast<size_t>(frame->linesize[0]), luma + y * stride,
                    v.width);
    if (frame->format == AV_PIX_FMT_NV12) {
        for (uint32_t y = 0; y < v.height / 2; ++y)
            std::memcpy(frame->data[1] + y * static_cast<size_t>(frame->linesize[1]),
                        chroma + y * stride, v.width);
    } else {
        for (uint32_t y = 0; y < v.height / 2; ++y) {
            const uint8_t* row = chroma + y * stride;
            uint8_t* cb = frame->data[1] + y * static_cast<size_t>(frame->linesize[1]);
            uint8_t* cr = frame->data[2] + y * static_cast<size_t>(frame->linesize[2]);
            for (uint32_t x = 0; x < v.width / 2; ++x) {
                cb[x] = row[2 * x];
                cr[x] = row[2 * x + 1];
            }
        }
    }
    buffer->Unlock();
    buffer.reset();
    item.video.reset();  // the recording may reuse the sample now
    stream.havePicture = true;

    int64_t pts = 0;
    if (stream.grid) {
        pts = stream.gridOriginPts + placement.slot * stream.nominalDuration;
    } else {
        // A frame stamped before the recording's base (the other stream fixed it, on its own
        // reader's clock) is shown from 0: a negative start would shift the whole file.
        pts = std::max<int64_t>(0, av_rescale_q(item.time100ns, AVRational{1, kTicksPerSecond},
                                                stream.context->time_base));
        if (stream.lastPts != INT64_MIN && pts <= stream.lastPts) pts = stream.lastPts + 1;
    }
    stream.lastPts = pts;
    if (!sendPicture(stream, pts)) return;
    std::lock_guard lock(mutex_);
    ++statistics_.videoFramesEncoded;
}

// Sends the picture in `frame` to the encoder at `pts` and writes what comes out.
bool FfmpegSinkWriter::sendPicture(Stream& stream, int64_t pts) {
    AVFrame* send = stream.frame;
    send->pts = pts;
    if (stream.hardwareFrame != nullptr) {
        av_frame_unref(stream.hardwareFrame);
        int error = av_hwframe_get_buffer(stream.context->hw_frames_ctx, stream.hardwareFrame, 0);
        if (error >= 0) error = av_hwframe_transfer_data(stream.hardwareFrame, send, 0);
        if (error < 0) {
            logAv("video", "av_hwframe_transfer_data", error);
            return false;
        }
        stream.hardwareFrame->pts = pts;
        send = stream.hardwareFrame;
    }
    const int error = options_.backend->sendFrame(stream.context, send);
    if (error < 0) {
        logAv("video", "avcodec_send_frame", error);
        return false;
    }
    writePackets(stream);
    return true;
}

void FfmpegSinkWriter::startTimeline(int64_t zero100ns) {
    zeroKnown_ = true;
    zero100ns_ = zero100ns;
    std::deque<Item> waiting = std::move(waitingAudio_);
    waitingAudio_.clear();
    for (Item& item : waiting) encodeAudio(*streams_[item.streamIndex], item);
}

void FfmpegSinkWriter::encodeAudio(Stream& stream, Item& item) {
    const AudioEncoderSettings& a = stream.audioSettings;
    int inFrames = static_cast<int>(item.audio.size() / a.inputBytesPerFrame());
    const uint8_t* in[1] = {item.audio.data()};
    const int rate = stream.context->sample_rate;
    int64_t itemPts =
        std::llround((static_cast<double>(item.time100ns - zero100ns_) - videoPhase100ns_) * rate /
                     kTicksPerSecond);
    if (!stream.anchored && itemPts < 0) {
        // Sound captured before the first frame (its callback came later): the part before the
        // file's 0 is left out.
        const int64_t skip = av_rescale(-itemPts, a.inputRate, rate);
        if (skip >= inFrames) return;
        in[0] += skip * a.inputBytesPerFrame();
        inFrames -= static_cast<int>(skip);
        itemPts = 0;
    }
    itemPts = std::max<int64_t>(0, itemPts);
    if (!stream.anchored) {
        stream.anchored = true;
        // The encoder's first packet holds its priming and ends where the sound begins: started
        // so that this is 0, and then left out, no packet of the file is before 0 and the muxer
        // shifts nothing (it would shift every packet but those it already had).
        const int frameSize = stream.context->frame_size > 0 ? stream.context->frame_size : 1024;
        const int64_t lead = (frameSize - stream.context->initial_padding % frameSize) % frameSize;
        if (itemPts <= rate * kMaxSilenceFillSeconds) {
            stream.nextPts = -lead;
            writeSilence(stream, itemPts + lead);
        } else {
            stream.nextPts = itemPts;
        }
    } else if (const int64_t gap = itemPts - stream.nextPts;
               gap > rate * kAudioGapToleranceMs / 1000 && gap <= rate * kMaxSilenceFillSeconds) {
        // Samples went missing before this one: silence in their place keeps the sound in
        // step with the picture.
        {
            std::lock_guard lock(mutex_);
            statistics_.largestAudioGapFilled100ns = std::max(
                statistics_.largestAudioGapFilled100ns, av_rescale(gap, kTicksPerSecond, rate));
        }
        writeSilence(stream, gap);
    } else {
        steerAudio(stream, itemPts, static_cast<double>(inFrames) / a.inputRate);
    }
    const int outCapacity = swr_get_out_samples(stream.resampler, inFrames);
    uint8_t** converted = nullptr;
    if (outCapacity <= 0 || av_samples_alloc_array_and_samples(
                                &converted, nullptr, stream.context->ch_layout.nb_channels,
                                outCapacity, stream.context->sample_fmt, 0) < 0) {
        return;
    }
    const int outFrames = swr_convert(stream.resampler, converted, outCapacity, in, inFrames);
    if (outFrames > 0) {
        av_audio_fifo_write(stream.fifo, reinterpret_cast<void**>(converted), outFrames);
        stream.nextPts += outFrames;
    }
    av_freep(&converted[0]);
    av_freep(&converted);
    encodeAudioFrames(stream, false);
}

// The sound is one continuous run; its samples' times say where it should be. Their difference,
// smoothed (a millisecond clock's stamps jitter by one), steers the resampler's rate a little
// (a PI loop, at most kMaxSteeringPpm): a box whose audio clock runs off keeps its sound with the
// picture without a sample cut or repeated.
void FfmpegSinkWriter::steerAudio(Stream& stream, int64_t itemPts, double seconds) {
    const int rate = stream.context->sample_rate;
    // Where the sound written so far ends, the samples still inside the resampler included.
    const double written = static_cast<double>(stream.nextPts) +
                           static_cast<double>(swr_get_delay(stream.resampler, rate));
    const double error = static_cast<double>(itemPts) - written;  // > 0: the sound is behind
    stream.steeringError += (error - stream.steeringError) * std::min(1.0, seconds / kSteeringTau);
    const double limit = kMaxSteeringPpm * 1e-6 * rate;
    const double wanted = kSteeringP * stream.steeringError + kSteeringI * stream.steeringSum;
    if (std::fabs(wanted) < limit) stream.steeringSum += stream.steeringError * seconds;
    const double correction = std::clamp(wanted, -limit, limit);  // samples a second
    // Re-set with every change: the resampler stretches the next ten seconds by this much (the
    // first one makes a converter that kept the rate a resampler).
    const int distance = rate * kSteeringDistanceSeconds;
    const auto delta = static_cast<int>(std::lround(correction * kSteeringDistanceSeconds));
    if (delta != stream.steeringDelta) {
        stream.steeringDelta = delta;
        const int failed = swr_set_compensation(stream.resampler, delta, distance);
        if (failed < 0) logAv("audio", "swr_set_compensation", failed);
    }
}

void FfmpegSinkWriter::writeSilence(Stream& stream, int64_t frames) {
    if (frames <= 0) return;
    const int channels = stream.context->ch_layout.nb_channels;
    uint8_t** silence = nullptr;
    if (av_samples_alloc_array_and_samples(&silence, nullptr, channels, static_cast<int>(frames),
                                           stream.context->sample_fmt, 0) < 0) {
        return;
    }
    av_samples_set_silence(silence, 0, static_cast<int>(frames), channels,
                           stream.context->sample_fmt);
    av_audio_fifo_write(stream.fifo, reinterpret_cast<void**>(silence), static_cast<int>(frames));
    av_freep(&silence[0]);
    av_freep(&silence);
    stream.nextPts += frames;
    encodeAudioFrames(stream, false);
}

void FfmpegSinkWriter::encodeAudioFrames(Stream& stream, bool final) {
    AVCodecContext* c = stream.context;
    const int frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    for (;;) {
        const int available = av_audio_fifo_size(stream.fifo);
        if (available <= 0 || (available < frameSize && !final)) return;
        // The encoder's frame size always, except a short last frame where it allows one.
        const bool shortAllowed = (stream.codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
        const int take = std::min(available, frameSize);
        const int frameSamples = (take < frameSize && !shortAllowed) ? frameSize : take;
        AVFrame* frame = stream.frame;
        av_frame_unref(frame);
        frame->nb_samples = frameSamples;
        frame->format = c->sample_fmt;
        frame->sample_rate = c->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
        if (av_frame_get_buffer(frame, 0) < 0) return;
        if (frameSamples > take) {
            av_samples_set_silence(frame->extended_data, take, frameSamples - take,
                                   c->ch_layout.nb_channels, c->sample_fmt);
        }
        frame->pts = stream.nextPts - available;
        av_audio_fifo_read(stream.fifo, reinterpret_cast<void**>(frame->extended_data), take);
        const int error = options_.backend->sendFrame(c, frame);
        if (error < 0) {
            logAv("audio", "avcodec_send_frame", error);
            return;
        }
        writePackets(stream);
    }
}

void FfmpegSinkWriter::drain(Stream& stream) {
    if (options_.backend->sendFrame(stream.context, nullptr) >= 0) writePackets(stream);
}

void FfmpegSinkWriter::writePackets(Stream& stream) {
    for (;;) {
        const int error = avcodec_receive_packet(stream.context, stream.packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return;
        if (error < 0) {
            logAv(stream.video ? "video" : "audio", "avcodec_receive_packet", error);
            return;
        }
        // The sound's priming, before the file's start (see encodeAudio).
        if (!stream.video && stream.packet->pts != AV_NOPTS_VALUE &&
            stream.packet->pts + stream.packet->duration <= 0) {
            av_packet_unref(stream.packet);
            continue;
        }
        // libx264 leaves the durations at 0, which would cost the last frame its length.
        if (stream.packet->duration == 0 && stream.video)
            stream.packet->duration = stream.nominalDuration;
        av_packet_rescale_ts(stream.packet, stream.context->time_base, stream.avStream->time_base);
        stream.packet->stream_index = stream.avStream->index;
        const int written = av_interleaved_write_frame(format_, stream.packet);
        // A failed write of the file was told once already; every packet after it fails too.
        if (written < 0 && writeStatus() == S_OK)
            logAv(path_, "av_interleaved_write_frame", written);
        av_packet_unref(stream.packet);
    }
}

void FfmpegSinkWriter::noteWriteFailure(int error, const char* call) {
    {
        std::lock_guard lock(mutex_);
        // A full disk fails every later write too: the first one is told.
        if (statistics_.writeFailed) return;
        statistics_.writeFailed = true;
        writeError_ = error;
    }
    logErrno(path_, call, error);
}

HRESULT FfmpegSinkWriter::writeStatus() const {
    std::lock_guard lock(mutex_);
    if (!statistics_.writeFailed) return S_OK;
    return static_cast<HRESULT>(0x80070000u | (static_cast<uint32_t>(writeError_) & 0xFFFF));
}

int FfmpegSinkWriter::writeToFile(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<FfmpegSinkWriter*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(self->fd_, data + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            self->noteWriteFailure(error, "write");
            return AVERROR(error);
        }
        done += static_cast<int>(n);
    }
    {
        std::lock_guard lock(self->mutex_);
        self->statistics_.bytesWritten += static_cast<uint64_t>(size);
    }
    // What reached the kernel reaches the disk within about a second.
    if (const int64_t now = nowMs(); now - self->lastSyncMs_ >= kSyncIntervalMs) {
        self->lastSyncMs_ = now;
        if (::fdatasync(self->fd_) != 0 && errno != EINVAL)
            logErrno(self->path_, "fdatasync", errno);
        // Writes to a file whose name is gone (its folder deleted under the recording) succeed
        // into a file no one can ever open: as lost as on a full disk.
        struct stat st {};
        if (::fstat(self->fd_, &st) == 0 && st.st_nlink == 0) {
            self->noteWriteFailure(ENOENT, "write (the file was removed)");
            return AVERROR(ENOENT);
        }
    }
    return size;
}

int64_t FfmpegSinkWriter::seekInFile(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<FfmpegSinkWriter*>(opaque);
    if (whence == AVSEEK_SIZE) {
        const off_t here = ::lseek(self->fd_, 0, SEEK_CUR);
        const off_t end = ::lseek(self->fd_, 0, SEEK_END);
        ::lseek(self->fd_, here, SEEK_SET);
        return end;
    }
    const off_t at = ::lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
    if (at < 0) {
        logErrno(self->path_, "lseek", errno);
        return AVERROR(errno);
    }
    return at;
}

HRESULT FfmpegSinkWriter::Finalize() {
    if (!begun_ || finalized_) return MF_E_INVALIDREQUEST;
    finalized_ = true;
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    work_.notify_all();
    room_.notify_all();
    thread_.join();
    const Statistics s = statistics();
    if (s.videoFramesDropped > 0 || s.audioSamplesDropped > 0) {
        outputDebugString(std::string(FfmpegTexts::kDevice) + ": " +
                          std::string(FfmpegTexts::kDropped) + " " +
                          std::to_string(s.videoFramesDropped) + " video frames, " +
                          std::to_string(s.audioSamplesDropped) + " audio frames (" + path_ + ")");
    }
    // The recording's own account, one line whatever happened.
    outputDebugString(
        std::string(FfmpegTexts::kDevice) + ": " + std::string(FfmpegTexts::kAccount) + " " +
        std::to_string(s.videoFramesEncoded + s.videoFramesRepeated) + ", dropped " +
        std::to_string(s.videoFramesDropped + s.videoFramesOffGrid) + ", repeated " +
        std::to_string(s.videoFramesRepeated) + "; largest audio gap filled " +
        std::to_string(s.largestAudioGapFilled100ns / 10'000) + " ms (" + path_ + ")");
    av_freep(&io_->buffer);
    avio_context_free(&io_);
    format_->pb = nullptr;
    if (::close(fd_) != 0) noteWriteFailure(errno, "close");
    fd_ = -1;
    if (statistics().writeFailed) {
        outputDebugString(std::string(FfmpegTexts::kDevice) + ": " +
                          std::string(FfmpegTexts::kWriteFailed) + " (" + path_ + ")");
        return E_FAIL;
    }
    return S_OK;
}

FfmpegSinkWriter::Statistics FfmpegSinkWriter::statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

}  // namespace tovrel::platform
