#include "platform/audio/pulse_capture_enumerator.h"
#include "platform/audio/pulse_capture_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "platform/media/mf_constants.h"
#include "platform/media/mf_guids.h"

namespace tovrel::platform {
namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

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
        module_ =
            run("pactl load-module module-sine-source source_name=" + name_ +
                " rate=48000 frequency=750 source_properties=device.description=" + description_ +
                " 2>/dev/null");
        if (module_.empty()) GTEST_SKIP() << "module-sine-source is not available";
    }
    void TearDown() override {
        if (!module_.empty()) run("pactl unload-module " + module_);
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

}  // namespace
}  // namespace tovrel::platform
