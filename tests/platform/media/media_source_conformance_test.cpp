// The media-source conformance suite against every source of the house.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/audio/alsa_capture_source.h"
#include "platform/audio/pulse_capture_source.h"
#include "platform/media/mf_guids.h"
#include "platform/media/sample_pool.h"
#include "platform/v4l2/v4l2_media_source.h"
#include "sim/audio/simulated_audio_source.h"
#include "sim/box/box_model.h"
#include "sim/video/simulated_video_source.h"
#include "tests/platform/media/fake_media_source.h"
#include "tests/platform/media/media_source_conformance.h"
#include "tests/platform/v4l2/fake_v4l2_system_calls.h"
#include "tests/support/command_output.h"

namespace tovrel::platform::testing {
namespace {

using tovrel::testing::commandOutput;

// The fake delivers what is pushed: each produce() pushes one sample, 10 ms after the last.
class FakeBackend final : public MediaSourceBackend {
  public:
    MediaSource& source() override { return *source_; }
    void produce() override {
        auto sample = std::make_shared<Sample>();
        sample->AddBuffer(std::make_shared<MemoryBuffer>(64, 16));
        std::shared_ptr<MediaBuffer> buffer;
        sample->GetBufferByIndex(0, &buffer);
        buffer->SetCurrentLength(64);
        SourceReadResult result;
        result.timestamp100ns = 100'000 * produced_++;
        result.sample = std::move(sample);
        source_->push(0, std::move(result));
    }

  private:
    std::shared_ptr<test::FakeMediaSource> source_ = std::make_shared<test::FakeMediaSource>(
        std::vector<std::vector<MediaType>>{{test::videoType(MFVideoFormat_YUY2, 64, 32, 30, 1),
                                             test::videoType(MFVideoFormat_NV12, 64, 32, 30, 1)}});
    int64_t produced_ = 0;
};

template <typename Source>
class SteppedBackend final : public MediaSourceBackend {
  public:
    explicit SteppedBackend(std::shared_ptr<Source> source) : source_(std::move(source)) {}
    MediaSource& source() override { return *source_; }
    void produce() override { source_->step(1); }

  private:
    std::shared_ptr<Source> source_;
};

// A sine source of the test server's stands in for a capture card.
class PulseBackend final : public MediaSourceBackend {
  public:
    PulseBackend(std::string module, const std::string& name)
        : module_(std::move(module)),
          source_(std::make_shared<PulseCaptureSource>(name, 48000, 1, 0)) {}
    ~PulseBackend() override {
        source_->Shutdown();
        commandOutput("pactl unload-module " + module_);
    }
    MediaSource& source() override { return *source_; }

  private:
    std::string module_;
    std::shared_ptr<PulseCaptureSource> source_;
};

// A file PCM over the null PCM in a private ALSA configuration: known samples, no card needed.
class AlsaBackend final : public MediaSourceBackend {
  public:
    explicit AlsaBackend(std::filesystem::path dir) : dir_(std::move(dir)) {
        source_ = std::make_shared<AlsaCaptureSource>("tovrel_conformance",
                                                      AlsaCaptureSource::Format{48000, 2, 16});
    }
    ~AlsaBackend() override {
        source_->Shutdown();
        std::filesystem::remove_all(dir_);
    }
    MediaSource& source() override { return *source_; }

  private:
    std::filesystem::path dir_;
    std::shared_ptr<AlsaCaptureSource> source_;
};

class V4l2Backend final : public MediaSourceBackend {
  public:
    static constexpr uint32_t kWidth = 8, kHeight = 4;
    explicit V4l2Backend(std::string& reason) {
        HRESULT hr = E_FAIL;
        source_ = V4l2MediaSource::open(kernel_, "/dev/video0", &hr);
        if (!source_) reason = "the V4L2 source did not open over the fake kernel";
    }
    bool opened() const { return source_ != nullptr; }
    MediaSource& source() override { return *source_; }
    void produce() override {
        kernel_.deliver(std::vector<uint8_t>(kWidth * kHeight * 2, 0x80),
                        1'000'000 + 33'333 * produced_++);
    }

  private:
    test::FakeV4l2SystemCalls kernel_{
        "/dev/video0",
        {{V4L2_PIX_FMT_YUYV, kWidth, kHeight, 1, 30}, {V4L2_PIX_FMT_NV12, kWidth, kHeight, 1, 30}}};
    std::shared_ptr<V4l2MediaSource> source_;
    int64_t produced_ = 0;
};

INSTANTIATE_TEST_SUITE_P(
    EverySource, MediaSourceConformance,
    ::testing::Values(
        MediaSourceCase{"Fake", [](std::string&) { return std::make_unique<FakeBackend>(); }},
        MediaSourceCase{"SimulatedVideo",
                        [](std::string&) {
                            return std::make_unique<SteppedBackend<sim::SimulatedVideoSource>>(
                                std::make_shared<sim::SimulatedVideoSource>(
                                    sim::kDefaultBoxModel.modes,
                                    sim::SimulatedVideoSource::Pacing::Stepped));
                        }},
        MediaSourceCase{"SimulatedAudio",
                        [](std::string&) {
                            return std::make_unique<SteppedBackend<sim::SimulatedAudioSource>>(
                                std::make_shared<sim::SimulatedAudioSource>(
                                    sim::SimulatedAudioSource::Pacing::Stepped));
                        }},
        MediaSourceCase{"Pulse",
                        [](std::string& reason) -> std::unique_ptr<MediaSourceBackend> {
                            if (!std::getenv("PULSE_SERVER")) {
                                reason = "needs a PulseAudio server (PULSE_SERVER unset)";
                                return nullptr;
                            }
                            const std::string name =
                                "tovrel_conformance_" + std::to_string(::getpid());
                            const std::string module = commandOutput(
                                "pactl load-module module-sine-source source_name=" + name +
                                " rate=48000 2>/dev/null");
                            if (module.empty()) {
                                reason = "module-sine-source is not available";
                                return nullptr;
                            }
                            return std::make_unique<PulseBackend>(module, name);
                        }},
        MediaSourceCase{"Alsa",
                        [](std::string&) -> std::unique_ptr<MediaSourceBackend> {
                            const auto dir = std::filesystem::temp_directory_path() /
                                             ("tovrel-alsa-conf-" + std::to_string(::getpid()));
                            std::filesystem::create_directories(dir);
                            std::ofstream(dir / "in.raw", std::ios::binary)
                                << std::string(48000 * 4, '\x11');
                            std::ofstream(dir / "asound.conf")
                                << "pcm.null { type null }\npcm.tovrel_conformance {\n"
                                   "  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
                                   "  infile \""
                                << (dir / "in.raw").string() << "\"\n  format \"raw\"\n}\n";
                            ::setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
                            return std::make_unique<AlsaBackend>(dir);
                        }},
        MediaSourceCase{"V4l2OverAFakeKernel",
                        [](std::string& reason) -> std::unique_ptr<MediaSourceBackend> {
                            auto backend = std::make_unique<V4l2Backend>(reason);
                            if (!backend->opened()) return nullptr;
                            return backend;
                        }}),
    mediaSourceCaseName);

}  // namespace
}  // namespace tovrel::platform::testing
