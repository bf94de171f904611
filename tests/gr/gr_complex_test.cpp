// Structure analysis: gradients, tensor eigenvectors, flow passes, sampling, the weight image.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_filter_flow.h"
#include "gr_filter_test_util.h"

namespace {

using grt::analyse;
using grt::Complex;

// Replaces the tangent field: f(x, y) writes one tangent.
void set_tangents(gr_complex* cx, const std::function<void(int, int, float*, float*)>& f) {
    for (int y = 0; y < cx->height; y++)
        for (int x = 0; x < cx->width; x++) {
            const size_t i = size_t(y) * cx->width + x;
            f(x, y, &cx->tangent_x[i], &cx->tangent_y[i]);
        }
}

using Vec = std::pair<float, float>;

Vec tangent(const Complex& cx, int x, int y) {
    Vec t;
    gr_complex_tangent(cx.get(), x, y, &t.first, &t.second);
    return t;
}

} // namespace

TEST(GrComplex, UniformImageIsFlatAndStaysFlatUnderFlowPasses) {
    grt::Image image = grt::filled(16, 12, grt::grey(140));
    Complex cx = analyse(image.get(), 3);
    int32_t w = 0, h = 0;
    gr_complex_dims(cx.get(), &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(16, 12));
    for (int pass = 0; pass < 3; pass++) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                float tx, ty, lmin, lmax;
                gr_complex_tensor(cx.get(), x, y, &tx, &ty, &lmin, &lmax);
                ASSERT_EQ(std::tuple(tx, ty, lmin, lmax, gr_complex_gradmag(cx.get(), x, y)),
                          std::tuple(1.0f, 0.0f, 0.0f, 0.0f, 0.0f))
                    << x << "," << y << " pass " << pass;
            }
        gr_complex_compute_etf(cx.get(), 5);
    }
}

TEST(GrComplex, StepEdgesHaveHalfGradientsAndTangentsAlongTheEdge) {
    // Bright before row (column) 8: gradient 3 x 1/6, upper (left) minus lower (right). A vertical
    // edge (F = 0, E > G) keeps a vertical tangent; the flow never mixes orthogonal tangents.
    for (bool vertical : {false, true}) {
        SCOPED_TRACE(vertical ? "vertical" : "horizontal");
        grt::Image image = grt::painted(
            20, 20, [&](int x, int y) { return grt::grey((vertical ? x : y) < 8 ? 255 : 0); });
        Complex cx = analyse(image.get(), 2, vertical ? 3 : 0);
        const float* across = vertical ? cx->grad_x : cx->grad_y;
        const float* along = vertical ? cx->grad_y : cx->grad_x;
        const Vec flat(1.0f, 0.0f), edge = vertical ? Vec(0.0f, 1.0f) : flat;
        for (int u = 0; u < 20; u++) {
            auto at = [&](int d) { return vertical ? size_t(u) * 20 + d : size_t(d) * 20 + u; };
            for (int d : {7, 8}) {
                EXPECT_NEAR(across[at(d)], 0.5f, 1e-6) << u << "," << d;
                EXPECT_EQ(along[at(d)], 0.0f);
                EXPECT_NEAR(gr_complex_gradmag(cx.get(), vertical ? d : u, vertical ? u : d), 0.5f,
                            1e-6);
            }
            EXPECT_EQ(across[at(3)], 0.0f);
            for (int d : {6, 7, 8, 9}) {
                const Vec t = tangent(cx, vertical ? d : u, vertical ? u : d);
                EXPECT_EQ(vertical ? Vec(std::fabs(t.first), std::fabs(t.second)) : t, edge) << u;
            }
            EXPECT_EQ(tangent(cx, vertical ? 0 : u, vertical ? u : 0), flat) << "far from it";
            EXPECT_TRUE(cx->lambda_minor[at(8)] == 0.0f && cx->lambda_major[at(8)] > 0.0f) << u;
        }
    }
}

TEST(GrComplex, DiagonalEdgeTangentFollowsTheDiagonal) {
    grt::Image image =
        grt::painted(64, 64, [](int x, int y) { return grt::grey(x + y < 64 ? 220 : 30); });
    Complex cx = analyse(image.get(), 3);
    // Beyond the reach of the clamped borders, the band around the edge.
    for (int x = 8; x < 56; x++)
        for (int d = -3; d <= 3; d++) {
            // Along the line x + y = const: (1, -1) / sqrt 2.
            const Vec t = tangent(cx, x, 63 - x + d);
            EXPECT_NEAR(t.first, std::sqrt(0.5f), 1e-6) << x << "," << d;
            EXPECT_NEAR(t.second, -std::sqrt(0.5f), 1e-6);
        }
}

TEST(GrComplex, PhotoTangentsAreUnitEigenvectorsOfTheMinorEigenvalue) {
    grt::Image image = grt::photo("camera_512x512_grey.png");
    Complex cx = analyse(image.get(), 3);
    const size_t n = size_t(cx->width) * cx->height;
    for (size_t i = 0; i < n; i += 7) {
        const float e = cx->tensor_xx[i], g = cx->tensor_yy[i], f = cx->tensor_xy[i];
        const float tx = cx->tangent_x[i], ty = cx->tangent_y[i];
        const float lmin = cx->lambda_minor[i], lmax = cx->lambda_major[i];
        ASSERT_NEAR(tx * tx + ty * ty, 1.0f, 1e-5) << i;
        ASSERT_LE(lmin, lmax);
        ASSERT_NEAR(lmin + lmax, e + g, 1e-5f * (e + g) + 1e-12f);
        // (T - lambda_minor) t = 0, relative to the tensor's scale.
        const float scale = lmax + 1e-12f;
        ASSERT_NEAR(((e - lmin) * tx + f * ty) / scale, 0.0f, 2e-3) << i;
        ASSERT_NEAR((f * tx + (g - lmin) * ty) / scale, 0.0f, 2e-3) << i;
    }
    EXPECT_EQ(gr_image_get_width(image.get()), 512u) << "the image is left alone";
}

TEST(GrComplex, ProgressArrivesInOrderThenTheTimeIsLogged) {
    grt::Image image = grt::filled(8, 8, grt::grey(90));
    Complex cx(gr_complex_create(image.get()));
    struct Seen {
        std::vector<float> fractions;
    } seen;
    auto cb = [](void* user, float f) { static_cast<Seen*>(user)->fractions.push_back(f); };
    testing::internal::CaptureStderr();
    gr_complex_compute_sst(cx.get(), 3, cb, &seen);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(seen.fractions, (std::vector<float>{0.0f, 0.333f, 0.666f, 1.0f}));
    EXPECT_EQ(log.rfind("Complex compute took ", 0), 0u) << log;
    EXPECT_EQ(log.back(), '\n');

    testing::internal::CaptureStderr();
    gr_complex_compute_sst(cx.get(), 3, nullptr, nullptr);
    log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("seconds."), std::string::npos) << "logged without a callback too";
}

TEST(GrComplex, OppositeTangentsReinforceAndAllZeroTangentsStayZero) {
    grt::Image image = grt::filled(9, 9, grt::grey(128));
    Complex cx = analyse(image.get(), 1);
    set_tangents(cx.get(), [](int x, int y, float* tx, float* ty) {
        *tx = (x + y) % 2 ? -1.0f : 1.0f;
        *ty = 0.0f;
    });
    gr_complex_compute_etf(cx.get(), 2);
    for (int y = 0; y < 9; y++)
        for (int x = 0; x < 9; x++)
            EXPECT_EQ(tangent(cx, x, y), Vec((x + y) % 2 ? -1.0f : 1.0f, 0.0f)) << x << "," << y;
    // (A lone zero tangent takes the plain mean: see the fast flow tests.)
    set_tangents(cx.get(), [](int, int, float* tx, float* ty) { *tx = *ty = 0.0f; });
    gr_complex_compute_etf(cx.get(), 1);
    EXPECT_EQ(std::count(cx->tangent_x, cx->tangent_x + 81, 0.0f), 81);
    EXPECT_EQ(std::count(cx->tangent_y, cx->tangent_y + 81, 0.0f), 81);
}

TEST(GrComplex, FlowPassReadsOnlyThePreviousField) {
    grt::Image image = grt::filled(9, 1, grt::grey(128));
    Complex cx = analyse(image.get(), 0);
    set_tangents(cx.get(), [](int x, int, float* tx, float* ty) {
        *tx = x == 4 ? 0.6f : 1.0f;
        *ty = x == 4 ? 0.8f : 0.0f;
    });
    gr_complex_compute_etf(cx.get(), 1);
    for (int x = 0; x < 9; x++) {
        if (x >= 3 && x <= 5) {
            EXPECT_GT(tangent(cx, x, 0).second, 0.0f) << x << " sees the odd tangent";
        } else {
            EXPECT_EQ(tangent(cx, x, 0), Vec(1.0f, 0.0f)) << x << " is out of its reach";
        }
    }
}

TEST(GrComplex, ReadsAndSamplesClampToTheBorder) {
    grt::Image image = grt::filled(4, 3, grt::grey(128));
    Complex cx = analyse(image.get(), 1);
    set_tangents(cx.get(), [](int x, int y, float* tx, float* ty) {
        const float a = float(x * 3 + y) * 0.3f;
        *tx = std::cos(a);
        *ty = std::sin(a);
    });
    cx->grad_mag[11] = 2.5f;
    EXPECT_EQ(gr_complex_gradmag(cx.get(), 9, 7), 2.5f);
    auto sample = [&](float x, float y) {
        Vec t;
        gr_complex_tangent_sample(cx.get(), &t.first, &t.second, x, y);
        return t;
    };
    // Samples come out renormalised: equal up to rounding.
    auto near = [](Vec a, Vec b) {
        return std::fabs(a.first - b.first) < 1e-6f && std::fabs(a.second - b.second) < 1e-6f;
    };
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_TRUE(near(sample(float(x), float(y)), tangent(cx, x, y))) << x << "," << y;
    // Coordinates beyond every side read the nearest border cell.
    const Vec corner(cx->tangent_x[8], cx->tangent_y[8]);
    EXPECT_EQ(tangent(cx, -3, 100), corner);
    EXPECT_TRUE(near(sample(-7.5f, 40.0f), corner));
    EXPECT_TRUE(near(sample(99.0f, -1.0f), Vec(cx->tangent_x[3], cx->tangent_y[3])));

    // Halfway between (1, 0) and (0, 1) comes out renormalised.
    set_tangents(cx.get(), [](int x, int, float* tx, float* ty) {
        *tx = x == 0 ? 1.0f : 0.0f;
        *ty = x == 0 ? 0.0f : 1.0f;
    });
    const Vec half = sample(0.5f, 1.0f);
    EXPECT_FLOAT_EQ(half.first, std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(half.second, std::sqrt(0.5f));
}

TEST(GrComplex, RecomputeRestartsFromTheRawField) {
    grt::Image image = grt::photo("cat_451x300_rgba.png");
    const std::vector<uint32_t> before = grt::pixels(image.get());
    Complex cx = analyse(image.get(), 3);
    const std::vector<float> raw = grt::plane(cx->tangent_x, cx.get());
    gr_complex_compute_etf(cx.get(), 5);
    EXPECT_NE(grt::plane(cx->tangent_x, cx.get()), raw);
    gr_complex_compute_sst(cx.get(), 3, nullptr, nullptr);
    EXPECT_EQ(grt::plane(cx->tangent_x, cx.get()), raw);
    EXPECT_EQ(grt::pixels(image.get()), before);
}

TEST(GrComplex, EmptyImageComputesNothingStillReportsAndFiltersToEmpty) {
    grt::Image image(gr_image_create(0, 5));
    Complex cx(gr_complex_create(image.get()));
    int calls = 0;
    gr_complex_compute_sst(
        cx.get(), 3, [](void* u, float) { ++*static_cast<int*>(u); }, &calls);
    gr_complex_compute_etf(cx.get(), 5);
    EXPECT_EQ(calls, 4);
    for (gr_image_s* out : {gr_complex_weight_image(cx.get(), 1.0f, 1.0f),
                            gr_filter_fDoG(image.get(), cx.get(), 5, 8, 8, 2, 0.98f, 0.9999f),
                            gr_filter_LIC(image.get(), cx.get(), 7, 1),
                            gr_filter_DoG(image.get(), 5, 8, 0.98f, 0.9999f)}) {
        grt::Image owned(out);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::pair(gr_image_get_width(out), gr_image_get_height(out)), std::pair(0u, 5u));
    }
}

TEST(GrComplexWeight, BlendsEigenvaluesAndVignette) {
    // The vignette alone: smoothstep of (0.5 - rho) * 1.0938363, 0 outside; one column on its axis.
    const float c = 0.5f * 1.0938363f;
    const uint32_t centre = grt::grey(int(c * c * (3 - 2 * c) * 255.0f));
    for (uint32_t w : {9u, 1u}) {
        SCOPED_TRACE(testing::Message() << "width " << w);
        grt::Image flat = grt::filled(w, 9, grt::grey(100));
        Complex cx = analyse(flat.get(), 2);
        // a = b = 0: both factors are 1; a flat image at full strength a = 1 is black.
        grt::Image ones(gr_complex_weight_image(cx.get(), 0.0f, 0.0f));
        grt::Image none(gr_complex_weight_image(cx.get(), 1.0f, 0.0f));
        EXPECT_EQ(grt::pixels(ones.get()), std::vector<uint32_t>(w * 9, 0xFFFFFFFFu));
        EXPECT_EQ(grt::pixels(none.get()), std::vector<uint32_t>(w * 9, 0xFF000000u));
        grt::Image vig(gr_complex_weight_image(cx.get(), 0.0f, 1.0f));
        EXPECT_EQ(grt::at(vig.get(), w / 2, 4), centre);
        EXPECT_EQ(grt::at(vig.get(), 0, 0), grt::grey(0));
        if (w > 1) {
            EXPECT_EQ(grt::at(vig.get(), w - 1, 4), grt::grey(0));
        }
    }
}

TEST(GrComplexWeight, StrongestStructureIsWhite) {
    grt::Image image = grt::painted(16, 16, [](int, int y) { return grt::grey(y < 8 ? 255 : 0); });
    Complex cx = analyse(image.get(), 1);
    grt::Image w(gr_complex_weight_image(cx.get(), 1.0f, 0.0f));
    float peak = 0;
    for (int i = 0; i < 256; i++)
        peak = std::max(peak, cx->lambda_major[i]);
    int white = 0;
    for (int i = 0; i < 256; i++)
        if (cx->lambda_major[i] == peak) {
            EXPECT_GE(grt::red(w->pixels[i]), 254) << "1 up to the rounding of 1 / peak";
            white++;
        }
    EXPECT_GT(white, 0);
    EXPECT_EQ(grt::at(w.get(), 5, 0), grt::grey(0));
}

TEST(GrComplex, ReleasedTensorLeavesTangentsAndFlowAsTheyWere) {
    grt::Image image = grt::photo("cat_451x300_rgba.png");
    Complex full = analyse(image.get(), 3), lean = analyse(image.get(), 3);
    gr_complex_release_tensor(lean.get(), true);
    EXPECT_TRUE(lean->grad_x == nullptr && lean->lambda_major == nullptr);
    gr_complex_compute_etf(full.get(), 5);
    gr_complex_compute_etf(lean.get(), 5);
    gr_complex_release_tensor(lean.get(), false);
    EXPECT_EQ(grt::plane(lean->tangent_x, lean.get()), grt::plane(full->tangent_x, full.get()));
    EXPECT_EQ(grt::plane(lean->tangent_y, lean.get()), grt::plane(full->tangent_y, full.get()));
    // The released values read as 0; the tangents as before.
    float tx, ty, lmin = 1.0f, lmax = 1.0f;
    gr_complex_tensor(lean.get(), 40, 30, &tx, &ty, &lmin, &lmax);
    EXPECT_EQ(std::make_pair(tx, ty), tangent(full, 40, 30));
    EXPECT_EQ(std::tuple(lmin, lmax, gr_complex_gradmag(lean.get(), 40, 30)),
              std::tuple(0.0f, 0.0f, 0.0f));
}
