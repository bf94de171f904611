// In-place smoothing across column strips, the tangents-only analysis (what the full one gives,
// bit for bit, on three planes) and the huge-page blocks that hold the planes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_filter_flow.h"
#include "gr/gr_internal.h"
#include "gr/gr_memory.h"
#include "gr_filter_test_util.h"

using grt::Complex;
using grt::Image;
using grt::plane;

TEST(GrMemory, InPlaceSmoothingEqualsTheClampedSumAcrossStrips) {
    // Widths around the 128-column strips, heights below (all taps clamp) and above the radius.
    struct Case {
        int32_t w, h, r;
    };
    const Case cases[] = {{127, 1, 3}, {128, 5, 9}, {129, 40, 3}, {300, 7, 2}, {257, 33, 8}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-2.0f, 2.0f);
    for (const Case& c : cases) {
        std::vector<float> source(size_t(c.w) * size_t(c.h));
        for (float& v : source)
            v = value(rng);
        const std::vector<float> expected = grt::clamped_binomial(source, c.w, c.h, c.r);
        for (int32_t bands : {1, 3, int(GR__BANDS_AUTO)}) {
            std::vector<float> p = source;
            ASSERT_TRUE(gr__gaussianConvolveBands(c.w, c.h, p.data(), c.r, bands));
            EXPECT_EQ(p, expected) << c.w << "x" << c.h << " r " << c.r << " bands " << bands;
        }
    }
}

TEST(GrMemory, TangentsOnlyAnalysisGivesTheFullOnesFieldsAndDrawing) {
    Image photo = grt::photo("cat_451x300_rgba.png");
    ASSERT_TRUE(photo);
    Complex full(gr_complex_create(photo.get()));
    Complex lean(gr_complex_create(photo.get()));
    ASSERT_TRUE(full && lean);
    gr_complex_set_log(full.get(), {nullptr, nullptr});
    gr_complex_set_log(lean.get(), {nullptr, nullptr});
    ASSERT_TRUE(gr_complex_compute_sst(full.get(), 3, nullptr, nullptr));
    std::vector<float> fractions;
    ASSERT_TRUE(gr_complex_compute_tangents(
        lean.get(), 3,
        [](void* user, float f) { static_cast<std::vector<float>*>(user)->push_back(f); },
        &fractions));
    EXPECT_EQ(fractions, (std::vector<float>{0.0f, 0.333f, 0.666f, 1.0f}));
    for (float* gone : {lean->grad_x, lean->grad_y, lean->tensor_xx, lean->tensor_yy,
                        lean->tensor_xy, lean->lambda_minor, lean->lambda_major})
        EXPECT_EQ(gone, nullptr);
    EXPECT_EQ(plane(lean->grad_mag, lean.get()), plane(full->grad_mag, full.get()));
    EXPECT_EQ(plane(lean->tangent_x, lean.get()), plane(full->tangent_x, full.get()));
    EXPECT_EQ(plane(lean->tangent_y, lean.get()), plane(full->tangent_y, full.get()));

    // Flow passes read copies of the tangents, which the lean analysis keeps from pass to pass
    // (resized with the radius) and the full one drops; the drawing reads the tangents alone.
    for (int radius : {5, 5, 1, 9}) {
        ASSERT_TRUE(gr_complex_compute_etf(full.get(), radius));
        gr_complex_release_tensor(full.get(), true);
        ASSERT_TRUE(gr_complex_compute_etf(lean.get(), radius));
        ASSERT_NE(lean->flow_scratch, nullptr);
    }
    EXPECT_EQ(plane(lean->tangent_x, lean.get()), plane(full->tangent_x, full.get()));
    EXPECT_EQ(plane(lean->tangent_y, lean.get()), plane(full->tangent_y, full.get()));
    gr_complex_release_tensor(lean.get(), false);
    EXPECT_TRUE(lean->grad_mag == nullptr && lean->flow_scratch == nullptr);
    Image a(gr_filter_fDoG(photo.get(), full.get(), 5, 8, 8, 2, 0.98f, 0.9999f));
    Image b(gr_filter_fDoG(photo.get(), lean.get(), 5, 8, 8, 2, 0.98f, 0.9999f));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(grt::pixels(b.get()), grt::pixels(a.get()));
}

// Zeroed blocks reusing written memory, either side of the huge-page threshold; overflows refused.
TEST(GrMemory, ZeroedBlocksAreZeroWhenReused) {
    for (size_t bytes : {size_t(1000), (size_t(4) << 20) + 12, size_t(9) << 20}) {
        for (int round = 0; round < 3; round++) {
            unsigned char* dirty = static_cast<unsigned char*>(gr_memory_alloc(bytes));
            ASSERT_NE(dirty, nullptr);
            std::fill(dirty, dirty + bytes, 0xA5);
            std::free(dirty);
            unsigned char* zeroed = static_cast<unsigned char*>(gr_memory_calloc(bytes / 4, 4));
            ASSERT_NE(zeroed, nullptr);
            EXPECT_EQ(std::count(zeroed, zeroed + bytes / 4 * 4, 0), std::ptrdiff_t(bytes / 4 * 4))
                << bytes << " bytes";
            zeroed[bytes / 4 * 4 - 1] = 1; // the whole block is writable
            std::free(zeroed);
        }
    }
    EXPECT_EQ(gr_memory_calloc(SIZE_MAX / 2, 4), nullptr);
    // 2^62 + 2^21 blocks of 4 bytes: the product wraps to 8 MiB, a huge-page block.
    EXPECT_EQ(gr_memory_calloc((SIZE_MAX >> 2) + 1 + (size_t(1) << 21), 4), nullptr);
    EXPECT_EQ(gr_memory_alloc(SIZE_MAX - 100), nullptr);
}
