// The pictures gimp_batch.sh made in GIMP against spotweave's (SW_GIMP_OUT_DIR).

#include <gtest/gtest.h>

#include <stb_image.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A PNG as 8-bit R, G, B, A (16-bit files keep their high bytes).
struct picture_s {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// Loads name from the output folder, or from the samples with a leading '@'.
picture_s load(const std::string& name) {
    const std::string path = name[0] == '@' ? std::string(SW_TESTDATA_DIR) + "/" + name.substr(1)
                                            : std::string(SW_GIMP_OUT_DIR) + "/" + name;
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

std::string read_out(const std::string& name) {
    std::ifstream in(std::string(SW_GIMP_OUT_DIR) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Pixels whose colours differ (those transparent in a skipped with visible_only).
size_t differing(const picture_s& a, const picture_s& b, bool visible_only = false) {
    EXPECT_TRUE(a.width == b.width && a.height == b.height && a.width > 0) << "sizes differ";
    if (a.width != b.width || a.height != b.height)
        return ~size_t(0);
    size_t count = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        count += (!visible_only || a.rgba[i + 3] != 0) && std::memcmp(&a.rgba[i], &b.rgba[i], 3);
    return count;
}

} // namespace

struct same_case_s {
    const char* produced;
    const char* expected;
    const char* why;
};

class GimpSamePicture : public ::testing::TestWithParam<same_case_s> {};

// The engine is deterministic and babl converts as GIMP does: every pair is bit-identical.
TEST_P(GimpSamePicture, MatchesExactly) {
    const same_case_s& c = GetParam();
    EXPECT_EQ(differing(load(c.produced), load(c.expected)), 0u)
        << c.why << ": " << c.produced << " vs " << c.expected;
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

TEST(GimpSelection, OnlyTheSelectedRectangleChanges) {
    // The original with spotweave's render of the rectangle 96, 160, 200 x 120 pasted in.
    picture_s expected = load("@astronaut_512x512_rgb.png");
    const picture_s inside = load("ref-rect.png");
    ASSERT_EQ(inside.width * inside.height, 200 * 120);
    for (int y = 0; y < 120; y++)
        std::memcpy(&expected.rgba[(size_t(160 + y) * 512 + 96) * 4], inside.at(0, y), 200 * 4);
    EXPECT_EQ(differing(load("rect.png"), expected), 0u);
}

// Alpha stays as it was (RGBA and grey); the colour is spotweave's of the picture over black.
TEST(GimpAlpha, KeepsAlphaAndPatternsTheVisiblePixels) {
    const picture_s original = load("@cat_451x300_rgba.png");
    size_t partial = 0;
    for (size_t i = 3; i < original.rgba.size(); i += 4)
        partial += original.rgba[i] != 0 && original.rgba[i] != 255;
    ASSERT_GT(partial, 0u) << "the sample should have partly transparent pixels";
    for (const char* name : {"cat.png", "cat-grey.png"}) {
        const picture_s result = load(name);
        ASSERT_EQ(result.rgba.size(), original.rgba.size()) << name;
        size_t alpha_changed = 0;
        for (size_t i = 3; i < result.rgba.size(); i += 4)
            alpha_changed += result.rgba[i] != original.rgba[i];
        EXPECT_EQ(alpha_changed, 0u) << name;
    }
    EXPECT_EQ(differing(load("cat.png"), load("ref-cat.png"), true), 0u);
}

struct refusal_case_s {
    const char* name;    // its .status file says "refused"
    const char* message; // in GIMP's log
    const char* after;   // the image after the refused runs...
    const char* before;  // ...equals this one; "" for a white 64 x 64 layer
};

class GimpRefusal : public ::testing::TestWithParam<refusal_case_s> {};

TEST_P(GimpRefusal, SaysWhyAndLeavesTheImageUnchanged) {
    const refusal_case_s& c = GetParam();
    EXPECT_EQ(read_out(std::string(c.name) + ".status"), "refused") << c.name;
    EXPECT_NE(read_out("gimp.log").find(c.message), std::string::npos)
        << "no message: " << c.message;
    picture_s before;
    if (c.before[0]) {
        before = load(c.before);
    } else {
        before.width = before.height = 64;
        before.rgba.assign(64 * 64 * 4, 255);
    }
    EXPECT_EQ(differing(load(c.after), before), 0u) << c.after;
}

INSTANTIATE_TEST_SUITE_P(
    Procedures, GimpRefusal,
    ::testing::Values(
        refusal_case_s{"indexed", "not indexed ones", "indexed-after.png", "indexed-before.png"},
        refusal_case_s{"indexed-lines", "not indexed ones", "indexed-after.png",
                       "indexed-before.png"},
        refusal_case_s{"outside", "The selection is empty or lies outside this layer",
                       "outside-after.png", ""},
        refusal_case_s{"outside-lines", "The selection is empty", "outside-after.png", ""},
        refusal_case_s{"group", "cannot filter a layer group", "locked-after.png",
                       "@astronaut_512x512_rgb.png"},
        refusal_case_s{"locked", "pixels are locked", "locked-after.png",
                       "@astronaut_512x512_rgb.png"},
        refusal_case_s{"bad-iterations", "iterations must be a whole number from 1 to 100000",
                       "bad-after.png", "@astronaut_512x512_rgb.png"},
        refusal_case_s{"bad-side", "max-side must be a whole number from 16 to 8192, not 8",
                       "bad-after.png", "@astronaut_512x512_rgb.png"},
        refusal_case_s{"bad-tau", "tau must be a number from 0 to 2, not 2.5", "bad-after.png",
                       "@astronaut_512x512_rgb.png"}));
