#include "app/app_env.h"

#include <gtest/gtest.h>

#include "app_test_util.h"

using namespace app_test;

TEST(AppEnvNumber, TakesWholeNumbersInRangeAndRefusesTheRest) {
    const struct {
        const char* text; // null: unset
        bool ok;
        uint64_t value; // 7 when left alone
    } cases[] = {
        {nullptr, true, 7},   {"", true, 7},     {"1", true, 1},
        {"1000", true, 1000}, {"0", false, 7},   {"1001", false, 7},
        {"-5", false, 7},     {"+5", false, 7},  {"12abc", false, 7},
        {" 12", false, 7},    {"1e3", false, 7}, {"99999999999999999999", false, 7},
    };
    for (const auto& c : cases) {
        scoped_env env("SW_TEST_NUMBER", c.text);
        const char* shown = c.text ? c.text : "(unset)";
        uint64_t value = 7;
        EXPECT_EQ(app_env_number("SW_TEST_NUMBER", 1, 1000, &value), c.ok) << shown;
        EXPECT_EQ(value, c.value) << shown;
    }
}
