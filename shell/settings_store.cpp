#include "shell/settings_store.h"

#include <array>

namespace tovrel::shell {
namespace {

// Key, member and default, in the order the keys are read.
struct Key {
    const char* name;
    int Settings::*member;
    int defaultValue;
};

constexpr std::array<Key, 6> kKeys{{
    {"Quality", &Settings::settingQuality, 2},
    {"VideoType", &Settings::settingVideoType, 0},
    {"AudioType", &Settings::settingAudioType, 0},
    {"AspectRatio", &Settings::settingAspectRatio, 0},
    {"Control", &Settings::settingControl, 0},
    {"Hardware", &Settings::settingHardware, 1},
}};

}  // namespace

void SettingsStore::read(const std::string& path, Settings& settings) {
    for (const Key& key : kKeys) {
        settings.*key.member =
            profiles_.getPrivateProfileInt(section_, key.name, key.defaultValue, path);
    }
}

bool SettingsStore::write(const std::string& path, const Settings& settings) {
    auto flag = [](int value) { return std::string(value != 0 ? "1" : "0"); };
    const std::array<std::pair<const char*, std::string>, 5> written{{
        {"Quality", std::to_string(settings.settingQuality)},
        {"VideoType", std::to_string(settings.settingVideoType)},
        {"AudioType", std::to_string(settings.settingAudioType)},
        {"AspectRatio", flag(settings.settingAspectRatio)},
        {"Hardware", flag(settings.settingHardware)},
    }};
    bool ok = true;
    for (const auto& [key, text] : written) {
        ok = profiles_.writePrivateProfileString(section_, key, text, path) && ok;
    }
    return ok;
}

}  // namespace tovrel::shell
