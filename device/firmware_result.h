#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrel::device {

// How far an update has gone: phase text, bytes (or sectors while erasing) done of total.
struct FirmwareProgress {
    enum class Phase : uint8_t { Checking, Erasing, Programming, Finishing };
    Phase phase = Phase::Checking;
    uint32_t done = 0;
    uint32_t total = 0;  // 0 while the phase has no measure
    std::string_view text;
};

// What an update ended in. Plain record, any thread.
struct FirmwareResult {
    enum class Outcome : uint8_t {
        Done,
        NoBox,
        UnknownBox,
        ImageMissing,
        ImageEmpty,
        ImageTooLarge,
        QueryFailed,
        QueryNotReady,
        EraseFailed,
        ProgramFailed,
        TargetFailed,
    };

    Outcome outcome = Outcome::NoBox;
    std::string message;    // for the user
    std::string imageName;  // empty when none was chosen
    int32_t deviceType = 255;
    uint32_t imageBytes = 0;
    uint32_t programmedBytes = 0;
    uint32_t failedAddress = 0;  // erase or program failures
    bool flashTouched = false;   // an erase was started

    bool ok() const { return outcome == Outcome::Done; }
    // The machine-readable outcome (tovrelctl --json).
    std::string_view key() const;
};

}  // namespace tovrel::device
