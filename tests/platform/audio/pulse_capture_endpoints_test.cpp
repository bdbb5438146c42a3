#include "platform/audio/pulse_capture_endpoints.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/audio/memory_capture_endpoints.h"

namespace tovrel::platform {
namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        ::pclose(p);
    }
    return out;
}

// What the reduced edition's volume bar relies on, for any endpoint: levels within the range
// are read back as set (never less), others refused, and a percentage p sent as
// minimum + p / (100 / (max − min)) dB comes back as (int)(100 / (max − min) × (level − minimum))
// in single precision as it went, at worst one less where that arithmetic itself truncates.
void expectVolumeAndMuteRoundTrip(CaptureEndpoints& endpoints, const std::string& name,
                                  float expectedMinimum, float expectedMaximum) {
    float minimum = -1, maximum = -1, increment = -1;
    ASSERT_EQ(endpoints.GetVolumeRange(name, &minimum, &maximum, &increment), S_OK);
    EXPECT_EQ(minimum, expectedMinimum);
    EXPECT_EQ(maximum, expectedMaximum);
    EXPECT_GT(increment, 0.0f);
    EXPECT_LE(increment, 0.5f);

    for (const float level : {minimum, (minimum + maximum) / 2, maximum}) {
        ASSERT_EQ(endpoints.SetMasterVolumeLevel(name, level), S_OK) << level;
        float got = -1000;
        ASSERT_EQ(endpoints.GetMasterVolumeLevel(name, &got), S_OK);
        EXPECT_GE(got, level);
        EXPECT_LT(got - level, 0.001f);
    }
    EXPECT_EQ(endpoints.SetMasterVolumeLevel(name, minimum - 1.0f), E_INVALIDARG);
    EXPECT_EQ(endpoints.SetMasterVolumeLevel(name, maximum + 0.5f), E_INVALIDARG);
    EXPECT_EQ(endpoints.SetMasterVolumeLevel(name, NAN), E_INVALIDARG);
    float kept = -1000;
    ASSERT_EQ(endpoints.GetMasterVolumeLevel(name, &kept), S_OK);
    EXPECT_NEAR(kept, maximum, 0.001f) << "a refused level leaves the last one";

    const float perPercent = 100.0f / (maximum - minimum);
    for (int percent = 0; percent <= 100; ++percent) {
        const float level = minimum + static_cast<float>(percent) / perPercent;
        ASSERT_EQ(endpoints.SetMasterVolumeLevel(name, level), S_OK) << percent;
        float got = -1000;
        ASSERT_EQ(endpoints.GetMasterVolumeLevel(name, &got), S_OK);
        const int back = static_cast<int>(perPercent * (got - minimum));
        EXPECT_LE(back, percent);
        EXPECT_GE(back, static_cast<int>(perPercent * (level - minimum))) << percent;
        if (percent == 0 || percent == 100) {
            EXPECT_EQ(back, percent);
        }
    }

    bool muted = false;
    ASSERT_EQ(endpoints.SetMute(name, true), S_OK);
    ASSERT_EQ(endpoints.GetMute(name, &muted), S_OK);
    EXPECT_TRUE(muted);
    ASSERT_EQ(endpoints.SetMute(name, false), S_OK);
    ASSERT_EQ(endpoints.GetMute(name, &muted), S_OK);
    EXPECT_FALSE(muted);

    float level = 0;
    EXPECT_EQ(endpoints.GetVolumeRange("No Such Source", &minimum, &maximum, &increment),
              E_INVALIDARG);
    EXPECT_EQ(endpoints.GetMasterVolumeLevel("No Such Source", &level), E_INVALIDARG);
    EXPECT_EQ(endpoints.GetMute("No Such Source", &muted), E_INVALIDARG);
    EXPECT_EQ(endpoints.GetVolumeRange(name, nullptr, &maximum, &increment), E_POINTER);
    EXPECT_EQ(endpoints.GetMasterVolumeLevel(name, nullptr), E_POINTER);
    EXPECT_EQ(endpoints.GetMute(name, nullptr), E_POINTER);
}

TEST(MemoryCaptureEndpoints, VolumeAndMuteRoundTripAsTheSoundServersDo) {
    MemoryCaptureEndpoints endpoints;
    endpoints.add("Norvik USB Audio Device");
    expectVolumeAndMuteRoundTrip(endpoints, "Norvik USB Audio Device",
                                 MemoryCaptureEndpoints::kMinLevelDb, 11.0f);
}

// A capture source named like the box's, on the private server of the test script.
class BoxSource : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("PULSE_SERVER"))
            GTEST_SKIP() << "needs a PulseAudio server (PULSE_SERVER unset)";
        module_ =
            run("pactl load-module module-null-source source_name=norvik_box_test "
                "description=" +
                name_);
        ASSERT_FALSE(module_.empty());
    }
    void TearDown() override {
        if (!module_.empty()) run("pactl unload-module " + module_);
    }
    const std::string name_ = "NorvikUSBAudioTest";
    std::string module_;
};

TEST_F(BoxSource, VolumeInDecibelsAndMuteReachTheServer) {
    PulseCaptureEndpoints endpoints;
    auto names = endpoints.EnumAudioEndpoints();
    ASSERT_NE(std::find(names.begin(), names.end(), name_), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "Monitor of Null Output"), names.end());

    ASSERT_EQ(endpoints.SetMasterVolumeLevel(name_, 5.0f), S_OK);
    EXPECT_NE(run("pactl get-source-volume norvik_box_test").find("5.00 dB"), std::string::npos)
        << run("pactl get-source-volume norvik_box_test");
    // 64 dB is far beyond what the server offers: refused, the level stays.
    EXPECT_EQ(endpoints.SetMasterVolumeLevel(name_, 64.0f), E_INVALIDARG);
    EXPECT_NE(run("pactl get-source-volume norvik_box_test").find("5.00 dB"), std::string::npos);
    ASSERT_EQ(endpoints.SetMasterVolumeLevel(name_, 0.0f), S_OK);
    EXPECT_NE(run("pactl get-source-volume norvik_box_test").find("0.00 dB"), std::string::npos);

    ASSERT_EQ(endpoints.SetMute(name_, true), S_OK);
    EXPECT_NE(run("pactl get-source-mute norvik_box_test").find("yes"), std::string::npos);
    ASSERT_EQ(endpoints.SetMute(name_, false), S_OK);
    EXPECT_NE(run("pactl get-source-mute norvik_box_test").find("no"), std::string::npos);

    EXPECT_EQ(endpoints.SetMute("No Such Source", true), E_INVALIDARG);
}

TEST_F(BoxSource, VolumeAndMuteReadBackAsSetHereAndElsewhere) {
    PulseCaptureEndpoints endpoints;
    expectVolumeAndMuteRoundTrip(endpoints, name_, 0.0f, 11.0f);
    // From 0 dB a percentage is the same level whether the minimum is added or not: the
    // window's literal p / (100 / (max - min)) dB comes back exactly, Default's 82 included.
    for (int percent = 0; percent <= 100; ++percent) {
        const float level = static_cast<float>(percent) / (100.0f / 11.0f);
        ASSERT_EQ(endpoints.SetMasterVolumeLevel(name_, level), S_OK);
        float got = -1000;
        ASSERT_EQ(endpoints.GetMasterVolumeLevel(name_, &got), S_OK);
        EXPECT_EQ(static_cast<int>(100.0f / 11.0f * got), percent);
    }

    // The desktop's mixer may go below the range: read as it is (half of the cubic scale is
    // about -18 dB), and a source turned fully down reads as a finite level.
    run("pactl set-source-volume norvik_box_test 50%");
    run("pactl set-source-mute norvik_box_test 1");
    float level = 0;
    ASSERT_EQ(endpoints.GetMasterVolumeLevel(name_, &level), S_OK);
    EXPECT_NEAR(level, -18.06f, 0.05f);
    bool muted = false;
    ASSERT_EQ(endpoints.GetMute(name_, &muted), S_OK);
    EXPECT_TRUE(muted);
    run("pactl set-source-volume norvik_box_test 0");
    ASSERT_EQ(endpoints.GetMasterVolumeLevel(name_, &level), S_OK);
    EXPECT_TRUE(std::isfinite(level));
    EXPECT_LT(level, -200.0f);
    // The loudest channel stands for the source.
    run("pactl set-source-volume norvik_box_test 100% 50%");
    ASSERT_EQ(endpoints.GetMasterVolumeLevel(name_, &level), S_OK);
    EXPECT_NEAR(level, 0.0f, 0.01f);
}

}  // namespace
}  // namespace tovrel::platform
