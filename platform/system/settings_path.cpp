#include "platform/system/settings_path.h"

#include <unistd.h>

#include <vector>

#include "platform/system/text_units.h"

namespace tovrel::platform {

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
