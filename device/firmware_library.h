#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::device {

// Where the firmware images come from: the folder installed beside the program, or images the
// simulated box and the tests make themselves. Images are data, never part of the sources.
// Implementations say which threads may call them.
class FirmwareLibrary {
  public:
    virtual ~FirmwareLibrary() = default;

    // The whole image of that name, or none when it cannot be read. An image larger than
    // `maxBytes` is not read whole: the result then holds maxBytes + 1 bytes, enough to tell
    // the caller it does not fit without reading gigabytes.
    virtual std::optional<std::vector<uint8_t>> load(std::string_view name, size_t maxBytes) = 0;

    // Where an image of that name is looked for, for messages ("/opt/.../KOVA_ROM_FILE.bin").
    virtual std::string describe(std::string_view name) const = 0;
};

}  // namespace tovrel::device
