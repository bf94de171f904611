// Fast analysis and line filters against the straightforward ones: threaded runs equal to one
// thread bit for bit, the fast flow field close to the double-tanh one, line pixels unchanged.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_filter_flow.h"
#include "gr/gr_internal.h"
#include "gr_filter_test_util.h"
#include "task/rd_dispatch.h"

namespace {

using grt::Complex;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
// Sanitised builds run the double-tanh passes many times slower.
constexpr uint32_t PHOTO_SIDE = 128;
#else
constexpr uint32_t PHOTO_SIDE = 256;
#endif

// The sample photo scaled to a longer side of side pixels.
grt::Image photo(const char* name, uint32_t side) {
    grt::Image full = grt::photo(name);
    return full ? grt::Image(gr_filter_resize(full.get(), side, 0)) : grt::filled(side, side, 0);
}

Complex analyse(gr_image_s* image, int sst_radius, int passes, gr__path_t path, int32_t bands) {
    Complex cx(gr_complex_create(image));
    gr__complex_sst(cx.get(), sst_radius, nullptr, nullptr, bands);
    for (int i = 0; i < passes; i++)
        gr__complex_etf(cx.get(), 5, path, bands);
    return cx;
}

size_t pixel_count(const gr_complex* cx) {
    return size_t(cx->width) * size_t(cx->height);
}

// Every array of the analysis, for bitwise comparison.
std::vector<std::vector<float>> arrays(const gr_complex* cx) {
    std::vector<std::vector<float>> all;
    for (const float* p :
         {cx->grad_mag, cx->grad_x, cx->grad_y, cx->tensor_xx, cx->tensor_yy, cx->tensor_xy,
          cx->tangent_x, cx->tangent_y, cx->lambda_minor, cx->lambda_major})
        all.push_back(grt::plane(p, cx));
    return all;
}

// Angle in degrees between the tangents of pixel i; 0 when both vanish.
double angle(const gr_complex* a, const gr_complex* b, size_t i) {
    const double ax = a->tangent_x[i], ay = a->tangent_y[i];
    const double bx = b->tangent_x[i], by = b->tangent_y[i];
    if (ax == 0.0 && ay == 0.0 && bx == 0.0 && by == 0.0)
        return 0.0;
    // atan2 keeps its precision near 0, where acos of the dot product does not.
    return std::atan2(std::fabs(ax * by - ay * bx), ax * bx + ay * by) * 180.0 / M_PI;
}

// Fraction of pixels whose tangents agree within limit degrees.
double agreeing(const gr_complex* a, const gr_complex* b, double limit) {
    size_t good = 0;
    for (size_t i = 0; i < pixel_count(a); i++)
        good += angle(a, b, i) <= limit;
    return double(good) / double(pixel_count(a));
}

// Units in the last place between f and the exact value.
double ulps(float f, double exact) {
    const float near = float(exact);
    const double ulp = double(std::nextafter(near, std::numeric_limits<float>::infinity())) - near;
    return std::fabs(double(f) - exact) / ulp;
}

} // namespace

// ---- row bands ----------------------------------------------------------------------------

TEST(GrParallelRows, CoversEveryRowOnceWhateverTheBandCount) {
    struct Job {
        std::vector<int> hits;
        std::atomic<int> calls{0};
    };
    for (int32_t height : {0, 1, 2, 7, 64, 1000}) {
        for (int32_t bands : {1, 2, 3, 8, int(GR__BANDS_AUTO), 5000}) {
            SCOPED_TRACE(testing::Message() << height << " rows in " << bands << " bands");
            Job job;
            job.hits.assign(size_t(height), 0);
            gr__parallel_rows(
                height, bands,
                [](void* ctx, int32_t y0, int32_t y1) {
                    Job* j = static_cast<Job*>(ctx);
                    ASSERT_LT(y0, y1);
                    j->calls++;
                    // Rows of one band only: overlapping bands would race here.
                    for (int32_t y = y0; y < y1; y++)
                        j->hits[size_t(y)]++;
                },
                &job);
            EXPECT_EQ(std::count(job.hits.begin(), job.hits.end(), 1), height);
            const int32_t count = height ? gr__band_count(height, bands) : 0;
            EXPECT_EQ(job.calls.load(), count);
            if (height == 0)
                continue;
            EXPECT_TRUE(count >= 1 && count <= height) << count;
            if (bands != GR__BANDS_AUTO) {
                EXPECT_EQ(count, std::min(height, bands));
            } else if (rd_dispatch_thread_count() > 1) {
                EXPECT_GE(count, std::min(height, int32_t(rd_dispatch_thread_count())))
                    << "every thread gets a band";
            }
        }
    }
}

TEST(GrParallelRows, BandsStartedFromInsideABandFinish) {
    // A band fanning out again waits on a worker: the wait runs inner bands, not blocks the pool.
    std::vector<int> grid(40 * 30, 0);
    gr__parallel_rows(
        40, 8,
        [](void* ctx, int32_t y0, int32_t y1) {
            for (int32_t y = y0; y < y1; y++) {
                struct Row {
                    int* cells;
                } row = {static_cast<int*>(ctx) + size_t(y) * 30};
                gr__parallel_rows(
                    30, 3,
                    [](void* c, int32_t x0, int32_t x1) {
                        for (int32_t x = x0; x < x1; x++)
                            static_cast<Row*>(c)->cells[x]++;
                    },
                    &row);
            }
        },
        grid.data());
    EXPECT_EQ(std::count(grid.begin(), grid.end(), 1), 40 * 30);
}

// ---- single-precision flow weights ----------------------------------------------------------

TEST(GrFlowWeight, ExponentialStaysWithinTwoUlpsOverItsRange) {
    double worst = 0.0;
    for (int i = 0; i <= 175000; i++) {
        const float x = float(-87.0 + i * 0.001);
        worst = std::max(worst, ulps(gr__expf(x), std::exp(double(x))));
    }
    // Around the reduction's boundaries (n ln 2 +- ln 2 / 2) and zero.
    for (int n = -120; n <= 120; n++)
        for (float d : {-0.34657359f, 0.34657359f, 0.0f})
            for (float x = float(n) * 0.69314718f + d - 1e-4f, end = x + 2e-4f; x < end;
                 x = std::nextafter(x, end) + 1e-6f)
                worst = std::max(worst, ulps(gr__expf(x), std::exp(double(x))));
    EXPECT_LE(worst, 2.0);
    EXPECT_EQ(gr__expf(0.0f), 1.0f);
    EXPECT_EQ(gr__expf(500.0f), gr__expf(88.0f)) << "clamped above";
    EXPECT_EQ(gr__expf(-500.0f), gr__expf(-87.0f)) << "clamped below";
    EXPECT_TRUE(std::isnan(gr__expf(std::numeric_limits<float>::quiet_NaN())));
}

TEST(GrFlowWeight, MatchesTheDoubleTanhToSinglePrecision) {
    // (1 + tanh(mj - mi)) / 2 in double, as the straightforward pass forms it.
    auto exact = [](float mi, float mj) {
        return (1.0 + std::tanh(double(mj) - double(mi))) * 0.5;
    };
    double worst = 0.0;
    // The analysis makes magnitudes in [0, 1 / sqrt(2)]; sweep a little beyond.
    for (int i = 0; i <= 400; i++)
        for (int j = 0; j <= 400; j++) {
            const float mi = float(i) / 400.0f, mj = float(j) / 400.0f;
            worst = std::max(worst, ulps(gr__flow_weight(mi, mj), exact(mi, mj)));
        }
    EXPECT_LE(worst, 4.0) << "near 1";
    // Anywhere in the fast range the weight stays close in absolute terms.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> any(-GR__FLOW_WEIGHT_RANGE, GR__FLOW_WEIGHT_RANGE);
    double worst_abs = 0.0;
    for (int i = 0; i < 200000; i++) {
        const float mi = any(rng), mj = mi + any(rng) * 0.5f;
        if (std::fabs(mj) > GR__FLOW_WEIGHT_RANGE)
            continue;
        worst_abs = std::max(worst_abs, std::fabs(gr__flow_weight(mi, mj) - exact(mi, mj)));
    }
    EXPECT_LE(worst_abs, 3e-7);
    EXPECT_FLOAT_EQ(gr__flow_weight(0.3f, 0.3f), 0.5f);
}

// ---- analysis ---------------------------------------------------------------------------------

TEST(GrComplexFast, BandedRunsEqualOneThreadBitForBit) {
    grt::Image image = photo("cat_451x300_rgba.png", 160);
    for (gr__path_t path : {GR__PATH_FAST, GR__PATH_PORTABLE, GR__PATH_REFERENCE}) {
        Complex one = analyse(image.get(), 3, 2, path, 1);
        for (int32_t bands : {3, 16, int(GR__BANDS_AUTO)}) {
            Complex many = analyse(image.get(), 3, 2, path, bands);
            EXPECT_TRUE(arrays(one.get()) == arrays(many.get()))
                << "path " << path << ", " << bands << " bands";
        }
    }
    // The public calls are the fast path in bands.
    Complex pub(gr_complex_create(image.get()));
    gr_complex_compute_sst(pub.get(), 3, nullptr, nullptr);
    gr_complex_compute_etf(pub.get(), 5);
    gr_complex_compute_etf(pub.get(), 5);
    EXPECT_TRUE(arrays(pub.get()) == arrays(analyse(image.get(), 3, 2, GR__PATH_FAST, 1).get()));
}

TEST(GrComplexFast, SixteenPassesFollowTheDoubleTanhFieldOfAPhoto) {
    grt::Image image = photo("astronaut_512x512_rgb.png", PHOTO_SIDE);
    Complex reference = analyse(image.get(), 7, 0, GR__PATH_REFERENCE, 1);
    Complex fast = analyse(image.get(), 7, 0, GR__PATH_FAST, GR__BANDS_AUTO);
    Complex portable = analyse(image.get(), 7, 0, GR__PATH_PORTABLE, GR__BANDS_AUTO);
    for (int i = 0; i < 16; i++) {
        // The reference in bands is the one-thread reference, bit for bit.
        gr__complex_etf(reference.get(), 5, GR__PATH_REFERENCE, GR__BANDS_AUTO);
        gr__complex_etf(fast.get(), 5, GR__PATH_FAST, GR__BANDS_AUTO);
        gr__complex_etf(portable.get(), 5, GR__PATH_PORTABLE, GR__BANDS_AUTO);
    }
    EXPECT_GE(agreeing(fast.get(), reference.get(), 0.1), 0.999);
    EXPECT_GE(agreeing(portable.get(), reference.get(), 0.1), 0.999);
}

TEST(GrComplexFast, NarrowImagesAndWideWindowsAgreeWithTheReference) {
    // Widths around the eight-pixel groups, windows wider than the image.
    for (uint32_t w : {1u, 2u, 7u, 8u, 9u, 17u})
        for (uint32_t h : {1u, 6u}) {
            grt::Image image = grt::painted(w, h, [](int x, int y) {
                return grt::grey(int(127 + 120 * std::sin(0.9 * x + 0.4 * y * y)));
            });
            for (int r : {0, 1, 3, 12}) {
                Complex reference = analyse(image.get(), 1, 0, GR__PATH_REFERENCE, 1);
                gr__complex_etf(reference.get(), r, GR__PATH_REFERENCE, 1);
                for (auto [path, bands] :
                     {std::pair{GR__PATH_FAST, int(GR__BANDS_AUTO)}, {GR__PATH_PORTABLE, 1}}) {
                    Complex cx = analyse(image.get(), 1, 0, path, bands);
                    gr__complex_etf(cx.get(), r, path, bands);
                    for (size_t i = 0; i < pixel_count(cx.get()); i++)
                        ASSERT_LE(angle(cx.get(), reference.get(), i), 0.01)
                            << w << "x" << h << " r " << r << " path " << path << " pixel " << i;
                }
            }
        }
}

TEST(GrComplexFast, WeightlessWindowsTakeThePlainMeanOnEveryPath) {
    // A zero tangent's weights all vanish: it takes the plain, unaligned mean of its window.
    grt::Image image = grt::filled(19, 5, grt::grey(90));
    const size_t centre = 2 * 19 + 11; // in the second group of eight
    for (gr__path_t path : {GR__PATH_FAST, GR__PATH_PORTABLE, GR__PATH_REFERENCE}) {
        Complex cx = analyse(image.get(), 1, 0, path, 1);
        for (size_t i = 0; i < pixel_count(cx.get()); i++) {
            cx->tangent_x[i] = i == centre ? 0.0f : 0.6f;
            cx->tangent_y[i] = i == centre ? 0.0f : (i % 19 < 11 ? 0.8f : -0.8f);
        }
        gr__complex_etf(cx.get(), 1, path, GR__BANDS_AUTO);
        // Three (0.6, 0.8) left of the centre, five (0.6, -0.8) in and right of it.
        const float mx = 0.6f * 8, my = 0.8f * 3 - 0.8f * 5, len = std::sqrt(mx * mx + my * my);
        EXPECT_NEAR(cx->tangent_x[centre], mx / len, 1e-6) << "path " << path;
        EXPECT_NEAR(cx->tangent_y[centre], my / len, 1e-6) << "path " << path;
    }
}

TEST(GrComplexFast, MagnitudesBeyondTheFastRangeTakeTheExactRoad) {
    grt::Image image = photo("camera_512x512_grey.png", 64);
    for (float wild : {1e6f, -30.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        Complex reference = analyse(image.get(), 2, 0, GR__PATH_REFERENCE, 1);
        Complex fast = analyse(image.get(), 2, 0, GR__PATH_FAST, GR__BANDS_AUTO);
        reference->grad_mag[777] = fast->grad_mag[777] = wild;
        gr__complex_etf(reference.get(), 5, GR__PATH_REFERENCE, 1);
        gr__complex_etf(fast.get(), 5, GR__PATH_FAST, GR__BANDS_AUTO);
        // The straightforward arithmetic, so the same bits, not-a-number included.
        const size_t bytes = pixel_count(fast.get()) * sizeof(float);
        EXPECT_EQ(std::memcmp(fast->tangent_x, reference->tangent_x, bytes), 0) << wild;
        EXPECT_EQ(std::memcmp(fast->tangent_y, reference->tangent_y, bytes), 0) << wild;
    }
}

// ---- line filters -----------------------------------------------------------------------------

TEST(GrFilterFast, StreamlineKernelsEqualTheStraightforwardOnesOnAPhoto) {
    // The colour photo itself, alpha and all: fDoG sees its grey, LIC its colours.
    grt::Image image = photo("cat_451x300_rgba.png", PHOTO_SIDE);
    Complex cx = analyse(image.get(), 3, 3, GR__PATH_FAST, GR__BANDS_AUTO);
    auto lines = [&](gr__path_t path, int32_t bands) {
        return grt::pixels(grt::Image(gr__filter_fDoG(image.get(), cx.get(), 5, 8, 8, 2, 0.98f,
                                                      0.9999f, path, bands))
                               .get());
    };
    auto lic = [&](gr__path_t path, int32_t bands) {
        return grt::pixels(
            grt::Image(gr__filter_LIC(image.get(), cx.get(), 7, 1, path, bands)).get());
    };
    for (gr__path_t path : {GR__PATH_FAST, GR__PATH_PORTABLE}) {
        for (int32_t bands : {1, int(GR__BANDS_AUTO)})
            EXPECT_EQ(lines(path, bands), lines(GR__PATH_REFERENCE, 1)) << path << " " << bands;
        EXPECT_EQ(lic(path, GR__BANDS_AUTO), lic(GR__PATH_REFERENCE, 1)) << "LIC path " << path;
    }
}

TEST(GrFilterFast, TinyImagesAndOddParametersMatchOnEveryPath) {
    // Streamlines leaving at once or running far past the image, rows under a vector group.
    for (uint32_t w : {1u, 3u, 8u, 11u})
        for (uint32_t h : {1u, 2u, 9u}) {
            grt::Image image = grt::painted(w, h, [](int x, int y) {
                return 0x80000000u | uint32_t(x * 37 + y * 11) % 256 << 16 |
                       uint32_t(x * 5 + y * 71) % 256 << 8 | uint32_t(x * y * 13) % 256;
            });
            Complex cx = analyse(image.get(), 1, 1, GR__PATH_FAST, 1);
            for (int32_t steps : {0, 1, 4, 20})
                for (int32_t cross : {0, 2, 6}) {
                    auto run = [&](gr__path_t path, int32_t bands) {
                        grt::Image lines(gr__filter_fDoG(image.get(), cx.get(), 1, 2, steps, cross,
                                                         0.98f, 0.9999f, path, bands));
                        grt::Image lic(
                            gr__filter_LIC(image.get(), cx.get(), steps, cross, path, bands));
                        return std::pair{grt::pixels(lines.get()), grt::pixels(lic.get())};
                    };
                    const auto expected = run(GR__PATH_REFERENCE, 1);
                    for (gr__path_t path : {GR__PATH_FAST, GR__PATH_PORTABLE})
                        EXPECT_TRUE(run(path, 2) == expected)
                            << w << "x" << h << " steps " << steps << " cross " << cross << " path "
                            << path;
                }
        }
}

TEST(GrFilterFast, GreyConvolutionEqualsTheStraightforwardOneAtAnyWidth) {
    // Grey pictures take a one-channel kernel; widths off the groups of eight end overlapping.
    for (uint32_t w : {8u, 13u, 37u}) {
        grt::Image noise = grt::painted(w, 11, [](int x, int y) {
            return grt::grey(int(uint32_t(x * 7919 + y * 104729) * 2654435761u >> 24));
        });
        Complex cx = analyse(noise.get(), 2, 2, GR__PATH_FAST, 1);
        grt::Image fast(gr__filter_LIC(noise.get(), cx.get(), 7, 1, GR__PATH_FAST, 2));
        grt::Image expected(gr__filter_LIC(noise.get(), cx.get(), 7, 1, GR__PATH_REFERENCE, 1));
        EXPECT_EQ(grt::pixels(fast.get()), grt::pixels(expected.get())) << w;
    }
}
