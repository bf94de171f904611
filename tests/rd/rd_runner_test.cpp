#include "rd/rd_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "gr/gr_image.h"
#include "rd/rd_internal.h"
#include "rd/rd_random.h"
#include "rd_test_util.h"

using namespace rd_test;

namespace {

uint32_t version(rd_s* rd) {
    return rd_get_display(rd)->version;
}

// ---- Names and pixels --------------------------------------------------------

TEST(RdRunner, MapsTheFieldToOpaqueGrey) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float v;
        uint32_t grey;
    } cases[] = {{-1.0f, 0xFF000000u},
                 {1.0f, 0xFFFFFFFFu},
                 {0.0f, 0xFF7F7F7Fu} /* 127.5 */,
                 {-0.5f, 0xFF3F3F3Fu} /* 63.75 */,
                 {-3.0f, 0xFF000000u},
                 {7.0f, 0xFFFFFFFFu},
                 {nan, 0xFFFFFFFFu}};
    for (const auto& c : cases)
        EXPECT_EQ(rd__field_grey(c.v), c.grey) << c.v;
}

// ---- Lifecycle -------------------------------------------------------------

TEST(RdRunner, RefusesMissingOrEmptyImagesAndHoldsItsSource) {
    EXPECT_EQ(rd_create(nullptr), nullptr);
    Image empty(gr_image_create(0, 0));
    EXPECT_EQ(rd_create(empty.get()), nullptr);
    rd_destroy(nullptr);
    // Destroyed right after creation: waits for the preparation.
    Image image = darkPicture(40, 24);
    rd_s* rd = rd_create(image.get());
    ASSERT_NE(rd, nullptr);
    EXPECT_EQ(image->refs, 2u);
    rd_destroy(rd);
    EXPECT_EQ(image->refs, 1u);
}

TEST(RdRunner, PreparesTheFlowThenIteratesAndLendsItsDisplay) {
    Runner r;
    ASSERT_NE(r.rd, nullptr);
    EXPECT_EQ(rd_get_source(r.rd), r.image.get());
    // The result is the display, one more reference each time.
    gr_image_s* display = rd_get_display(r.rd);
    const uint32_t refs = display->refs;
    gr_image_s* a = rd_get_result(r.rd);
    gr_image_s* b = rd_get_result(r.rd);
    EXPECT_TRUE(a == display && b == display);
    EXPECT_EQ(display->refs, refs + 2);
    gr_image_release(a);
    gr_image_release(b);
    EXPECT_EQ(display->refs, refs);
    EXPECT_EQ(std::pair(gr_image_get_width(display), gr_image_get_height(display)),
              std::pair(48u, 32u));
    ASSERT_TRUE(r.ready());
    EXPECT_FALSE(rd_has_failed(r.rd));
    EXPECT_EQ(rd_get_progress(r.rd), 1.0f);
    gr_image_s* flow = rd_get_flow(r.rd);
    ASSERT_NE(flow, nullptr);
    EXPECT_EQ(std::pair(gr_image_get_width(flow), gr_image_get_height(flow)), std::pair(48u, 32u));
    const uint32_t* px = gr_image_pixels_lock(flow);
    EXPECT_TRUE(std::all_of(px, px + 48 * 32, [](uint32_t p) { return p >> 24 == 0xFFu; }));
    gr_image_pixels_unlock(flow, false);
    EXPECT_TRUE(waitFor([&] { return rd_get_iterations(r.rd) >= 3; }));
}

TEST(RdRunner, AdvanceBeforeTheFirstIterationLeavesTheDisplay) {
    Runner r;
    rd_set_limit(r.rd, 0); // holds the worker before its first iteration
    const uint32_t before = version(r.rd);
    rd_advance(r.rd); // most likely still preparing
    ASSERT_TRUE(r.ready());
    ASSERT_TRUE(r.idle());
    if (rd_get_iterations(r.rd) != 0)
        GTEST_SKIP() << "the worker iterated before the limit was set";
    rd_advance(r.rd);
    EXPECT_EQ(version(r.rd), before);
    EXPECT_EQ(rd_get_shown(r.rd), 0u);
    EXPECT_EQ(rd_get_display(r.rd)->pixels[0], 0u); // still the initial transparent black
    // Released, the next completed iteration is published.
    rd_set_limit(r.rd, RD_NO_LIMIT);
    ASSERT_TRUE(waitFor([&] { return rd_get_iterations(r.rd) >= 1; }));
    rd_advance(r.rd);
    EXPECT_NE(version(r.rd), before);
    EXPECT_GE(rd_get_shown(r.rd), 1u);
}

TEST(RdRunner, StopsAtItsLimitAndPublishesTheFieldAsGrey) {
    Runner r;
    rd_set_limit(r.rd, 2);
    ASSERT_TRUE(r.ready());
    ASSERT_TRUE(r.idle());
    ASSERT_EQ(rd_get_iterations(r.rd), 2u);
    const std::vector<float> field = r.field();
    rd_advance(r.rd);
    EXPECT_EQ(rd_get_shown(r.rd), 2u);
    const gr_image_s* display = rd_get_display(r.rd);
    bool black = false, white = false;
    for (size_t i = 0; i < field.size(); i++) {
        ASSERT_EQ(display->pixels[i], rd__field_grey(field[i])) << "cell " << i;
        black |= display->pixels[i] == 0xFF000000u;
        white |= display->pixels[i] == 0xFFFFFFFFu;
    }
    EXPECT_TRUE(black && white); // stretched to [-1, 1]
    rd_set_limit(r.rd, 4);
    ASSERT_TRUE(waitFor([&] { return rd_get_iterations(r.rd) == 4 && rd__runner_idle(r.rd); }));
}

TEST(RdRunner, PauseStopsIterationsAndPublishing) {
    Runner r;
    ASSERT_TRUE(r.ready());
    ASSERT_TRUE(waitFor([&] { return rd_get_iterations(r.rd) >= 1; }));
    rd_advance(r.rd);
    const uint32_t shown = rd_get_shown(r.rd);
    ASSERT_TRUE(waitFor([&] { return rd_get_iterations(r.rd) > shown; }));
    ASSERT_TRUE(r.pause());
    EXPECT_TRUE(rd_is_paused(r.rd));
    const uint32_t count = rd_get_iterations(r.rd), before = version(r.rd);
    // Iterations changed since the last publication, yet nothing is published.
    rd_advance(r.rd);
    EXPECT_EQ(version(r.rd), before);
    EXPECT_EQ(rd_get_shown(r.rd), shown);
    // An edit is applied while paused, and no iteration runs with it.
    ASSERT_TRUE(rd_paint_noise(r.rd, 10, 10));
    ASSERT_TRUE(r.edited());
    ASSERT_TRUE(r.idle());
    EXPECT_EQ(rd_get_iterations(r.rd), count);
    rd_set_paused(r.rd, false);
    EXPECT_FALSE(rd_is_paused(r.rd));
    ASSERT_TRUE(waitFor([&] { return rd_get_iterations(r.rd) > count; }));
    rd_advance(r.rd);
    EXPECT_NE(version(r.rd), before);
    EXPECT_GT(rd_get_shown(r.rd), count);
}

// ---- Edits -----------------------------------------------------------------

TEST(RdRunner, PaintsNoiseIntoADiscAndRandomisesBetweenIterations) {
    Runner r;
    ASSERT_TRUE(r.ready());
    ASSERT_TRUE(r.pause());
    const std::vector<float> before = r.field();
    // Discs cut by the grid's edges: left and bottom, then right and top.
    const int W = 48, H = 32, centres[2][2] = {{4, 20}, {44, 5}};
    const uint32_t seed = rd__frand_seed();
    for (const auto& c : centres)
        ASSERT_TRUE(rd_paint_noise(r.rd, c[0], c[1]));
    const uint32_t seedAfter = rd__frand_seed();
    ASSERT_TRUE(r.edited());
    const std::vector<float> after = r.field();
    rd__frand_set_seed(seed);
    std::vector<float> expected = before;
    int painted = 0;
    for (const auto& c : centres)
        for (int dy = -15; dy <= 15; dy++)
            for (int dx = -15; dx <= 15; dx++) {
                const int x = c[0] + dx, y = c[1] + dy;
                if (x < 0 || x >= W || y < 0 || y >= H || dx * dx + dy * dy > 224)
                    continue;
                expected[(size_t)y * W + x] = 2.0f * frand() - 1.0f;
                painted++;
            }
    EXPECT_EQ(after, expected);
    EXPECT_EQ(rd__frand_seed(), seedAfter); // one draw per painted cell
    EXPECT_GT(painted, 200);
    // (15, 0) is just outside the disc.
    EXPECT_EQ(after[(size_t)20 * W + 4 + 15], before[(size_t)20 * W + 4 + 15]);
    // Randomising, too, waits for the iteration to end and runs none.
    const uint32_t count = rd_get_iterations(r.rd);
    ASSERT_TRUE(rd_randomize(r.rd));
    ASSERT_TRUE(r.edited());
    const std::vector<float> noise = r.field();
    EXPECT_NE(noise, after);
    EXPECT_TRUE(std::all_of(noise.begin(), noise.end(), [](float v) { return v >= -1 && v <= 1; }));
    EXPECT_EQ(rd_get_iterations(r.rd), count);
}

TEST(RdRunner, EditsWhileIteratingNeverRace) {
    Runner r(64, 40);
    ASSERT_TRUE(r.ready());
    const uint32_t start = rd_get_iterations(r.rd);
    // The UI side: paint, randomise, pause and publish while the worker runs.
    int round = 0;
    const bool done = waitFor([&] {
        round++;
        rd_paint_noise(r.rd, (round * 7) % 64, (round * 5) % 40);
        if (round % 50 == 0)
            rd_randomize(r.rd);
        if (round % 97 == 0)
            rd_set_paused(r.rd, true);
        if (round % 97 == 3)
            rd_set_paused(r.rd, false);
        rd_set_vis(r.rd, rd_vis_t(round % RD_VIS_COUNT));
        rd_advance(r.rd);
        gr_image_release(rd_get_result(r.rd));
        return !rd_is_paused(r.rd) && rd_get_iterations(r.rd) >= start + 20;
    });
    EXPECT_TRUE(done);
    rd_advance(r.rd);
    const gr_image_s* display = rd_get_display(r.rd);
    for (int i = 0; i < 64 * 40; i++) {
        const uint32_t p = display->pixels[i];
        ASSERT_TRUE(p >> 24 == 0xFFu && (p & 0xFF) == ((p >> 8) & 0xFF)) << std::hex << p;
    }
}

} // namespace
