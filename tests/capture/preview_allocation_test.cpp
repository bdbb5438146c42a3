// Counts every heap allocation of the process (operator new and the C allocator) while the
// video callback runs on the preview path: the session allocates its buffers once, the frames
// themselves allocate nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "platform/system/manual_clock.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<uint64_t> gAllocations{0};   // operator new
std::atomic<uint64_t> gCAllocations{0};  // malloc and its kin, called directly
}  // namespace

// The C allocator as well as operator new: the libraries under the frame path (the JPEG decoder,
// the C++ runtime) allocate through malloc. glibc's own entry points do the work; this binary's
// definitions take the place of libc's for every library it loads.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size) {
    if (gCounting) ++gCAllocations;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    if (gCounting) ++gCAllocations;
    return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) {
    if (gCounting) ++gCAllocations;
    return __libc_realloc(block, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    if (gCounting) ++gCAllocations;
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, std::size_t alignment, std::size_t size) {
    if (gCounting) ++gCAllocations;
    *block = __libc_memalign(alignment, size);
    return *block ? 0 : ENOMEM;
}
void free(void* block) { __libc_free(block); }
}

namespace {
void* counted(std::size_t size) {
    if (gCounting) ++gAllocations;
    void* block = __libc_malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace tovrel::capture {
namespace {

using namespace platform;

std::shared_ptr<Sample> frame(uint32_t modeIndex, uint32_t n) {
    sim::SimulatedVideoSource twin(sim::kDefaultBoxModel.modes,
                                   sim::SimulatedVideoSource::Pacing::Stepped);
    twin.selectNativeType(0, modeIndex);
    twin.startStream(0);
    twin.step(n + 1);
    SourceReadResult result;
    for (uint32_t i = 0; i <= n; ++i) twin.pullSample(0, 1000, &result);
    return result.sample;
}

// `cPerFrame`: the most C allocations each frame may make (the JPEG library's own, below).
void expectNoAllocationPerFrame(int32_t format, uint32_t modeIndex, uint64_t cPerFrame) {
    ManualClock clock;
    MFManager manager(clock);
    OffscreenSurface surface(960, 540);  // the render thread scales into window-sized images
    auto source = std::make_shared<sim::SimulatedVideoSource>(
        sim::kDefaultBoxModel.modes, sim::SimulatedVideoSource::Pacing::Stepped);
    ASSERT_EQ(manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0, format), S_OK);
    ASSERT_EQ(manager.width, 1920u);
    const std::shared_ptr<Sample> samples[2] = {frame(modeIndex, 0), frame(modeIndex, 1)};
    manager.streaming = true;
    manager.motionDetection = true;
    for (int i = 0; i < 4; ++i) manager.videoCallback->OnReadSample(S_OK, 0, 0, i, samples[i % 2]);

    gAllocations = 0;
    gCAllocations = 0;
    gCounting = true;
    for (int i = 0; i < 10; ++i) {
        manager.videoCallback->OnReadSample(S_OK, 0, 0, i, samples[i % 2]);
        manager.presentD2D();
    }
    manager.motionDetection = false;
    manager.recording = true;  // the indicator too
    for (int i = 0; i < 10; ++i) {
        manager.videoCallback->OnReadSample(S_OK, 0, 0, i, samples[i % 2]);
        manager.presentD2D();
    }
    manager.recording = false;
    gCounting = false;
    EXPECT_EQ(surface.ready.load(), 20);
    EXPECT_EQ(gAllocations.load(), 0u);
    const uint64_t c = gCAllocations.load();
    EXPECT_EQ(c % 20, 0u) << c << ": the same for every frame, nothing kept or grown";
    EXPECT_LE(c / 20, cPerFrame) << c;
    EXPECT_EQ(manager.videoCallback->rejectedFrames.load(), 0u);
    manager.streaming = false;
    manager.closeSession();
}

TEST(PreviewPath, TheCounterSeesAllocations) {
    gAllocations = 0;
    gCounting = true;
    auto block = std::make_unique<std::vector<int>>(10);
    void* raw = std::malloc(16);
    gCounting = false;
    std::free(raw);
    EXPECT_GE(gAllocations.load(), 2u);
    EXPECT_GE(gCAllocations.load(), 1u);
}

TEST(PreviewPath, Yuy2FramesAllocateNothing) { expectNoAllocationPerFrame(kFormatYuy2, 0, 0); }

// Our code allocates nothing per frame; libjpeg-turbo's decompressor takes its per-image pools
// from malloc on every frame and frees them at its end (6 blocks a frame with the library of
// this build; 8 allowed), which no setting of the TurboJPEG interface avoids.
TEST(PreviewPath, MjpegFramesAllocateNothingButTheDecodersPools) {
    const auto& modes = sim::kDefaultBoxModel.modes;
    uint32_t mjpg = 0;
    while (modes[mjpg].format != sim::SimPixelFormat::Mjpg) ++mjpg;
    expectNoAllocationPerFrame(kFormatMjpg, mjpg, 8);
}

}  // namespace
}  // namespace tovrel::capture
