#include "audio/real_fft.h"

#include <fftw3.h>

#include <cstring>
#include <mutex>

namespace tovrel::audio {
namespace {

// FFTW's planner keeps global state: only its execute functions may run concurrently.
std::mutex& plannerLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

RealFft::RealFft(int order) {
    if (order < 1 || order > kMaxOrder) return;
    const int32_t n = int32_t{1} << order;
    std::lock_guard<std::mutex> hold(plannerLock());
    in_ = fftwf_alloc_real(static_cast<size_t>(n));
    // FFTW writes N/2 + 1 complex values, which is exactly the packed layout.
    out_ = fftwf_alloc_real(static_cast<size_t>(n) + 2);
    if (!in_ || !out_) {
        fftwf_free(in_);
        fftwf_free(out_);
        in_ = out_ = nullptr;
        return;
    }
    // Estimated rather than measured: measuring takes the planner a noticeable time at every
    // window opening and chooses differently on a busy machine, for a transform that runs twice
    // a second.
    plan_ = fftwf_plan_dft_r2c_1d(n, in_, reinterpret_cast<fftwf_complex*>(out_), FFTW_ESTIMATE);
    if (!plan_) {
        fftwf_free(in_);
        fftwf_free(out_);
        in_ = out_ = nullptr;
        return;
    }
    order_ = order;
    length_ = n;
}

RealFft::~RealFft() {
    std::lock_guard<std::mutex> hold(plannerLock());
    if (plan_) fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
    fftwf_free(in_);
    fftwf_free(out_);
}

void RealFft::forward(const float* input, float* output) {
    if (!plan_) return;
    auto plan = static_cast<fftwf_plan>(plan_);
    // The plan was made for SIMD-aligned arrays; others would break its vector code.
    float* in = const_cast<float*>(input);  // r2c leaves its input alone
    if (fftwf_alignment_of(in) == 0 && fftwf_alignment_of(output) == 0) {
        fftwf_execute_dft_r2c(plan, in, reinterpret_cast<fftwf_complex*>(output));
        return;
    }
    std::memcpy(in_, input, sizeof(float) * static_cast<size_t>(length_));
    fftwf_execute(plan);
    std::memcpy(output, out_, sizeof(float) * static_cast<size_t>(length_ + 2));
}

}  // namespace tovrel::audio
