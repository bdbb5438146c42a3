#include "device/status_decoder.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "device/box_status.h"
#include "device/register_map.h"

namespace tovrel::device {
namespace {

// Registers by (slave, number); a missing one fails its read.
struct MapReader final : RegisterReader {
    std::map<std::pair<uint8_t, uint8_t>, uint8_t> values;
    std::vector<std::pair<uint8_t, uint8_t>> reads;
    bool ReadReg(int number, uint8_t& value, uint8_t slave) override {
        const auto reg = static_cast<uint8_t>(number);
        reads.emplace_back(slave, reg);
        auto it = values.find({slave, reg});
        value = it == values.end() ? 0 : it->second;
        return it != values.end();
    }
    void set(uint8_t reg, uint8_t value) { values[{kMicrocontrollerSlave, reg}] = value; }
    void setBridge(uint8_t reg, uint8_t value) { values[{kBridgeSlave, reg}] = value; }
};

TEST(RegisterMap, TablesHoldWhatTheDecodersIndex) {
    EXPECT_EQ(kTimingNames.size(), 118u);
    EXPECT_EQ(kTimingNames[0], "640x350p@85");
    EXPECT_EQ(kTimingNames[83], "1920x1080p@60");
    EXPECT_EQ(kTimingNames[106], "3840x2160p@60Y");
    for (size_t i : {104u, 105u, 115u, 116u, 117u}) EXPECT_EQ(kTimingNames[i].back(), 'y') << i;
    std::set<std::string_view> distinct(kTimingNames.begin(), kTimingNames.end());
    EXPECT_EQ(distinct.size(), kTimingNames.size());

    std::set<int> numbers;
    for (const auto& r : kRegisterMap)
        EXPECT_TRUE(numbers.insert(r.slave * 1000 + r.number).second) << r.name;
    for (const auto& c : kCommandTable) {
        // Every command's parameter register is a register of the map (the record ones aside).
        if (c.number == Cmd::RecordStart || c.number == Cmd::RecordStop || c.number == Cmd::Mode)
            continue;
        EXPECT_TRUE(numbers.count(kMicrocontrollerSlave * 1000 + c.number)) << c.name;
    }
}

TEST(RegisterMap, NumbersAndDefaultsAreTheBoxs) {
    struct Expected {
        std::string_view name;
        int slave, number, defaultValue;
    };
    // The box's register list, written out: -1 is a status register without a default.
    const Expected expected[] = {
        {"Command", 0xB4, 0, 0xFF},     {"Brightness", 0xB4, 6, 128},
        {"Contrast", 0xB4, 7, 128},     {"Hue", 0xB4, 8, 128},
        {"Saturation", 0xB4, 9, 128},   {"SrcTiming", 0xB4, 11, -1},
        {"CapRes", 0xB4, 12, -1},       {"AudioInput", 0xB4, 15, 6},
        {"DdcVoltageLo", 0xB4, 16, -1}, {"DdcVoltageHi", 0xB4, 17, -1},
        {"HpdVoltageLo", 0xB4, 18, -1}, {"HpdVoltageHi", 0xB4, 19, -1},
        {"FwVersion", 0xB4, 21, -1},    {"Sharpness", 0xB4, 22, 154},
        {"AudRate", 0xB4, 24, -1},      {"AudType", 0xB4, 25, -1},
        {"Volume", 0xB4, 26, 219},      {"Mute", 0xB4, 27, 0},
        {"BridgeMode", 0x00, 60, -1},   {"BridgeVersion", 0x00, 92, -1},
    };
    ASSERT_EQ(kRegisterMap.size(), std::size(expected));
    for (size_t i = 0; i < kRegisterMap.size(); ++i) {
        EXPECT_EQ(kRegisterMap[i].name, expected[i].name);
        EXPECT_EQ(kRegisterMap[i].slave, expected[i].slave) << expected[i].name;
        EXPECT_EQ(kRegisterMap[i].number, expected[i].number) << expected[i].name;
        EXPECT_EQ(kRegisterMap[i].defaultValue, expected[i].defaultValue) << expected[i].name;
    }
}

TEST(StatusDecoder, SourceTiming) {
    MapReader reader;
    reader.set(Reg::SrcTiming, 117);
    EXPECT_EQ(StatusDecoder::sourceTiming(reader), "4096x2160p@60y");
    reader.set(Reg::SrcTiming, 118);
    EXPECT_EQ(StatusDecoder::sourceTiming(reader), "Unknow");
    reader.set(Reg::SrcTiming, 255);
    EXPECT_EQ(StatusDecoder::sourceTiming(reader), "Unknow");
    MapReader none;
    EXPECT_EQ(StatusDecoder::sourceTiming(none), "No Device");
    // A sample across the list, with each suffix and both ends, as the box's documentation
    // numbers them.
    const std::pair<int, const char*> sample[] = {
        {0, "640x350p@85"},      {1, "640x480p@59"},      {7, "720x480i@59"},
        {12, "720x576p@50"},     {23, "1152x864p@70g"},   {26, "1152x864p@85g"},
        {34, "1280x720p@50d3"},  {38, "1280x720p@60pc"},  {40, "1280x720p@60cvt"},
        {41, "1280x768p@60rb"},  {42, "1280x768p@60"},    {56, "1366x768p@60rb"},
        {66, "1600x1200p@65"},   {74, "1920x1080p@24d3"}, {78, "1920x1080i@50"},
        {83, "1920x1080p@60"},   {86, "1920x1200p@60rb"}, {95, "2560x1600p@60rb"},
        {104, "3840x2160p@50y"}, {106, "3840x2160p@60Y"}, {107, "4096x2160p@23"},
        {116, "4096x2160p@59y"}, {117, "4096x2160p@60y"},
    };
    for (auto [index, name] : sample) {
        EXPECT_EQ(StatusDecoder::timingName(index), name) << index;
        reader.set(Reg::SrcTiming, static_cast<uint8_t>(index));
        EXPECT_EQ(StatusDecoder::sourceTiming(reader), name) << index;
    }
    EXPECT_EQ(StatusDecoder::timingName(-1), "Unknow");
}

TEST(StatusDecoder, CaptureResolutionHasGaps) {
    const std::map<int, std::string_view> listed = {
        {2, "720x480p@30"},    {3, "720x480p@60"},    {5, "720x576p@25"},    {6, "720x576p@50"},
        {7, "1280x720p@60"},   {8, "1280x720p@50"},   {9, "1280x720p@30"},   {10, "1280x720p@25"},
        {11, "1280x720p@24"},  {14, "1920x1080p@25"}, {15, "1920x1080p@30"}, {16, "1920x1080p@60"},
        {17, "1920x1080p@50"}, {18, "1920x1080p@24"}, {19, "640x480p@60"},   {20, "800x600p@60"},
        {21, "1024x768p@60"},  {22, "1152x864p@60"},  {23, "1280x768p@60"},  {24, "1280x800p@60"},
        {25, "1280x960p@60"},  {26, "1280x1024p@60"}, {27, "1360x768p@60"},  {28, "1440x900p@60"},
        {29, "1600x900p@60"},  {30, "1680x1050p@60"}, {31, "1600x1200p@60"},
    };
    for (int code = -1; code < 256; ++code) {
        auto it = listed.find(code);
        EXPECT_EQ(StatusDecoder::capResName(code), it == listed.end() ? "Unknow" : it->second)
            << code;
    }
    MapReader reader;
    reader.set(Reg::CapRes, 4);
    EXPECT_EQ(StatusDecoder::captureResolution(reader), "Unknow");
    reader.set(Reg::CapRes, 3);
    EXPECT_EQ(StatusDecoder::captureResolution(reader), "720x480p@60");
    reader.set(Reg::CapRes, 5);
    EXPECT_EQ(StatusDecoder::captureResolution(reader), "720x576p@25");
}

TEST(StatusDecoder, VoltagesReadLowThenHigh) {
    struct Case {
        uint8_t low, high;
        int mv;
        const char* text;
    };
    for (Case c : {Case{0x00, 0x02, 3300, "3300 mV"}, Case{0xFF, 0x03, 6593, "6593 mV"},
                   Case{0x34, 0x01, 1985, "1985 mV"}, Case{0, 0, 0, "0 mV"}}) {
        MapReader reader;
        reader.set(Reg::DdcVoltageLo, c.low);
        reader.set(Reg::DdcVoltageHi, c.high);
        reader.set(Reg::HpdVoltageLo, c.low);
        reader.set(Reg::HpdVoltageHi, c.high);
        EXPECT_EQ(StatusDecoder::ddcVoltage(reader), c.text);
        EXPECT_EQ(StatusDecoder::hpdVoltage(reader), c.text);
        EXPECT_EQ(StatusDecoder::voltageMillivolts(reader, Reg::DdcVoltageLo, Reg::DdcVoltageHi),
                  c.mv);
        std::vector<std::pair<uint8_t, uint8_t>> order{{0xB4, 16}, {0xB4, 17}, {0xB4, 18},
                                                       {0xB4, 19}, {0xB4, 16}, {0xB4, 17}};
        EXPECT_EQ(reader.reads, order);
    }
    MapReader onlyLow;
    onlyLow.set(Reg::DdcVoltageLo, 0x34);
    EXPECT_EQ(StatusDecoder::voltageMillivolts(onlyLow, Reg::DdcVoltageLo, Reg::DdcVoltageHi), 0);
    EXPECT_EQ(StatusDecoder::ddcVoltage(onlyLow), "No Device");
}

TEST(StatusDecoder, OsModeFromTheBridgeRegister) {
    MapReader reader;
    reader.setBridge(BridgeReg::BridgeMode, 0x33);
    reader.set(BridgeReg::BridgeMode, 0x00);  // the microcontroller's register 60 is another one
    EXPECT_EQ(StatusDecoder::osMode(reader), "MacOS Mode");
    reader.setBridge(BridgeReg::BridgeMode, 0x00);
    EXPECT_EQ(StatusDecoder::osMode(reader), "Widnows Mode");
    reader.setBridge(BridgeReg::BridgeMode, 0x32);
    EXPECT_EQ(StatusDecoder::osMode(reader), "Widnows Mode");
    MapReader none;
    EXPECT_EQ(StatusDecoder::osMode(none), "No Device");
}

TEST(StatusDecoder, AudioCodeTables) {
    const char* rates[] = {"32k", "44.1k", "48k", "88.2k", "96k", "176.4k", "192k", "768k"};
    MapReader reader;
    for (int code = 0; code < 256; ++code) {
        reader.set(Reg::AudRate, static_cast<uint8_t>(code));
        EXPECT_EQ(StatusDecoder::audioSampleRate(reader), code < 8 ? rates[code] : "Unknow")
            << code;
    }
    const std::map<int, std::string_view> types = {{1, "NLPCM"}, {3, "HBR"}, {8, "LPCM"}};
    for (int code = 0; code < 256; ++code) {
        reader.set(Reg::AudType, static_cast<uint8_t>(code));
        auto it = types.find(code);
        EXPECT_EQ(StatusDecoder::audioFormatType(reader), it == types.end() ? "Unknow" : it->second)
            << code;
    }
    MapReader none;
    EXPECT_EQ(StatusDecoder::audioSampleRate(none), "No Device");
    EXPECT_EQ(StatusDecoder::audioFormatType(none), "No Device");
}

TEST(StatusDecoder, FirmwareVersionComposition) {
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0x12, 0x05, 0), "2.12.05");
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0x12, 0x05, 2), "2.12.05");
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0x12, 0x05, 3), "2.12.05");
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0x12, 0x05, 1), "1.2.0.5");
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0x12, 0x05, 255), "1.2.0.5");
    // Positions, not parts: raw "10.2.0.5" gives characters '1', '.', '.', '.'.
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0xA2, 0x05, 0), "2.1....");
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0xFF, 0xFF, 1), "15.15.15.15");
    EXPECT_EQ(StatusDecoder::firmwareVersionText(0xFF, 0xFF, 0), "2.1..51");

    MapReader reader;
    reader.set(Reg::FwVersion, 0x12);
    reader.setBridge(BridgeReg::BridgeVersion, 0x05);
    EXPECT_EQ(StatusDecoder::firmwareVersion(reader, 0), "2.12.05");
    MapReader noBridge;
    noBridge.set(Reg::FwVersion, 0x12);
    EXPECT_EQ(StatusDecoder::firmwareVersion(noBridge, 0), "No Device");
    EXPECT_EQ(StatusDecoder::firmwareVersion(noBridge, 1), "No Device");
}

TEST(BoxStatus, ReadsInTheSettingsOrderAndShowsNoDeviceEverywhereWithoutABox) {
    MapReader none;
    BoxStatus status = BoxStatus::read(none, 255);
    for (const auto& text : status.texts) EXPECT_EQ(text, "No Device");
    std::vector<std::pair<uint8_t, uint8_t>> firstReads;
    for (size_t i = 0; i < 8; ++i) firstReads.push_back(none.reads[i]);
    // DDC (fails at the low byte), HPD, firmware, OS mode, timing, rate, type, capture resolution.
    std::vector<std::pair<uint8_t, uint8_t>> order{{0xB4, 16}, {0xB4, 18}, {0xB4, 21}, {0, 60},
                                                   {0xB4, 11}, {0xB4, 24}, {0xB4, 25}, {0xB4, 12}};
    EXPECT_EQ(firstReads, order);
    EXPECT_EQ(BoxStatus::kFields.size(), static_cast<size_t>(BoxStatus::kFieldCount));
    for (size_t i = 0; i < BoxStatus::kFields.size(); ++i)
        EXPECT_EQ(BoxStatus::kFields[i].field, i);
}

}  // namespace
}  // namespace tovrel::device
