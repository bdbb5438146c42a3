#include "platform/audio/pulse_capture_source.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

// The format recorded for a source's own and its depth; everything else becomes 16-bit.
constexpr pa_sample_format_t recordedFormat(int source) {
    switch (static_cast<pa_sample_format_t>(source)) {
        case PA_SAMPLE_S24LE:
            return PA_SAMPLE_S24LE;
        case PA_SAMPLE_S32LE:
        case PA_SAMPLE_S24_32LE:
            return PA_SAMPLE_S32LE;
        default:
            return PA_SAMPLE_S16LE;
    }
}

constexpr uint32_t bitsOf(pa_sample_format_t format) {
    return format == PA_SAMPLE_S24LE ? 24 : format == PA_SAMPLE_S32LE ? 32 : 16;
}

}  // namespace

PulseCaptureSource::PulseCaptureSource(std::string sourceName, uint32_t rate, uint32_t channels,
                                       int format)
    : BlockCaptureSource(rate, channels, bitsOf(recordedFormat(format))),
      sourceName_(std::move(sourceName)),
      paFormat_(recordedFormat(format)) {}

PulseCaptureSource::~PulseCaptureSource() { Shutdown(); }

bool PulseCaptureSource::openRecording() {
    pa_sample_spec sampleFormat{};
    sampleFormat.format = static_cast<pa_sample_format_t>(paFormat_);
    sampleFormat.rate = rate();
    sampleFormat.channels = static_cast<uint8_t>(channels());
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = blockBytes();
    int error = 0;
    stream_ = pa_simple_new(nullptr, "Tovrel", PA_STREAM_RECORD, sourceName_.c_str(), "capture",
                            &sampleFormat, nullptr, &attr, &error);
    if (!stream_) logCallFailure(sourceName_, "pa_simple_new", pa_strerror(error));
    return stream_ != nullptr;
}

bool PulseCaptureSource::readBlock(uint8_t* target) {
    int error = 0;
    if (pa_simple_read(stream_, target, blockBytes(), &error) < 0) {
        logCallFailure(sourceName_, "pa_simple_read", pa_strerror(error));
        return false;
    }
    return true;
}

void PulseCaptureSource::closeRecording() {
    if (stream_) pa_simple_free(stream_);
    stream_ = nullptr;
}

}  // namespace tovrel::platform
