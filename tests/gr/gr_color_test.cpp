#include "gr/gr_color.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

int channel(gr_color_t c, int shift) {
    return (int)((c >> shift) & 0xFF);
}

// Largest difference over red, green and blue.
int max_rgb_error(gr_color_t a, gr_color_t b) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        worst = std::max(worst, std::abs(channel(a, shift) - channel(b, shift)));
    }
    return worst;
}

gr_color_t rgb(int r, int g, int b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// Opaque colours on a coarse grid through the RGB cube, both ends included.
std::vector<gr_color_t> rgb_sweep(int step) {
    std::vector<gr_color_t> out;
    for (int r = 0; r < 256 + step; r += step) {
        for (int g = 0; g < 256 + step; g += step) {
            for (int b = 0; b < 256 + step; b += step) {
                out.push_back(rgb(std::min(r, 255), std::min(g, 255), std::min(b, 255)));
            }
        }
    }
    return out;
}

} // namespace

// ---- brightness ---------------------------------------------------------------------

TEST(GrColor, BrightnessOfWhiteIsOneAndOfBlackIsZero) {
    EXPECT_FLOAT_EQ(gr_color_brightness(0xFFFFFFFF), 1.0f);
    EXPECT_EQ(gr_color_brightness(0xFF000000), 0.0f);
}

TEST(GrColor, BrightnessOfGreenIs0587) {
    EXPECT_FLOAT_EQ(gr_color_brightness(0xFF00FF00), 0.587f);
    EXPECT_FLOAT_EQ(gr_color_brightness(0xFFFF0000), 0.299f);
    EXPECT_FLOAT_EQ(gr_color_brightness(0xFF0000FF), 0.114f);
}

TEST(GrColor, BrightnessIgnoresAlpha) {
    EXPECT_EQ(gr_color_brightness(0x00336699), gr_color_brightness(0xFF336699));
}

// ---- distances ------------------------------------------------------------------------

TEST(GrColor, DiffBetweenBlackAndWhiteIsOne) {
    EXPECT_FLOAT_EQ(gr_color_diff(0xFF000000, 0xFFFFFFFF), 1.0f);
    EXPECT_FLOAT_EQ(gr_color_diff(0xFFFFFFFF, 0xFF000000), 1.0f);
}

TEST(GrColor, DiffOfAColourWithItselfIsZero) {
    for (gr_color_t c : rgb_sweep(51)) {
        EXPECT_EQ(gr_color_diff(c, c), 0.0f) << std::hex << c;
    }
}

TEST(GrColor, DiffWeighsGreenAboveRedAndBlue) {
    // Full green from black: 4 * 255^2 under the root, 510 of 764.83.
    EXPECT_NEAR(gr_color_diff(0xFF000000, 0xFF00FF00), 510.0f / 764.83f, 1e-5f);
    EXPECT_GT(gr_color_diff(0xFF000000, 0xFF00FF00), gr_color_diff(0xFF000000, 0xFFFF0000));
    EXPECT_GT(gr_color_diff(0xFF000000, 0xFF00FF00), gr_color_diff(0xFF000000, 0xFF0000FF));
}

TEST(GrColor, DiffIgnoresAlpha) {
    EXPECT_EQ(gr_color_diff(0x00123456, 0xFF123456), 0.0f);
}

TEST(GrColor, Dist2SumsSquaredChannelDifferencesIgnoringAlpha) {
    EXPECT_EQ(gr_color_dist2(0x00102030, 0xFF132A2B), 9 + 100 + 25);
    EXPECT_EQ(gr_color_dist2(0xFF000000, 0xFFFFFFFF), 3 * 255 * 255);
}

// ---- interpolation and shading --------------------------------------------------------

TEST(GrColor, LerpHalfwayFromBlackToWhiteIs7F) {
    EXPECT_EQ(gr_color_lerp(0xFF000000, 0xFFFFFFFF, 0.5f), 0xFF7F7F7Fu);
}

TEST(GrColor, LerpCoversAlphaAndTruncatesTowardZero) {
    EXPECT_EQ(gr_color_lerp(0x00000000, 0xFF000000, 0.5f), 0x7F000000u);
    // 255 - 63.75 = 191.25 on every channel.
    EXPECT_EQ(gr_color_lerp(0xFFFFFFFF, 0x00000000, 0.25f), 0xBFBFBFBFu);
}

TEST(GrColor, LerpEndsAreTheInputs) {
    EXPECT_EQ(gr_color_lerp(0x12345678, 0x9ABCDEF0, 0.0f), 0x12345678u);
    EXPECT_EQ(gr_color_lerp(0x12345678, 0x9ABCDEF0, 1.0f), 0x9ABCDEF0u);
}

TEST(GrColor, DarkerHalvesColourAndMovesAlphaTowardOpaque) {
    EXPECT_EQ(gr_color_darker(0x80FFFFFF, 0.5f), 0xBF7F7F7Fu);
    EXPECT_EQ(gr_color_darker(0x80FFFFFF, 0.0f), 0x80FFFFFFu);
    EXPECT_EQ(gr_color_darker(0x00FFFFFF, 1.0f), 0xFF000000u);
}

TEST(GrColor, LighterMovesEveryChannelTowardWhite) {
    EXPECT_EQ(gr_color_lighter(0x00000000, 0.5f), 0x7F7F7F7Fu);
    EXPECT_EQ(gr_color_lighter(0x00000000, 1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(gr_color_lighter(0x40102030, 0.0f), 0x40102030u);
}

TEST(GrColor, WithAlphaReplacesOnlyTheAlphaByte) {
    EXPECT_EQ(gr_color_with_alpha(0x12345678, 0x9A), 0x9A345678u);
    EXPECT_EQ(gr_color_with_alpha(0xFFFFFFFF, 0), 0x00FFFFFFu);
}

// ---- float colours ----------------------------------------------------------------------

TEST(GrColor, ToRgbaWritesRedGreenBlueAlphaInZeroToOne) {
    float out[4];
    gr_color_to_rgba(0x80FF4000, out);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 64.0f / 255.0f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_FLOAT_EQ(out[3], 128.0f / 255.0f);
}

TEST(GrColor, FromRgbaRestoresEveryByteOfToRgba) {
    for (uint32_t v = 0; v < 256; ++v) {
        const gr_color_t c = (v << 24) | ((255 - v) << 16) | (v << 8) | ((v * 7) & 0xFF);
        float f[4];
        gr_color_to_rgba(c, f);
        EXPECT_EQ(gr_color_from_rgba(f[0], f[1], f[2], f[3]), c) << std::hex << c;
    }
}

// ---- HSV ------------------------------------------------------------------------------------

TEST(GrColor, FromHsvWithoutSaturationIsGreyForEveryHue) {
    for (int i = 0; i <= 20; ++i) {
        EXPECT_EQ(gr_color_from_hsv((float)i / 20.0f, 0.0f, 0.5f), 0xFF7F7F7Fu) << i;
    }
    EXPECT_EQ(gr_color_from_hsv(0.3f, 0.0f, 1.0f), 0xFFFFFFFFu);
}

TEST(GrColor, FromHsvOfFullHuesGivesPrimariesAndSecondaries) {
    EXPECT_EQ(gr_color_from_hsv(0.0f, 1.0f, 1.0f), 0xFFFF0000u);
    EXPECT_EQ(gr_color_from_hsv(1.0f / 6.0f, 1.0f, 1.0f), 0xFFFFFF00u);
    EXPECT_EQ(gr_color_from_hsv(2.0f / 6.0f, 1.0f, 1.0f), 0xFF00FF00u);
    EXPECT_EQ(gr_color_from_hsv(3.0f / 6.0f, 1.0f, 1.0f), 0xFF00FFFFu);
    EXPECT_EQ(gr_color_from_hsv(4.0f / 6.0f, 1.0f, 1.0f), 0xFF0000FFu);
    EXPECT_EQ(gr_color_from_hsv(5.0f / 6.0f, 1.0f, 1.0f), 0xFFFF00FFu);
}

TEST(GrColor, FromHsvWrapsHueAround) {
    EXPECT_EQ(gr_color_from_hsv(1.0f, 1.0f, 1.0f), 0xFFFF0000u);
    EXPECT_EQ(gr_color_from_hsv(-0.5f, 1.0f, 1.0f), 0xFF00FFFFu);
    EXPECT_EQ(gr_color_from_hsv(std::nextafter(1.0f, 0.0f), 1.0f, 1.0f), 0xFFFF0000u);
    EXPECT_EQ(gr_color_from_hsv(-1e-9f, 1.0f, 1.0f), 0xFFFF0000u);
}

TEST(GrColor, ToHsvOfRedIsHueZeroFullSaturationFullValue) {
    float hsv[3];
    gr_color_to_hsv(0xFFFF0000, hsv);
    EXPECT_EQ(hsv[0], 0.0f);
    EXPECT_FLOAT_EQ(hsv[1], 1.0f);
    EXPECT_FLOAT_EQ(hsv[2], 1.0f);
}

TEST(GrColor, ToHsvPlacesGreenAndBlueAtThirds) {
    float hsv[3];
    gr_color_to_hsv(0xFF00FF00, hsv);
    EXPECT_FLOAT_EQ(hsv[0], 1.0f / 3.0f);
    gr_color_to_hsv(0xFF0000FF, hsv);
    EXPECT_FLOAT_EQ(hsv[0], 2.0f / 3.0f);
    gr_color_to_hsv(0xFFFF00FF, hsv);
    EXPECT_FLOAT_EQ(hsv[0], 5.0f / 6.0f);
}

TEST(GrColor, ToHsvOfGreyAndBlackHasNoSaturation) {
    float hsv[3];
    gr_color_to_hsv(0xFF808080, hsv);
    EXPECT_EQ(hsv[0], 0.0f);
    EXPECT_EQ(hsv[1], 0.0f);
    EXPECT_FLOAT_EQ(hsv[2], 128.0f / 255.0f);
    gr_color_to_hsv(0xFF000000, hsv);
    EXPECT_EQ(hsv[0], 0.0f);
    EXPECT_EQ(hsv[1], 0.0f);
    EXPECT_EQ(hsv[2], 0.0f);
}

TEST(GrColor, HsvRoundTripStaysWithinOneLevel) {
    for (gr_color_t c : rgb_sweep(5)) {
        float hsv[3];
        gr_color_to_hsv(c, hsv);
        ASSERT_GE(hsv[0], 0.0f);
        ASSERT_LT(hsv[0], 1.0f);
        ASSERT_LE(max_rgb_error(gr_color_from_hsv(hsv[0], hsv[1], hsv[2]), c), 1) << std::hex << c;
    }
}

TEST(GrColor, JitterShiftsHueBothWaysAndMakesOpaque) {
    EXPECT_EQ(gr_color_jitter(0xFFFF0000, 1.0f / 3.0f, 0.0f, 0.0f), 0xFF00FF00u);
    EXPECT_EQ(gr_color_jitter(0xFFFF0000, -1.0f / 3.0f, 0.0f, 0.0f), 0xFF0000FFu);
    EXPECT_EQ(gr_color_jitter(0x40FF0000, 1.0f, 0.0f, 0.0f), 0xFFFF0000u);
}

TEST(GrColor, JitterClampsSaturationAndValue) {
    EXPECT_EQ(gr_color_jitter(0xFFFF0000, 0.0f, -2.0f, 0.0f), 0xFFFFFFFFu);
    EXPECT_EQ(gr_color_jitter(0xFFFF0000, 0.0f, 0.5f, 0.5f), 0xFFFF0000u);
    EXPECT_EQ(gr_color_jitter(0xFFFF0000, 0.0f, 0.0f, -3.0f), 0xFF000000u);
    EXPECT_EQ(gr_color_jitter(0xFF336699, 0.0f, 0.0f, 0.0f), 0xFF336699u);
}

// ---- Lab ------------------------------------------------------------------------------------

TEST(GrColor, ToLabCarriesHalfOffsetOnEveryComponent) {
    float lab[3];
    gr_color_to_lab(0xFFFFFFFF, lab);
    EXPECT_NEAR(lab[0], 100.5f, 1e-3f);
    EXPECT_NEAR(lab[1], 0.5f, 1e-3f);
    EXPECT_NEAR(lab[2], 0.5f, 1e-3f);
    gr_color_to_lab(0xFF000000, lab);
    EXPECT_NEAR(lab[0], 0.5f, 1e-6f);
    EXPECT_NEAR(lab[1], 0.5f, 1e-6f);
    EXPECT_NEAR(lab[2], 0.5f, 1e-6f);
}

TEST(GrColor, ToLabOfRedMatchesCieValuesOfLinearRed) {
    // Linear red is L 53.24, a 80.09, b 67.20; each is reported half a unit up.
    float lab[3];
    gr_color_to_lab(0xFFFF0000, lab);
    EXPECT_NEAR(lab[0], 53.74f, 0.01f);
    EXPECT_NEAR(lab[1], 80.59f, 0.01f);
    EXPECT_NEAR(lab[2], 67.70f, 0.01f);
}

TEST(GrColor, FromLabInvertsToLabOnceTheOffsetsAreRemoved) {
    for (gr_color_t c : rgb_sweep(5)) {
        float lab[3];
        gr_color_to_lab(c, lab);
        for (float& v : lab) {
            v -= 0.5f;
        }
        ASSERT_EQ(gr_color_from_lab(lab), c) << std::hex << c;
    }
}

TEST(GrColor, LabRoundTripStaysWithinTolerance) {
    // from_lab reads the offsets back as colour, which drifts lighter colours
    // by a few levels; black and white come back exactly.
    for (gr_color_t c : rgb_sweep(5)) {
        float lab[3];
        gr_color_to_lab(c, lab);
        ASSERT_LE(max_rgb_error(gr_color_from_lab(lab), c), 7) << std::hex << c;
    }
    for (gr_color_t c : {0xFF000000u, 0xFFFFFFFFu, 0xFFFF0000u}) {
        float lab[3];
        gr_color_to_lab(c, lab);
        EXPECT_EQ(gr_color_from_lab(lab), c) << std::hex << c;
    }
}

TEST(GrColor, FromLabClampsOutOfGamutColoursAndIsOpaque) {
    const float lab[3] = {60.0f, 150.0f, 0.5f};
    const gr_color_t c = gr_color_from_lab(lab);
    EXPECT_EQ(c >> 24, 0xFFu);
    EXPECT_EQ(channel(c, 16), 255);
    EXPECT_EQ(channel(c, 8), 0);
}

// ---- lists: average, nearest, sort ----------------------------------------------------------

TEST(GrColor, AverageTruncatesEachChannelIncludingAlpha) {
    const gr_color_t pair[2] = {0x01020304, 0x02030405};
    EXPECT_EQ(gr_color_average(2, pair), 0x01020304u);
    const gr_color_t alpha[3] = {0xFF0000FF, 0x000000FE, 0x000000FE};
    EXPECT_EQ(gr_color_average(3, alpha), 0x550000FEu);
    const gr_color_t one[1] = {0x89ABCDEF};
    EXPECT_EQ(gr_color_average(1, one), 0x89ABCDEFu);
}

TEST(GrColor, NearestTiesGoToTheLowerIndex) {
    const gr_color_t same[3] = {0xFF0000FF, 0xFFFF0000, 0xFFFF0000};
    EXPECT_EQ(gr_color_nearest(0xFFFF0000, 3, same), 1);
    // Equally far on either side of the blue channel.
    const gr_color_t around[2] = {0xFF808070, 0xFF808090};
    EXPECT_EQ(gr_color_nearest(0xFF808080, 2, around), 0);
}

TEST(GrColor, NearestFindsTheClosestEntry) {
    const gr_color_t palette[3] = {0xFFFFFFFF, 0xFF000000, 0xFFFF0000};
    EXPECT_EQ(gr_color_nearest(0xFFC00000, 3, palette), 2);
    EXPECT_EQ(gr_color_nearest(0xFF400000, 3, palette), 1);
    EXPECT_EQ(gr_color_nearest(0xFFE0E0E0, 3, palette), 0);
    EXPECT_EQ(gr_color_nearest(0xFFE0E0E0, 0, palette), 0);
}

TEST(GrColor, NearestWeighsGreenAboveRed) {
    // Plain RGB distance prefers the green step (100 < 169); redmean counts
    // green four times and red about twice, so the red step is nearer.
    const gr_color_t palette[2] = {rgb(0, 10, 0), rgb(13, 0, 0)};
    EXPECT_LT(gr_color_dist2(rgb(0, 0, 0), palette[0]), gr_color_dist2(rgb(0, 0, 0), palette[1]));
    EXPECT_EQ(gr_color_nearest(rgb(0, 0, 0), 2, palette), 1);
}

TEST(GrColor, SortChainsGreysFromTheFirstColour) {
    gr_color_t greys[5] = {0xFF000000, 0xFFFFFFFF, 0xFF404040, 0xFFC0C0C0, 0xFF808080};
    gr_color_sort(5, greys);
    const gr_color_t expected[5] = {0xFF000000, 0xFF404040, 0xFF808080, 0xFFC0C0C0, 0xFFFFFFFF};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(greys[i], expected[i]) << i;
    }
}

TEST(GrColor, SortLeavesTwoColoursUnchanged) {
    gr_color_t pair[2] = {0xFFFFFFFF, 0xFF000000};
    gr_color_sort(2, pair);
    EXPECT_EQ(pair[0], 0xFFFFFFFFu);
    EXPECT_EQ(pair[1], 0xFF000000u);
}

TEST(GrColor, SortMakesEachNextColourTheNearestOfThoseAfter) {
    std::vector<gr_color_t> colours;
    uint32_t state = 12345;
    for (int i = 0; i < 64; ++i) {
        state = state * 1664525u + 1013904223u;
        colours.push_back(0xFF000000u | (state >> 8));
    }
    std::vector<gr_color_t> sorted = colours;
    gr_color_sort((int)sorted.size(), sorted.data());
    EXPECT_EQ(sorted[0], colours[0]);
    for (size_t i = 0; i + 2 < sorted.size(); ++i) {
        const int rest = (int)(sorted.size() - i - 1);
        EXPECT_EQ(gr_color_nearest(sorted[i], rest, sorted.data() + i + 1), 0) << i;
    }
    std::sort(colours.begin(), colours.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, colours);
}

// ---- palettes --------------------------------------------------------------------------------

TEST(GrColor, PaletteOfARepeatedColourIsThatColour) {
    const std::vector<gr_color_t> colours(10, 0xFF336699);
    int count = -1;
    gr_color_t* palette = gr_color_palette_calc(10, colours.data(), &count, 0.1f);
    ASSERT_NE(palette, nullptr);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(palette[0], 0xFF336699u);
    free(palette);
}

TEST(GrColor, PaletteListsMostFrequentFirstAndIsOpaque) {
    const gr_color_t colours[8] = {0x80FF0000, 0xFF0000FF, 0xFF0000FF, 0x80FF0000,
                                   0xFF0000FF, 0xFF0000FF, 0x80FF0000, 0xFF0000FF};
    int count = 0;
    gr_color_t* palette = gr_color_palette_calc(8, colours, &count, 0.1f);
    ASSERT_NE(palette, nullptr);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(palette[0], 0xFF0000FFu);
    EXPECT_EQ(palette[1], 0xFFFF0000u);
    free(palette);
}

TEST(GrColor, PaletteMergesIntoTheFirstCloseEntryAndAveragesIt) {
    // 107 is nearer 110 but within the threshold of 100, which came first:
    // the entry of 100 takes it and moves to the mean 103.5.
    const gr_color_t colours[3] = {rgb(100, 100, 100), rgb(110, 110, 110), rgb(107, 107, 107)};
    ASSERT_LT(gr_color_diff(colours[0], colours[2]), 0.035f);
    ASSERT_GE(gr_color_diff(colours[0], colours[1]), 0.035f);
    int count = 0;
    gr_color_t* palette = gr_color_palette_calc(3, colours, &count, 0.035f);
    ASSERT_NE(palette, nullptr);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(palette[0], rgb(103, 103, 103));
    EXPECT_EQ(palette[1], rgb(110, 110, 110));
    free(palette);
}

TEST(GrColor, PaletteWithZeroThresholdMergesNothing) {
    std::vector<gr_color_t> colours;
    for (int i = 0; i < 100; ++i) {
        colours.push_back(rgb(i, 255 - i, (i * 37) & 0xFF));
        colours.push_back(rgb(i, 255 - i, (i * 37) & 0xFF));
    }
    int count = 0;
    gr_color_t* palette = gr_color_palette_calc((int)colours.size(), colours.data(), &count, 0.0f);
    ASSERT_NE(palette, nullptr);
    ASSERT_EQ(count, 200);
    std::vector<gr_color_t> got(palette, palette + count);
    std::sort(got.begin(), got.end());
    std::sort(colours.begin(), colours.end());
    EXPECT_EQ(got, colours);
    free(palette);
}

TEST(GrColor, PaletteOfNoColoursIsEmpty) {
    int count = -1;
    gr_color_t* palette = gr_color_palette_calc(0, nullptr, &count, 0.1f);
    EXPECT_NE(palette, nullptr);
    EXPECT_EQ(count, 0);
    free(palette);
}

TEST(GrColor, KmeansFindsBothOfTwoClusters) {
    // Dark reds with mean (14.5, 0, 0) and light blues with mean (0, 204.5, 244.5).
    std::vector<gr_color_t> colours;
    for (int i = 0; i < 10; ++i) {
        colours.push_back(rgb(10 + i, 0, 0));
        colours.push_back(rgb(0, 200 + i, 240 + i));
    }
    for (unsigned seed = 1; seed <= 8; ++seed) {
        srand(seed);
        gr_color_t* centres = gr_color_palette_kmeans((int)colours.size(), colours.data(), 2);
        ASSERT_NE(centres, nullptr);
        std::vector<gr_color_t> got(centres, centres + 2);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got[0], rgb(0, 204, 244)) << "seed " << seed;
        EXPECT_EQ(got[1], rgb(14, 0, 0)) << "seed " << seed;
        free(centres);
    }
}

TEST(GrColor, KmeansWithOneCentreGivesTheOpaqueMean) {
    const gr_color_t colours[4] = {0x00000000, 0x80030303, 0xFF000000, 0xFF030303};
    srand(1);
    gr_color_t* centre = gr_color_palette_kmeans(4, colours, 1);
    ASSERT_NE(centre, nullptr);
    EXPECT_EQ(centre[0], 0xFF010101u);
    free(centre);
}

TEST(GrColor, KmeansWithMoreCentresThanColoursRepeatsThem) {
    const gr_color_t colours[1] = {0xFF336699};
    gr_color_t* centres = gr_color_palette_kmeans(1, colours, 3);
    ASSERT_NE(centres, nullptr);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(centres[j], 0xFF336699u) << j;
    }
    free(centres);
}

// ---- histogram ---------------------------------------------------------------------------------

TEST(GrColor, HistogramMedianFindsTheMiddleBinOfEachChannel) {
    gr_histogram_s h = {};
    h.count = 100;
    h.bins[0][7] = 100;
    h.bins[1][200] = 100;
    h.bins[2][10] = 30;
    h.bins[2][20] = 70;
    int m0 = -1, m1 = -1, m2 = -1;
    gr_histogram_median(&h, &m0, &m1, &m2);
    EXPECT_EQ(m0, 7);
    EXPECT_EQ(m1, 200);
    EXPECT_EQ(m2, 20);
}

TEST(GrColor, HistogramMedianOfAnEvenSplitIsTheLowerBin) {
    gr_histogram_s h = {};
    h.count = 4;
    for (auto& bins : h.bins) {
        bins[3] = 2;
        bins[9] = 2;
    }
    int m0 = -1, m1 = -1, m2 = -1;
    gr_histogram_median(&h, &m0, &m1, &m2);
    EXPECT_EQ(m0, 3);
    EXPECT_EQ(m1, 3);
    EXPECT_EQ(m2, 3);
}

TEST(GrColor, HistogramMedianOfOnePixelIsItsBin) {
    gr_histogram_s h = {};
    h.count = 1;
    h.bins[0][42] = 1;
    h.bins[1][0] = 1;
    h.bins[2][255] = 1;
    int m0 = -1, m1 = -1, m2 = -1;
    gr_histogram_median(&h, &m0, &m1, &m2);
    EXPECT_EQ(m0, 42);
    EXPECT_EQ(m1, 0);
    EXPECT_EQ(m2, 255);
}

TEST(GrColor, HistogramMedianIs256WhenTheBinsFallShort) {
    gr_histogram_s h = {};
    h.count = 100;
    h.bins[0][3] = 10; // half of the total is never reached
    h.bins[1][5] = 100;
    int m0 = -1, m1 = -1, m2 = -1;
    gr_histogram_median(&h, &m0, &m1, &m2);
    EXPECT_EQ(m0, 256);
    EXPECT_EQ(m1, 5);
    EXPECT_EQ(m2, 256);
}
