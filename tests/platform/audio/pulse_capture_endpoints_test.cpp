#include "platform/audio/pulse_capture_endpoints.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

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

}  // namespace
}  // namespace tovrel::platform
