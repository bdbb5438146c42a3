#pragma once

#include <map>
#include <string>

#include "platform/system/profile_store.h"

namespace tovrel::platform {

// ProfileStore over in-memory texts keyed by path, for tests. A path without a text behaves as a
// missing file; `failWrites` makes every write fail as a read-only folder would.
// One thread at a time.
class MemoryProfileStore final : public ProfileStore {
  public:
    int getPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                             const std::string& path) override;
    bool writePrivateProfileString(std::string_view section, std::string_view key,
                                   std::string_view value, const std::string& path) override;

    std::map<std::string, std::string> files;
    bool failWrites = false;
};

}  // namespace tovrel::platform
