#include "gr/gr_color.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "gr_filter_test_util.h"

namespace {

gr_color_t rgb(int r, int g, int b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// Opaque colours on a grid through the RGB cube, both ends included.
std::vector<gr_color_t> rgb_sweep(int step) {
    std::vector<gr_color_t> out;
    for (int r = 0; r < 256 + step; r += step)
        for (int g = 0; g < 256 + step; g += step)
            for (int b = 0; b < 256 + step; b += step)
                out.push_back(rgb(std::min(r, 255), std::min(g, 255), std::min(b, 255)));
    return out;
}

// Copies a malloc'ed colour list of n entries and frees it.
std::vector<gr_color_t> take(gr_color_t* list, int n) {
    EXPECT_NE(list, nullptr);
    std::vector<gr_color_t> out(list, list ? list + n : list);
    free(list);
    return out;
}

std::vector<gr_color_t> palette(const std::vector<gr_color_t>& colours, float threshold) {
    int count = -1;
    gr_color_t* list =
        gr_color_palette_calc(int(colours.size()), colours.data(), &count, threshold);
    return take(list, count);
}

std::vector<gr_color_t> sorted(std::vector<gr_color_t> v) {
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

// ---- single colours ------------------------------------------------------------------

TEST(GrColor, BrightnessAndDifferencesGiveTheirNumbers) {
    const struct {
        const char* what;
        float got, want, tolerance;
    } cases[] = {
        {"white", gr_color_brightness(0xFFFFFFFF), 1.0f, 1e-6f},
        {"black", gr_color_brightness(0xFF000000), 0.0f, 0.0f},
        {"green", gr_color_brightness(0xFF00FF00), 0.587f, 1e-6f},
        {"red", gr_color_brightness(0xFFFF0000), 0.299f, 1e-6f},
        {"blue", gr_color_brightness(0xFF0000FF), 0.114f, 1e-6f},
        {"alpha ignored", gr_color_brightness(0x00336699), gr_color_brightness(0xFF336699), 0},
        {"diff black-white", gr_color_diff(0xFF000000, 0xFFFFFFFF), 1.0f, 1e-6f},
        {"diff white-black", gr_color_diff(0xFFFFFFFF, 0xFF000000), 1.0f, 1e-6f},
        // 4 * 255^2 under the root: 510 of 764.83.
        {"diff green", gr_color_diff(0xFF000000, 0xFF00FF00), 510.0f / 764.83f, 1e-5f},
        {"diff alpha ignored", gr_color_diff(0x00123456, 0xFF123456), 0.0f, 0.0f},
        {"diff symmetric", gr_color_diff(0xFFFF0000, 0xFF000040),
         gr_color_diff(0xFF000040, 0xFFFF0000), 0.0f},
        {"dist2", float(gr_color_dist2(0x00102030, 0xFF132A2B)), 9 + 100 + 25, 0},
        {"dist2 black-white", float(gr_color_dist2(0xFF000000, 0xFFFFFFFF)), 3 * 255 * 255, 0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(c.got, c.want, c.tolerance) << c.what;
    EXPECT_GT(gr_color_diff(0xFF000000, 0xFF00FF00), gr_color_diff(0xFF000000, 0xFFFF0000));
    EXPECT_GT(gr_color_diff(0xFF000000, 0xFF00FF00), gr_color_diff(0xFF000000, 0xFF0000FF));
}

TEST(GrColor, ShadingMixingAndHsvGiveExactBytes) {
    const float third = 1.0f / 3.0f;
    const struct {
        const char* what;
        gr_color_t got, want;
    } cases[] = {
        {"lerp halfway", gr_color_lerp(0xFF000000, 0xFFFFFFFF, 0.5f), 0xFF7F7F7F},
        {"lerp alpha", gr_color_lerp(0x00000000, 0xFF000000, 0.5f), 0x7F000000},
        {"lerp truncates 191.25", gr_color_lerp(0xFFFFFFFF, 0x00000000, 0.25f), 0xBFBFBFBF},
        {"lerp t=0", gr_color_lerp(0x12345678, 0x9ABCDEF0, 0.0f), 0x12345678},
        {"lerp t=1", gr_color_lerp(0x12345678, 0x9ABCDEF0, 1.0f), 0x9ABCDEF0},
        {"darker half", gr_color_darker(0x80FFFFFF, 0.5f), 0xBF7F7F7F},
        {"darker 0", gr_color_darker(0x80FFFFFF, 0.0f), 0x80FFFFFF},
        {"darker 1", gr_color_darker(0x00FFFFFF, 1.0f), 0xFF000000},
        {"lighter half", gr_color_lighter(0x00000000, 0.5f), 0x7F7F7F7F},
        {"lighter 1", gr_color_lighter(0x00000000, 1.0f), 0xFFFFFFFF},
        {"lighter 0", gr_color_lighter(0x40102030, 0.0f), 0x40102030},
        {"with_alpha", gr_color_with_alpha(0x12345678, 0x9A), 0x9A345678},
        {"with_alpha 0", gr_color_with_alpha(0xFFFFFFFF, 0), 0x00FFFFFF},
        {"hsv red", gr_color_from_hsv(0.0f, 1.0f, 1.0f), 0xFFFF0000},
        {"hsv yellow", gr_color_from_hsv(1.0f / 6.0f, 1.0f, 1.0f), 0xFFFFFF00},
        {"hsv green", gr_color_from_hsv(2.0f / 6.0f, 1.0f, 1.0f), 0xFF00FF00},
        {"hsv cyan", gr_color_from_hsv(3.0f / 6.0f, 1.0f, 1.0f), 0xFF00FFFF},
        {"hsv blue", gr_color_from_hsv(4.0f / 6.0f, 1.0f, 1.0f), 0xFF0000FF},
        {"hsv magenta", gr_color_from_hsv(5.0f / 6.0f, 1.0f, 1.0f), 0xFFFF00FF},
        {"hsv wraps 1", gr_color_from_hsv(1.0f, 1.0f, 1.0f), 0xFFFF0000},
        {"hsv wraps -0.5", gr_color_from_hsv(-0.5f, 1.0f, 1.0f), 0xFF00FFFF},
        {"hsv just below 1", gr_color_from_hsv(std::nextafter(1.0f, 0.0f), 1, 1), 0xFFFF0000},
        {"hsv just below 0", gr_color_from_hsv(-1e-9f, 1.0f, 1.0f), 0xFFFF0000},
        {"hsv white", gr_color_from_hsv(0.3f, 0.0f, 1.0f), 0xFFFFFFFF},
        {"jitter +1/3", gr_color_jitter(0xFFFF0000, third, 0.0f, 0.0f), 0xFF00FF00},
        {"jitter -1/3", gr_color_jitter(0xFFFF0000, -third, 0.0f, 0.0f), 0xFF0000FF},
        {"jitter opaque", gr_color_jitter(0x40FF0000, 1.0f, 0.0f, 0.0f), 0xFFFF0000},
        {"jitter s clamp 0", gr_color_jitter(0xFFFF0000, 0.0f, -2.0f, 0.0f), 0xFFFFFFFF},
        {"jitter s,v clamp 1", gr_color_jitter(0xFFFF0000, 0.0f, 0.5f, 0.5f), 0xFFFF0000},
        {"jitter v clamp 0", gr_color_jitter(0xFFFF0000, 0.0f, 0.0f, -3.0f), 0xFF000000},
        {"jitter none", gr_color_jitter(0xFF336699, 0.0f, 0.0f, 0.0f), 0xFF336699},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what << std::hex << ": 0x" << c.got;
    for (int i = 0; i <= 20; ++i)
        EXPECT_EQ(gr_color_from_hsv(float(i) / 20.0f, 0.0f, 0.5f), 0xFF7F7F7Fu) << "grey " << i;
}

TEST(GrColor, FloatRgbaReadsZeroToOneAndRestoresEveryByte) {
    float out[4];
    gr_color_to_rgba(0x80FF4000, out);
    const float want[4] = {1.0f, 64.0f / 255.0f, 0.0f, 128.0f / 255.0f};
    for (int i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ(out[i], want[i]) << i;
    for (uint32_t v = 0; v < 256; ++v) {
        const gr_color_t c = (v << 24) | ((255 - v) << 16) | (v << 8) | ((v * 7) & 0xFF);
        gr_color_to_rgba(c, out);
        EXPECT_EQ(gr_color_from_rgba(out[0], out[1], out[2], out[3]), c) << std::hex << c;
    }
}

TEST(GrColor, ToHsvAndToLabGiveTheirComponents) {
    const struct {
        gr_color_t c;
        float want[3], tolerance;
        void (*convert)(gr_color_t, float*);
    } cases[] = {
        {0xFFFF0000, {0.0f, 1.0f, 1.0f}, 0, gr_color_to_hsv},
        {0xFF00FF00, {1.0f / 3.0f, 1.0f, 1.0f}, 0, gr_color_to_hsv},
        {0xFF0000FF, {2.0f / 3.0f, 1.0f, 1.0f}, 0, gr_color_to_hsv},
        {0xFFFF00FF, {5.0f / 6.0f, 1.0f, 1.0f}, 0, gr_color_to_hsv},
        {0xFF808080, {0.0f, 0.0f, 128.0f / 255.0f}, 0, gr_color_to_hsv},
        {0xFF000000, {0.0f, 0.0f, 0.0f}, 0, gr_color_to_hsv},
        // Lab of the 8-bit values, each component reported half a unit up.
        {0xFFFF0000, {53.74f, 80.59f, 67.70f}, 0.01f, gr_color_to_lab},
        {0xFFFFFFFF, {100.5f, 0.5f, 0.5f}, 1e-3f, gr_color_to_lab},
        {0xFF000000, {0.5f, 0.5f, 0.5f}, 1e-6f, gr_color_to_lab},
    };
    for (const auto& c : cases) {
        float got[3] = {-1, -1, -1};
        c.convert(c.c, got);
        for (int i = 0; i < 3; i++) {
            if (c.tolerance == 0) {
                EXPECT_FLOAT_EQ(got[i], c.want[i]) << std::hex << c.c << " hsv " << i;
            } else {
                EXPECT_NEAR(got[i], c.want[i], c.tolerance) << std::hex << c.c << " lab " << i;
            }
        }
    }
}

TEST(GrColor, HsvAndLabRoundTripsHoldAcrossTheCube) {
    for (gr_color_t c : rgb_sweep(5)) {
        SCOPED_TRACE(testing::Message() << std::hex << c);
        ASSERT_EQ(gr_color_diff(c, c), 0.0f);
        float hsv[3], lab[3];
        gr_color_to_hsv(c, hsv);
        ASSERT_GE(hsv[0], 0.0f);
        ASSERT_LT(hsv[0], 1.0f);
        ASSERT_LE(grt::max_rgb_error(gr_color_from_hsv(hsv[0], hsv[1], hsv[2]), c), 1);
        // from_lab reads the offsets back as colour (a drift of a few levels); without them, exact.
        gr_color_to_lab(c, lab);
        ASSERT_LE(grt::max_rgb_error(gr_color_from_lab(lab), c), 7);
        for (float& v : lab)
            v -= 0.5f;
        ASSERT_EQ(gr_color_from_lab(lab), c);
    }
    for (gr_color_t c : {0xFF000000u, 0xFFFFFFFFu, 0xFFFF0000u}) {
        float lab[3];
        gr_color_to_lab(c, lab);
        EXPECT_EQ(gr_color_from_lab(lab), c) << std::hex << c;
    }
    const float out_of_gamut[3] = {60.0f, 150.0f, 0.5f};
    EXPECT_EQ(gr_color_from_lab(out_of_gamut) & 0xFFFF0000u, 0xFFFF0000u) << "clamped, opaque";
    EXPECT_EQ(gr_color_from_lab(out_of_gamut) & 0xFF00u, 0u);
}

// ---- lists: average, nearest, sort ----------------------------------------------------

TEST(GrColor, AverageTruncatesEachChannelIncludingAlpha) {
    const gr_color_t list[] = {0x01020304, 0x02030405, 0xFF0000FF,
                               0x000000FE, 0x000000FE, 0x89ABCDEF};
    EXPECT_EQ(gr_color_average(2, list), 0x01020304u);
    EXPECT_EQ(gr_color_average(3, list + 2), 0x550000FEu);
    EXPECT_EQ(gr_color_average(1, list + 5), 0x89ABCDEFu);
}

TEST(GrColor, NearestUsesRedmeanAndGivesTiesToTheLowerIndex) {
    const struct {
        const char* what;
        gr_color_t c;
        std::vector<gr_color_t> palette;
        int want;
    } cases[] = {
        {"equal entries", 0xFFFF0000, {0xFF0000FF, 0xFFFF0000, 0xFFFF0000}, 1},
        {"equally far either side", 0xFF808080, {0xFF808070, 0xFF808090}, 0},
        {"dark red", 0xFFC00000, {0xFFFFFFFF, 0xFF000000, 0xFFFF0000}, 2},
        {"near black", 0xFF400000, {0xFFFFFFFF, 0xFF000000, 0xFFFF0000}, 1},
        {"light grey", 0xFFE0E0E0, {0xFFFFFFFF, 0xFF000000, 0xFFFF0000}, 0},
        {"empty", 0xFFE0E0E0, {}, 0},
        // RGB distance prefers green (100 < 169); redmean weighs green 4, red about 2: red wins.
        {"green weighs more", rgb(0, 0, 0), {rgb(0, 10, 0), rgb(13, 0, 0)}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gr_color_nearest(c.c, int(c.palette.size()), c.palette.data()), c.want) << c.what;
    EXPECT_LT(gr_color_dist2(0xFF000000, rgb(0, 10, 0)), gr_color_dist2(0xFF000000, rgb(13, 0, 0)));
}

TEST(GrColor, SortChainsEachColourToTheNearestOfThoseAfter) {
    std::vector<gr_color_t> greys = {0xFF000000, 0xFFFFFFFF, 0xFF404040, 0xFFC0C0C0, 0xFF808080};
    gr_color_sort(5, greys.data());
    EXPECT_EQ(greys, (std::vector<gr_color_t>{0xFF000000, 0xFF404040, 0xFF808080, 0xFFC0C0C0,
                                              0xFFFFFFFF}));
    gr_color_t last[4] = {0xFF000000, 0xFF404040, 0xFFFFFFFF, 0xFFC0C0C0};
    gr_color_sort(4, last);
    EXPECT_EQ(last[2], 0xFFC0C0C0u) << "the last two are ordered too";
    gr_color_t pair[2] = {0xFFFFFFFF, 0xFF000000};
    gr_color_sort(2, pair);
    EXPECT_EQ(pair[0], 0xFFFFFFFFu) << "fewer than three are left alone";

    std::vector<gr_color_t> colours;
    uint32_t state = 12345;
    for (int i = 0; i < 64; ++i) {
        state = state * 1664525u + 1013904223u;
        colours.push_back(0xFF000000u | (state >> 8));
    }
    std::vector<gr_color_t> chain = colours;
    gr_color_sort(int(chain.size()), chain.data());
    EXPECT_EQ(chain[0], colours[0]);
    for (size_t i = 0; i + 2 < chain.size(); ++i)
        EXPECT_EQ(gr_color_nearest(chain[i], int(chain.size() - i - 1), &chain[i + 1]), 0) << i;
    EXPECT_EQ(sorted(chain), sorted(colours));
}

// ---- palettes and histogram -------------------------------------------------------------

TEST(GrColor, PaletteMergesIntoTheFirstCloseEntryMostFrequentFirst) {
    EXPECT_EQ(palette(std::vector<gr_color_t>(10, 0xFF336699), 0.1f),
              std::vector<gr_color_t>{0xFF336699});
    EXPECT_EQ(palette({0x80FF0000, 0xFF0000FF, 0xFF0000FF, 0x80FF0000, 0xFF0000FF, 0xFF0000FF,
                       0x80FF0000, 0xFF0000FF},
                      0.1f),
              (std::vector<gr_color_t>{0xFF0000FF, 0xFFFF0000}));
    // 107 is nearer 110 but within reach of 100, which came first and moves to the mean 103.5.
    const std::vector<gr_color_t> greys = {rgb(100, 100, 100), rgb(110, 110, 110),
                                           rgb(107, 107, 107)};
    ASSERT_LT(gr_color_diff(greys[0], greys[2]), 0.035f);
    ASSERT_GE(gr_color_diff(greys[0], greys[1]), 0.035f);
    EXPECT_EQ(palette(greys, 0.035f),
              (std::vector<gr_color_t>{rgb(103, 103, 103), rgb(110, 110, 110)}));

    std::vector<gr_color_t> pairs;
    for (int i = 0; i < 100; ++i)
        pairs.insert(pairs.end(), 2, rgb(i, 255 - i, (i * 37) & 0xFF));
    EXPECT_EQ(sorted(palette(pairs, 0.0f)), sorted(pairs)) << "threshold 0 merges nothing";
    int count = -1;
    EXPECT_EQ(take(gr_color_palette_calc(0, nullptr, &count, 0.1f), 0).size(), 0u);
    EXPECT_EQ(count, 0);
}

TEST(GrColor, KmeansFindsClustersAndOpaqueMeans) {
    // Dark reds with mean (14.5, 0, 0) and light blues with mean (0, 204.5, 244.5).
    std::vector<gr_color_t> colours;
    for (int i = 0; i < 10; ++i) {
        colours.push_back(rgb(10 + i, 0, 0));
        colours.push_back(rgb(0, 200 + i, 240 + i));
    }
    for (unsigned seed = 1; seed <= 8; ++seed) {
        srand(seed);
        EXPECT_EQ(sorted(take(gr_color_palette_kmeans(20, colours.data(), 2), 2)),
                  (std::vector<gr_color_t>{rgb(0, 204, 244), rgb(14, 0, 0)}))
            << "seed " << seed;
    }
    const gr_color_t mixed[4] = {0x00000000, 0x80030303, 0xFF000000, 0xFF030303};
    srand(1);
    EXPECT_EQ(take(gr_color_palette_kmeans(4, mixed, 1), 1), std::vector<gr_color_t>{0xFF010101});
    const gr_color_t single[1] = {0xFF336699};
    EXPECT_EQ(take(gr_color_palette_kmeans(1, single, 3), 3),
              std::vector<gr_color_t>(3, 0xFF336699))
        << "more centres than colours repeat";
}

TEST(GrColor, HistogramMedianIsTheFirstBinReachingHalf) {
    const struct {
        const char* what;
        int count;
        std::vector<std::array<int, 3>> bins; // channel, bin, count
        int want[3];
    } cases[] = {
        {"middle bins", 100, {{0, 7, 100}, {1, 200, 100}, {2, 10, 30}, {2, 20, 70}}, {7, 200, 20}},
        {"even split: lower bin",
         4,
         {{0, 3, 2}, {0, 9, 2}, {1, 3, 2}, {1, 9, 2}, {2, 3, 2}, {2, 9, 2}},
         {3, 3, 3}},
        {"one pixel", 1, {{0, 42, 1}, {1, 0, 1}, {2, 255, 1}}, {42, 0, 255}},
        {"half never reached", 100, {{0, 3, 10}, {1, 5, 100}}, {256, 5, 256}},
    };
    for (const auto& c : cases) {
        gr_histogram_s h = {};
        h.count = c.count;
        for (const auto& [channel, bin, n] : c.bins)
            h.bins[channel][bin] = n;
        int m[3] = {-1, -1, -1};
        gr_histogram_median(&h, &m[0], &m[1], &m[2]);
        EXPECT_EQ(std::vector<int>(m, m + 3), std::vector<int>(c.want, c.want + 3)) << c.what;
    }
}
