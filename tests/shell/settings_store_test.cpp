#include <gtest/gtest.h>

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

TEST(SettingsStore, AReportedWriteFailureLosesNothingElse) {
    platform::MemoryProfileStore profiles;
    profiles.failWrites = true;
    EXPECT_FALSE(SettingsStore(profiles, "TOVREL2").write("p", Settings{}));
    EXPECT_TRUE(profiles.files.empty());
}

}  // namespace
}  // namespace tovrel::shell
