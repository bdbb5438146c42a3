#include "platform/audio/pulse_loopback_capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/wave_format.h"

namespace tovrel::platform {
namespace {

using namespace std::chrono_literals;

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The loudest sample of a packet, as a fraction of full scale.
double peakOf(const WaveFormatExtensible& format, const uint8_t* data, uint32_t frames) {
    const size_t samples = static_cast<size_t>(frames) * format.nChannels;
    double peak = 0;
    for (size_t i = 0; i < samples; ++i) {
        double v = 0;
        if (format.isFloat()) {
            float f;
            std::memcpy(&f, data + i * 4, 4);
            v = f;
        } else if (format.wBitsPerSample == 16) {
            int16_t s;
            std::memcpy(&s, data + i * 2, 2);
            v = s / 32768.0;
        } else {
            int32_t s;
            std::memcpy(&s, data + i * 4, 4);
            v = s / 2147483648.0;
        }
        peak = std::max(peak, std::fabs(v));
    }
    return peak;
}

// The user picks another output while the desktop is recorded: the loopback moves to the new
// output's monitor and hears what plays there. The test changes the server's default, so it runs
// alone (RUN_SERIAL) and puts the old default back.
class LoopbackFollowsTheDefault : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("PULSE_SERVER"))
            GTEST_SKIP() << "needs a PulseAudio server (PULSE_SERVER unset)";
        oldDefault_ = run("pactl get-default-sink");
        module_ =
            run("pactl load-module module-null-sink sink_name=tovrel_loopback_test "
                "rate=48000 channels=2");
        ASSERT_FALSE(module_.empty()) << "no second output could be made";
    }
    void TearDown() override {
        if (!oldDefault_.empty()) run("pactl set-default-sink " + oldDefault_);
        if (!module_.empty()) run("pactl unload-module " + module_);
    }

    std::string oldDefault_;
    std::string module_;
};

TEST_F(LoopbackFollowsTheDefault, AndHearsWhatPlaysOnTheNewOutput) {
    std::unique_ptr<PulseLoopbackCapture> capture = PulseLoopbackCapture::connect();
    ASSERT_TRUE(capture);
    WaveFormatExtensible format;
    ASSERT_EQ(capture->GetMixFormat(&format), S_OK);
    ASSERT_EQ(capture->Initialize(10'000'000), S_OK);
    ASSERT_EQ(capture->Start(), S_OK);
    EXPECT_EQ(capture->monitorName(), oldDefault_ + ".monitor");

    run("pactl set-default-sink tovrel_loopback_test");
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (capture->monitorName() != "tovrel_loopback_test.monitor" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(capture->monitorName(), "tovrel_loopback_test.monitor");

    // Two seconds of a loud 1 kHz tone played into the new output only.
    const std::string tone = ::testing::TempDir() + "tovrel-loopback-tone.raw";
    {
        std::vector<int16_t> samples(48000 * 2 * 2);
        for (size_t i = 0; i < samples.size(); ++i) {
            const double t = static_cast<double>(i / 2) / 48000;
            samples[i] = static_cast<int16_t>(16000 * std::sin(2 * M_PI * 1000 * t));
        }
        FILE* f = std::fopen(tone.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(samples.data(), sizeof(int16_t), samples.size(), f);
        std::fclose(f);
    }
    std::thread player([&] {
        run("pacat --playback --device=tovrel_loopback_test --format=s16le --rate=48000 "
            "--channels=2 < " +
            tone);
    });
    double loudest = 0;
    const auto listenUntil = std::chrono::steady_clock::now() + 8s;
    while (loudest < 0.25 && std::chrono::steady_clock::now() < listenUntil) {
        uint8_t* data = nullptr;
        uint32_t frames = 0;
        uint32_t flags = 0;
        ASSERT_EQ(capture->GetBuffer(&data, &frames, &flags), S_OK);
        if (frames == 0) {
            std::this_thread::sleep_for(10ms);
            continue;
        }
        if (!(flags & AUDCLNT_BUFFERFLAGS_SILENT))
            loudest = std::max(loudest, peakOf(format, data, frames));
        ASSERT_EQ(capture->ReleaseBuffer(frames), S_OK);
    }
    player.join();
    std::remove(tone.c_str());
    capture->Stop();
    EXPECT_GT(loudest, 0.25) << "the tone on the new default output was not heard";
}

}  // namespace
}  // namespace tovrel::platform
