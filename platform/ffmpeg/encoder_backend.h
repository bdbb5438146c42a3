#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/hwcontext.h>
}

namespace tovrel::platform {

// The few libavcodec calls whose outcome depends on the machine: finding an encoder by name,
// creating a hardware device, opening an encoder and handing it a frame. The writer goes through
// this seam so that a test can report an encoder as missing or make one slow; the default
// forwards to libavcodec. Called on the thread that begins writing (find, device, open) and on
// the writer's encoder thread (sendFrame); an implementation must allow both.
class EncoderBackend {
  public:
    virtual ~EncoderBackend() = default;

    // Null when this build of libavcodec has no encoder of that name.
    virtual const AVCodec* findEncoder(const std::string& name);
    // 0 or a negative AVERROR, as av_hwdevice_ctx_create.
    virtual int createHardwareDevice(AVBufferRef** device, AVHWDeviceType type);
    // 0 or a negative AVERROR, as avcodec_open2.
    virtual int openEncoder(AVCodecContext* context, const AVCodec* codec, AVDictionary** options);
    // As avcodec_send_frame (a null frame starts the drain).
    virtual int sendFrame(AVCodecContext* context, const AVFrame* frame);

    // The process's shared default backend.
    static EncoderBackend& system();
};

}  // namespace tovrel::platform
