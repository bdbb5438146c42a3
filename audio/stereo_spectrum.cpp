#include "audio/stereo_spectrum.h"

#include <cmath>
#include <cstring>

#include "imaging/aligned_alloc.h"

namespace tovrel::audio {
namespace {

float* floats(int32_t count) {
    auto* p = static_cast<float*>(imaging::alignedAlloc(int64_t{4} * count));
    if (p) std::memset(p, 0, sizeof(float) * static_cast<size_t>(count));
    return p;
}

constexpr float k16BitScale = 0.000030517578125f;  // 1 / 32768
constexpr float k8BitScale = 0.0078125f;           // 1 / 128

float sample16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<float>(v) * k16BitScale;
}

float sample8(const uint8_t* p) { return static_cast<float>(p[0] - 128) * k8BitScale; }

}  // namespace

void StereoSpectrum::Freer::operator()(float* p) const { imaging::alignedFree(p); }

int StereoSpectrum::orderForRate(int32_t rate) {
    if (rate < 2) return 0;
    return static_cast<int>(std::log(static_cast<double>(rate)) / std::log(2.0));
}

StereoSpectrum::StereoSpectrum(int32_t rate, int32_t channels, int32_t bits, int32_t blockAlign)
    : channels_(channels), bits_(bits), blockAlign_(blockAlign), fft_(orderForRate(rate)) {
    if (!fft_.valid()) return;
    inputLeft_.reset(floats(fft_.length()));
    left_.reset(floats(fft_.outputFloats()));
    if (channels == 2) {
        inputRight_.reset(floats(fft_.length()));
        right_.reset(floats(fft_.outputFloats()));
    }
    if (!inputLeft_ || !left_ || (channels == 2 && (!inputRight_ || !right_))) left_.reset();
}

StereoSpectrum::~StereoSpectrum() = default;

void StereoSpectrum::convert(const uint8_t* block, int32_t bytes) {
    const int32_t n = fft_.length();
    float* l = inputLeft_.get();
    float* r = inputRight_.get();
    const bool stereo = channels_ == 2;
    const bool known = (channels_ == 1 || stereo) && (bits_ == 8 || bits_ == 16) &&
                       (bits_ / 8) * channels_ <= blockAlign_;
    // The four formats are read frame by frame; any other is taken as 16-bit stereo frames, as
    // the spectrum has always read them, but never beyond the block.
    const int32_t step = known ? blockAlign_ : 4;
    const int32_t secondOffset = known ? bits_ / 8 : 2;
    const int32_t available = block && bytes > 0 ? bytes / step : 0;
    const int32_t frames = available < n ? available : n;
    const uint8_t* f = block;
    if (known && bits_ == 8) {
        for (int32_t i = 0; i < frames; ++i, f += step) {
            l[i] = sample8(f);
            if (stereo) r[i] = sample8(f + secondOffset);
        }
    } else {
        for (int32_t i = 0; i < frames; ++i, f += step) {
            l[i] = sample16(f);
            if (stereo) r[i] = sample16(f + secondOffset);
        }
    }
    for (int32_t i = frames; i < n; ++i) {
        l[i] = 0.0f;
        if (stereo) r[i] = 0.0f;
    }
}

void StereoSpectrum::compute(const uint8_t* block, int32_t bytes) {
    if (!valid()) return;
    convert(block, bytes);
    fft_.forward(inputLeft_.get(), left_.get());
    if (channels_ == 2) fft_.forward(inputRight_.get(), right_.get());
}

}  // namespace tovrel::audio
