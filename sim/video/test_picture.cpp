#include "sim/video/test_picture.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tovrel::sim {

namespace {
// 75% colour bars in BT.601 limited range: white, yellow, cyan, green, magenta, red, blue, black.
constexpr std::array<std::array<uint8_t, 3>, 8> kBars{{
    {180, 128, 128},
    {162, 44, 142},
    {131, 156, 44},
    {112, 72, 58},
    {84, 184, 198},
    {65, 100, 212},
    {35, 212, 114},
    {16, 128, 128},
}};

// Seven-segment digits: bits a b c d e f g.
constexpr std::array<uint8_t, 10> kSegments{0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                            0x6D, 0x7D, 0x07, 0x7F, 0x6F};
}  // namespace

TestPicture::TestPicture(uint32_t width, uint32_t height)
    : width_(width),
      height_(height),
      chromaWidth_(width / 2),
      block_(std::max<uint32_t>(8, height / 8)) {
    const size_t lumaBytes = static_cast<size_t>(width_) * height_;
    const size_t chromaBytes = static_cast<size_t>(chromaWidth_) * height_;
    backgroundY_.resize(lumaBytes);
    backgroundU_.resize(chromaBytes);
    backgroundV_.resize(chromaBytes);
    for (uint32_t row = 0; row < height_; ++row) {
        for (uint32_t x = 0; x < width_; ++x) {
            const auto& bar = kBars[static_cast<size_t>(x) * kBars.size() / width_];
            // A gentle ramp down the bars keeps the JPEG encoder honest about detail.
            const int ramp = static_cast<int>(row * 16 / std::max<uint32_t>(1, height_));
            backgroundY_[static_cast<size_t>(row) * width_ + x] =
                static_cast<uint8_t>(std::clamp(bar[0] + ramp - 8, 16, 235));
            if ((x & 1) == 0 && x / 2 < chromaWidth_) {
                backgroundU_[static_cast<size_t>(row) * chromaWidth_ + x / 2] = bar[1];
                backgroundV_[static_cast<size_t>(row) * chromaWidth_ + x / 2] = bar[2];
            }
        }
    }
    y_ = backgroundY_;
    u_ = backgroundU_;
    v_ = backgroundV_;
}

uint32_t TestPicture::blockX(uint64_t frameNumber) const {
    const uint32_t travel = width_ > block_ ? width_ - block_ : 1;
    return static_cast<uint32_t>((frameNumber * 8) % travel) & ~1u;
}

void TestPicture::fillLuma(uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint8_t value) {
    if (x >= width_ || y >= height_) return;
    w = std::min(w, width_ - x);
    h = std::min(h, height_ - y);
    for (uint32_t row = y; row < y + h; ++row) {
        std::memset(&y_[static_cast<size_t>(row) * width_ + x], value, w);
    }
}

void TestPicture::drawDigits(uint64_t number) {
    const uint32_t unit = std::max<uint32_t>(2, height_ / 90);  // segment thickness
    const uint32_t digitW = unit * 5, digitH = unit * 9;
    char text[24];
    int length = 0;
    do {
        text[length++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0 && length < 20);
    const uint32_t x0 = unit * 2, y0 = unit * 2;
    // Dark plate behind the digits so they read on every bar.
    fillLuma(x0 - unit, y0 - unit, (digitW + unit * 2) * length + unit, digitH + unit * 2, 16);
    for (int i = 0; i < length; ++i) {
        const uint8_t segments = kSegments[static_cast<size_t>(text[length - 1 - i] - '0')];
        const uint32_t x = x0 + static_cast<uint32_t>(i) * (digitW + unit * 2);
        const uint32_t mid = y0 + unit * 4;
        if (segments & 0x01) fillLuma(x, y0, digitW, unit, 235);                     // a
        if (segments & 0x02) fillLuma(x + digitW - unit, y0, unit, unit * 5, 235);   // b
        if (segments & 0x04) fillLuma(x + digitW - unit, mid, unit, unit * 5, 235);  // c
        if (segments & 0x08) fillLuma(x, y0 + digitH - unit, digitW, unit, 235);     // d
        if (segments & 0x10) fillLuma(x, mid, unit, unit * 5, 235);                  // e
        if (segments & 0x20) fillLuma(x, y0, unit, unit * 5, 235);                   // f
        if (segments & 0x40) fillLuma(x, mid, digitW, unit, 235);                    // g
    }
}

void TestPicture::render(uint64_t frameNumber) {
    std::memcpy(y_.data(), backgroundY_.data(), y_.size());
    std::memcpy(u_.data(), backgroundU_.data(), u_.size());
    std::memcpy(v_.data(), backgroundV_.data(), v_.size());
    const uint32_t bx = blockX(frameNumber);
    const uint32_t by = height_ > block_ ? (height_ - block_) / 2 : 0;
    fillLuma(bx, by, block_, block_, 235);
    for (uint32_t row = by; row < std::min(height_, by + block_); ++row) {
        const size_t start = static_cast<size_t>(row) * chromaWidth_ + bx / 2;
        const size_t count = std::min<size_t>(block_ / 2, chromaWidth_ - bx / 2);
        std::memset(&u_[start], 128, count);
        std::memset(&v_[start], 128, count);
    }
    drawDigits(frameNumber);
}

}  // namespace tovrel::sim
