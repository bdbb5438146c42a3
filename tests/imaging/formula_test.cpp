// The reference path against the formulas on their telling cases.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/aligned_alloc.h"
#include "imaging/bilinear_scaler.h"
#include "imaging/byte_image_ops.h"
#include "imaging/kernel_path.h"
#include "imaging/pixel_conversion.h"

namespace tovrel::imaging {
namespace {

class ReferencePath : public ::testing::Test {
  protected:
    void SetUp() override { setKernelPathLimit(KernelPath::kReference); }
    void TearDown() override { setKernelPathLimit(kBestKernelPath); }
};

TEST_F(ReferencePath, Yuy2BlackAndWhitePairs) {
    const std::array<uint8_t, 8> src{16, 128, 16, 128, 235, 128, 235, 128};
    std::array<uint8_t, 16> dst{};
    ASSERT_EQ(convertYuy2ToBgra(src.data(), 8, dst.data(), 16, {4, 1}, 0x7f), kDone);
    const std::array<uint8_t, 16> expected{0,   0,   0,   0x7f, 0,   0,   0,   0x7f,
                                           255, 255, 255, 0x7f, 255, 255, 255, 0x7f};
    EXPECT_EQ(dst, expected);
}

TEST_F(ReferencePath, Yuy2SaturatedColoursClamp) {
    // Full red chroma on bright luma overflows R and underflows G and B.
    const std::array<uint8_t, 4> src{255, 0, 255, 255};
    std::array<uint8_t, 8> dst{};
    ASSERT_EQ(convertYuy2ToBgra(src.data(), 4, dst.data(), 8, {2, 1}, 255), kDone);
    // B = (76284*255 - 18107584) >> 16 = 20 (U = 0 adds nothing).
    EXPECT_EQ(dst[0], 20);
    EXPECT_EQ(dst[2], 255);
    // G = (19452420 - 53281*255 + 8920512) >> 16 = 225.
    EXPECT_EQ(dst[1], 225);
}

TEST_F(ReferencePath, Yuy2OddWidthBorrowsPreviousChroma) {
    const std::array<uint8_t, 6> src{100, 90, 110, 200, 120, 0};
    std::array<uint8_t, 12> odd{};
    ASSERT_EQ(convertYuy2ToBgra(src.data(), 6, odd.data(), 12, {3, 1}, 1), kDone);
    const std::array<uint8_t, 4> pair{120, 90, 120, 200};
    std::array<uint8_t, 8> even{};
    ASSERT_EQ(convertYuy2ToBgra(pair.data(), 4, even.data(), 8, {2, 1}, 1), kDone);
    EXPECT_TRUE(std::equal(even.begin(), even.begin() + 4, odd.begin() + 8));
}

TEST_F(ReferencePath, Yuy2ToNv12KeepsEvenRowChroma) {
    const std::array<uint8_t, 16> src{10, 50, 11, 60, 12, 51, 13, 61,   // row 0
                                      20, 90, 21, 95, 22, 91, 23, 96};  // row 1
    std::array<uint8_t, 8> y{};
    std::array<uint8_t, 4> uv{};
    ASSERT_EQ(convertYuy2ToNv12(src.data(), 8, y.data(), 4, uv.data(), 4, {4, 2}), kDone);
    EXPECT_EQ(y, (std::array<uint8_t, 8>{10, 11, 12, 13, 20, 21, 22, 23}));
    EXPECT_EQ(uv, (std::array<uint8_t, 4>{50, 60, 51, 61}));
}

// Each UV row serves the two rows it was sampled from; the third row of three takes the second.
TEST_F(ReferencePath, Nv12ToYuy2SharesEachChromaRowBetweenTwoRows) {
    const std::array<uint8_t, 15> y{10, 11, 12, 13, 99, 20, 21, 22, 23, 99, 30, 31, 32, 33, 99};
    const std::array<uint8_t, 8> uv{50, 60, 51, 61, 70, 80, 71, 81};
    std::array<uint8_t, 24> out{};
    ASSERT_EQ(convertNv12ToYuy2(y.data(), 5, uv.data(), 4, out.data(), 8, {5, 3}), kDone)
        << "an odd width leaves its last pixel out";
    EXPECT_EQ(out, (std::array<uint8_t, 24>{10, 50, 11, 60, 12, 51, 13, 61,  //
                                            20, 50, 21, 60, 22, 51, 23, 61,  //
                                            30, 70, 31, 80, 32, 71, 33, 81}));
}

TEST_F(ReferencePath, BgraToNv12WhiteAndBlackBlocks) {
    for (const uint8_t level : {uint8_t{255}, uint8_t{0}}) {
        std::vector<uint8_t> src(4 * 4, level);
        std::array<uint8_t, 4> y{};
        std::array<uint8_t, 2> uv{};
        ASSERT_EQ(convertBgraToNv12(src.data(), 8, y.data(), 2, uv.data(), 2, {2, 2}), kDone);
        const uint8_t expectedY = level == 255 ? 235 : 16;
        EXPECT_EQ(y, (std::array<uint8_t, 4>{expectedY, expectedY, expectedY, expectedY}));
        EXPECT_EQ(uv, (std::array<uint8_t, 2>{128, 128}));
    }
}

TEST_F(ReferencePath, BgraToNv12StaysInLimitedRange) {
    // Pure primaries hit the extremes of the chroma range.
    const std::array<std::array<uint8_t, 4>, 3> primaries{
        {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}}};
    for (const auto& colour : primaries) {
        std::vector<uint8_t> src;
        for (int i = 0; i < 4; ++i) src.insert(src.end(), colour.begin(), colour.end());
        std::array<uint8_t, 4> y{};
        std::array<uint8_t, 2> uv{};
        ASSERT_EQ(convertBgraToNv12(src.data(), 8, y.data(), 2, uv.data(), 2, {2, 2}), kDone);
        EXPECT_GE(y[0], 16);
        EXPECT_LE(y[0], 235);
        for (const uint8_t c : uv) {
            EXPECT_GE(c, 16);
            EXPECT_LE(c, 240);
        }
    }
}

TEST_F(ReferencePath, Pack422InterleavesPlanes) {
    const std::array<uint8_t, 5> y{1, 2, 3, 4, 5};  // odd width: the last pixel is dropped
    const std::array<uint8_t, 2> u{10, 11};
    const std::array<uint8_t, 2> v{20, 21};
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int32_t steps[3] = {5, 2, 2};
    std::array<uint8_t, 10> dst{};
    dst.fill(0xee);
    ASSERT_EQ(packPlanar422ToYuy2(planes, steps, dst.data(), 10, {5, 1}), kDone);
    EXPECT_EQ(dst, (std::array<uint8_t, 10>{1, 10, 2, 20, 3, 11, 4, 21, 0xee, 0xee}));
}

TEST_F(ReferencePath, CountInRangeBounds) {
    std::vector<uint8_t> block(16 * 8, 8);
    int64_t count = -1;
    ASSERT_EQ(countInRange(block.data(), 16, {16, 8}, &count, 9, 255), kDone);
    EXPECT_EQ(count, 0);
    std::fill(block.begin(), block.end(), 9);
    ASSERT_EQ(countInRange(block.data(), 16, {16, 8}, &count, 9, 255), kDone);
    EXPECT_EQ(count, 128);
    ASSERT_EQ(countInRange(block.data(), 16, {16, 8}, &count, 0, 9), kDone);
    EXPECT_EQ(count, 128);
    ASSERT_EQ(countInRange(block.data(), 16, {16, 8}, &count, 10, 10), kDone);
    EXPECT_EQ(count, 0);
}

TEST_F(ReferencePath, AbsoluteDifferenceBothOrders) {
    const std::array<uint8_t, 4> a{0, 255, 100, 7};
    const std::array<uint8_t, 4> b{255, 0, 90, 7};
    std::array<uint8_t, 4> d{};
    ASSERT_EQ(absoluteDifference(a.data(), 4, b.data(), 4, d.data(), 4, {4, 1}), kDone);
    EXPECT_EQ(d, (std::array<uint8_t, 4>{255, 255, 10, 0}));
}

struct Scaler {
    std::vector<uint8_t> description;
    std::vector<uint8_t> work;
};

Scaler makeScaler(Size src, Size dst) {
    int32_t descriptionBytes = 0;
    int32_t initBytes = -1;
    EXPECT_EQ(
        scalerQuerySizes(src, dst, Interpolation::kLinear, false, &descriptionBytes, &initBytes),
        kDone);
    EXPECT_EQ(initBytes, 0);
    Scaler scaler;
    scaler.description.resize(descriptionBytes);
    EXPECT_EQ(scalerInit(src, dst, scaler.description.data()), kDone);
    int32_t workBytes = 0;
    EXPECT_EQ(scalerQueryWorkSize(scaler.description.data(), dst, 4, &workBytes), kDone);
    scaler.work.resize(workBytes);
    return scaler;
}

TEST_F(ReferencePath, ScaleTwoByTwoToFourByFour) {
    const std::array<uint8_t, 16> src{0,   10,  20,  30,  200, 210, 220, 230,  // row 0
                                      100, 110, 120, 130, 50,  60,  70,  80};  // row 1
    Scaler scaler = makeScaler({2, 2}, {4, 4});
    std::array<uint8_t, 64> dst{};
    ASSERT_EQ(scaleBgra(src.data(), 8, dst.data(), 16, {0, 0}, {4, 4}, BorderKind::kReplicate,
                        nullptr, scaler.description.data(), scaler.work.data()),
              kDone);
    const auto pixel = [&](int x, int y) {
        return std::array<uint8_t, 4>{dst[16 * y + 4 * x], dst[16 * y + 4 * x + 1],
                                      dst[16 * y + 4 * x + 2], dst[16 * y + 4 * x + 3]};
    };
    EXPECT_EQ(pixel(0, 0), (std::array<uint8_t, 4>{0, 10, 20, 30}));
    EXPECT_EQ(pixel(3, 0), (std::array<uint8_t, 4>{200, 210, 220, 230}));
    EXPECT_EQ(pixel(0, 3), (std::array<uint8_t, 4>{100, 110, 120, 130}));
    EXPECT_EQ(pixel(3, 3), (std::array<uint8_t, 4>{50, 60, 70, 80}));
    // Column 1 maps to sx = 0.25: three quarters left, one quarter right. 0.75*0 + 0.25*200 = 50.
    EXPECT_EQ(pixel(1, 0)[0], 50);
    // Inner pixel (1,1): 0.75*(0.75*0 + 0.25*200) + 0.25*(0.75*100 + 0.25*50) = 59.375 -> 59.
    EXPECT_EQ(pixel(1, 1)[0], 59);
}

TEST_F(ReferencePath, ScaleRoundsTiesToEven) {
    // 2 -> 1 columns: sx = 0.5, both neighbours weigh half; 2 -> 1 rows likewise.
    const std::array<uint8_t, 16> src{1, 2, 0, 0, 2, 3, 1, 255,   // row 0
                                      1, 2, 0, 0, 2, 3, 2, 255};  // row 1
    Scaler scaler = makeScaler({2, 2}, {1, 1});
    std::array<uint8_t, 4> dst{};
    ASSERT_EQ(scaleBgra(src.data(), 8, dst.data(), 4, {0, 0}, {1, 1}, BorderKind::kReplicate,
                        nullptr, scaler.description.data(), scaler.work.data()),
              kDone);
    // 1.5 -> 2, 2.5 -> 2, 0.75 -> 1, 127.5 -> 128.
    EXPECT_EQ(dst, (std::array<uint8_t, 4>{2, 2, 1, 128}));
}

TEST(AlignedAlloc, AlignsAndRejects) {
    EXPECT_EQ(alignedAlloc(0), nullptr);
    EXPECT_EQ(alignedAlloc(-5), nullptr);
    EXPECT_EQ(alignedAlloc(INT64_MAX), nullptr);
    EXPECT_EQ(alignedAlloc(INT64_MAX - 60), nullptr);
    alignedFree(nullptr);
    std::vector<void*> blocks;
    for (int64_t bytes : {1, 3, 63, 64, 65, 4096, 1 << 20}) {
        void* block = alignedAlloc(bytes);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 64, 0u);
        std::fill_n(static_cast<uint8_t*>(block), bytes, 0xab);  // the whole block is usable
        blocks.push_back(block);
    }
    for (void* block : blocks) alignedFree(block);
}

}  // namespace
}  // namespace tovrel::imaging
