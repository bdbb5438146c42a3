#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace tovrel::shell {

// Names of recordings and snapshots: "MF" and the local time as two-digit year, month, day,
// hour, minute and second, in the user's videos or pictures folder (XDG). GUI thread (the folder
// lookup goes through Qt).
class OutputFiles {
  public:
    enum class Folder { kVideos, kPictures };

    // "<folder>/MFyymmddhhmmss<extension>" for the broken-down local time.
    static std::string fileName(const std::string& folder, const std::tm& localTime,
                                const char* extension);

    // The folder, created when it is missing. When the user's folder is unknown or cannot be
    // created, the working directory (where the settings file lives) is used, so the output is
    // never lost; null only when that is unknown too.
    static std::optional<std::string> folder(Folder which);

    // The full name for now in that folder, or null when no folder can be had.
    static std::optional<std::string> forNow(Folder which, const char* extension);
};

}  // namespace tovrel::shell
