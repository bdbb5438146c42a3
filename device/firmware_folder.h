#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "device/firmware_library.h"

namespace tovrel::device {

// The firmware images installed as files NAME.bin in one folder. Which folder: the one given
// on the command line, else $TOVREL_FIRMWARE_DIR, else "firmware" beside the program, else the
// installed share/tovrel/firmware next to its bin folder. Any thread (reads files only).
class FirmwareFolder final : public FirmwareLibrary {
  public:
    static constexpr const char* kEnvironmentVariable = "TOVREL_FIRMWARE_DIR";

    explicit FirmwareFolder(std::filesystem::path folder);

    // `given`: the program's option, if any; `programPath`: argv[0] or /proc/self/exe.
    static std::filesystem::path locate(const std::optional<std::string>& given,
                                        const std::filesystem::path& programPath);

    const std::filesystem::path& folder() const { return folder_; }

    std::optional<std::vector<uint8_t>> load(std::string_view name, size_t maxBytes) override;
    std::string describe(std::string_view name) const override;

    // One image file, read whole (at most maxBytes + 1 bytes); none when it cannot be opened or
    // is not a regular file.
    static std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path,
                                                        size_t maxBytes);

  private:
    std::filesystem::path folder_;
};

}  // namespace tovrel::device
