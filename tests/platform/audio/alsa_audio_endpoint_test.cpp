#include "platform/audio/alsa_audio_endpoint_enumerator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace tovrel::platform {
namespace {

WaveFormatExtensible stereo16(uint32_t rate = 48000) {
    WaveFormatExtensible f;
    f.nChannels = 2;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.Samples.wValidBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 4 * rate;
    return f;
}

TEST(AlsaAudioEndpointTest, AMissingDeviceIsNotFound) {
    AlsaAudioEndpointEnumerator enumerator("tovrel_no_such_pcm");
    std::unique_ptr<AudioEndpoint> endpoint;
    EXPECT_EQ(enumerator.GetDefaultAudioEndpoint(&endpoint), E_NOTFOUND);
    EXPECT_FALSE(endpoint);
}

class AlsaOverPulseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("PULSE_SERVER"))
            GTEST_SKIP() << "needs a PulseAudio server (PULSE_SERVER unset)";
        // A sink of our own, so that what we play never reaches tests that listen to the shared
        // one.
        if (!sinkLoaded_) {
            sinkModule_ =
                run("pactl load-module module-null-sink sink_name=tovrel_alsa_endpoint_test "
                    "rate=48000 channels=2 format=s16le norewinds=1 2>/dev/null");
            sinkLoaded_ = true;
        }
        if (!sinkModule_.empty()) ::setenv("PULSE_SINK", "tovrel_alsa_endpoint_test", 1);
        AlsaAudioEndpointEnumerator enumerator;
        ASSERT_EQ(enumerator.GetDefaultAudioEndpoint(&endpoint_), S_OK);
        ASSERT_EQ(endpoint_->Activate(&client_), S_OK);
    }
    void TearDown() override {
        client_.reset();
        endpoint_.reset();
    }
    static void TearDownTestSuite() {
        if (!sinkModule_.empty()) {
            ::unsetenv("PULSE_SINK");
            run("pactl unload-module " + sinkModule_);
        }
    }
    static std::string run(const std::string& command) {
        std::string out;
        if (FILE* p = ::popen(command.c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p)) out += buf;
            ::pclose(p);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }

    static inline bool sinkLoaded_ = false;
    static inline std::string sinkModule_;
    std::unique_ptr<AudioEndpoint> endpoint_;
    std::unique_ptr<AudioClient> client_;
};

TEST_F(AlsaOverPulseTest, PlaysAndReportsTheQueue) {
    std::optional<WaveFormatExtensible> closest;
    ASSERT_EQ(
        client_->IsFormatSupported(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, stereo16(), &closest),
        S_OK);
    ASSERT_EQ(client_->Initialize(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, 0x88100000u, 1'000'000,
                                  1'000'000, stereo16()),
              S_OK);
    uint32_t frames = 0;
    ASSERT_EQ(client_->GetBufferSize(&frames), S_OK);
    EXPECT_NEAR(frames, 4800, 600);
    std::unique_ptr<AudioRenderClient> render;
    ASSERT_EQ(client_->GetService(&render), S_OK);
    uint32_t padding = 99;
    ASSERT_EQ(client_->GetCurrentPadding(&padding), S_OK);
    EXPECT_EQ(padding, 0u);
    uint8_t* data = nullptr;
    EXPECT_EQ(render->GetBuffer(frames + 1, &data), AUDCLNT_E_BUFFER_TOO_LARGE);
    ASSERT_EQ(render->GetBuffer(frames, &data), S_OK);
    auto* s = reinterpret_cast<int16_t*>(data);
    for (uint32_t i = 0; i < frames; ++i) {
        s[2 * i] = s[2 * i + 1] =
            static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 48000.0));
    }
    ASSERT_EQ(render->ReleaseBuffer(frames, 0), S_OK);
    ASSERT_EQ(client_->GetCurrentPadding(&padding), S_OK);
    EXPECT_GT(padding, frames * 3 / 4);  // queued, not played: the stream has not started
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    ASSERT_EQ(client_->GetCurrentPadding(&padding), S_OK);
    EXPECT_GT(padding, frames * 3 / 4);
    ASSERT_EQ(client_->Start(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_EQ(client_->GetCurrentPadding(&padding), S_OK);
    EXPECT_LT(padding, frames * 3 / 4);
    // Played dry and topped up again, the stream keeps going.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_EQ(client_->GetCurrentPadding(&padding), S_OK);
    ASSERT_LE(padding, frames);
    ASSERT_EQ(render->GetBuffer(frames - padding, &data), S_OK);
    ASSERT_EQ(render->ReleaseBuffer(frames - padding, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
    for (int pass = 0; pass < 8; ++pass) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        ASSERT_EQ(client_->GetCurrentPadding(&padding), S_OK);
        ASSERT_LE(padding, frames);
        ASSERT_EQ(render->GetBuffer(frames - padding, &data), S_OK);
        ASSERT_EQ(render->ReleaseBuffer(frames - padding, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
    }
    // Just topped up, the device holds most of its buffer: what was written was taken, not
    // dropped. (Read before the top-up, the figure says only how long the sleep overslept.)
    ASSERT_EQ(client_->GetCurrentPadding(&padding), S_OK);
    EXPECT_GT(padding, frames / 2);
    EXPECT_EQ(client_->Stop(), S_OK);
}

TEST_F(AlsaOverPulseTest, OffersAClosestMatchForWhatItCannotPlay) {
    WaveFormatExtensible odd = stereo16();
    odd.wBitsPerSample = 12;  // no such container
    odd.Samples.wValidBitsPerSample = 12;
    odd.nBlockAlign = 3;
    std::optional<WaveFormatExtensible> closest;
    EXPECT_EQ(client_->IsFormatSupported(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, odd, &closest),
              AUDCLNT_E_UNSUPPORTED_FORMAT);
    ASSERT_TRUE(closest);
    EXPECT_EQ(closest->nChannels, 2);
    EXPECT_EQ(closest->nSamplesPerSec, 48000u);
    EXPECT_EQ(closest->nBlockAlign, closest->nChannels * closest->wBitsPerSample / 8);
    EXPECT_EQ(
        client_->Initialize(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, 0, 1'000'000, 1'000'000, odd),
        AUDCLNT_E_UNSUPPORTED_FORMAT);
    EXPECT_EQ(client_->Initialize(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, 0, 1'000'000, 1'000'000,
                                  *closest),
              S_OK);
}

TEST_F(AlsaOverPulseTest, TwentyFourBitsInThirtyTwoAreTaken) {
    WaveFormatExtensible f = stereo16();
    f.wBitsPerSample = 32;
    f.Samples.wValidBitsPerSample = 24;
    f.nBlockAlign = 8;
    f.nAvgBytesPerSec = 8 * 48000;
    std::optional<WaveFormatExtensible> closest;
    EXPECT_EQ(client_->IsFormatSupported(AudioShareMode::AUDCLNT_SHAREMODE_SHARED, f, &closest),
              S_OK);
}

}  // namespace
}  // namespace tovrel::platform
