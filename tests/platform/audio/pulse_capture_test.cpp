#include "platform/audio/pulse_capture_enumerator.h"
#include "platform/audio/pulse_capture_source.h"

#include <gtest/gtest.h>

#include <pulse/sample.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "platform/media/media_buffer.h"
#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"
#include "platform/media/source_reader.h"
#include "tests/support/command_output.h"

namespace tovrel::platform {
namespace {

using tovrel::testing::commandOutput;

// A sine source on the test server stands in for a capture card: a real source, not a monitor.
class PulseCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("PULSE_SERVER"))
            GTEST_SKIP() << "needs a PulseAudio server (PULSE_SERVER unset)";
        // Named per process: the test cases may run side by side.
        const std::string pid = std::to_string(::getpid());
        name_ = "tovrel_test_sine_" + pid;
        description_ = "TovrelTestSine" + pid;
        module_ = commandOutput("pactl load-module module-sine-source source_name=" + name_ +
                                " rate=48000 frequency=750 source_properties=device.description=" +
                                description_ + " 2>/dev/null");
        if (module_.empty()) GTEST_SKIP() << "module-sine-source is not available";
    }
    void TearDown() override {
        if (!module_.empty()) commandOutput("pactl unload-module " + module_);
    }
    std::string module_;
    std::string name_;
    std::string description_;
};

TEST_F(PulseCaptureTest, ListsRealSourcesByDescriptionWithoutMonitors) {
    Attributes audio;
    audio.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
    PulseCaptureEnumerator enumerator;
    std::vector<std::unique_ptr<Activate>> devices;
    ASSERT_EQ(enumerator.EnumDeviceSources(audio, &devices), S_OK);
    bool found = false;
    for (auto& device : devices) {
        std::string name, id;
        device->GetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name);
        device->GetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, &id);
        EXPECT_EQ(id.find(".monitor"), std::string::npos) << id;
        if (name == description_) {
            found = true;
            EXPECT_EQ(id, name_);
        }
    }
    EXPECT_TRUE(found);

    Attributes video;
    video.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
    devices.clear();
    EXPECT_EQ(enumerator.EnumDeviceSources(video, &devices), S_OK);
    EXPECT_TRUE(devices.empty());
    EXPECT_EQ(enumerator.EnumDeviceSources(Attributes(), &devices), MF_E_ATTRIBUTENOTFOUND);
}

TEST_F(PulseCaptureTest, RecordsTenMillisecondSamplesInTheNativeFormat) {
    std::shared_ptr<MediaSource> source;
    Attributes audio;
    audio.SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                  MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
    PulseCaptureEnumerator enumerator;
    std::vector<std::unique_ptr<Activate>> devices;
    ASSERT_EQ(enumerator.EnumDeviceSources(audio, &devices), S_OK);
    for (auto& device : devices) {
        std::string name;
        device->GetString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name);
        if (name == description_) {
            ASSERT_EQ(device->ActivateObject(&source), S_OK);
        }
    }
    ASSERT_TRUE(source);
    std::vector<MediaType> types;
    ASSERT_EQ(source->nativeTypes(0, &types), S_OK);
    ASSERT_EQ(types.size(), 1u);
    uint32_t rate = 0, bits = 0, channels = 0, align = 0;
    types[0].GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
    types[0].GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
    types[0].GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
    types[0].GetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, &align);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(align, channels * bits / 8);

    ASSERT_EQ(source->startStream(0), S_OK);
    std::vector<int16_t> all;
    // The sine source hands over its audio in bursts of seconds, and a full queue drops its
    // oldest blocks: the stamps are whole blocks, rising, and mostly 10 ms apart.
    int64_t previous = -1;
    int steps = 0;
    for (int i = 0; i < 50; ++i) {
        SourceReadResult r;
        HRESULT hr = source->pullSample(0, 500, &r);
        ASSERT_EQ(hr, S_OK) << i;
        ASSERT_TRUE(r.sample);
        EXPECT_EQ(r.timestamp100ns % 100'000, 0);
        EXPECT_GT(r.timestamp100ns, previous);
        steps += previous >= 0 && r.timestamp100ns - previous == 100'000;
        previous = r.timestamp100ns;
        if (bits != 16) continue;
        std::shared_ptr<MediaBuffer> buffer;
        r.sample->ConvertToContiguousBuffer(&buffer);
        uint8_t* data;
        uint32_t max, length;
        buffer->Lock(&data, &max, &length);
        EXPECT_EQ(length, 480 * align);
        for (uint32_t f = 0; f < length / align; ++f)
            all.push_back(reinterpret_cast<int16_t*>(data + f * align)[0]);
        buffer->Unlock();
    }
    source->stopStream(0);
    EXPECT_GE(steps, 45);
    if (bits == 16) {
        int crossings = 0;
        for (size_t i = 1; i < all.size(); ++i) crossings += (all[i - 1] < 0) != (all[i] < 0);
        EXPECT_NEAR(crossings / 2.0 / (all.size() / 48000.0), 750.0, 10.0);
    }
    source->Shutdown();
}

// A sink whose samples are 32-bit float, with a 440 Hz tone playing into it: its monitor is a
// float-only source, as a desktop's virtual sources often are.
TEST(PulseFloatSource, IsOfferedAsPcmAndTheServerConvertsIt) {
    if (!std::getenv("PULSE_SERVER"))
        GTEST_SKIP() << "needs a PulseAudio server (PULSE_SERVER unset)";
    const std::string sink = "tovrel_test_float_" + std::to_string(::getpid());
    const std::string sinkModule =
        commandOutput("pactl load-module module-null-sink sink_name=" + sink +
                      " format=float32le rate=48000 channels=2 2>/dev/null");
    if (sinkModule.empty()) GTEST_SKIP() << "module-null-sink is not available";
    const std::string toneModule =
        commandOutput("pactl load-module module-sine sink=" + sink + " frequency=440 2>/dev/null");
    struct Unload {
        std::vector<std::string> modules;
        ~Unload() {
            for (const auto& m : modules)
                if (!m.empty()) commandOutput("pactl unload-module " + m);
        }
    } unload{{toneModule, sinkModule}};
    if (toneModule.empty()) GTEST_SKIP() << "module-sine is not available";

    PulseCaptureEnumerator::SourceInfo monitor;
    for (const auto& s : PulseCaptureEnumerator::listSources())
        if (s.name == sink + ".monitor") monitor = s;
    ASSERT_EQ(monitor.format, PA_SAMPLE_FLOAT32LE) << "the server offers the monitor as float";

    auto source = std::make_shared<PulseCaptureSource>(monitor.name, monitor.rate, monitor.channels,
                                                       monitor.format);
    std::unique_ptr<SourceReader> reader;
    ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source, nullptr, &reader), S_OK);
    // What the capture asks for: PCM, nothing else.
    MediaType pcm;
    pcm.SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    pcm.SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    ASSERT_EQ(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, pcm), S_OK);
    std::unique_ptr<MediaType> current;
    ASSERT_EQ(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_AUDIO_STREAM, &current), S_OK);
    uint32_t bits = 0, channels = 0, align = 0;
    current->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
    current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
    current->GetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, &align);
    ASSERT_EQ(bits, 16u);
    ASSERT_EQ(channels, 2u);
    ASSERT_EQ(align, 4u);
    ASSERT_EQ(reader->SetStreamSelection(MF_SOURCE_READER_FIRST_AUDIO_STREAM, true), S_OK);

    std::vector<int16_t> left;
    for (int i = 0; i < 60 && left.size() < 48000 / 2; ++i) {
        uint32_t actual = 0, flags = 0;
        int64_t time = 0;
        std::shared_ptr<Sample> sample;
        ASSERT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &actual, &flags, &time,
                                     &sample),
                  S_OK);
        if (!sample) continue;
        std::shared_ptr<MediaBuffer> buffer;
        ASSERT_EQ(sample->ConvertToContiguousBuffer(&buffer), S_OK);
        uint8_t* data = nullptr;
        uint32_t max = 0, length = 0;
        buffer->Lock(&data, &max, &length);
        for (uint32_t f = 0; f + align <= length; f += align)
            left.push_back(*reinterpret_cast<const int16_t*>(data + f));
        buffer->Unlock();
    }
    reader->Shutdown();
    ASSERT_GE(left.size(), 4800u);
    int crossings = 0, peak = 0;
    for (size_t i = 1; i < left.size(); ++i) {
        crossings += (left[i - 1] < 0) != (left[i] < 0);
        peak = std::max(peak, std::abs(int{left[i]}));
    }
    EXPECT_GT(peak, 3000) << "sound, not silence";
    EXPECT_NEAR(crossings / 2.0 / (left.size() / 48000.0), 440.0, 10.0);
}

}  // namespace
}  // namespace tovrel::platform
