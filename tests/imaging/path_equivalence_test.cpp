// Every vector path gives the reference bytes: widths around the vector sizes, unaligned
// starts, steps with padding (which must stay untouched) and random sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/bilinear_scaler.h"
#include "imaging/byte_image_ops.h"
#include "imaging/kernel_path.h"
#include "imaging/pixel_conversion.h"

namespace tovrel::imaging {
namespace {

constexpr uint8_t kPad = 0xc3;

// A plane inside a larger block: misaligned start, padded rows, guard bytes after the end.
struct Plane {
    std::vector<uint8_t> block;
    int32_t offset = 0;
    int32_t step = 0;
    uint8_t* data() { return block.data() + offset; }
};

Plane makePlane(int64_t rowBytes, int32_t rows, int32_t misalign, int32_t padding,
                std::mt19937& rng, bool fillRandom) {
    Plane plane;
    plane.offset = misalign;
    plane.step = static_cast<int32_t>(rowBytes + padding);
    plane.block.assign(misalign + static_cast<size_t>(plane.step) * rows + 64, kPad);
    if (fillRandom) {
        for (auto& byte : plane.block) byte = static_cast<uint8_t>(rng());
    }
    return plane;
}

bool padIntact(Plane& plane, int64_t rowBytes, int32_t rows) {
    for (int32_t i = 0; i < plane.offset; ++i)
        if (plane.block[i] != kPad) return false;
    for (int32_t r = 0; r < rows; ++r) {
        for (int64_t i = rowBytes; i < plane.step; ++i) {
            if (plane.data()[r * plane.step + i] != kPad) return false;
        }
    }
    const size_t end = plane.offset + static_cast<size_t>(plane.step) * rows;
    for (size_t i = end; i < plane.block.size(); ++i)
        if (plane.block[i] != kPad) return false;
    return true;
}

std::vector<KernelPath> vectorPaths() {
    std::vector<KernelPath> paths;
    for (KernelPath path : {KernelPath::kSse2, KernelPath::kAvx2, KernelPath::kAvx512}) {
        if (static_cast<int>(path) <= static_cast<int>(supportedKernelPath())) {
            paths.push_back(path);
        }
    }
    return paths;
}

// Runs `produce` on the reference path and on each vector path, and expects identical outputs.
// produce returns the output planes' blocks (padding included, so a stray write shows).
void expectSameOnEveryPath(const std::string& what,
                           const std::function<std::vector<std::vector<uint8_t>>()>& produce) {
    setKernelPathLimit(KernelPath::kReference);
    const auto expected = produce();
    for (KernelPath path : vectorPaths()) {
        setKernelPathLimit(path);
        const auto actual = produce();
        ASSERT_EQ(actual.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            if (actual[i] == expected[i]) continue;
            size_t first = 0;
            while (actual[i][first] == expected[i][first]) ++first;
            setKernelPathLimit(kBestKernelPath);
            FAIL() << what << ": " << kernelPathName(path) << " output " << i
                   << " differs first at byte " << first << " (" << int(actual[i][first]) << " vs "
                   << int(expected[i][first]) << ")";
        }
    }
    setKernelPathLimit(kBestKernelPath);
}

struct Shape {
    int32_t width;
    int32_t height;
    int32_t misalign;
    int32_t padding;
};

std::vector<Shape> shapes() {
    std::vector<Shape> result;
    for (int32_t w = 1; w <= 33; ++w) result.push_back({w, 3, w % 4, (w * 7) % 5});
    for (int32_t w : {63, 64, 65, 1920, 1922}) {
        result.push_back({w, 4, 0, 0});
        result.push_back({w, 3, 3, 13});
    }
    std::mt19937 rng(1234);
    for (int i = 0; i < 40; ++i) {
        result.push_back({static_cast<int32_t>(1 + rng() % 300),
                          static_cast<int32_t>(1 + rng() % 9), static_cast<int32_t>(rng() % 32),
                          static_cast<int32_t>(rng() % 40)});
    }
    return result;
}

std::string describe(const Shape& s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height) + " misalign " +
           std::to_string(s.misalign) + " pad " + std::to_string(s.padding);
}

TEST(PathEquivalence, ByteImageOperations) {
    for (const Shape& s : shapes()) {
        std::mt19937 rng(s.width * 31 + s.height);
        Plane a = makePlane(s.width, s.height, s.misalign, s.padding, rng, true);
        Plane b = makePlane(s.width, s.height, (s.misalign + 1) % 7, s.padding + 2, rng, true);
        // Make equal and near bytes common so the ends of the range get hit.
        for (size_t i = 0; i < b.block.size(); i += 3) b.block[i] = a.block[i % a.block.size()];
        expectSameOnEveryPath("absoluteDifference " + describe(s), [&] {
            std::mt19937 local(7);
            Plane d =
                makePlane(s.width, s.height, (s.misalign + 2) % 5, s.padding + 1, local, false);
            EXPECT_EQ(absoluteDifference(a.data(), a.step, b.data(), b.step, d.data(), d.step,
                                         {s.width, s.height}),
                      kDone);
            EXPECT_TRUE(padIntact(d, s.width, s.height));
            return std::vector<std::vector<uint8_t>>{d.block};
        });
        expectSameOnEveryPath("copyPlane " + describe(s), [&] {
            std::mt19937 local(7);
            Plane d = makePlane(s.width, s.height, s.misalign, s.padding, local, false);
            EXPECT_EQ(copyPlane(a.data(), a.step, d.data(), d.step, {s.width, s.height}), kDone);
            EXPECT_TRUE(padIntact(d, s.width, s.height));
            return std::vector<std::vector<uint8_t>>{d.block};
        });
        for (auto [lower, upper] :
             {std::pair<int, int>{0, 255}, {9, 255}, {0, 0}, {255, 255}, {40, 200}, {128, 128}}) {
            expectSameOnEveryPath("countInRange " + describe(s), [&] {
                int64_t count = -1;
                EXPECT_EQ(countInRange(a.data(), a.step, {s.width, s.height}, &count,
                                       static_cast<uint8_t>(lower), static_cast<uint8_t>(upper)),
                          kDone);
                std::vector<uint8_t> bytes(8);
                for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(count >> (8 * i));
                return std::vector<std::vector<uint8_t>>{bytes};
            });
        }
    }
}

TEST(PathEquivalence, CountInRangeOverLongRows) {
    // Long enough rows to overflow any 8-bit per-lane counter that is not folded in time.
    std::vector<uint8_t> ones(1 << 16, 1);
    for (KernelPath path :
         {KernelPath::kReference, KernelPath::kSse2, KernelPath::kAvx2, KernelPath::kAvx512}) {
        setKernelPathLimit(path);
        int64_t count = 0;
        ASSERT_EQ(countInRange(ones.data(), 1 << 15, {1 << 15, 2}, &count, 1, 1), kDone);
        EXPECT_EQ(count, 1 << 16) << kernelPathName(path);
    }
    setKernelPathLimit(kBestKernelPath);
}

TEST(PathEquivalence, CountInRangeBlocks) {
    std::mt19937 rng(99);
    for (int32_t blocks : {1, 2, 3, 4, 5, 120, 121, 240}) {
        for (int32_t rows : {1, 8, 15}) {
            for (int32_t misalign : {0, 5}) {
                Plane a = makePlane(16 * blocks, rows, misalign, 16 * (blocks % 3), rng, true);
                for (auto [lower, upper] : {std::pair<int, int>{9, 255}, {0, 255}, {200, 200}}) {
                    expectSameOnEveryPath(
                        "countInRangeBlocks " + std::to_string(blocks) + "x" + std::to_string(rows),
                        [&] {
                            std::vector<uint8_t> counts(blocks + 1, 0xee);
                            EXPECT_EQ(countInRangeBlocks(a.data(), a.step, {16 * blocks, rows},
                                                         counts.data(), static_cast<uint8_t>(lower),
                                                         static_cast<uint8_t>(upper)),
                                      kDone);
                            EXPECT_EQ(counts.back(), 0xee) << "past the last block";
                            return std::vector<std::vector<uint8_t>>{counts};
                        });
                }
            }
        }
    }
    // Every byte in range on every row: the largest count a block can hold.
    std::vector<uint8_t> full(32 * 15, 7);
    for (KernelPath path :
         {KernelPath::kReference, KernelPath::kSse2, KernelPath::kAvx2, KernelPath::kAvx512}) {
        setKernelPathLimit(path);
        uint8_t counts[2] = {0, 0};
        ASSERT_EQ(countInRangeBlocks(full.data(), 32, {32, 15}, counts, 0, 255), kDone);
        EXPECT_EQ(counts[0], 240) << kernelPathName(path);
        EXPECT_EQ(counts[1], 240) << kernelPathName(path);
    }
    setKernelPathLimit(kBestKernelPath);
}

TEST(PathEquivalence, Yuy2ToBgra) {
    for (const Shape& s : shapes()) {
        if (s.width < 2) continue;
        std::mt19937 rng(s.width * 17 + s.height);
        Plane src = makePlane(2 * int64_t{s.width}, s.height, s.misalign, s.padding, rng, true);
        expectSameOnEveryPath("convertYuy2ToBgra " + describe(s), [&] {
            std::mt19937 local(1);
            Plane d = makePlane(4 * int64_t{s.width}, s.height, (s.misalign * 3) % 8, s.padding,
                                local, false);
            EXPECT_EQ(convertYuy2ToBgra(src.data(), src.step, d.data(), d.step, {s.width, s.height},
                                        0x42),
                      kDone);
            EXPECT_TRUE(padIntact(d, 4 * int64_t{s.width}, s.height));
            return std::vector<std::vector<uint8_t>>{d.block};
        });
    }
}

// Offset of the first 64-byte boundary in a plane's block, for the streaming stores.
int32_t alignedOffset(const Plane& plane) {
    const auto address = reinterpret_cast<uintptr_t>(plane.block.data());
    return static_cast<int32_t>((64 - (address & 63)) & 63);
}

TEST(PathEquivalence, Yuy2ToBgraAndCopy) {
    for (const Shape& s : shapes()) {
        if (s.width < 2) continue;
        std::mt19937 rng(s.width * 19 + s.height);
        Plane src = makePlane(2 * int64_t{s.width}, s.height, s.misalign, s.padding, rng, true);
        for (bool aligned : {false, true}) {
            // Aligned: both destinations start on 64 bytes and their rows stay on 32.
            const int32_t padding = aligned ? (32 - (4 * s.width) % 32) % 32 : s.padding;
            expectSameOnEveryPath("convertYuy2ToBgraAndCopy " + describe(s), [&] {
                std::mt19937 local(1);
                Plane d = makePlane(4 * int64_t{s.width}, s.height, 64, padding, local, false);
                Plane c = makePlane(4 * int64_t{s.width}, s.height, 64,
                                    padding + (aligned ? 32 : 3), local, false);
                Plane plain = makePlane(4 * int64_t{s.width}, s.height, 0, 0, local, false);
                d.offset = aligned ? alignedOffset(d) : s.misalign % 7;
                c.offset = aligned ? alignedOffset(c) : (s.misalign + 5) % 9;
                EXPECT_EQ(convertYuy2ToBgraAndCopy(src.data(), src.step, d.data(), d.step, c.data(),
                                                   c.step, {s.width, s.height}, 0x42),
                          kDone);
                EXPECT_EQ(convertYuy2ToBgra(src.data(), src.step, plain.data(), plain.step,
                                            {s.width, s.height}, 0x42),
                          kDone);
                for (int32_t r = 0; r < s.height; ++r) {
                    const size_t bytes = 4 * static_cast<size_t>(s.width);
                    EXPECT_EQ(
                        std::memcmp(d.data() + r * d.step, plain.data() + r * plain.step, bytes),
                        0);
                    EXPECT_EQ(
                        std::memcmp(c.data() + r * c.step, plain.data() + r * plain.step, bytes),
                        0);
                }
                EXPECT_TRUE(padIntact(d, 4 * int64_t{s.width}, s.height));
                EXPECT_TRUE(padIntact(c, 4 * int64_t{s.width}, s.height));
                // The aligned offsets depend on where the blocks landed: compare the rows.
                std::vector<uint8_t> rows;
                for (int32_t r = 0; r < s.height; ++r) {
                    rows.insert(rows.end(), d.data() + r * d.step,
                                d.data() + r * d.step + 4 * s.width);
                    rows.insert(rows.end(), c.data() + r * c.step,
                                c.data() + r * c.step + 4 * s.width);
                }
                return std::vector<std::vector<uint8_t>>{rows};
            });
        }
    }
}

// The fused pass against the two steps it stands for, with the destinations misaligned and, for
// the streaming stores, aligned.
TEST(PathEquivalence, Pack422ToYuy2AndConvert) {
    for (const Shape& s : shapes()) {
        const int32_t w = s.width & ~1;
        if (w < 2) continue;
        std::mt19937 rng(s.width * 23 + s.height);
        Plane y = makePlane(w, s.height, s.misalign, s.padding, rng, true);
        Plane u = makePlane(w / 2, s.height, (s.misalign + 1) % 3, s.padding + 1, rng, true);
        Plane v = makePlane(w / 2, s.height, (s.misalign + 2) % 5, s.padding, rng, true);
        const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
        const int32_t steps[3] = {y.step, u.step, v.step};
        for (bool aligned : {false, true}) {
            const auto padFor = [&](int64_t rowBytes) {
                return aligned ? static_cast<int32_t>((64 - rowBytes % 64) % 64) : s.padding + 1;
            };
            expectSameOnEveryPath("packPlanar422ToYuy2AndConvert " + describe(s), [&] {
                std::mt19937 local(1);
                Plane p = makePlane(2 * int64_t{w}, s.height, 64, padFor(2 * w), local, false);
                Plane b = makePlane(4 * int64_t{w}, s.height, 64, padFor(4 * w), local, false);
                Plane c = makePlane(4 * int64_t{w}, s.height, 64, padFor(4 * w) + 64, local, false);
                p.offset = aligned ? alignedOffset(p) : s.misalign % 5;
                b.offset = aligned ? alignedOffset(b) : (s.misalign + 3) % 7;
                c.offset = aligned ? alignedOffset(c) : (s.misalign + 6) % 11;
                EXPECT_EQ(
                    packPlanar422ToYuy2AndConvert(planes, steps, p.data(), p.step, b.data(), b.step,
                                                  c.data(), c.step, {w, s.height}, 0x42),
                    kDone);
                std::vector<uint8_t> packed(2 * static_cast<size_t>(w) * s.height);
                std::vector<uint8_t> bgra(4 * static_cast<size_t>(w) * s.height);
                EXPECT_EQ(packPlanar422ToYuy2(planes, steps, packed.data(), 2 * w, {w, s.height}),
                          kDone);
                EXPECT_EQ(convertYuy2ToBgra(packed.data(), 2 * w, bgra.data(), 4 * w, {w, s.height},
                                            0x42),
                          kDone);
                std::vector<uint8_t> rows;
                for (int32_t r = 0; r < s.height; ++r) {
                    const size_t n2 = 2 * static_cast<size_t>(w), n4 = 2 * n2;
                    EXPECT_EQ(std::memcmp(p.data() + r * p.step, packed.data() + r * n2, n2), 0);
                    EXPECT_EQ(std::memcmp(b.data() + r * b.step, bgra.data() + r * n4, n4), 0);
                    EXPECT_EQ(std::memcmp(c.data() + r * c.step, bgra.data() + r * n4, n4), 0);
                    rows.insert(rows.end(), b.data() + r * b.step, b.data() + r * b.step + n4);
                }
                EXPECT_TRUE(padIntact(p, 2 * int64_t{w}, s.height));
                EXPECT_TRUE(padIntact(b, 4 * int64_t{w}, s.height));
                EXPECT_TRUE(padIntact(c, 4 * int64_t{w}, s.height));
                return std::vector<std::vector<uint8_t>>{rows};
            });
        }
    }
}

TEST(PathEquivalence, Pack422ToYuy2) {
    for (const Shape& s : shapes()) {
        const int32_t even = s.width & ~1;
        if (even < 2) continue;
        std::mt19937 rng(s.width * 13 + s.height);
        Plane y = makePlane(s.width, s.height, s.misalign, s.padding, rng, true);
        Plane u = makePlane(s.width / 2, s.height, (s.misalign + 1) % 3, s.padding + 1, rng, true);
        Plane v = makePlane(s.width / 2, s.height, (s.misalign + 2) % 5, s.padding, rng, true);
        expectSameOnEveryPath("packPlanar422ToYuy2 " + describe(s), [&] {
            std::mt19937 local(1);
            Plane d =
                makePlane(2 * int64_t{even}, s.height, s.misalign % 3, s.padding, local, false);
            const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
            const int32_t steps[3] = {y.step, u.step, v.step};
            EXPECT_EQ(packPlanar422ToYuy2(planes, steps, d.data(), d.step, {s.width, s.height}),
                      kDone);
            EXPECT_TRUE(padIntact(d, 2 * int64_t{even}, s.height));
            return std::vector<std::vector<uint8_t>>{d.block};
        });
    }
}

TEST(PathEquivalence, Nv12ToYuy2) {
    for (const Shape& s : shapes()) {
        const int32_t even = s.width & ~1;
        if (even < 2) continue;
        std::mt19937 rng(s.width * 17 + s.height);
        Plane y = makePlane(s.width, s.height, s.misalign, s.padding, rng, true);
        Plane uv =
            makePlane(s.width, (s.height + 1) / 2, (s.misalign + 1) % 3, s.padding + 2, rng, true);
        expectSameOnEveryPath("convertNv12ToYuy2 " + describe(s), [&] {
            std::mt19937 local(1);
            Plane d =
                makePlane(2 * int64_t{even}, s.height, s.misalign % 3, s.padding, local, false);
            EXPECT_EQ(convertNv12ToYuy2(y.data(), y.step, uv.data(), uv.step, d.data(), d.step,
                                        {s.width, s.height}),
                      kDone);
            EXPECT_TRUE(padIntact(d, 2 * int64_t{even}, s.height));
            return std::vector<std::vector<uint8_t>>{d.block};
        });
    }
}

TEST(PathEquivalence, Yuy2AndBgraToNv12) {
    for (Shape s : shapes()) {
        s.height = s.height + 1;  // at least two rows
        const int32_t w = s.width & ~1;
        const int32_t h = s.height & ~1;
        if (w < 2) continue;
        std::mt19937 rng(s.width * 11 + s.height);
        Plane yuy2 = makePlane(2 * int64_t{s.width}, s.height, s.misalign, s.padding, rng, true);
        Plane bgra = makePlane(4 * int64_t{s.width}, s.height, s.misalign, s.padding, rng, true);
        const auto run = [&](bool fromBgra) {
            std::mt19937 local(1);
            Plane dy = makePlane(w, h, (s.misalign + 1) % 4, s.padding, local, false);
            Plane duv = makePlane(w, h / 2, (s.misalign + 3) % 4, s.padding + 3, local, false);
            const int status = fromBgra
                                   ? convertBgraToNv12(bgra.data(), bgra.step, dy.data(), dy.step,
                                                       duv.data(), duv.step, {s.width, s.height})
                                   : convertYuy2ToNv12(yuy2.data(), yuy2.step, dy.data(), dy.step,
                                                       duv.data(), duv.step, {s.width, s.height});
            EXPECT_EQ(status, kDone);
            EXPECT_TRUE(padIntact(dy, w, h));
            EXPECT_TRUE(padIntact(duv, w, h / 2));
            return std::vector<std::vector<uint8_t>>{dy.block, duv.block};
        };
        expectSameOnEveryPath("convertYuy2ToNv12 " + describe(s), [&] { return run(false); });
        expectSameOnEveryPath("convertBgraToNv12 " + describe(s), [&] { return run(true); });
    }
}

TEST(PathEquivalence, BgraToNv12OverEveryColour) {
    // Each of the 2^24 colours once, as 4096 x 4096 pixels in 2 x 2 blocks of a kind: covers the
    // single-precision rounding edge of every luma value.
    const int32_t width = 4096;
    const int32_t rows = 2;
    std::vector<uint8_t> src(4 * width * rows);
    std::vector<uint8_t> ref(width * rows + width), vec(width * rows + width);
    for (KernelPath path : vectorPaths()) {
        for (int32_t line = 0; line < 4096; line += 2) {
            for (int32_t r = 0; r < rows; ++r) {
                for (int32_t x = 0; x < width; ++x) {
                    const uint32_t colour = static_cast<uint32_t>((line + r) * width + x);
                    uint8_t* p = src.data() + 4 * (r * width + x);
                    p[0] = colour & 0xff;
                    p[1] = (colour >> 8) & 0xff;
                    p[2] = (colour >> 16) & 0xff;
                    p[3] = 0;
                }
            }
            setKernelPathLimit(KernelPath::kReference);
            ASSERT_EQ(convertBgraToNv12(src.data(), 4 * width, ref.data(), width,
                                        ref.data() + width * rows, width, {width, rows}),
                      kDone);
            setKernelPathLimit(path);
            ASSERT_EQ(convertBgraToNv12(src.data(), 4 * width, vec.data(), width,
                                        vec.data() + width * rows, width, {width, rows}),
                      kDone);
            ASSERT_EQ(ref, vec) << kernelPathName(path) << " line " << line;
        }
    }
    setKernelPathLimit(kBestKernelPath);
}

struct ScaleCase {
    Size src;
    Size dst;
};

TEST(PathEquivalence, Scale) {
    std::vector<ScaleCase> cases{{{2, 2}, {4, 4}},       {{2, 2}, {1, 1}},      {{3, 5}, {33, 17}},
                                 {{64, 8}, {63, 9}},     {{7, 7}, {65, 3}},     {{100, 4}, {1, 1}},
                                 {{1922, 6}, {1920, 5}}, {{640, 3}, {1922, 4}}, {{5, 2}, {2, 7}},
                                 {{33, 33}, {32, 32}},   {{3, 3}, {16, 16}}};
    // Rows halfway between two source rows (1.5x and 0.75x); with the width kept, every other
    // value of such a row is an exact tie.
    for (ScaleCase half :
         {ScaleCase{{37, 8}, {37, 12}}, ScaleCase{{64, 6}, {64, 9}}, ScaleCase{{40, 12}, {40, 9}},
          ScaleCase{{20, 8}, {30, 12}}, ScaleCase{{1280, 4}, {1920, 6}}}) {
        cases.push_back(half);
    }
    std::mt19937 rng(99);
    for (int i = 0; i < 40; ++i) {
        cases.push_back(
            {{static_cast<int32_t>(2 + rng() % 120), static_cast<int32_t>(2 + rng() % 20)},
             {static_cast<int32_t>(1 + rng() % 120), static_cast<int32_t>(1 + rng() % 20)}});
    }
    for (const ScaleCase& c : cases) {
        int32_t descriptionBytes = 0;
        int32_t initBytes = 0;
        ASSERT_EQ(scalerQuerySizes(c.src, c.dst, Interpolation::kLinear, false, &descriptionBytes,
                                   &initBytes),
                  kDone);
        std::vector<uint8_t> descriptionBlock(descriptionBytes + 3);
        void* description = descriptionBlock.data() + 3;  // any alignment is fine
        ASSERT_EQ(scalerInit(c.src, c.dst, description), kDone);
        int32_t workBytes = 0;
        ASSERT_EQ(scalerQueryWorkSize(description, c.dst, 4, &workBytes), kDone);
        std::vector<uint8_t> workBlock(workBytes + 5);
        Plane src = makePlane(4 * int64_t{c.src.width}, c.src.height, 1, 8, rng, true);
        const std::string what = "scale " + std::to_string(c.src.width) + "x" +
                                 std::to_string(c.src.height) + " -> " +
                                 std::to_string(c.dst.width) + "x" + std::to_string(c.dst.height);
        expectSameOnEveryPath(what, [&] {
            std::mt19937 local(1);
            Plane d = makePlane(4 * int64_t{c.dst.width}, c.dst.height, 2, 12, local, false);
            EXPECT_EQ(scaleBgra(src.data(), src.step, d.data(), d.step, {0, 0}, c.dst,
                                BorderKind::kReplicate, nullptr, description, workBlock.data() + 5),
                      kDone);
            EXPECT_TRUE(padIntact(d, 4 * int64_t{c.dst.width}, c.dst.height));
            return std::vector<std::vector<uint8_t>>{d.block};
        });
        // A tile of the destination is the same as that part of the whole.
        if (c.dst.width >= 3 && c.dst.height >= 3) {
            const Size whole = c.dst;
            const Point offset{whole.width / 3, whole.height / 3};
            const Size tile{whole.width - offset.x - 1, whole.height - offset.y - 1};
            std::vector<uint8_t> full(4 * whole.width * whole.height);
            std::vector<uint8_t> part(4 * tile.width * tile.height);
            ASSERT_EQ(scaleBgra(src.data(), src.step, full.data(), 4 * whole.width, {0, 0}, whole,
                                BorderKind::kReplicate, nullptr, description, workBlock.data()),
                      kDone);
            ASSERT_EQ(scaleBgra(src.data(), src.step, part.data(), 4 * tile.width, offset, tile,
                                BorderKind::kReplicate, nullptr, description, workBlock.data()),
                      kDone);
            for (int32_t y = 0; y < tile.height; ++y) {
                ASSERT_EQ(0,
                          std::memcmp(part.data() + 4 * y * tile.width,
                                      full.data() + 4 * ((y + offset.y) * whole.width + offset.x),
                                      4 * tile.width))
                    << what << " tile row " << y;
            }
        }
    }
}

TEST(KernelPathChoice, WidestVectorPathTakenWhenAvailable) {
    setKernelPathLimit(kBestKernelPath);
    __builtin_cpu_init();
    KernelPath expected = KernelPath::kSse2;
    if (__builtin_cpu_supports("avx2")) expected = KernelPath::kAvx2;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl")) {
        expected = KernelPath::kAvx512;
    }
    EXPECT_EQ(supportedKernelPath(), expected);
    EXPECT_EQ(activeKernelPath(), expected);
    setKernelPathLimit(KernelPath::kAvx2);
    EXPECT_EQ(activeKernelPath(), expected == KernelPath::kSse2 ? expected : KernelPath::kAvx2);
    setKernelPathLimit(KernelPath::kReference);
    EXPECT_EQ(activeKernelPath(), KernelPath::kReference);
    setKernelPathLimit(kBestKernelPath);
    EXPECT_EQ(activeKernelPath(), expected);
}

}  // namespace
}  // namespace tovrel::imaging
