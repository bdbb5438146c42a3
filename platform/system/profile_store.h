#pragma once

#include <string>
#include <string_view>

namespace tovrel::platform {

// Private-profile (INI) file access with the platform's semantics: reads of a missing file,
// section or key give the default; a write rewrites one key in place and creates what is missing.
// Implementations are safe to call from one thread at a time.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;

    // GetPrivateProfileInt: a present but empty value also gives the default.
    virtual int getPrivateProfileInt(std::string_view section, std::string_view key,
                                     int defaultValue, const std::string& path) = 0;

    // WritePrivateProfileString; false when the file could not be written.
    virtual bool writePrivateProfileString(std::string_view section, std::string_view key,
                                           std::string_view value, const std::string& path) = 0;
};

}  // namespace tovrel::platform
