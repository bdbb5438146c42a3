#pragma once

#include "platform/system/profile_store.h"

namespace tovrel::platform {

// ProfileStore over real files. Each call reads (and a write rewrites) the whole file, as the
// platform's calls do, so a hand edit made while the program runs is never lost by a later write
// of another key. Writes go to a temporary file renamed over the old one, so a crash mid-write
// leaves the previous file intact.
// Any thread, one call at a time per file.
class IniFileStore final : public ProfileStore {
  public:
    int getPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                             const std::string& path) override;
    bool writePrivateProfileString(std::string_view section, std::string_view key,
                                   std::string_view value, const std::string& path) override;
};

}  // namespace tovrel::platform
