// Neighbourhood filters: push-pull fill, bilateral, block decimation, morphology, normal map.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "gr/gr_color.h"
#include "gr/gr_filter.h"
#include "gr_filter_test_util.h"

using grt::Image;
using grt::random_image;
using grt::result;

// ---- push-pull fill ---------------------------------------------------------------------------

TEST(GrFilterAlphaFill, FillsHolesFromTheOpaquePixelsAround) {
    const gr_color_t orange = 0xFFF08020u, teal = 0xFF20A0A0u, green = 0xFF00FF00u;
    const struct {
        const char* what;
        Image src;
        gr_color_t fill;
    } cases[] = {
        {"square hole",
         grt::painted(
             40, 30,
             [&](int x, int y) { return (x >= 10 && x < 18 && y >= 12 && y < 20) ? 0u : orange; }),
         orange},
        {"one opaque pixel",
         grt::painted(64, 40, [&](int x, int y) { return (x == 50 && y == 7) ? teal : 0u; }), teal},
        {"nothing opaque to fill from", grt::filled(20, 12, 0u), 0u},
    };
    for (const auto& c : cases) {
        const auto px = result(gr_filter_alpha_fill(c.src.get()));
        ASSERT_EQ(px.size(), size_t(c.src->width) * c.src->height) << c.what;
        ASSERT_EQ(std::count(px.begin(), px.end(), c.fill), ptrdiff_t(px.size())) << c.what;
    }
    // Deeper than the level limit: the fill still reaches beyond the first levels.
    Image strip = grt::painted(9000, 1, [&](int x, int) { return x < 10 ? green : 0u; });
    const auto filled = result(gr_filter_alpha_fill(strip.get()));
    EXPECT_EQ(std::pair(filled.at(0), filled.at(100)), std::pair(green, green));
    Image opaque = random_image(33, 17, 1);
    EXPECT_EQ(result(gr_filter_alpha_fill(opaque.get())), grt::pixels(opaque.get()));
}

TEST(GrFilterAlphaFill, MixesColoursAcrossAHoleAndBlendsPartlyTransparentPixels) {
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
            EXPECT_EQ(std::pair(grt::alpha(p), grt::green(p)), std::pair(255, 0));
            if (x < 16 || x >= 32) {
                EXPECT_EQ(p, grt::at(src.get(), x, y));
            }
        }
        // Reds fade toward the blue side across the hole.
        EXPECT_GT(grt::red(grt::at(out.get(), 17, y)), grt::red(grt::at(out.get(), 30, y)));
        EXPECT_LT(grt::blue(grt::at(out.get(), 17, y)), grt::blue(grt::at(out.get(), 30, y)));
    }
    // Half-transparent white in opaque black moves toward black, keeping some of its colour.
    Image dot = grt::painted(
        9, 9, [](int x, int y) { return (x == 4 && y == 4) ? 0x80FFFFFFu : 0xFF000000u; });
    const gr_color_t p = result(gr_filter_alpha_fill(dot.get())).at(4 * 9 + 4);
    EXPECT_TRUE(grt::red(p) > 0 && grt::red(p) < 255 && grt::alpha(p) > 0x80) << std::hex << p;
}

// ---- bilateral ----------------------------------------------------------------------------------

TEST(GrFilterBilateral, UniformImageIsUnchangedButOpaqueAndRadiusZeroKeepsPixels) {
    Image src = grt::filled(20, 15, 0x40336699u);
    for (auto [r, s] : {std::pair{0, 1}, {2, 1}, {4, 10}})
        EXPECT_EQ(result(gr_filter_bilateral(src.get(), r, s)),
                  std::vector<uint32_t>(20 * 15, 0xFF336699u))
            << "radius " << r << " sigma " << s;
    Image noisy = random_image(16, 16, 2);
    EXPECT_EQ(result(gr_filter_bilateral(noisy.get(), 0, 3)), grt::pixels(noisy.get()));
}

TEST(GrFilterBilateral, KeepsAStepSharperThanTheGaussian) {
    Image src = grt::painted(32, 8, [](int x, int) { return grt::grey(x < 16 ? 20 : 230); });
    Image bilateral(gr_filter_bilateral(src.get(), 3, 1));
    Image gaussian(gr_filter_gaussian(src.get(), 3));
    for (uint32_t y = 0; y < 8; y++) {
        const int b15 = grt::red(grt::at(bilateral.get(), 15, y));
        const int b16 = grt::red(grt::at(bilateral.get(), 16, y));
        EXPECT_LT(b15, grt::red(grt::at(gaussian.get(), 15, y)));
        EXPECT_GT(b16, grt::red(grt::at(gaussian.get(), 16, y)));
        EXPECT_GT(b15, 20) << "still smooths";
        EXPECT_NEAR(b15 - 20, 230 - b16, 1) << "symmetric about the step";
    }
    EXPECT_EQ(grt::at(bilateral.get(), 0, 0), grt::grey(20));
}

// ---- decimation ---------------------------------------------------------------------------------

TEST(GrFilterDecimateMedian, FillsEachBlockWithItsPixelNearestTheMean) {
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
    // Blocks of one copy the image, a larger one covers it, non-positive sizes are refused.
    EXPECT_EQ(result(gr_filter_decimate_median(src.get(), 1)), grt::pixels(src.get()));
    const auto whole = result(gr_filter_decimate_median(src.get(), 1000));
    EXPECT_EQ(std::count(whole.begin(), whole.end(), whole.at(0)), 11 * 7);
    for (int32_t size : {0, -2})
        EXPECT_EQ(gr_filter_decimate_median(src.get(), size), nullptr) << size;
    // Three dark greys and a white outlier: the mean (~88) is nearest 60.
    Image four = grt::painted(2, 2, [](int x, int y) {
        const int g[4] = {10, 30, 60, 255};
        return grt::grey(g[y * 2 + x]);
    });
    EXPECT_EQ(result(gr_filter_decimate_median(four.get(), 2)),
              std::vector<uint32_t>(4, grt::grey(60)));
}

// ---- morphology ---------------------------------------------------------------------------------

TEST(GrFilterMorphology, ErodeIsBelowAndDilateAboveTheSource) {
    Image src = random_image(23, 19, 5);
    const auto s = grt::pixels(src.get()), e = result(gr_filter_erode(src.get())),
               d = result(gr_filter_dilate(src.get()));
    ASSERT_TRUE(e.size() == s.size() && d.size() == s.size());
    for (size_t i = 0; i < s.size(); i++) {
        for (int shift : {0, 8, 16}) {
            EXPECT_LE((e[i] >> shift) & 0xFF, (s[i] >> shift) & 0xFF);
            EXPECT_GE((d[i] >> shift) & 0xFF, (s[i] >> shift) & 0xFF);
        }
        EXPECT_EQ(std::pair(grt::alpha(e[i]), grt::alpha(d[i])), std::pair(255, 255));
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
    Image want = grt::painted(9, 7, [](int x, int y) {
        if (x <= 1 && y <= 1)
            return 0xFFFF0000u;
        return (x >= 3 && x <= 5 && y >= 2 && y <= 4) ? 0xFFFFFFFFu : 0xFF000000u;
    });
    EXPECT_EQ(grt::pixels(grown.get()), grt::pixels(want.get()));
    EXPECT_EQ(result(gr_filter_erode(grown.get())), grt::pixels(src.get()));
    EXPECT_EQ(result(gr_filter_erode(src.get())), std::vector<uint32_t>(9 * 7, 0xFF000000u));
}

// ---- normal map ---------------------------------------------------------------------------------

TEST(GrFilterNormalmap, FlatPointsStraightUpAndSlopesTiltAlongTheirAxis) {
    const std::vector<uint32_t> up(16 * 16, 0xFF7F7FFFu);
    for (gr_color_t c : {0xFF000000u, 0x00808080u, 0xFFFF2040u})
        EXPECT_EQ(result(gr_filter_normalmap(grt::filled(16, 16, c).get(), 5.0f)), up) << c;
    Image rising_right = grt::painted(16, 16, [](int x, int) { return grt::grey(x * 16); });
    Image rising_down = grt::painted(16, 16, [](int, int y) { return grt::grey(y * 16); });
    const gr_color_t a = result(gr_filter_normalmap(rising_right.get(), 4.0f)).at(8 * 16 + 8);
    const gr_color_t b = result(gr_filter_normalmap(rising_down.get(), 4.0f)).at(8 * 16 + 8);
    EXPECT_TRUE(grt::red(a) > 127 && grt::green(a) == 127 && grt::blue(a) < 255) << std::hex << a;
    EXPECT_TRUE(grt::green(b) > 127 && grt::red(b) == 127) << std::hex << b;
    EXPECT_EQ(grt::red(a), grt::green(b)) << "x and y use transposed kernels";
    EXPECT_EQ(result(gr_filter_normalmap(rising_right.get(), 0.0f)), up);
    EXPECT_GT(grt::red(result(gr_filter_normalmap(rising_right.get(), 8.0f)).at(8 * 16 + 8)),
              grt::red(a))
        << "a steeper slope tilts further";
}

TEST(GrFilterNormalmap, UnitStepGivesTheKernelsHalfWeight) {
    // Brightness 0 then 1: at the step dx = 23 / 46 = 0.5, so n = (0.5, 0, 1) / |.|.
    Image src = grt::painted(10, 10, [](int x, int) { return grt::grey(x < 5 ? 0 : 255); });
    const float len = std::sqrt(1.25f);
    const gr_color_t p = result(gr_filter_normalmap(src.get(), 1.0f)).at(5 * 10 + 4);
    EXPECT_EQ(grt::red(p), int(127.5f * 0.5f / len + 127.5f));
    EXPECT_EQ(grt::blue(p), int(127.5f / len + 127.5f));
}
