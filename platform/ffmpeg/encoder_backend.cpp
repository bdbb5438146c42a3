#include "platform/ffmpeg/encoder_backend.h"

namespace tovrel::platform {

const AVCodec* EncoderBackend::findEncoder(const std::string& name) {
    return avcodec_find_encoder_by_name(name.c_str());
}

int EncoderBackend::createHardwareDevice(AVBufferRef** device, AVHWDeviceType type) {
    return av_hwdevice_ctx_create(device, type, nullptr, nullptr, 0);
}

int EncoderBackend::openEncoder(AVCodecContext* context, const AVCodec* codec,
                                AVDictionary** options) {
    return avcodec_open2(context, codec, options);
}

int EncoderBackend::sendFrame(AVCodecContext* context, const AVFrame* frame) {
    return avcodec_send_frame(context, frame);
}

EncoderBackend& EncoderBackend::system() {
    static EncoderBackend backend;
    return backend;
}

}  // namespace tovrel::platform
