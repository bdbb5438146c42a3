#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tovrel::audio {

// One row of the oscilloscope's time base: the scope shows history length / divisor samples,
// ten divisions of the labelled time.
struct TimeBaseRow {
    int32_t divisor;
    std::string_view label;
};

// One row of a channel's gain: the history value fullScale / factor reaches half the pane.
struct GainRow {
    double factor;
    std::string_view label;
};

inline constexpr std::array<TimeBaseRow, 13> kTimeBaseTable{{
    {10'000, "10 uS/Div"},
    {5'000, "20 uS/Div"},
    {2'000, "50 uS/Div"},
    {1'000, "100 uS/Div"},
    {500, "200 uS/Div"},
    {200, "500 uS/Div"},
    {100, "1 mS/Div"},
    {50, "2 mS/Div"},
    {20, "5 mS/Div"},
    {10, "10 mS/Div"},
    {5, "20 mS/Div"},
    {2, "50 mS/Div"},
    {1, "100 mS/Div"},
}};

inline constexpr std::array<GainRow, 16> kGainTable{{
    {128.0, "*128"},
    {64.0, "*64"},
    {32.0, "*32"},
    {16.0, "*16"},
    {8.0, "*8"},
    {4.0, "*4"},
    {2.0, "*2"},
    {1.0, "*1"},
    {0.5, "/2"},
    {0.25, "/4"},
    {0.125, "/8"},
    {0.0625, "/16"},
    {0.03125, "/32"},
    {0.015625, "/64"},
    {0.0078125, "/128"},
    {0.00390625, "/256"},
}};

inline constexpr int32_t kDefaultTimeBaseIndex = 9;  // "10 mS/Div"
inline constexpr int32_t kDefaultGainIndex = 7;      // "*1"

// The Format box's prefix by channels + bits per sample; the sample rate follows it.
struct FormatPrefixRow {
    int32_t channelsPlusBits;
    std::string_view prefix;
};

inline constexpr std::array<FormatPrefixRow, 4> kFormatPrefixTable{{
    {9, "M-8-"},
    {10, "S-8-"},
    {17, "M-16-"},
    {18, "S-16-"},
}};

}  // namespace tovrel::audio
