// Resampling: target sizes, colour fidelity, orientation, empty and unholdable sizes.

#include <gtest/gtest.h>

#include <algorithm>

#include "gr/gr_filter.h"
#include "gr_filter_test_util.h"

using grt::Image;

namespace {
struct Size {
    uint32_t w, h;
};
} // namespace

TEST(GrFilterResize, FitsTheLongSideOrTakesTheExactSize) {
    const struct {
        Size from, to, want;
    } cases[] = {
        {{2000, 1000}, {1024, 0}, {1024, 512}},
        {{1000, 3000}, {1024, 0}, {341, 1024}}, // 1000 x 1024 / 3000 = 341.33
        {{300, 200}, {1024, 0}, {1024, 683}},   // 200 x 1024 / 300 = 682.67
        {{512, 512}, {1024, 0}, {1024, 1024}},
        {{1024, 768}, {1024, 0}, {1024, 768}},
        {{4, 3}, {2, 0}, {2, 2}}, // 3 x 2 / 4 = 1.5 rounds half away from zero
        {{1, 3000}, {1024, 0}, {1, 1024}},
        {{5000, 2}, {100, 0}, {100, 1}},
        {{2000, 1000}, {640, 480}, {640, 480}},
        {{13, 700}, {640, 480}, {640, 480}},
        {{1, 1}, {640, 480}, {640, 480}},
        {{640, 480}, {640, 480}, {640, 480}},
    };
    for (const auto& c : cases) {
        Image src = grt::filled(c.from.w, c.from.h, 0xFF808080u);
        Image out(gr_filter_resize(src.get(), c.to.w, c.to.h));
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(out->width == c.want.w && out->height == c.want.h)
            << c.from.w << " x " << c.from.h << " to " << c.to.w << " x " << c.to.h << " gave "
            << out->width << " x " << out->height;
    }
}

TEST(GrFilterResize, EmptySizesGiveEmptyImagesAndUnholdableOnesAreRefused) {
    Image src = grt::filled(40, 30, 0xFF123456u);
    Image empty(gr_image_create(0, 0));
    for (auto [from, w, h] : {std::tuple{src.get(), 0u, 0u},
                              {src.get(), 0u, 480u},
                              {empty.get(), 1024u, 0u},
                              {empty.get(), 640u, 480u}}) {
        Image out(gr_filter_resize(from, w, h));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(uint64_t(out->width) * out->height, 0u) << w << " x " << h;
    }
    EXPECT_EQ(gr_filter_resize(src.get(), GR_FILTER_RESIZE_MAX_SIDE + 1, 1), nullptr);
    EXPECT_EQ(gr_filter_resize(src.get(), 1, GR_FILTER_RESIZE_MAX_SIDE + 1), nullptr);
    EXPECT_EQ(gr_filter_resize(src.get(), 70000, 70000), nullptr); // > 2^32 pixels
    EXPECT_EQ(gr_filter_resize(src.get(), 0xFFFFFFFFu, 0), nullptr);
}

TEST(GrFilterResize, UniformColourStaysUniformAlphaIncluded) {
    for (gr_color_t c : {0x80336699u, 0xFFFFFFFFu, 0x00000000u, 0x01FE7F80u}) {
        Image src = grt::filled(300, 200, c);
        for (Size to : {Size{1024, 0}, Size{97, 0}, Size{640, 480}, Size{3, 500}}) {
            const auto px = grt::result(gr_filter_resize(src.get(), to.w, to.h));
            ASSERT_FALSE(px.empty());
            ASSERT_EQ(std::count(px.begin(), px.end(), c), ptrdiff_t(px.size()))
                << std::hex << c << std::dec << " to " << to.w << " x " << to.h;
        }
    }
}

TEST(GrFilterResize, AlphaIsFilteredLikeAColourWithoutPremultiplying) {
    // Transparent red beside opaque blue: each channel averages alone, transparent red counts.
    const uint32_t px[2] = {0x00FF0000u, 0xFF0000FFu};
    Image src(gr_image_create_pixels(2, 1, px));
    const gr_color_t c = grt::result(gr_filter_resize(src.get(), 1, 1)).at(0);
    EXPECT_NEAR(grt::alpha(c), 127.5, 1.0);
    EXPECT_NEAR(grt::red(c), 127.5, 1.0);
    EXPECT_NEAR(grt::blue(c), 127.5, 1.0);
    EXPECT_EQ(grt::green(c), 0);
}

TEST(GrFilterResize, KeepsOrientationAndChannels) {
    // Red top-left quadrant, green top-right, blue bottom-left, white bottom-right.
    Image src = grt::painted(64, 48, [](int x, int y) -> gr_color_t {
        if (y < 24)
            return x < 32 ? 0xFFFF0000u : 0xFF00FF00u;
        return x < 32 ? 0xFF0000FFu : 0xFFFFFFFFu;
    });
    for (Size to : {Size{640, 480}, Size{16, 0}, Size{33, 17}}) {
        Image out(gr_filter_resize(src.get(), to.w, to.h));
        ASSERT_NE(out, nullptr);
        const uint32_t w = out->width, h = out->height;
        EXPECT_EQ(grt::at(out.get(), 0, 0), 0xFFFF0000u);
        EXPECT_EQ(grt::at(out.get(), w - 1, 0), 0xFF00FF00u);
        EXPECT_EQ(grt::at(out.get(), 0, h - 1), 0xFF0000FFu);
        EXPECT_EQ(grt::at(out.get(), w - 1, h - 1), 0xFFFFFFFFu);
    }
}

TEST(GrFilterResize, HalvingARampAveragesNeighbours) {
    // Red rises 1 a pixel; away from the clamped ends each output is the mean of two, 2x + 0.5.
    Image src = grt::painted(256, 4, [](int x, int) { return 0xFF000000u | uint32_t(x) << 16; });
    Image out(gr_filter_resize(src.get(), 128, 2));
    ASSERT_NE(out, nullptr);
    for (uint32_t x = 4; x < 124; x++)
        EXPECT_NEAR(grt::red(grt::at(out.get(), x, 1)), 2.0 * x + 0.5, 1.0) << "x=" << x;
    int previous = -1;
    for (uint32_t x = 0; x < 128; x++) {
        EXPECT_GE(grt::red(grt::at(out.get(), x, 0)), previous);
        previous = grt::red(grt::at(out.get(), x, 0));
    }
}
