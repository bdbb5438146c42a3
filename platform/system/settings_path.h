#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovrel::platform {

// The rule that places the settings file in the process's working directory: the directory as
// GetCurrentDirectory gives it into a buffer of 260 UTF-16 units, a separator appended when it
// does not end in one, then the file name; the whole path must fit in those 260 units
// (259 characters and the terminator). nullopt when it does not fit or the directory is unknown.
// Any thread.
class SettingsPath {
  public:
    static constexpr size_t kMaxPathUnits = 260;

    static std::optional<std::string> inWorkingDirectory(std::string_view fileName);
    // The same rule for a given directory, so it can be tested without changing directory.
    static std::optional<std::string> inDirectory(std::string_view directory,
                                                  std::string_view fileName);
};

}  // namespace tovrel::platform
