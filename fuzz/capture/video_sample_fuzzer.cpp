// Outside bytes into the video callback: the first byte picks MJPEG or YUY2 mode and the
// session size, the rest is the sample as the device delivered it. Neither mode may read past
// the sample or write past the session's buffers, whatever the bytes claim.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "platform/system/manual_clock.h"
#include "sim/video/simulated_video_source.h"

namespace {

using namespace tovrel;

constexpr std::array<sim::SimVideoMode, 4> kModes{{
    {sim::SimPixelFormat::Mjpg, 64, 32, 30, 1},
    {sim::SimPixelFormat::Yuy2, 64, 32, 30, 1},
    {sim::SimPixelFormat::Mjpg, 30, 18, 30, 1},
    {sim::SimPixelFormat::Yuy2, 30, 18, 30, 1},
}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint32_t mode = data[0] % kModes.size();
    platform::ManualClock clock;
    capture::MFManager manager(clock);
    capture::OffscreenSurface surface;
    auto source = std::make_shared<sim::SimulatedVideoSource>(
        std::span<const sim::SimVideoMode>(&kModes[mode], 1),
        sim::SimulatedVideoSource::Pacing::Stepped);
    const bool mjpeg = kModes[mode].format == sim::SimPixelFormat::Mjpg;
    manager.openSession(&surface, nullptr, source, false, false, 0, 0, 0,
                        mjpeg ? capture::kFormatMjpg : capture::kFormatYuy2);
    manager.streaming = true;
    manager.motionDetection = (data[0] & 0x80) != 0;
    std::shared_ptr<platform::Sample> sample;
    platform::MFCreateSample(&sample);
    std::shared_ptr<platform::MediaBuffer> buffer;
    platform::MFCreateMemoryBuffer(static_cast<uint32_t>(size - 1), &buffer);
    uint8_t* bytes = nullptr;
    buffer->Lock(&bytes, nullptr, nullptr);
    if (size > 1) std::copy(data + 1, data + size, bytes);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<uint32_t>(size - 1));
    sample->AddBuffer(buffer);
    manager.videoCallback->OnReadSample(platform::S_OK, 0, 0, 0, sample);
    manager.streaming = false;
    manager.closeSession();
    return 0;
}
