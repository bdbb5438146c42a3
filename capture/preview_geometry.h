#pragma once

#include <cstdint>

namespace tovrel::capture {

// The renderers' geometry rules. Pure; any thread.
struct PreviewGeometry {
    struct Rect {
        int32_t left = 0;
        int32_t top = 0;
        int32_t right = 0;
        int32_t bottom = 0;
        int32_t width() const { return right - left; }
        int32_t height() const { return bottom - top; }
        bool operator==(const Rect&) const = default;
    };

    // number * numerator / denominator with a 64-bit intermediate, rounded to nearest (halves
    // away from zero); -1 when the denominator is 0, as the system's MulDiv answers.
    static int32_t mulDiv(int32_t number, int32_t numerator, int32_t denominator) {
        if (denominator == 0) return -1;
        int64_t product = static_cast<int64_t>(number) * numerator;
        const bool negative = (product < 0) != (denominator < 0);
        const int64_t absProduct = product < 0 ? -product : product;
        const int64_t absDenominator = denominator < 0 ? -static_cast<int64_t>(denominator)
                                                       : static_cast<int64_t>(denominator);
        const int64_t quotient = (absProduct + absDenominator / 2) / absDenominator;
        const int64_t result = negative ? -quotient : quotient;
        if (result > INT32_MAX || result < INT32_MIN) return -1;
        return static_cast<int32_t>(result);
    }

    // The largest centred rectangle of the video's proportions inside the client rectangle;
    // the halves of the leftover truncate toward zero.
    static Rect letterbox(Rect client, int32_t videoWidth, int32_t videoHeight) {
        const int32_t cw = client.width();
        const int32_t ch = client.height();
        int32_t dw = 0;
        int32_t dh = 0;
        if (videoWidth <= 0 || videoHeight <= 0)
            return Rect{client.left, client.top, client.left, client.top};
        if (mulDiv(videoWidth, ch, videoHeight) > cw) {
            dw = cw;
            dh = mulDiv(cw, videoHeight, videoWidth);
        } else {
            dw = mulDiv(ch, videoWidth, videoHeight);
            dh = ch;
        }
        const int32_t x = client.left + (cw - dw) / 2;
        const int32_t y = client.top + (ch - dh) / 2;
        return Rect{x, y, x + dw, y + dh};
    }

    // The stretching renderer's target never has more pixels than the video.
    static uint32_t targetExtent(uint32_t video, uint32_t client) {
        return client < video ? client : video;
    }
};

}  // namespace tovrel::capture
