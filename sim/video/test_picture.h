#pragma once

#include <cstdint>
#include <vector>

namespace tovrel::sim {

// The simulated box's moving picture, drawn as planar 4:2:2: colour bars, a white block that
// moves 8 pixels to the right per frame (so motion detection has something to find) and the
// frame number in large digits at the top left. Frame n is always the same picture. One
// thread at a time.
class TestPicture {
  public:
    TestPicture(uint32_t width, uint32_t height);

    // Draws frame `frameNumber` into the planes (Y: width x height, U and V: width/2 x height).
    void render(uint64_t frameNumber);

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    const uint8_t* y() const { return y_.data(); }
    const uint8_t* u() const { return u_.data(); }
    const uint8_t* v() const { return v_.data(); }
    uint8_t* y() { return y_.data(); }
    uint8_t* u() { return u_.data(); }
    uint8_t* v() { return v_.data(); }
    uint32_t blockSize() const { return block_; }
    // Left edge of the moving block in frame n.
    uint32_t blockX(uint64_t frameNumber) const;

  private:
    void drawDigits(uint64_t number);
    void fillLuma(uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint8_t value);

    uint32_t width_, height_, chromaWidth_, block_;
    std::vector<uint8_t> backgroundY_, backgroundU_, backgroundV_;
    std::vector<uint8_t> y_, u_, v_;
};

}  // namespace tovrel::sim
