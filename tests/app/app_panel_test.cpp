#include "app/app_panel.h"

#include <gtest/gtest.h>

#include "app/app_pref.h"
#include "app_test_util.h"

using namespace app_test;

namespace {

class AppPanel : public testing::Test {
protected:
    std::string args() const { return zenity.args(); }
    fake_zenity zenity;
};

TEST_F(AppPanel, PanelsPassTitleKindAndFiltersAndReturnTheAnswer) {
    struct Case {
        bool (*open)(char* dst);
        const char* must_have;
        const char* must_not_have;
    };
    const Case cases[] = {
        {[](char* d) { return app_get_open_image_path("load image", 64, d); },
         "--title=load image\n--file-filter=*.jpg *.jpeg *.png\n", "--save"},
        {[](char* d) { return app_get_save_image_path("Save", 64, d); },
         "--save\n--confirm-overwrite\n--file-filter=*.png\n", "--filename"},
        {[](char* d) { return app_get_open_path("Play", "action", 64, d); },
         "--file-filter=*.action\n", "--save"},
    };
    scoped_env reply("REPLY", "/some/where/picture.png");
    for (const Case& c : cases) {
        char dst[64] = "";
        ASSERT_TRUE(c.open(dst));
        EXPECT_STREQ(dst, "/some/where/picture.png");
        EXPECT_NE(args().find(c.must_have), std::string::npos) << args();
        EXPECT_EQ(args().find(c.must_not_have), std::string::npos) << args();
    }
    // A path longer than the buffer is cut, still terminated.
    char small[6];
    ASSERT_TRUE(app_get_save_image_path("Save", sizeof small, small));
    EXPECT_STREQ(small, "/some");
}

TEST_F(AppPanel, CancelOrNoWayToAskLeavesTheBufferAlone) {
    char dst[32] = "untouched";
    EXPECT_FALSE(app_get_save_path("Save", "png", sizeof dst, dst)); // cancelled
    EXPECT_STREQ(dst, "untouched");

    scoped_env reply("REPLY", "/x.png");
    const char* const cases[][3] = {{"DISPLAY", nullptr, "no display"},
                                    {"PATH", "/nonexistent", "zenity is not installed"}};
    for (const auto& c : cases) {
        scoped_env env(c[0], c[1]);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(app_get_save_path("Save", "png", sizeof dst, dst)) << c[2];
        EXPECT_NE(testing::internal::GetCapturedStderr().find(c[2]), std::string::npos) << c[2];
    }
    EXPECT_STREQ(dst, "untouched");
}

TEST_F(AppPanel, ImagePanelsRememberTheirFoldersSeparately) {
    char dst[256];
    {
        scoped_env reply("REPLY", "/pictures/in/cat.png");
        ASSERT_TRUE(app_get_image_load_path_remembered("Open", sizeof dst, dst));
        EXPECT_EQ(args().find("--filename"), std::string::npos); // nothing remembered yet
    }
    {
        scoped_env reply("REPLY", "/pictures/out/pattern.png");
        ASSERT_TRUE(app_get_image_save_path_remembered("Save", sizeof dst, dst));
        EXPECT_EQ(args().find("--filename"), std::string::npos);
        ASSERT_TRUE(app_get_image_save_path_remembered("Save", sizeof dst, dst));
        EXPECT_NE(args().find("--filename=/pictures/out/\n"), std::string::npos) << args();
    }
    ASSERT_FALSE(app_get_image_load_path_remembered("Open", sizeof dst, dst)); // cancelled
    EXPECT_NE(args().find("--filename=/pictures/in/\n"), std::string::npos) << args();
    char folder_read[64];
    ASSERT_TRUE(app_pref_read("load.dir", sizeof folder_read, folder_read));
    EXPECT_STREQ(folder_read, "/pictures/in"); // a cancel forgets nothing
}

TEST_F(AppPanel, PromptHandsOverTheTextOrNull) {
    std::string got = "<not called>";
    auto cb = [](void* user, const char* text) {
        *static_cast<std::string*>(user) = text ? text : "<null>";
    };
    {
        scoped_env reply("REPLY", "s3cret words");
        app_prompt("Key", "Enter the key", cb, &got);
        EXPECT_EQ(got, "s3cret words");
        EXPECT_NE(args().find("--hide-text\n"), std::string::npos);
    }
    app_prompt("Key", "Enter the key", cb, &got);
    EXPECT_EQ(got, "<null>");
}

} // namespace
