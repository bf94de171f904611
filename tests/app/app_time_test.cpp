#include "app/app_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

using steady = std::chrono::steady_clock;

TEST(AppTime, NeverGoesBackwardsAndCountsWholeMilliseconds) {
    app_time_init();
    float previous = app_time_get();
    for (int i = 0; i < 100000; i++) {
        float now = app_time_get();
        ASSERT_GE(now, previous);
        previous = now;
        const double ms = double(now) * 1000.0;
        ASSERT_NEAR(ms, std::round(ms), 1e-3 * std::max(1.0, ms));
    }
    app_time_init(); // again: does not restart
    EXPECT_GE(app_time_get(), previous);
}

TEST(AppTime, DifferencesFollowTheMonotonicClock) {
    // Each reading bracketed by two steady-clock ones, 40 ms of polling between.
    auto seconds = [](steady::duration d) { return std::chrono::duration<double>(d).count(); };
    steady::time_point a0 = steady::now();
    float t0 = app_time_get();
    steady::time_point b0 = steady::now();
    while (steady::now() < b0 + std::chrono::milliseconds(40)) {
    }
    steady::time_point a1 = steady::now();
    float t1 = app_time_get();
    steady::time_point b1 = steady::now();

    double measured = double(t1) - double(t0);
    // Each reading is truncated to whole milliseconds.
    EXPECT_GE(measured, seconds(a1 - b0) - 0.001);
    EXPECT_LE(measured, seconds(b1 - a0) + 0.001);
    EXPECT_GE(measured, 0.039);
}
