#include "app/app_global.h"
#include "app/app_image.h"
#include "app/app_progress.h"

#include <gtest/gtest.h>

TEST(AppWindow, RemembersTheProcessWideWindow) {
    EXPECT_EQ(app_window_get(), nullptr);
    gr_window_s* window = reinterpret_cast<gr_window_s*>(0x1000);
    app_window_set(window);
    EXPECT_EQ(app_window_get(), window);
    app_window_set(nullptr);
    EXPECT_EQ(app_window_get(), nullptr);
}

TEST(AppProgress, StepsAndNoOpsDoNotDisturb) {
    app_assert_main_thread();
    app_progress_start();
    app_progress_step(0.0f);
    app_progress_step(0.5f);
    app_progress_step(1.0f);
    app_progress_stop();
    app_image_export(nullptr);
    SUCCEED();
}
