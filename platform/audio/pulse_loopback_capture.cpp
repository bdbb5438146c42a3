#include "platform/audio/pulse_loopback_capture.h"

#include <pulse/pulseaudio.h>

#include <cstring>

#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

constexpr char kServer[] = "pulse server";
constexpr int64_t kTicksPerSecond = 10'000'000;
// The server hands over what the monitor produced in pieces of this length, and keeps up to
// this much when the reader falls behind.
constexpr uint32_t kFragmentMs = 10;
constexpr uint32_t kMaxBufferedMs = 1000;

void signalLoop(pa_threaded_mainloop* loop) { pa_threaded_mainloop_signal(loop, 0); }

// The format the stream records: the sink's own where the writer takes it, else float.
pa_sample_format_t recordedFormat(pa_sample_format_t sink) {
    switch (sink) {
        case PA_SAMPLE_S16LE:
        case PA_SAMPLE_S32LE:
        case PA_SAMPLE_FLOAT32LE:
            return sink;
        default:
            return PA_SAMPLE_FLOAT32LE;
    }
}

WaveFormatExtensible waveFormatOf(pa_sample_format_t format, uint32_t rate, uint8_t channels) {
    WaveFormatExtensible w;
    w.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = format == PA_SAMPLE_S16LE ? 16 : 32;
    w.Samples.wValidBitsPerSample = w.wBitsPerSample;
    w.nBlockAlign = static_cast<uint16_t>(channels * w.wBitsPerSample / 8);
    w.nAvgBytesPerSec = rate * w.nBlockAlign;
    w.SubFormat =
        format == PA_SAMPLE_FLOAT32LE ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
    return w;
}

struct SinkAnswer {
    pa_threaded_mainloop* loop = nullptr;
    bool done = false;
    bool found = false;
    std::string name;
    std::string monitor;
    pa_sample_spec sampleFormat{};
};

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* answer = static_cast<SinkAnswer*>(userdata);
    if (info != nullptr) {
        answer->found = true;
        answer->name = info->name;
        answer->monitor = info->monitor_source_name != nullptr ? info->monitor_source_name : "";
        answer->sampleFormat = info->sample_spec;
    }
    if (eol != 0 || info == nullptr) {
        answer->done = true;
        signalLoop(answer->loop);
    }
}

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* answer = static_cast<SinkAnswer*>(userdata);
    if (info != nullptr && info->default_sink_name != nullptr)
        answer->name = info->default_sink_name;
    answer->done = true;
    signalLoop(answer->loop);
}

}  // namespace

PulseLoopbackCapture::PulseLoopbackCapture() = default;

std::unique_ptr<PulseLoopbackCapture> PulseLoopbackCapture::connect() {
    std::unique_ptr<PulseLoopbackCapture> capture(new PulseLoopbackCapture());
    if (!capture->start()) return nullptr;
    return capture;
}

bool PulseLoopbackCapture::waitFor(const bool& done) {
    while (!done) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) return false;
        pa_threaded_mainloop_wait(loop_);
    }
    return true;
}

bool PulseLoopbackCapture::start() {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) {
        logCallFailure(kServer, "pa_threaded_mainloop_new", "out of memory");
        return false;
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Tovrel screen recording");
    if (context_ == nullptr) {
        logCallFailure(kServer, "pa_context_new", "out of memory");
        return false;
    }
    pa_context_set_state_callback(
        context_,
        [](pa_context*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); },
        loop_);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        logCallFailure(kServer, "pa_context_connect", pa_strerror(pa_context_errno(context_)));
        return false;
    }
    if (pa_threaded_mainloop_start(loop_) < 0) {
        logCallFailure(kServer, "pa_threaded_mainloop_start", "failed");
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            logCallFailure(kServer, "pa_context_connect", pa_strerror(pa_context_errno(context_)));
            pa_threaded_mainloop_unlock(loop_);
            return false;
        }
        pa_threaded_mainloop_wait(loop_);
    }
    const bool found = readDefaultSink();
    if (found) {
        pa_context_set_subscribe_callback(
            context_,
            [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
                const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
                if (facility == PA_SUBSCRIPTION_EVENT_SERVER)
                    static_cast<PulseLoopbackCapture*>(self)->followDefault();
            },
            this);
        if (pa_operation* op =
                pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr)) {
            pa_operation_unref(op);
        }
    }
    pa_threaded_mainloop_unlock(loop_);
    return found;
}

// Main loop locked.
bool PulseLoopbackCapture::readDefaultSink() {
    SinkAnswer server;
    server.loop = loop_;
    pa_operation* op = pa_context_get_server_info(context_, onServerInfo, &server);
    if (op == nullptr || !waitFor(server.done)) {
        if (op != nullptr) pa_operation_unref(op);
        logCallFailure(kServer, "pa_context_get_server_info",
                       pa_strerror(pa_context_errno(context_)));
        return false;
    }
    pa_operation_unref(op);
    if (server.name.empty()) {
        logCallFailure(kServer, "pa_context_get_server_info", "no default sink");
        return false;
    }
    SinkAnswer sink;
    sink.loop = loop_;
    op = pa_context_get_sink_info_by_name(context_, server.name.c_str(), onSinkInfo, &sink);
    if (op == nullptr || !waitFor(sink.done) || !sink.found || sink.monitor.empty()) {
        if (op != nullptr) pa_operation_unref(op);
        logCallFailure(kServer + std::string(" sink ") + server.name,
                       "pa_context_get_sink_info_by_name", pa_strerror(pa_context_errno(context_)));
        return false;
    }
    pa_operation_unref(op);
    sinkName_ = sink.name;
    monitorName_ = sink.monitor;
    const pa_sample_format_t format = recordedFormat(sink.sampleFormat.format);
    paFormat_ = format;
    format_ = waveFormatOf(format, sink.sampleFormat.rate, sink.sampleFormat.channels);
    return true;
}

// Main-loop thread, inside a callback: nothing here may wait for the server.
void PulseLoopbackCapture::followDefault() {
    pa_operation* op = pa_context_get_server_info(
        context_,
        [](pa_context* c, const pa_server_info* info, void* userdata) {
            auto* self = static_cast<PulseLoopbackCapture*>(userdata);
            if (info == nullptr || info->default_sink_name == nullptr ||
                self->sinkName_ == info->default_sink_name) {
                return;
            }
            pa_operation* sinkOp = pa_context_get_sink_info_by_name(
                c, info->default_sink_name,
                [](pa_context* c2, const pa_sink_info* sink, int, void* userdata2) {
                    auto* me = static_cast<PulseLoopbackCapture*>(userdata2);
                    if (sink == nullptr || sink->monitor_source_name == nullptr) return;
                    me->sinkName_ = sink->name;
                    me->monitorName_ = sink->monitor_source_name;
                    outputDebugString(std::string("loopback: the default output is now ") +
                                      sink->name + ", recording " + me->monitorName_);
                    if (me->stream_ == nullptr) return;
                    pa_operation* move = pa_context_move_source_output_by_name(
                        c2, pa_stream_get_index(me->stream_), me->monitorName_.c_str(),
                        [](pa_context* c3, int success, void* name) {
                            if (!success) {
                                logCallFailure(std::string(kServer) + " source " +
                                                   static_cast<std::string*>(name)->c_str(),
                                               "pa_context_move_source_output_by_name",
                                               pa_strerror(pa_context_errno(c3)));
                            }
                        },
                        &me->monitorName_);
                    if (move != nullptr) pa_operation_unref(move);
                },
                self);
            if (sinkOp != nullptr) pa_operation_unref(sinkOp);
        },
        this);
    if (op != nullptr) pa_operation_unref(op);
}

PulseLoopbackCapture::~PulseLoopbackCapture() {
    if (loop_ != nullptr) {
        pa_threaded_mainloop_lock(loop_);
        if (stream_ != nullptr) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_ != nullptr) pa_context_disconnect(context_);
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
    }
    if (context_ != nullptr) pa_context_unref(context_);
    if (loop_ != nullptr) pa_threaded_mainloop_free(loop_);
}

std::string PulseLoopbackCapture::monitorName() const {
    pa_threaded_mainloop_lock(loop_);
    std::string name = monitorName_;
    pa_threaded_mainloop_unlock(loop_);
    return name;
}

HRESULT PulseLoopbackCapture::GetMixFormat(WaveFormatExtensible* format) {
    if (format == nullptr) return E_POINTER;
    *format = format_;
    return S_OK;
}

HRESULT PulseLoopbackCapture::Initialize(int64_t bufferDuration100ns) {
    if (stream_ != nullptr) return AUDCLNT_E_ALREADY_INITIALIZED;
    bufferFrames_ =
        static_cast<uint32_t>(bufferDuration100ns * format_.nSamplesPerSec / kTicksPerSecond);
    pa_sample_spec sampleFormat{};
    sampleFormat.format = static_cast<pa_sample_format_t>(paFormat_);
    sampleFormat.rate = format_.nSamplesPerSec;
    sampleFormat.channels = static_cast<uint8_t>(format_.nChannels);
    pa_buffer_attr attr{};
    attr.maxlength = format_.nAvgBytesPerSec * kMaxBufferedMs / 1000;
    attr.fragsize = format_.nAvgBytesPerSec * kFragmentMs / 1000;
    attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);

    pa_threaded_mainloop_lock(loop_);
    HRESULT hr = S_OK;
    stream_ = pa_stream_new(context_, "Screen recording", &sampleFormat, nullptr);
    if (stream_ == nullptr) {
        logCallFailure(kServer, "pa_stream_new", pa_strerror(pa_context_errno(context_)));
        hr = AUDCLNT_E_DEVICE_INVALIDATED;
    } else {
        pa_stream_set_state_callback(
            stream_,
            [](pa_stream*, void* loop) { signalLoop(static_cast<pa_threaded_mainloop*>(loop)); },
            loop_);
        if (pa_stream_connect_record(stream_, monitorName_.c_str(), &attr,
                                     static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                                    PA_STREAM_START_CORKED)) < 0) {
            hr = E_FAIL;
        } else {
            for (;;) {
                const pa_stream_state_t state = pa_stream_get_state(stream_);
                if (state == PA_STREAM_READY) break;
                if (!PA_STREAM_IS_GOOD(state)) {
                    hr = E_FAIL;
                    break;
                }
                pa_threaded_mainloop_wait(loop_);
            }
        }
        if (FAILED(hr)) {
            logCallFailure(std::string(kServer) + " source " + monitorName_,
                           "pa_stream_connect_record", pa_strerror(pa_context_errno(context_)));
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
    }
    pa_threaded_mainloop_unlock(loop_);
    return hr;
}

HRESULT PulseLoopbackCapture::GetBufferSize(uint32_t* numBufferFrames) {
    if (numBufferFrames == nullptr) return E_POINTER;
    if (stream_ == nullptr) return AUDCLNT_E_NOT_INITIALIZED;
    *numBufferFrames = bufferFrames_;
    return S_OK;
}

HRESULT PulseLoopbackCapture::Start() {
    if (stream_ == nullptr) return AUDCLNT_E_NOT_INITIALIZED;
    pa_threaded_mainloop_lock(loop_);
    if (pa_operation* op = pa_stream_cork(stream_, 0, nullptr, nullptr)) pa_operation_unref(op);
    pa_threaded_mainloop_unlock(loop_);
    return S_OK;
}

HRESULT PulseLoopbackCapture::Stop() {
    if (stream_ == nullptr) return AUDCLNT_E_NOT_INITIALIZED;
    pa_threaded_mainloop_lock(loop_);
    if (pa_operation* op = pa_stream_cork(stream_, 1, nullptr, nullptr)) pa_operation_unref(op);
    pa_threaded_mainloop_unlock(loop_);
    return S_OK;
}

// Main loop locked. The fragment stays offered until pa_stream_drop.
HRESULT PulseLoopbackCapture::peek(uint32_t* frames, const void** data) {
    if (stream_ == nullptr) return AUDCLNT_E_NOT_INITIALIZED;
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) return AUDCLNT_E_DEVICE_INVALIDATED;
    size_t bytes = 0;
    if (pa_stream_peek(stream_, data, &bytes) < 0) {
        logCallFailure(std::string(kServer) + " source " + monitorName_, "pa_stream_peek",
                       pa_strerror(pa_context_errno(context_)));
        return AUDCLNT_E_DEVICE_INVALIDATED;
    }
    *frames = static_cast<uint32_t>(bytes / format_.nBlockAlign);
    return S_OK;
}

HRESULT PulseLoopbackCapture::GetNextPacketSize(uint32_t* numFramesInNextPacket) {
    if (numFramesInNextPacket == nullptr) return E_POINTER;
    pa_threaded_mainloop_lock(loop_);
    const void* data = nullptr;
    const HRESULT hr = peek(numFramesInNextPacket, &data);
    pa_threaded_mainloop_unlock(loop_);
    return hr;
}

HRESULT PulseLoopbackCapture::GetBuffer(uint8_t** data, uint32_t* numFramesToRead,
                                        uint32_t* flags) {
    if (data == nullptr || numFramesToRead == nullptr || flags == nullptr) return E_POINTER;
    if (held_) return AUDCLNT_E_OUT_OF_ORDER;
    pa_threaded_mainloop_lock(loop_);
    const void* peeked = nullptr;
    uint32_t frames = 0;
    const HRESULT hr = peek(&frames, &peeked);
    pa_threaded_mainloop_unlock(loop_);
    if (FAILED(hr)) return hr;
    *flags = 0;
    *numFramesToRead = frames;
    if (frames == 0) {
        *data = nullptr;
        return S_OK;
    }
    if (peeked == nullptr) {
        // A hole: the server lost what the monitor had there.
        silence_.assign(static_cast<size_t>(frames) * format_.nBlockAlign, 0);
        *data = silence_.data();
        *flags = AUDCLNT_BUFFERFLAGS_SILENT;
    } else {
        *data = static_cast<uint8_t*>(const_cast<void*>(peeked));
    }
    held_ = true;
    return S_OK;
}

HRESULT PulseLoopbackCapture::ReleaseBuffer(uint32_t numFramesRead) {
    if (!held_) return numFramesRead == 0 ? S_OK : AUDCLNT_E_OUT_OF_ORDER;
    held_ = false;
    if (numFramesRead == 0) return S_OK;
    pa_threaded_mainloop_lock(loop_);
    pa_stream_drop(stream_);
    pa_threaded_mainloop_unlock(loop_);
    return S_OK;
}

}  // namespace tovrel::platform
