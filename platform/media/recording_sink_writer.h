#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/sink_writer.h"
#include "platform/media/sink_writer_factory.h"

namespace tovrel::platform {

// A sink writer that keeps every call, type and sample instead of encoding, for tests of the
// recording logic; it answers with SinkWriter's result codes as the real writer does. Any thread
// (internally locked); the log is read by the test after the calls.
class RecordingSinkWriter final : public SinkWriter {
  public:
    struct Written {
        uint32_t streamIndex = 0;
        std::shared_ptr<Sample> sample;
        int64_t time100ns = 0;  // the sample's time when it was written
        std::vector<uint8_t> data;
        bool afterFinalize = false;
    };
    struct Log {
        std::string path;
        Attributes attributes;
        std::vector<std::string> calls;  // "AddStream", "SetInputMediaType", ...
        std::vector<MediaType> outputTypes;
        std::vector<MediaType> inputTypes;
        std::vector<Attributes> encodingParameters;  // per stream; empty when none were given
        std::vector<Written> samples;                // every WriteSample, the refused ones too
        bool begun = false;
        bool finalized = false;
        bool released = false;
    };

    explicit RecordingSinkWriter(std::shared_ptr<Log> log) : log_(std::move(log)) {}
    ~RecordingSinkWriter() override;

    HRESULT AddStream(const MediaType& targetMediaType, uint32_t* streamIndex) override;
    HRESULT SetInputMediaType(uint32_t streamIndex, const MediaType& inputMediaType,
                              const Attributes* encodingParameters) override;
    HRESULT BeginWriting() override;
    HRESULT WriteSample(uint32_t streamIndex, const std::shared_ptr<Sample>& sample) override;
    HRESULT Finalize() override;
    // What failCall("writeStatus", ...) set; S_OK before.
    HRESULT writeStatus() const override;

    // Every later call of this kind answers `result` ("AddStream", "SetInputMediaType", ...).
    void failCall(std::string call, HRESULT result);

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<Log> log_;
    std::vector<std::pair<std::string, HRESULT>> failures_;
    HRESULT failureOf(const std::string& call) const;
};

// Hands out RecordingSinkWriters; each creation's log is kept in `logs`, newest last. A failing
// creation (failWith) leaves no writer. Any thread.
class RecordingSinkWriterFactory final : public SinkWriterFactory {
  public:
    HRESULT CreateSinkWriterFromURL(const std::string& path, const Attributes* attributes,
                                    std::unique_ptr<SinkWriter>* sinkWriter) override;

    std::shared_ptr<RecordingSinkWriter::Log> last() const;
    size_t created() const;
    HRESULT failWith = S_OK;

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<RecordingSinkWriter::Log>> logs_;
};

}  // namespace tovrel::platform
