#include "app/app_path.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "app_test_util.h"

using namespace app_test;

namespace {

// A home folder with no XDG overrides and an optional user-dirs.dirs.
struct fake_home {
    temp_folder home;
    scoped_env h{"HOME", home.path.c_str()};
    scoped_env c{"XDG_CONFIG_HOME", nullptr};
    scoped_env desk{"XDG_DESKTOP_DIR", nullptr};
    scoped_env docs{"XDG_DOCUMENTS_DIR", nullptr};
    void user_dirs(const std::string& text) {
        fs::create_directories(home.path + "/.config");
        std::ofstream(home.path + "/.config/user-dirs.dirs") << text;
    }
};

std::string path_of(bool (*get)(int, char*)) {
    char out[512];
    EXPECT_TRUE(get(sizeof out, out));
    return out;
}

bool is_uuid(const std::string& s) {
    const std::string x = "[[:xdigit:]]";
    return std::regex_match(
        s, std::regex(x + "{8}-" + x + "{4}-4" + x + "{3}-" + x + "{4}-" + x + "{12}"));
}

} // namespace

TEST(PathReplaceLastComponent, ReplacesOrDropsTheLastComponent) {
    const struct {
        const char *path, *last, *want;
    } cases[] = {
        {"/a/b/c.png", "d.jpg", "/a/b/d.jpg"},
        {"/a/b/c.png", nullptr, "/a/b"},
        {"/a/b/c.png", "", "/a/b"},
        {"/a/b/", "x", "/a/x"}, // trailing and repeated slashes do not count
        {"/a//b", "x", "/a/x"},
        {"a//b//", nullptr, "a"},
        {"/a", "x", "/x"}, // the root stays
        {"/a", nullptr, "/"},
        {"/", nullptr, "/"},
        {"/", "x", "/x"},
        {"//", "x", "/x"},
        {"c.png", "d.png", "d.png"}, // relative
        {"c.png", nullptr, ""},
        {"", "d.png", "d.png"},
        {"dir/c.png", "d.png", "dir/d.png"},
    };
    for (const auto& c : cases) {
        char out[256];
        ASSERT_TRUE(path_replace_last_component(c.path, c.last, sizeof out, out)) << c.path;
        EXPECT_STREQ(out, c.want) << c.path << " + " << (c.last ? c.last : "null");
    }
}

TEST(PathReplaceLastComponent, CutsToTheBufferAndLeavesAnEmptyOneAlone) {
    char out[8];
    ASSERT_TRUE(path_replace_last_component("/folder/old", "new.png", sizeof out, out));
    EXPECT_STREQ(out, "/folder");
    ASSERT_TRUE(path_replace_last_component("/f/old", "new.png", sizeof out, out));
    EXPECT_STREQ(out, "/f/new.");
    char kept[4] = {'z', 'z', 'z', 0};
    EXPECT_FALSE(path_replace_last_component("/a/b", "c", 0, kept));
    EXPECT_FALSE(path_replace_last_component(nullptr, "c", sizeof kept, kept));
    EXPECT_STREQ(kept, "zzz");
}

TEST(AppGetDesktopPath, TakesEnvironmentThenUserDirsThenHome) {
    const struct {
        const char* what;
        const char* user_dirs; // in ~/.config
        const char* env;       // XDG_DESKTOP_DIR
        std::string want;      // "~" stands for the home folder
    } cases[] = {
        {"fallback", nullptr, nullptr, "~/Desktop"},
        {"environment wins", "XDG_DESKTOP_DIR=\"$HOME/FromFile\"\n", "/somewhere/else/",
         "/somewhere/else"},
        {"tilde expanded", nullptr, "~/Tilde", "~/Tilde"},
        {"$HOME expanded", nullptr, "$HOME/Dollar", "~/Dollar"},
        {"user-dirs file",
         "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n"
         "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n",
         nullptr, "~/Schreibtisch"},
        {"comments and relative paths ignored",
         "#XDG_DESKTOP_DIR=\"/commented\"\nXDG_DESKTOP_DIR=\"relative/path\"\n", nullptr,
         "~/Desktop"},
    };
    for (const auto& c : cases) {
        fake_home f;
        if (c.user_dirs)
            f.user_dirs(c.user_dirs);
        scoped_env env("XDG_DESKTOP_DIR", c.env);
        const std::string want = c.want[0] == '~' ? f.home.path + c.want.substr(1) : c.want;
        EXPECT_EQ(path_of(app_get_desktop_path), want) << c.what;
    }
}

TEST(AppGetDesktopPath, ReadsUserDirsUnderXdgConfigHome) {
    fake_home f;
    temp_folder config;
    scoped_env e("XDG_CONFIG_HOME", config.path.c_str());
    std::ofstream(config.path + "/user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"/abs/desk\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
    EXPECT_EQ(path_of(app_get_desktop_path), "/abs/desk");
    EXPECT_EQ(path_of(app_get_documents_path), f.home.path + "/Papers");
}

TEST(AppGetDocumentsPath, FallsBackToHomeDocumentsAndCutsToTheBuffer) {
    fake_home f;
    EXPECT_EQ(path_of(app_get_documents_path), f.home.path + "/Documents");
    scoped_env e("XDG_DOCUMENTS_DIR", "/0123456789");
    EXPECT_EQ(path_of(app_get_documents_path), "/0123456789");
    char out[6];
    ASSERT_TRUE(app_get_documents_path(sizeof out, out));
    EXPECT_STREQ(out, "/0123");
    char untouched[3] = {'a', 'b', 0};
    EXPECT_FALSE(app_get_documents_path(0, untouched));
    EXPECT_STREQ(untouched, "ab");
}

TEST(AppGetTempPath, IsAFreshUuidInsideTheTemporaryFolder) {
    temp_folder tmp;
    std::set<std::string> seen;
    for (const std::string& folder : {tmp.path, std::string("/var/tmp/"), std::string()}) {
        scoped_env e("TMPDIR", folder.empty() ? nullptr : folder.c_str());
        // Defaults to /tmp; a trailing slash is not doubled.
        std::string prefix = folder.empty() ? "/tmp" : folder;
        if (prefix.back() != '/')
            prefix += '/';
        for (int i = 0; i < 100; i++) {
            const std::string path = path_of(app_get_temp_path);
            ASSERT_EQ(path.compare(0, prefix.size(), prefix), 0) << path;
            EXPECT_TRUE(is_uuid(path.substr(prefix.size()))) << path;
            EXPECT_FALSE(fs::exists(path));
            EXPECT_TRUE(seen.insert(path).second) << "repeated " << path;
        }
    }
}

TEST(AppResourcePath, NamesAFileNextToTheExecutable) {
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    std::string folder = exe.substr(0, exe.rfind('/') + 1);
    char out[4096];
    ASSERT_TRUE(app_resource_path("icon256", "png", sizeof out, out));
    EXPECT_EQ(out, folder + "icon256.png");
    ASSERT_TRUE(app_resource_path(exe.substr(folder.size()).c_str(), nullptr, sizeof out, out));
    EXPECT_EQ(out, exe);
    EXPECT_TRUE(fs::exists(out));
}
