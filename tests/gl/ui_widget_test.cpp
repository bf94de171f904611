// The toolkit's faces drawn off screen: colours read back where the widget rules put them.

#include <cstdlib>

#include "app/app_resource.h"
#include "gl_fixture.h"
#include "gr/gr_color.h"
#include "ui/ui_controls.h"
#include "ui/ui_layout.h"
#include "ui/ui_media.h"
#include "ui/ui_model.h"
#include "ui/ui_select.h"
#include "ui/ui_theme.h"
#include "ui/ui_widget.h"

namespace {

constexpr int W = 320, H = 160;
constexpr gr_color_t kClear = 0xff000000;

int luminance(uint32_t c) {
    return int(((c >> 16) & 0xff) + ((c >> 8) & 0xff) + (c & 0xff)) / 3;
}

// The darkest and lightest luminance inside a rectangle of a W x H frame.
std::pair<int, int> range(const std::vector<uint32_t>& px, int x0, int y0, int x1, int y1) {
    std::pair<int, int> r = {255, 0};
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            r.first = std::min(r.first, luminance(px[y * W + x]));
            r.second = std::max(r.second, luminance(px[y * W + x]));
        }
    return r;
}

// A UI in a W x H framebuffer with both fonts; each control at the root's corner, sized.
class UiGl : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        use_framebuffer(W, H);
        unsigned size = 0;
        text_font = app_resource_load("RobotoLight", &size);
        ASSERT_GE(gr_ui_font_text(ctx, size, text_font), 0);
        icon_font = app_resource_load("pixelwrenicons", &size);
        ASSERT_GE(gr_ui_font_icons(ctx, size, icon_font), 0);
        model = ui_model_create();
        ui = ui_create(model);
    }
    void TearDown() override {
        ui_destroy(ui);
        ui_model_destroy(model);
        GlTest::TearDown();
        std::free(text_font);
        std::free(icon_font);
    }
    uic_s* sized(uic_s* control, float w, float h) {
        ui_layout_dims(ui, control, w, h);
        return control;
    }
    // One frame of the UI; the pixels afterwards.
    using GlTest::frame;
    std::vector<uint32_t> frame() {
        return frame([&](Context* c) { ui_draw(ui, c, 0, 0, W, H); }, kClear);
    }

    void *text_font = nullptr, *icon_font = nullptr;
    ui_model_s* model = nullptr;
    ui_s* ui = nullptr;
};

// Resting grey, hovered lightened by 1/8 (96 + 159/8 = 115), pressed orange with dark text.
TEST_F(UiGl, ButtonFaceAndTextFollowHoverAndPress) {
    sized(ui_add_button(ui, "Press", nullptr, nullptr), 200, 48);
    const struct {
        const char* what;
        void (*input)(ui_s*);
        uint32_t face;
        bool dark_text;
    } cases[] = {
        {"resting", [](ui_s*) {}, 0xff606060, false},
        {"hovered", [](ui_s* u) { ui_mouse_move(u, 0, 100, 24); }, 0xff737373, false},
        {"pressed", [](ui_s* u) { ui_mouse_down(u, 0, 0, 100, 24); }, 0xfff89b18, true},
        {"released outside", [](ui_s* u) { ui_mouse_up(u, 0, 0, 300, 100); }, 0xff606060, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.input(ui);
        const auto px = frame();
        EXPECT_TRUE(gl_near(at(px, 10, 24), c.face)) << std::hex << at(px, 10, 24);
        EXPECT_TRUE(gl_near(at(px, 190, 8), c.face));
        const auto [lo, hi] = range(px, 60, 10, 140, 38); // the label's box
        if (c.dark_text)
            EXPECT_LT(lo, 40); // 0x0c text on orange
        else
            EXPECT_GT(hi, 150);                        // 0xce text on grey
        EXPECT_TRUE(gl_near(at(px, 250, 24), kClear)); // nothing outside the button
    }
}

// Track 200 x 24, knob (text colour, 22 wide) at 12 + 176 pos for values 0, 2.5, 10 (exponent 2).
TEST_F(UiGl, SliderKnobSitsAtItsPosition) {
    ui_slider_set_exp(sized(ui_add_slider(ui, "", "v", 0, 10), 200, 24), 2);
    const struct {
        float value;
        int knob;
    } cases[] = {{0, 12}, {2.5f, 100}, {10, 188}};
    for (const auto& c : cases) {
        ui_model_set_float(model, "v", c.value);
        const auto px = frame();
        for (const auto& other : cases) {
            const bool here = other.knob == c.knob;
            EXPECT_EQ(gl_near(at(px, other.knob, 12), ui_theme_color_text(0), 6), here)
                << c.value << " at " << other.knob << ": " << std::hex << at(px, other.knob, 12);
        }
        // The filled part runs from the left end to the knob.
        if (c.knob > 12) {
            EXPECT_TRUE(gl_near(at(px, c.knob - 16, 2), 0xff8f989f)) << c.value;
        }
        if (c.knob < 188) {
            EXPECT_TRUE(gl_near(at(px, c.knob + 20, 2), 0xff606060)) << c.value;
        }
    }
}

// The value text starts 32 right of the knob's position: "2.50", at scale 100 the longer "250.00".
TEST_F(UiGl, SliderValueTextShowsTheScaledValue) {
    uic_s* slider = ui_slider_set_exp(sized(ui_add_slider(ui, "", "v", 0, 10), 300, 24), 2);
    ui_model_set_float(model, "v", 2.5f); // pos 0.5: text from 150 + 32
    for (float scale : {1.0f, 100.0f}) {
        ui_slider_set_scale(slider, scale);
        const auto px = frame();
        EXPECT_LT(range(px, 176, 4, 181, 20).second, 100)
            << scale; // the bare track before the text
        EXPECT_GT(range(px, 182, 4, 205, 20).second, 110) << scale; // the first digits
        // Only "250.00" reaches here.
        EXPECT_EQ(range(px, 216, 4, 240, 20).second > 110, scale == 100.0f) << scale;
    }
}

TEST_F(UiGl, CheckboxCrossOnlyWhenChecked) {
    sized(ui_add_checkbox(ui, "", "on"), 24, 24);
    for (bool checked : {false, true}) {
        if (checked)
            ui_mouse_down(ui, 0, 0, 12, 12); // toggles on press
        const auto px = frame();
        // The cross runs through the box's centre; its corners stay box grey.
        EXPECT_EQ(gl_near(at(px, 12, 12), ui_theme_color_text(0), 8), checked);
        EXPECT_TRUE(gl_near(at(px, 12, 3), 0xff606060));
        EXPECT_EQ(gl_near(at(px, 8, 8), ui_theme_color_text(0), 8), checked);
    }
}

// The shadow (offset 2 down) is darker below than above, reaches past every side, leaves the box
// alone and fades out within 10 points.
TEST_F(UiGl, BoxShadowExtendsPastTheBox) {
    const gr_color_t white = 0xffffffff;
    const auto px = frame([](Context* c) { gr_ui_box_shadow(c, 100, 50, 120, 60); }, white);
    const int below = luminance(at(px, 160, 113)), above = luminance(at(px, 160, 48));
    EXPECT_TRUE(below < 245 && above < 255 && below < above) << below << " " << above;
    EXPECT_LT(luminance(at(px, 97, 80)), 255);  // left
    EXPECT_LT(luminance(at(px, 223, 80)), 255); // right
    EXPECT_EQ(at(px, 160, 80), white);          // the box: a hole in the path
    EXPECT_EQ(at(px, 160, 135), white);         // past the path
    EXPECT_EQ(at(px, 20, 20), white);
}

// Index controls draw their selection from the model at every frame.
TEST_F(UiGl, SelectionIsDrawnFromTheModel) {
    static const char* items[] = {"a", "b", "c", "d"};
    uic_s* (*const adds[])(ui_s*) = {
        [](ui_s* u) { return ui_add_list(u, 3, items, "sel"); },
        [](ui_s* u) { return ui_add_icon_set(u, 3, items, nullptr, "sel", UI_ICON_SET_ROW); },
        [](ui_s* u) { return ui_add_segment(u, 3, items, "sel"); },
        [](ui_s* u) { return ui_add_wizard(u, 4, items, "sel"); },
    };
    const struct {
        const char* what;
        float w, h;
        int probe_x[3], probe_y; // a point inside items 0, 1, 2
    } cases[] = {{"list", 200, 120, {10, 10, 10}, 0},
                 {"icon row", 300, 24, {10, 110, 210}, 4},
                 {"segment", 300, 32, {10, 110, 210}, 4},
                 {"wizard", 300, 40, {4, 81, 156}, 6}};
    for (size_t k = 0; k < 4; k++) {
        const auto& c = cases[k];
        SCOPED_TRACE(c.what);
        ui_destroy(ui);
        ui = ui_create(model);
        sized(adds[k](ui), c.w, c.h);
        for (int sel = 0; sel < 3; sel++) {
            ui_model_set_int(model, "sel", sel);
            const auto px = frame();
            for (int i = 0; i < 3; i++) {
                // List rows are 36 high: probe each row's top part.
                const int y = c.probe_y ? c.probe_y : 36 * i + 6;
                EXPECT_EQ(gl_near(at(px, c.probe_x[i], y), ui_theme_color_key(), 6), i == sel)
                    << "sel " << sel << " item " << i << std::hex << " " << at(px, c.probe_x[i], y);
            }
        }
    }
}

TEST_F(UiGl, ProgressShowsOnlyBetweenTheEnds) {
    sized(ui_add_progress(ui, 0, "p"), 200, 10);
    const struct {
        float value;
        uint32_t at_10, at_100;
    } cases[] = {{0, kClear, kClear}, {1, kClear, kClear}, {0.25f, 0xfff89b18, 0xff606060}};
    for (const auto& c : cases) {
        ui_model_set_float(model, "p", c.value);
        const auto px = frame();
        EXPECT_TRUE(gl_near(at(px, 10, 5), c.at_10)) << c.value;
        EXPECT_TRUE(gl_near(at(px, 100, 5), c.at_100)) << c.value;
    }
}

// A 20 x 20 image zoomed about the centre, which stays put: 1 doubles it (90..110 to 80..120).
TEST_F(UiGl, ImageZoomsAboutTheGesturePoint) {
    const std::vector<uint32_t> red(400, 0xffff0000);
    gr_image_s* image = gr_image_create_pixels(20, 20, red.data());
    ui_model_set_ptr(model, "img", image);
    sized(ui_add_image(ui, "img", UI_IMAGE_ZOOM), 200, 160);
    const struct {
        float amount;
        int inside, outside; // x of a red and of a clear pixel on the middle row
    } cases[] = {{0, 91, 88}, {1, 81, 78}, {-0.5f, 91, 88}};
    for (const auto& c : cases) {
        ui_mouse_move(ui, 0, 100, 80);
        ui_magnify(ui, 100, 80, c.amount);
        const auto px = frame();
        EXPECT_TRUE(gl_near(at(px, c.inside, 80), 0xffff0000)) << c.amount;
        EXPECT_TRUE(gl_near(at(px, 200 - c.inside, 80), 0xffff0000)) << c.amount;
        EXPECT_TRUE(gl_near(at(px, c.outside, 80), kClear)) << c.amount;
    }
    gr_image_release(image);
}

} // namespace
