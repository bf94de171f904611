// Per-pixel and geometric filters; every filter gives a new unlocked result, its input unchanged.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>

#include "gr/gr_color.h"
#include "gr/gr_filter.h"
#include "gr_filter_test_util.h"

using grt::Image;
using grt::random_image;
using grt::result;

namespace {

// The 512 x 512 lookup whose cell for (r, g, b) holds its own 6-bit corner, spread to 8 bits.
Image identity_lut() {
    return grt::painted(512, 512, [](int x, int y) {
        const uint32_t r6 = uint32_t(x) & 63, g6 = uint32_t(y) & 63;
        const uint32_t b6 = uint32_t(y / 64) * 8 + uint32_t(x / 64);
        auto spread = [](uint32_t v) { return v << 2 | v >> 4; };
        return 0xFF000000u | spread(r6) << 16 | spread(g6) << 8 | spread(b6);
    });
}

Image row(std::vector<gr_color_t> colours) {
    return grt::painted(uint32_t(colours.size()), 1, [&](int x, int) { return colours[x]; });
}

} // namespace

// ---- calling convention -----------------------------------------------------------------

TEST(GrFilterFamily, NewImageFiltersReadTheirInputUnchangedAndReturnUnlockedResults) {
    const gr_color_t palette[3] = {0xFF000000u, 0xFFFF8000u, 0xFFFFFFFFu};
    Image lut = identity_lut();
    Image other = random_image(24, 16, 2);
    const std::vector<std::pair<const char*, std::function<gr_image_s*(gr_image_s*)>>> filters = {
        {"3dlut", [&](gr_image_s* i) { return gr_filter_3dlut(i, lut.get()); }},
        {"alpha_fill", [](gr_image_s* i) { return gr_filter_alpha_fill(i); }},
        {"bilateral", [](gr_image_s* i) { return gr_filter_bilateral(i, 2, 1); }},
        {"binary_diff",
         [&](gr_image_s* i) { return gr_filter_binary_diff(i, other.get(), 10, other.get()); }},
        {"brightness", [](gr_image_s* i) { return gr_filter_brightness(i); }},
        {"crop", [](gr_image_s* i) { return gr_filter_crop(i, 3, 2, 10, 9); }},
        {"decimate_median", [](gr_image_s* i) { return gr_filter_decimate_median(i, 4); }},
        {"dilate", [](gr_image_s* i) { return gr_filter_dilate(i); }},
        {"erode", [](gr_image_s* i) { return gr_filter_erode(i); }},
        {"distfield", [](gr_image_s* i) { return gr_filter_distfield(i); }},
        {"distfield_inv", [](gr_image_s* i) { return gr_filter_distfield_inv(i, 8.0f); }},
        {"invert", [](gr_image_s* i) { return gr_filter_invert(i); }},
        {"lerp", [&](gr_image_s* i) { return gr_filter_lerp(i, other.get(), 0.3f); }},
        {"normalmap", [](gr_image_s* i) { return gr_filter_normalmap(i, 2.0f); }},
        {"recolor", [&](gr_image_s* i) { return gr_filter_recolor(i, 3, palette, 0.1f); }},
        {"resize", [](gr_image_s* i) { return gr_filter_resize(i, 80, 0); }},
        {"rotate", [](gr_image_s* i) { return gr_filter_rotate(i, 0.7f); }},
    };
    for (const auto& [name, run] : filters) {
        SCOPED_TRACE(name);
        Image src = random_image(24, 16, 1, false);
        const std::vector<uint32_t> before = grt::pixels(src.get());
        grt::LockLog log;
        log.watch(src.get());
        Image out(run(src.get()));
        ASSERT_NE(out, nullptr);
        EXPECT_NE(out.get(), src.get());
        EXPECT_EQ(std::pair(out->refs, out->flags & gr__image_flag_locked), std::pair(1u, 0u));
        EXPECT_GT(out->version, 0u) << "result reported as changed";
        EXPECT_EQ(grt::pixels(src.get()), before);
        EXPECT_EQ(std::pair(src->version, src->flags & gr__image_flag_locked), std::pair(0u, 0u));
        EXPECT_EQ(std::pair(log.unlocks, log.changed), std::pair(log.locks, 0));
    }
}

TEST(GrFilterFamily, FiltersAcceptEmptyImages) {
    Image empty(gr_image_create(0, 0));
    const gr_color_t palette[1] = {0xFFFF0000u};
    for (gr_image_s* out :
         {gr_filter_alpha_fill(empty.get()), gr_filter_bilateral(empty.get(), 3, 2),
          gr_filter_brightness(empty.get()), gr_filter_decimate_median(empty.get(), 3),
          gr_filter_dilate(empty.get()), gr_filter_erode(empty.get()),
          gr_filter_distfield(empty.get()), gr_filter_distfield_inv(empty.get(), 4.0f),
          gr_filter_invert(empty.get()), gr_filter_normalmap(empty.get(), 1.0f),
          gr_filter_recolor(empty.get(), 1, palette, 0.0f), gr_filter_rotate(empty.get(), 1.0f),
          gr_filter_crop(empty.get(), 0, 0, 0, 0)}) {
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(uint64_t(out->width) * out->height, 0u);
        gr_image_release(out);
    }
    gr_filter_noise(empty.get());
    gr_filter_vignette(empty.get());
}

// ---- per-pixel colour filters ---------------------------------------------------------------

TEST(GrFilterFamily, IdentityLutReproducesColoursToSixBitsAndOtherSizesAreRefused) {
    Image lut = identity_lut();
    Image src = random_image(64, 64, 3);
    Image out(gr_filter_3dlut(src.get(), lut.get()));
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::pair(out->width, out->height), std::pair(64u, 64u));
    const auto a = grt::pixels(src.get()), b = grt::pixels(out.get());
    for (size_t i = 0; i < a.size(); i++) {
        EXPECT_LE(grt::max_rgb_error(a[i], b[i]), 3) << i;
        EXPECT_EQ(grt::alpha(b[i]), 255);
    }
    // The extremes land on the lookup's first and last cells.
    EXPECT_EQ(result(gr_filter_3dlut(row({0xFF000000u, 0xFFFFFFFFu}).get(), lut.get())),
              (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFFu}));
    for (auto [w, h] : {std::pair{64u, 64u}, {512u, 256u}})
        EXPECT_EQ(gr_filter_3dlut(src.get(), grt::filled(w, h, 0xFF000000u).get()), nullptr);
}

TEST(GrFilterFamily, BinaryDiffMarksEqualOpaquePixelsBlackAndRefusesMismatchedSizes) {
    // Pixel 1 is nearly transparent; 2 differs by 9 in green, 3 (alpha 32) by 10 in blue.
    Image a = row({0xFF102030u, 0x1F102030u, 0xFF102030u, 0x20102030u});
    Image b = row({0xFF102030u, 0xFF102030u, 0xFF102930u, 0xFF10203Au});
    Image full = grt::filled(4, 1, 0xFFFFFFFFu);
    Image out(gr_filter_binary_diff(a.get(), b.get(), 10, full.get()));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(grt::pixels(out.get()),
              (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}));
    // A mask red of 127 halves the differences: 10 * 127 / 255 = 4 passes.
    Image half = grt::filled(4, 1, 0xFF7F0000u);
    Image masked(gr_filter_binary_diff(a.get(), b.get(), 10, half.get()));
    EXPECT_EQ(grt::at(masked.get(), 3, 0), 0xFF000000u);
    EXPECT_EQ(grt::at(masked.get(), 1, 0), 0xFFFFFFFFu) << "alpha below 32 is always white";

    Image wide = grt::filled(4, 3, 0xFF000000u), tall = grt::filled(3, 4, 0xFF000000u);
    EXPECT_EQ(gr_filter_binary_diff(wide.get(), tall.get(), 1, wide.get()), nullptr);
    EXPECT_EQ(gr_filter_binary_diff(wide.get(), wide.get(), 1, tall.get()), nullptr);
    EXPECT_EQ(gr_filter_lerp(wide.get(), tall.get(), 0.5f), nullptr);
}

TEST(GrFilterFamily, BrightnessStretchesToTheFullRange) {
    // Ramp 40..200 to 0..255: the middle smoothstep(0.5) = 0.5, a quarter up below a quarter.
    Image src = grt::painted(161, 1, [](int x, int) { return grt::grey(40 + x); });
    const auto px = result(gr_filter_brightness(src.get()));
    ASSERT_EQ(px.size(), 161u);
    EXPECT_EQ(std::pair(px.front(), px.back()), std::pair(0xFF000000u, 0xFFFFFFFFu));
    EXPECT_NEAR(grt::red(px[80]), 127, 1);
    EXPECT_LT(grt::red(px[40]), 64);
    for (size_t i = 1; i < px.size(); i++) {
        EXPECT_GE(grt::red(px[i]), grt::red(px[i - 1]));
        EXPECT_EQ(px[i], grt::grey(grt::red(px[i])));
    }
    Image flat = grt::filled(5, 5, 0x80AABBCCu);
    for (uint32_t p : result(gr_filter_brightness(flat.get())))
        EXPECT_EQ(p, 0xFF000000u);
}

TEST(GrFilterFamily, InvertTwiceRestoresColoursOpaque) {
    Image src = random_image(31, 7, 5, false);
    Image once(gr_filter_invert(src.get()));
    Image twice(gr_filter_invert(once.get()));
    const auto a = grt::pixels(src.get()), b = grt::pixels(once.get()),
               c = grt::pixels(twice.get());
    for (size_t i = 0; i < a.size(); i++) {
        EXPECT_EQ(c[i], a[i] | 0xFF000000u);
        EXPECT_EQ(std::pair(grt::red(b[i]), grt::alpha(b[i])),
                  std::pair(255 - grt::red(a[i]), 255));
    }
}

TEST(GrFilterFamily, LerpBlendsEveryChannel) {
    Image a = grt::filled(3, 2, 0x00000000u), b = grt::filled(3, 2, 0xFFC86432u);
    EXPECT_EQ(result(gr_filter_lerp(a.get(), b.get(), 0.0f)), grt::pixels(a.get()));
    EXPECT_EQ(result(gr_filter_lerp(a.get(), b.get(), 1.0f)), grt::pixels(b.get()));
    EXPECT_EQ(result(gr_filter_lerp(a.get(), b.get(), 0.5f)),
              std::vector<uint32_t>(6, 0x7F643219u));
}

TEST(GrFilterFamily, RecolorPicksTheNearestPaletteColour) {
    const gr_color_t palette[3] = {0xFF000000u, 0xFFFF0000u, 0xFFFFFFFFu};
    Image src = row({0xFF101010u, 0xFFE01010u, 0xFFF0F0F0u, 0x00FFFFFFu});
    EXPECT_EQ(result(gr_filter_recolor(src.get(), 3, palette, 0.0f)),
              (std::vector<uint32_t>{0xFF000000u, 0xFFFF0000u, 0xFFFFFFFFu, 0xFFFFFFFFu}));
    // Equal distances: the first entry wins (the two differ only in alpha).
    const gr_color_t twins[2] = {0x40123456u, 0xFF123456u};
    EXPECT_EQ(result(gr_filter_recolor(src.get(), 2, twins, 0.0f)),
              std::vector<uint32_t>(4, twins[0]));
    // Without colours: transparent black of the source's size.
    for (int32_t count : {0, -3}) {
        Image out(gr_filter_recolor(src.get(), count, nullptr, 0.5f));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::pair(out->width, out->height), std::pair(4u, 1u));
        EXPECT_EQ(grt::pixels(out.get()), std::vector<uint32_t>(4, 0u)) << count;
    }
    // Jitter moves colours before the pick, but every pixel stays a palette entry.
    const gr_color_t bw[2] = {0xFF000000u, 0xFFFFFFFFu};
    Image noisy = random_image(32, 32, 6);
    std::srand(11);
    int black = 0, white = 0;
    for (uint32_t p : result(gr_filter_recolor(noisy.get(), 2, bw, 0.5f))) {
        black += p == bw[0];
        white += p == bw[1];
    }
    EXPECT_EQ(black + white, 32 * 32);
    EXPECT_TRUE(black > 0 && white > 0) << black << " " << white;
}

TEST(GrFilterFamily, NoiseFillsInPlaceOpaqueAndRepeatsWithTheSeed) {
    Image a = grt::filled(64, 64, 0x00000000u), b = grt::filled(64, 64, 0x00000000u);
    std::srand(42);
    gr_filter_noise(a.get());
    std::srand(42);
    gr_filter_noise(b.get());
    EXPECT_EQ(grt::pixels(a.get()), grt::pixels(b.get()));
    EXPECT_EQ(a->version, 1u);
    long sum[3] = {0, 0, 0};
    for (uint32_t p : grt::pixels(a.get())) {
        EXPECT_EQ(grt::alpha(p), 255);
        sum[0] += grt::red(p);
        sum[1] += grt::green(p);
        sum[2] += grt::blue(p);
    }
    for (long s : sum)
        EXPECT_NEAR(double(s) / (64 * 64), 127.5, 8.0);
}

TEST(GrFilterFamily, VignetteKeepsTheCentreAndBlackensTheCorners) {
    const gr_color_t c = 0x80C0A060u;
    Image img = grt::filled(101, 61, c);
    gr_filter_vignette(img.get());
    EXPECT_EQ(img->version, 1u);
    // Within half the half-size of the centre nothing changes.
    for (auto [x, y] : {std::pair{50, 30}, {62, 30}, {50, 37}})
        EXPECT_EQ(grt::at(img.get(), x, y), c) << x << "," << y;
    for (auto [x, y] : {std::pair{0, 0}, {100, 0}, {0, 60}, {100, 60}})
        EXPECT_EQ(grt::at(img.get(), x, y), 0x80000000u) << x << "," << y;
    // Darkening grows toward the corner and keeps alpha.
    int previous = 256;
    for (int i = 0; i <= 50; i++) {
        const gr_color_t p = grt::at(img.get(), 50 + i, 30 + i * 30 / 50);
        EXPECT_TRUE(grt::red(p) <= previous && grt::alpha(p) == 0x80) << std::hex << p;
        previous = grt::red(p);
    }
    // A pixel or a line keeps its centre.
    Image dot = grt::filled(1, 1, 0xFF808080u), column = grt::filled(1, 9, 0xFF808080u);
    gr_filter_vignette(dot.get());
    gr_filter_vignette(column.get());
    EXPECT_EQ(grt::at(dot.get(), 0, 0), 0xFF808080u);
    EXPECT_EQ(grt::at(column.get(), 0, 4), 0xFF808080u);
    EXPECT_LT(grt::red(grt::at(column.get(), 0, 0)), 0x80);
}

// ---- geometry ----------------------------------------------------------------------------------

TEST(GrFilterFamily, CropTakesTheRectangleAtItsCornerTheWholeOneIncludedAndRefusesOutside) {
    auto index = [](int x0, int y0) {
        return [=](int x, int y) { return uint32_t((y + y0) * 100 + x + x0); };
    };
    Image src = grt::painted(10, 8, index(0, 0));
    EXPECT_EQ(result(gr_filter_crop(src.get(), 0, 0, 10, 8)), grt::pixels(src.get()));
    Image out(gr_filter_crop(src.get(), 3, 2, 4, 5));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->width, 4u);
    EXPECT_EQ(grt::pixels(out.get()), grt::pixels(grt::painted(4, 5, index(3, 2)).get()));
    EXPECT_EQ(gr_filter_crop(src.get(), 7, 0, 4, 1), nullptr);
    EXPECT_EQ(gr_filter_crop(src.get(), 0, 8, 1, 1), nullptr);
    EXPECT_EQ(gr_filter_crop(src.get(), 0xFFFFFFFFu, 0, 2, 1), nullptr);
}

TEST(GrFilterFamily, RotateByZeroIsNearlyIdentityAndFlatStaysFlat) {
    // The mapping spans the full width: a smooth picture moves under a pixel, colours kept.
    Image src = grt::painted(64, 48, [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | 0x40u;
    });
    const auto a = grt::pixels(src.get());
    const auto b = result(gr_filter_rotate(src.get(), 0.0f));
    ASSERT_EQ(b.size(), a.size());
    for (size_t i = 0; i < a.size(); i++) {
        EXPECT_LE(std::abs(grt::red(a[i]) - grt::red(b[i])), 4) << i;
        EXPECT_LE(std::abs(grt::green(a[i]) - grt::green(b[i])), 5) << i;
        EXPECT_EQ(grt::blue(b[i]), 0x40);
    }
    EXPECT_EQ(b.front(), a.front());
    for (auto [w, h, angle] : {std::tuple{20u, 10u, 1.234f}, {1u, 5u, 0.5f}}) {
        Image flat = grt::filled(w, h, 0x7F336699u);
        EXPECT_EQ(result(gr_filter_rotate(flat.get(), angle)),
                  std::vector<uint32_t>(w * h, 0x7F336699u));
    }
}

TEST(GrFilterFamily, RotateTurnsCornersAboutTheCentre) {
    Image src = grt::painted(16, 16, [](int x, int y) {
        if (x < 8)
            return y < 8 ? 0xFFFF0000u : 0xFF0000FFu;
        return y < 8 ? 0xFF00FF00u : 0xFFFFFFFFu;
    });
    Image half(gr_filter_rotate(src.get(), float(std::numbers::pi)));
    EXPECT_EQ(grt::at(half.get(), 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(grt::at(half.get(), 15, 15), 0xFFFF0000u);
    EXPECT_EQ(grt::at(half.get(), 15, 0), 0xFF0000FFu);
    Image quarter(gr_filter_rotate(src.get(), float(std::numbers::pi / 2)));
    EXPECT_EQ(grt::at(quarter.get(), 1, 1), 0xFF00FF00u);  // top-right came to top-left
    EXPECT_EQ(grt::at(quarter.get(), 14, 1), 0xFFFFFFFFu); // bottom-right to top-right
    EXPECT_EQ(grt::at(quarter.get(), 1, 14), 0xFFFF0000u); // top-left to bottom-left
}
