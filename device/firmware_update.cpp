#include "device/firmware_update.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "device/firmware_texts.h"
#include "device/register_map.h"
#include "device/supported_boxes.h"

namespace tovrel::device {

namespace {

std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    char text[512];
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

constexpr unsigned kPollLimitSeconds =
    static_cast<unsigned>((PanelTransport::kFlashPollTimeoutMs + 999) / 1000);

void report(const FirmwareUpdate::Progress& progress, FirmwareProgress::Phase phase,
            std::string_view text, uint32_t done, uint32_t total) {
    if (progress) progress(FirmwareProgress{phase, done, total, text});
}

}  // namespace

std::string_view FirmwareResult::key() const {
    switch (outcome) {
        case Outcome::Done:
            return "done";
        case Outcome::NoBox:
            return "no_box";
        case Outcome::UnknownBox:
            return "unknown_box";
        case Outcome::ImageMissing:
            return "image_missing";
        case Outcome::ImageEmpty:
            return "image_empty";
        case Outcome::ImageTooLarge:
            return "image_too_large";
        case Outcome::QueryFailed:
            return "query_failed";
        case Outcome::QueryNotReady:
            return "query_not_ready";
        case Outcome::EraseFailed:
            return "erase_failed";
        case Outcome::ProgramFailed:
            return "program_failed";
        case Outcome::TargetFailed:
            return "target_failed";
    }
    return "unknown";
}

FirmwareUpdate::FirmwareUpdate(PanelTransport& transport, Log log)
    : transport_(transport), log_(std::move(log)) {
    if (!log_) {
        log_ = [](std::string_view line) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        };
    }
}

void FirmwareUpdate::say(std::string_view line) { log_(line); }

FirmwareResult FirmwareUpdate::UpdateQ7Win(FirmwareLibrary& library, const Progress& progress) {
    return update(FirmwareTarget::Windows, library, progress);
}

FirmwareResult FirmwareUpdate::UpdateQ7Mac(FirmwareLibrary& library, const Progress& progress) {
    return update(FirmwareTarget::Mac, library, progress);
}

FirmwareResult FirmwareUpdate::update(FirmwareTarget target, FirmwareLibrary& library,
                                      const Progress& progress) {
    FirmwareResult result;
    report(progress, FirmwareProgress::Phase::Checking, kFwPhaseChecking, 0, 0);
    if (!transport_.OpenBox()) {
        result.message = kFwNoBox;
        return result;
    }
    result.deviceType = transport_.deviceType();
    const auto name = firmwareImageName(target, result.deviceType);
    if (!name) {
        result.outcome = FirmwareResult::Outcome::UnknownBox;
        result.message = format(kFwUnknownBox, result.deviceType);
        transport_.CloseBox();
        return result;
    }
    result.imageName = std::string(*name);
    auto image = library.load(*name, kMaxImageBytes);
    if (!image) {
        say(target == FirmwareTarget::Windows ? kLogWindowsImageFailed : kLogMacImageFailed);
        result.outcome = FirmwareResult::Outcome::ImageMissing;
        result.message = format(kFwImageMissing, library.describe(*name).c_str());
    } else {
        writeImage(target, *image, result, progress);
    }
    transport_.CloseBox();
    return result;
}

FirmwareResult FirmwareUpdate::flashImage(FirmwareTarget target, const std::vector<uint8_t>& image,
                                          std::string_view imageName, const Progress& progress) {
    FirmwareResult result;
    result.imageName = std::string(imageName);
    report(progress, FirmwareProgress::Phase::Checking, kFwPhaseChecking, 0, 0);
    if (!transport_.OpenBox()) {
        result.message = kFwNoBox;
        return result;
    }
    result.deviceType = transport_.deviceType();
    writeImage(target, image, result, progress);
    transport_.CloseBox();
    return result;
}

void FirmwareUpdate::writeImage(FirmwareTarget target, const std::vector<uint8_t>& image,
                                FirmwareResult& result, const Progress& progress) {
    using Outcome = FirmwareResult::Outcome;
    const char* name = result.imageName.c_str();
    // An empty image would erase the start of the box's firmware and put nothing back.
    if (image.empty()) {
        result.outcome = Outcome::ImageEmpty;
        result.message = format(kFwImageEmpty, name);
        return;
    }
    if (image.size() > kMaxImageBytes) {
        result.outcome = Outcome::ImageTooLarge;
        result.message = format(kFwImageTooLarge, name, kMaxImageBytes);
        return;
    }
    const auto length = static_cast<uint32_t>(image.size());
    result.imageBytes = length;

    uint8_t answer = 0;
    if (!transport_.FlashQuery(answer)) {
        result.outcome = Outcome::QueryFailed;
        result.message = kFwQueryFailed;
        return;
    }
    if (answer != kFlashResultReady) {
        result.outcome = Outcome::QueryNotReady;
        result.message = format(kFwQueryNotReady, answer);
        return;
    }

    const int64_t eraseLength = int64_t{length} + kFlashSectorBytes;
    const auto sectors =
        static_cast<uint32_t>((eraseLength + kFlashSectorBytes - 1) / kFlashSectorBytes);
    report(progress, FirmwareProgress::Phase::Erasing, kFwPhaseErasing, 0, sectors);
    result.flashTouched = true;
    if (!transport_.FlashErase(eraseLength)) {
        result.outcome = Outcome::EraseFailed;
        result.failedAddress = transport_.flashAddress();
        result.message = format(kFwEraseFailed, result.failedAddress, kPollLimitSeconds);
        return;
    }
    report(progress, FirmwareProgress::Phase::Erasing, kFwPhaseErasing, sectors, sectors);

    report(progress, FirmwareProgress::Phase::Programming, kFwPhaseProgramming, 0, length);
    uint32_t offset = 0;
    while (offset < length) {
        const uint32_t chunk = std::min<uint32_t>(length - offset, kFlashChunkBytes);
        if (!transport_.FlashProgram(image.data() + offset, static_cast<int32_t>(chunk))) {
            result.outcome = Outcome::ProgramFailed;
            result.failedAddress = offset;
            result.programmedBytes = offset;
            result.message = format(kFwProgramFailed, offset, offset, length, kPollLimitSeconds);
            return;
        }
        offset += chunk;
        result.programmedBytes = offset;
        report(progress, FirmwareProgress::Phase::Programming, kFwPhaseProgramming, offset, length);
    }

    report(progress, FirmwareProgress::Phase::Finishing, kFwPhaseFinishing, 0, 0);
    const uint8_t fwTarget = target == FirmwareTarget::Windows ? kFwTargetWindows : kFwTargetMac;
    if (!transport_.WriteReg(Cmd::FwTarget, fwTarget) ||
        !transport_.WriteReg(Cmd::Mode, kModeApply)) {
        result.outcome = Outcome::TargetFailed;
        result.message = kFwTargetFailed;
        return;
    }
    result.outcome = Outcome::Done;
    result.message = format(kFwDone, name, length);
}

}  // namespace tovrel::device
