#pragma once

#include <cstdint>

namespace tovrel::audio {

// The forward real-input transform of length N = 2^order, without scaling:
// X(k) = sum over n of x(n) e^(-2 pi i k n / N) for k = 0 ... N/2, written as N + 2 floats with
// real and imaginary parts interleaved (float 2k the real part of X(k), 2k + 1 its imaginary
// part; the imaginary parts of X(0) and X(N/2) are 0).
// The plan is made once, in the constructor, which is the expensive step; forward may then be
// called from any one thread at a time per object (construction and destruction from any thread:
// they take the planner's process-wide lock).
class RealFft {
  public:
    static constexpr int kMaxOrder = 24;

    // An order outside 1 ... kMaxOrder, or a plan that cannot be made, gives an invalid
    // transform whose forward does nothing.
    explicit RealFft(int order);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    bool valid() const { return plan_ != nullptr; }
    int order() const { return order_; }
    int32_t length() const { return length_; }
    int32_t outputFloats() const { return valid() ? length_ + 2 : 0; }

    // Transforms input[0 ... N - 1] into output[0 ... N + 1]; the input is left unchanged.
    // Blocks from imaging::alignedAlloc go straight through; others are copied through the
    // transform's own buffers.
    void forward(const float* input, float* output);

  private:
    int order_ = 0;
    int32_t length_ = 0;
    void* plan_ = nullptr;  // fftwf_plan, kept out of the header
    float* in_ = nullptr;
    float* out_ = nullptr;
};

}  // namespace tovrel::audio
