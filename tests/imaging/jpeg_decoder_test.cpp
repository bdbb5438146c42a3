// The decoder owner against pictures libjpeg-turbo itself encodes.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/jpeg_decoder.h"
#include "imaging/pixel_conversion.h"

namespace tovrel::imaging {
namespace {

constexpr uint8_t kUntouched = 0x77;

// A smooth colour picture compressed at the given subsampling.
std::vector<uint8_t> encodePicture(int width, int height, int subsampling) {
    std::vector<uint8_t> rgb(3 * width * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = rgb.data() + 3 * (y * width + x);
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>(128 + (x - y) / 4);
        }
    }
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegBytes = 0;
    const int status = tjCompress2(encoder, rgb.data(), width, 0, height, TJPF_RGB, &jpeg,
                                   &jpegBytes, subsampling, 95, 0);
    std::vector<uint8_t> result;
    if (status == 0) result.assign(jpeg, jpeg + jpegBytes);
    tjFree(jpeg);
    tjDestroy(encoder);
    return result;
}

TEST(JpegDecoder, LayoutMatchesTurboJpeg) {
    for (auto [w, h] : {std::pair{1920, 1080}, {640, 480}, {33, 7}, {1, 1}}) {
        const Planar422Layout layout = JpegDecoder::layout(w, h);
        EXPECT_EQ(layout.totalBytes, static_cast<int64_t>(tjBufSizeYUV2(w, 1, h, TJSAMP_422)));
        EXPECT_EQ(layout.chromaStep, tjPlaneWidth(1, w, TJSAMP_422));
        EXPECT_EQ(layout.yStep, tjPlaneWidth(0, w, TJSAMP_422));
        EXPECT_GE(layout.yStep, w);
        EXPECT_EQ(layout.vOffset - layout.uOffset,
                  static_cast<int64_t>(tjPlaneSizeYUV(1, w, 0, h, TJSAMP_422)));
    }
    EXPECT_EQ(JpegDecoder::layout(0, 10).totalBytes, 0);
}

class JpegDecoderSizes : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(JpegDecoderSizes, Decodes422AndPacksToYuy2) {
    const int width = GetParam().first;
    const int height = GetParam().second;
    const std::vector<uint8_t> jpeg = encodePicture(width, height, TJSAMP_422);
    ASSERT_FALSE(jpeg.empty());
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.valid());
    const Planar422Layout layout = JpegDecoder::layout(width, height);
    std::vector<uint8_t> planar(layout.totalBytes, kUntouched);
    ASSERT_EQ(decoder.decodeToPlanar422(jpeg.data(), jpeg.size(), planar.data(),
                                        static_cast<int64_t>(planar.size()), width, height),
              kDone);

    // The same frame decoded by TurboJPEG directly.
    tjhandle direct = tjInitDecompress();
    std::vector<uint8_t> expected(layout.totalBytes);
    ASSERT_EQ(tjDecompressToYUV2(direct, jpeg.data(), jpeg.size(), expected.data(), width, 1,
                                 height, TJFLAG_FASTDCT),
              0);
    tjDestroy(direct);
    EXPECT_EQ(planar, expected);

    // Packed to YUY2 and converted back to colour, the picture is what was encoded.
    const uint8_t* planes[3] = {planar.data(), planar.data() + layout.uOffset,
                                planar.data() + layout.vOffset};
    const int32_t steps[3] = {layout.yStep, layout.chromaStep, layout.chromaStep};
    std::vector<uint8_t> yuy2(2 * width * height);
    ASSERT_EQ(packPlanar422ToYuy2(planes, steps, yuy2.data(), 2 * width, {width, height}), kDone);
    std::vector<uint8_t> bgra(4 * width * height);
    ASSERT_EQ(
        convertYuy2ToBgra(yuy2.data(), 2 * width, bgra.data(), 4 * width, {width, height}, 255),
        kDone);
    const int x = width * 5 / 8;
    const int y = height * 5 / 8;
    const uint8_t* p = bgra.data() + 4 * (y * width + x);
    EXPECT_NEAR(p[2], x * 255 / width, 12);
    EXPECT_NEAR(p[1], y * 255 / height, 12);
    EXPECT_NEAR(p[0], 128 + (x - y) / 4, 12);
}

// An odd width has a padded luma step: the packing must follow the layout's steps.
INSTANTIATE_TEST_SUITE_P(EvenAndOdd, JpegDecoderSizes,
                         ::testing::Values(std::pair{64, 32}, std::pair{33, 17}));

TEST(JpegDecoder, RefusesFramesThatDoNotFitWithoutWriting) {
    JpegDecoder decoder;
    const int width = 64;
    const int height = 32;
    const Planar422Layout layout = JpegDecoder::layout(width, height);
    std::vector<uint8_t> planar(layout.totalBytes, kUntouched);
    const auto untouched = [&] {
        for (uint8_t b : planar)
            if (b != kUntouched) return false;
        return true;
    };
    const int64_t bytes = static_cast<int64_t>(planar.size());

    const std::vector<uint8_t> larger = encodePicture(128, 64, TJSAMP_422);
    EXPECT_EQ(decoder.decodeToPlanar422(larger.data(), larger.size(), planar.data(), bytes, width,
                                        height),
              kSizeMismatch);
    const std::vector<uint8_t> narrower = encodePicture(48, 32, TJSAMP_422);
    EXPECT_EQ(decoder.decodeToPlanar422(narrower.data(), narrower.size(), planar.data(), bytes,
                                        width, height),
              kSizeMismatch);
    const std::vector<uint8_t> quarter = encodePicture(width, height, TJSAMP_420);
    EXPECT_EQ(decoder.decodeToPlanar422(quarter.data(), quarter.size(), planar.data(), bytes, width,
                                        height),
              kUnsupported);
    const std::vector<uint8_t> grey = encodePicture(width, height, TJSAMP_GRAY);
    EXPECT_EQ(
        decoder.decodeToPlanar422(grey.data(), grey.size(), planar.data(), bytes, width, height),
        kUnsupported);
    const std::vector<uint8_t> good = encodePicture(width, height, TJSAMP_422);
    EXPECT_EQ(decoder.decodeToPlanar422(good.data(), good.size(), planar.data(), bytes - 1, width,
                                        height),
              kStepTooShort);
    const std::vector<uint8_t> garbage(500, 0x42);
    EXPECT_EQ(decoder.decodeToPlanar422(garbage.data(), garbage.size(), planar.data(), bytes, width,
                                        height),
              kDecodeFailed);
    EXPECT_EQ(decoder.decodeToPlanar422(good.data(), 0, planar.data(), bytes, width, height),
              kDecodeFailed);
    EXPECT_LT(decoder.decodeToPlanar422(nullptr, 10, planar.data(), bytes, width, height), 0);
    EXPECT_TRUE(untouched());
}

TEST(JpegDecoder, TruncatedFrameDecodesWithWarningOrFails) {
    JpegDecoder decoder;
    const int width = 64;
    const int height = 32;
    const std::vector<uint8_t> good = encodePicture(width, height, TJSAMP_422);
    const Planar422Layout layout = JpegDecoder::layout(width, height);
    std::vector<uint8_t> planar(layout.totalBytes, kUntouched);
    const int status =
        decoder.decodeToPlanar422(good.data(), good.size() * 2 / 3, planar.data(),
                                  static_cast<int64_t>(planar.size()), width, height);
    EXPECT_TRUE(status == JpegDecoder::kDecodedWithWarning || status == kDecodeFailed) << status;
    // The decoder stays usable.
    EXPECT_EQ(decoder.decodeToPlanar422(good.data(), good.size(), planar.data(),
                                        static_cast<int64_t>(planar.size()), width, height),
              kDone);
}

}  // namespace
}  // namespace tovrel::imaging
