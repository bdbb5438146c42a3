#include "device/box_controls.h"

#include <gtest/gtest.h>

#include <thread>

#include "device/device_texts.h"
#include "device/register_map.h"
#include "platform/audio/memory_capture_endpoints.h"
#include "platform/system/manual_clock.h"
#include "tests/device/recording_unit.h"
#include "tests/device/register_lock_probe.h"

namespace tovrel::device {
namespace {

using namespace testing;

// One I2C write as the box received it, and whether "Norvik" was held by someone at that moment.
struct I2cWrite {
    uint8_t reg;
    uint8_t value;
    bool locked;
    bool operator==(const I2cWrite& o) const { return reg == o.reg && value == o.value; }
};

const bool kPrivateLockDirectory = usePrivateLockDirectory("box-controls-test");

struct Rig {
    FakeBus bus;
    platform::ManualClock clock;
    KelmUvcLibrary library{bus};
    platform::MemoryCaptureEndpoints endpoints;
    BoxControls controls{library, clock, &endpoints};
    RegisterFileResponder box;
    std::vector<I2cWrite> writes;

    explicit Rig(bool plugged = true) {
        if (plugged) bus.attached[{0x7B30, 0x4E11}] = 1;
        (*box.registers)[0] = 0xFF;
        endpoints.add("Microphone");
        endpoints.add("Norvik USB Audio Device Analog Stereo");
        bus.log->responder = [this](const platform::DeviceRequest& r) {
            // A command block for an I2C write to the microcontroller: the byte is in the data
            // buffer the previous request filled.
            if (r.wValue == 0x0100 && !r.isDeviceToHost() && r.data[0] == 0xD4 &&
                r.data[3] != 0xD0 && r.data[7] == 0xB4) {
                writes.push_back({r.data[10], (*box.data)[0], registerLockHeldElsewhere()});
            }
            int n = box(r);
            // Commands finish at once: the box is idle again for the next ready wait.
            (*box.registers)[0] = 0xFF;
            return n;
        };
    }

    // value into N, then N into register 0: the command write as the box sees it.
    static std::vector<I2cWrite> commands(std::initializer_list<std::pair<uint8_t, uint8_t>> list) {
        std::vector<I2cWrite> out;
        for (auto [reg, value] : list) {
            out.push_back({reg, value, true});
            out.push_back({0, reg, true});
        }
        return out;
    }
    bool allLocked() const {
        return std::all_of(writes.begin(), writes.end(),
                           [](const I2cWrite& w) { return w.locked; });
    }
    bool noneLocked() const {
        return std::none_of(writes.begin(), writes.end(),
                            [](const I2cWrite& w) { return w.locked; });
    }
};

TEST(BoxControls, PictureValuesWriteTheirRegisterUnderTheLock) {
    for (uint8_t reg :
         {Reg::Brightness, Reg::Contrast, Reg::Hue, Reg::Saturation, Reg::Sharpness}) {
        Rig rig;
        EXPECT_TRUE(rig.controls.setPictureValue(reg, 300));  // a byte: 300 goes as 44
        EXPECT_EQ(rig.writes, Rig::commands({{reg, 44}})) << int(reg);
        EXPECT_TRUE(rig.allLocked());
        EXPECT_EQ(rig.endpoints.calls(), 0);
        EXPECT_EQ(rig.bus.log->openUnits, 0) << "no handle outlives the operation";
    }
}

TEST(BoxControls, VolumeGoesToTheRegisterAndTheBoxEndpointInDecibels) {
    Rig rig;
    const std::string box = "Norvik USB Audio Device Analog Stereo";
    rig.controls.setVolume(160);
    EXPECT_EQ(rig.writes, Rig::commands({{Reg::Volume, 160}}));
    EXPECT_TRUE(rig.allLocked());
    EXPECT_FLOAT_EQ(rig.endpoints.state(box).levelDb, 5.0f);
    EXPECT_FLOAT_EQ(rig.endpoints.state("Microphone").levelDb, 0.0f) << "not the box's endpoint";
    rig.controls.setVolume(219);  // 64 dB: beyond the endpoint's range, refused and ignored
    EXPECT_FLOAT_EQ(rig.endpoints.state(box).levelDb, 5.0f);
    EXPECT_EQ(BoxControls::endpointLevelDb(154), 0.0f);
    EXPECT_EQ(BoxControls::endpointLevelDb(155), 0.0f);
    EXPECT_EQ(BoxControls::endpointLevelDb(156), 1.0f);
    EXPECT_EQ(BoxControls::endpointLevelDb(255), 100.0f);
}

TEST(BoxControls, MuteGoesToTheRegisterAndTheEndpoint) {
    Rig rig;
    rig.controls.setMute(1);
    EXPECT_TRUE(rig.endpoints.state("Norvik USB Audio Device Analog Stereo").muted);
    rig.controls.setMute(0);
    EXPECT_FALSE(rig.endpoints.state("Norvik USB Audio Device Analog Stereo").muted);
    EXPECT_EQ(rig.writes, Rig::commands({{Reg::Mute, 1}, {Reg::Mute, 0}}));
    EXPECT_TRUE(rig.allLocked());
}

TEST(BoxControls, DefaultsWriteEveryValueInOrderAndUnmute) {
    Rig rig;
    rig.controls.setMute(1);
    rig.writes.clear();
    rig.controls.restoreDefaults();
    EXPECT_EQ(rig.writes, Rig::commands({{Reg::Brightness, 128},
                                         {Reg::Contrast, 128},
                                         {Reg::Hue, 128},
                                         {Reg::Saturation, 128},
                                         {Reg::Sharpness, 154},
                                         {Reg::Volume, 219},
                                         {Reg::Mute, 0}}));
    EXPECT_TRUE(rig.allLocked());
    EXPECT_FALSE(rig.endpoints.state("Norvik USB Audio Device Analog Stereo").muted);
    EXPECT_EQ((*rig.box.registers)[Reg::Mute], 0);
}

TEST(BoxControls, AudioSourceTakesNoLockAndAFailedReadMeansHdmi) {
    Rig rig;
    rig.controls.setAudioSource(BoxControls::AudioSource::LineIn);
    EXPECT_EQ(rig.controls.readAudioSource(), BoxControls::AudioSource::LineIn);
    rig.controls.setAudioSource(BoxControls::AudioSource::Hdmi);
    EXPECT_EQ(rig.controls.readAudioSource(), BoxControls::AudioSource::Hdmi);
    EXPECT_EQ(rig.writes, Rig::commands({{Reg::AudioInput, 5}, {Reg::AudioInput, 6}}));
    EXPECT_TRUE(rig.noneLocked());

    Rig unplugged(false);
    (*unplugged.box.registers)[Reg::AudioInput] = 5;
    EXPECT_EQ(unplugged.controls.readAudioSource(), BoxControls::AudioSource::Hdmi);
    EXPECT_FALSE(unplugged.controls.setAudioSource(BoxControls::AudioSource::LineIn));
    EXPECT_TRUE(unplugged.bus.log->requests.empty());
}

TEST(BoxControls, RecordStartOncePerRecordingLockedOnlyWhileSettingsAreOpen) {
    Rig rig;
    int32_t sent = 0;
    rig.controls.RecordStart(true, false, sent);
    rig.controls.RecordStart(true, false, sent);  // the next caption tick: already sent
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(rig.writes, Rig::commands({{Cmd::RecordStart, 1}}));
    EXPECT_TRUE(rig.noneLocked());
    rig.writes.clear();
    sent = 0;  // a new recording
    rig.controls.RecordStart(true, true, sent);
    EXPECT_EQ(rig.writes, Rig::commands({{Cmd::RecordStart, 1}}));
    EXPECT_TRUE(rig.allLocked());

    Rig plain;
    int32_t plainSent = 0;
    plain.controls.RecordStart(false, true, plainSent);
    plain.controls.RecordStop(false, false, true);
    EXPECT_EQ(plainSent, 0);
    EXPECT_TRUE(plain.bus.log->requests.empty()) << "no register interface: nothing sent";
}

TEST(BoxControls, RecordStopIsNotSentToAPx40) {
    Rig rig;
    rig.controls.RecordStop(true, true, true);
    EXPECT_TRUE(rig.writes.empty());
    rig.controls.RecordStop(true, false, true);
    EXPECT_EQ(rig.writes, Rig::commands({{Cmd::RecordStop, 1}}));
    EXPECT_TRUE(rig.allLocked());
}

TEST(BoxControls, NoBoxSendsNothingAndRefusedEndpointLevelsAreIgnored) {
    Rig rig(false);
    EXPECT_FALSE(rig.controls.setVolume(170));
    EXPECT_FALSE(rig.controls.restoreDefaults());
    EXPECT_TRUE(rig.bus.log->requests.empty());
    EXPECT_FLOAT_EQ(rig.endpoints.state("Norvik USB Audio Device Analog Stereo").levelDb, 0.0f);
    EXPECT_TRUE(BoxControls::isBoxEndpoint("Digital Audio Interface (QUORVA PX40 Audio)"));
    EXPECT_FALSE(BoxControls::isBoxEndpoint("norvik lower case"));
}

}  // namespace
}  // namespace tovrel::device
