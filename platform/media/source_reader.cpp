#include "platform/media/source_reader.h"

#include <cstring>

#include "imaging/pixel_conversion.h"
#include "platform/media/mf_guids.h"

namespace tovrel::platform {

namespace {

constexpr uint32_t kPullTimeoutMs = 100;
constexpr uint32_t kPullSliceMs = 20;  // several streams waiting: take turns

bool rateMatches(uint64_t requested, uint64_t native) {
    const uint64_t rn = requested >> 32, rd = requested & 0xFFFFFFFFu;
    const uint64_t nn = native >> 32, nd = native & 0xFFFFFFFFu;
    if (rn * nd == nn * rd) return true;
    // A whole-number request (what a catalogue of whole frames per second hands back) picks the
    // native rate it was truncated from: 59/1 finds 60000/1001.
    return rd == 1 && nd != 0 && nn / nd == rn;
}

// Every attribute of `requested` that `native` also carries must agree.
bool typeMatches(const MediaType& native, const MediaType& requested, bool ignoreSubtype) {
    const uint32_t count = requested.GetCount();
    for (uint32_t i = 0; i < count; ++i) {
        Guid key;
        Attributes::Value wanted;
        if (FAILED(requested.GetItemByIndex(i, &key, &wanted))) continue;
        if (ignoreSubtype && key == MF_MT_SUBTYPE) continue;
        Attributes::Value have;
        if (FAILED(native.GetItem(key, &have))) continue;
        if (key == MF_MT_FRAME_RATE && std::holds_alternative<uint64_t>(wanted) &&
            std::holds_alternative<uint64_t>(have)) {
            if (!rateMatches(std::get<uint64_t>(wanted), std::get<uint64_t>(have))) return false;
            continue;
        }
        if (!(have == wanted)) return false;
    }
    return true;
}

Guid subtypeOf(const MediaType& type) {
    Guid subtype;
    type.GetGUID(MF_MT_SUBTYPE, &subtype);
    return subtype;
}

MediaType yuy2From(const MediaType& nv12) {
    MediaType out(nv12);
    out.SetGUID(MF_MT_SUBTYPE, MFVideoFormat_YUY2);
    uint32_t width = 0, height = 0;
    if (SUCCEEDED(MFGetAttributeSize(&out, MF_MT_FRAME_SIZE, &width, &height))) {
        out.SetUINT32(MF_MT_DEFAULT_STRIDE, width * 2);
        out.SetUINT32(MF_MT_SAMPLE_SIZE, width * height * 2);
    }
    return out;
}

}  // namespace

struct SourceReader::StreamState {
    std::vector<MediaType> natives;
    uint32_t nativeIndex = 0;
    MediaType output;
    bool isVideo = false;
    bool isAudio = false;
    bool convertNv12 = false;
    bool selected = true;
    bool started = false;
    bool pending = false;
    uint64_t generation = 0;
    HRESULT failure = S_OK;  // a failed stream answers every later read with this
};

struct SourceReader::Shared {
    std::shared_ptr<MediaSource> source;
    std::shared_ptr<SourceReaderCallback> callback;
    bool videoProcessing = false;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool detached = false;
    std::vector<StreamState> streams;
    std::vector<uint32_t> flushed;  // streams whose OnFlush is due
    uint32_t nextStream = 0;
    std::unique_ptr<SamplePool> convertPool;  // worker thread only

    // Turns one pulled result into what the caller receives. Worker or synchronous caller.
    void process(uint32_t stream, bool convert, SourceReadResult* result);
    void stopStartedStreams();
};

void SourceReader::Shared::process(uint32_t stream, bool convert, SourceReadResult* result) {
    if (result->streamFlags & MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED) {
        std::lock_guard lock(mutex);
        StreamState& state = streams[stream];
        uint32_t index = state.nativeIndex;
        std::vector<MediaType> types;
        if (SUCCEEDED(source->nativeTypes(stream, &types))) state.natives = std::move(types);
        if (SUCCEEDED(source->currentNativeIndex(stream, &index)) && index < state.natives.size()) {
            state.nativeIndex = index;
            const MediaType& native = state.natives[index];
            state.convertNv12 = state.convertNv12 && subtypeOf(native) == MFVideoFormat_NV12;
            state.output = state.convertNv12 ? yuy2From(native) : native;
        }
        convert = state.convertNv12;
        result->streamFlags |= MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED;
    }
    if (!convert || !result->sample) return;

    uint32_t width = 0, height = 0;
    {
        std::lock_guard lock(mutex);
        MFGetAttributeSize(&streams[stream].output, MF_MT_FRAME_SIZE, &width, &height);
    }
    const uint32_t yuy2Bytes = width * height * 2;
    if (!convertPool || convertPool->bufferBytes() != yuy2Bytes) {
        convertPool = std::make_unique<SamplePool>(yuy2Bytes, 64, 4);
    }
    std::shared_ptr<Sample> converted = convertPool->acquire();
    if (!converted) return;  // consumers hold every frame: pass the original on
    MemoryBuffer* out = SamplePool::bufferOf(converted);
    std::shared_ptr<MediaBuffer> in;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (SUCCEEDED(result->sample->ConvertToContiguousBuffer(&in)) &&
        SUCCEEDED(in->Lock(&data, nullptr, &length))) {
        // A short NV12 frame would be read past its end: deliver an empty frame instead.
        if (static_cast<uint64_t>(length) >= static_cast<uint64_t>(width) * height * 3 / 2) {
            // The reader's video processor.
            const auto w = static_cast<int32_t>(width);
            const auto h = static_cast<int32_t>(height);
            if (imaging::convertNv12ToYuy2(data, w, data + static_cast<size_t>(width) * height, w,
                                           out->data(), 2 * w,
                                           imaging::Size{w, h}) == imaging::kDone) {
                out->SetCurrentLength(yuy2Bytes);
            }
        }
        in->Unlock();
    }
    int64_t value = 0;
    if (SUCCEEDED(result->sample->GetSampleTime(&value))) converted->SetSampleTime(value);
    if (SUCCEEDED(result->sample->GetSampleDuration(&value))) converted->SetSampleDuration(value);
    result->sample->CopyAllItems(converted.get());
    result->sample = std::move(converted);
}

void SourceReader::Shared::stopStartedStreams() {
    std::vector<uint32_t> started;
    {
        std::lock_guard lock(mutex);
        for (uint32_t i = 0; i < streams.size(); ++i) {
            if (streams[i].started) started.push_back(i);
            streams[i].started = false;
        }
    }
    for (uint32_t stream : started) source->stopStream(stream);
}

SourceReader::SourceReader(std::shared_ptr<MediaSource> source, const Attributes* attributes)
    : shared_(std::make_shared<Shared>()) {
    shared_->source = std::move(source);
    if (attributes != nullptr) {
        attributes->GetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, &shared_->callback);
        uint32_t processing = 0;
        if (SUCCEEDED(
                attributes->GetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, &processing))) {
            shared_->videoProcessing = processing != 0;
        }
    }
    const uint32_t count = shared_->source->streamCount();
    shared_->streams.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        StreamState& state = shared_->streams[i];
        shared_->source->nativeTypes(i, &state.natives);
        shared_->source->currentNativeIndex(i, &state.nativeIndex);
        if (state.nativeIndex >= state.natives.size()) state.nativeIndex = 0;
        if (!state.natives.empty()) {
            state.output = state.natives[state.nativeIndex];
            state.isVideo = state.output.IsVideo();
            state.isAudio = state.output.IsAudio();
        }
    }
    if (shared_->callback) worker_ = std::thread(&SourceReader::workerLoop, shared_);
}

SourceReader::~SourceReader() { Shutdown(); }

HRESULT SourceReader::Shutdown() {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->stopping) return S_OK;
        shared_->stopping = true;
    }
    shared_->wake.notify_all();
    for (uint32_t i = 0; i < shared_->streams.size(); ++i) shared_->source->cancelPull(i);
    if (worker_.joinable()) {
        if (worker_.get_id() == std::this_thread::get_id()) {
            // Released from inside its own callback: the worker stops the streams on its way out.
            {
                std::lock_guard lock(shared_->mutex);
                shared_->detached = true;
            }
            worker_.detach();
            return S_OK;
        }
        worker_.join();
    }
    shared_->stopStartedStreams();
    return S_OK;
}

void SourceReader::workerLoop(std::shared_ptr<Shared> shared) {
    for (;;) {
        uint32_t stream = 0;
        uint64_t generation = 0;
        bool convert = false;
        uint32_t timeoutMs = kPullTimeoutMs;
        std::vector<uint32_t> flushed;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] {
                if (shared->stopping || !shared->flushed.empty()) return true;
                for (const auto& state : shared->streams) {
                    if (state.pending) return true;
                }
                return false;
            });
            if (shared->stopping) break;
            flushed.swap(shared->flushed);
            if (flushed.empty()) {
                const uint32_t count = static_cast<uint32_t>(shared->streams.size());
                uint32_t waiting = 0;
                bool found = false;
                for (uint32_t k = 0; k < count; ++k) {
                    const uint32_t i = (shared->nextStream + k) % count;
                    if (!shared->streams[i].pending) continue;
                    ++waiting;
                    if (!found) {
                        found = true;
                        stream = i;
                    }
                }
                shared->nextStream = (stream + 1) % count;
                generation = shared->streams[stream].generation;
                convert = shared->streams[stream].convertNv12;
                if (waiting > 1) timeoutMs = kPullSliceMs;
            }
        }
        if (!flushed.empty()) {
            for (uint32_t s : flushed) shared->callback->OnFlush(s);
            continue;
        }

        SourceReadResult result;
        HRESULT hr = shared->source->pullSample(stream, timeoutMs, &result);
        if (hr == S_FALSE) continue;
        {
            std::lock_guard lock(shared->mutex);
            StreamState& state = shared->streams[stream];
            if (shared->stopping || !state.pending || state.generation != generation) continue;
            state.pending = false;
            if (FAILED(hr)) {
                state.failure = hr;
            } else if (FAILED(result.status)) {
                state.failure = result.status;
            }
        }
        if (FAILED(hr)) {
            shared->callback->OnReadSample(hr, stream, MF_SOURCE_READERF_ERROR, 0, nullptr);
            continue;
        }
        if (FAILED(result.status)) result.streamFlags |= MF_SOURCE_READERF_ERROR;
        shared->process(stream, convert, &result);
        shared->callback->OnReadSample(result.status, stream, result.streamFlags,
                                       result.timestamp100ns, result.sample);
    }
    bool detached = false;
    {
        std::lock_guard lock(shared->mutex);
        detached = shared->detached;
    }
    if (detached) shared->stopStartedStreams();
}

HRESULT SourceReader::resolve(uint32_t streamIndex, uint32_t* stream) {
    const auto& streams = shared_->streams;
    for (uint32_t i = 0; i < streams.size(); ++i) {
        if ((streamIndex == MF_SOURCE_READER_FIRST_VIDEO_STREAM && streams[i].isVideo) ||
            (streamIndex == MF_SOURCE_READER_FIRST_AUDIO_STREAM && streams[i].isAudio) ||
            streamIndex == i) {
            *stream = i;
            return S_OK;
        }
    }
    return MF_E_INVALIDSTREAMNUMBER;
}

HRESULT SourceReader::ReadSample(uint32_t streamIndex, uint32_t /*controlFlags*/,
                                 uint32_t* actualStreamIndex, uint32_t* streamFlags,
                                 int64_t* timestamp, std::shared_ptr<Sample>* sample) {
    const bool async = static_cast<bool>(shared_->callback);
    if (async && (actualStreamIndex || streamFlags || timestamp || sample)) return E_INVALIDARG;
    if (!async && (!streamFlags || !sample)) return E_POINTER;
    uint32_t stream = 0;
    bool start = false;
    {
        std::lock_guard lock(shared_->mutex);
        HRESULT hr = resolve(streamIndex, &stream);
        if (FAILED(hr)) return hr;
        if (shared_->stopping) return MF_E_SHUTDOWN;
        StreamState& state = shared_->streams[stream];
        if (FAILED(state.failure)) return state.failure;
        if (!state.selected) return MF_E_INVALIDREQUEST;
        if (state.pending) return MF_E_NOTACCEPTING;
        start = !state.started;
        state.started = true;
        if (async) state.pending = true;
    }
    if (start) {
        HRESULT hr = shared_->source->startStream(stream);
        if (FAILED(hr)) {
            std::lock_guard lock(shared_->mutex);
            shared_->streams[stream].pending = false;
            shared_->streams[stream].started = false;
            return hr;
        }
    }
    if (async) {
        shared_->wake.notify_all();
        return S_OK;
    }

    SourceReadResult result;
    HRESULT hr = S_FALSE;
    while (hr == S_FALSE) hr = shared_->source->pullSample(stream, kPullTimeoutMs, &result);
    if (actualStreamIndex) *actualStreamIndex = stream;
    if (FAILED(hr)) {
        std::lock_guard lock(shared_->mutex);
        shared_->streams[stream].failure = hr;
        *streamFlags = MF_SOURCE_READERF_ERROR;
        sample->reset();
        return hr;
    }
    bool convert = false;
    {
        std::lock_guard lock(shared_->mutex);
        convert = shared_->streams[stream].convertNv12;
        if (FAILED(result.status)) shared_->streams[stream].failure = result.status;
    }
    shared_->process(stream, convert, &result);
    *streamFlags = result.streamFlags | (FAILED(result.status) ? MF_SOURCE_READERF_ERROR : 0);
    if (timestamp) *timestamp = result.timestamp100ns;
    *sample = result.sample;
    return result.status;
}

HRESULT SourceReader::GetNativeMediaType(uint32_t streamIndex, uint32_t typeIndex,
                                         std::unique_ptr<MediaType>* mediaType) {
    if (mediaType == nullptr) return E_POINTER;
    std::lock_guard lock(shared_->mutex);
    uint32_t stream = 0;
    HRESULT hr = resolve(streamIndex, &stream);
    if (FAILED(hr)) return hr;
    const auto& natives = shared_->streams[stream].natives;
    if (typeIndex >= natives.size()) return MF_E_NO_MORE_TYPES;
    *mediaType = std::make_unique<MediaType>(natives[typeIndex]);
    return S_OK;
}

HRESULT SourceReader::GetCurrentMediaType(uint32_t streamIndex,
                                          std::unique_ptr<MediaType>* mediaType) {
    if (mediaType == nullptr) return E_POINTER;
    std::lock_guard lock(shared_->mutex);
    uint32_t stream = 0;
    HRESULT hr = resolve(streamIndex, &stream);
    if (FAILED(hr)) return hr;
    if (shared_->streams[stream].natives.empty()) return MF_E_INVALIDREQUEST;
    *mediaType = std::make_unique<MediaType>(shared_->streams[stream].output);
    return S_OK;
}

HRESULT SourceReader::SetCurrentMediaType(uint32_t streamIndex, const MediaType& mediaType) {
    uint32_t stream = 0;
    uint32_t select = UINT32_MAX;
    bool convert = false;
    {
        std::lock_guard lock(shared_->mutex);
        HRESULT hr = resolve(streamIndex, &stream);
        if (FAILED(hr)) return hr;
        StreamState& state = shared_->streams[stream];
        if (state.natives.empty()) return MF_E_INVALIDMEDIATYPE;
        Guid wantedMajor, nativeMajor;
        if (SUCCEEDED(mediaType.GetMajorType(&wantedMajor)) &&
            SUCCEEDED(state.natives[0].GetMajorType(&nativeMajor)) && wantedMajor != nativeMajor) {
            return MF_E_INVALIDMEDIATYPE;
        }
        Guid wantedSubtype;
        const bool hasSubtype = SUCCEEDED(mediaType.GetGUID(MF_MT_SUBTYPE, &wantedSubtype));
        const bool canConvert = shared_->videoProcessing && state.isVideo && hasSubtype &&
                                wantedSubtype == MFVideoFormat_YUY2;
        const MediaType& native = state.natives[state.nativeIndex];
        if (typeMatches(native, mediaType, false)) {
            state.output = native;
            state.convertNv12 = false;
            return S_OK;
        }
        if (canConvert && subtypeOf(native) == MFVideoFormat_NV12 &&
            typeMatches(native, mediaType, true)) {
            state.output = yuy2From(native);
            state.convertNv12 = true;
            return S_OK;
        }
        for (uint32_t pass = 0; pass < 2 && select == UINT32_MAX; ++pass) {
            const bool viaConversion = pass == 1;
            if (viaConversion && !canConvert) break;
            for (uint32_t i = 0; i < state.natives.size(); ++i) {
                const MediaType& candidate = state.natives[i];
                if (viaConversion ? (subtypeOf(candidate) == MFVideoFormat_NV12 &&
                                     typeMatches(candidate, mediaType, true))
                                  : typeMatches(candidate, mediaType, false)) {
                    select = i;
                    convert = viaConversion;
                    break;
                }
            }
        }
        if (select == UINT32_MAX) return MF_E_INVALIDMEDIATYPE;
    }
    HRESULT hr = shared_->source->selectNativeType(stream, select);
    if (FAILED(hr)) return hr;
    std::lock_guard lock(shared_->mutex);
    StreamState& state = shared_->streams[stream];
    state.nativeIndex = select;
    state.convertNv12 = convert;
    state.output = convert ? yuy2From(state.natives[select]) : state.natives[select];
    return S_OK;
}

HRESULT SourceReader::SetNativeMediaType(uint32_t streamIndex, const MediaType& mediaType,
                                         uint32_t* streamFlags) {
    uint32_t stream = 0;
    uint32_t select = UINT32_MAX;
    {
        std::lock_guard lock(shared_->mutex);
        HRESULT hr = resolve(streamIndex, &stream);
        if (FAILED(hr)) return hr;
        const StreamState& state = shared_->streams[stream];
        for (uint32_t i = 0; i < state.natives.size(); ++i) {
            if (typeMatches(state.natives[i], mediaType, false)) {
                select = i;
                break;
            }
        }
        if (select == UINT32_MAX) return MF_E_INVALIDMEDIATYPE;
    }
    HRESULT hr = shared_->source->selectNativeType(stream, select);
    if (FAILED(hr)) return hr;
    std::lock_guard lock(shared_->mutex);
    StreamState& state = shared_->streams[stream];
    const bool changed = state.nativeIndex != select || state.convertNv12;
    state.nativeIndex = select;
    state.output = state.natives[select];
    state.convertNv12 = false;
    if (streamFlags) *streamFlags = changed ? MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED : 0;
    return S_OK;
}

HRESULT SourceReader::RemoveAllTransformsForStream(uint32_t streamIndex) {
    std::lock_guard lock(shared_->mutex);
    uint32_t stream = 0;
    HRESULT hr = resolve(streamIndex, &stream);
    if (FAILED(hr)) return hr;
    StreamState& state = shared_->streams[stream];
    if (!state.natives.empty()) state.output = state.natives[state.nativeIndex];
    state.convertNv12 = false;
    return S_OK;
}

HRESULT SourceReader::SetStreamSelection(uint32_t streamIndex, bool selected) {
    std::lock_guard lock(shared_->mutex);
    if (streamIndex == MF_SOURCE_READER_ALL_STREAMS) {
        for (auto& state : shared_->streams) state.selected = selected;
        return S_OK;
    }
    uint32_t stream = 0;
    HRESULT hr = resolve(streamIndex, &stream);
    if (FAILED(hr)) return hr;
    shared_->streams[stream].selected = selected;
    return S_OK;
}

HRESULT SourceReader::GetStreamSelection(uint32_t streamIndex, bool* selected) {
    if (selected == nullptr) return E_POINTER;
    std::lock_guard lock(shared_->mutex);
    uint32_t stream = 0;
    HRESULT hr = resolve(streamIndex, &stream);
    if (FAILED(hr)) return hr;
    *selected = shared_->streams[stream].selected;
    return S_OK;
}

HRESULT SourceReader::Flush(uint32_t streamIndex) {
    std::vector<uint32_t> targets;
    {
        std::lock_guard lock(shared_->mutex);
        if (streamIndex == MF_SOURCE_READER_ALL_STREAMS) {
            for (uint32_t i = 0; i < shared_->streams.size(); ++i) targets.push_back(i);
        } else {
            uint32_t stream = 0;
            HRESULT hr = resolve(streamIndex, &stream);
            if (FAILED(hr)) return hr;
            targets.push_back(stream);
        }
        for (uint32_t stream : targets) {
            shared_->streams[stream].pending = false;
            ++shared_->streams[stream].generation;
            if (shared_->callback) shared_->flushed.push_back(stream);
        }
    }
    for (uint32_t stream : targets) shared_->source->cancelPull(stream);
    shared_->wake.notify_all();
    return S_OK;
}

HRESULT MFCreateSourceReaderFromMediaSource(std::shared_ptr<MediaSource> source,
                                            const Attributes* attributes,
                                            std::unique_ptr<SourceReader>* reader) {
    if (reader == nullptr) return E_POINTER;
    if (!source) return E_INVALIDARG;
    if (source->streamCount() == 0) return MF_E_INVALIDREQUEST;
    *reader = std::make_unique<SourceReader>(std::move(source), attributes);
    return S_OK;
}

}  // namespace tovrel::platform
