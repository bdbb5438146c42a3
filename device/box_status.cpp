#include "device/box_status.h"

#include "device/status_decoder.h"

namespace tovrel::device {

BoxStatus BoxStatus::read(RegisterReader& reader, int32_t deviceType) {
    BoxStatus status;
    status.texts[DdcVoltage] = StatusDecoder::ddcVoltage(reader);
    status.texts[HpdVoltage] = StatusDecoder::hpdVoltage(reader);
    status.texts[FirmwareVersion] = StatusDecoder::firmwareVersion(reader, deviceType);
    status.texts[OsMode] = StatusDecoder::osMode(reader);
    status.texts[SourceTiming] = StatusDecoder::sourceTiming(reader);
    status.texts[AudioSampleRate] = StatusDecoder::audioSampleRate(reader);
    status.texts[AudioFormatType] = StatusDecoder::audioFormatType(reader);
    status.texts[CaptureResolution] = StatusDecoder::captureResolution(reader);
    return status;
}

}  // namespace tovrel::device
