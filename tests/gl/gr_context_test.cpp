#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>
#include <utility>

#include "app/app_resource.h"
#include "gl_fixture.h"
#include "nanovg.h"

namespace {

gr_image_s* solid(int w, int h, uint32_t color) {
    const std::vector<uint32_t> px(size_t(w) * h, color);
    return gr_image_create_pixels(w, h, px.data());
}

// Fills in colour with no outline.
void fill_only(Context* c, gr_color_t colour) {
    gr_context_fill_color(c, colour);
    gr_context_stroke_color(c, 0);
}

TEST_F(GlTest, ClearAndTranslucentFillBlendOverTheBackground) {
    auto px = frame([](Context*) {}, 0xFF336699);
    EXPECT_EQ(at(px, 5, 5), 0xFF336699u);
    px = frame(
        [](Context* c) {
            fill_only(c, 0x40FFFFFF);
            gr_context_draw_rect(c, 0, 0, kWidth, kHeight);
        },
        0xFF808080);
    // 64/255 of white over 128 grey: 64 + 128 * 191/255 = 160.
    EXPECT_TRUE(gl_near(at(px, 32, 32), 0xFFA0A0A0, 2)) << std::hex << at(px, 32, 32);
}

TEST_F(GlTest, RoundRectangleRoundsOnlyTheNamedCornersAndCapsTheRadius) {
    struct Case {
        int corners;
        bool top_left, top_right, bottom_right, bottom_left; // corner pixel filled
    };
    const Case cases[] = {
        {0, true, true, true, true},
        {GR_CORNER_TOP_LEFT, false, true, true, true},
        {GR_CORNER_ALL, false, false, false, false},
    };
    for (const Case& c : cases) {
        auto px = frame([&](Context* g) {
            fill_only(g, 0xFFFFFFFF);
            gr_context_draw_roundrect(g, c.corners, 8, 8, 48, 48, 12);
        });
        SCOPED_TRACE(c.corners);
        EXPECT_EQ(at(px, 8, 8) == 0xFFFFFFFF, c.top_left);
        EXPECT_EQ(at(px, 55, 8) == 0xFFFFFFFF, c.top_right);
        EXPECT_EQ(at(px, 55, 55) == 0xFFFFFFFF, c.bottom_right);
        EXPECT_EQ(at(px, 8, 55) == 0xFFFFFFFF, c.bottom_left);
        EXPECT_EQ(at(px, 32, 32), 0xFFFFFFFFu);
    }
    // A radius past half the height rounds by half of each side: half ellipses 20 x 10.
    auto px = frame([](Context* g) {
        fill_only(g, 0xFFFFFFFF);
        gr_context_draw_roundrect(g, GR_CORNER_ALL, 12, 20, 40, 20, 100);
    });
    EXPECT_EQ(at(px, 13, 30), 0xFFFFFFFFu); // left end at mid-height
    EXPECT_EQ(at(px, 32, 21), 0xFFFFFFFFu); // top at mid-width
    EXPECT_EQ(at(px, 14, 22), 0xFF000000u); // inside the box, outside the ellipse
    EXPECT_EQ(at(px, 50, 38), 0xFF000000u);
}

TEST_F(GlTest, DensityScalesTheViewportAndZeroCountsAsOne) {
    auto fill = [](Context* c) {
        fill_only(c, 0xFFFFFFFF);
        gr_context_draw_rect(c, 16, 16, 16, 16);
    };
    auto px = frame(fill, 0xFF000000, 32, 32, 2);
    EXPECT_EQ(std::tuple(ctx->density, at(px, 40, 40), at(px, 20, 20)),
              std::tuple(2, 0xFFFFFFFFu, 0xFF000000u));
    px = frame(fill, 0xFF000000, kWidth, kHeight, 0);
    EXPECT_EQ(std::tuple(ctx->density, at(px, 20, 20), at(px, 40, 40)),
              std::tuple(1, 0xFFFFFFFFu, 0xFF000000u));
}

TEST_F(GlTest, ImageTextureIsMadeOnceAndRefreshedOnlyAfterAModifyingUnlock) {
    // A red word must read back red: BGRA upload keeps the channels in place.
    gr_image_s* image = solid(4, 4, 0xFFFF0000);
    auto draw = [&](Context* c) { gr_context_draw_image(c, image, 0, 0, kWidth, kHeight); };
    EXPECT_EQ(at(frame(draw), 32, 32), 0xFFFF0000u);
    EXPECT_EQ(at(frame(draw), 32, 32), 0xFFFF0000u);
    EXPECT_EQ(image->attachment_count, 1u);
    // Pixels changed behind an unlock that reports no change are not uploaded.
    uint32_t* px = gr_image_pixels_lock(image);
    for (int i = 0; i < 16; i++)
        px[i] = 0xFF00FF00;
    gr_image_pixels_unlock(image, false);
    EXPECT_EQ(at(frame(draw), 32, 32), 0xFFFF0000u);
    gr_image_pixels_lock(image);
    gr_image_pixels_unlock(image, true);
    EXPECT_EQ(at(frame(draw), 32, 32), 0xFF00FF00u);
    EXPECT_EQ(image->attachment_count, 1u);
    gr_image_release(image);
}

TEST_F(GlTest, ImagesOutlivingTheirContextNeverReachItsRenderer) {
    gr_image_s* image = solid(2, 2, 0xFF0000FF);
    auto draw = [&](Context* c) { gr_context_draw_image(c, image, 0, 0, kWidth, kHeight); };
    frame(draw);
    gr_context_destroy(ctx);
    ctx = gr_context_create();
    // The old record is disowned: an unlock must not touch the dead renderer; a new texture.
    gr_image_pixels_lock(image);
    gr_image_pixels_unlock(image, true);
    EXPECT_EQ(at(frame(draw), 32, 32), 0xFF0000FFu);
    EXPECT_EQ(image->attachment_count, 2u);
    gr_image_release(image);
    frame([](Context*) {}); // deletes the freed image's texture
}

TEST_F(GlTest, TextOfTheEmbeddedFontHasExtentAndAnEmptyStringHasNone) {
    unsigned size = 0;
    void* font = app_resource_load("RobotoLight", &size);
    ASSERT_NE(font, nullptr);
    ASSERT_GE(nvgCreateFontMem(ctx->vg, "text", static_cast<unsigned char*>(font), int(size), 1),
              0);
    float w = -1, h = -1;
    auto px = frame([&](Context* c) {
        gr_context_text_font(c, "text", 16);
        gr_context_text_dims(c, "Spotweave", &w, &h);
        gr_context_fill_color(c, 0xFFFFFFFF);
        gr_context_text(c, "Spotweave", 0, 0);
    });
    EXPECT_TRUE(w > 30.0f && h > 8.0f) << w << " x " << h;
    int lit = 0;
    for (uint32_t p : px)
        lit += p != 0xFF000000;
    EXPECT_GT(lit, 20);
    gr_context_text_dims(ctx, "", &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(0.0f, 0.0f));
}

} // namespace
