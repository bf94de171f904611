#include "rd/rd_solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "gr/gr_color.h"
#include "gr/gr_complex.h"
#include "rd_test_util.h"

using namespace rd_test;

namespace {

// ---- Helpers ---------------------------------------------------------------

void fill(Solver& s, float v) {
    std::fill(s.cur, s.cur + (size_t)s.width * s.height, v);
}

// Zeros but a one at (x, y): the disc sum then says whether that cell is inside.
void mark(Solver& s, int x, int y) {
    fill(s, 0.0f);
    s.cur[(size_t)y * s.width + x] = 1.0f;
}

// Returns the cells (as "dx,dy" offsets from the centre) inside the ellipse.
std::vector<std::pair<int, int>> insideOffsets(Solver& s, int cx, int cy, int r, float a, float b) {
    std::vector<std::pair<int, int>> cells;
    for (int dy = -r; dy <= r; dy++)
        for (int dx = -r; dx <= r; dx++) {
            mark(s, cx + dx, cy + dy);
            const float sum = s.calc_disc_sum(cx, cy, r, a, b);
            EXPECT_TRUE(sum == 0.0f || sum == 1.0f);
            if (sum == 1.0f)
                cells.emplace_back(dx, dy);
        }
    return cells;
}

// ---- Oriented disc sums ----------------------------------------------------

TEST(RdDiscSum, CountsTheCellsOfTheEllipseOrTheSquare) {
    Solver s(32, 32);
    fill(s, 1.0f);
    const struct {
        int x, y, r;
        float a, b, sum;
    } cases[] = {
        {16, 16, 3, 1.0f, 0.0f, 15.0f}, // radius 3 along either axis
        {16, 16, 3, 0.0f, 1.0f, 15.0f}, //
        {10, 20, 3, 0.0f, 0.0f, 49.0f}, // a zero tangent sums the square
        {0, 0, 5, 0.0f, 0.0f, 121.0f},  //
        {5, 5, -1, 1.0f, 0.0f, 0.0f},   // no cells
        {5, 5, 0, 1.0f, 0.0f, 1.0f},    // the centre: its test is not a number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " r " << c.r << " " << c.a);
        EXPECT_EQ(s.calc_disc_sum(c.x, c.y, c.r, c.a, c.b), c.sum);
    }
    // Horizontal: dx -2..2 in rows -1..1; vertical: the transpose.
    std::vector<std::pair<int, int>> across, down;
    for (int i = -1; i <= 1; i++)
        for (int j = -2; j <= 2; j++)
            across.emplace_back(j, i);
    for (int i = -2; i <= 2; i++)
        for (int j = -1; j <= 1; j++)
            down.emplace_back(j, i);
    EXPECT_EQ(insideOffsets(s, 16, 16, 3, 1.0f, 0.0f), across);
    EXPECT_EQ(insideOffsets(s, 16, 16, 3, 0.0f, 1.0f), down);
}

TEST(RdDiscSum, DiagonalEllipseIsSymmetricAndLongAlongItsAxis) {
    Solver s(48, 48);
    const float c = std::sqrt(0.5f);
    const auto cells = insideOffsets(s, 24, 24, 6, c, c);
    auto has = [&](int dx, int dy) {
        return std::find(cells.begin(), cells.end(), std::make_pair(dx, dy)) != cells.end();
    };
    // Point symmetric, reaches 4 cells along the diagonal but only 2 across it.
    for (auto [dx, dy] : cells)
        EXPECT_TRUE(has(-dx, -dy)) << dx << "," << dy;
    EXPECT_TRUE(has(4, 4) && has(-4, -4) && has(2, -2));
    EXPECT_FALSE(has(3, -3) || has(6, 0));
}

TEST(RdDiscSum, WrapsAroundTheGridEdges) {
    Solver s(32, 24);
    const struct {
        int markX, markY, x, y;
        float a, b, sum;
    } cases[] = {
        {31, 10, 0, 10, 1.0f, 0.0f, 1.0f}, // left edge: dx = -1 reads the last column
        {1, 10, 31, 10, 1.0f, 0.0f, 1.0f}, // right edge: dx = +2 reads column 1
        {7, 22, 7, 0, 0.0f, 1.0f, 1.0f},   // top row: dy = -2 reads the second-last row
        {7, 0, 7, 23, 0.0f, 1.0f, 1.0f},   // bottom row: dy = +1 reads row 0
        {31, 23, 0, 0, 0.0f, 0.0f, 1.0f},  // a corner reaches the opposite corner
        {29, 10, 0, 10, 1.0f, 0.0f, 0.0f}, // dx = -3 is on the boundary: nothing wraps in
    };
    for (const auto& c : cases) {
        mark(s, c.markX, c.markY);
        EXPECT_EQ(s.calc_disc_sum(c.x, c.y, 3, c.a, c.b), c.sum)
            << "centre " << c.x << "," << c.y << " marked " << c.markX << "," << c.markY;
    }
}

TEST(RdDiscSum, GridsSmallerThanTheRadiusWrapFully) {
    // 1..9 on 3 x 3, radius 4, zero tangent: the 9 x 9 square covers each cell nine times.
    Solver s(3, 3);
    for (int i = 0; i < 9; i++)
        s.cur[i] = float(i + 1);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ(s.calc_disc_sum(x, y, 4, 0.0f, 0.0f), 405.0f);
    // On a 1 x 1 grid of one the sum counts the ellipse's cells, as on a grid too large to wrap.
    Solver one(1, 1);
    one.cur[0] = 1.0f;
    Solver big(96, 96);
    fill(big, 1.0f);
    for (int r : {3, 20, 40})
        EXPECT_EQ(one.calc_disc_sum(0, 0, r, 0.6f, 0.8f), big.calc_disc_sum(48, 48, r, 0.6f, 0.8f))
            << "r " << r;
}

TEST(RdDiscSum, LargerEllipseContainsTheSmallerOne) {
    Solver s(64, 64);
    for (float angle : {0.0f, 0.4f, 1.1f, 2.5f}) {
        const float a = std::cos(angle), b = std::sin(angle);
        for (int r : {3, 5}) {
            const auto small = insideOffsets(s, 32, 32, r, a, b);
            const auto large = insideOffsets(s, 32, 32, 2 * r, a, b);
            EXPECT_GT(large.size(), small.size());
            for (auto cell : small)
                EXPECT_NE(std::find(large.begin(), large.end(), cell), large.end())
                    << "angle " << angle << " r " << r << " cell " << cell.first << ","
                    << cell.second;
        }
    }
}

// ---- Solver ----------------------------------------------------------------

TEST(RdSolver, StartsFromNoiseWithUnitScale) {
    Solver s(40, 24);
    EXPECT_EQ(s.base_radius, 20);
    EXPECT_EQ(s.step, 0.04f);
    EXPECT_EQ(s.complex, nullptr);
    const size_t n = 40 * 24;
    EXPECT_EQ(std::count(s.scale, s.scale + n, 1.0f), (long)n);
    const std::vector<float> first(s.cur, s.cur + n);
    s.randomize();
    EXPECT_NE(std::vector<float>(s.cur, s.cur + n), first);
    const auto [mn, mx] = std::minmax_element(s.cur, s.cur + n);
    EXPECT_TRUE(*mn < -0.9f && *mx > 0.9f && *mn >= -1.0f && *mx <= 1.0f) << *mn << " " << *mx;
}

TEST(RdSolver, ReferenceSetsFieldAndScaleToBrightness) {
    Image crop = photo("astronaut_512x512_rgb.png", 48, 40);
    Solver s(48, 40);
    s.set_reference(crop.get());
    ASSERT_NE(s.complex, nullptr);
    const uint32_t* px = gr_image_pixels_lock(crop.get());
    for (int i = 0; i < 48 * 40; i++) {
        ASSERT_EQ(s.cur[i], gr_color_brightness(px[i])) << "cell " << i;
        ASSERT_EQ(s.scale[i], s.cur[i]);
    }
    gr_image_pixels_unlock(crop.get(), false);
    float tx = 0, ty = 0; // computed tangents, of unit length
    gr_complex_tangent(s.complex, 20, 20, &tx, &ty);
    EXPECT_NEAR(tx * tx + ty * ty, 1.0f, 1e-4f);
    // Randomising keeps the scale and the analysis.
    gr_complex* cx = s.complex;
    const std::vector<float> scale(s.scale, s.scale + 48 * 40);
    s.randomize();
    EXPECT_EQ(s.complex, cx);
    EXPECT_EQ(std::vector<float>(s.scale, s.scale + 48 * 40), scale);
    EXPECT_NE(std::vector<float>(s.cur, s.cur + 48 * 40), scale);
}

TEST(RdSolver, RadiusFollowsBrightness) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float scales[] = {0.14f, 0.19f, 0.2f, 0.5f, 1.0f, 0.0f, nan};
    const int radii[] = {3, 3, 4, 10, 20, 3, 3};
    Solver s(7, 1);
    for (int i = 0; i < 7; i++) {
        s.scale[i] = scales[i];
        EXPECT_EQ(s.cell_radius(i), radii[i]) << "brightness " << scales[i];
    }
}

TEST(RdSolver, StretchesFromTheStartValuesOfTheSearch) {
    Solver s(4, 2);
    const struct {
        const char* what;
        float next[8], cur[8];
    } cases[] = {
        // Everything above 1: the minimum stays at 1, so 2 lands on 0, not -1.
        {"above", {2, 3, 2.5f, 2, 2.25f, 3, 2, 2}, {0, 1, 0.5f, 0, 0.25f, 1, 0, 0}},
        // Everything below -1: the maximum stays at -1.
        {"below", {-3, -2, -3, -3, -3, -3, -3, -3}, {-1, 0, -1, -1, -1, -1, -1, -1}},
        // A range past both ends is stretched back to [-1, 1].
        {"wider", {-1.5f, 0.5f, -0.5f, 0, 0, 0, 0, 0}, {-1, 1, 0, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
        // A range of 0.01 or less is left alone.
        {"narrow",
         {0.2f, 0.205f, 0.2f, 0.2f, 0.201f, 0.2f, 0.2f, 0.2f},
         {0.2f, 0.205f, 0.2f, 0.2f, 0.201f, 0.2f, 0.2f, 0.2f}},
    };
    for (const auto& c : cases) {
        std::copy(c.next, c.next + 8, s.next);
        s.finish_iteration();
        EXPECT_EQ(std::vector<float>(s.cur, s.cur + 8), std::vector<float>(c.cur, c.cur + 8))
            << c.what;
    }
}

TEST(RdSolver, LargeGridsStretchEveryBandAlike) {
    Solver s(256, 257); // past 65536 cells: stretched in bands on the pool
    for (size_t i = 0; i < cells(s); i++)
        s.next[i] = float(i % 1025) / 256.0f - 2.0f; // [-2, 2]
    s.finish_iteration();
    EXPECT_EQ(std::pair(s.cur[0], s.cur[1024]), std::pair(-1.0f, 1.0f));
    for (size_t i = 1025; i < cells(s); i++)
        ASSERT_EQ(s.cur[i], s.cur[i % 1025]) << "cell " << i;
}

TEST(RdSolver, TilesAreClippedToTheGrid) {
    // 40 x 24: the last tile column and row overhang the grid.
    Image ramp = greyImage(40, 24, [](int x, int y) { return uint32_t(x * 5 + y * 3); });
    Solver s(40, 24);
    s.set_reference(ramp.get());
    s.randomize();
    const size_t n = 40 * 24;
    const float sentinel = 99.0f;
    auto reset = [&] { std::fill(s.next, s.next + n, sentinel); };
    auto touched = [&] {
        std::vector<int> cells;
        for (size_t i = 0; i < n; i++)
            if (s.next[i] != sentinel)
                cells.push_back((int)i);
        return cells;
    };
    // A tile touches exactly its cells inside the grid; outside or empty ones touch nothing.
    const int tiles[][4] = {{8, 4, 16, 8},   {32, 16, 16, 16}, {40, 0, 16, 16}, {48, 16, 16, 16},
                            {0, 24, 16, 16}, {0, 0, 0, 16},    {0, 0, 16, 0},   {0, 0, -3, 5}};
    for (const auto& [x0, y0, w, h] : tiles) {
        std::vector<int> inside;
        for (int y = y0; y < std::min(y0 + h, 24); y++)
            for (int x = x0; x < std::min(x0 + w, 40); x++)
                inside.push_back(y * 40 + x);
        reset();
        s.update(x0, y0, w, h);
        EXPECT_EQ(touched(), inside) << x0 << "," << y0 << " " << w << "x" << h;
    }
    // Tiles on the pool compute exactly what one pass over the grid does.
    reset();
    s.update(0, 0, 40, 24);
    const std::vector<float> whole(s.next, s.next + n);
    reset();
    s.update_tiles();
    EXPECT_EQ(std::vector<float>(s.next, s.next + n), whole);
    for (size_t i = 0; i < n; i++)
        ASSERT_NEAR(std::fabs(whole[i] - s.cur[i]), s.step, 1e-6f);
}

} // namespace
