#include <gtest/gtest.h>

#include <array>

#include "platform/media/mf_guids.h"
#include "recording/codec_levels.h"
#include "recording/path_extension.h"
#include "recording/video_bitrate.h"

namespace tovrel::recording {
namespace {

using platform::MFVideoFormat_H264;
using platform::MFVideoFormat_HEVC;

TEST(VideoBitrate, TheTenRatesAt1080p30) {
    constexpr std::array<uint32_t, 5> kH264{2'692'165, 5'384'331, 8'076'497, 12'114'746,
                                            16'152'995};
    constexpr std::array<uint32_t, 5> kHevc{2'528'929, 5'057'858, 7'586'788, 11'380'182,
                                            15'173'576};
    for (int32_t q = 0; q < 5; ++q) {
        EXPECT_EQ(VideoBitrate(1920, 1080, 30.0f, MFVideoFormat_H264, q), kH264[q]) << q;
        EXPECT_EQ(VideoBitrate(1920, 1080, 30.0f, MFVideoFormat_HEVC, q), kHevc[q]) << q;
    }
}

TEST(VideoBitrate, WorkedFiguresAtOtherSizesAndQualities) {
    EXPECT_EQ(VideoBitrate(1280, 720, 60.0f, MFVideoFormat_H264, 2), 7'614'595u);
    EXPECT_EQ(VideoBitrate(3840, 2160, 30.0f, MFVideoFormat_HEVC, 2), 14'194'157u);
    // An unknown quality is the middle one; a fractional rate counts its whole frames.
    EXPECT_EQ(VideoBitrate(1920, 1080, 30.0f, MFVideoFormat_H264, 7),
              VideoBitrate(1920, 1080, 30.0f, MFVideoFormat_H264, 2));
    EXPECT_EQ(VideoBitrate(1920, 1080, 29.97f, MFVideoFormat_H264, 2),
              VideoBitrate(1920, 1080, 29.0f, MFVideoFormat_H264, 2));
}

TEST(VideoBitrate, PixelRatesPastTheHevcReferenceStayFiniteAndBelowH264) {
    // 7680 x 4320 x 240 passes 2^32; 4096 x 2160 x 480 passes the reference without wrapping.
    for (auto [w, h, f] : {std::array<uint32_t, 3>{7680, 4320, 240}, {4096, 2160, 480}}) {
        const uint32_t hevc = VideoBitrate(w, h, static_cast<float>(f), MFVideoFormat_HEVC, 2);
        const uint32_t h264 = VideoBitrate(w, h, static_cast<float>(f), MFVideoFormat_H264, 2);
        EXPECT_GT(hevc, 0u);
        EXPECT_LT(hevc, h264);
        EXPECT_GE(hevc, h264 / 2);
    }
}

TEST(CodecLevels, WorkedFigures) {
    EXPECT_EQ(SelectH264Level(1920, 1080, 30), 41u);
    EXPECT_EQ(SelectHevcLevel(1920, 1080, 30), 120u);
    EXPECT_EQ(SelectH264Level(1280, 720, 60), 32u);
    EXPECT_EQ(SelectHevcLevel(1280, 720, 60), 120u);
    EXPECT_EQ(SelectH264Level(3840, 2160, 30), 51u);
    EXPECT_EQ(SelectHevcLevel(3840, 2160, 30), 150u);
    EXPECT_EQ(SelectH264Level(1920, 1080, 60), 42u);
    EXPECT_EQ(SelectH264Level(7680, 4320, 30), 52u);
    EXPECT_EQ(SelectHevcLevel(7680, 4320, 120), 186u);
}

TEST(CodecLevels, EachBoundIsInclusiveAndTheNextRateMovesUp) {
    auto check = [](const auto& table, uint32_t top, auto select) {
        for (size_t i = 0; i < table.size(); ++i) {
            EXPECT_EQ(select(table[i].maxPixelRate, 1, 1), table[i].level);
            const uint32_t next = i + 1 < table.size() ? table[i + 1].level : top;
            EXPECT_EQ(select(table[i].maxPixelRate + 1, 1, 1), next);
        }
    };
    check(kH264Levels, kH264TopLevel, SelectH264Level);
    check(kHevcLevels, kHevcTopLevel, SelectHevcLevel);
}

TEST(PathExtension, FromTheLastDotOfTheLastElement) {
    EXPECT_EQ(pathExtension("/home/u/Videos/MF20260101120000.mp4"), ".mp4");
    EXPECT_EQ(pathExtension("/a.b/c"), "");
    EXPECT_EQ(pathExtension("clip.tar.mp4"), ".mp4");
    EXPECT_EQ(pathExtension("noext"), "");
    EXPECT_EQ(pathExtension("/x/.mp4"), ".mp4");
}

}  // namespace
}  // namespace tovrel::recording
