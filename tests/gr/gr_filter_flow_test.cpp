// Line filters along the flow: two-colour drawings, their limits, the degenerate flow filter
// against the isotropic one, and line integral convolution along and across the flow.

#include <gtest/gtest.h>

#include <vector>

#include "gr/gr_complex.h"
#include "gr/gr_filter_flow.h"
#include "gr_filter_test_util.h"

namespace {

constexpr uint32_t WHITE = 0xFFFFFFFFu, BLACK = 0xFF000000u;

grt::Image lines(gr_image_s* image, const gr_complex* cx) {
    return grt::Image(gr_filter_fDoG(image, cx, 5, 8, 8, 2, 0.98f, 0.9999f));
}

int count(const gr_image_s* image, uint32_t colour) {
    int n = 0;
    for (uint32_t p : grt::pixels(image))
        n += p == colour;
    return n;
}

} // namespace

TEST(GrFilterFDoG, UniformImageIsAllWhiteUnlessBlack) {
    // Any brightness above 0 is white; black, transparent black too, is black.
    for (uint32_t c : {0xFF000100u, 0xFF002500u, 0xFF008000u, 0xFF00FF00u, BLACK, 0u}) {
        grt::Image image = grt::filled(23, 17, c);
        grt::Complex cx = grt::analyse(image.get(), 3, 3);
        EXPECT_EQ(count(lines(image.get(), cx.get()).get(), c & 0xFFFFFF ? WHITE : BLACK), 23 * 17)
            << std::hex << c;
    }
}

TEST(GrFilterFDoG, StepEdgeGivesOneContinuousLineOnItsDarkSide) {
    const int w = 40, h = 32;
    grt::Image image = grt::painted(w, h, [](int, int y) { return grt::grey(y < 16 ? 230 : 40); });
    const std::vector<uint32_t> before = grt::pixels(image.get());
    grt::Complex cx = grt::analyse(image.get(), 3, 3);
    const std::vector<float> tangents(cx->tangent_x, cx->tangent_x + w * h);
    grt::Image out = lines(image.get(), cx.get());
    for (uint32_t p : grt::pixels(out.get()))
        ASSERT_TRUE(p == WHITE || p == BLACK);
    for (int x = 0; x < w; x++) {
        // The bright side stays white: its cross samples outweigh the dark ones.
        for (int y = 0; y < 16; y++)
            EXPECT_EQ(grt::at(out.get(), x, y), WHITE) << x << "," << y;
        for (int y = 18; y <= 20; y++)
            EXPECT_EQ(grt::at(out.get(), x, y), BLACK) << "column " << x << " breaks the line";
        for (int y = 24; y < h; y++)
            EXPECT_EQ(grt::at(out.get(), x, y), WHITE) << x << "," << y;
    }
    EXPECT_EQ(grt::pixels(image.get()), before) << "source untouched";
    EXPECT_EQ(std::vector<float>(cx->tangent_x, cx->tangent_x + w * h), tangents);
}

TEST(GrFilterFDoG, WithoutFlowOrCrossStepsItIsTheIsotropicFilter) {
    grt::Image image = grt::photo("astronaut_512x512_rgb.png");
    grt::Image small(gr_image_get_rect(image.get(), 100, 60, 160, 120));
    grt::Complex cx = grt::analyse(small.get(), 3, 1);
    grt::Image flow(gr_filter_fDoG(small.get(), cx.get(), 2, 4, 0, 0, 0.98f, 0.9999f));
    grt::Image iso(gr_filter_DoG(small.get(), 2, 4, 0.98f, 0.9999f));
    const int black = count(iso.get(), BLACK);
    EXPECT_TRUE(black > 100 && black < 160 * 120 / 2) << black;
    // Where the source is pure black the cross weights vanish: black; elsewhere the two agree.
    int differ = 0, dark = 0;
    for (uint32_t y = 0; y < 120; y++)
        for (uint32_t x = 0; x < 160; x++) {
            if ((grt::at(small.get(), x, y) & 0xFFFFFF) == 0) {
                dark++;
                EXPECT_EQ(grt::at(flow.get(), x, y), BLACK);
            } else {
                differ += grt::at(flow.get(), x, y) != grt::at(iso.get(), x, y);
            }
        }
    EXPECT_EQ(differ, 0);
    EXPECT_LT(dark, 160 * 120 / 10);
}

TEST(GrFilterDoG, ThresholdDecidesTheNegativeResponses) {
    grt::Image image =
        grt::painted(32, 32, [](int x, int) { return grt::grey(x < 16 ? 200 : 20); });
    grt::Image strict(gr_filter_DoG(image.get(), 1, 3, 0.98f, 2.0f));
    grt::Image usual(gr_filter_DoG(image.get(), 1, 3, 0.98f, 0.9999f));
    grt::Image lax(gr_filter_DoG(image.get(), 1, 3, 0.98f, 0.0f));
    // The dark side next to the edge responds negatively.
    EXPECT_EQ(grt::at(usual.get(), 16, 5), BLACK);
    EXPECT_EQ(grt::at(usual.get(), 15, 5), WHITE);
    EXPECT_EQ(count(lax.get(), WHITE), 32 * 32) << "1 + tanh is never below 0";
    EXPECT_GE(count(strict.get(), BLACK), count(usual.get(), BLACK));
    // A uniform picture responds (1 - tau) b >= 0 everywhere, black included.
    EXPECT_EQ(
        count(grt::Image(gr_filter_DoG(grt::filled(8, 8, BLACK).get(), 2, 5, 0.98f, 0.9999f)).get(),
              WHITE),
        64);
}

TEST(GrFilterLIC, UniformImageKeepsItsColourOpaque) {
    for (gr_color_t c : {0xFF7F3A91u, 0x40FFFFFFu, 0xFF000000u, 0x00010203u}) {
        grt::Image image = grt::filled(21, 15, c);
        grt::Complex cx = grt::analyse(image.get(), 3, 3);
        for (int steps : {0, 1, 7, 8}) {
            grt::Image out(gr_filter_LIC(image.get(), cx.get(), steps, 1));
            for (uint32_t p : grt::pixels(out.get()))
                ASSERT_EQ(p, c | 0xFF000000u) << std::hex << c << " steps " << steps;
        }
    }
}

TEST(GrFilterLIC, AveragesAlongTheFlowNotAcrossIt) {
    // A flat picture's flow is (1, 0) everywhere: streamlines are rows.
    grt::Image flat = grt::filled(24, 16, grt::grey(128));
    grt::Complex cx = grt::analyse(flat.get(), 3, 1);
    grt::Image rows = grt::painted(24, 16, [](int, int y) { return grt::grey(y % 2 ? 250 : 10); });
    grt::Image along(gr_filter_LIC(rows.get(), cx.get(), 3, 0));
    EXPECT_EQ(grt::pixels(along.get()), grt::pixels(rows.get())) << "rows survive";
    grt::Image cols = grt::painted(24, 16, [](int x, int) { return grt::grey(x % 2 ? 210 : 0); });
    grt::Image across(gr_filter_LIC(cols.get(), cx.get(), 3, 0));
    // Away from the borders each pixel averages 3 or 4 of its 7 columns.
    EXPECT_EQ(grt::red(grt::at(across.get(), 10, 5)), 120); // 4 x 210 / 7
    EXPECT_EQ(grt::red(grt::at(across.get(), 11, 5)), 90);  // 3 x 210 / 7
    EXPECT_EQ(grt::alpha(grt::at(across.get(), 11, 5)), 255);
    // Across the flow: the binomial (1, 2, 1) mixes neighbouring rows.
    grt::Image mixed(gr_filter_LIC(rows.get(), cx.get(), 0, 1));
    EXPECT_EQ(grt::red(grt::at(mixed.get(), 5, 6)), (250 + 2 * 10 + 250) / 4);
}
