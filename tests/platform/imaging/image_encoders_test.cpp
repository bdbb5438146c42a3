#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/imaging/image_file.h"
#include "platform/imaging/library_image_encoders.h"
#include "tests/support/image_probe.h"
#include "tests/support/scratch_folder.h"

namespace tovrel::platform {
namespace {

using testing::DecodedImage;
using testing::ScratchFolder;

// Odd sizes: BMP pads its rows, JPEG and GIF have partial blocks, PNG and TIFF odd strips.
constexpr int kW = 161, kH = 97, kCorner = 24;
// Rows longer than the pixels: the encoders must step by the stride, not by the width.
constexpr int kStride = kW * 4 + 12;

struct Case {
    ImageContainer container;
    const char* name;     // the container the decoder finds
    const char* file;     // the file's name
    double minimumPsnr;   // infinity: lossless
    int cornerTolerance;  // per channel, at the centre of each corner block
};

constexpr double kLossless = INFINITY;
const Case kCases[] = {
    {ImageContainer::kBmp, "bmp", "MF1.bmp", kLossless, 0},
    {ImageContainer::kJpeg, "jpeg", "MF1.jpg", 30.0, 24},
    {ImageContainer::kPng, "png", "MF1.png", kLossless, 0},
    {ImageContainer::kTiff, "tiff", "MF1.tiff", kLossless, 0},
    // 256 colours for a gradient: giflib's quantiser keeps 5 bits of each channel.
    {ImageContainer::kGif, "gif", "MF1.gif", 30.0, 16},
};

std::vector<uint8_t> paddedPattern() {
    const std::vector<uint8_t> tight = testing::cornerPattern(kW, kH, kCorner);
    std::vector<uint8_t> padded(static_cast<size_t>(kStride) * kH, 0xEE);
    for (int y = 0; y < kH; ++y)
        std::copy_n(tight.data() + y * kW * 4, kW * 4, padded.data() + y * kStride);
    return padded;
}

HRESULT encodeInto(ImageContainer container, const BgrxPicture& picture, const std::string& path) {
    LibraryImageEncoders encoders;
    std::unique_ptr<ImageEncoder> encoder;
    HRESULT hr = encoders.CreateEncoder(container, &encoder);
    if (FAILED(hr)) return hr;
    std::unique_ptr<ImageFile> file;
    hr = ImageFile::Create(path, &file);
    if (SUCCEEDED(hr)) hr = encoder->Encode(picture, *file);
    if (SUCCEEDED(hr)) hr = file->Commit();
    return hr;
}

class EncoderTest : public ::testing::TestWithParam<Case> {};

// Each container read back by its own library (BMP by Qt): the right container and size, the
// pixels exact where the container is lossless, otherwise close; top row first, left column
// first, blue not swapped with red, and the fourth byte left out.
TEST_P(EncoderTest, AnIndependentDecoderReadsThePictureBack) {
    const Case& c = GetParam();
    ScratchFolder folder;
    const std::vector<uint8_t> pixels = paddedPattern();
    const BgrxPicture picture{pixels.data(), kW, kH, kStride};
    const std::string path = folder.file(c.file);
    ASSERT_EQ(encodeInto(c.container, picture, path), S_OK);
    EXPECT_EQ(folder.names(), std::set<std::string>{c.file}) << "no temporary file is left";

    const DecodedImage read = testing::decodeImageFile(path);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.container, c.name);
    ASSERT_EQ(read.width, kW);
    ASSERT_EQ(read.height, kH);
    const std::vector<uint8_t> expected = testing::bgrOf(pixels.data(), kW, kH, kStride);
    if (std::isinf(c.minimumPsnr)) {
        EXPECT_TRUE(read.bgr == expected)
            << "largest difference " << testing::maxDifference(read.bgr, expected);
    } else {
        EXPECT_GE(testing::psnr(read.bgr, expected), c.minimumPsnr);
    }
    const int middle = kCorner / 2;
    for (const auto& [x, y] :
         {std::pair{middle, middle}, std::pair{kW - 1 - middle, middle},
          std::pair{middle, kH - 1 - middle}, std::pair{kW - 1 - middle, kH - 1 - middle}}) {
        uint8_t want[3];
        testing::cornerPatternPixel(kW, kH, kCorner, x, y, want);
        const uint8_t* got = read.bgr.data() + (static_cast<size_t>(y) * kW + x) * 3;
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(got[channel], want[channel], c.cornerTolerance)
                << "corner at " << x << "," << y << " channel " << channel;
        }
    }
}

// A file system that stops taking bytes part way (the file-size limit gives the same EFBIG a
// full quota gives): the encoding reports the disk as full, the older file of that name keeps
// its content, and no temporary file is left in the folder.
TEST_P(EncoderTest, AFullDiskFailsAndLeavesTheOlderFileAsItWas) {
    const Case& c = GetParam();
    ScratchFolder folder;
    const std::string path = folder.file(c.file);
    ScratchFolder::write(path, "the older snapshot");
    const std::vector<uint8_t> pixels = paddedPattern();
    const BgrxPicture picture{pixels.data(), kW, kH, kStride};

    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 600;  // less than any of the five files
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const HRESULT hr = encodeInto(c.container, picture, path);
    setrlimit(RLIMIT_FSIZE, &before);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(hr, ImageFile::kDiskFull);
    EXPECT_EQ(ScratchFolder::read(path), "the older snapshot");
    EXPECT_EQ(folder.names(), std::set<std::string>{c.file});
}

// Pictures no encoder may touch: refused before a byte is read or written.
TEST_P(EncoderTest, PicturesWithoutPixelsOrWithShortRowsAreRefused) {
    const Case& c = GetParam();
    ScratchFolder folder;
    const std::vector<uint8_t> pixels(16 * 4);
    LibraryImageEncoders encoders;
    std::unique_ptr<ImageEncoder> encoder;
    ASSERT_EQ(encoders.CreateEncoder(c.container, &encoder), S_OK);
    for (const BgrxPicture& bad :
         {BgrxPicture{nullptr, 4, 4, 16}, BgrxPicture{pixels.data(), 0, 4, 16},
          BgrxPicture{pixels.data(), 4, 0, 16}, BgrxPicture{pixels.data(), 4, 4, 15}}) {
        std::unique_ptr<ImageFile> file;
        ASSERT_EQ(ImageFile::Create(folder.file(c.file), &file), S_OK);
        EXPECT_EQ(encoder->Encode(bad, *file), E_INVALIDARG)
            << bad.width << "x" << bad.height << " stride " << bad.stride;
        int64_t size = -1;
        EXPECT_EQ(file->Size(&size), S_OK);
        EXPECT_EQ(size, 0);
    }
    EXPECT_TRUE(folder.names().empty()) << "files that are not committed are removed";
}

INSTANTIATE_TEST_SUITE_P(Containers, EncoderTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The containers with 16-bit sizes refuse larger pictures instead of writing a broken header.
TEST(ImageEncoders, SidesBeyondTheContainersFieldsAreRefused) {
    ScratchFolder folder;
    const std::vector<uint8_t> row(70000 * 4);
    const BgrxPicture wide{row.data(), 70000, 1, 70000 * 4};
    for (ImageContainer container : {ImageContainer::kJpeg, ImageContainer::kGif}) {
        LibraryImageEncoders encoders;
        std::unique_ptr<ImageEncoder> encoder;
        ASSERT_EQ(encoders.CreateEncoder(container, &encoder), S_OK);
        std::unique_ptr<ImageFile> file;
        ASSERT_EQ(ImageFile::Create(folder.file("wide"), &file), S_OK);
        EXPECT_EQ(encoder->Encode(wide, *file), E_INVALIDARG);
    }
}

// The JPEG's own header, read marker by marker: its quantisation tables are the standard's
// example tables (ITU T.81 Annex K) scaled to quality 90 as libjpeg scales them, and its chroma
// is sampled 4:2:0 (luma 2x2, both chroma planes 1x1).
TEST(ImageEncoders, JpegIsWrittenAtQuality90With420Chroma) {
    constexpr uint8_t kLuma[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                   58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                   22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                   77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                   103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
    uint8_t chroma[64];
    std::fill(std::begin(chroma), std::end(chroma), 99);
    for (const auto& [row, values] : {std::pair{0, std::array<uint8_t, 4>{17, 18, 24, 47}},
                                      std::pair{1, std::array<uint8_t, 4>{18, 21, 26, 66}},
                                      std::pair{2, std::array<uint8_t, 4>{24, 26, 56, 99}},
                                      std::pair{3, std::array<uint8_t, 4>{47, 66, 99, 99}}}) {
        std::copy(values.begin(), values.end(), chroma + row * 8);
    }
    // Where the n-th value of a table in the file (zig-zag order) sits in the 8x8 block.
    constexpr uint8_t kNaturalOrder[64] = {
        0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
        41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
        30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    constexpr int kScalePercent = 200 - 2 * 90;  // libjpeg's scale for qualities of 50 and more

    ScratchFolder folder;
    const std::vector<uint8_t> pixels = paddedPattern();
    const std::string path = folder.file("MF1.jpg");
    ASSERT_EQ(encodeInto(ImageContainer::kJpeg, BgrxPicture{pixels.data(), kW, kH, kStride}, path),
              S_OK);
    const std::string bytes = ScratchFolder::read(path);
    auto at = [&](size_t i) { return static_cast<uint8_t>(bytes.at(i)); };
    ASSERT_EQ(at(0), 0xFF);
    ASSERT_EQ(at(1), 0xD8);
    std::map<int, std::vector<int>> tables;     // by table number, in natural order
    std::vector<std::pair<int, int>> sampling;  // per component: (table, h << 4 | v)
    for (size_t i = 2; i + 4 <= bytes.size() && sampling.empty();) {
        ASSERT_EQ(at(i), 0xFF) << "marker expected at " << i;
        const uint8_t marker = at(i + 1);
        const size_t length = at(i + 2) << 8 | at(i + 3);
        const size_t end = i + 2 + length;
        if (marker == 0xDB) {
            for (size_t t = i + 4; t < end; t += 65) {
                ASSERT_EQ(at(t) >> 4, 0) << "8-bit values";
                std::vector<int>& table = tables[at(t) & 0x0F];
                table.assign(64, 0);
                for (int n = 0; n < 64; ++n) table[kNaturalOrder[n]] = at(t + 1 + n);
            }
        } else if (marker == 0xC0) {
            for (size_t c = 0; c < at(i + 9); ++c)
                sampling.emplace_back(at(i + 12 + c * 3), at(i + 11 + c * 3));
        }
        i = end;
    }
    std::vector<int> luma(64), chromaScaled(64);
    for (int n = 0; n < 64; ++n) {
        luma[n] = std::clamp((kLuma[n] * kScalePercent + 50) / 100, 1, 255);
        chromaScaled[n] = std::clamp((chroma[n] * kScalePercent + 50) / 100, 1, 255);
    }
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0], luma);
    EXPECT_EQ(tables[1], chromaScaled);
    EXPECT_EQ(sampling, (std::vector<std::pair<int, int>>{{0, 0x22}, {1, 0x11}, {1, 0x11}}));
}

TEST(ImageEncoders, EveryContainerHasAnEncoderAndAnUnknownOneHasNone) {
    LibraryImageEncoders encoders;
    for (const Case& c : kCases) {
        std::unique_ptr<ImageEncoder> encoder;
        EXPECT_EQ(encoders.CreateEncoder(c.container, &encoder), S_OK) << c.name;
        EXPECT_TRUE(encoder) << c.name;
    }
    std::unique_ptr<ImageEncoder> encoder;
    EXPECT_EQ(encoders.CreateEncoder(static_cast<ImageContainer>(99), &encoder), E_NOTIMPL);
    EXPECT_FALSE(encoder);
    EXPECT_EQ(encoders.CreateEncoder(ImageContainer::kPng, nullptr), E_POINTER);
}

}  // namespace
}  // namespace tovrel::platform
