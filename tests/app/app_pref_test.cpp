#include "app/app_pref.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app_test_util.h"

using namespace app_test;

namespace {

// Points XDG_CONFIG_HOME at a fresh folder for the duration of a test.
class AppPref : public testing::Test {
protected:
    std::string read(const char* key, int len = 1024) {
        std::string buffer(size_t(len), '#');
        if (!app_pref_read(key, len, buffer.data()))
            return "<missing>";
        return buffer.c_str();
    }
    std::string file() const { return folder.path + "/spotweave/preferences"; }

    temp_folder folder;
    scoped_env config{"XDG_CONFIG_HOME", folder.path.c_str()};
};

} // namespace

TEST_F(AppPref, WritesReplacesAndRemovesKeys) {
    ASSERT_TRUE(app_pref_write("load.dir", "/home/someone/Pictures"));
    EXPECT_EQ(read("load.dir"), "/home/someone/Pictures");
    EXPECT_TRUE(fs::exists(file()));
    ASSERT_TRUE(app_pref_write("save.dir", "/saved"));
    ASSERT_TRUE(app_pref_write("load.dir", "/second"));
    ASSERT_TRUE(app_pref_write("empty", ""));
    EXPECT_EQ(read("load.dir"), "/second");
    EXPECT_EQ(read("save.dir"), "/saved");
    EXPECT_EQ(read("empty"), "");
    ASSERT_TRUE(app_pref_write("load.dir", nullptr));
    EXPECT_EQ(read("load.dir"), "<missing>");
    EXPECT_EQ(read("save.dir"), "/saved");
}

TEST_F(AppPref, ReadFailsForMissingKeysAndCutsLongValues) {
    char buffer[8] = "keep";
    EXPECT_FALSE(app_pref_read("save.dir", sizeof buffer, buffer));
    ASSERT_TRUE(app_pref_write("load.dir", "0123456789"));
    EXPECT_FALSE(app_pref_read("save.dir", sizeof buffer, buffer));
    EXPECT_FALSE(app_pref_read("load", sizeof buffer, buffer));
    EXPECT_FALSE(app_pref_read("load.dir", 0, buffer));
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(read("load.dir", 5), "0123");
    EXPECT_EQ(read("load.dir", 1), "");
}

TEST_F(AppPref, AwkwardCharactersSurviveOnOneLinePerEntry) {
    const char* value = "line one\nline two\r\n back\\slash = and \\n literal";
    const char* key = "odd=key\nname\\";
    ASSERT_TRUE(app_pref_write(key, value));
    ASSERT_TRUE(app_pref_write("plain", "x"));
    EXPECT_EQ(read(key), value);
    EXPECT_EQ(read("plain"), "x");
    const std::string text = contents(file());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    // A hand-edited value may end in a lone backslash: it stays one.
    std::ofstream(file(), std::ios::app) << "hand=ends in\\\n";
    EXPECT_EQ(read("hand"), "ends in\\");
}

TEST_F(AppPref, UnwritableFolderFailsAndKeepsOldFile) {
    ASSERT_TRUE(app_pref_write("k", "old"));
    {
        // A file where the folder should be makes every write fail.
        scoped_env blocked("XDG_CONFIG_HOME", file().c_str());
        EXPECT_FALSE(app_pref_write("k", "new"));
    }
    EXPECT_EQ(read("k"), "old");
}

TEST_F(AppPref, DefaultsToDotConfigInHome) {
    scoped_env no_config("XDG_CONFIG_HOME", nullptr);
    scoped_env home("HOME", folder.path.c_str());
    EXPECT_TRUE(app_pref_write("k", "v"));
    EXPECT_TRUE(fs::exists(folder.path + "/.config/spotweave/preferences"));
    EXPECT_EQ(read("k"), "v");
}
