// Binomial smoothing: kernel values and the convolution's invariants.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "gr/gr_filter.h"
#include "gr/gr_internal.h"
#include "gr_filter_test_util.h"

using grt::Image;
using grt::result;

namespace {

std::vector<float> taps(float* c, int r) {
    std::vector<float> v(c, c + 2 * r + 1);
    std::free(c);
    return v;
}

} // namespace

TEST(GrGaussian, CoefficientsArePascalRows) {
    EXPECT_EQ(taps(gr__gaussianCoefficients(0), 0), (std::vector<float>{1}));
    EXPECT_EQ(taps(gr__gaussianCoefficients(1), 1), (std::vector<float>{1, 2, 1}));
    EXPECT_EQ(taps(gr__gaussianCoefficients(3), 3), (std::vector<float>{1, 6, 15, 20, 15, 6, 1}));
    for (int r : {5, 20}) {
        std::vector<float> c = taps(gr__gaussianCoefficients(r), r);
        double sum = 0;
        for (float v : c)
            sum += v;
        EXPECT_NEAR(sum / std::pow(4.0, r), 1.0, 1e-6) << "r=" << r;
        for (int k = 0; k < r; k++)
            EXPECT_EQ(c[k], c[2 * r - k]) << "symmetric";
    }
    EXPECT_EQ(taps(gr__boxCoefficients(2), 2), (std::vector<float>{1, 1, 1, 1, 1}));
}

TEST(GrGaussian, EveryBandCountGivesTheClampedSumBitForBit) {
    // Widths around the vector lanes, radii from none to beyond the plane.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-2.0f, 2.0f);
    for (int32_t w : {1, 3, 4, 5, 13}) {
        for (int32_t h : {1, 2, 9}) {
            for (int32_t r : {0, 1, 2, 9}) {
                std::vector<float> source(size_t(w) * size_t(h));
                for (float& v : source)
                    v = value(rng);
                const std::vector<float> expected = grt::clamped_binomial(source, w, h, r);
                for (int32_t bands : {1, 2, int(GR__BANDS_AUTO)}) {
                    std::vector<float> p = source;
                    gr__gaussianConvolveBands(w, h, p.data(), r, bands);
                    EXPECT_EQ(p, expected) << w << "x" << h << " r " << r << " bands " << bands;
                }
            }
        }
    }
}

TEST(GrFilterGaussian, UniformGreyStaysGreyAndEveryRadiusMakesItOpaque) {
    for (int r : {0, 1, 4, 30}) {
        Image im = grt::filled(9, 7, 0x40808080u);
        EXPECT_EQ(result(gr_filter_gaussian(im.get(), r)), std::vector<uint32_t>(63, 0xFF808080u))
            << "r=" << r;
        EXPECT_EQ(std::pair(im->pixels[0], im->refs), std::pair(0x40808080u, 1u)) << "untouched";
    }
    Image noise = grt::random_image(6, 5, 3, false);
    std::vector<uint32_t> opaque = grt::pixels(noise.get());
    for (uint32_t& p : opaque)
        p |= 0xFF000000u;
    EXPECT_EQ(result(gr_filter_gaussian(noise.get(), 0)), opaque);
    Image empty(gr_image_create(0, 0));
    EXPECT_EQ(result(gr_filter_gaussian(empty.get(), 3)).size(), 0u);
}

TEST(GrFilterGaussian, RoundsToNearestPerPassKeepingChannelsApart) {
    // [0, 255, 0], r = 1: centre (510 + 2) / 4 = 128, sides (255 + 2) / 4 = 64; green 64, 32.
    const uint32_t px[3] = {0xFF000000, 0xFFFF80FF, 0xFF000000};
    Image im(gr_image_create_pixels(3, 1, px));
    EXPECT_EQ(result(gr_filter_gaussian(im.get(), 1)),
              (std::vector<uint32_t>{0xFF402040u, 0xFF804080u, 0xFF402040u}));
}
