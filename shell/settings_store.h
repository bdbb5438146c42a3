#pragma once

#include <string>

#include "platform/system/profile_store.h"

namespace tovrel::shell {

// The user's choices kept between runs, with the values they have before the file is read.
struct Settings {
    int settingQuality = 2;      // 0 Lowest … 4 Highest
    int settingVideoType = 0;    // 0 AVC, 1 HEVC
    int settingAudioType = 0;    // 0 AAC, 1 MP3
    int settingAspectRatio = 0;  // nonzero: keep the picture's proportions
    int settingControl = 0;      // nonzero: raw register controls enabled; never written
    int settingHardware = 1;     // nonzero: prefer hardware encoders
};

// Reads the settings once at start-up and writes them once at close. Values are kept as read,
// out-of-range ones included, so a value the program does not understand survives a run.
// GUI thread only.
class SettingsStore {
  public:
    SettingsStore(platform::ProfileStore& profiles, const char* section)
        : profiles_(profiles), section_(section) {}

    // Reads every key in its order; keys that are missing keep their defaults.
    void read(const std::string& path, Settings& settings);
    // Writes the five written keys in their order; "Control" is never written. False when a
    // write failed (which the program does not report).
    bool write(const std::string& path, const Settings& settings);

  private:
    platform::ProfileStore& profiles_;
    const char* section_;
};

}  // namespace tovrel::shell
