#include "platform/system/settings_path.h"

#include <unistd.h>

#include <vector>

namespace tovrel::platform {

size_t SettingsPath::utf16Units(std::string_view utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue;  // continuation byte
        units += (c >= 0xF0) ? 2 : 1;
    }
    return units;
}

std::optional<std::string> SettingsPath::inDirectory(std::string_view directory,
                                                     std::string_view fileName) {
    if (directory.empty()) return std::nullopt;
    std::string path(directory);
    if (path.back() != '/') path += '/';
    path += fileName;
    if (utf16Units(path) >= kMaxPathUnits) return std::nullopt;
    return path;
}

std::optional<std::string> SettingsPath::inWorkingDirectory(std::string_view fileName) {
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return std::nullopt;
    return inDirectory(buffer.data(), fileName);
}

}  // namespace tovrel::platform
