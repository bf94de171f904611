// Signed distance fields: exact distances, the edge at mid-grey, ramps, the way back to a shape.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gr/gr_filter.h"
#include "gr_filter_test_util.h"

using grt::Image;
using grt::result;

namespace {

// Ink (covered) is black, paper white.
const gr_color_t INK = 0xFF000000u, PAPER = 0xFFFFFFFFu;

// The grey a pixel at signed distance sd (pixels, positive outside) gets.
int grey_at(double sd) {
    const double field = std::clamp(std::floor(128.0 - sd * 16.0 + 0.5), 0.0, 255.0);
    return 255 - int(field);
}

} // namespace

TEST(GrFilterDistfield, HalfPlaneRampsMonotonicallyThroughMidGrey) {
    // Ink on the left 20 columns, paper on the right.
    Image src = grt::painted(48, 12, [](int x, int) { return x < 20 ? INK : PAPER; });
    Image out(gr_filter_distfield(src.get()));
    ASSERT_NE(out, nullptr);
    for (uint32_t y = 0; y < 12; y++) {
        for (uint32_t x = 1; x < 48; x++)
            EXPECT_GE(grt::red(grt::at(out.get(), x, y)), grt::red(grt::at(out.get(), x - 1, y)))
                << x << "," << y;
        // The two pixels beside the edge sit half a pixel either side of mid-grey.
        const int in = grt::red(grt::at(out.get(), 19, y)),
                  outside = grt::red(grt::at(out.get(), 20, y));
        EXPECT_TRUE(in <= 127 && outside >= 128) << in << " " << outside;
        EXPECT_NEAR((in + outside) / 2.0, 127.5, 1.0);
        EXPECT_EQ(grt::at(out.get(), 0, y), INK) << "a spread inside is black";
        EXPECT_EQ(grt::at(out.get(), 47, y), PAPER) << "a spread outside is white";
        EXPECT_EQ(grt::red(grt::at(out.get(), 23, y)), grey_at(3.5));
        EXPECT_EQ(grt::red(grt::at(out.get(), 16, y)), grey_at(-3.5));
    }
}

TEST(GrFilterDistfield, PartialCoverageMovesTheEdgeSmoothly) {
    // A half-plane whose boundary column 10 is covered 0..255.
    auto field = [](int cover) {
        Image src = grt::painted(24, 1, [&](int x, int) {
            return x == 10 ? grt::grey(255 - cover) : x < 10 ? INK : PAPER;
        });
        std::vector<int> grey;
        for (uint32_t p : result(gr_filter_distfield(src.get())))
            grey.push_back(grt::red(p));
        grey.resize(24, -1);
        return grey;
    };
    // Coverage 128 puts the edge through the column's centres.
    const std::vector<int> half = field(128);
    EXPECT_TRUE(half[9] < 127 && half[10] == 127 && half[11] > 127)
        << half[9] << " " << half[10] << " " << half[11];
    // The column's grey falls as its coverage rises, never crossing its neighbours.
    int previous = 256;
    for (int cover = 8; cover <= 248; cover += 16) {
        const std::vector<int> g = field(cover);
        EXPECT_TRUE(g[10] < previous && g[10] > g[9] && g[10] < g[11])
            << "coverage " << cover << ": " << g[9] << " " << g[10] << " " << g[11];
        previous = g[10];
    }
}

TEST(GrFilterDistfield, MatchesAnExactEuclideanSearchOnRandomShapes) {
    std::mt19937 rng(9);
    for (int round = 0; round < 4; round++) {
        const int w = 29 + round * 3, h = 23 - round * 2;
        const double density = 0.05 + 0.3 * round;
        Image src = grt::painted(uint32_t(w), uint32_t(h), [&](int, int) {
            return std::uniform_real_distribution<double>(0, 1)(rng) < density ? INK : PAPER;
        });
        Image out(gr_filter_distfield(src.get()));
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const bool inside = grt::at(src.get(), x, y) == INK;
                double best = 1e30;
                for (int v = 0; v < h; v++)
                    for (int u = 0; u < w; u++)
                        if ((grt::at(src.get(), u, v) == INK) != inside)
                            best = std::min(best, double((u - x) * (u - x) + (v - y) * (v - y)));
                const double d = std::sqrt(best) - 0.5;
                ASSERT_EQ(grt::red(grt::at(out.get(), x, y)), grey_at(inside ? -d : d))
                    << "round " << round << " at " << x << "," << y;
            }
    }
}

TEST(GrFilterDistfield, PlainPagesStayPlainAndOpaque) {
    EXPECT_EQ(result(gr_filter_distfield(grt::filled(13, 9, 0x00FFFFFFu).get())),
              std::vector<uint32_t>(13 * 9, PAPER));
    EXPECT_EQ(result(gr_filter_distfield(grt::filled(13, 9, 0x00000000u).get())),
              std::vector<uint32_t>(13 * 9, INK));
}

TEST(GrFilterDistfieldInv, RecoversTheShapeFromItsField) {
    // A disc of ink: field and back gives the same black and white pixels.
    Image src = grt::painted(40, 30, [](int x, int y) {
        return (x - 18) * (x - 18) + (y - 14) * (y - 14) <= 81 ? INK : PAPER;
    });
    Image field(gr_filter_distfield(src.get()));
    EXPECT_EQ(result(gr_filter_distfield_inv(field.get(), 7.0f)), grt::pixels(src.get()));
}

TEST(GrFilterDistfieldInv, EasesAcrossTheBand) {
    Image src = grt::painted(256, 1, [](int x, int) { return grt::grey(x); });
    Image out(gr_filter_distfield_inv(src.get(), 16.0f));
    EXPECT_EQ(grt::at(out.get(), 112, 0), INK);
    EXPECT_EQ(grt::at(out.get(), 144, 0), PAPER);
    EXPECT_EQ(grt::at(out.get(), 128, 0), grt::grey(127));
    for (uint32_t x = 1; x < 256; x++)
        EXPECT_GE(grt::red(grt::at(out.get(), x, 0)), grt::red(grt::at(out.get(), x - 1, 0)));
    // No band: a hard threshold at 128.
    for (float spread : {0.0f, -3.0f, NAN, INFINITY}) {
        Image hard(gr_filter_distfield_inv(src.get(), spread));
        EXPECT_EQ(grt::at(hard.get(), 127, 0), INK) << spread;
        EXPECT_EQ(grt::at(hard.get(), 128, 0), PAPER) << spread;
    }
}
