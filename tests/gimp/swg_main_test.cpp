// The plug-in inside GIMP: gimp_batch.sh ran every case in one headless GIMP
// and exported the results beside spotweave's own pictures of the same inputs
// (SW_GIMP_OUT_DIR). These cases compare them.

#include <gtest/gtest.h>

#include <stb_image.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string out_dir = SW_GIMP_OUT_DIR;

// A PNG as 8-bit R, G, B, A (16-bit files keep their high bytes).
struct picture_s {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

picture_s load(const std::string& path) {
    picture_s p;
    int channels = 0;
    if (uint8_t* data = stbi_load(path.c_str(), &p.width, &p.height, &channels, 4)) {
        p.rgba.assign(data, data + size_t(p.width) * p.height * 4);
        stbi_image_free(data);
    } else {
        ADD_FAILURE() << "cannot read " << path;
    }
    return p;
}

picture_s out(const std::string& name) {
    return load(out_dir + "/" + name);
}

picture_s sample(const std::string& name) {
    return load(std::string(SW_TESTDATA_DIR) + "/" + name);
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// How two pictures' colours differ over the rectangle (x, y, w, h), only at
// pixels whose alpha in a is not 0 when only_visible is set.
struct diff_s {
    int largest = 0;      // largest channel difference
    size_t differing = 0; // pixels with any difference
    size_t compared = 0;  // pixels compared
};

diff_s colour_diff(const picture_s& a, const picture_s& b, int x0, int y0, int w, int h,
                   bool only_visible = false) {
    diff_s d;
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++) {
            const uint8_t* p = a.at(x, y);
            const uint8_t* q = b.at(x, y);
            if (only_visible && p[3] == 0)
                continue;
            d.compared++;
            int most = 0;
            for (int c = 0; c < 3; c++)
                most = std::max(most, std::abs(int(p[c]) - int(q[c])));
            d.largest = std::max(d.largest, most);
            d.differing += most > 0;
        }
    return d;
}

diff_s colour_diff(const picture_s& a, const picture_s& b, bool only_visible = false) {
    return colour_diff(a, b, 0, 0, a.width, a.height, only_visible);
}

bool same_size(const picture_s& a, const picture_s& b) {
    return a.width == b.width && a.height == b.height && a.width > 0;
}

} // namespace

// ---- results against spotweave and against their counterparts --------------------------

struct same_case_s {
    const char* produced;
    const char* expected;
    const char* why;
};

class GimpSamePicture : public ::testing::TestWithParam<same_case_s> {};

// The engine is deterministic (one thread or many), 8-bit samples go through
// GEGL and back unchanged, and babl rounds other precisions to 8 bits as
// GIMP's own conversion does: every pair is bit-identical, no tolerance.
TEST_P(GimpSamePicture, MatchesExactly) {
    const same_case_s& c = GetParam();
    const picture_s a = out(c.produced), b = out(c.expected);
    ASSERT_TRUE(same_size(a, b)) << c.produced << " vs " << c.expected;
    const diff_s d = colour_diff(a, b);
    EXPECT_EQ(d.differing, 0u) << c.why << ": " << c.produced << " vs " << c.expected
                               << ", largest difference " << d.largest;
}

INSTANTIATE_TEST_SUITE_P(
    Results, GimpSamePicture,
    ::testing::Values(
        same_case_s{"pattern.png", "ref-pattern.png", "the pattern is spotweave render's"},
        same_case_s{"lines.png", "ref-lines.png", "the default lines are spotweave lines'"},
        same_case_s{"lines-custom.png", "ref-lines-custom.png", "every lines argument is used"},
        same_case_s{"lines-last.png", "lines-custom.png", "last values repeat the lines"},
        same_case_s{"last-first.png", "ref-last.png", "both pattern arguments are used"},
        same_case_s{"last-again.png", "last-first.png", "last values repeat the pattern"},
        same_case_s{"pattern-u16.png", "pattern.png", "16-bit reads the 8-bit samples"},
        same_case_s{"pattern-float.png", "pattern.png", "linear float reads them too"},
        same_case_s{"sunset-u16.png", "sunset-u8.png", "babl rounds as GIMP converts"},
        same_case_s{"grey.png", "grey-rgb.png", "grey equals its RGB counterpart"},
        same_case_s{"grey-lines.png", "grey-rgb-lines.png", "grey lines equal RGB lines"}));

// ---- the filter area and alpha -----------------------------------------------------------

TEST(GimpSelection, OnlyTheSelectedRectangleChanges) {
    const picture_s result = out("rect.png"), original = sample("astronaut_512x512_rgb.png");
    const picture_s inside = out("ref-rect.png");
    ASSERT_TRUE(same_size(result, original));
    ASSERT_EQ(inside.width, 200);
    ASSERT_EQ(inside.height, 120);
    // Rows above, below, and the columns beside the rectangle (96, 160, 200 x 120).
    EXPECT_EQ(colour_diff(result, original, 0, 0, 512, 160).differing, 0u);
    EXPECT_EQ(colour_diff(result, original, 0, 280, 512, 232).differing, 0u);
    EXPECT_EQ(colour_diff(result, original, 0, 160, 96, 120).differing, 0u);
    EXPECT_EQ(colour_diff(result, original, 296, 160, 216, 120).differing, 0u);
    // Inside: spotweave render of the rectangle cut out.
    size_t differing = 0;
    for (int y = 0; y < 120; y++)
        for (int x = 0; x < 200; x++)
            differing += std::memcmp(result.at(96 + x, 160 + y), inside.at(x, y), 3) != 0;
    EXPECT_EQ(differing, 0u);
}

struct alpha_case_s {
    const char* produced;
    const char* expected; // the colour to compare with, or ""
};

class GimpAlpha : public ::testing::TestWithParam<alpha_case_s> {};

// Alpha stays sample for sample; the colour becomes the pattern of the
// picture composited over black, as spotweave reads it.
TEST_P(GimpAlpha, KeepsAlphaAndPatternsTheVisiblePixels) {
    const picture_s result = out(GetParam().produced);
    const picture_s original = sample("cat_451x300_rgba.png");
    ASSERT_TRUE(same_size(result, original));
    size_t alpha_changed = 0, partial = 0;
    for (size_t i = 3; i < result.rgba.size(); i += 4) {
        alpha_changed += result.rgba[i] != original.rgba[i];
        partial += original.rgba[i] != 0 && original.rgba[i] != 255;
    }
    EXPECT_EQ(alpha_changed, 0u);
    EXPECT_GT(partial, 0u) << "the sample should have partly transparent pixels";
    if (!GetParam().expected[0])
        return;
    const diff_s d = colour_diff(result, out(GetParam().expected), true);
    EXPECT_GT(d.compared, 0u);
    EXPECT_EQ(d.differing, 0u) << "largest difference " << d.largest;
}

INSTANTIATE_TEST_SUITE_P(Layers, GimpAlpha,
                         ::testing::Values(alpha_case_s{"cat.png", "ref-cat.png"},
                                           alpha_case_s{"cat-grey.png", ""}));

// ---- refusals -------------------------------------------------------------------------------

struct run_case_s {
    const char* name;
    const char* status;  // "done" or "refused"
    const char* message; // in GIMP's log when refused
};

class GimpRun : public ::testing::TestWithParam<run_case_s> {};

TEST_P(GimpRun, GoesThroughOrIsRefusedWithAMessage) {
    const run_case_s& c = GetParam();
    EXPECT_EQ(read_text(out_dir + "/" + c.name + ".status"), c.status) << c.name;
    if (c.message[0]) {
        EXPECT_NE(read_text(out_dir + "/gimp.log").find(c.message), std::string::npos)
            << "GIMP's log lacks: " << c.message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Procedures, GimpRun,
    ::testing::Values(
        run_case_s{"pattern", "done", ""}, run_case_s{"lines", "done", ""},
        run_case_s{"grey", "done", ""}, run_case_s{"cat-grey", "done", ""},
        run_case_s{"rect", "done", ""}, run_case_s{"last-again", "done", ""},
        run_case_s{"lines-last", "done", ""}, run_case_s{"indexed", "refused", "not indexed ones"},
        run_case_s{"indexed-lines", "refused", "not indexed ones"},
        run_case_s{"outside", "refused", "The selection is empty or lies outside this layer"},
        run_case_s{"outside-lines", "refused", "The selection is empty"},
        run_case_s{"bad-iterations", "refused", "iterations must be a whole number from 1"},
        run_case_s{"bad-side", "refused", "max-side must be a whole number from 16 to 8192"},
        run_case_s{"bad-tau", "refused", "tau must be a number from 0 to 2, not 2.5"}));

struct unchanged_case_s {
    const char* after;
    const char* before; // a file in the output folder, or "" for a white 64 x 64 layer
};

class GimpRefused : public ::testing::TestWithParam<unchanged_case_s> {};

TEST_P(GimpRefused, LeavesTheImageUnchanged) {
    const unchanged_case_s& c = GetParam();
    const picture_s after = out(c.after);
    picture_s before;
    if (c.before[0]) {
        before = c.before[0] == '@' ? sample(c.before + 1) : out(c.before);
    } else {
        before.width = before.height = 64;
        before.rgba.assign(64 * 64 * 4, 255);
    }
    ASSERT_TRUE(same_size(after, before)) << c.after;
    EXPECT_EQ(colour_diff(after, before).differing, 0u) << c.after;
}

INSTANTIATE_TEST_SUITE_P(
    Images, GimpRefused,
    ::testing::Values(unchanged_case_s{"indexed-after.png", "indexed-before.png"},
                      unchanged_case_s{"outside-after.png", ""},
                      unchanged_case_s{"bad-after.png", "@astronaut_512x512_rgb.png"}));
