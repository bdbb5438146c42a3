#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/media/device_list_enumerator.h"
#include "platform/media/media_source.h"
#include "platform/media/sample_pool.h"
#include "sim/box/box_model.h"
#include "sim/box/simulated_stream.h"
#include "sim/box/sync_pattern.h"
#include "sim/video/picture_adjustment.h"
#include "sim/video/simulated_picture_controls.h"
#include "sim/video/simulated_video_proc_amp.h"
#include "sim/video/test_picture.h"
#include "sim/video/video_fault.h"

namespace tovrel::sim {

// The simulated box's video capture device: one video stream offering the model's native
// modes (YUY2, MJPEG encoded 4:2:2 with libjpeg-turbo, NV12), delivering the moving test
// picture with 100 ns time stamps on the box's clock, which the audio device shares (stepped:
// counted from the stream start).
//
// Pacing: RealTime delivers frames at the mode's rate (and, like a real device, skips the
// frames a slow reader missed); Stepped delivers exactly the frames released with step(), so a
// test decides when each frame arrives. Time stamps follow the frame number in both.
//
// Sync pattern: while the box's SyncPattern is on, the first frame at or after every whole
// second of the box's clock is white instead of the test picture.
//
// In real time every sample also carries MFSampleExtension_DeviceReferenceSystemTime, the
// moment it was due on the system's monotonic clock (which is the box's clock).
//
// Picture controls: videoProcAmp() answers from the box's control values (shared by every
// activation of one plug, the defaults of the default model when none are given), and each
// frame is drawn with the values current when it is produced (PictureAdjustment).
//
// Threads: the MediaSource calls as documented there (pullSample on the reader's worker);
// step, injectFault, clearFaults and the counters from any thread.
class SimulatedVideoSource final : public platform::MediaSource {
  public:
    using Pacing = SimulatedStream::Pacing;

    explicit SimulatedVideoSource(std::span<const SimVideoMode> modes,
                                  Pacing pacing = Pacing::RealTime,
                                  std::shared_ptr<SimulatedPictureControls> controls = nullptr,
                                  std::shared_ptr<SyncPattern> pattern = nullptr);
    ~SimulatedVideoSource() override;

    // The native types of a mode list, as the device presents them.
    static std::vector<platform::MediaType> nativeTypesOf(std::span<const SimVideoMode> modes);

    platform::HRESULT Stop() override;
    platform::HRESULT Shutdown() override;
    platform::VideoProcAmp* videoProcAmp() override { return &procAmp_; }

    uint32_t streamCount() override { return 1; }
    platform::HRESULT nativeTypes(uint32_t stream,
                                  std::vector<platform::MediaType>* types) override;
    platform::HRESULT currentNativeIndex(uint32_t stream, uint32_t* index) override;
    platform::HRESULT selectNativeType(uint32_t stream, uint32_t index) override;
    platform::HRESULT startStream(uint32_t stream) override;
    platform::HRESULT stopStream(uint32_t stream) override;
    platform::HRESULT pullSample(uint32_t stream, uint32_t timeoutMs,
                                 platform::SourceReadResult* result) override;
    void cancelPull(uint32_t stream) override;

    // Stepped pacing: lets `frames` more frames through.
    void step(uint32_t frames = 1);
    // Frame faults apply to the next `frames` frames; stream faults ignore the count.
    void injectFault(VideoFault fault, uint32_t frames = 1);
    void clearFaults();

    uint64_t framesDelivered() const;
    bool streaming() const;
    bool isShutDown() const;
    uint32_t nativeIndex() const;
    SimulatedPictureControls& pictureControls() const { return *controls_; }
    SyncPattern& syncPattern() const { return *pattern_; }

  private:
    struct FrameOrder {
        SimVideoMode mode;
        uint64_t frameNumber;
        SimulatedStream::Turn turn;
        std::array<bool, kVideoFaultNames.size()> faults{};
    };
    bool takeFrameFault(VideoFault fault);
    platform::HRESULT produce(const FrameOrder& order, platform::SourceReadResult* result);

    const std::span<const SimVideoMode> modes_;
    const std::vector<platform::MediaType> types_;

    SimulatedStream stream_;
    const std::shared_ptr<SimulatedPictureControls> controls_;
    SimulatedVideoProcAmp procAmp_;
    const std::shared_ptr<SyncPattern> pattern_;

    // The faults of single frames and the counter.
    mutable std::mutex mutex_;
    uint64_t delivered_ = 0;
    std::array<uint32_t, kVideoFaultNames.size()> frameFaults_{};

    // Producer state: the reader's worker thread only.
    std::unique_ptr<TestPicture> picture_;
    PictureAdjustment adjustment_;
    std::unique_ptr<platform::SamplePool> pool_;
    std::vector<uint8_t> scratch_;
    void* jpegEncoder_ = nullptr;
};

// The device entry of a simulated box for a DeviceListEnumerator: each activation opens a new
// source on the model's modes; the sources of one entry share its picture-control values and
// the box's sync pattern (a fresh one, off, when none is given).
platform::DeviceListEnumerator::Entry simulatedVideoEntry(
    const BoxModel& model, SimulatedVideoSource::Pacing pacing,
    std::shared_ptr<SyncPattern> pattern = nullptr);

}  // namespace tovrel::sim
