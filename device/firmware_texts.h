#pragma once

#include <string_view>

namespace tovrel::device {

// Every text of the firmware update, in one place.

// Logged when the chosen image cannot be loaded: the same text whichever image was chosen.
inline constexpr std::string_view kLogWindowsImageFailed = "KOVA_ROM_FILE.bin Failed";
inline constexpr std::string_view kLogMacImageFailed = "KOVA_ROM_FILE_MAC.bin Failed";

// What the user is told about an update (the panel's message line, tovrelctl's error).
inline constexpr const char* kFwDone = "Firmware %s written: %u bytes.";
inline constexpr const char* kFwNoBox = "No box found: nothing was written.";
inline constexpr const char* kFwUnknownBox = "No firmware image is known for this box (type %d).";
inline constexpr const char* kFwImageMissing = "Cannot read the firmware image %s.";
inline constexpr const char* kFwImageEmpty =
    "The firmware image %s is empty: the flash was not touched.";
inline constexpr const char* kFwImageTooLarge =
    "The firmware image %s is larger than the box's flash allows (%u bytes at most): the flash "
    "was not touched.";
inline constexpr const char* kFwQueryFailed =
    "The box did not answer the flash query: the flash was not touched.";
inline constexpr const char* kFwQueryNotReady =
    "The box's flash is not ready (query answered %u): the flash was not touched.";
inline constexpr const char* kFwEraseFailed =
    "Erasing the flash failed at address 0x%06X (the box stopped answering or did not finish "
    "within %u s): nothing was programmed; the box keeps its mode. Run the update again.";
inline constexpr const char* kFwProgramFailed =
    "Programming the flash failed at address 0x%06X after %u of %u bytes (the box stopped "
    "answering or did not finish within %u s); the box keeps its mode. Run the update again.";
inline constexpr const char* kFwTargetFailed =
    "The image was written but the box did not take the firmware command; the box keeps its "
    "mode. Run the update again.";

inline constexpr std::string_view kFwPhaseChecking = "Checking the box";
inline constexpr std::string_view kFwPhaseErasing = "Erasing the flash";
inline constexpr std::string_view kFwPhaseProgramming = "Programming the flash";
inline constexpr std::string_view kFwPhaseFinishing = "Telling the box which image it has";

}  // namespace tovrel::device
