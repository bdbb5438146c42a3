// The Settings window's model without its widgets: the scroll arithmetic, what each control sends
// to the box (byte for byte, under the "Norvik" lock, through the register worker), the status
// texts and the enabling rules, the format and resolution changes.
#include "device/ui/io_dialog_model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "device/device_texts.h"
#include "device/register_map.h"
#include "device/ui/io_dialog_layout.h"
#include "platform/audio/memory_capture_endpoints.h"
#include "platform/system/manual_clock.h"
#include "sim/bridge/simulated_bridge.h"
#include "sim/bridge/simulated_extension_unit_bus.h"
#include "tests/device/recording_unit.h"
#include "tests/device/register_lock_probe.h"

namespace tovrel::device::ui {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using L = IODialogLayout;
using Code = IODialogModel::ScrollCode;

const bool kPrivateLockDirectory = usePrivateLockDirectory("io-dialog-model-test");

// One I2C transfer with the microcontroller as the box saw it, and whether "Norvik" was held by
// someone at that moment.
struct Transfer {
    bool write;
    uint8_t reg;
    uint8_t value;  // writes only
    bool locked;
    bool operator==(const Transfer& o) const {
        return write == o.write && reg == o.reg && (!write || value == o.value);
    }
};
std::ostream& operator<<(std::ostream& out, const Transfer& t) {
    return out << (t.write ? "write " : "read ") << int(t.reg) << "=" << int(t.value)
               << (t.locked ? " locked" : "");
}

// value into N, then N into register 0: one command write as the box sees it.
std::vector<Transfer> commands(std::initializer_list<std::pair<uint8_t, uint8_t>> list) {
    std::vector<Transfer> out;
    for (auto [reg, value] : list) {
        out.push_back({true, reg, value, true});
        out.push_back({true, 0, reg, true});
    }
    return out;
}
std::vector<Transfer> writesOf(const std::vector<Transfer>& all) {
    std::vector<Transfer> out;
    for (const Transfer& t : all)
        if (t.write) out.push_back(t);
    return out;
}
std::vector<uint8_t> readRegisters(const std::vector<Transfer>& all) {
    std::vector<uint8_t> out;
    for (const Transfer& t : all)
        if (!t.write && t.reg != 0) out.push_back(t.reg);
    return out;
}

capture::VideoMode mode(uint32_t w, uint32_t h, uint32_t fps) { return {{}, w, h, fps}; }

// What the main window gives the Settings window: a catalogue, a session that a restart
// changes, and the restarts it was asked for.
struct FakeMainWindow {
    SettingsHost::Capture capture;
    std::vector<std::array<int32_t, 4>> restarts;
    std::vector<bool> restartLocked;

    FakeMainWindow() {
        capture.modes[0] = {mode(1920, 1080, 60), mode(1280, 720, 60), mode(640, 480, 30)};
        capture.modes[1] = {mode(3840, 2160, 30), mode(1920, 1080, 60), mode(1280, 720, 30)};
        capture.firstIndices.firstYuy2Index = 0;
        capture.firstIndices.firstMjpgIndex = 3;
        capture.videoFormat = capture::kFormatYuy2;
        capture.width = 1280;
        capture.height = 720;
        capture.frameRate = 60.0f;
    }
    SettingsHost host(int32_t settingControl) {
        SettingsHost h;
        h.capture = [this] { return capture; };
        h.restartCapture = [this](int32_t w, int32_t hgt, int32_t fps, int32_t format) {
            restarts.push_back({w, hgt, fps, format});
            restartLocked.push_back(registerLockHeldElsewhere());
            capture.width = static_cast<uint32_t>(w);
            capture.height = static_cast<uint32_t>(hgt);
            capture.frameRate = static_cast<float>(fps);
            capture.videoFormat = format;
        };
        h.settingControl = settingControl;
        return h;
    }
};

// The window's thread is the test's: results the worker hands back wait here until settle().
struct PostedCalls {
    std::mutex mutex;
    std::deque<std::function<void()>> calls;
    IODialogModel::Post post() {
        return [this](std::function<void()> call) {
            std::lock_guard lock(mutex);
            calls.push_back(std::move(call));
        };
    }
    std::deque<std::function<void()>> take() {
        std::lock_guard lock(mutex);
        return std::exchange(calls, {});
    }
};

// Runs the worker and the results it hands back until neither has anything left.
void settle(BoxOperations& box, PostedCalls& posted) {
    for (int round = 0; round < 10'000; ++round) {
        while (!box.worker().idle()) std::this_thread::sleep_for(100us);
        auto calls = posted.take();
        if (calls.empty()) return;
        for (auto& call : calls) call();
    }
    ADD_FAILURE() << "the model never settled";
}

// The model over the recording bus double, whose box answers from a register file and becomes
// idle at once after each command.
struct Rig {
    FakeBus bus;
    platform::ManualClock clock;
    platform::MemoryCaptureEndpoints endpoints{100.0f};
    RegisterFileResponder file;
    std::mutex logMutex;
    std::vector<Transfer> log;
    int failingRead = -1;  // a register whose reads fail
    BoxOperations box{bus, clock, &endpoints};
    FakeMainWindow window;
    PostedCalls posted;
    std::unique_ptr<IODialogModel> model;
    unsigned changes = 0;

    static constexpr const char* kEndpoint = "Norvik USB Audio Device Analog Stereo";

    explicit Rig(int32_t settingControl = 1) {
        bus.attached[{0x7B30, 0x4E11}] = 1;
        // A box as the defaults leave it, playing LPCM.
        auto& r = *file.registers;
        r[0] = 0xFF;
        r[Reg::Brightness] = r[Reg::Contrast] = r[Reg::Hue] = r[Reg::Saturation] = 128;
        r[Reg::Sharpness] = 154;
        r[Reg::Volume] = 219;
        r[Reg::AudType] = 8;
        endpoints.add(kEndpoint);
        bus.log->responder = [this](const platform::DeviceRequest& r) {
            if (r.wValue == 0x0100 && !r.isDeviceToHost() && r.data[0] == 0xD4 &&
                r.data[7] == 0xB4) {
                const bool write = r.data[3] != 0xD0;
                std::lock_guard lock(logMutex);
                log.push_back({write, r.data[10], write ? (*file.data)[0] : uint8_t{0},
                               registerLockHeldElsewhere()});
            }
            if (r.wValue == 0x0200 && r.isDeviceToHost() && failingRead >= 0 &&
                (*file.lastBlock)[10] == failingRead && (*file.lastBlock)[7] == 0xB4)
                return -1;
            const int n = file(r);
            (*file.registers)[0] = 0xFF;
            return n;
        };
        model = std::make_unique<IODialogModel>(box, window.host(settingControl), posted.post());
        model->changed = [this](unsigned what) { changes |= what; };
    }
    void settle() { ui::settle(box, posted); }
    std::vector<Transfer> take() {
        std::lock_guard lock(logMutex);
        return std::exchange(log, {});
    }
    void open() {
        model->open();
        settle();
        take();
    }
    uint8_t reg(uint8_t n) const { return (*file.registers)[n]; }
};

// Holds the register worker in a job until released: what is queued meanwhile waits.
struct BusyWorker {
    std::promise<void> started;
    std::promise<void> release;
    explicit BusyWorker(RegisterWorker& worker) {
        worker.post([this, open = release.get_future().share()] {
            started.set_value();
            open.wait();
        });
        started.get_future().wait();
    }
    void done() { release.set_value(); }
};

TEST(IODialogModelScroll, LinePageAndThumbCodesAtTheEdges) {
    EXPECT_EQ(IODialogModel::scrolledPosition(0, Code::LineLeft, 0), 0);
    EXPECT_EQ(IODialogModel::scrolledPosition(1, Code::LineLeft, 0), 0);
    EXPECT_EQ(IODialogModel::scrolledPosition(254, Code::LineRight, 0), 255);
    EXPECT_EQ(IODialogModel::scrolledPosition(255, Code::LineRight, 0), 255);
    EXPECT_EQ(IODialogModel::scrolledPosition(244, Code::PageRight, 0), 254);
    EXPECT_EQ(IODialogModel::scrolledPosition(245, Code::PageRight, 0), 255);
    EXPECT_EQ(IODialogModel::scrolledPosition(11, Code::PageLeft, 0), 1);
    EXPECT_EQ(IODialogModel::scrolledPosition(10, Code::PageLeft, 0), 0);
    EXPECT_EQ(IODialogModel::scrolledPosition(128, Code::PageLeft, 0), 118);
    EXPECT_EQ(IODialogModel::scrolledPosition(128, Code::ThumbTrack, 77), 77);
    EXPECT_EQ(IODialogModel::scrolledPosition(128, Code::ThumbTrack, 300), 255);
    for (Code keeps : {Code::ThumbPosition, Code::EndScroll, Code::Other})
        EXPECT_EQ(IODialogModel::scrolledPosition(93, keeps, 7), 93);
}

TEST(IODialogModelTexts, NumbersVolumeAndModes) {
    EXPECT_EQ(IODialogModel::parseNumber("42"), 42);
    EXPECT_EQ(IODialogModel::parseNumber("-5"), -5);
    EXPECT_EQ(IODialogModel::parseNumber(" +7 "), 7);
    for (const char* notNumber : {"", " ", "abc", "12abc", "0x10", "1.5", "-", "99999999999"})
        EXPECT_EQ(IODialogModel::parseNumber(notNumber), 0) << notNumber;
    EXPECT_EQ(IODialogModel::volumeText(219), "0.0dB");
    EXPECT_EQ(IODialogModel::volumeText(0), "-109.5dB");
    EXPECT_EQ(IODialogModel::volumeText(220), "0.5dB");
    EXPECT_EQ(IODialogModel::volumeText(255), "18.0dB");
    EXPECT_EQ(IODialogModel::modeText(mode(1920, 1080, 60)), "1920x1080p@60");
}

TEST(IODialogModel, OpeningReadsTheSevenValuesInOrderUnderTheLock) {
    Rig rig;
    const std::vector<uint8_t> order{Reg::Brightness, Reg::Contrast, Reg::Hue, Reg::Saturation,
                                     Reg::Sharpness,  Reg::Volume,   Reg::Mute};
    const std::vector<uint8_t> stored{10, 20, 30, 40, 50, 239, 1};
    for (size_t i = 0; i < order.size(); ++i) (*rig.file.registers)[order[i]] = stored[i];

    rig.model->open();
    EXPECT_FALSE(rig.model->enabled(L::kBrightness)) << "not before the values are in";
    rig.settle();
    const auto transfers = rig.take();
    EXPECT_EQ(readRegisters(transfers), order);
    for (const Transfer& t : transfers) EXPECT_TRUE(t.locked) << t;
    EXPECT_TRUE(writesOf(transfers).empty());

    EXPECT_EQ(rig.model->value(L::kBrightness), 10);
    EXPECT_EQ(rig.model->value(L::kSharpness), 50);
    EXPECT_EQ(rig.model->valueText(L::kContrast), "20");
    EXPECT_EQ(rig.model->valueText(L::kVolume), "10.0dB");
    EXPECT_TRUE(rig.model->muted());
    for (int32_t id : L::kDeviceControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
    EXPECT_TRUE(rig.changes & IODialogModel::kValues);
}

TEST(IODialogModel, AFailedInitialReadKeepsThatValuesDefault) {
    Rig rig;
    (*rig.file.registers)[Reg::Hue] = 3;
    (*rig.file.registers)[Reg::Volume] = 100;
    rig.failingRead = Reg::Volume;
    rig.open();
    EXPECT_EQ(rig.model->value(L::kHue), 3);
    EXPECT_EQ(rig.model->value(L::kVolume), 219);
    EXPECT_EQ(rig.model->valueText(L::kVolume), "0.0dB");
}

TEST(IODialogModel, FormatButtonsAndTheResolutionListComeFromTheCatalogue) {
    Rig rig;
    rig.window.capture.firstIndices.firstMjpgIndex = capture::kNoIndex;
    rig.open();
    EXPECT_EQ(rig.model->modeEntries(),
              (std::vector<std::string>{"1920x1080p@60", "1280x720p@60", "640x480p@30"}));
    EXPECT_EQ(rig.model->selectedMode(), 1);
    EXPECT_EQ(rig.model->checkedFormat(), capture::kFormatYuy2);
    EXPECT_TRUE(rig.model->enabled(L::kYuy2));
    EXPECT_FALSE(rig.model->enabled(L::kMjpeg)) << "the device offers no MJPEG";
    EXPECT_FALSE(rig.model->visible(L::kNv12));

    // A rate that matches only as a whole number selects nothing.
    Rig fractional;
    fractional.window.capture.frameRate = 59.94f;
    fractional.open();
    EXPECT_EQ(fractional.model->selectedMode(), -1);

    // NV12 in use: its button is the checked one though never shown.
    Rig nv12;
    nv12.window.capture.modes[2] = {mode(1920, 1080, 60)};
    nv12.window.capture.firstIndices.firstNv12Index = 6;
    nv12.window.capture.videoFormat = capture::kFormatNv12;
    nv12.window.capture.width = 1920;
    nv12.window.capture.height = 1080;
    nv12.open();
    EXPECT_EQ(nv12.model->checkedFormat(), capture::kFormatNv12);
    EXPECT_EQ(nv12.model->modeEntries(), (std::vector<std::string>{"1920x1080p@60"}));
    EXPECT_EQ(nv12.model->selectedMode(), 0);
    EXPECT_FALSE(nv12.model->visible(L::kNv12));
}

TEST(IODialogModel, EachBarWritesItsRegisterForEveryScrollMessageUnderTheLock) {
    Rig rig;
    rig.open();
    for (const L::Bar& bar : L::kBars) {
        const int32_t start = rig.model->value(bar.id);
        EXPECT_EQ(rig.model->onScroll(bar.id, Code::LineRight), start + 1);
        rig.settle();
        EXPECT_EQ(writesOf(rig.take()), commands({{bar.reg, uint8_t(start + 1)}})) << bar.id;
        EXPECT_EQ(rig.reg(bar.reg), start + 1);
    }
    // A drag: each tracked position, then the release writes the same value twice more.
    EXPECT_EQ(rig.model->onScroll(L::kHue, Code::ThumbTrack, 40), 40);
    rig.settle();
    EXPECT_EQ(rig.model->onScroll(L::kHue, Code::ThumbTrack, 41), 41);
    rig.settle();
    EXPECT_EQ(rig.model->onScroll(L::kHue, Code::ThumbPosition), 41);
    rig.settle();
    EXPECT_EQ(rig.model->onScroll(L::kHue, Code::EndScroll), 41);
    rig.settle();
    const auto transfers = rig.take();
    EXPECT_EQ(writesOf(transfers),
              commands({{Reg::Hue, 40}, {Reg::Hue, 41}, {Reg::Hue, 41}, {Reg::Hue, 41}}));
    for (const Transfer& t : transfers) EXPECT_TRUE(t.locked) << t;
    EXPECT_EQ(rig.model->valueText(L::kHue), "41");
}

TEST(IODialogModel, VolumeGoesToTheRegisterAndTheEndpointAndShowsTheRegistersScale) {
    Rig rig;
    rig.open();
    rig.model->onScroll(L::kVolume, Code::ThumbTrack, 160);
    rig.settle();
    EXPECT_EQ(writesOf(rig.take()), commands({{Reg::Volume, 160}}));
    EXPECT_FLOAT_EQ(rig.endpoints.state(Rig::kEndpoint).levelDb, 5.0f);
    EXPECT_EQ(rig.model->valueText(L::kVolume), "-29.5dB");
    rig.model->onScroll(L::kVolume, Code::PageLeft);
    rig.settle();
    EXPECT_FLOAT_EQ(rig.endpoints.state(Rig::kEndpoint).levelDb, 0.0f) << "150: floored at 0 dB";
    EXPECT_EQ(rig.reg(Reg::Volume), 150);
}

TEST(IODialogModel, ADragWhileTheBoxIsBusyLeavesOneWriteOfTheNewestValue) {
    Rig rig;
    rig.open();
    {
        BusyWorker busy(rig.box.worker());
        for (int p = 0; p <= 100; ++p) rig.model->onScroll(L::kBrightness, Code::ThumbTrack, p);
        rig.model->onScroll(L::kContrast, Code::LineLeft);
        rig.model->onScroll(L::kBrightness, Code::EndScroll);
        busy.done();
    }
    rig.settle();
    EXPECT_EQ(writesOf(rig.take()), commands({{Reg::Contrast, 127}, {Reg::Brightness, 100}}));
}

TEST(IODialogModel, MuteTogglesTheRegisterAndTheEndpoint) {
    Rig rig;
    rig.open();
    rig.model->onMute();
    EXPECT_TRUE(rig.model->muted());
    rig.settle();
    EXPECT_TRUE(rig.endpoints.state(Rig::kEndpoint).muted);
    rig.model->onMute();
    EXPECT_FALSE(rig.model->muted());
    rig.settle();
    EXPECT_FALSE(rig.endpoints.state(Rig::kEndpoint).muted);
    const auto transfers = rig.take();
    EXPECT_EQ(writesOf(transfers), commands({{Reg::Mute, 1}, {Reg::Mute, 0}}));
    for (const Transfer& t : transfers) EXPECT_TRUE(t.locked) << t;
}

TEST(IODialogModel, DefaultRestoresEveryValueAndUnmutesBoxAndEndpoint) {
    Rig rig;
    rig.open();
    rig.model->onScroll(L::kBrightness, Code::ThumbTrack, 3);
    rig.model->onScroll(L::kSharpness, Code::ThumbTrack, 4);
    rig.model->onScroll(L::kVolume, Code::ThumbTrack, 160);
    rig.model->onMute();
    rig.settle();
    rig.take();

    rig.model->onDefault();
    for (const L::Bar& bar : L::kBars)
        EXPECT_EQ(rig.model->value(bar.id), bar.id == L::kSharpness ? 154
                                            : bar.id == L::kVolume  ? 219
                                                                    : 128);
    EXPECT_EQ(rig.model->valueText(L::kVolume), "0.0dB");
    EXPECT_FALSE(rig.model->muted());
    rig.settle();
    const auto transfers = rig.take();
    EXPECT_EQ(writesOf(transfers), commands({{Reg::Brightness, 128},
                                             {Reg::Contrast, 128},
                                             {Reg::Hue, 128},
                                             {Reg::Saturation, 128},
                                             {Reg::Sharpness, 154},
                                             {Reg::Volume, 219},
                                             {Reg::Mute, 0}}));
    for (const Transfer& t : transfers) EXPECT_TRUE(t.locked) << t;
    EXPECT_FLOAT_EQ(rig.endpoints.state(Rig::kEndpoint).levelDb, 64.0f);
    EXPECT_FALSE(rig.endpoints.state(Rig::kEndpoint).muted);
    // The next click mutes again instead of sending the unmute the box already has.
    rig.model->onMute();
    rig.settle();
    EXPECT_EQ(writesOf(rig.take()), commands({{Reg::Mute, 1}}));
}

TEST(IODialogModel, RawSetAndGetTakeSignedDecimalsAndSendTheirLowByte) {
    Rig rig(1);
    rig.open();
    for (int32_t id : L::kRawControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
    rig.model->onRawSet("300", "-1");  // register 44, value 255
    rig.model->onRawSet(" 40 ", "513");
    rig.settle();
    auto transfers = rig.take();
    EXPECT_EQ(writesOf(transfers), commands({{44, 255}, {40, 1}}));
    for (const Transfer& t : transfers) EXPECT_TRUE(t.locked) << t;

    rig.model->onRawGet("-212");  // register 44
    rig.settle();
    EXPECT_EQ(rig.model->rawData(), "255");
    EXPECT_TRUE(rig.changes & IODialogModel::kRawData);
    transfers = rig.take();
    EXPECT_EQ(readRegisters(transfers), (std::vector<uint8_t>{44}));
    for (const Transfer& t : transfers) EXPECT_TRUE(t.locked) << t;

    // Text that is no number is register 0 (and value 0).
    rig.model->onRawSet("six", "seven");
    rig.settle();
    EXPECT_EQ(writesOf(rig.take()), commands({{0, 0}}));

    // A read that fails leaves the edit empty, not a byte that was never read.
    rig.failingRead = 44;
    rig.model->onRawGet("44");
    rig.settle();
    EXPECT_EQ(rig.model->rawData(), "");
}

TEST(IODialogModel, WithControlZeroTheRawControlsStayDisabledWithTheBoxThere) {
    Rig rig(0);
    rig.open();
    rig.model->refresh();
    rig.settle();
    EXPECT_EQ(rig.model->statusText(L::kAudioFormatType), "LPCM") << "the box answers";
    for (int32_t id : L::kRawControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    for (int32_t id : L::kDeviceControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
}

TEST(IODialogModel, TheFormatTypeAloneDecidesNoDevice) {
    Rig rig;
    rig.open();
    rig.failingRead = Reg::AudType;
    rig.model->refresh();
    rig.settle();
    EXPECT_EQ(rig.model->statusText(L::kAudioFormatType), kTextNoDevice);
    EXPECT_NE(rig.model->statusText(L::kDdcVoltage), kTextNoDevice);
    for (int32_t id : L::kDeviceControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    for (int32_t id : L::kRawControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    EXPECT_TRUE(rig.model->enabled(L::kResolutionSet)) << "the format controls stay";

    rig.failingRead = -1;
    rig.model->refresh();
    rig.settle();
    for (int32_t id : L::kDeviceControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
    for (int32_t id : L::kRawControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
}

TEST(IODialogModel, AStatusReadIsNotQueuedWhileTheLastOneIsOnItsWay) {
    Rig rig;
    rig.open();
    rig.model->refresh();
    rig.settle();
    const size_t oneRefresh = readRegisters(rig.take()).size();
    EXPECT_GE(oneRefresh, 7u);
    {
        // A box that takes long to answer: the ticks meanwhile add nothing behind it.
        BusyWorker busy(rig.box.worker());
        for (int tick = 0; tick < 5; ++tick) rig.model->refresh();
        EXPECT_EQ(rig.box.worker().queued(), 1u);
        busy.done();
    }
    rig.settle();
    EXPECT_EQ(readRegisters(rig.take()).size(), oneRefresh);
    rig.model->refresh();
    rig.settle();
    EXPECT_EQ(readRegisters(rig.take()).size(), oneRefresh) << "the next tick reads again";
}

TEST(IODialogModel, ResolutionSetRestartsUnderTheLockWithTheControlsDisabled) {
    Rig rig;
    rig.open();
    rig.model->onResolutionSet(2);
    EXPECT_TRUE(rig.model->restarting());
    for (int32_t id : L::kDeviceControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    for (int32_t id : L::kRawControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    for (int32_t id : L::kFormatControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    rig.settle();
    ASSERT_EQ(rig.window.restarts.size(), 1u);
    EXPECT_EQ(rig.window.restarts[0], (std::array<int32_t, 4>{640, 480, 30, 0}));
    EXPECT_TRUE(rig.window.restartLocked[0]);
    EXPECT_FALSE(rig.model->restarting());
    for (int32_t id : L::kDeviceControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
    for (int32_t id : L::kRawControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
    EXPECT_TRUE(rig.model->enabled(L::kYuy2));
    EXPECT_TRUE(rig.model->enabled(L::kMjpeg));

    // Nothing selected, or an index past the list: no restart, the controls come back.
    for (int32_t index : {-1, 3}) {
        rig.model->onResolutionSet(index);
        rig.settle();
        EXPECT_FALSE(rig.model->restarting());
        EXPECT_TRUE(rig.model->enabled(L::kResolutionSet));
    }
    EXPECT_EQ(rig.window.restarts.size(), 1u);
}

TEST(IODialogModel, AnotherFormatRestartsWithItsFirstModeAndRefillsTheList) {
    Rig rig;
    rig.open();
    const size_t before = rig.box.worker().queued();
    rig.model->onFormat(L::kYuy2);  // the format in use
    EXPECT_FALSE(rig.model->restarting());
    EXPECT_EQ(rig.box.worker().queued(), before);
    rig.settle();
    EXPECT_TRUE(rig.window.restarts.empty());

    rig.model->onFormat(L::kMjpeg);
    EXPECT_TRUE(rig.model->restarting());
    rig.settle();
    ASSERT_EQ(rig.window.restarts.size(), 1u);
    EXPECT_EQ(rig.window.restarts[0], (std::array<int32_t, 4>{3840, 2160, 30, 1}));
    EXPECT_TRUE(rig.window.restartLocked[0]);
    EXPECT_EQ(rig.model->checkedFormat(), capture::kFormatMjpg);
    EXPECT_EQ(rig.model->modeEntries(),
              (std::vector<std::string>{"3840x2160p@30", "1920x1080p@60", "1280x720p@30"}));
    EXPECT_EQ(rig.model->selectedMode(), 0) << "the session's new mode";
    EXPECT_TRUE(rig.changes & IODialogModel::kFormats);
}

TEST(IODialogModel, TheRestartWaitsForTheRegisterWorkQueuedBeforeIt) {
    Rig rig;
    rig.open();
    {
        BusyWorker busy(rig.box.worker());
        rig.model->onScroll(L::kHue, Code::LineLeft);
        rig.model->onResolutionSet(0);
        busy.done();
    }
    // Settling runs the write first, then the restart on this thread.
    rig.settle();
    EXPECT_EQ(writesOf(rig.take()), commands({{Reg::Hue, 127}}));
    EXPECT_EQ(rig.window.restarts.size(), 1u);
}

TEST(IODialogModel, ARestartWaitsForTheLockOnTheWorkerNotOnTheWindowsThread) {
    Rig rig;
    rig.open();
    // Another user of the box holds the lock for a while (a recording notice to a box that is
    // slow to become idle, another program).
    std::promise<void> held;
    std::thread other([&] {
        platform::NamedLock lock(kRegisterLockName);
        lock.lock();
        held.set_value();
        std::this_thread::sleep_for(1500ms);
        lock.unlock();
    });
    held.get_future().wait();
    rig.model->onResolutionSet(2);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 40; ++i) {
        for (auto& call : rig.posted.take()) call();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 800ms) << "the window's thread waited";
    EXPECT_TRUE(rig.window.restarts.empty());
    EXPECT_TRUE(rig.model->restarting());
    other.join();
    rig.settle();
    ASSERT_EQ(rig.window.restarts.size(), 1u);
    EXPECT_TRUE(rig.window.restartLocked[0]);
    EXPECT_FALSE(rig.model->restarting());
}

TEST(IODialogModel, AFormatWhoseListWentEmptyIsNotAskedFor) {
    Rig rig;
    rig.open();
    rig.window.capture.modes[1].clear();  // the device changed since the window opened
    rig.model->onFormat(L::kMjpeg);
    rig.settle();
    EXPECT_TRUE(rig.window.restarts.empty()) << "no 0 x 0 capture";
    EXPECT_EQ(rig.model->checkedFormat(), capture::kFormatYuy2);
    EXPECT_EQ(rig.model->modeEntries().size(), 3u) << "the list of the format still in use";
    EXPECT_TRUE(rig.model->enabled(L::kResolutionSet));
}

TEST(IODialogModel, NoBoxDisablesTheDeviceControlsAndShowsNoDeviceEverywhere) {
    Rig rig;
    rig.bus.attached.clear();
    rig.open();
    EXPECT_FALSE(rig.model->enabled(L::kBrightness));
    rig.model->refresh();
    rig.settle();
    for (const L::StatusLabel& s : L::kStatusLabels)
        EXPECT_EQ(rig.model->statusText(s.id), kTextNoDevice) << s.id;
    for (int32_t id : L::kDeviceControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    for (int32_t id : L::kRawControls) EXPECT_FALSE(rig.model->enabled(id)) << id;
    EXPECT_TRUE(rig.bus.log->requests.empty());

    // Plugged in again: the next refresh gives the controls back.
    rig.bus.attached[{0x7B30, 0x4E11}] = 1;
    rig.model->refresh();
    rig.settle();
    for (int32_t id : L::kDeviceControls) EXPECT_TRUE(rig.model->enabled(id)) << id;
}

TEST(IODialogModel, ClosingStopsTheStatusReadsAndResultsAfterTheModelAreDropped) {
    Rig rig;
    rig.open();
    rig.model->close();
    rig.model->refresh();
    rig.settle();
    EXPECT_TRUE(rig.take().empty());

    // A result still on its way when the window goes finds no model and is dropped.
    Rig gone;
    gone.open();
    {
        BusyWorker busy(gone.box.worker());
        gone.model->refresh();
        gone.model->onRawGet("6");
        gone.model->onScroll(L::kHue, Code::LineRight);
        gone.model.reset();
        busy.done();
    }
    gone.settle();
    EXPECT_EQ(writesOf(gone.take()), commands({{Reg::Hue, 129}})) << "the write still goes";
}

// The status texts against the simulated box's bridge, through the decoders.
struct SimulatedRig {
    platform::ManualClock clock;
    std::shared_ptr<sim::SimulatedBridge> bridge = std::make_shared<sim::SimulatedBridge>(clock);
    sim::SimulatedExtensionUnitBus bus{bridge};
    BoxOperations box{bus, clock, nullptr};
    FakeMainWindow window;
    PostedCalls posted;
    IODialogModel model{box, window.host(1), posted.post()};

    void refresh() {
        model.refresh();
        settle(box, posted);
    }
};

TEST(IODialogModelSimulatedBox, StatusTextsFollowTheSourceAndTheBoxLeaving) {
    SimulatedRig rig;
    rig.model.open();
    EXPECT_EQ(rig.model.statusText(L::kOsMode), kTextUnknow) << "before the first refresh";
    EXPECT_EQ(rig.model.statusText(L::kDdcVoltage), "0 mV");
    rig.refresh();
    EXPECT_EQ(rig.model.statusText(L::kDdcVoltage), "5001 mV");
    EXPECT_EQ(rig.model.statusText(L::kHpdVoltage), "4975 mV");
    EXPECT_EQ(rig.model.statusText(L::kSourceTiming), "1920x1080p@60");
    EXPECT_EQ(rig.model.statusText(L::kAudioSampleRate), "48k");
    EXPECT_EQ(rig.model.statusText(L::kAudioFormatType), "LPCM");
    EXPECT_EQ(rig.model.statusText(L::kOsMode), kTextWindowsMode);
    EXPECT_EQ(rig.model.statusText(L::kFirmwareVersion), "2.12.05");

    sim::HdmiSourceState source = rig.bridge->hdmiSource();
    source.timingIndex = 37;  // 1280x720p@60
    source.ddcReading = sim::HdmiSourceState::readingForMillivolts(3300);
    rig.bridge->setHdmiSource(source);
    rig.refresh();
    EXPECT_EQ(rig.model.statusText(L::kSourceTiming), "1280x720p@60");
    EXPECT_NE(rig.model.statusText(L::kDdcVoltage), "5001 mV");

    rig.bridge->setPlugged(false);
    rig.refresh();
    for (const L::StatusLabel& s : L::kStatusLabels)
        EXPECT_EQ(rig.model.statusText(s.id), kTextNoDevice) << s.id;
    EXPECT_FALSE(rig.model.enabled(L::kMute));
    rig.bridge->setPlugged(true);
    rig.refresh();
    EXPECT_EQ(rig.model.statusText(L::kAudioFormatType), "LPCM");
    EXPECT_TRUE(rig.model.enabled(L::kMute));
}

}  // namespace
}  // namespace tovrel::device::ui
