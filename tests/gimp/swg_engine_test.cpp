#include "gimp/swg_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

struct check_case_s {
    swg_pattern_s pattern;
    swg_lines_s lines;
    const char* error; // start of the message, "" when valid
};

static swg_lines_s lines_at(int32_t value, float real) {
    return {value, value, value, value, value, value, value, real, real};
}

class SwgEngineCheck : public ::testing::TestWithParam<check_case_s> {};

TEST_P(SwgEngineCheck, AcceptsTheRangesAndNamesWhatIsOutside) {
    const check_case_s& c = GetParam();
    char error[160] = "";
    const bool ok = swg_pattern_check(&c.pattern, error, sizeof error) &&
                    swg_lines_check(&c.lines, error, sizeof error);
    EXPECT_EQ(ok, c.error[0] == 0) << error;
    EXPECT_EQ(std::string(error).rfind(c.error, 0), 0u) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SwgEngineCheck,
    ::testing::Values(
        check_case_s{{}, {}, ""}, check_case_s{{1, 16}, lines_at(0, 0.0f), ""},
        check_case_s{{100000, 8192}, {63, 100, 32, 63, 63, 63, 63, 2.0f, 2.0f}, ""},
        check_case_s{{0, 1024}, {}, "iterations must be a whole number from 1 to 100000, not 0"},
        check_case_s{{160, 8193}, {}, "max-side must be a whole number from 16 to 8192"},
        check_case_s{{}, lines_at(-1, 1.0f), "sst-radius must be a whole number from 0 to 63"},
        check_case_s{{}, {3, 3, 33, 5, 8, 8, 2, 0.98f, 0.9999f}, "etf-radius"},
        check_case_s{{}, {3, 3, 5, 5, 8, 8, 64, 0.98f, 0.9999f}, "cross-steps"},
        check_case_s{{}, {3, 3, 5, 5, 8, 8, 2, 2.01f, 0.9999f}, "tau must be a number from 0 to 2"},
        check_case_s{{}, {3, 3, 5, 5, 8, 8, 2, 0.98f, NAN}, "threshold"}));

static void record(void* user, const char*, float fraction) {
    static_cast<std::vector<float>*>(user)->push_back(fraction);
}

// Progress runs forward within 0..1 and ends full; results keep the picture's size.
TEST(SwgEngine, ProgressRunsForwardAndResultsKeepTheSize) {
    std::vector<uint32_t> pixels(40 * 24);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = 0xFF000000u | ((i % 40) * 6 << 8) | (i / 40) * 10;
    gr_image_s* picture = gr_image_create_pixels(40, 24, pixels.data());
    const swg_pattern_s pattern = {2, 16};
    const swg_lines_s lines;
    for (int run = 0; run < 2; run++) {
        std::vector<float> progress;
        gr_image_s* result = run == 0 ? swg_pattern_render(picture, &pattern, record, &progress)
                                      : swg_lines_draw(picture, &lines, record, &progress);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(gr_image_get_width(result) * 100 + gr_image_get_height(result), 4024u);
        ASSERT_FALSE(progress.empty());
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << "run " << run;
        EXPECT_GE(progress.front(), 0.0f);
        EXPECT_FLOAT_EQ(progress.back(), 1.0f) << "run " << run;
        gr_image_release(result);
    }
    gr_image_release(picture);
}
