#include "gimp/swg_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

struct check_case_s {
    const char* what;
    swg_pattern_s pattern;
    swg_lines_s lines;
    const char* error; // start of the message, "" when valid
};

static swg_lines_s lines_with(void (*change)(swg_lines_s*)) {
    swg_lines_s s;
    change(&s);
    return s;
}

class SwgEngineCheck : public ::testing::TestWithParam<check_case_s> {};

TEST_P(SwgEngineCheck, AcceptsTheRangesAndNamesWhatIsOutside) {
    const check_case_s& c = GetParam();
    char error[160] = "";
    const bool ok = swg_pattern_check(&c.pattern, error, sizeof error) &&
                    swg_lines_check(&c.lines, error, sizeof error);
    EXPECT_EQ(ok, c.error[0] == 0) << c.what << ": " << error;
    EXPECT_EQ(std::string(error).rfind(c.error, 0), 0u) << c.what << ": " << error;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SwgEngineCheck,
    ::testing::Values(
        check_case_s{"defaults", {}, {}, ""}, check_case_s{"range ends", {1, 16}, {}, ""},
        check_case_s{"upper ends", {100000, 8192}, {}, ""},
        check_case_s{"no iterations",
                     {0, 1024},
                     {},
                     "iterations must be a whole number from 1 to 100000, not 0"},
        check_case_s{"too many", {100001, 1024}, {}, "iterations"},
        check_case_s{"side too small",
                     {160, 15},
                     {},
                     "max-side must be a whole number from 16 to 8192, not 15"},
        check_case_s{"side too large", {160, 8193}, {}, "max-side"},
        check_case_s{"lines at zero",
                     {},
                     lines_with([](swg_lines_s* s) { *s = {0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0f}; }),
                     ""},
        check_case_s{
            "lines at their tops",
            {},
            lines_with([](swg_lines_s* s) { *s = {63, 100, 32, 63, 63, 63, 63, 2.0f, 2.0f}; }),
            ""},
        check_case_s{"radius past the kernel",
                     {},
                     lines_with([](swg_lines_s* s) { s->sst_radius = 64; }),
                     "sst-radius"},
        check_case_s{"negative passes",
                     {},
                     lines_with([](swg_lines_s* s) { s->etf_passes = -1; }),
                     "etf-passes"},
        check_case_s{"flow window",
                     {},
                     lines_with([](swg_lines_s* s) { s->etf_radius = 33; }),
                     "etf-radius"},
        check_case_s{"cross steps",
                     {},
                     lines_with([](swg_lines_s* s) { s->cross_steps = 64; }),
                     "cross-steps"},
        check_case_s{"tau",
                     {},
                     lines_with([](swg_lines_s* s) { s->tau = 2.01f; }),
                     "tau must be a number from 0 to 2"},
        check_case_s{"NaN threshold",
                     {},
                     lines_with([](swg_lines_s* s) { s->threshold = NAN; }),
                     "threshold"}));

// Progress runs forward within 0..1 and ends at 1, and the results have the
// picture's size also when it was simulated smaller.
static void record(void* user, const char*, float fraction) {
    static_cast<std::vector<float>*>(user)->push_back(fraction);
}

TEST(SwgEngine, RunsReportProgressForwardAndKeepTheSize) {
    std::vector<uint32_t> pixels(40 * 24);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = 0xFF000000u | ((i % 40) * 6 << 8) | (i / 40) * 10;
    gr_image_s* picture = gr_image_create_pixels(40, 24, pixels.data());
    ASSERT_NE(picture, nullptr);
    const swg_pattern_s pattern = {2, 16};
    const swg_lines_s lines;
    for (int run = 0; run < 2; run++) {
        std::vector<float> progress;
        gr_image_s* result = run == 0 ? swg_pattern_render(picture, &pattern, record, &progress)
                                      : swg_lines_draw(picture, &lines, record, &progress);
        ASSERT_NE(result, nullptr) << "run " << run;
        EXPECT_EQ(gr_image_get_width(result), 40u);
        EXPECT_EQ(gr_image_get_height(result), 24u);
        ASSERT_FALSE(progress.empty());
        for (size_t i = 1; i < progress.size(); i++)
            EXPECT_GE(progress[i], progress[i - 1]) << "run " << run << " step " << i;
        EXPECT_GE(progress.front(), 0.0f);
        EXPECT_FLOAT_EQ(progress.back(), 1.0f) << "run " << run;
        gr_image_release(result);
    }
    gr_image_release(picture);
}
