#include "platform/media/recording_sink_writer.h"

namespace tovrel::platform {

RecordingSinkWriter::~RecordingSinkWriter() {
    std::lock_guard lock(mutex_);
    log_->released = true;
}

HRESULT RecordingSinkWriter::failureOf(const std::string& call) const {
    for (const auto& [name, result] : failures_) {
        if (name == call) return result;
    }
    return S_OK;
}

HRESULT RecordingSinkWriter::writeStatus() const {
    std::lock_guard lock(mutex_);
    return failureOf("writeStatus");
}

void RecordingSinkWriter::failCall(std::string call, HRESULT result) {
    std::lock_guard lock(mutex_);
    failures_.emplace_back(std::move(call), result);
}

HRESULT RecordingSinkWriter::AddStream(const MediaType& targetMediaType, uint32_t* streamIndex) {
    std::lock_guard lock(mutex_);
    log_->calls.emplace_back("AddStream");
    if (const HRESULT hr = failureOf("AddStream"); FAILED(hr)) return hr;
    if (log_->begun) return MF_E_INVALIDREQUEST;
    log_->outputTypes.push_back(targetMediaType);
    log_->inputTypes.emplace_back();
    *streamIndex = static_cast<uint32_t>(log_->outputTypes.size() - 1);
    return S_OK;
}

HRESULT RecordingSinkWriter::SetInputMediaType(uint32_t streamIndex,
                                               const MediaType& inputMediaType,
                                               const Attributes* encodingParameters) {
    std::lock_guard lock(mutex_);
    log_->calls.emplace_back("SetInputMediaType");
    if (const HRESULT hr = failureOf("SetInputMediaType"); FAILED(hr)) return hr;
    if (log_->begun) return MF_E_INVALIDREQUEST;
    if (streamIndex >= log_->inputTypes.size()) return MF_E_INVALIDSTREAMNUMBER;
    log_->inputTypes[streamIndex] = inputMediaType;
    log_->encodingParameters.resize(log_->inputTypes.size());
    log_->encodingParameters[streamIndex] =
        encodingParameters != nullptr ? *encodingParameters : Attributes{};
    return S_OK;
}

HRESULT RecordingSinkWriter::BeginWriting() {
    std::lock_guard lock(mutex_);
    log_->calls.emplace_back("BeginWriting");
    if (const HRESULT hr = failureOf("BeginWriting"); FAILED(hr)) return hr;
    if (log_->begun || log_->outputTypes.empty()) return MF_E_INVALIDREQUEST;
    for (const MediaType& input : log_->inputTypes) {
        Guid major;
        if (FAILED(input.GetMajorType(&major))) return MF_E_INVALIDREQUEST;  // never set
    }
    log_->begun = true;
    return S_OK;
}

HRESULT RecordingSinkWriter::WriteSample(uint32_t streamIndex,
                                         const std::shared_ptr<Sample>& sample) {
    std::lock_guard lock(mutex_);
    if (const HRESULT hr = failureOf("WriteSample"); FAILED(hr)) return hr;
    Written written;
    written.streamIndex = streamIndex;
    written.sample = sample;
    written.afterFinalize = log_->finalized;
    const bool timed = sample && SUCCEEDED(sample->GetSampleTime(&written.time100ns));
    if (sample) {
        std::shared_ptr<MediaBuffer> buffer;
        uint8_t* data = nullptr;
        uint32_t length = 0;
        if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer)) &&
            SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
            written.data.assign(data, data + length);
            buffer->Unlock();
        }
    }
    // Every call is kept, refused ones too: a test may look for writes where none belong.
    log_->samples.push_back(std::move(written));
    if (!log_->begun) return MF_E_INVALIDREQUEST;
    if (streamIndex >= log_->outputTypes.size()) return MF_E_INVALIDSTREAMNUMBER;
    if (!sample) return E_POINTER;
    if (!timed) return E_INVALIDARG;
    if (log_->finalized) return MF_E_INVALIDREQUEST;
    return S_OK;
}

HRESULT RecordingSinkWriter::Finalize() {
    std::lock_guard lock(mutex_);
    log_->calls.emplace_back("Finalize");
    if (!log_->begun || log_->finalized) return MF_E_INVALIDREQUEST;
    log_->finalized = true;
    return S_OK;
}

HRESULT RecordingSinkWriterFactory::CreateSinkWriterFromURL(
    const std::string& path, const Attributes* attributes,
    std::unique_ptr<SinkWriter>* sinkWriter) {
    auto log = std::make_shared<RecordingSinkWriter::Log>();
    log->path = path;
    if (attributes != nullptr) attributes->CopyAllItems(&log->attributes);
    {
        std::lock_guard lock(mutex_);
        logs_.push_back(log);
    }
    if (FAILED(failWith)) return failWith;
    *sinkWriter = std::make_unique<RecordingSinkWriter>(log);
    return S_OK;
}

std::shared_ptr<RecordingSinkWriter::Log> RecordingSinkWriterFactory::last() const {
    std::lock_guard lock(mutex_);
    return logs_.empty() ? nullptr : logs_.back();
}

size_t RecordingSinkWriterFactory::created() const {
    std::lock_guard lock(mutex_);
    return logs_.size();
}

}  // namespace tovrel::platform
