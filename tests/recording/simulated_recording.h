#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>

#include "capture/mf_manager.h"
#include "capture/offscreen_surface.h"
#include "platform/ffmpeg/ffmpeg_sink_writer_factory.h"
#include "recording/recording_controller.h"
#include "sim/audio/simulated_audio_source.h"
#include "sim/video/simulated_video_source.h"

namespace tovrel::recording {

// A box recording as the program makes it: the simulated box in real time, a streaming capture
// manager, the recording controller and the FFmpeg writers. Test helper; GUI-thread calls as
// RecordingController documents them.
struct SimulatedRecording {
    static constexpr std::array<sim::SimVideoMode, 1> kModes{
        {{sim::SimPixelFormat::Yuy2, 1280, 720, 30, 1}}};

    SimulatedRecording() : SimulatedRecording(kModes, false, nullptr) {}
    // The box of a USB 3.0 bridge (`systemClock`: stamped by the system's millisecond clock) or
    // not, on `modes` (the first is recorded), showing `pattern` when given.
    SimulatedRecording(std::span<const sim::SimVideoMode> modes, bool systemClock,
                       std::shared_ptr<sim::SyncPattern> pattern) {
        video = std::make_shared<sim::SimulatedVideoSource>(
            modes, sim::SimulatedVideoSource::Pacing::RealTime, nullptr, pattern);
        audio = std::make_shared<sim::SimulatedAudioSource>(
            sim::SimulatedAudioSource::Pacing::RealTime, sim::SimulatedAudioSource::Signal{},
            pattern);
        const int32_t format = modes[0].format == sim::SimPixelFormat::Mjpg ? capture::kFormatMjpg
                               : modes[0].format == sim::SimPixelFormat::Nv12
                                   ? capture::kFormatNv12
                                   : capture::kFormatYuy2;
        manager.openSession(&surface, audio, video, systemClock, false, 0, 0, 0, format);
        manager.startStreaming();
    }
    ~SimulatedRecording() {
        if (manager.recording) controller->StopRecording();
        manager.stopStreaming(platform::SystemClock::instance());
        controller.reset();
        manager.closeSession();
    }

    capture::MFManager manager{platform::SystemClock::instance()};
    capture::OffscreenSurface surface;
    platform::FfmpegSinkWriterFactory writers;
    std::unique_ptr<RecordingController> controller =
        std::make_unique<RecordingController>(manager, writers);
    std::shared_ptr<sim::SimulatedVideoSource> video;
    std::shared_ptr<sim::SimulatedAudioSource> audio;
};

}  // namespace tovrel::recording
