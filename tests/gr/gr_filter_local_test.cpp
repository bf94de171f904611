// Neighbourhood filters: push-pull fill, bilateral smoothing, block
// decimation, 3 x 3 morphology and the normal map.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "gr/gr_color.h"
#include "gr/gr_filter.h"
#include "gr_filter_test_util.h"

using grt::Image;

namespace {

Image random_image(uint32_t w, uint32_t h, uint32_t seed) {
    std::mt19937 rng(seed);
    return grt::painted(w, h, [&](int, int) { return gr_color_t(rng()) | 0xFF000000u; });
}

} // namespace

// ---- push-pull fill ---------------------------------------------------------------------------

TEST(GrFilterAlphaFill, KeepsOpaquePixelsAndFillsHolesFromNeighbours) {
    // Opaque orange with a transparent square hole.
    const gr_color_t orange = 0xFFF08020u;
    Image src = grt::painted(40, 30, [&](int x, int y) {
        return (x >= 10 && x < 18 && y >= 12 && y < 20) ? 0x00000000u : orange;
    });
    Image out(gr_filter_alpha_fill(src.get()));
    ASSERT_NE(out, nullptr);
    for (uint32_t p : grt::pixels(out.get()))
        ASSERT_EQ(p, orange);
}

TEST(GrFilterAlphaFill, OpaqueImageIsUnchanged) {
    Image src = random_image(33, 17, 1);
    Image out(gr_filter_alpha_fill(src.get()));
    EXPECT_EQ(grt::pixels(out.get()), grt::pixels(src.get()));
}

TEST(GrFilterAlphaFill, HoleBetweenTwoColoursTakesAMix) {
    // Red on the left, blue on the right, a transparent band between them.
    Image src = grt::painted(48, 8, [](int x, int) {
        if (x < 16)
            return 0xFFFF0000u;
        return x >= 32 ? 0xFF0000FFu : 0x00000000u;
    });
    Image out(gr_filter_alpha_fill(src.get()));
    for (uint32_t y = 0; y < 8; y++) {
        for (uint32_t x = 0; x < 48; x++) {
            const gr_color_t p = grt::at(out.get(), x, y);
            EXPECT_EQ(grt::alpha(p), 255);
            EXPECT_EQ(grt::green(p), 0);
            if (x < 16 || x >= 32) {
                EXPECT_EQ(p, grt::at(src.get(), x, y));
            }
        }
        // Reds fade toward the blue side across the hole.
        EXPECT_GT(grt::red(grt::at(out.get(), 17, y)), grt::red(grt::at(out.get(), 30, y)));
        EXPECT_LT(grt::blue(grt::at(out.get(), 17, y)), grt::blue(grt::at(out.get(), 30, y)));
    }
}

TEST(GrFilterAlphaFill, OneOpaquePixelColoursTheWholeImage) {
    const gr_color_t teal = 0xFF20A0A0u;
    Image src = grt::painted(
        64, 40, [&](int x, int y) { return (x == 50 && y == 7) ? teal : 0x00000000u; });
    Image out(gr_filter_alpha_fill(src.get()));
    for (uint32_t p : grt::pixels(out.get()))
        ASSERT_EQ(p, teal);
}

TEST(GrFilterAlphaFill, BlendsPartlyTransparentPixelsAndLeavesEmptyImagesEmpty) {
    // A half-transparent white pixel in opaque black moves toward black, keeping
    // part of its own colour.
    Image src = grt::painted(
        9, 9, [](int x, int y) { return (x == 4 && y == 4) ? 0x80FFFFFFu : 0xFF000000u; });
    Image out(gr_filter_alpha_fill(src.get()));
    const gr_color_t p = grt::at(out.get(), 4, 4);
    EXPECT_GT(grt::red(p), 0);
    EXPECT_LT(grt::red(p), 255);
    EXPECT_GT(grt::alpha(p), 0x80);
    // Nothing opaque anywhere: nothing to fill from.
    Image clear = grt::filled(20, 12, 0x00000000u);
    Image still(gr_filter_alpha_fill(clear.get()));
    for (uint32_t q : grt::pixels(still.get()))
        EXPECT_EQ(q, 0u);
}

TEST(GrFilterAlphaFill, FillsVeryWideStrips) {
    // Deeper than the level limit: the fill still reaches the far end.
    Image src = grt::painted(9000, 1, [](int x, int) { return x < 10 ? 0xFF00FF00u : 0u; });
    Image out(gr_filter_alpha_fill(src.get()));
    EXPECT_EQ(grt::at(out.get(), 0, 0), 0xFF00FF00u);
    EXPECT_EQ(grt::at(out.get(), 100, 0), 0xFF00FF00u);
}

// ---- bilateral ----------------------------------------------------------------------------------

TEST(GrFilterBilateral, UniformImageIsUnchangedButOpaque) {
    Image src = grt::filled(20, 15, 0x40336699u);
    for (auto [r, s] : {std::pair{0, 1}, {2, 1}, {4, 10}}) {
        Image out(gr_filter_bilateral(src.get(), r, s));
        for (uint32_t p : grt::pixels(out.get()))
            ASSERT_EQ(p, 0xFF336699u) << "radius " << r << " sigma " << s;
    }
}

TEST(GrFilterBilateral, RadiusZeroKeepsEveryPixel) {
    Image src = random_image(16, 16, 2);
    Image out(gr_filter_bilateral(src.get(), 0, 3));
    EXPECT_EQ(grt::pixels(out.get()), grt::pixels(src.get()));
}

TEST(GrFilterBilateral, KeepsAStepSharperThanTheGaussian) {
    Image src = grt::painted(32, 8, [](int x, int) { return grt::grey(x < 16 ? 20 : 230); });
    Image bilateral(gr_filter_bilateral(src.get(), 3, 1));
    Image gaussian(gr_filter_gaussian(src.get(), 3));
    for (uint32_t y = 0; y < 8; y++) {
        const int b15 = grt::red(grt::at(bilateral.get(), 15, y));
        const int g15 = grt::red(grt::at(gaussian.get(), 15, y));
        const int b16 = grt::red(grt::at(bilateral.get(), 16, y));
        const int g16 = grt::red(grt::at(gaussian.get(), 16, y));
        EXPECT_LT(b15, g15);
        EXPECT_GT(b16, g16);
        EXPECT_GT(b15, 20) << "still smooths";
        // Symmetric about the step.
        EXPECT_NEAR(b15 - 20, 230 - b16, 1);
    }
    EXPECT_EQ(grt::at(bilateral.get(), 0, 0), grt::grey(20));
}

// ---- decimation
// ------------------------------------------------------------------------------------

TEST(GrFilterDecimateMedian, FillsEachBlockWithOneOfItsOwnPixels) {
    Image src = random_image(11, 7, 3);
    Image out(gr_filter_decimate_median(src.get(), 3));
    ASSERT_NE(out, nullptr);
    for (uint32_t by = 0; by < 7; by += 3)
        for (uint32_t bx = 0; bx < 11; bx += 3) {
            const gr_color_t pick = grt::at(out.get(), bx, by);
            bool member = false;
            for (uint32_t y = by; y < std::min(by + 3, 7u); y++)
                for (uint32_t x = bx; x < std::min(bx + 3, 11u); x++) {
                    EXPECT_EQ(grt::at(out.get(), x, y), pick) << x << "," << y;
                    member = member || grt::at(src.get(), x, y) == pick;
                }
            EXPECT_TRUE(member) << "block " << bx << "," << by;
        }
}

TEST(GrFilterDecimateMedian, PicksThePixelNearestTheMean) {
    // Three dark greys and a white outlier: the mean (~88) is nearest the
    // darkest-but-one grey.
    Image src = grt::painted(2, 2, [](int x, int y) {
        const int g[4] = {10, 30, 60, 255};
        return grt::grey(g[y * 2 + x]);
    });
    Image out(gr_filter_decimate_median(src.get(), 2));
    for (uint32_t p : grt::pixels(out.get()))
        EXPECT_EQ(p, grt::grey(60));
}

TEST(GrFilterDecimateMedian, BlockOfOneIsIdentityAndNonPositiveIsRefused) {
    Image src = random_image(9, 4, 4);
    Image out(gr_filter_decimate_median(src.get(), 1));
    EXPECT_EQ(grt::pixels(out.get()), grt::pixels(src.get()));
    EXPECT_EQ(gr_filter_decimate_median(src.get(), 0), nullptr);
    EXPECT_EQ(gr_filter_decimate_median(src.get(), -2), nullptr);
    // A block larger than the image covers all of it.
    Image whole(gr_filter_decimate_median(src.get(), 1000));
    const auto px = grt::pixels(whole.get());
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [&](uint32_t p) { return p == px[0]; }));
}

// ---- morphology
// -----------------------------------------------------------------------------------

TEST(GrFilterMorphology, ErodeIsBelowAndDilateAboveTheSource) {
    Image src = random_image(23, 19, 5);
    Image lo(gr_filter_erode(src.get()));
    Image hi(gr_filter_dilate(src.get()));
    const auto s = grt::pixels(src.get()), e = grt::pixels(lo.get()), d = grt::pixels(hi.get());
    for (size_t i = 0; i < s.size(); i++) {
        for (int shift : {0, 8, 16}) {
            const int sv = int((s[i] >> shift) & 0xFF), ev = int((e[i] >> shift) & 0xFF),
                      dv = int((d[i] >> shift) & 0xFF);
            EXPECT_LE(ev, sv);
            EXPECT_GE(dv, sv);
        }
        EXPECT_EQ(grt::alpha(e[i]), 255);
        EXPECT_EQ(grt::alpha(d[i]), 255);
    }
}

TEST(GrFilterMorphology, GrowsAndShrinksByOnePixelPerChannel) {
    // A white dot at (4, 3) and a red dot in the top-left corner on black.
    Image src = grt::painted(9, 7, [](int x, int y) {
        if (x == 4 && y == 3)
            return 0xFFFFFFFFu;
        return (x == 0 && y == 0) ? 0xFFFF0000u : 0xFF000000u;
    });
    Image grown(gr_filter_dilate(src.get()));
    for (uint32_t y = 0; y < 7; y++)
        for (uint32_t x = 0; x < 9; x++) {
            const bool near_dot = x >= 3 && x <= 5 && y >= 2 && y <= 4;
            const bool near_corner = x <= 1 && y <= 1;
            gr_color_t want = near_dot ? 0xFFFFFFFFu : 0xFF000000u;
            if (near_corner)
                want = 0xFFFF0000u;
            EXPECT_EQ(grt::at(grown.get(), x, y), want) << x << "," << y;
        }
    Image shrunk(gr_filter_erode(grown.get()));
    EXPECT_EQ(grt::pixels(shrunk.get()), grt::pixels(src.get()));
    Image gone(gr_filter_erode(src.get()));
    for (uint32_t p : grt::pixels(gone.get()))
        EXPECT_EQ(p, 0xFF000000u);
}

// ---- normal map
// -------------------------------------------------------------------------------------

TEST(GrFilterNormalmap, FlatImagePointsStraightUp) {
    for (gr_color_t c : {0xFF000000u, 0x00808080u, 0xFFFF2040u}) {
        Image src = grt::filled(12, 9, c);
        Image out(gr_filter_normalmap(src.get(), 5.0f));
        for (uint32_t p : grt::pixels(out.get()))
            ASSERT_EQ(p, 0xFF7F7FFFu);
    }
}

TEST(GrFilterNormalmap, SlopesTiltTheNormalAlongTheirAxis) {
    Image rising_right = grt::painted(16, 16, [](int x, int) { return grt::grey(x * 16); });
    Image rising_down = grt::painted(16, 16, [](int, int y) { return grt::grey(y * 16); });
    Image nx(gr_filter_normalmap(rising_right.get(), 4.0f));
    Image ny(gr_filter_normalmap(rising_down.get(), 4.0f));
    Image none(gr_filter_normalmap(rising_right.get(), 0.0f));
    const gr_color_t a = grt::at(nx.get(), 8, 8), b = grt::at(ny.get(), 8, 8);
    EXPECT_GT(grt::red(a), 127);
    EXPECT_EQ(grt::green(a), 127);
    EXPECT_LT(grt::blue(a), 255);
    EXPECT_GT(grt::green(b), 127);
    EXPECT_EQ(grt::red(b), 127);
    EXPECT_EQ(grt::red(a), grt::green(b)) << "x and y use transposed kernels";
    for (uint32_t p : grt::pixels(none.get()))
        EXPECT_EQ(p, 0xFF7F7FFFu);
    // A steeper slope tilts further.
    Image steeper(gr_filter_normalmap(rising_right.get(), 8.0f));
    EXPECT_GT(grt::red(grt::at(steeper.get(), 8, 8)), grt::red(a));
}

TEST(GrFilterNormalmap, UnitStepGivesTheKernelsHalfWeight) {
    // Brightness 0 then 1: at the step dx = 23 / 46 = 0.5, so n = (0.5, 0, 1) / |.|.
    Image src = grt::painted(10, 10, [](int x, int) { return grt::grey(x < 5 ? 0 : 255); });
    Image out(gr_filter_normalmap(src.get(), 1.0f));
    const float len = std::sqrt(1.25f);
    const gr_color_t p = grt::at(out.get(), 4, 5);
    EXPECT_EQ(grt::red(p), int(127.5f * 0.5f / len + 127.5f));
    EXPECT_EQ(grt::blue(p), int(127.5f / len + 127.5f));
}
