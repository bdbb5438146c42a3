#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/register_reader.h"

namespace tovrel::device {

// Turns the box's status registers into the texts both programs show. Each decoder makes its
// one or two reads through the caller's open transport; a failed read gives "No Device", a value
// without a table entry "Unknow". The table lookups and the firmware composition are exposed on
// their own for callers that already hold the bytes. Runs on the caller's thread.
class StatusDecoder {
  public:
    static std::string_view timingName(int srcTiming);
    static std::string_view capResName(int capRes);
    static std::string_view audRateName(int code);
    static std::string_view audTypeName(int code);
    static int millivolts(uint8_t low, uint8_t high);
    // "w.x.y.z" of the four nibbles; types 0, 2 and 3 show it as "2." and the digits taken by
    // position (1.2.0.5 shows as 2.12.05), the others show it raw.
    static std::string firmwareVersionText(uint8_t fwVersion, uint8_t bridgeVersion,
                                           int32_t deviceType);

    static std::string sourceTiming(RegisterReader& reader);
    static std::string captureResolution(RegisterReader& reader);
    // Millivolts of a low/high register pair; 0 when either read fails.
    static int voltageMillivolts(RegisterReader& reader, uint8_t lowReg, uint8_t highReg);
    static std::string ddcVoltage(RegisterReader& reader);
    static std::string hpdVoltage(RegisterReader& reader);
    static std::string firmwareVersion(RegisterReader& reader, int32_t deviceType);
    static std::string osMode(RegisterReader& reader);
    static std::string audioSampleRate(RegisterReader& reader);
    static std::string audioFormatType(RegisterReader& reader);

  private:
    static std::string voltageText(RegisterReader& reader, uint8_t lowReg, uint8_t highReg);
};

}  // namespace tovrel::device
