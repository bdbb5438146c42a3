#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/audio/audio_endpoint_enumerator.h"
#include "platform/system/clock.h"

namespace tovrel::platform {

// An output device in memory, for tests: it keeps every frame released to it, plays them at the
// initialised rate by a clock (or only when the test calls consume), and can be told to be
// absent, to refuse formats with a closest match, to insist on an aligned buffer or to fail a
// step. makeEnumerator() hands out enumerators that reach this device; the device must outlive
// them. Its playback side is called by the playback thread, the rest by the test: any thread.
class MemoryAudioDevice {
  public:
    using FormatSupport = std::function<HRESULT(const WaveFormatExtensible& format,
                                                std::optional<WaveFormatExtensible>* closestMatch)>;
    struct Options {
        bool present = true;
        bool activationFails = false;
        // The answer of IsFormatSupported; unset: every well-formed format is taken.
        FormatSupport formatSupport;
        // When set, Initialize answers AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED until it is asked for a
        // duration of exactly this many frames, and GetBufferSize reports it after the refusal.
        uint32_t alignedBufferFrames = 0;
        HRESULT initializeResult = S_OK;
        HRESULT startResult = S_OK;
        HRESULT getServiceResult = S_OK;
        // Frames leave the buffer only through consume(), not with time.
        bool manualConsumption = false;
    };

    explicit MemoryAudioDevice(Options options, Clock& clock = SystemClock::instance());
    ~MemoryAudioDevice();

    std::unique_ptr<AudioEndpointEnumerator> makeEnumerator();

    // Plays up to `frames` queued frames (manual consumption).
    void consume(uint32_t frames);

    struct Record {
        int activations = 0;
        int initializeCalls = 0;
        int isFormatSupportedCalls = 0;
        WaveFormatExtensible askedFormat;        // the last one asked of IsFormatSupported
        WaveFormatExtensible initializedFormat;  // the last one initialised
        uint32_t initializedFlags = 0;
        int64_t initializedDuration100ns = 0;
        int64_t initializedPeriodicity100ns = 0;
        uint32_t bufferFrames = 0;
        bool started = false;
        bool stopped = false;
        uint64_t framesReleased = 0;
        uint64_t silentFramesFlagged = 0;
        uint64_t getBufferCalls = 0;
        uint64_t underruns = 0;  // times the queue ran dry while started
        bool clientAlive = false;
    };
    Record record() const;
    // Every byte released so far, in order (frames flagged silent as zeros).
    std::vector<uint8_t> played() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace tovrel::platform
