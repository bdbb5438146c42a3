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
    bool readRegister(uint8_t reg, uint8_t slave, uint8_t& value) override {
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
    for (size_t i = 0; i < kTimingNames.size(); ++i)
        EXPECT_EQ(StatusDecoder::timingName(static_cast<int>(i)), kTimingNames[i]);
}

TEST(StatusDecoder, CaptureResolutionHasGaps) {
    std::set<int> listed;
    for (const auto& e : kCapResNames) {
        listed.insert(e.code);
        EXPECT_EQ(StatusDecoder::capResName(e.code), e.text);
    }
    for (int code = 0; code < 256; ++code) {
        if (!listed.count(code)) {
            EXPECT_EQ(StatusDecoder::capResName(code), "Unknow") << code;
        }
    }
    for (int gap : {0, 1, 4, 12, 13, 32}) EXPECT_FALSE(listed.count(gap)) << gap;
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
    MapReader reader;
    for (const auto& e : kAudRateNames) {
        reader.set(Reg::AudRate, e.code);
        EXPECT_EQ(StatusDecoder::audioSampleRate(reader), e.text);
    }
    reader.set(Reg::AudRate, 7);
    EXPECT_EQ(StatusDecoder::audioSampleRate(reader), "768k");
    reader.set(Reg::AudRate, 8);
    EXPECT_EQ(StatusDecoder::audioSampleRate(reader), "Unknow");
    for (const auto& e : kAudTypeNames) {
        reader.set(Reg::AudType, e.code);
        EXPECT_EQ(StatusDecoder::audioFormatType(reader), e.text);
    }
    reader.set(Reg::AudType, 2);
    EXPECT_EQ(StatusDecoder::audioFormatType(reader), "Unknow");
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
