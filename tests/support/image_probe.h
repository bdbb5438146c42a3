#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovrel::testing {

// What an independent decoder reads back from an image file: the container its first bytes
// announce, the size, and the pixels as blue, green, red, top row first. TurboJPEG, libpng,
// libtiff and giflib read their own containers; BMP is read by Qt's QImage.
struct DecodedImage {
    std::string container;  // "jpeg", "png", "tiff", "gif", "bmp"; empty when unknown
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
    std::string error;  // empty when the file decoded
};

DecodedImage decodeImageFile(const std::string& path);

// A picture of 4-byte pixels (B, G, R, X with X = 0x5A, which every encoder must ignore): a
// smooth gradient with four solid corner blocks of `corner` pixels in distinct colours (top left
// red, top right green, bottom left blue, bottom right white), so that a flipped, mirrored or
// channel-swapped file shows.
std::vector<uint8_t> cornerPattern(int width, int height, int corner);
// The pattern's own colour at (x, y) as B, G, R.
void cornerPatternPixel(int width, int height, int corner, int x, int y, uint8_t bgr[3]);

// The B, G, R bytes of a 4-byte-per-pixel picture with rows of `stride` bytes.
std::vector<uint8_t> bgrOf(const uint8_t* bgrx, int width, int height, int stride);

// Peak signal-to-noise ratio in dB over all channels; +inf for equal pictures.
double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
// The largest difference of any one channel.
int maxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace tovrel::testing
