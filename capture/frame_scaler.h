#pragma once

#include <cstdint>
#include <memory>

namespace tovrel::capture {

// Resizes BGRA pictures of one source size to one destination size with the imaging library's
// bilinear scaler, or copies them when the sizes agree. The description and the work buffer are
// allocated by prepare(), so scale() allocates nothing.
// prepare(): GUI thread (inside frameLock); scale(): render thread (inside frameLock).
class FrameScaler {
  public:
    FrameScaler();
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // False when the sizes cannot be scaled (source under 2 x 2) or memory is short; scale()
    // then draws nothing. Same sizes as before: nothing is redone.
    bool prepare(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);
    bool scale(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride) const;

    int32_t dstWidth() const { return dstWidth_; }
    int32_t dstHeight() const { return dstHeight_; }

  private:
    struct Freer {
        void operator()(uint8_t* block) const;
    };

    int32_t srcWidth_ = 0;
    int32_t srcHeight_ = 0;
    int32_t dstWidth_ = 0;
    int32_t dstHeight_ = 0;
    bool ready_ = false;
    std::unique_ptr<uint8_t, Freer> description_;
    std::unique_ptr<uint8_t, Freer> work_;
};

}  // namespace tovrel::capture
