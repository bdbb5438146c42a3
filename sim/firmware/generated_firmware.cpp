#include "sim/firmware/generated_firmware.h"

#include <algorithm>

namespace tovrel::sim {

GeneratedFirmware::GeneratedFirmware(size_t bytes) : defaultBytes_(bytes) {}

void GeneratedFirmware::setSize(std::string_view name, size_t bytes) {
    std::lock_guard lock(mutex_);
    sizes_[std::string(name)] = bytes;
}

void GeneratedFirmware::setMissing(std::string_view name) {
    std::lock_guard lock(mutex_);
    missing_[std::string(name)] = true;
}

std::vector<uint8_t> GeneratedFirmware::image(std::string_view name, size_t bytes) {
    std::vector<uint8_t> out(bytes);
    const std::string header = "TOVREL-SIM " + std::string(name) + "\n";
    uint32_t state = 2166136261u;  // FNV-1a of the name seeds the pattern
    for (char c : name) state = (state ^ static_cast<uint8_t>(c)) * 16777619u;
    for (size_t i = 0; i < bytes; ++i) {
        if (i < header.size()) {
            out[i] = static_cast<uint8_t>(header[i]);
            continue;
        }
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        out[i] = static_cast<uint8_t>(state >> 24);
    }
    return out;
}

std::optional<std::vector<uint8_t>> GeneratedFirmware::load(std::string_view name,
                                                            size_t maxBytes) {
    size_t bytes = defaultBytes_;
    {
        std::lock_guard lock(mutex_);
        if (missing_.find(name) != missing_.end()) return std::nullopt;
        if (auto it = sizes_.find(name); it != sizes_.end()) bytes = it->second;
    }
    return image(name, std::min(bytes, maxBytes + 1));
}

std::string GeneratedFirmware::describe(std::string_view name) const {
    return "generated:" + std::string(name);
}

}  // namespace tovrel::sim
