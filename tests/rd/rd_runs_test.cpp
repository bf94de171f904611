// The solver's ellipse runs against its plain ellipse scan (calc_disc_sum).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "gr/gr_complex.h"
#include "rd/rd_internal.h"
#include "rd_test_util.h"

using namespace rd_test;

namespace {

// Multiples of 1/256 in [-1, 1]: sums of up to 2^15 are exact, so runs and scan must agree.
void dyadicNoise(Solver& s, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> k(-256, 256);
    for (size_t i = 0; i < cells(s); i++)
        s.cur[i] = (float)k(rng) / 256.0f;
}

// Gives every cell a random unit tangent and a random scale (radius 3..20).
void randomGeometry(Solver& s, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> angle(0.0f, 6.2831853f), scale(0.0f, 1.0f);
    for (size_t i = 0; i < cells(s); i++) {
        const float t = angle(rng);
        s.complex->tangent_x[i] = std::cos(t);
        s.complex->tangent_y[i] = std::sin(t);
        s.scale[i] = scale(rng);
    }
}

// How close the nearest cell of the square comes to the ellipse: min |u^2 + v^2 - 1| in double.
double boundaryMargin(int r, float a, float b) {
    double m = INFINITY;
    for (int dy = -r; dy <= r; dy++)
        for (int dx = -r; dx <= r; dx++) {
            const double u = (dx * (double)a + dy * (double)b) / r;
            const double v = (dy * (double)a - dx * (double)b) / (r * 0.5);
            m = std::min(m, std::fabs(u * u + v * v - 1.0));
        }
    return m;
}

struct Compared {
    size_t checked = 0;  // cells compared
    size_t mismatch = 0; // of those, sums that differ
};

// Both run sums of every cell keeping `margin` off the boundary (all if negative) against the
// scan's: equal on a dyadic field (exact), else within the scan's rounding, n 2^-24 relative.
Compared compareSums(Solver& s, bool exact, double margin = 1e-5) {
    s.begin_iteration();
    Compared c;
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++) {
            const int r = s.cell_radius(y * s.width + x);
            float a = 0.0f, b = 0.0f, lmin = 0.0f, lmaj = 0.0f;
            gr_complex_tensor(s.complex, x, y, &a, &b, &lmin, &lmaj);
            if (margin >= 0.0 &&
                (boundaryMargin(r, a, b) < margin || boundaryMargin(2 * r, a, b) < margin))
                continue;
            double got[2] = {0.0, 0.0};
            EXPECT_TRUE(rd__runs_cell_sums(s.runs, x, y, &got[0], &got[1]));
            c.checked++;
            for (int k = 0; k < 2; k++) {
                const int rho = (k + 1) * r;
                const float ref = s.calc_disc_sum(x, y, rho, a, b);
                const double n = 2.0 * rho * rho + 4.0 * rho + 1.0;
                const double tol = exact ? 0.0 : n * std::ldexp(1.0, -24) * ref + 1e-12;
                if (std::fabs(got[k] - (double)ref) > tol && c.mismatch++ < 5)
                    ADD_FAILURE() << "cell " << x << "," << y << " radius " << rho << " tangent "
                                  << a << "," << b << ": runs " << got[k] << ", scan " << ref;
            }
        }
    s.finish_iteration();
    return c;
}

// The share of cells whose next value (up or down) the runs and the scan agree on.
double agreement(Solver& s) {
    const size_t n = cells(s);
    s.update(0, 0, s.width, s.height); // no iteration begun: the scan
    const std::vector<float> scan(s.next, s.next + n);
    s.begin_iteration();
    s.update(0, 0, s.width, s.height);
    size_t same = 0;
    for (size_t i = 0; i < n; i++)
        same += s.next[i] == scan[i];
    return (double)same / (double)n;
}

// ---- Disc sums ---------------------------------------------------------------

TEST(RdRuns, SumsMatchTheScanOnRandomGeometryAndFields) {
    // 72 x 56: no tile multiple, large ellipses wrap; smaller grids wrap many times.
    for (auto [w, h] : {std::pair{72, 56}, {1, 1}, {5, 3}, {7, 41}, {33, 2}}) {
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        Image grey = greyImage(w, h, 128);
        auto s = referenced(grey.get(), 0);
        randomGeometry(*s, 7);
        if (w < 40)
            for (size_t i = 0; i < cells(*s); i++)
                s->scale[i] = i % 2 ? 1.0f : 0.35f;
        ASSERT_TRUE(s->prepare_runs());
        for (uint32_t seed : {1u, 2u}) {
            dyadicNoise(*s, seed);
            const Compared c = compareSums(*s, true);
            EXPECT_EQ(c.mismatch, 0u);
            if (w == 72) { // random tangents put few cells within 1e-5 of a boundary
                EXPECT_GT(c.checked, cells(*s) * 9 / 10);
            }
        }
    }
}

TEST(RdRuns, SumsMatchTheScanOnPhotographs) {
    const struct {
        const char* name;
        uint32_t w, h;
    } photos[] = {{"astronaut_512x512_rgb.png", 128, 128},
                  {"dogs_portrait_512x769_rgb.png", 96, 144},
                  {"mountains_2048x1536.jpg", 160, 120}};
    for (const auto& p : photos) {
        SCOPED_TRACE(p.name);
        Image image = photo(p.name, p.w, p.h);
        ASSERT_NE(image, nullptr);
        auto s = referenced(image.get(), 16);
        ASSERT_TRUE(s->prepare_runs());
        // The photograph's own brightness, then noise on its geometry.
        Compared c = compareSums(*s, false);
        EXPECT_EQ(c.mismatch, 0u);
        EXPECT_GT(c.checked, cells(*s) / 2);
        dyadicNoise(*s, 3);
        EXPECT_EQ(compareSums(*s, true).mismatch, 0u);
    }
}

TEST(RdRuns, CellsOnTheBoundaryFallAsInTheScan) {
    // On or near the boundary: (r, 0) for (1, 0); (15, 10) at 25, (35, 12) at 37 for the last.
    Image grey = greyImage(48, 40, 128);
    auto s = referenced(grey.get(), 0);
    const float tangents[][2] = {
        {1.0f, 0.0f}, {0.0f, 1.0f}, {0.6f, 0.8f}, {-1.0f, 0.0f}, {0.945963264f, 0.324273795f}};
    std::vector<int> radii;
    for (int r = 3; r <= 20; r++)
        radii.push_back(r);
    radii.insert(radii.end(), {25, 29, 37});
    for (const auto& t : tangents) {
        SCOPED_TRACE(testing::Message() << "tangent " << t[0] << "," << t[1]);
        for (size_t i = 0; i < cells(*s); i++) {
            s->complex->tangent_x[i] = t[0];
            s->complex->tangent_y[i] = t[1];
            s->scale[i] = ((float)radii[i % radii.size()] + 0.5f) / 20.0f;
        }
        ASSERT_TRUE(s->prepare_runs());
        dyadicNoise(*s, 5);
        EXPECT_EQ(compareSums(*s, true, -1.0).mismatch, 0u);
    }
}

TEST(RdRuns, ZeroAndBrokenTangentsSumTheWholeSquare) {
    Image grey = greyImage(50, 50, 128);
    auto s = referenced(grey.get(), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float tangents[][2] = {{0.0f, 0.0f}, {nan, 0.0f}, {1e-30f, 0.0f}, {3.0f, 4.0f}};
    for (size_t i = 0; i < cells(*s); i++) {
        s->complex->tangent_x[i] = tangents[i % 4][0];
        s->complex->tangent_y[i] = tangents[i % 4][1];
        s->scale[i] = 0.25f; // radius 5
    }
    ASSERT_TRUE(s->prepare_runs());
    std::fill(s->cur, s->cur + cells(*s), 1.0f);
    s->begin_iteration();
    // Cells 0..3 carry the four tangents; one five long shrinks radius 10 to 7 cells.
    const double square[][2] = {{121.0, 441.0}, {121.0, 441.0}, {121.0, 441.0}, {-1.0, 7.0}};
    for (int x = 0; x < 4; x++) {
        const float a = tangents[x][0], b = tangents[x][1];
        SCOPED_TRACE(testing::Message() << "tangent " << a << "," << b);
        double small = 0.0, large = 0.0;
        ASSERT_TRUE(rd__runs_cell_sums(s->runs, x, 0, &small, &large));
        EXPECT_EQ(small, s->calc_disc_sum(x, 0, 5, a, b));
        EXPECT_EQ(large, s->calc_disc_sum(x, 0, 10, a, b));
        if (square[x][0] > 0.0) {
            EXPECT_EQ(small, square[x][0]);
        }
        EXPECT_EQ(large, square[x][1]);
    }
    s->finish_iteration();
}

// ---- Iterations --------------------------------------------------------------

TEST(RdRuns, DecisionsAgreeWithTheScanOnPhotographs) {
    Image image = photo("astronaut_512x512_rgb.png", 160, 160);
    ASSERT_NE(image, nullptr);
    auto s = referenced(image.get(), 16);
    ASSERT_TRUE(s->prepare_runs());
    // From the brightness through the first iterations, then from noise.
    for (int i = 0; i < 4; i++) {
        EXPECT_GE(agreement(*s), 0.9999) << "iteration " << i;
        s->finish_iteration();
    }
    s->randomize();
    EXPECT_GE(agreement(*s), 0.9999) << "noise";
    s->finish_iteration();
}

TEST(RdRuns, PoolTilesAndBothSummationsGiveTheSameBits) {
    Image image = photo("camera_512x512_grey.png", 112, 90); // rows: no strip multiple
    ASSERT_NE(image, nullptr);
    auto s = referenced(image.get(), 4);
    ASSERT_TRUE(s->prepare_runs());
    s->randomize();
    const size_t n = cells(*s);
    const std::vector<float> start(s->cur, s->cur + n);
    // One iteration from the start field, on this thread or in tiles on the pool.
    auto step = [&](bool tiles) {
        std::copy(start.begin(), start.end(), s->cur);
        std::fill(s->next, s->next + n, 0.0f);
        if (tiles) {
            s->update_tiles();
        } else {
            s->begin_iteration();
            s->update(0, 0, s->width, s->height);
        }
        std::vector<float> next(s->next, s->next + n);
        s->finish_iteration();
        return next;
    };
    const std::vector<float> one = step(false);
    EXPECT_EQ(step(true), one) << "tiles on the pool";
    const bool simd = rd__runs_use_simd(false);
    EXPECT_EQ(step(false), one) << "portable summation";
    rd__runs_use_simd(simd);
}

// On a flat field positive values shrink, negative ones grow, by one step and unstretched.
TEST(RdRuns, FlatFieldsMoveByOneStepWhetherScannedOrSummed) {
    Image white = greyImage(64, 48, 255);
    for (bool runs : {false, true}) {
        SCOPED_TRACE(runs ? "runs" : "scan");
        auto s = referenced(white.get(), 16);
        if (runs) {
            ASSERT_TRUE(s->prepare_runs());
            EXPECT_EQ(rd__runs_shapes(s->runs), 2u); // one shape per ellipse
        }
        for (float c : {-0.3f, 0.0f, 0.5f, 0.98f}) {
            std::fill(s->cur, s->cur + cells(*s), c);
            s->iterate();
            for (size_t i = 0; i < cells(*s); i++)
                ASSERT_EQ(s->cur[i], c < 0.0f ? c + s->step : c - s->step) << c << " cell " << i;
        }
    }
}

TEST(RdRuns, OversizedRadiiAreScanned) {
    Image grey = greyImage(40, 40, 128);
    auto s = referenced(grey.get(), 0);
    randomGeometry(*s, 13);
    // Scale 4 gives radius 80 and 160: beyond what a run table holds.
    for (size_t i = 0; i < cells(*s); i += 3)
        s->scale[i] = 4.0f;
    ASSERT_TRUE(s->prepare_runs());
    double small = 0.0, large = 0.0;
    s->begin_iteration();
    EXPECT_FALSE(rd__runs_cell_sums(s->runs, 0, 0, &small, &large));
    EXPECT_TRUE(rd__runs_cell_sums(s->runs, 1, 0, &small, &large));
    s->finish_iteration();
    dyadicNoise(*s, 17);
    EXPECT_GE(agreement(*s), 0.999);
    s->finish_iteration();
}

TEST(RdRuns, IterationsUseRunsOnlyWhilePrepared) {
    Image image = photo("astronaut_512x512_rgb.png", 64, 48);
    ASSERT_NE(image, nullptr);
    auto s = referenced(image.get(), 2);
    EXPECT_EQ(s->runs, nullptr);
    ASSERT_TRUE(s->prepare_runs());
    EXPECT_NE(s->runs, nullptr);
    // A new reference changes radii and tangents: the runs go.
    s->set_reference(image.get());
    EXPECT_EQ(s->runs, nullptr);
    s->iterate(); // scans
    ASSERT_TRUE(s->prepare_runs());
    s->release_runs();
    EXPECT_EQ(s->runs, nullptr);
}

// ---- Runner ------------------------------------------------------------------

TEST(RdRuns, WholeFieldGreyMatchesThePixelRule) {
    // Every representable value near the range, the ends, and the odd ones.
    std::vector<float> field;
    for (float v = -1.5f; v <= 1.5f; v = std::nextafter(v, 2.0f))
        if (field.size() < 5000000)
            field.push_back(v);
        else
            break;
    const float odd[] = {-1.0f,    1.0f,     0.0f,      -0.0f,  std::nanf(""), -INFINITY,
                         INFINITY, 1e30f,    -1e30f,    0.999f, -0.99999994f,  1.0000001f,
                         3.0e-45f, 1.00392f, -1.00392f, 7.0f};
    field.insert(field.end(), std::begin(odd), std::end(odd));
    std::vector<uint32_t> px(field.size() + 1, 0x12345678u);
    rd__field_to_grey(field.data(), px.data(), field.size());
    for (size_t i = 0; i < field.size(); i++)
        ASSERT_EQ(px[i], rd__field_grey(field[i])) << "value " << field[i];
    EXPECT_EQ(px.back(), 0x12345678u); // nothing past n
}

TEST(RdRuns, RunnerIteratesLikeASolverWithRuns) {
    Image image = photo("cat_451x300_rgba.png", 60, 40);
    ASSERT_NE(image, nullptr);
    rd_s* rd = rd_create(image.get());
    ASSERT_NE(rd, nullptr);
    rd_set_limit(rd, 3);
    waitFor([&] { return rd_get_iterations(rd) == 3; }, 120);
    ASSERT_EQ(rd_get_iterations(rd), 3u);
    std::vector<float> field(60 * 40);
    rd__runner_copy_field(rd, field.data());
    rd_destroy(rd);

    auto s = referenced(image.get(), 16);
    ASSERT_TRUE(s->prepare_runs());
    for (int i = 0; i < 3; i++)
        s->iterate();
    EXPECT_EQ(std::vector<float>(s->cur, s->cur + cells(*s)), field);
}

} // namespace
