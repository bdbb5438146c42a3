#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/system/memory_profile_store.h"
#include "shell/settings_store.h"

namespace tovrel::shell {
namespace {

TEST(SettingsStore, MissingFileKeepsTheDefaults) {
    platform::MemoryProfileStore profiles;
    Settings settings;
    SettingsStore(profiles, "TOVREL2").read("/x/setting.ini", settings);
    EXPECT_EQ(settings.settingQuality, 2);
    EXPECT_EQ(settings.settingVideoType, 0);
    EXPECT_EQ(settings.settingAudioType, 0);
    EXPECT_EQ(settings.settingAspectRatio, 0);
    EXPECT_EQ(settings.settingControl, 0);
    EXPECT_EQ(settings.settingHardware, 1);
}

TEST(SettingsStore, WritesExactlyTheFiveKeysInTheirOrder) {
    platform::MemoryProfileStore profiles;
    SettingsStore store(profiles, "TOVREL2");
    Settings settings;
    settings.settingControl = 1;  // never written
    ASSERT_TRUE(store.write("p", settings));
    EXPECT_EQ(profiles.files["p"],
              "[TOVREL2]\nQuality=2\nVideoType=0\nAudioType=0\nAspectRatio=0\nHardware=1\n");
}

TEST(SettingsStore, KeepsOutOfRangeValuesAndNormalisesOnlyTheTwoFlags) {
    platform::MemoryProfileStore profiles;
    profiles.files["p"] =
        "[TOVREL2]\nQuality=7\nVideoType=-1\nAudioType=3\nAspectRatio=5\nControl=1\nHardware=0\n";
    SettingsStore store(profiles, "TOVREL2");
    Settings settings;
    store.read("p", settings);
    EXPECT_EQ(settings.settingQuality, 7);
    EXPECT_EQ(settings.settingVideoType, -1);
    EXPECT_EQ(settings.settingAudioType, 3);
    EXPECT_EQ(settings.settingAspectRatio, 5);
    EXPECT_EQ(settings.settingControl, 1);
    EXPECT_EQ(settings.settingHardware, 0);
    ASSERT_TRUE(store.write("p", settings));
    EXPECT_EQ(
        profiles.files["p"],
        "[TOVREL2]\nQuality=7\nVideoType=-1\nAudioType=3\nAspectRatio=1\nControl=1\nHardware=0\n");
}

// A store that refuses the writes of one key, as a file that goes read-only part way would.
class OneKeyFails final : public platform::ProfileStore {
  public:
    explicit OneKeyFails(std::string key) : key_(std::move(key)) {}
    int getPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                             const std::string& path) override {
        return inner.getPrivateProfileInt(section, key, defaultValue, path);
    }
    bool writePrivateProfileString(std::string_view section, std::string_view key,
                                   std::string_view value, const std::string& path) override {
        if (key == key_) return false;
        return inner.writePrivateProfileString(section, key, value, path);
    }
    platform::MemoryProfileStore inner;

  private:
    std::string key_;
};

// One refused key is reported, and neither the other keys nor the rest of the file are lost.
TEST(SettingsStore, AReportedWriteFailureLosesNothingElse) {
    for (const char* failing : {"Quality", "AudioType", "Hardware"}) {
        OneKeyFails profiles(failing);
        profiles.inner.files["p"] = "[TOVREL]\nQuality=4\n[TOVREL2]\nQuality=9\nControl=1\n";
        Settings settings;
        settings.settingQuality = 3;
        settings.settingVideoType = 1;
        settings.settingAudioType = 2;
        EXPECT_FALSE(SettingsStore(profiles, "TOVREL2").write("p", settings)) << failing;
        Settings back;
        SettingsStore(profiles, "TOVREL2").read("p", back);
        EXPECT_EQ(back.settingQuality, std::string(failing) == "Quality" ? 9 : 3) << failing;
        EXPECT_EQ(back.settingVideoType, 1) << failing;
        EXPECT_EQ(back.settingAudioType, std::string(failing) == "AudioType" ? 0 : 2) << failing;
        EXPECT_EQ(back.settingControl, 1) << failing << ": a hand-added key stays";
        EXPECT_EQ(profiles.inner.getPrivateProfileInt("TOVREL", "Quality", 0, "p"), 4)
            << failing << ": the other section stays";
    }
}

}  // namespace
}  // namespace tovrel::shell
