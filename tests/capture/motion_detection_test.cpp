#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "capture/motion_detection.h"

namespace tovrel::capture {
namespace {

// A YUY2 frame of `width` pixels and `height` rows, every byte 100.
struct Frames {
    Frames(int32_t width, uint32_t h)
        : stride(width * 2),
          height(h),
          frame(static_cast<size_t>(stride) * h, 100),
          previous(frame),
          diff(frame.size(), 0xEE) {}
    void run() { detectMotion(frame.data(), previous.data(), diff.data(), stride, height); }
    uint8_t& at(int64_t offset, int row = 0, int byte = 0) {
        return frame[offset + row * stride + byte];
    }
    // True when the 16 x 8 block at `offset` carries the outline and nothing else changed there.
    bool outlined(int64_t offset) {
        for (int row = 0; row < 8; ++row) {
            for (int byte = 0; byte < 16; ++byte) {
                const bool edge = row == 0 || row == 7 || byte < 4 || byte >= 12;
                if ((at(offset, row, byte) == 0) != edge) return false;
            }
        }
        return true;
    }
    size_t zeros() const { return static_cast<size_t>(std::count(frame.begin(), frame.end(), 0)); }

    int32_t stride;
    uint32_t height;
    std::vector<uint8_t> frame, previous, diff;
};

TEST(MotionDetection, AStillPictureIsNotOutlined) {
    Frames f(64, 32);
    f.run();
    EXPECT_EQ(f.zeros(), 0u);
    EXPECT_EQ(f.previous, f.frame);
}

TEST(MotionDetection, AChangeOfEightInEveryByteIsBelowTheBound) {
    Frames f(64, 32);
    for (int row = 0; row < 8; ++row)
        for (int byte = 0; byte < 16; ++byte) f.at(0, row, byte) = 108;
    f.run();
    EXPECT_EQ(f.zeros(), 0u);
}

TEST(MotionDetection, NineOrMoreInThirteenBytesOutlinesTheBlockTwelveDoNot) {
    Frames twelve(64, 32);
    // Row 0 of a block belongs to no other block, so only the block at byte 16 sees these.
    for (int i = 0; i < 12; ++i) twelve.at(16, 0, i + 2) = 91;  // -9
    twelve.run();
    EXPECT_EQ(twelve.zeros(), 0u);

    Frames thirteen(64, 32);
    for (int i = 0; i < 13; ++i)
        thirteen.at(16, 0, i + 2) = static_cast<uint8_t>(i % 2 ? 109 : 255);
    thirteen.run();
    EXPECT_TRUE(thirteen.outlined(16));
    EXPECT_EQ(thirteen.zeros(), 16u * 2 + 8u * 6) << "only that block";
    EXPECT_EQ(thirteen.previous[16 + 2], 255) << "the reference keeps the unmarked frame";
}

TEST(MotionDetection, TheLastBandIsNeverScanned) {
    Frames f(64, 32);  // bands 0, 1 and 2 of 4; band 2's high positions reach row 24
    for (int row = 25; row < 32; ++row)
        for (int byte = 0; byte < f.stride; ++byte) f.frame[row * f.stride + byte] = 0x80;
    f.run();
    EXPECT_EQ(f.zeros(), 0u);
}

TEST(MotionDetection, HighPositionsAddressTheSameBandOneRowLower) {
    Frames f(64, 32);  // S = 128: positions 0..7 in the row, 8..15 start one row lower
    // Seven changed bytes in row 9 and seven in row 16: only the block at band 1, position 8
    // (8*1*128 + 16*8 = row 9, byte 0, rows 9..16) holds more than 12 of them.
    for (int byte = 0; byte < 7; ++byte) {
        f.frame[9 * f.stride + byte] = 200;
        f.frame[16 * f.stride + byte] = 200;
    }
    f.run();
    EXPECT_TRUE(f.outlined(9 * f.stride));
    EXPECT_EQ(f.zeros(), 16u * 2 + 8u * 6);
}

TEST(MotionDetection, FramesBelowSixteenRowsAreNotScanned) {
    Frames f(64, 15);
    std::fill(f.frame.begin(), f.frame.end(), 250);
    f.run();
    EXPECT_EQ(f.zeros(), 0u);
    EXPECT_EQ(f.previous, f.frame) << "the reference still follows";
}

TEST(MotionDetection, EveryAddressedBlockStaysInsideTheFrame) {
    // Odd geometries: the scan must neither crash nor touch bytes past the end (ASan watches).
    for (int32_t width : {8, 10, 30, 66, 1366}) {
        for (uint32_t height : {16u, 17u, 23u, 40u}) {
            Frames f(width, height);
            std::vector<uint8_t> changed(f.frame.size(), 240);
            f.frame = changed;
            f.run();
        }
    }
}

// The outlines as the block rule defines them, computed the plain way over whole frames.
std::vector<uint8_t> plainOutlines(std::vector<uint8_t> frame, const std::vector<uint8_t>& previous,
                                   int32_t stride, uint32_t height) {
    const std::vector<uint8_t> unmarked = frame;
    const int64_t bytes = static_cast<int64_t>(stride) * height;
    for (int32_t band = 0; band + 1 < static_cast<int32_t>(height / 8); ++band) {
        for (int32_t j = 0; j < stride / 8; ++j) {
            const int64_t offset = 8LL * band * stride + 16LL * j;
            if (offset + 7LL * stride + 16 > bytes) continue;
            int count = 0;
            for (int row = 0; row < 8; ++row)
                for (int b = 0; b < 16; ++b) {
                    const int64_t at = offset + row * stride + b;
                    count += std::abs(unmarked[at] - previous[at]) >= 9 ? 1 : 0;
                }
            if (count <= 12) continue;
            for (int row = 0; row < 8; ++row)
                for (int b = 0; b < 16; ++b)
                    if (row == 0 || row == 7 || b < 4 || b >= 12)
                        frame[offset + row * stride + b] = 0;
        }
    }
    return frame;
}

TEST(MotionDetection, MatchesThePlainRuleOnChangingPictures) {
    std::mt19937 rng(5);
    // Strides of whole blocks and others, heights with and without a partial band.
    // 2056 pixels: more block columns than the scan counts at once.
    for (int32_t width : {8, 64, 100, 960, 1366, 2056}) {
        for (uint32_t height : {16u, 40u, 67u}) {
            Frames f(width, height);
            for (auto& byte : f.previous) byte = static_cast<uint8_t>(rng());
            f.frame = f.previous;
            // Changes of 8 to 10 in scattered bytes, dense enough that many blocks sit near the
            // threshold of 13.
            for (size_t i = 0; i < f.frame.size(); ++i) {
                if (rng() % 7 != 0) continue;
                const int delta = 8 + static_cast<int>(rng() % 3);
                f.frame[i] = static_cast<uint8_t>(f.frame[i] >= 128 ? f.frame[i] - delta
                                                                    : f.frame[i] + delta);
            }
            const std::vector<uint8_t> unmarked = f.frame;
            const std::vector<uint8_t> expected =
                plainOutlines(f.frame, f.previous, f.stride, f.height);
            const std::vector<uint8_t> before = f.previous;
            f.run();
            EXPECT_EQ(f.frame, expected) << width << "x" << height;
            EXPECT_EQ(f.previous, unmarked) << width << "x" << height;
            for (size_t i = 0; i < f.diff.size(); ++i) {
                ASSERT_EQ(f.diff[i], std::abs(unmarked[i] - before[i])) << "diff byte " << i;
            }
        }
    }
}

}  // namespace
}  // namespace tovrel::capture
