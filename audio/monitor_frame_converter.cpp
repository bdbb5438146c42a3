#include "audio/monitor_frame_converter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace tovrel::audio {
namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

MonitorFrameConverter::MonitorFrameConverter(const MonitorFormat& source,
                                             const platform::WaveFormatExtensible& device) {
    sourceChannels_ = source.channels;
    sourceBytes_ = (source.bitsPerSample + 7) / 8;
    sourceFrameBytes_ = source.ringFrameBytes();
    if (source.isPcm) {
        sourceKind_ = sourceBytes_ == 1                        ? Kind::Unsigned8
                      : sourceBytes_ >= 2 && sourceBytes_ <= 4 ? Kind::Signed
                                                               : Kind::Unknown;
    } else {
        sourceKind_ = (sourceBytes_ == 4 || sourceBytes_ == 8) ? Kind::Float : Kind::Unknown;
    }
    sourceRate_ = source.samplesPerSecond;

    deviceChannels_ = device.nChannels;
    deviceBytes_ = device.wBitsPerSample / 8;
    deviceValidBits_ = std::min<uint32_t>(device.validBits(), device.wBitsPerSample);
    deviceFrameBytes_ = device.nBlockAlign;
    if (device.isFloat()) {
        deviceKind_ = (deviceBytes_ == 4 || deviceBytes_ == 8) ? Kind::Float : Kind::Unknown;
    } else if (device.isIntegerPcm()) {
        deviceKind_ = deviceBytes_ == 1                        ? Kind::Unsigned8
                      : deviceBytes_ >= 2 && deviceBytes_ <= 4 ? Kind::Signed
                                                               : Kind::Unknown;
    }
    deviceRate_ = device.nSamplesPerSec;

    direct_ = sourceChannels_ == deviceChannels_ && sourceRate_ == deviceRate_ &&
              sourceBytes_ == deviceBytes_ && sourceKind_ == deviceKind_ &&
              sourceFrameBytes_ == deviceFrameBytes_ && sourceFrameBytes_ > 0;
    usable_ = sourceKind_ != Kind::Unknown && deviceKind_ != Kind::Unknown && sourceChannels_ > 0 &&
              deviceChannels_ > 0 && sourceRate_ > 0 && deviceRate_ > 0 &&
              deviceFrameBytes_ == deviceChannels_ * deviceBytes_;
    history_.assign(2 * static_cast<size_t>(std::max<uint32_t>(deviceChannels_, 1)), 0.0);
}

uint32_t MonitorFrameConverter::sourceFramesFor(uint32_t deviceFrames) const {
    if (deviceFrames == 0) return 0;
    if (sourceRate_ == deviceRate_) return deviceFrames;
    const int64_t last = position_ + static_cast<int64_t>(deviceFrames - 1) * sourceRate_;
    return static_cast<uint32_t>(std::max<int64_t>(floorDiv(last, deviceRate_) + 1, 0));
}

uint32_t MonitorFrameConverter::deviceFramesFrom(uint32_t sourceFrames) const {
    if (sourceRate_ <= 0 || deviceRate_ <= 0) return 0;
    if (sourceRate_ == deviceRate_) return sourceFrames;
    // sourceFramesFor(m) <= S exactly when position + (m - 1) * sourceRate < S * deviceRate; a
    // frame may still lie between the two kept from the last read, needing none at all.
    const int64_t room = static_cast<int64_t>(sourceFrames) * deviceRate_ - position_;
    if (room <= 0) return 0;
    auto frames = static_cast<uint32_t>((room + sourceRate_ - 1) / sourceRate_);
    while (frames > 0 && sourceFramesFor(frames) > sourceFrames) --frames;
    return frames;
}

void MonitorFrameConverter::decodeFrame(const uint8_t* frame, double* out) const {
    double in[2] = {0.0, 0.0};
    const uint32_t wanted = std::min<uint32_t>(sourceChannels_, 2);
    auto sampleAt = [&](uint32_t channel) -> double {
        const uint8_t* s = frame + static_cast<size_t>(channel) * sourceBytes_;
        switch (sourceKind_) {
            case Kind::Unsigned8:
                return (static_cast<int>(s[0]) - 128) / 128.0;
            case Kind::Signed: {
                // Little-endian, sign taken from the top byte, scaled by the container.
                uint32_t raw = 0;
                for (uint32_t i = 0; i < sourceBytes_; ++i)
                    raw |= static_cast<uint32_t>(s[i]) << (8 * i);
                const uint32_t shift = 32 - 8 * sourceBytes_;
                const int32_t value = static_cast<int32_t>(raw << shift);
                return value / 2147483648.0;
            }
            case Kind::Float: {
                if (sourceBytes_ == 4) {
                    float f;
                    std::memcpy(&f, s, 4);
                    return std::isfinite(f) ? f : 0.0;
                }
                double d;
                std::memcpy(&d, s, 8);
                return std::isfinite(d) ? d : 0.0;
            }
            default:
                return 0.0;
        }
    };
    for (uint32_t c = 0; c < wanted; ++c) in[c] = sampleAt(c);
    for (uint32_t c = 0; c < deviceChannels_; ++c) {
        if (sourceChannels_ == 1) {
            out[c] = in[0];
        } else if (deviceChannels_ == 1) {
            out[c] = (in[0] + in[1]) / 2.0;
        } else if (c < sourceChannels_) {
            out[c] = c < 2 ? in[c] : sampleAt(c);
        } else {
            out[c] = 0.0;
        }
    }
}

void MonitorFrameConverter::encodeFrame(const double* in, uint8_t* frame) const {
    for (uint32_t c = 0; c < deviceChannels_; ++c) {
        uint8_t* d = frame + static_cast<size_t>(c) * deviceBytes_;
        const double v = std::clamp(in[c], -1.0, 1.0);
        switch (deviceKind_) {
            case Kind::Unsigned8:
                d[0] = static_cast<uint8_t>(std::lround(std::clamp(v * 128.0 + 128.0, 0.0, 255.0)));
                break;
            case Kind::Signed: {
                const double full =
                    std::clamp(std::round(v * 2147483648.0), -2147483648.0, 2147483647.0);
                uint32_t raw = static_cast<uint32_t>(static_cast<int32_t>(full));
                // Bits below the valid ones stay zero, as the device was told.
                if (deviceValidBits_ > 0 && deviceValidBits_ < 32) {
                    raw &= ~((1u << (32 - deviceValidBits_)) - 1u);
                }
                const uint32_t shift = 32 - 8 * deviceBytes_;
                raw >>= shift;
                for (uint32_t i = 0; i < deviceBytes_; ++i)
                    d[i] = static_cast<uint8_t>(raw >> (8 * i));
                break;
            }
            case Kind::Float:
                if (deviceBytes_ == 4) {
                    const float f = static_cast<float>(v);
                    std::memcpy(d, &f, 4);
                } else {
                    std::memcpy(d, &v, 8);
                }
                break;
            default:
                std::memset(d, 0, deviceBytes_);
                break;
        }
    }
}

void MonitorFrameConverter::convert(const uint8_t* source, uint32_t deviceFrames, uint8_t* device) {
    if (deviceFrames == 0) return;
    if (!usable_) {
        std::memset(device, 0, static_cast<size_t>(deviceFrames) * deviceFrameBytes_);
        return;
    }
    const size_t ch = deviceChannels_;
    if (sourceRate_ == deviceRate_) {
        std::vector<double>& frame = frames_;
        frame.resize(ch);
        for (uint32_t k = 0; k < deviceFrames; ++k) {
            decodeFrame(source + static_cast<size_t>(k) * sourceFrameBytes_, frame.data());
            encodeFrame(frame.data(), device + static_cast<size_t>(k) * deviceFrameBytes_);
        }
        return;
    }
    const uint32_t n = sourceFramesFor(deviceFrames);
    // x[-2], x[-1] from history, then the n frames read.
    frames_.resize((static_cast<size_t>(n) + 2) * ch);
    std::copy(history_.begin(), history_.end(), frames_.begin());
    for (uint32_t i = 0; i < n; ++i) {
        decodeFrame(source + static_cast<size_t>(i) * sourceFrameBytes_, &frames_[(i + 2) * ch]);
    }
    std::vector<double> out(ch);
    for (uint32_t k = 0; k < deviceFrames; ++k) {
        const int64_t p = position_ + static_cast<int64_t>(k) * sourceRate_;
        const int64_t b = floorDiv(p, deviceRate_);
        const double f =
            static_cast<double>(p - b * deviceRate_) / static_cast<double>(deviceRate_);
        // Between x[b-1] and x[b]: one source frame behind, so x[b] has always been read.
        const double* a = &frames_[static_cast<size_t>(b + 1) * ch];
        const double* z = &frames_[static_cast<size_t>(b + 2) * ch];
        for (size_t c = 0; c < ch; ++c) out[c] = a[c] + (z[c] - a[c]) * f;
        encodeFrame(out.data(), device + static_cast<size_t>(k) * deviceFrameBytes_);
    }
    position_ +=
        static_cast<int64_t>(deviceFrames) * sourceRate_ - static_cast<int64_t>(n) * deviceRate_;
    std::copy(frames_.end() - static_cast<ptrdiff_t>(2 * ch), frames_.end(), history_.begin());
}

}  // namespace tovrel::audio
