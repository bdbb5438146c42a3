// Invalid arguments: a negative status and not one byte written.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imaging/bilinear_scaler.h"
#include "imaging/byte_image_ops.h"
#include "imaging/pixel_conversion.h"

namespace tovrel::imaging {
namespace {

constexpr uint8_t kUntouched = 0x5a;

struct Buffers {
    std::vector<uint8_t> src = std::vector<uint8_t>(4096, 100);
    std::vector<uint8_t> src2 = std::vector<uint8_t>(4096, 50);
    std::vector<uint8_t> dst = std::vector<uint8_t>(4096, kUntouched);
    std::vector<uint8_t> dst2 = std::vector<uint8_t>(4096, kUntouched);
    bool untouched() const {
        for (uint8_t b : dst)
            if (b != kUntouched) return false;
        for (uint8_t b : dst2)
            if (b != kUntouched) return false;
        return true;
    }
};

TEST(InvalidArguments, ByteImageOperations) {
    Buffers b;
    EXPECT_LT(absoluteDifference(nullptr, 8, b.src2.data(), 8, b.dst.data(), 8, {8, 8}), 0);
    EXPECT_LT(absoluteDifference(b.src.data(), 8, b.src2.data(), 8, nullptr, 8, {8, 8}), 0);
    EXPECT_LT(absoluteDifference(b.src.data(), 7, b.src2.data(), 8, b.dst.data(), 8, {8, 8}), 0);
    EXPECT_LT(absoluteDifference(b.src.data(), 8, b.src2.data(), 8, b.dst.data(), 8, {0, 8}), 0);
    EXPECT_LT(absoluteDifference(b.src.data(), 8, b.src2.data(), 8, b.dst.data(), -8, {8, 8}), 0);
    EXPECT_LT(copyPlane(b.src.data(), 8, b.dst.data(), 7, {8, 8}), 0);
    EXPECT_LT(copyPlane(b.src.data(), 8, b.dst.data(), 8, {8, -1}), 0);
    EXPECT_LT(copyPlane(b.src.data(), 8, nullptr, 8, {8, 1}), 0);
    int64_t count = 77;
    EXPECT_LT(countInRange(b.src.data(), 8, {8, 8}, &count, 10, 9), 0);
    EXPECT_LT(countInRange(b.src.data(), 8, {8, 8}, nullptr, 0, 9), 0);
    EXPECT_LT(countInRange(b.src.data(), 4, {8, 8}, &count, 0, 255), 0);
    uint8_t counts[4] = {0xee, 0xee, 0xee, 0xee};
    EXPECT_LT(countInRangeBlocks(b.src.data(), 8, {8, 8}, counts, 0, 255), 0) << "under 16";
    EXPECT_LT(countInRangeBlocks(b.src.data(), 24, {24, 2}, counts, 0, 255), 0) << "not 16s";
    EXPECT_LT(countInRangeBlocks(b.src.data(), 16, {16, 16}, counts, 0, 255), 0) << "16 rows";
    EXPECT_LT(countInRangeBlocks(b.src.data(), 8, {16, 2}, counts, 0, 255), 0) << "short step";
    EXPECT_LT(countInRangeBlocks(b.src.data(), 16, {16, 2}, counts, 10, 9), 0);
    EXPECT_LT(countInRangeBlocks(b.src.data(), 16, {16, 2}, nullptr, 0, 9), 0);
    EXPECT_EQ(counts[0], 0xee) << "nothing stored";
    EXPECT_EQ(count, 77);
    EXPECT_TRUE(b.untouched());
}

TEST(InvalidArguments, Conversions) {
    Buffers b;
    EXPECT_LT(convertYuy2ToBgra(b.src.data(), 4, b.dst.data(), 8, {1, 4}, 0), 0);
    EXPECT_LT(convertYuy2ToBgra(b.src.data(), 15, b.dst.data(), 32, {8, 4}, 0), 0);
    EXPECT_LT(convertYuy2ToBgra(b.src.data(), 16, b.dst.data(), 31, {8, 4}, 0), 0);
    EXPECT_LT(convertYuy2ToBgra(b.src.data(), 16, b.dst.data(), 32, {8, 0}, 0), 0);
    EXPECT_LT(convertYuy2ToBgra(nullptr, 16, b.dst.data(), 32, {8, 4}, 0), 0);
    EXPECT_LT(
        convertYuy2ToBgraAndCopy(b.src.data(), 16, b.dst.data(), 32, b.dst2.data(), 31, {8, 4}, 0),
        0);
    EXPECT_LT(convertYuy2ToBgraAndCopy(b.src.data(), 16, b.dst.data(), 32, nullptr, 32, {8, 4}, 0),
              0);
    EXPECT_LT(
        convertYuy2ToBgraAndCopy(b.src.data(), 16, b.dst.data(), 32, b.dst2.data(), 32, {1, 4}, 0),
        0);

    const uint8_t* planes[3] = {b.src.data(), b.src.data(), nullptr};
    const int32_t steps[3] = {8, 4, 4};
    EXPECT_LT(packPlanar422ToYuy2(planes, steps, b.dst.data(), 16, {8, 4}), 0);
    planes[2] = b.src.data();
    const int32_t shortChroma[3] = {8, 3, 4};
    EXPECT_LT(packPlanar422ToYuy2(planes, shortChroma, b.dst.data(), 16, {8, 4}), 0);
    EXPECT_LT(packPlanar422ToYuy2(planes, steps, b.dst.data(), 15, {8, 4}), 0);
    EXPECT_LT(packPlanar422ToYuy2(planes, steps, b.dst.data(), 16, {1, 4}), 0);
    EXPECT_LT(packPlanar422ToYuy2(nullptr, steps, b.dst.data(), 16, {8, 4}), 0);
    EXPECT_LT(packPlanar422ToYuy2AndConvert(planes, steps, b.dst.data(), 16, b.dst2.data(), 32,
                                            b.dst2.data() + 2048, 32, {7, 4}, 0),
              0)
        << "odd width";
    EXPECT_LT(packPlanar422ToYuy2AndConvert(planes, steps, b.dst.data(), 16, b.dst2.data(), 31,
                                            b.dst2.data() + 2048, 32, {8, 4}, 0),
              0);
    EXPECT_LT(packPlanar422ToYuy2AndConvert(planes, steps, b.dst.data(), 16, b.dst2.data(), 32,
                                            nullptr, 32, {8, 4}, 0),
              0);

    EXPECT_LT(convertYuy2ToNv12(b.src.data(), 16, b.dst.data(), 8, b.dst2.data(), 8, {8, 1}), 0);
    EXPECT_LT(convertNv12ToYuy2(b.src.data(), 8, b.src.data(), 8, b.dst.data(), 16, {1, 1}), 0);
    EXPECT_LT(convertNv12ToYuy2(b.src.data(), 7, b.src.data(), 8, b.dst.data(), 16, {8, 1}), 0);
    EXPECT_LT(convertNv12ToYuy2(b.src.data(), 8, b.src.data(), 7, b.dst.data(), 16, {8, 1}), 0);
    EXPECT_LT(convertNv12ToYuy2(b.src.data(), 8, b.src.data(), 8, b.dst.data(), 15, {8, 1}), 0);
    EXPECT_LT(convertNv12ToYuy2(nullptr, 8, b.src.data(), 8, b.dst.data(), 16, {8, 1}), 0);
    EXPECT_LT(convertYuy2ToNv12(b.src.data(), 16, b.dst.data(), 8, b.dst2.data(), 7, {8, 2}), 0);
    EXPECT_LT(convertYuy2ToNv12(b.src.data(), 14, b.dst.data(), 8, b.dst2.data(), 8, {8, 2}), 0);
    EXPECT_LT(convertYuy2ToNv12(b.src.data(), 16, b.dst.data(), 8, nullptr, 8, {8, 2}), 0);
    EXPECT_LT(convertBgraToNv12(b.src.data(), 32, b.dst.data(), 8, b.dst2.data(), 8, {1, 2}), 0);
    EXPECT_LT(convertBgraToNv12(b.src.data(), 31, b.dst.data(), 8, b.dst2.data(), 8, {8, 2}), 0);
    EXPECT_LT(convertBgraToNv12(b.src.data(), 32, b.dst.data(), 7, b.dst2.data(), 8, {8, 2}), 0);
    EXPECT_LT(convertBgraToNv12(b.src.data(), 32, nullptr, 8, b.dst2.data(), 8, {8, 2}), 0);
    EXPECT_TRUE(b.untouched());
}

TEST(InvalidArguments, Scaler) {
    int32_t descriptionBytes = -1;
    int32_t initBytes = -1;
    EXPECT_LT(scalerQuerySizes({1, 2}, {4, 4}, Interpolation::kLinear, false, &descriptionBytes,
                               &initBytes),
              0);
    EXPECT_LT(scalerQuerySizes({2, 2}, {-1, 4}, Interpolation::kLinear, false, &descriptionBytes,
                               &initBytes),
              0);
    EXPECT_LT(scalerQuerySizes({2, 2}, {4, 4}, Interpolation::kLinear, true, &descriptionBytes,
                               &initBytes),
              0);
    EXPECT_LT(scalerQuerySizes({2, 2}, {4, 4}, static_cast<Interpolation>(7), false,
                               &descriptionBytes, &initBytes),
              0);
    EXPECT_LT(scalerQuerySizes({2, 2}, {INT32_MAX, 4}, Interpolation::kLinear, false,
                               &descriptionBytes, &initBytes),
              0);
    EXPECT_EQ(descriptionBytes, -1);
    EXPECT_EQ(initBytes, -1);

    ASSERT_EQ(scalerQuerySizes({4, 4}, {8, 8}, Interpolation::kLinear, false, &descriptionBytes,
                               &initBytes),
              kDone);
    std::vector<uint8_t> description(descriptionBytes, 0);
    int32_t workBytes = -1;
    EXPECT_LT(scalerQueryWorkSize(description.data(), {8, 8}, 4, &workBytes),
              0);  // not initialised
    ASSERT_EQ(scalerInit({4, 4}, {8, 8}, description.data()), kDone);
    EXPECT_LT(scalerQueryWorkSize(description.data(), {8, 8}, 3, &workBytes), 0);
    EXPECT_LT(scalerQueryWorkSize(description.data(), {9, 8}, 4, &workBytes), 0);
    EXPECT_EQ(workBytes, -1);
    ASSERT_EQ(scalerQueryWorkSize(description.data(), {8, 8}, 4, &workBytes), kDone);
    std::vector<uint8_t> work(workBytes);

    Buffers b;
    const auto scale = [&](int32_t srcStep, int32_t dstStep, Point offset, Size size,
                           BorderKind border) {
        return scaleBgra(b.src.data(), srcStep, b.dst.data(), dstStep, offset, size, border,
                         nullptr, description.data(), work.data());
    };
    EXPECT_LT(scale(15, 32, {0, 0}, {8, 8}, BorderKind::kReplicate), 0);
    EXPECT_LT(scale(16, 31, {0, 0}, {8, 8}, BorderKind::kReplicate), 0);
    EXPECT_LT(scale(16, 32, {1, 0}, {8, 8}, BorderKind::kReplicate), 0);
    EXPECT_LT(scale(16, 32, {0, -1}, {8, 4}, BorderKind::kReplicate), 0);
    EXPECT_LT(scale(16, 32, {0, 0}, {8, 8}, static_cast<BorderKind>(0)), 0);
    EXPECT_EQ(scale(16, 32, {0, 0}, {0, 8}, BorderKind::kReplicate), kDone);  // nothing to do
    EXPECT_LT(scaleBgra(b.src.data(), 16, b.dst.data(), 32, {0, 0}, {8, 8}, BorderKind::kReplicate,
                        nullptr, description.data(), nullptr),
              0);
    EXPECT_TRUE(b.untouched());
}

TEST(InvalidArguments, ZeroDestinationScalerIsAccepted) {
    int32_t descriptionBytes = 0;
    int32_t initBytes = 0;
    ASSERT_EQ(scalerQuerySizes({2, 2}, {0, 0}, Interpolation::kLinear, false, &descriptionBytes,
                               &initBytes),
              kDone);
    std::vector<uint8_t> description(descriptionBytes);
    ASSERT_EQ(scalerInit({2, 2}, {0, 0}, description.data()), kDone);
    int32_t workBytes = 0;
    ASSERT_EQ(scalerQueryWorkSize(description.data(), {0, 0}, 4, &workBytes), kDone);
    std::vector<uint8_t> work(workBytes);
    std::vector<uint8_t> src(16, 1);
    uint8_t dst = kUntouched;
    EXPECT_EQ(scaleBgra(src.data(), 8, &dst, 0, {0, 0}, {0, 0}, BorderKind::kReplicate, nullptr,
                        description.data(), work.data()),
              kDone);
    EXPECT_EQ(dst, kUntouched);
}

}  // namespace
}  // namespace tovrel::imaging
