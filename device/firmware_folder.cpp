#include "device/firmware_folder.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "device/firmware_image_names.h"

namespace tovrel::device {

namespace fs = std::filesystem;

FirmwareFolder::FirmwareFolder(fs::path folder) : folder_(std::move(folder)) {}

fs::path FirmwareFolder::locate(const std::optional<std::string>& given,
                                const fs::path& programPath) {
    if (given && !given->empty()) return *given;
    if (const char* variable = std::getenv(kEnvironmentVariable); variable && *variable)
        return variable;
    std::error_code error;
    fs::path program = fs::weakly_canonical(programPath, error);
    if (error) program = programPath;
    const fs::path beside = program.parent_path() / "firmware";
    if (fs::is_directory(beside, error)) return beside;
    const fs::path installed =
        program.parent_path().parent_path() / "share" / "tovrel" / "firmware";
    if (fs::is_directory(installed, error)) return installed;
    return beside;  // named in the messages: where the images were expected
}

std::optional<std::vector<uint8_t>> FirmwareFolder::readFile(const fs::path& path,
                                                             size_t maxBytes) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<uint8_t> bytes;
    const size_t limit = maxBytes + 1;
    char block[64 * 1024];
    while (bytes.size() < limit && file) {
        const size_t want = std::min(sizeof block, limit - bytes.size());
        file.read(block, static_cast<std::streamsize>(want));
        bytes.insert(bytes.end(), block, block + file.gcount());
    }
    if (file.bad()) return std::nullopt;
    return bytes;
}

std::optional<std::vector<uint8_t>> FirmwareFolder::load(std::string_view name, size_t maxBytes) {
    return readFile(folder_ / (std::string(name) + std::string(kFirmwareImageExtension)), maxBytes);
}

std::string FirmwareFolder::describe(std::string_view name) const {
    return (folder_ / (std::string(name) + std::string(kFirmwareImageExtension))).string();
}

}  // namespace tovrel::device
