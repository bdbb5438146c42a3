#include "platform/system/ini_file_store.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include <unistd.h>

#include "platform/system/ini_text.h"

namespace tovrel::platform {
namespace {

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

}  // namespace

int IniFileStore::getPrivateProfileInt(std::string_view section, std::string_view key,
                                       int defaultValue, const std::string& path) {
    auto text = readFile(path);
    if (!text) return defaultValue;
    return IniText(*text).intValue(section, key, defaultValue);
}

bool IniFileStore::writePrivateProfileString(std::string_view section, std::string_view key,
                                             std::string_view value, const std::string& path) {
    IniText ini(readFile(path).value_or(std::string()));
    ini.setValue(section, key, value);
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << ini.text();
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace tovrel::platform
