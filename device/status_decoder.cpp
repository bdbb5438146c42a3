#include "device/status_decoder.h"

#include <algorithm>
#include <cstdio>

#include "device/device_texts.h"
#include "device/register_map.h"

namespace tovrel::device {

namespace {

template <size_t N>
std::string_view lookup(const std::array<CodeText, N>& table, int code) {
    auto it = std::find_if(table.begin(), table.end(),
                           [code](const CodeText& entry) { return entry.code == code; });
    return it == table.end() ? kTextUnknow : it->text;
}

// Decoders of a single register that map its byte through a table.
template <typename Name>
std::string decodeOne(RegisterReader& reader, uint8_t reg, uint8_t slave, Name name) {
    uint8_t value = 0;
    if (!reader.ReadReg(reg, value, slave)) return std::string(kTextNoDevice);
    return std::string(name(value));
}

}  // namespace

std::string_view StatusDecoder::timingName(int srcTiming) {
    if (srcTiming < 0 || srcTiming >= static_cast<int>(kTimingNames.size())) return kTextUnknow;
    return kTimingNames[static_cast<size_t>(srcTiming)];
}

std::string_view StatusDecoder::capResName(int capRes) { return lookup(kCapResNames, capRes); }
std::string_view StatusDecoder::audRateName(int code) { return lookup(kAudRateNames, code); }
std::string_view StatusDecoder::audTypeName(int code) { return lookup(kAudTypeNames, code); }

int StatusDecoder::millivolts(uint8_t low, uint8_t high) {
    return (high * 256 + low) * 6600 / 1024;
}

std::string StatusDecoder::firmwareVersionText(uint8_t fwVersion, uint8_t bridgeVersion,
                                               int32_t deviceType) {
    char raw[32];
    std::snprintf(raw, sizeof raw, kFirmwareRawFormat, fwVersion >> 4, fwVersion & 15,
                  bridgeVersion >> 4, bridgeVersion & 15);
    std::string text(raw);
    if (deviceType == 0 || deviceType == 2 || deviceType == 3) {
        // Taken by position: every part has at least one digit, so characters 1 to 7 exist.
        std::string shown(kFirmwarePrefix);
        shown += text[0];
        shown += text[2];
        shown += '.';
        shown += text[4];
        shown += text[6];
        return shown;
    }
    return text;
}

std::string StatusDecoder::sourceTiming(RegisterReader& reader) {
    return decodeOne(reader, Reg::SrcTiming, kMicrocontrollerSlave,
                     [](uint8_t v) { return timingName(v); });
}

std::string StatusDecoder::captureResolution(RegisterReader& reader) {
    return decodeOne(reader, Reg::CapRes, kMicrocontrollerSlave,
                     [](uint8_t v) { return capResName(v); });
}

int StatusDecoder::voltageMillivolts(RegisterReader& reader, uint8_t lowReg, uint8_t highReg) {
    uint8_t low = 0;
    uint8_t high = 0;
    if (!reader.ReadReg(lowReg, low, kMicrocontrollerSlave)) return 0;
    if (!reader.ReadReg(highReg, high, kMicrocontrollerSlave)) return 0;
    return millivolts(low, high);
}

std::string StatusDecoder::voltageText(RegisterReader& reader, uint8_t lowReg, uint8_t highReg) {
    uint8_t low = 0;
    uint8_t high = 0;
    if (!reader.ReadReg(lowReg, low, kMicrocontrollerSlave) ||
        !reader.ReadReg(highReg, high, kMicrocontrollerSlave)) {
        return std::string(kTextNoDevice);
    }
    char text[kStatusTextCapacity];
    std::snprintf(text, sizeof text, kMillivoltsFormat, millivolts(low, high));
    return text;
}

std::string StatusDecoder::ddcVoltage(RegisterReader& reader) {
    return voltageText(reader, Reg::DdcVoltageLo, Reg::DdcVoltageHi);
}

std::string StatusDecoder::hpdVoltage(RegisterReader& reader) {
    return voltageText(reader, Reg::HpdVoltageLo, Reg::HpdVoltageHi);
}

std::string StatusDecoder::firmwareVersion(RegisterReader& reader, int32_t deviceType) {
    uint8_t fw = 0;
    uint8_t bridge = 0;
    if (!reader.ReadReg(Reg::FwVersion, fw, kMicrocontrollerSlave) ||
        !reader.ReadReg(BridgeReg::BridgeVersion, bridge, kBridgeSlave)) {
        return std::string(kTextNoDevice);
    }
    return firmwareVersionText(fw, bridge, deviceType);
}

std::string StatusDecoder::osMode(RegisterReader& reader) {
    return decodeOne(reader, BridgeReg::BridgeMode, kBridgeSlave, [](uint8_t v) {
        return v == kBridgeModeMac ? kTextMacOsMode : kTextWindowsMode;
    });
}

std::string StatusDecoder::audioSampleRate(RegisterReader& reader) {
    return decodeOne(reader, Reg::AudRate, kMicrocontrollerSlave,
                     [](uint8_t v) { return audRateName(v); });
}

std::string StatusDecoder::audioFormatType(RegisterReader& reader) {
    return decodeOne(reader, Reg::AudType, kMicrocontrollerSlave,
                     [](uint8_t v) { return audTypeName(v); });
}

}  // namespace tovrel::device
