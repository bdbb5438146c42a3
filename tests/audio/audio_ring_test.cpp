#include "audio/audio_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/system/named_lock.h"

namespace tovrel::audio {
namespace {

std::vector<uint8_t> bytes(int count, uint8_t first = 1) {
    std::vector<uint8_t> v(static_cast<size_t>(count));
    std::iota(v.begin(), v.end(), first);
    return v;
}

TEST(AudioRingTest, HoldsAtMostSizeMinusOneBytes) {
    AudioRing ring;
    ASSERT_TRUE(ring.create(8));
    auto data = bytes(8);
    EXPECT_EQ(ring.write(data.data(), 8), AudioRing::kRefused);
    EXPECT_EQ(ring.writePos(), 0);
    EXPECT_EQ(ring.write(data.data(), 7), 7);
    EXPECT_EQ(ring.write(data.data(), 1), AudioRing::kRefused);
    EXPECT_EQ(ring.writePos(), 7);
    std::vector<uint8_t> out(7);
    EXPECT_EQ(ring.read(out.data(), 7), 7);
    EXPECT_EQ(out, std::vector<uint8_t>(data.begin(), data.begin() + 7));
}

TEST(AudioRingTest, WriteEndingAtTheBufferEndWrapsToZero) {
    AudioRing ring;
    ASSERT_TRUE(ring.create(8));
    auto data = bytes(5, 10);
    std::vector<uint8_t> out(8);
    ASSERT_EQ(ring.write(data.data(), 3), 3);
    ASSERT_EQ(ring.read(out.data(), 3), 3);
    EXPECT_EQ(ring.write(data.data(), 5), 5);
    EXPECT_EQ(ring.writePos(), 0);
    EXPECT_EQ(ring.read(out.data(), 5), 5);
    EXPECT_EQ(ring.readPos(), 0);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), data);
}

TEST(AudioRingTest, WriteAndReadCrossingTheEndAreSplit) {
    AudioRing ring;
    ASSERT_TRUE(ring.create(8));
    auto filler = bytes(6);
    std::vector<uint8_t> out(8);
    ASSERT_EQ(ring.write(filler.data(), 6), 6);
    ASSERT_EQ(ring.read(out.data(), 6), 6);
    auto data = bytes(5, 40);
    EXPECT_EQ(ring.write(data.data(), 5), 5);
    EXPECT_EQ(ring.writePos(), 3);  // 2 bytes at the end, 3 at the start
    EXPECT_EQ(ring.read(out.data(), 5), 5);
    EXPECT_EQ(ring.readPos(), 3);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), data);
    // After wrapping, the free space is computed from readPos > writePos as well.
    EXPECT_EQ(ring.write(data.data(), 5), 5);
    EXPECT_EQ(ring.write(data.data(), 3), AudioRing::kRefused);
    EXPECT_EQ(ring.write(data.data(), 2), 2);
    EXPECT_EQ(ring.heldBytes(), 7);
}

TEST(AudioRingTest, RefusedReadLeavesEverythingForLater) {
    AudioRing ring;
    ASSERT_TRUE(ring.create(16));
    auto data = bytes(10);
    ASSERT_EQ(ring.write(data.data(), 4), 4);
    std::vector<uint8_t> out(10, 0xEE);
    EXPECT_EQ(ring.read(out.data(), 10), AudioRing::kRefused);
    EXPECT_EQ(ring.readPos(), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(10, 0xEE));  // nothing copied
    ASSERT_EQ(ring.write(data.data() + 4, 6), 6);
    EXPECT_EQ(ring.read(out.data(), 10), 10);
    EXPECT_EQ(out, data);
}

TEST(AudioRingTest, NonPositiveLengthsAndMissingStorage) {
    AudioRing ring;
    uint8_t b[4] = {};
    EXPECT_FALSE(ring.hasStorage());
    EXPECT_EQ(ring.write(b, 0), 0);
    EXPECT_EQ(ring.write(b, -5), 0);
    EXPECT_EQ(ring.write(b, 1), AudioRing::kRefused);
    EXPECT_EQ(ring.read(b, 1), AudioRing::kRefused);
    EXPECT_FALSE(ring.create(0));
    EXPECT_FALSE(ring.create(-1));
    ASSERT_TRUE(ring.create(4));
    EXPECT_EQ(ring.read(b, 0), 0);
    EXPECT_EQ(ring.write(b, 3), 3);
    ring.destroy();
    EXPECT_EQ(ring.size(), 0);
    EXPECT_EQ(ring.read(b, 1), AudioRing::kRefused);
    EXPECT_EQ(ring.write(b, 1), AudioRing::kRefused);
}

// Silence longer than any zero buffer: zeros of the asked length, all or nothing, across the end.
TEST(AudioRingTest, SilenceIsWrittenAllOrNothing) {
    AudioRing ring;
    ASSERT_TRUE(ring.create(3 << 20));
    auto data = bytes(16);
    std::vector<uint8_t> out(16);
    ASSERT_EQ(ring.write(data.data(), 16), 16);
    ASSERT_EQ(ring.read(out.data(), 16), 16);
    const int32_t big = (2 << 20) + 123;  // more than the 1 MiB silence buffer
    ASSERT_EQ(ring.writeSilence(ring.size() - 16 - 8), ring.size() - 24);
    std::vector<uint8_t> sink(static_cast<size_t>(ring.size()));
    ASSERT_EQ(ring.read(sink.data(), ring.size() - 24), ring.size() - 24);
    EXPECT_EQ(ring.writeSilence(big), big);  // wraps: 8 bytes at the end, the rest at the start
    EXPECT_EQ(ring.writePos(), big - 8);
    EXPECT_EQ(ring.writeSilence(ring.size()), AudioRing::kRefused);
    EXPECT_EQ(ring.writePos(), big - 8);
    std::vector<uint8_t> zeros(static_cast<size_t>(big), 0xEE);
    ASSERT_EQ(ring.read(zeros.data(), big), big);
    EXPECT_TRUE(std::all_of(zeros.begin(), zeros.end(), [](uint8_t b) { return b == 0; }));
}

TEST(AudioRingTest, EveryRingWaitsForTheOneRingLock) {
    AudioRing ring;
    ASSERT_TRUE(ring.create(64));
    platform::NamedLock lock(AudioRing::kLockName);
    lock.lock();
    std::atomic<bool> written{false};
    std::thread writer([&] {
        uint8_t b[4] = {1, 2, 3, 4};
        ring.write(b, 4);
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(written);
    lock.unlock();
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(ring.heldBytes(), 4);
}

// One writer and one reader at odd block sizes: every byte arrives once, in order.
TEST(AudioRingTest, WriterAndReaderThreadsKeepTheOrder) {
    AudioRing ring;
    ASSERT_TRUE(ring.create(1000));
    constexpr int kTotal = 200'000;
    std::thread writer([&] {
        int next = 0;
        std::vector<uint8_t> block(97);
        while (next < kTotal) {
            const int n = std::min<int>(97, kTotal - next);
            for (int i = 0; i < n; ++i)
                block[static_cast<size_t>(i)] = static_cast<uint8_t>(next + i);
            if (ring.write(block.data(), n) == n) {
                next += n;
            } else {
                std::this_thread::yield();
            }
        }
    });
    int expected = 0;
    bool inOrder = true;
    std::vector<uint8_t> block(61);
    while (expected < kTotal) {
        const int n = std::min<int>(61, kTotal - expected);
        if (ring.read(block.data(), n) != n) {
            std::this_thread::yield();
            continue;
        }
        for (int i = 0; i < n; ++i) {
            inOrder =
                inOrder && block[static_cast<size_t>(i)] == static_cast<uint8_t>(expected + i);
        }
        expected += n;
    }
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(ring.heldBytes(), 0);
}

}  // namespace
}  // namespace tovrel::audio
