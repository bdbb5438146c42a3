#pragma once

#include <cstdint>
#include <memory>

#include "audio/real_fft.h"

namespace tovrel::audio {

// The spectrum of each channel of a one-second block: the first N = 2^order samples (order the
// integer part of log2 of the rate, 15 for 44.1 and 48 kHz) transformed as they are, without a
// window and without scaling, so a full-scale sine peaks near N/2. Each block's spectra replace
// the previous ones.
// The transform plan and every buffer are made once, by the constructor (the window's thread);
// compute and the spectra belong to one thread at a time (the analyzer worker).
class StereoSpectrum {
  public:
    StereoSpectrum(int32_t rate, int32_t channels, int32_t bits, int32_t blockAlign);
    ~StereoSpectrum();
    StereoSpectrum(const StereoSpectrum&) = delete;
    StereoSpectrum& operator=(const StereoSpectrum&) = delete;

    // The integer part of ln(rate) / ln(2); 0 for rates below 2.
    static int orderForRate(int32_t rate);

    bool valid() const { return fft_.valid() && left_ != nullptr; }
    int32_t transformLength() const { return fft_.length(); }
    // Floats of each spectrum: N + 2.
    int32_t spectrumFloats() const { return fft_.outputFloats(); }
    bool hasRight() const { return channels_ == 2; }

    // Converts the block's samples to floats of full scale 1 and transforms them. Only whole
    // frames inside `bytes` are read; missing samples count as silence.
    void compute(const uint8_t* block, int32_t bytes);

    const float* left() const { return left_.get(); }
    const float* right() const { return right_.get(); }

  private:
    struct Freer {
        void operator()(float* p) const;
    };
    using Floats = std::unique_ptr<float, Freer>;

    void convert(const uint8_t* block, int32_t bytes);

    int32_t channels_;
    int32_t bits_;
    int32_t blockAlign_;
    RealFft fft_;
    Floats inputLeft_;
    Floats inputRight_;
    Floats left_;
    Floats right_;
};

}  // namespace tovrel::audio
