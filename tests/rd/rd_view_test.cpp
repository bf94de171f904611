#include "rd/rd_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "app/app_main.h"
#include "app/app_test_util.h"
#include "rd_test_util.h"
#include "ui/ui_layout.h"
#include "ui/ui_model.h"

using namespace rd_test;

namespace {

// A UI holding only the view, laid out at width x height (no GL; frame() works out the content).
struct View {
    ui_model_s* model = ui_model_create();
    ui_s* ui = ui_create(model);
    uic_s* control = nullptr;
    View(rd_s* rd, float width, float height) {
        ui_layout_push_vertical(ui, 0);
        control = ui_add_custom(ui, rd_process_view_proc, rd);
        ui_layout_pop(ui);
        ui_layout_run(ui, nullptr, 0, 0, width, height);
    }
    ~View() {
        ui_destroy(ui);
        ui_model_destroy(model);
    }
    zoomer_s* zoomer() { return rd__view_zoomer(control); }
    // Sets the content size and computes the content rectangle.
    void frame(float content_w, float content_h) {
        zoomer()->content_w = content_w;
        zoomer()->content_h = content_h;
        uic_draw_s d = {nullptr, uic_get_width(control), uic_get_height(control), 0, 0};
        zoomer_view_proc(zoomer(), control, UIC_MSG_DRAW, &d);
    }
    void magnify(float x, float y, float amount) {
        uic_gesture_s g = {x, y, amount};
        uic_msg_send(control, UIC_MSG_MAGNIFY, &g);
    }
    void scroll(float dx, float dy) {
        uic_scroll_s s = {0, 0, dx, dy};
        uic_msg_send(control, UIC_MSG_SCROLL, &s);
    }
    void key(unsigned code) {
        uic_key_s k = {code, 0};
        uic_msg_send(control, UIC_MSG_KEY_DOWN, &k);
    }
};

TEST(RdZoomer, ZoomsAboutTheGestureWithinItsLimitsAndClampsThePan) {
    Runner r; // not used by the zoomer; the view needs one to exist
    View v(r.rd, 400, 300);
    ASSERT_EQ(uic_get_width(v.control), 400.0f);
    zoomer_s* z = v.zoomer();
    z->content_w = 800, z->content_h = 600;
    auto pan = [z] { return std::pair(z->pan_x, z->pan_y); };
    z->zoom = 10;
    v.magnify(200, 150, 1.0f); // at the centre
    EXPECT_EQ(z->zoom, 16.0f);
    EXPECT_EQ(pan(), std::pair(0.0f, 0.0f));
    for (int i = 0; i < 12; i++)
        v.magnify(200, 150, -0.9f);
    EXPECT_EQ(z->zoom, 0.0625f);
    z->zoom = 1;
    v.magnify(200, 150, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(z->zoom, 0.0625f);
    // Off centre the point under it stays put: 100 right of centre, zoom 1 -> 2, 100 left.
    z->zoom = 1;
    v.magnify(300, 150, 1.0f);
    EXPECT_EQ(z->zoom, 2.0f);
    EXPECT_EQ(z->pan_x, -100.0f);
    // Larger content stops a quarter of the larger side past its edge: (1600 - 400) / 2 + 100
    // across, (1200 - 300) / 2 + 100 down. Smaller content stays centred.
    v.scroll(5000, -5000);
    EXPECT_EQ(pan(), std::pair(700.0f, -550.0f));
    z->zoom = 0.25f;
    v.scroll(30, -20);
    EXPECT_EQ(pan(), std::pair(0.0f, 0.0f));
    v.frame(800, 600);
    EXPECT_EQ(std::tuple(z->x, z->y, z->w), std::tuple(100.0f, 75.0f, 200.0f));
}

TEST(RdView, PreparingShowsSixteenthsRoundedHalfAway) {
    const int want[17] = {0, 6, 13, 19, 25, 31, 38, 44, 50, 56, 63, 69, 75, 81, 88, 94, 100};
    for (int k = 0; k <= 16; k++)
        EXPECT_EQ(rd__preparing_percent(float(k) / 16.0f), want[k]) << k;
}

// Laid out at the grid's size, cell (24, 16) is under (24.5, 16.5).
TEST(RdView, DraggingPaintsADiscAndAClickAloneNothing) {
    Runner r;
    ASSERT_TRUE(r.ready());
    ASSERT_TRUE(r.pause());
    View v(r.rd, 48, 32);
    v.frame(48, 32);
    const std::vector<float> before = r.field();
    ui_mouse_down(v.ui, 0, 0, 24.5f, 16.5f);
    ASSERT_TRUE(r.edited());
    EXPECT_EQ(r.field(), before); // the press only captures
    ui_mouse_move(v.ui, 0, 24.5f, 16.5f);
    ASSERT_TRUE(r.edited());
    const std::vector<float> after = r.field();
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 48; x++) {
            const int dx = x - 24, dy = y - 16, i = y * 48 + x;
            ASSERT_EQ(after[i] != before[i], dx * dx + dy * dy <= 224) << x << "," << y;
        }
    ui_mouse_up(v.ui, 0, 0, 24.5f, 16.5f);
    ui_mouse_move(v.ui, 0, 10.5f, 10.5f); // moving without the button paints nothing
    ASSERT_TRUE(r.edited());
    EXPECT_EQ(r.field(), after);
}

TEST(RdView, BeforeTheRunnerIsReadyInputChangesNothing) {
    Runner r(512, 512); // long enough a preparation to act inside it
    View v(r.rd, 512, 512);
    v.frame(512, 512);
    v.key(49);
    ui_mouse_down(v.ui, 0, 0, 100, 100);
    ui_mouse_move(v.ui, 0, 120, 110);
    ui_mouse_up(v.ui, 0, 0, 120, 110);
    if (rd_is_ready(r.rd))
        GTEST_SKIP() << "the preparation finished before the input";
    EXPECT_EQ(rd__runner_pending(r.rd), 0u);
}

TEST(RdView, PTogglesPauseAndSSavesThePictureOfTheMode) {
    Runner r;
    ASSERT_TRUE(r.ready());
    View v(r.rd, 48, 32);
    v.key(35);
    EXPECT_TRUE(rd_is_paused(r.rd));
    v.key(35);
    EXPECT_FALSE(rd_is_paused(r.rd));
    v.key(49); // space restarts from noise
    EXPECT_GE(rd__runner_pending(r.rd) + rd_get_iterations(r.rd), 1u);
    app_test::fake_zenity zenity;
    const std::string saved = zenity.folder.path + "/saved.png";
    app_test::scoped_env reply("REPLY", saved.c_str());
    rd_advance(r.rd);
    struct Case {
        rd_vis_t vis;
        bool writes;
    };
    for (Case c : {Case{RD_VIS_SCALES, false}, Case{RD_VIS_ORIENT, true}}) {
        std::filesystem::remove(saved);
        rd_set_vis(r.rd, c.vis);
        v.key(1);
        app_main_drain(); // the panel and the writing run from the main queue
        EXPECT_EQ(std::filesystem::exists(saved), c.writes) << c.vis;
    }
    gr_image_s* back = gr_image_create_file(saved.c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::pair(gr_image_get_width(back), gr_image_get_height(back)), std::pair(48u, 32u));
    gr_image_release(back);
}

} // namespace
