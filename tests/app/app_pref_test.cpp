#include "app/app_pref.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

// Points XDG_CONFIG_HOME at a fresh folder for the duration of a test.
class AppPref : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "sw_pref_XXXXXX").string();
        folder = mkdtemp(pattern.data());
        const char* old = std::getenv("XDG_CONFIG_HOME");
        had_old = old != nullptr;
        if (had_old)
            old_value = old;
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }
    void TearDown() override {
        if (had_old)
            setenv("XDG_CONFIG_HOME", old_value.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(folder);
    }
    std::string read(const char* key, int len = 1024) {
        std::string buffer(size_t(len), '#');
        if (!app_pref_read(key, len, buffer.data()))
            return "<missing>";
        return buffer.c_str();
    }
    std::string file() const { return folder + "/spotweave/preferences"; }

    std::string folder, old_value;
    bool had_old = false;
};

} // namespace

TEST_F(AppPref, WrittenValueReadsBack) {
    ASSERT_TRUE(app_pref_write("load.dir", "/home/someone/Pictures"));
    EXPECT_EQ(read("load.dir"), "/home/someone/Pictures");
    EXPECT_TRUE(fs::exists(file()));
}

TEST_F(AppPref, MissingKeyIsFalseAndLeavesBufferAlone) {
    char buffer[8] = "keep";
    EXPECT_FALSE(app_pref_read("save.dir", sizeof buffer, buffer));
    EXPECT_STREQ(buffer, "keep");
    ASSERT_TRUE(app_pref_write("load.dir", "/x"));
    EXPECT_FALSE(app_pref_read("save.dir", sizeof buffer, buffer));
    EXPECT_FALSE(app_pref_read("load", sizeof buffer, buffer));
    EXPECT_STREQ(buffer, "keep");
}

TEST_F(AppPref, SecondWriteReplacesAndKeepsOtherKeys) {
    ASSERT_TRUE(app_pref_write("load.dir", "/first"));
    ASSERT_TRUE(app_pref_write("save.dir", "/saved"));
    ASSERT_TRUE(app_pref_write("load.dir", "/second"));
    EXPECT_EQ(read("load.dir"), "/second");
    EXPECT_EQ(read("save.dir"), "/saved");
}

TEST_F(AppPref, AwkwardCharactersSurvive) {
    const char* value = "line one\nline two\r\n back\\slash = and \\n literal";
    const char* key = "odd=key\nname\\";
    ASSERT_TRUE(app_pref_write(key, value));
    ASSERT_TRUE(app_pref_write("plain", "x"));
    EXPECT_EQ(read(key), value);
    EXPECT_EQ(read("plain"), "x");
    // One line per entry in the file.
    std::ifstream in(file());
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST_F(AppPref, EmptyValueIsStored) {
    ASSERT_TRUE(app_pref_write("empty", ""));
    EXPECT_EQ(read("empty"), "");
}

TEST_F(AppPref, NullValueRemovesTheKey) {
    ASSERT_TRUE(app_pref_write("a", "1"));
    ASSERT_TRUE(app_pref_write("b", "2"));
    ASSERT_TRUE(app_pref_write("a", nullptr));
    EXPECT_EQ(read("a"), "<missing>");
    EXPECT_EQ(read("b"), "2");
}

TEST_F(AppPref, LongValueIsCutToTheBuffer) {
    ASSERT_TRUE(app_pref_write("k", "0123456789"));
    EXPECT_EQ(read("k", 5), "0123");
    EXPECT_EQ(read("k", 1), "");
    char untouched[2] = {'z', 0};
    EXPECT_FALSE(app_pref_read("k", 0, untouched));
    EXPECT_STREQ(untouched, "z");
}

TEST_F(AppPref, UnwritableFolderFailsAndKeepsOldFile) {
    ASSERT_TRUE(app_pref_write("k", "old"));
    // A file where the folder should be makes every write fail.
    setenv("XDG_CONFIG_HOME", file().c_str(), 1);
    EXPECT_FALSE(app_pref_write("k", "new"));
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    EXPECT_EQ(read("k"), "old");
}

TEST_F(AppPref, DefaultsToDotConfigInHome) {
    unsetenv("XDG_CONFIG_HOME");
    const char* old_home = std::getenv("HOME");
    std::string saved = old_home ? old_home : "";
    setenv("HOME", folder.c_str(), 1);
    EXPECT_TRUE(app_pref_write("k", "v"));
    EXPECT_TRUE(fs::exists(folder + "/.config/spotweave/preferences"));
    EXPECT_EQ(read("k"), "v");
    if (old_home)
        setenv("HOME", saved.c_str(), 1);
    else
        unsetenv("HOME");
}
