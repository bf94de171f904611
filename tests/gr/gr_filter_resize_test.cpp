// Resampling: target sizes, colour fidelity, orientation, empty and
// unrepresentable sizes, and the lock protocol on source and result.

#include <gtest/gtest.h>

#include <cstdlib>

#include "gr/gr_filter.h"
#include "gr_filter_test_util.h"

using grt::Image;

namespace {

struct Size {
    uint32_t w, h;
};

Size resized(uint32_t sw, uint32_t sh, uint32_t width, uint32_t height) {
    Image src = grt::filled(sw, sh, 0xFF808080u);
    Image out(gr_filter_resize(src.get(), width, height));
    EXPECT_NE(out, nullptr);
    return out ? Size{out->width, out->height} : Size{~0u, ~0u};
}

::testing::AssertionResult is_size(Size s, uint32_t w, uint32_t h) {
    if (s.w == w && s.h == h)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << s.w << " x " << s.h << ", want " << w << " x " << h;
}

} // namespace

TEST(GrFilterResize, LongSideFitsBothShrinkingAndEnlarging) {
    EXPECT_TRUE(is_size(resized(2000, 1000, 1024, 0), 1024, 512));
    // 1000 x 1024 / 3000 = 341.33
    EXPECT_TRUE(is_size(resized(1000, 3000, 1024, 0), 341, 1024));
    // 200 x 1024 / 300 = 682.67
    EXPECT_TRUE(is_size(resized(300, 200, 1024, 0), 1024, 683));
    EXPECT_TRUE(is_size(resized(512, 512, 1024, 0), 1024, 1024));
    EXPECT_TRUE(is_size(resized(1024, 768, 1024, 0), 1024, 768));
    // 3 x 2 / 4 = 1.5 rounds half away from zero.
    EXPECT_TRUE(is_size(resized(4, 3, 2, 0), 2, 2));
}

TEST(GrFilterResize, ExactSizeIgnoresAspect) {
    EXPECT_TRUE(is_size(resized(2000, 1000, 640, 480), 640, 480));
    EXPECT_TRUE(is_size(resized(13, 700, 640, 480), 640, 480));
    EXPECT_TRUE(is_size(resized(1, 1, 640, 480), 640, 480));
    EXPECT_TRUE(is_size(resized(640, 480, 640, 480), 640, 480));
}

TEST(GrFilterResize, ThinStripKeepsOnePixelAcross) {
    EXPECT_TRUE(is_size(resized(1, 3000, 1024, 0), 1, 1024));
    EXPECT_TRUE(is_size(resized(5000, 2, 100, 0), 100, 1));
}

TEST(GrFilterResize, ZeroSizesAndEmptySourcesGiveEmptyImages) {
    Image src = grt::filled(40, 30, 0xFF123456u);
    Image empty(gr_image_create(0, 0));
    Image none(gr_filter_resize(src.get(), 0, 0));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(uint64_t(none->width) * none->height, 0u);
    Image no_width(gr_filter_resize(src.get(), 0, 480));
    ASSERT_NE(no_width, nullptr);
    EXPECT_EQ(uint64_t(no_width->width) * no_width->height, 0u);
    for (Size want : {Size{1024, 0}, Size{640, 480}}) {
        Image out(gr_filter_resize(empty.get(), want.w, want.h));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(uint64_t(out->width) * out->height, 0u);
    }
}

TEST(GrFilterResize, RefusesSizesAnImageCannotHold) {
    Image src = grt::filled(2, 1, 0xFF000000u);
    EXPECT_EQ(gr_filter_resize(src.get(), GR_FILTER_RESIZE_MAX_SIDE + 1, 1), nullptr);
    EXPECT_EQ(gr_filter_resize(src.get(), 1, GR_FILTER_RESIZE_MAX_SIDE + 1), nullptr);
    EXPECT_EQ(gr_filter_resize(src.get(), 70000, 70000), nullptr); // > 2^32 pixels
    EXPECT_EQ(gr_filter_resize(src.get(), 0xFFFFFFFFu, 0), nullptr);
}

TEST(GrFilterResize, UniformColourStaysUniformAlphaIncluded) {
    for (gr_color_t c : {0x80336699u, 0xFFFFFFFFu, 0x00000000u, 0x01FE7F80u}) {
        Image src = grt::filled(300, 200, c);
        for (Size to : {Size{1024, 0}, Size{97, 0}, Size{640, 480}, Size{3, 500}}) {
            Image out(gr_filter_resize(src.get(), to.w, to.h));
            ASSERT_NE(out, nullptr);
            for (uint32_t p : grt::pixels(out.get()))
                ASSERT_EQ(p, c) << std::hex << c << std::dec << " to " << to.w << " x " << to.h;
        }
    }
}

TEST(GrFilterResize, AlphaIsFilteredLikeAColourWithoutPremultiplying) {
    // Transparent red beside opaque blue: each channel averages on its own, so
    // the red of the transparent pixel still counts.
    const uint32_t px[2] = {0x00FF0000u, 0xFF0000FFu};
    Image src(gr_image_create_pixels(2, 1, px));
    Image out(gr_filter_resize(src.get(), 1, 1));
    ASSERT_NE(out, nullptr);
    const gr_color_t c = grt::at(out.get(), 0, 0);
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
    // Red rises by 1 per pixel; each output pixel covers two inputs, so away
    // from the clamped ends it reads their mean, 2x + 0.5.
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

TEST(GrFilterResize, ReadsTheSourceUnchangedAndUnlocksTheResult) {
    Image src = grt::painted(37, 23, [](int x, int y) { return 0xFF000000u | uint32_t(x * y); });
    const std::vector<uint32_t> before = grt::pixels(src.get());
    grt::LockLog log;
    log.watch(src.get());
    const uint32_t version = src->version;
    Image out(gr_filter_resize(src.get(), 80, 0));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(log.locks, 1);
    EXPECT_EQ(log.unlocks, 1);
    EXPECT_EQ(log.changed, 0);
    EXPECT_EQ(src->version, version);
    EXPECT_EQ(grt::pixels(src.get()), before);
    EXPECT_EQ(src->flags & gr__image_flag_locked, 0u);
    EXPECT_EQ(out->flags & gr__image_flag_locked, 0u);
    EXPECT_GT(out->version, 0u);
    EXPECT_EQ(out->refs, 1u);
}
