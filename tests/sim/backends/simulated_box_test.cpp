#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <string>
#include <utility>
#include <vector>

#include "platform/media/mf_guids.h"
#include "sim/backends/simulated_backends.h"
#include "sim/backends/simulated_box.h"
#include "sim/bridge/simulated_extension_unit_bus.h"

namespace tovrel::sim {
namespace {

using Notification = std::pair<uint32_t, std::string>;

struct BoxRig {
    BoxRig()
        : power(nullptr),
          box(kDefaultBoxModel, SimulatedStream::Pacing::Stepped, devices, notifications, power) {
        notifications.registerDeviceNotification(
            [this](uint32_t event, const platform::DeviceBroadcastInterface* data) {
                seen.emplace_back(event, data->dbcc_name);
                return true;
            });
    }
    std::vector<Notification> drain() {
        QCoreApplication::sendPostedEvents();
        return std::exchange(seen, {});
    }
    // Audio devices first, then video ones.
    std::vector<std::unique_ptr<platform::Activate>> list() {
        std::vector<std::unique_ptr<platform::Activate>> all;
        for (const platform::Guid& type :
             {platform::MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID,
              platform::MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID}) {
            platform::Attributes attributes;
            attributes.SetGUID(platform::MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, type);
            std::vector<std::unique_ptr<platform::Activate>> some;
            devices.EnumDeviceSources(attributes, &some);
            for (auto& device : some) all.push_back(std::move(device));
        }
        return all;
    }
    std::vector<std::string> deviceNames() {
        std::vector<std::unique_ptr<platform::Activate>> list = this->list();
        std::vector<std::string> names;
        for (auto& device : list) {
            std::string name;
            device->GetAllocatedString(platform::MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name);
            names.push_back(name);
        }
        return names;
    }
    // Activates both devices, as a capture start does.
    void activate() {
        for (auto& device : list()) {
            std::shared_ptr<platform::MediaSource> source;
            device->ActivateObject(&source);
            sources.push_back(source);
        }
    }

    platform::DeviceListEnumerator devices;
    ScriptedDeviceNotifications notifications;
    ScriptedPowerNotifications power;
    SimulatedBox box;
    std::vector<Notification> seen;
    std::vector<std::shared_ptr<platform::MediaSource>> sources;
};

const std::string kVideo = "USB#VID_5D42&PID_0A50&MI_00#1-1:1.0";
const std::string kAudio = "USB#VID_5D42&PID_0A50&MI_02#1-1:1.2";

// Unplugging does what the hardware does, in its order: the running sources fail, the devices
// leave the list, the video interface's removal is announced, then the audio interface's.
TEST(SimulatedBox, UnplugAndPlugChangeTheDevicesAndAnnounceEachInterface) {
    BoxRig rig;
    rig.box.attach();
    EXPECT_TRUE(rig.drain().empty()) << "a box present at start is not announced";
    EXPECT_EQ(rig.deviceNames(),
              (std::vector<std::string>{"QUORVA PX50h Audio", "QUORVA PX50h Video"}));
    rig.activate();
    ASSERT_NE(rig.box.videoSource(), nullptr);
    ASSERT_NE(rig.box.audioSource(), nullptr);
    auto video = rig.box.videoSource();
    ASSERT_EQ(video->startStream(0), platform::S_OK);

    EXPECT_EQ(rig.box.command("unplug"), "ok: unplugged QUORVA PX50h");
    EXPECT_TRUE(rig.deviceNames().empty());
    platform::SourceReadResult result;
    EXPECT_EQ(video->pullSample(0, 10, &result), platform::MF_E_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(rig.seen.empty()) << "told from the event loop, not inside the command";
    EXPECT_EQ(rig.drain(),
              (std::vector<Notification>{{platform::DBT_DEVICEREMOVECOMPLETE, kVideo},
                                         {platform::DBT_DEVICEREMOVECOMPLETE, kAudio}}));
    EXPECT_EQ(rig.box.command("unplug"), "error: the simulated box is not plugged in");
    EXPECT_TRUE(rig.drain().empty());

    EXPECT_EQ(rig.box.command("plug"), "ok: plugged in QUORVA PX50h");
    EXPECT_EQ(rig.deviceNames(),
              (std::vector<std::string>{"QUORVA PX50h Audio", "QUORVA PX50h Video"}));
    EXPECT_EQ(rig.drain(), (std::vector<Notification>{{platform::DBT_DEVICEARRIVAL, kVideo},
                                                      {platform::DBT_DEVICEARRIVAL, kAudio}}));
    EXPECT_EQ(rig.box.command("plug"), "error: the simulated box is plugged in already");
}

// The box's USB bridge goes with it: the register tools (the Settings window, the panel) find no
// box while it is unplugged, as with the hardware.
TEST(SimulatedBox, TheBridgeStopsAnsweringWhileTheBoxIsUnplugged) {
    auto backends = makeSimulatedBackends();
    auto* bus = dynamic_cast<SimulatedExtensionUnitBus*>(backends->extensionUnits.get());
    ASSERT_NE(bus, nullptr);
    const std::shared_ptr<SimulatedBridge> bridge = bus->bridge();
    uint8_t block[8] = {};
    platform::DeviceRequest request;
    request.bmRequestType = 0xA1;
    request.bRequest = platform::kUvcGetLen;
    request.wValue = 0x0100;  // any control: an unplugged bridge refuses before it looks
    request.wLength = 2;
    request.data = block;
    ASSERT_TRUE(bridge->plugged());
    const int pluggedAnswer = bridge->handleRequest(request);

    EXPECT_EQ(backends->box->command("unplug"), "ok: unplugged QUORVA PX50h");
    EXPECT_FALSE(bridge->plugged());
    EXPECT_EQ(bridge->handleRequest(request), platform::kDeviceRequestFailed);
    EXPECT_EQ(backends->box->command("plug"), "ok: plugged in QUORVA PX50h");
    EXPECT_TRUE(bridge->plugged());
    EXPECT_EQ(bridge->handleRequest(request), pluggedAnswer);
    QCoreApplication::sendPostedEvents();
}

TEST(SimulatedBox, FaultsReachTheRunningSources) {
    BoxRig rig;
    rig.box.attach();
    EXPECT_EQ(rig.box.command("fault stall"), "error: no capture reads the simulated video device");
    rig.activate();
    auto video = rig.box.videoSource();
    auto audio = rig.box.audioSource();
    ASSERT_EQ(video->startStream(0), platform::S_OK);
    ASSERT_EQ(audio->startStream(0), platform::S_OK);
    platform::SourceReadResult result;

    EXPECT_EQ(rig.box.command("fault stall"), "ok: video fault stall");
    video->step(1);
    EXPECT_EQ(video->pullSample(0, 20, &result), platform::S_FALSE) << "a stalled device delivered";
    EXPECT_EQ(rig.box.command("fault clear"), "ok: faults cleared");
    EXPECT_EQ(video->pullSample(0, 20, &result), platform::S_OK);

    EXPECT_EQ(rig.box.command("fault media-type-change"), "ok: video fault media-type-change");
    EXPECT_EQ(video->pullSample(0, 20, &result), platform::S_OK);
    EXPECT_EQ(result.streamFlags, platform::MF_SOURCE_READERF_NATIVEMEDIATYPECHANGED);

    EXPECT_EQ(rig.box.command("fault short-sample 2"), "ok: video fault short-sample");
    EXPECT_EQ(rig.box.command("fault audio-drift -150"), "ok: audio clock -150 ppm off");
    EXPECT_EQ(audio->syncPattern().enabled(), false);
    EXPECT_EQ(rig.box.command("fault audio-end-of-stream"), "ok: audio fault end-of-stream");
    audio->step(1);
    EXPECT_EQ(audio->pullSample(0, 20, &result), platform::S_OK);
    EXPECT_EQ(result.streamFlags, platform::MF_SOURCE_READERF_ENDOFSTREAM);

    // The sync pattern is the box's: both running devices, and those of the next plug, show it.
    EXPECT_EQ(rig.box.command("pattern sync"), "ok: a white frame and a click once a second");
    EXPECT_TRUE(video->syncPattern().enabled());
    EXPECT_EQ(&video->syncPattern(), &audio->syncPattern());
    std::string message;
    ASSERT_TRUE(rig.box.unplug(&message));
    ASSERT_TRUE(rig.box.plug(&message));
    rig.sources.clear();
    rig.activate();
    EXPECT_TRUE(rig.box.videoSource()->syncPattern().enabled());
    EXPECT_EQ(rig.box.command("pattern test"), "ok: the test picture and tones");
    EXPECT_FALSE(rig.box.audioSource()->syncPattern().enabled());
}

TEST(SimulatedBox, MalformedLinesAreUsageErrors) {
    BoxRig rig;
    rig.box.attach();
    for (const char* line : {"", "plugg", "plug now", "fault", "fault stall 0", "fault stall -1",
                             "fault stall x", "fault stall 1 2", "fault audio-corrupt-jpeg",
                             "fault nonsense", "pattern", "pattern flash", "pattern sync now"}) {
        EXPECT_TRUE(rig.box.command(line).starts_with("usage: ")) << line;
    }
    EXPECT_TRUE(rig.drain().empty());
}

}  // namespace
}  // namespace tovrel::sim
