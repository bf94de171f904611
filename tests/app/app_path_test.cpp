#include "app/app_path.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

// A fresh folder, removed with its content at the end of the scope.
struct temp_folder {
    std::string path;
    temp_folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sw_path_XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~temp_folder() { std::filesystem::remove_all(path); }
};

// Sets (value) or unsets (null) an environment variable for the scope.
struct scoped_env {
    std::string name, old;
    bool had;
    scoped_env(const char* n, const char* value) : name(n) {
        const char* v = std::getenv(n);
        had = v != nullptr;
        if (had)
            old = v;
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~scoped_env() {
        if (had)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

std::string replaced(const char* path, const char* last) {
    char out[256];
    EXPECT_TRUE(path_replace_last_component(path, last, sizeof out, out));
    return out;
}

// A home folder with no XDG overrides and an optional user-dirs.dirs.
struct fake_home {
    temp_folder home;
    scoped_env h{"HOME", home.path.c_str()};
    scoped_env c{"XDG_CONFIG_HOME", nullptr};
    scoped_env desk{"XDG_DESKTOP_DIR", nullptr};
    scoped_env docs{"XDG_DOCUMENTS_DIR", nullptr};
    void user_dirs(const std::string& text) {
        std::filesystem::create_directories(home.path + "/.config");
        std::ofstream(home.path + "/.config/user-dirs.dirs") << text;
    }
};

std::string desktop() {
    char out[512];
    EXPECT_TRUE(app_get_desktop_path(sizeof out, out));
    return out;
}

std::string documents() {
    char out[512];
    EXPECT_TRUE(app_get_documents_path(sizeof out, out));
    return out;
}

bool is_uuid(const std::string& s) {
    if (s.size() != 36)
        return false;
    for (size_t i = 0; i < s.size(); i++) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != '-' : !std::isxdigit((unsigned char)s[i]))
            return false;
    }
    return s[14] == '4';
}

} // namespace

TEST(PathReplaceLastComponent, ReplacesTheFileName) {
    EXPECT_EQ(replaced("/a/b/c.png", "d.jpg"), "/a/b/d.jpg");
    EXPECT_EQ(replaced("/a/b/c.png", nullptr), "/a/b");
    EXPECT_EQ(replaced("/a/b/c.png", ""), "/a/b");
}

TEST(PathReplaceLastComponent, IgnoresTrailingAndRepeatedSlashes) {
    EXPECT_EQ(replaced("/a/b/", "x"), "/a/x");
    EXPECT_EQ(replaced("/a//b", "x"), "/a/x");
    EXPECT_EQ(replaced("a//b//", nullptr), "a");
}

TEST(PathReplaceLastComponent, KeepsTheRoot) {
    EXPECT_EQ(replaced("/a", "x"), "/x");
    EXPECT_EQ(replaced("/a", nullptr), "/");
    EXPECT_EQ(replaced("/", nullptr), "/");
    EXPECT_EQ(replaced("/", "x"), "/x");
    EXPECT_EQ(replaced("//", "x"), "/x");
}

TEST(PathReplaceLastComponent, RelativeSingleComponent) {
    EXPECT_EQ(replaced("c.png", "d.png"), "d.png");
    EXPECT_EQ(replaced("c.png", nullptr), "");
    EXPECT_EQ(replaced("", "d.png"), "d.png");
    EXPECT_EQ(replaced("dir/c.png", "d.png"), "dir/d.png");
}

TEST(PathReplaceLastComponent, CutsToTheBuffer) {
    char out[8];
    ASSERT_TRUE(path_replace_last_component("/folder/old", "new.png", sizeof out, out));
    EXPECT_STREQ(out, "/folder");
    ASSERT_TRUE(path_replace_last_component("/f/old", "new.png", sizeof out, out));
    EXPECT_STREQ(out, "/f/new.");
}

TEST(PathReplaceLastComponent, EmptyBufferIsLeftAlone) {
    char out[4] = {'z', 'z', 'z', 0};
    EXPECT_FALSE(path_replace_last_component("/a/b", "c", 0, out));
    EXPECT_FALSE(path_replace_last_component(nullptr, "c", sizeof out, out));
    EXPECT_STREQ(out, "zzz");
}

TEST(AppGetDesktopPath, FallsBackToHomeDesktop) {
    fake_home f;
    EXPECT_EQ(desktop(), f.home.path + "/Desktop");
}

TEST(AppGetDesktopPath, EnvironmentWinsAndIsExpanded) {
    fake_home f;
    f.user_dirs("XDG_DESKTOP_DIR=\"$HOME/FromFile\"\n");
    {
        scoped_env e("XDG_DESKTOP_DIR", "/somewhere/else/");
        EXPECT_EQ(desktop(), "/somewhere/else");
    }
    {
        scoped_env e("XDG_DESKTOP_DIR", "~/Tilde");
        EXPECT_EQ(desktop(), f.home.path + "/Tilde");
    }
    {
        scoped_env e("XDG_DESKTOP_DIR", "$HOME/Dollar");
        EXPECT_EQ(desktop(), f.home.path + "/Dollar");
    }
}

TEST(AppGetDesktopPath, ReadsUserDirsFile) {
    fake_home f;
    f.user_dirs("# written by xdg-user-dirs-update\n"
                "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n"
                "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(desktop(), f.home.path + "/Schreibtisch");
    EXPECT_EQ(documents(), f.home.path + "/Papers");
}

TEST(AppGetDesktopPath, UserDirsUnderXdgConfigHome) {
    fake_home f;
    temp_folder config;
    scoped_env e("XDG_CONFIG_HOME", config.path.c_str());
    std::ofstream(config.path + "/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"/abs/desk\"\n";
    EXPECT_EQ(desktop(), "/abs/desk");
}

TEST(AppGetDesktopPath, IgnoresCommentsAndInvalidValues) {
    fake_home f;
    f.user_dirs("#XDG_DESKTOP_DIR=\"/commented\"\n"
                "XDG_DESKTOP_DIR=\"relative/path\"\n");
    EXPECT_EQ(desktop(), f.home.path + "/Desktop");
}

TEST(AppGetDocumentsPath, FallsBackToHomeDocuments) {
    fake_home f;
    EXPECT_EQ(documents(), f.home.path + "/Documents");
    scoped_env e("XDG_DOCUMENTS_DIR", "/docs");
    EXPECT_EQ(documents(), "/docs");
}

TEST(AppGetDocumentsPath, CutsToTheBuffer) {
    fake_home f;
    scoped_env e("XDG_DOCUMENTS_DIR", "/0123456789");
    char out[6];
    ASSERT_TRUE(app_get_documents_path(sizeof out, out));
    EXPECT_STREQ(out, "/0123");
    char untouched[3] = {'a', 'b', 0};
    EXPECT_FALSE(app_get_documents_path(0, untouched));
    EXPECT_STREQ(untouched, "ab");
}

TEST(AppGetTempPath, IsAFreshUuidInsideTheTemporaryFolder) {
    temp_folder tmp;
    scoped_env e("TMPDIR", tmp.path.c_str());
    std::set<std::string> seen;
    for (int i = 0; i < 100; i++) {
        char out[512];
        ASSERT_TRUE(app_get_temp_path(sizeof out, out));
        std::string path = out;
        ASSERT_EQ(path.compare(0, tmp.path.size() + 1, tmp.path + "/"), 0) << path;
        EXPECT_TRUE(is_uuid(path.substr(tmp.path.size() + 1))) << path;
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_TRUE(seen.insert(path).second) << "repeated " << path;
    }
}

TEST(AppGetTempPath, DefaultsToTmp) {
    scoped_env e("TMPDIR", nullptr);
    char out[512];
    ASSERT_TRUE(app_get_temp_path(sizeof out, out));
    EXPECT_EQ(std::string(out).substr(0, 5), "/tmp/");
    EXPECT_TRUE(is_uuid(out + 5)) << out;
}

TEST(AppGetTempPath, TrailingSlashIsNotDoubled) {
    scoped_env e("TMPDIR", "/var/tmp/");
    char out[512];
    ASSERT_TRUE(app_get_temp_path(sizeof out, out));
    EXPECT_EQ(std::string(out).substr(0, 9), "/var/tmp/");
    EXPECT_TRUE(is_uuid(out + 9)) << out;
}

TEST(AppResourcePath, NamesAFileNextToTheExecutable) {
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string folder = exe.substr(0, exe.rfind('/') + 1);
    char out[4096];
    ASSERT_TRUE(app_resource_path("icon256", "png", sizeof out, out));
    EXPECT_EQ(out, folder + "icon256.png");
    ASSERT_TRUE(app_resource_path(exe.substr(folder.size()).c_str(), nullptr, sizeof out, out));
    EXPECT_EQ(out, exe);
    EXPECT_TRUE(std::filesystem::exists(out));
}
