#include "app/app_time.h"

#include <sys/time.h>

#include <cstdint>
#include <ctime>

namespace {

struct clock_state_s {
    bool monotonic;
    // Monotonic: start reading in ticks and the tick-to-nanosecond ratio.
    uint64_t start_ticks;
    uint64_t numerator, denominator;
    // Fallback: start time of day.
    long start_sec, start_usec;
};

} // namespace

static uint64_t monotonic_ticks() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

static clock_state_s clock_start() {
    clock_state_s s = {};
    timespec resolution;
    if (clock_getres(CLOCK_MONOTONIC, &resolution) == 0) {
        // Readings come in nanoseconds already.
        s.monotonic = true;
        s.numerator = 1;
        s.denominator = 1;
        s.start_ticks = monotonic_ticks();
    } else {
        timeval tv;
        gettimeofday(&tv, nullptr);
        s.start_sec = tv.tv_sec;
        s.start_usec = tv.tv_usec;
    }
    return s;
}

// Initialised once, on first use, by whichever thread gets there first.
static const clock_state_s& clock_state() {
    static const clock_state_s state = clock_start();
    return state;
}

void app_time_init() {
    (void)clock_state();
}

float app_time_get() {
    const clock_state_s& s = clock_state();
    uint32_t ms;
    if (s.monotonic) {
        uint64_t elapsed = monotonic_ticks() - s.start_ticks;
        ms = uint32_t(elapsed * s.numerator / s.denominator / 1000000u);
    } else {
        timeval tv;
        gettimeofday(&tv, nullptr);
        // 32-bit arithmetic on purpose: the result wraps like the monotonic one.
        int32_t sec = int32_t(tv.tv_sec - s.start_sec);
        int32_t usec = int32_t(tv.tv_usec - s.start_usec);
        ms = uint32_t(sec) * 1000u + uint32_t(usec / 1000);
    }
    return static_cast<float>(static_cast<float>(ms) / 1000.0);
}
