#include "sim/video/picture_adjustment.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tovrel::sim {

namespace {

enum Property : size_t { kBrightness, kContrast, kHue, kSaturation, kSharpness };

// The control's distance from its default as a share of its whole range: 0 at the default,
// about ±1 at the ends of a range centred on it.
double shareOfRange(const SimPictureControl& control, int32_t value) {
    if (!control.supported || control.maximum <= control.minimum) return 0.0;
    return static_cast<double>(value - control.defaultValue) /
           static_cast<double>(control.maximum - control.minimum);
}

uint8_t clampByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

void PictureAdjustment::configure(const SimPictureControls& ranges,
                                  const SimulatedPictureControls::Values& values) {
    if (configured_ && values == values_) return;
    configured_ = true;
    values_ = values;
    std::array<double, 5> share{};
    for (size_t i = 0; i < share.size(); ++i) share[i] = shareOfRange(ranges[i], values[i]);

    // A full swing of brightness moves black to white; contrast and saturation go from nothing
    // at the bottom of their range to twice the signal at the top.
    const double offset = share[kBrightness] * 255.0;
    const double gain = std::max(0.0, 1.0 + 2.0 * share[kContrast]);
    for (int y = 0; y < 256; ++y)
        luma_[static_cast<size_t>(y)] = clampByte((y - 128) * gain + 128 + offset);

    const double saturation = std::max(0.0, 1.0 + 2.0 * share[kSaturation]);
    const double angle = share[kHue] * 2.0 * std::numbers::pi;  // half a turn either way
    chromaIdentity_ = share[kSaturation] == 0.0 && share[kHue] == 0.0;
    if (!chromaIdentity_) {
        chroma_.resize(256 * 256);
        const double c = std::cos(angle) * saturation, s = std::sin(angle) * saturation;
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                const double du = u - 128, dv = v - 128;
                const uint8_t outU = clampByte(128 + du * c - dv * s);
                const uint8_t outV = clampByte(128 + du * s + dv * c);
                chroma_[static_cast<size_t>(u << 8 | v)] = static_cast<uint16_t>(outU << 8 | outV);
            }
        }
    }
    sharpen256_ = static_cast<int32_t>(std::lround(share[kSharpness] * 2.0 * 256.0));
    identity_ =
        share[kBrightness] == 0.0 && share[kContrast] == 0.0 && chromaIdentity_ && sharpen256_ == 0;
}

void PictureAdjustment::apply(TestPicture& picture) const {
    if (identity_) return;
    const uint32_t width = picture.width(), height = picture.height();
    uint8_t* luma = picture.y();
    if (sharpen256_ != 0 && width >= 3) {
        // Detail is the difference from the two neighbours; the row is read from a copy so
        // each pixel sees the unsharpened ones beside it.
        std::vector<uint8_t> row(width);
        for (uint32_t r = 0; r < height; ++r) {
            uint8_t* line = luma + static_cast<size_t>(r) * width;
            std::copy_n(line, width, row.begin());
            for (uint32_t x = 1; x + 1 < width; ++x) {
                const int detail = 2 * row[x] - row[x - 1] - row[x + 1];
                line[x] =
                    static_cast<uint8_t>(std::clamp(row[x] + (detail * sharpen256_) / 256, 0, 255));
            }
        }
    }
    const size_t lumaBytes = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < lumaBytes; ++i) luma[i] = luma_[luma[i]];
    if (chromaIdentity_) return;
    uint8_t* u = picture.u();
    uint8_t* v = picture.v();
    const size_t chromaBytes = static_cast<size_t>(width / 2) * height;
    for (size_t i = 0; i < chromaBytes; ++i) {
        const uint16_t mapped = chroma_[static_cast<size_t>(u[i] << 8 | v[i])];
        u[i] = static_cast<uint8_t>(mapped >> 8);
        v[i] = static_cast<uint8_t>(mapped & 0xFF);
    }
}

}  // namespace tovrel::sim
