#include "platform/audio/alsa_audio_endpoint_enumerator.h"
#include "platform/audio/alsa_capture_enumerator.h"
#include "platform/audio/alsa_capture_source.h"
#include "platform/audio/audio_capture_enumerator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/media/media_buffer.h"
#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"
#include "platform/media/source_reader.h"
#include "platform/system/debug_output.h"

namespace tovrel::platform {
namespace {

constexpr uint32_t kFrames = 480000;  // ten seconds in the capture file

// The left sample of frame `f` in the capture file; the right one is its negation.
int16_t leftOf(uint32_t f) { return static_cast<int16_t>(f % 30000); }

// A machine without a sound server: no server answers at PULSE_SERVER, and ALSA reads only the
// configuration written here. Its one capture PCM plays back a file of known samples, as a USB
// card would record them; an output-only PCM and a second PCM of the same description stand by.
class AlsaWithoutServer : public ::testing::Environment {
  public:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("tovrel-alsa-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        std::vector<int16_t> samples;
        for (uint32_t f = 0; f < kFrames; ++f) {
            samples.push_back(leftOf(f));
            samples.push_back(static_cast<int16_t>(-leftOf(f)));
        }
        std::ofstream(dir_ / "in.raw", std::ios::binary)
            .write(reinterpret_cast<const char*>(samples.data()),
                   static_cast<std::streamsize>(samples.size() * 2));
        std::ofstream(dir_ / "asound.conf")
            << "pcm.null { type null }\n"
               "pcm.tovrel_box {\n"
               "  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
               "  infile \""
            << (dir_ / "in.raw").string()
            << "\"\n  format \"raw\"\n"
               "  hint { show on description \"Norvik USB Audio Device, USB Audio\" }\n"
               "}\n"
               "pcm.tovrel_box_again {\n  type null\n"
               "  hint { show on description \"Norvik USB Audio Device, USB Audio\" }\n}\n"
               "pcm.tovrel_speakers {\n  type null\n"
               "  hint { show on description \"Speakers|IOIDOutput\" }\n}\n";
        ::setenv("ALSA_CONFIG_PATH", (dir_ / "asound.conf").c_str(), 1);
        ::setenv("PULSE_SERVER", "unix:/nonexistent/tovrel-no-server", 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

  private:
    std::filesystem::path dir_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AlsaWithoutServer);

Attributes audioCapture() {
    Attributes a;
    a.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
    return a;
}

TEST(AlsaCapture, WithoutAServerTheCapturePcmsAreTheDevicesByDescription) {
    PulseCaptureEnumerator pulse;
    std::vector<std::unique_ptr<Activate>> devices;
    ASSERT_EQ(pulse.EnumDeviceSources(audioCapture(), &devices), S_OK);
    EXPECT_TRUE(devices.empty());
    EXPECT_FALSE(pulse.serverAnswered());

    AudioCaptureEnumerator enumerator;
    ASSERT_EQ(enumerator.EnumDeviceSources(audioCapture(), &devices), S_OK);
    ASSERT_EQ(devices.size(), 1u) << "one device per description, outputs and null left out";
    std::string name, id;
    devices[0]->GetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name);
    devices[0]->GetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, &id);
    EXPECT_EQ(name, "Norvik USB Audio Device, USB Audio");
    EXPECT_EQ(id, "tovrel_box");

    Attributes video;
    video.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
    devices.clear();
    EXPECT_EQ(enumerator.EnumDeviceSources(video, &devices), S_OK);
    EXPECT_TRUE(devices.empty());
}

TEST(AlsaCapture, TheDeviceRecordsItsSamplesAsPcmThroughTheReader) {
    AudioCaptureEnumerator enumerator;
    std::vector<std::unique_ptr<Activate>> devices;
    ASSERT_EQ(enumerator.EnumDeviceSources(audioCapture(), &devices), S_OK);
    ASSERT_FALSE(devices.empty());
    std::shared_ptr<MediaSource> source;
    ASSERT_EQ(devices[0]->ActivateObject(&source), S_OK);

    std::unique_ptr<SourceReader> reader;
    ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source, nullptr, &reader), S_OK);
    MediaType pcm;
    pcm.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    pcm.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, pcm), S_OK);
    std::unique_ptr<MediaType> current;
    ASSERT_EQ(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, &current), S_OK);
    uint32_t rate = 0, channels = 0, bits = 0, align = 0;
    current->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
    current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
    current->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
    current->GetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, &align);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(channels, 2u);
    EXPECT_EQ(bits, 16u);
    ASSERT_EQ(align, 4u);
    ASSERT_EQ(reader->SetStreamSelection(MF_SOURCE_READER_FIRST_AUDIO_STREAM, true), S_OK);

    // The file PCM hands its samples over faster than a card, so the queue may drop blocks: each
    // block is checked against the file at the frames its stamp names.
    int checked = 0;
    int64_t previous = -1;
    for (int i = 0; i < 20; ++i) {
        uint32_t actual = 0, flags = 0;
        int64_t time = 0;
        std::shared_ptr<Sample> sample;
        ASSERT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &actual, &flags, &time,
                                     &sample),
                  S_OK);
        if (!sample) continue;
        EXPECT_EQ(time % 100'000, 0);
        EXPECT_GT(time, previous);
        previous = time;
        const auto first = static_cast<uint32_t>(time * 48000 / 10'000'000);
        std::shared_ptr<MediaBuffer> buffer;
        ASSERT_EQ(sample->ConvertToContiguousBuffer(&buffer), S_OK);
        uint8_t* data = nullptr;
        uint32_t max = 0, length = 0;
        buffer->Lock(&data, &max, &length);
        EXPECT_EQ(length, 480u * align);
        const auto* frames = reinterpret_cast<const int16_t*>(data);
        for (uint32_t f = 0; f < length / align && first + f < kFrames; f += 37) {
            ASSERT_EQ(frames[2 * f], leftOf(first + f)) << "frame " << first + f;
            ASSERT_EQ(frames[2 * f + 1], -leftOf(first + f)) << "frame " << first + f;
        }
        buffer->Unlock();
        checked += first < kFrames;
    }
    reader->Shutdown();
    EXPECT_GE(checked, 5);
}

TEST(AlsaCapture, APcmThatDoesNotOpenIsNotActivated) {
    AlsaCaptureSource::Format format;
    EXPECT_FALSE(AlsaCaptureSource::probe("tovrel_no_such_pcm", &format));
    auto source = std::make_shared<AlsaCaptureSource>("tovrel_no_such_pcm",
                                                      AlsaCaptureSource::Format{48000, 2, 16});
    ASSERT_EQ(source->startStream(0), S_OK);
    SourceReadResult result;
    EXPECT_EQ(source->pullSample(0, 2000, &result), MF_E_DEVICE_NOT_CONNECTED);
    source->Shutdown();
}

// With the debug output on, each failure names the device, the call and the library's reason.
TEST(AlsaCapture, FailuresAreLoggedWithDeviceCallAndReason) {
    std::vector<std::string> lines;
    auto previous = setDebugOutputSink([&](std::string_view t) { lines.emplace_back(t); });
    bool answered = true;
    PulseCaptureEnumerator::listSources(&answered);
    EXPECT_FALSE(answered);
    std::unique_ptr<AudioEndpoint> endpoint;
    EXPECT_EQ(AlsaAudioEndpointEnumerator("tovrel_no_such_pcm").GetDefaultAudioEndpoint(&endpoint),
              E_NOTFOUND);
    AlsaCaptureSource::Format format;
    EXPECT_FALSE(AlsaCaptureSource::probe("tovrel_no_such_capture", &format));
    setDebugOutputSink(previous);

    const auto logged = [&](const std::string& start) {
        for (const auto& line : lines)
            if (line.rfind(start, 0) == 0 && line.size() > start.size()) return true;
        return false;
    };
    EXPECT_TRUE(logged("pulse server: pa_context_connect failed: "))
        << ::testing::PrintToString(lines);
    EXPECT_TRUE(logged("tovrel_no_such_pcm: snd_pcm_open failed: "))
        << ::testing::PrintToString(lines);
    EXPECT_TRUE(logged("tovrel_no_such_capture: snd_pcm_open failed: "))
        << ::testing::PrintToString(lines);
}

}  // namespace
}  // namespace tovrel::platform
