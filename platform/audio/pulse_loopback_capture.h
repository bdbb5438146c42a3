#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/loopback_capture.h"

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace tovrel::platform {

// The monitor of the sound server's default sink (PulseAudio, or PipeWire's Pulse service),
// recorded in the sink's own format where the writer takes it (32-bit float, 16- or 32-bit
// integer) and as 32-bit float otherwise, the server converting. When the user chooses another
// default output the stream is moved to that sink's monitor, so the recording keeps hearing what
// plays; a stream pinned to one monitor would fall silent.
// Logged through the debug output: the connection, the stream and a failing move, with
// pa_strerror's text. One thread drains it (LoopbackCapture's contract); the server's callbacks
// run on the capture's own main-loop thread, under its lock.
class PulseLoopbackCapture final : public LoopbackCapture {
  public:
    static constexpr uint32_t kConnectTimeoutMs = 2000;

    // Connects and reads the default sink; null when no server answers or there is no sink.
    static std::unique_ptr<PulseLoopbackCapture> connect();
    ~PulseLoopbackCapture() override;
    PulseLoopbackCapture(const PulseLoopbackCapture&) = delete;
    PulseLoopbackCapture& operator=(const PulseLoopbackCapture&) = delete;

    HRESULT GetMixFormat(WaveFormatExtensible* format) override;
    HRESULT Initialize(int64_t bufferDuration100ns) override;
    HRESULT GetBufferSize(uint32_t* numBufferFrames) override;
    HRESULT Start() override;
    HRESULT Stop() override;
    HRESULT GetNextPacketSize(uint32_t* numFramesInNextPacket) override;
    HRESULT GetBuffer(uint8_t** data, uint32_t* numFramesToRead, uint32_t* flags) override;
    HRESULT ReleaseBuffer(uint32_t numFramesRead) override;

    // The monitor the stream records now (tests follow the default's change through it).
    std::string monitorName() const;

  private:
    PulseLoopbackCapture();
    bool start();
    bool waitFor(const bool& done);
    bool readDefaultSink();
    void followDefault();
    HRESULT peek(uint32_t* frames, const void** data);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    WaveFormatExtensible format_;
    int paFormat_ = 0;
    std::string sinkName_;
    std::string monitorName_;
    uint32_t bufferFrames_ = 0;
    bool held_ = false;
    std::vector<uint8_t> silence_;  // a hole in the stream is handed out as zeros
};

}  // namespace tovrel::platform
