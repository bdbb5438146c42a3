#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

#include "device/firmware_library.h"

namespace tovrel::sim {

// Firmware images made on the spot, so that the simulated box can be updated without any real
// image: every name gives its own bytes (a readable header naming the image, then a pattern
// seeded by the name), the same on every run. A size can be set per name, and a name can be
// made missing, for tests. Any thread.
class GeneratedFirmware final : public device::FirmwareLibrary {
  public:
    static constexpr size_t kDefaultBytes = 96 * 1024 + 100;  // a short last chunk, too

    explicit GeneratedFirmware(size_t bytes = kDefaultBytes);

    void setSize(std::string_view name, size_t bytes);
    void setMissing(std::string_view name);

    static std::vector<uint8_t> image(std::string_view name, size_t bytes);

    std::optional<std::vector<uint8_t>> load(std::string_view name, size_t maxBytes) override;
    std::string describe(std::string_view name) const override;

  private:
    const size_t defaultBytes_;
    mutable std::mutex mutex_;
    std::map<std::string, size_t, std::less<>> sizes_;
    std::map<std::string, bool, std::less<>> missing_;
};

}  // namespace tovrel::sim
