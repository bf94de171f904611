// Binomial smoothing: kernel values and the convolution's invariants.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
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

TEST(GrGaussian, RadiusZeroIsIdentityAndConstantsStayConstant) {
    std::mt19937 rng(7);
    std::vector<float> plane(13 * 9);
    for (float& v : plane)
        v = std::uniform_real_distribution<float>(-3, 3)(rng);
    std::vector<float> copy = plane;
    gr__gaussianConvolve(13, 9, plane.data(), 0);
    EXPECT_EQ(plane, copy);
    // Even when the radius exceeds the plane.
    for (int r : {1, 7, 20}) {
        std::vector<float> flat(5 * 4, 0.625f);
        gr__gaussianConvolve(5, 4, flat.data(), r);
        for (float v : flat)
            EXPECT_NEAR(v, 0.625f, 1e-6) << "r=" << r;
    }
}

TEST(GrGaussian, PointSpreadsToTheBinomialOuterProduct) {
    const int n = 21, c = 10;
    for (int r : {1, 3, 5}) {
        std::vector<float> plane(n * n, 0.0f);
        plane[c * n + c] = 1.0f;
        gr__gaussianConvolve(n, n, plane.data(), r);
        std::vector<float> k = taps(gr__gaussianCoefficients(r), r);
        const float s = float(std::pow(4.0, r));
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++) {
                const int dx = x - c, dy = y - c;
                const float want = (std::abs(dx) <= r && std::abs(dy) <= r)
                                       ? (k[dx + r] / s) * (k[dy + r] / s)
                                       : 0.0f;
                EXPECT_NEAR(plane[y * n + x], want, 1e-7) << "r=" << r << " at " << x << "," << y;
            }
    }
    // A single row [1, 0, 0]: with r = 1 the left tap of x = 0 reads x = 0 again.
    std::vector<float> row = {1, 0, 0};
    gr__gaussianConvolve(3, 1, row.data(), 1);
    EXPECT_EQ(row, (std::vector<float>{0.75f, 0.25f, 0.0f}));
}

TEST(GrFilterGaussian, UniformGreyStaysGreyAndEveryRadiusMakesItOpaque) {
    for (int r : {0, 1, 4, 30}) {
        Image im = grt::filled(9, 7, 0x40808080u);
        EXPECT_EQ(result(gr_filter_gaussian(im.get(), r)), std::vector<uint32_t>(63, 0xFF808080u))
            << "r=" << r;
        EXPECT_EQ(im->pixels[0], 0x40808080u) << "input untouched";
        EXPECT_EQ(im->refs, 1u);
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
    // Row [0, 255, 0] with r = 1: centre (0 + 510 + 0 + 2) / 4 = 128, sides
    // (0 + 0 + 255 + 2) / 4 = 64 (from 63.75 + 0.5).
    const uint32_t px[3] = {0xFF000000, 0xFF0000FF, 0xFF000000};
    Image im(gr_image_create_pixels(3, 1, px));
    EXPECT_EQ(result(gr_filter_gaussian(im.get(), 1)),
              (std::vector<uint32_t>{0xFF000040u, 0xFF000080u, 0xFF000040u}));
}
