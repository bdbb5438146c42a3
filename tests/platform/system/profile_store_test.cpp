#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/system/ini_file_store.h"
#include "platform/system/ini_text.h"
#include "platform/system/memory_profile_store.h"

namespace tovrel::platform {
namespace {

TEST(ProfileTextToInt, FollowsThePlatformConversion) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"42", 42}, {"  7", 7},  {"\t-3", -3}, {"+5", 5},  {"12abc", 12},     {"abc", 0},
        {"-", 0},   {"0x10", 0}, {"3.9", 3},   {"- 4", 0}, {"4294967297", 1},  // accumulates in 32
                                                                               // bits
    };
    for (const Case& c : cases) EXPECT_EQ(profileTextToInt(c.text), c.expected) << c.text;
}

TEST(IniText, ReadsCaseInsensitiveNamesAndTrimmedValues) {
    IniText ini("; comment\n[Tovrel2]\n  quality = 4 \nName=\"quoted\"\n[Other]\nQuality=9\n");
    EXPECT_EQ(ini.value("TOVREL2", "Quality"), "4");
    EXPECT_EQ(ini.value("tovrel2", "NAME"), "quoted");
    EXPECT_EQ(ini.value("OTHER", "quality"), "9");
    EXPECT_FALSE(ini.value("TOVREL2", "Missing").has_value());
    EXPECT_FALSE(ini.value("Nowhere", "Quality").has_value());
    EXPECT_EQ(ini.intValue("TOVREL2", "Missing", 17), 17);
}

TEST(IniText, EmptyValueGivesTheDefault) {
    IniText ini("[S]\nKey=\n");
    EXPECT_EQ(ini.intValue("S", "Key", 5), 5);
}

TEST(IniText, RewritesOneKeyInPlaceKeepingEverythingElse) {
    const std::string original =
        "; top comment\r\n[TOVREL2]\r\nQuality=1\r\n; keep "
        "me\r\nControl=1\r\n\r\n[TOVREL]\r\nQuality=3\r\n";
    IniText ini(original);
    ini.setValue("tovrel2", "QUALITY", "4");
    EXPECT_EQ(ini.text(),
              "; top comment\r\n[TOVREL2]\r\nQUALITY=4\r\n; keep "
              "me\r\nControl=1\r\n\r\n[TOVREL]\r\nQuality=3\r\n");
}

TEST(IniText, AppendsNewKeysAtTheEndOfTheirSectionAndNewSectionsAtTheEnd) {
    IniText ini("[A]\nx=1\n\n[B]\ny=2");
    ini.setValue("A", "z", "3");
    ini.setValue("C", "w", "4");
    EXPECT_EQ(ini.text(), "[A]\nx=1\nz=3\n\n[B]\ny=2\n[C]\nw=4\n");
}

class IniFileStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tovrel-ini-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "setting.ini").string();
    }
    void TearDown() override {
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
        std::filesystem::remove_all(dir_);
    }
    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path dir_;
    std::string path_;
    IniFileStore store_;
};

TEST_F(IniFileStoreTest, MissingFileGivesDefaultsAndAWriteCreatesIt) {
    EXPECT_EQ(store_.getPrivateProfileInt("S", "K", 9, path_), 9);
    ASSERT_TRUE(store_.writePrivateProfileString("S", "K", "3", path_));
    EXPECT_EQ(contents(), "[S]\nK=3\n");
    EXPECT_EQ(store_.getPrivateProfileInt("s", "k", 9, path_), 3);
}

TEST_F(IniFileStoreTest, WriteFailsInAReadOnlyFolderAndLeavesNoFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    std::filesystem::permissions(
        dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(store_.writePrivateProfileString("S", "K", "3", path_));
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST(MemoryProfileStore, BehavesLikeTheFileStore) {
    MemoryProfileStore store;
    EXPECT_EQ(store.getPrivateProfileInt("S", "K", -1, "p"), -1);
    EXPECT_TRUE(store.writePrivateProfileString("S", "K", "12", "p"));
    EXPECT_EQ(store.getPrivateProfileInt("S", "K", -1, "p"), 12);
    store.failWrites = true;
    EXPECT_FALSE(store.writePrivateProfileString("S", "K", "13", "p"));
    EXPECT_EQ(store.files["p"], "[S]\nK=12\n");
}

}  // namespace
}  // namespace tovrel::platform
