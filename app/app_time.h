#pragma once
// Seconds clock for diagnostics and animation.

// Starts the clock; later calls do nothing. The first app_time_get also starts it.
// Thread: any.
void app_time_init();

// Returns the seconds since the clock started, with millisecond resolution.
// Wraps to zero after about 49.7 days. Thread: any.
float app_time_get();
