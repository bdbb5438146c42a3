#include "platform/system/memory_profile_store.h"

#include "platform/system/ini_text.h"

namespace tovrel::platform {

int MemoryProfileStore::getPrivateProfileInt(std::string_view section, std::string_view key,
                                             int defaultValue, const std::string& path) {
    auto file = files.find(path);
    if (file == files.end()) return defaultValue;
    return IniText(file->second).intValue(section, key, defaultValue);
}

bool MemoryProfileStore::writePrivateProfileString(std::string_view section, std::string_view key,
                                                   std::string_view value,
                                                   const std::string& path) {
    if (failWrites) return false;
    IniText ini(files[path]);
    ini.setValue(section, key, value);
    files[path] = ini.text();
    return true;
}

}  // namespace tovrel::platform
